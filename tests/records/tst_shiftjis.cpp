#include "ShiftJis.h"

#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Code page 932 bytes of texts a Windows examiner types, as `iconv -t CP932` gives them.
void addWindowsTexts()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("１～２時間") << u"１\uFF5E２時間"_s << QByteArray::fromHex("8250816082518e9e8ad4");
    QTest::newRow("ＡＤＨＤ（混合型）") << u"ＡＤＨＤ（混合型）"_s
                                        << QByteArray::fromHex("826082638267826381698dac8d878c5e816a");
    QTest::newRow("ｌ－ｄｏｐａ") << u"ｌ\uFF0Dｄｏｐａ"_s << QByteArray::fromHex("828c817c8284828f82908281");
    QTest::newRow("ｷｬﾝｾﾙ") << u"ｷｬﾝｾﾙ"_s << QByteArray::fromHex("b7acddbed9");
    QTest::newRow("男") << u"男"_s << QByteArray::fromHex("926a");
    QTest::newRow("女") << u"女"_s << QByteArray::fromHex("8f97");
    QTest::newRow("circled one") << u"①"_s << QByteArray::fromHex("8740");
    QTest::newRow("backslash") << u"\\"_s << QByteArray::fromHex("5c");
    QTest::newRow("trail byte 5C") << u"表\\ソ"_s << QByteArray::fromHex("955c5c835c");
    QTest::newRow("IBM extension") << u"ⅰ纊髙"_s << QByteArray::fromHex("fa40fa5cfbfc");
    QTest::newRow("NEC specials") << u"℡㈱"_s << QByteArray::fromHex("8784878a");
    QTest::newRow("because, not, horizontal bar") << u"\u2235\uFFE2\u2015"_s << QByteArray::fromHex("81e681ca815c");
    QTest::newRow("half-width kana") << u"ｱｲｳｰﾟ｡"_s << QByteArray::fromHex("b1b2b3b0dfa1");
    QTest::newRow("ASCII") << u"ABC 123/:~"_s << QByteArray("ABC 123/:~");
    QTest::newRow("empty") << QString() << QByteArray();
}

// The seven characters Linux input methods type in their JIS form, the Windows form code page 932 holds, and its
// bytes.
void addJisForms()
{
    QTest::addColumn<QString>("jisForm");
    QTest::addColumn<QString>("windowsForm");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("wave dash") << u"\u301C"_s << u"\uFF5E"_s << QByteArray::fromHex("8160");
    QTest::newRow("double vertical line") << u"\u2016"_s << u"\u2225"_s << QByteArray::fromHex("8161");
    QTest::newRow("minus sign") << u"\u2212"_s << u"\uFF0D"_s << QByteArray::fromHex("817c");
    QTest::newRow("cent sign") << u"\u00A2"_s << u"\uFFE0"_s << QByteArray::fromHex("8191");
    QTest::newRow("pound sign") << u"\u00A3"_s << u"\uFFE1"_s << QByteArray::fromHex("8192");
    QTest::newRow("not sign") << u"\u00AC"_s << u"\uFFE2"_s << QByteArray::fromHex("81ca");
    QTest::newRow("em dash") << u"\u2014"_s << u"\u2015"_s << QByteArray::fromHex("815c");
}

} // namespace

class shiftjisTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void encode_windowsText_givesCodePage932Bytes_data();
    void encode_windowsText_givesCodePage932Bytes();
    void decode_codePage932Bytes_givesWindowsText_data();
    void decode_codePage932Bytes_givesWindowsText();
    void decode_duplicateCodes_givesSameCharacter_data();
    void decode_duplicateCodes_givesSameCharacter();
    void decode_undecodableBytes_becomeReplacementCharacter_data();
    void decode_undecodableBytes_becomeReplacementCharacter();

    void foldToWindowsForms_jisForm_becomesWindowsForm_data();
    void foldToWindowsForms_jisForm_becomesWindowsForm();
    void foldToWindowsForms_textAround_unchanged();
    void encode_jisForm_storedAsWindowsBytes_data();
    void encode_jisForm_storedAsWindowsBytes();

    void firstUnencodableCharacter_storableText_none_data();
    void firstUnencodableCharacter_storableText_none();
    void firstUnencodableCharacter_unstorableText_namesWholeCharacter_data();
    void firstUnencodableCharacter_unstorableText_namesWholeCharacter();
};

void shiftjisTest::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void shiftjisTest::encode_windowsText_givesCodePage932Bytes_data()
{
    addWindowsTexts();
}

void shiftjisTest::encode_windowsText_givesCodePage932Bytes()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(vigix::EncodeShiftJis(text).toHex(' '), bytes.toHex(' '));
}

void shiftjisTest::decode_codePage932Bytes_givesWindowsText_data()
{
    addWindowsTexts();
}

void shiftjisTest::decode_codePage932Bytes_givesWindowsText()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(vigix::DecodeShiftJis(bytes), text);
}

void shiftjisTest::decode_duplicateCodes_givesSameCharacter_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    // Code page 932 holds some characters twice (NEC row 13, NEC-selected IBM extensions); files from other
    // programs may use either code.
    QTest::newRow("NEC because") << QByteArray::fromHex("879a") << u"\u2235"_s;
    QTest::newRow("NEC-selected 纊") << QByteArray::fromHex("ed40") << u"纊"_s;
    QTest::newRow("NEC-selected small roman one") << QByteArray::fromHex("eeef") << u"ⅰ"_s;
    QTest::newRow("user-defined area") << QByteArray::fromHex("f040") << u"\uE000"_s;
}

void shiftjisTest::decode_duplicateCodes_givesSameCharacter()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(vigix::DecodeShiftJis(bytes), text);
}

void shiftjisTest::decode_undecodableBytes_becomeReplacementCharacter_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::newRow("FF") << QByteArray::fromHex("41ff42") << u"A"_s << u"B"_s;
    QTest::newRow("A0") << QByteArray::fromHex("41a042") << u"A"_s << u"B"_s;
    QTest::newRow("FD") << QByteArray::fromHex("fd") << QString() << QString();
    QTest::newRow("unassigned double byte") << QByteArray::fromHex("41854042") << u"A"_s << u"B"_s;
    QTest::newRow("lead byte before a comma") << QByteArray::fromHex("41822c42") << u"A"_s << u",B"_s;
    QTest::newRow("lead byte before a quote") << QByteArray::fromHex("822242") << QString() << u"\"B"_s;
    QTest::newRow("lead byte at the end") << QByteArray::fromHex("4182") << u"A"_s << QString();
    QTest::newRow("lead byte alone") << QByteArray::fromHex("92") << QString() << QString();
    QTest::newRow("between Japanese") << QByteArray::fromHex("926aff8f97") << u"男"_s << u"女"_s;
}

void shiftjisTest::decode_undecodableBytes_becomeReplacementCharacter()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, before);
    QFETCH(QString, after);
    const QString text = vigix::DecodeShiftJis(bytes);
    QVERIFY2(text.startsWith(before) && text.endsWith(after), qPrintable(text));
    // What stands between is the replacement character, once or more, and nothing else.
    const QString middle = text.mid(before.size(), text.size() - before.size() - after.size());
    QVERIFY2(!middle.isEmpty(), qPrintable(text));
    QCOMPARE(middle, QString(middle.size(), QChar::ReplacementCharacter));
}

void shiftjisTest::foldToWindowsForms_jisForm_becomesWindowsForm_data()
{
    addJisForms();
}

void shiftjisTest::foldToWindowsForms_jisForm_becomesWindowsForm()
{
    QFETCH(QString, jisForm);
    QFETCH(QString, windowsForm);
    QCOMPARE(vigix::FoldToWindowsForms(jisForm), windowsForm);
    QCOMPARE(vigix::FoldToWindowsForms(u"１"_s + jisForm + u"２時間"_s + jisForm),
             u"１"_s + windowsForm + u"２時間"_s + windowsForm);
    // Already in its Windows form, the character stays.
    QCOMPARE(vigix::FoldToWindowsForms(windowsForm), windowsForm);
}

void shiftjisTest::foldToWindowsForms_textAround_unchanged()
{
    // Look-alikes that are not JIS forms keep their code: the ASCII tilde and hyphen, the hyphen U+2010, the
    // katakana long vowel mark and the half-width one.
    const QString text = u"~-\u2010ーｰ１\uFF5E２時間①\\"_s;
    QCOMPARE(vigix::FoldToWindowsForms(text), text);
    QCOMPARE(vigix::FoldToWindowsForms(QString()), QString());
}

void shiftjisTest::encode_jisForm_storedAsWindowsBytes_data()
{
    addJisForms();
}

void shiftjisTest::encode_jisForm_storedAsWindowsBytes()
{
    QFETCH(QString, jisForm);
    QFETCH(QString, windowsForm);
    QFETCH(QByteArray, bytes);
    QCOMPARE(vigix::EncodeShiftJis(jisForm).toHex(' '), bytes.toHex(' '));
    QCOMPARE(vigix::DecodeShiftJis(bytes), windowsForm);
}

void shiftjisTest::firstUnencodableCharacter_storableText_none_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("１～２時間") << u"１\uFF5E２時間"_s;
    QTest::newRow("typed on Linux: １〜２時間") << u"１\u301C２時間"_s;
    QTest::newRow("all JIS forms") << u"\u301C\u2016\u2212\u00A2\u00A3\u00AC\u2014"_s;
    QTest::newRow("ＡＤＨＤ（混合型）") << u"ＡＤＨＤ（混合型）"_s;
    QTest::newRow("ｷｬﾝｾﾙ 男 女") << u"ｷｬﾝｾﾙ 男 女"_s;
    QTest::newRow("extensions") << u"①℡㈱ⅰ纊髙"_s;
    QTest::newRow("backslash and ASCII") << u"C:\\data 1990/10/11 ~!?"_s;
    QTest::newRow("empty") << QString();
}

void shiftjisTest::firstUnencodableCharacter_storableText_none()
{
    QFETCH(QString, text);
    const std::optional<QString> bad = vigix::FirstUnencodableCharacter(text);
    QVERIFY2(!bad, qPrintable(bad.value_or(QString())));
}

void shiftjisTest::firstUnencodableCharacter_unstorableText_namesWholeCharacter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("character");
    QTest::newRow("emoji") << u"a\U0001F600b"_s << u"\U0001F600"_s;
    QTest::newRow("kanji outside code page 932") << u"\U00020BB7野家"_s << u"\U00020BB7"_s;
    QTest::newRow("yen sign") << u"\u00A5100"_s << u"\u00A5"_s;
    QTest::newRow("first of several") << u"男\u00A5\U0001F600"_s << u"\u00A5"_s;
    QTest::newRow("pair before single") << u"女\U0001F600\u00A5"_s << u"\U0001F600"_s;
    QTest::newRow("euro sign") << u"1\u20AC"_s << u"\u20AC"_s;
    QTest::newRow("accented letter") << u"caf\u00E9"_s << u"\u00E9"_s;
    QTest::newRow("hangul") << u"\uD55C\uAD6D"_s << u"\uD55C"_s;
    QTest::newRow("after a JIS form") << u"\u301C\U0001F600"_s << u"\U0001F600"_s;
}

void shiftjisTest::firstUnencodableCharacter_unstorableText_namesWholeCharacter()
{
    QFETCH(QString, text);
    QFETCH(QString, character);
    const std::optional<QString> bad = vigix::FirstUnencodableCharacter(text);
    QVERIFY2(bad, "the text was taken as storable");
    QCOMPARE(*bad, character);
}

QTEST_GUILESS_MAIN(shiftjisTest)
#include "tst_shiftjis.moc"
