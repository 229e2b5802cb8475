#include "../NextFreeNumber.h"
#include "../WriteFailureSweep.h"
#include "DataFolder.h"
#include "Errors.h"
#include "TestFile.h"
#include "TestInfo.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <csignal>
#include <memory>
#include <optional>
#include <random>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using vigix::EConvertError;
using vigix::EInOutError;
using vigix::TRoundInfo;
using vigix::TTestFile;
using vigix::TTestInfo;
using vigix::testing::FileSizeLimit;

namespace {

// Fixtures live in tests/data/testfile. VIGIX_TEST_DATA should name tests/data; when it names the folder of this
// source instead, the fixtures are found beside it.
QString fixtureFolder()
{
    const QString configured = QString::fromUtf8(VIGIX_TEST_DATA) + u"/testfile"_s;
    if (QFileInfo(configured).isDir())
        return configured;
    return QFINDTESTDATA("../data/testfile");
}

QString fixture(const QString &name)
{
    return fixtureFolder() + u'/' + name;
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Runs f and returns the message of the E it raises; nothing when it raises none. Other exceptions pass through
// and fail the test.
template <typename E, typename F> std::optional<QString> raisedMessage(F &&f)
{
    try {
        f();
    } catch (const E &e) {
        return e.message();
    }
    return std::nullopt;
}

TRoundInfo makeRound(const QString &target, const QString &noise, int noiseNo, int ticks,
                     std::initializer_list<int> rts, std::initializer_list<int> buttons)
{
    TRoundInfo round;
    round.Target = target;
    round.Noise = noise;
    round.NoiseNo = noiseNo;
    round.Ticks = ticks;
    int k = 1;
    for (int rt : rts)
        round.RT[k++] = rt;
    k = 1;
    for (int button : buttons)
        round.Button[k++] = button;
    return round;
}

// A round that no file holds: shows whether a reader left a round alone.
TRoundInfo markerRound(int i)
{
    return makeRound(u"old"_s, u"old"_s, -i, -i, {-1, -2, -3}, {-4, -5});
}

// The test that the Windows fixtures hold.
TTestInfo windowsInfo()
{
    TTestInfo info;
    info.Kensabangou = u"1001"_s;
    info.Kensanichiji = u"2002/10/11 15:30:03"_s;
    info.Shimei1 = u"A"_s;
    info.Shimei2 = u"B"_s;
    info.Seinengappi1 = u"1990"_s;
    info.Seinengappi2 = u"10"_s;
    info.Seinengappi3 = u"11"_s;
    info.Seibetsu = u"男"_s;
    info.Shindanmei = u"ＡＤＨＤ（混合型）"_s;
    info.Touyaku = u"ｌ\uFF0Dｄｏｐａ"_s;
    info.Ritarin = u"１\uFF5E２時間"_s;
    info.Kenzya = u"ｷｬﾝｾﾙ"_s;
    info.Memo = u"表\\ソ①"_s;
    info.PIQ = u"98"_s;
    info.VIQ = u"102"_s;
    info.FIQ = u"100"_s;
    for (int k = 1; k <= 18; ++k)
        info.ADHD[k] = QString::number((k - 1) % 4);
    const char16_t *const pdd[] = {u"1", u"0", u"", u"0", u"1", u"", u"1", u"0", u"", u"0", u"1", u"女"};
    for (int k = 1; k <= 12; ++k)
        info.PDD[k] = QString::fromUtf16(pdd[k - 1]);
    return info;
}

QList<TRoundInfo> windowsRounds()
{
    return {
        makeRound(u"T"_s, u"N"_s, 0, 15, {432}, {1}),
        makeRound(u"N"_s, u"A"_s, 3, 20, {}, {}),
        makeRound(u"T"_s, u"V"_s, 8, 13, {612, 700, 815}, {1, 1, 2}),
        makeRound(u"N"_s, u"N"_s, 0, 17, {120, 250, 380, 510, 640, 770, 900, 1030, 1160, 1249},
                  {3, 1, 2, 3, 1, 2, 3, 1, 2, 3}),
    };
}

// Line 1 as the Windows fixture holds it, in Shift-JIS, CR LF.
QByteArray windowsSubjectLine()
{
    return QByteArray("1001,\"2002/10/11 15:30:03\",\"A\",\"B\",\"1990\",\"10\",\"11\",\"") +
           QByteArray::fromHex("926a") + "\",\"" + QByteArray::fromHex("826082638267826381698dac8d878c5e816a") +
           "\",\"" + QByteArray::fromHex("828c817c8284828f82908281") + "\",\"" +
           QByteArray::fromHex("8250816082518e9e8ad4") + "\",\"" + QByteArray::fromHex("b7acddbed9") + "\",\"" +
           QByteArray::fromHex("955c5c835c8740") + "\",\"98\",\"102\",\"100\"," +
           "\"0\",\"1\",\"2\",\"3\",\"0\",\"1\",\"2\",\"3\",\"0\",\"1\",\"2\",\"3\",\"0\",\"1\",\"2\",\"3\",\"0\","
           "\"1\"," +
           "\"1\",\"0\",\"\",\"0\",\"1\",\"\",\"1\",\"0\",\"\",\"0\",\"1\",\"" + QByteArray::fromHex("8f97") + "\"\r\n";
}

// Line 1 of a test whose subject record is empty but for the number: the number bare, then 45 empty quoted fields.
QByteArray emptySubjectLine(const QByteArray &number)
{
    return number + QByteArray(",\"\"").repeated(45) + "\r\n";
}

QString roundText(const TRoundInfo &round)
{
    QStringList parts{round.Target, round.Noise, QString::number(round.NoiseNo), QString::number(round.Ticks)};
    for (int k = 1; k <= TRoundInfo::Slots; ++k)
        parts << QString::number(round.RT[k]);
    for (int k = 1; k <= TRoundInfo::Slots; ++k)
        parts << QString::number(round.Button[k]);
    return parts.join(u'|');
}

// Empty when equal, otherwise the first difference, for a readable failure.
QString infoDifference(const TTestInfo &actual, const TTestInfo &expected)
{
    for (int i = 1; i <= TTestInfo::FieldCount; ++i) {
        if (actual.Field(i) != expected.Field(i))
            return u"field %1 (%2): \"%3\", expected \"%4\""_s.arg(QString::number(i), TTestInfo::FieldName(i),
                                                                   actual.Field(i), expected.Field(i));
    }
    return {};
}

QString roundsDifference(const TTestFile &actual, const QList<TRoundInfo> &expected, int first = 1)
{
    for (int i = 0; i < expected.size(); ++i) {
        const int n = first + i;
        if (!(actual.Rounds[n] == expected.at(i)))
            return u"round %1: %2, expected %3"_s.arg(QString::number(n), roundText(actual.Rounds[n]),
                                                      roundText(expected.at(i)));
    }
    return {};
}

// The line number stands in the message on its own, not as part of a longer number.
bool namesLine(QString message, const QString &path, int line)
{
    message.remove(QDir::toNativeSeparators(path));
    message.remove(path);
    return message.contains(QRegularExpression(u"(?<![0-9])%1(?![0-9])"_s.arg(line)));
}

bool namesFile(const QString &message, const QString &path)
{
    return message.contains(QFileInfo(path).fileName());
}

int modeOf(const QString &path)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return static_cast<int>(st.st_mode & 07777);
}

// A device that takes `capacity` bytes and then fails, as a full disk does.
class FailingDevice : public QIODevice
{
public:
    explicit FailingDevice(qint64 capacity) : m_capacity(capacity) {}
    QByteArray written;

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 length) override
    {
        if (written.size() >= m_capacity) {
            setErrorString(u"device full"_s);
            return -1;
        }
        const qint64 n = std::min(length, m_capacity - written.size());
        written.append(data, n);
        return n;
    }

private:
    qint64 m_capacity;
};

// Characters of code page 932 that random texts are drawn from: ASCII without comma and quote, kana, kanji of both
// levels, NEC and IBM extensions, half-width kana, the Windows forms of "～" and its kin, "\" and "＼".
const QString &storablePool()
{
    static const QString pool = u" !#$%&'()*+-./0123456789:;<=>?@ABCXYZ[\\]^_`abcxyz{|}~"
                                u"あいうえおアイウエオ漢字検査時間男女表能ソ予①⑳ⅠⅩ㈱№℡∵≒≡∫√⊥∠∟⊿∩∪ⅰⅹ￤＇＂纊褜鍈銈髙﨑德"
                                u"ｱｲｳｰﾟ｡｢､・＼〒"
                                u"\uFF5E\uFF0D\u2225\uFFE0\uFFE1\uFFE2\u2015"_s;
    return pool;
}

QString randomText(std::mt19937 &rng)
{
    const QString &pool = storablePool();
    std::uniform_int_distribution<int> length(0, 12);
    std::uniform_int_distribution<qsizetype> pick(0, pool.size() - 1);
    QString text;
    for (int n = length(rng); n > 0; --n)
        text += pool.at(pick(rng));
    return text;
}

int randomInteger(std::mt19937 &rng)
{
    std::uniform_int_distribution<int> kind(0, 9);
    switch (kind(rng)) {
    case 0:
        return std::uniform_int_distribution<int>(INT_MIN, INT_MAX)(rng);
    case 1:
        return std::uniform_int_distribution<int>(-2000, -1)(rng);
    case 2:
        return std::uniform_int_distribution<int>(0, 1)(rng) ? INT_MIN : INT_MAX;
    default:
        return std::uniform_int_distribution<int>(0, 2000)(rng);
    }
}

void fillRandomTest(TTestFile &test, std::mt19937 &rng, int roundCount)
{
    for (int i = 1; i <= TTestInfo::FieldCount; ++i)
        test.Info.Field(i) = randomText(rng);
    test.RoundCount = roundCount;
    std::uniform_int_distribution<int> code(0, 5);
    const QString codes[] = {u"T"_s, u"N"_s, u"A"_s, u"V"_s, QString()};
    for (int i = 1; i <= roundCount; ++i) {
        TRoundInfo &round = test.Rounds[i];
        const int t = code(rng);
        round.Target = t < 5 ? codes[t] : randomText(rng);
        const int n = code(rng);
        round.Noise = n < 5 ? codes[n] : randomText(rng);
        round.NoiseNo = randomInteger(rng);
        round.Ticks = randomInteger(rng);
        for (int k = 1; k <= TRoundInfo::Slots; ++k) {
            round.RT[k] = randomInteger(rng);
            round.Button[k] = randomInteger(rng);
        }
    }
}

// A test file of the Windows subject line and `roundLines` valid round lines, round i answered after i ms.
QByteArray fileWithRoundLines(int roundLines)
{
    QByteArray bytes = windowsSubjectLine();
    for (int i = 1; i <= roundLines; ++i)
        bytes += "\"T\",\"N\",0,15," + QByteArray::number(i) + ",0,0,0,0,0,0,0,0,0,1,0,0,0,0,0,0,0,0,0\r\n";
    return bytes;
}

} // namespace

class testfileTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void readFile_windowsFile_givesSameTest_data();
    void readFile_windowsFile_givesSameTest();
    void readFile_byNumber_readsNumberTxtInDataFolder();
    void readInfo_windowsFile_readsSubjectOnly_data();
    void readInfo_windowsFile_readsSubjectOnly();
    void readFile_subjectLineOnly_roundCountZero_data();
    void readFile_subjectLineOnly_roundCountZero();
    void readFile_fewerRoundsThanHeld_laterRoundsKeepContents();
    void readInfo_fieldCount_missingFieldsEmptyExtraIgnored_data();
    void readInfo_fieldCount_missingFieldsEmptyExtraIgnored();
    void readInfo_shortFixture_missingFieldsEmpty();
    void readInfo_commaInField_shiftsLaterFields();
    void readFile_missingFile_raisesInOutErrorNamingFile_data();
    void readFile_missingFile_raisesInOutErrorNamingFile();
    void readFile_decimalIntegers_readExactly_data();
    void readFile_decimalIntegers_readExactly();
    void readFile_notDecimalInteger_raisesConvertErrorKeepingRoundCount_data();
    void readFile_notDecimalInteger_raisesConvertErrorKeepingRoundCount();
    void readFile_510RoundLines_allRead();
    void checkIsTestFile_realTestsPass_otherFilesRefusedNamingFile();
    void readFile_moreThan510RoundLines_raisesConvertError_data();
    void readFile_moreThan510RoundLines_raisesConvertError();

    void writeFile_exampleTest_exactLayout();
    void writeFile_windowsTest_sameBytesAsWindows();
    void writeFile_roundCount_onlyRoundsInUseWritten_data();
    void writeFile_roundCount_onlyRoundsInUseWritten();
    void writeFile_integers_plainDecimal();
    void writeFile_replacesLongerFile_noBytesLeftOver();
    void writeFile_dataFolderWithOrWithoutSeparator_sameFile();
    void writeFile_jisForms_storedAsWindowsBytes_data();
    void writeFile_jisForms_storedAsWindowsBytes();
    void writeFile_unstorableSubjectText_refusedNamingField_data();
    void writeFile_unstorableSubjectText_refusedNamingField();
    void writeFile_unstorableRoundCode_refused_data();
    void writeFile_unstorableRoundCode_refused();
    void writeFile_diskFull_raisesInOutErrorKeepingOldFile();
    void writeTo_deviceFailsAfterNBytes_raisesInOutError_data();
    void writeTo_deviceFailsAfterNBytes_raisesInOutError();
    void writeFile_missingFolder_raisesInOutError();
    void writeFile_ownerOnly_data();
    void writeFile_ownerOnly();

    void writeThenRead_randomTests_sameTest();

    void nextTestNumber_existingFiles_data();
    void nextTestNumber_existingFiles();
    void ensureDataFolder_missingParents_createsOwnerOnlyFolder();
    void ensureDataFolder_existingFolder_keepsContents();
    void ensureDataFolder_blockedByFile_raisesInOutError();
    void defaultDataFolder_vigixInDocuments();
};

void testfileTest::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY2(QFileInfo(fixture(u"windows_crlf.txt"_s)).isFile(), qPrintable(fixtureFolder()));
}

void testfileTest::readFile_windowsFile_givesSameTest_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("CR LF") << u"windows_crlf.txt"_s;
    QTest::newRow("bare LF") << u"windows_lf.txt"_s;
    QTest::newRow("last line without line end") << u"no_final_line_end.txt"_s;
    QTest::newRow("quotes scattered or missing") << u"loose_quotes.txt"_s;
}

void testfileTest::readFile_windowsFile_givesSameTest()
{
    QFETCH(QString, file);
    TTestFile test;
    test.ReadFileFromPath(fixture(file));
    const QString info = infoDifference(test.Info, windowsInfo());
    QVERIFY2(info.isEmpty(), qPrintable(info));
    QCOMPARE(test.RoundCount, 4);
    const QString rounds = roundsDifference(test, windowsRounds());
    QVERIFY2(rounds.isEmpty(), qPrintable(rounds));
    QCOMPARE(test.Rounds[5], TRoundInfo());
}

void testfileTest::readFile_byNumber_readsNumberTxtInDataFolder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QFile::copy(fixture(u"windows_crlf.txt"_s), dir.filePath(u"1001.txt"_s)));
    QVERIFY(writeBytes(dir.filePath(u"1002.txt"_s), emptySubjectLine("1002")));

    TTestFile test;
    test.ReadFile(dir.path() + u'/', u"1001"_s);
    QCOMPARE(test.Info.Kensabangou, u"1001"_s);
    QCOMPARE(test.RoundCount, 4);
    test.ReadInfo(dir.path(), u"1002"_s);
    QCOMPARE(test.Info.Kensabangou, u"1002"_s);
    QCOMPARE(test.Info.Seibetsu, QString());
}

void testfileTest::readInfo_windowsFile_readsSubjectOnly_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("CR LF") << u"windows_crlf.txt"_s;
    QTest::newRow("bare LF") << u"windows_lf.txt"_s;
    QTest::newRow("quotes scattered or missing") << u"loose_quotes.txt"_s;
    QTest::newRow("subject line only") << u"info_only.txt"_s;
    QTest::newRow("subject line without line end") << u"info_only_no_line_end.txt"_s;
}

void testfileTest::readInfo_windowsFile_readsSubjectOnly()
{
    QFETCH(QString, file);
    TTestFile test;
    test.RoundCount = 7;
    for (int i = 1; i <= 8; ++i)
        test.Rounds[i] = markerRound(i);
    test.CulcResult.Count[vigix::condN][vigix::Hit] = 5;
    test.CulcResult.HitRT[vigix::condT] = {300.0};

    test.ReadInfoFromPath(fixture(file));

    const QString info = infoDifference(test.Info, windowsInfo());
    QVERIFY2(info.isEmpty(), qPrintable(info));
    QCOMPARE(test.RoundCount, 7);
    for (int i = 1; i <= 8; ++i)
        QCOMPARE(test.Rounds[i], markerRound(i));
    QCOMPARE(test.CulcResult.Count[vigix::condN][vigix::Hit], 5);
    QCOMPARE(test.CulcResult.HitRT[vigix::condT], QList<double>{300.0});
}

void testfileTest::readFile_subjectLineOnly_roundCountZero_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("CR LF") << u"info_only.txt"_s;
    QTest::newRow("without line end") << u"info_only_no_line_end.txt"_s;
}

void testfileTest::readFile_subjectLineOnly_roundCountZero()
{
    QFETCH(QString, file);
    TTestFile test;
    test.RoundCount = 9;
    for (int i = 1; i <= 9; ++i)
        test.Rounds[i] = markerRound(i);

    test.ReadFileFromPath(fixture(file));

    const QString info = infoDifference(test.Info, windowsInfo());
    QVERIFY2(info.isEmpty(), qPrintable(info));
    QCOMPARE(test.RoundCount, 0);
    // Rounds above the count read keep what the object held.
    for (int i = 1; i <= 9; ++i)
        QCOMPARE(test.Rounds[i], markerRound(i));
}

void testfileTest::readFile_fewerRoundsThanHeld_laterRoundsKeepContents()
{
    TTestFile test;
    test.RoundCount = 6;
    for (int i = 1; i <= 6; ++i)
        test.Rounds[i] = markerRound(i);

    test.ReadFileFromPath(fixture(u"windows_crlf.txt"_s));

    QCOMPARE(test.RoundCount, 4);
    const QString rounds = roundsDifference(test, windowsRounds());
    QVERIFY2(rounds.isEmpty(), qPrintable(rounds));
    QCOMPARE(test.Rounds[5], markerRound(5));
    QCOMPARE(test.Rounds[6], markerRound(6));
}

void testfileTest::readInfo_fieldCount_missingFieldsEmptyExtraIgnored_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("fieldsGiven");

    // Field i holds "f<i>"; the number is written bare, the rest quoted.
    auto line = [](int fields) {
        QByteArray bytes;
        for (int i = 1; i <= fields; ++i)
            bytes += (i == 1 ? "f1" : ",\"f" + QByteArray::number(i) + '"');
        return bytes + "\r\n";
    };
    QTest::newRow("empty file") << QByteArray() << 0;
    QTest::newRow("empty first line") << QByteArray(
                                             "\r\n\"T\",\"N\",0,15,432,0,0,0,0,0,0,0,0,0,1,0,0,0,0,0,0,0,0,0\r\n")
                                      << 0;
    QTest::newRow("one field, no comma") << line(1) << 1;
    QTest::newRow("3 fields") << line(3) << 3;
    QTest::newRow("45 fields") << line(45) << 45;
    QTest::newRow("46 fields") << line(46) << 46;
    QTest::newRow("50 fields") << line(50) << 50;
    QTest::newRow("150 fields") << line(150) << 150;
}

void testfileTest::readInfo_fieldCount_missingFieldsEmptyExtraIgnored()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, fieldsGiven);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"1001.txt"_s);
    QVERIFY(writeBytes(path, bytes));

    TTestFile test;
    for (int i = 1; i <= TTestInfo::FieldCount; ++i)
        test.Info.Field(i) = u"before"_s;
    test.ReadInfoFromPath(path);

    for (int i = 1; i <= TTestInfo::FieldCount; ++i) {
        const QString expected = i <= fieldsGiven ? u"f"_s + QString::number(i) : QString();
        QCOMPARE(test.Info.Field(i), expected);
    }
}

void testfileTest::readInfo_shortFixture_missingFieldsEmpty()
{
    TTestFile test;
    test.Info = windowsInfo();
    test.ReadFileFromPath(fixture(u"short_info.txt"_s));

    TTestInfo expected;
    expected.Kensabangou = u"1001"_s;
    expected.Kensanichiji = u"2002/10/11 15:30:03"_s;
    expected.Shimei1 = u"A"_s;
    const QString info = infoDifference(test.Info, expected);
    QVERIFY2(info.isEmpty(), qPrintable(info));
    QCOMPARE(test.RoundCount, 1);
    QCOMPARE(test.Rounds[1], windowsRounds().first());
}

void testfileTest::readInfo_commaInField_shiftsLaterFields()
{
    TTestFile test;
    test.ReadFileFromPath(fixture(u"comma_in_field.txt"_s));

    // "ＡＤＨＤ,混合型" in the diagnosis splits in two; every later field moves one place on and the last one falls
    // off the record.
    const TTestInfo written = windowsInfo();
    TTestInfo expected = written;
    expected.Shindanmei = u"ＡＤＨＤ"_s;
    expected.Touyaku = u"混合型"_s;
    for (int i = 11; i <= TTestInfo::FieldCount; ++i)
        expected.Field(i) = written.Field(i - 1);
    const QString info = infoDifference(test.Info, expected);
    QVERIFY2(info.isEmpty(), qPrintable(info));
    QCOMPARE(test.RoundCount, 1);
}

void testfileTest::readFile_missingFile_raisesInOutErrorNamingFile_data()
{
    QTest::addColumn<bool>("wholeFile");
    QTest::newRow("ReadInfo") << false;
    QTest::newRow("ReadFile") << true;
}

void testfileTest::readFile_missingFile_raisesInOutErrorNamingFile()
{
    QFETCH(bool, wholeFile);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(writeBytes(dir.filePath(u"1001.del"_s), windowsSubjectLine()));

    TTestFile test;
    test.Info = windowsInfo();
    test.RoundCount = 3;
    const auto message = raisedMessage<EInOutError>([&] {
        if (wholeFile)
            test.ReadFile(dir.path(), u"1001"_s);
        else
            test.ReadInfo(dir.path(), u"1001"_s);
    });
    QVERIFY(message);
    QVERIFY2(namesFile(*message, dir.filePath(u"1001.txt"_s)), qPrintable(*message));
    QCOMPARE(test.RoundCount, 3);
    QCOMPARE(test.Info, windowsInfo());
}

void testfileTest::readFile_decimalIntegers_readExactly_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("zero") << QByteArray("0") << 0;
    QTest::newRow("negative") << QByteArray("-1") << -1;
    QTest::newRow("largest") << QByteArray("2147483647") << INT_MAX;
    QTest::newRow("smallest") << QByteArray("-2147483648") << INT_MIN;
    QTest::newRow("quoted") << QByteArray("\"1249\"") << 1249;
}

void testfileTest::readFile_decimalIntegers_readExactly()
{
    QFETCH(QByteArray, text);
    QFETCH(int, value);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"1001.txt"_s);
    // The value stands in NoiseNo, Ticks, RT[10] and Button[10].
    const QByteArray round =
        "\"T\",\"N\"," + text + ',' + text + ",1,2,3,4,5,6,7,8,9," + text + ",1,2,3,1,2,3,1,2,3," + text + "\r\n";
    QVERIFY(writeBytes(path, windowsSubjectLine() + round));

    TTestFile test;
    test.ReadFileFromPath(path);
    QCOMPARE(test.RoundCount, 1);
    QCOMPARE(test.Rounds[1], makeRound(u"T"_s, u"N"_s, value, value, {1, 2, 3, 4, 5, 6, 7, 8, 9, value},
                                       {1, 2, 3, 1, 2, 3, 1, 2, 3, value}));
}

void testfileTest::readFile_notDecimalInteger_raisesConvertErrorKeepingRoundCount_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("NoiseNo 12a") << 3 << QByteArray("12a");
    QTest::newRow("Ticks empty") << 4 << QByteArray("");
    QTest::newRow("Ticks quoted empty") << 4 << QByteArray("\"\"");
    QTest::newRow("RT[1] leading space") << 5 << QByteArray(" 5");
    QTest::newRow("RT[1] trailing space") << 5 << QByteArray("5 ");
    QTest::newRow("RT[10] hexadecimal") << 14 << QByteArray("0x10");
    QTest::newRow("Button[1] plus sign") << 15 << QByteArray("+5");
    QTest::newRow("Button[10] beyond 32 bits") << 24 << QByteArray("99999999999");
    QTest::newRow("RT[2] just beyond 32 bits") << 6 << QByteArray("2147483648");
    QTest::newRow("RT[4] fraction") << 8 << QByteArray("1.5");
    QTest::newRow("NoiseNo minus alone") << 3 << QByteArray("-");
    QTest::newRow("Ticks full-width digits") << 4 << QByteArray::fromHex("82548253"); // "５４"
    QTest::newRow("Button[1] double minus") << 15 << QByteArray("--5");
}

void testfileTest::readFile_notDecimalInteger_raisesConvertErrorKeepingRoundCount()
{
    QFETCH(int, field);
    QFETCH(QByteArray, text);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"1001.txt"_s);

    // Five good rounds, the damaged one on line 7, one more good round after it.
    QByteArray bytes = windowsSubjectLine();
    const QList<QByteArray> lines = readBytes(fixture(u"windows_crlf.txt"_s)).split('\n').mid(1, 4);
    for (const QByteArray &line : lines)
        bytes += line + '\n';
    bytes += lines.first() + '\n';
    QList<QByteArray> damaged = QByteArray("\"T\",\"V\",8,13,612,700,815,0,0,0,0,0,0,0,1,1,2,0,0,0,0,0,0,0").split(',');
    damaged[field - 1] = text;
    bytes += damaged.join(',') + "\r\n";
    bytes += lines.first() + '\n';
    QVERIFY(writeBytes(path, bytes));

    TTestFile test;
    test.RoundCount = 9;
    for (int i = 1; i <= 9; ++i)
        test.Rounds[i] = markerRound(i);

    const auto message = raisedMessage<EConvertError>([&] { test.ReadFileFromPath(path); });
    QVERIFY(message);
    QVERIFY2(namesFile(*message, path), qPrintable(*message));
    QVERIFY2(namesLine(*message, path, 7), qPrintable(*message));
    // What was read before the damaged line stays; the count of rounds does not change.
    const QString info = infoDifference(test.Info, windowsInfo());
    QVERIFY2(info.isEmpty(), qPrintable(info));
    QList<TRoundInfo> before = windowsRounds();
    before << windowsRounds().first();
    const QString rounds = roundsDifference(test, before);
    QVERIFY2(rounds.isEmpty(), qPrintable(rounds));
    QCOMPARE(test.RoundCount, 9);
}

void testfileTest::checkIsTestFile_realTestsPass_otherFilesRefusedNamingFile()
{
    // Every real test, however loosely written, passes, and is read exactly as without the check.
    const QString scoreFolder = QString::fromUtf8(VIGIX_TEST_DATA) + u"/score/"_s;
    QStringList tests{scoreFolder + u"2001.txt"_s};
    for (const QString &name : QDir(fixtureFolder()).entryList({u"*.txt"_s}, QDir::Files))
        tests.append(fixture(name));
    QVERIFY(tests.size() >= 9);
    for (const QString &path : tests) {
        TTestFile plain;
        plain.ReadFileFromPath(path);
        TTestFile checked;
        checked.ReadCheckedFileFromPath(path);
        QCOMPARE(checked.Info, plain.Info);
        QCOMPARE(checked.RoundCount, plain.RoundCount);
        for (int i = 1; i <= plain.RoundCount; ++i)
            QCOMPARE(checked.Rounds[i], plain.Rounds[i]);
    }

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray good = readBytes(fixture(u"windows_crlf.txt"_s));
    const QList<std::pair<QString, QByteArray>> made{
        {u"number_only.txt"_s, QByteArray("1001\r\n")},
        {u"word_first.txt"_s, QByteArray("\"abc\",\"2002/10/11 15:30:03\"\r\n")},
        {u"blank_first_line.txt"_s, QByteArray("\r\n") + good},
        {u"nul_at_end.txt"_s, good + QByteArray(1, '\0')},
        {u"tab_in_name.txt"_s, QByteArray("1001,\"2002/10/11 15:30:03\",\"A\tB\"\r\n")},
        {u"del_in_round.txt"_s, good + QByteArray("\"T\",\"N\",0,15\x7F,0\r\n")},
    };
    QStringList others;
    for (const auto &[name, bytes] : made) {
        QVERIFY(writeBytes(dir.filePath(name), bytes));
        others.append(dir.filePath(name));
    }
    for (const QString &name :
         {u"empty.txt"_s, u"nul.txt"_s, u"random.txt"_s, u"scores_csv.txt"_s, u"escape_in_name.txt"_s})
        others.append(scoreFolder + name);

    for (const QString &path : others) {
        TTestFile test;
        test.Info = windowsInfo();
        test.RoundCount = 3;
        const auto checked = raisedMessage<EConvertError>([&] { TTestFile::CheckIsTestFile(readBytes(path), path); });
        QVERIFY2(checked, qPrintable(path));
        QVERIFY2(namesFile(*checked, path), qPrintable(*checked));
        QVERIFY2(checked->contains(u"検査のファイルではありません"_s), qPrintable(*checked));
        const auto read = raisedMessage<EConvertError>([&] { test.ReadCheckedFileFromPath(path); });
        QCOMPARE(read, checked);
        // Refused before anything was read into the test.
        QCOMPARE(test.Info, windowsInfo());
        QCOMPARE(test.RoundCount, 3);
    }
}

void testfileTest::readFile_510RoundLines_allRead()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"1001.txt"_s);
    QVERIFY(writeBytes(path, fileWithRoundLines(510)));

    TTestFile test;
    test.ReadFileFromPath(path);
    QCOMPARE(test.RoundCount, 510);
    QCOMPARE(test.Rounds[1], makeRound(u"T"_s, u"N"_s, 0, 15, {1}, {1}));
    QCOMPARE(test.Rounds[510], makeRound(u"T"_s, u"N"_s, 0, 15, {510}, {1}));
}

void testfileTest::readFile_moreThan510RoundLines_raisesConvertError_data()
{
    QTest::addColumn<int>("roundLines");
    QTest::newRow("511") << 511;
    QTest::newRow("512") << 512;
    QTest::newRow("2000") << 2000;
}

void testfileTest::readFile_moreThan510RoundLines_raisesConvertError()
{
    QFETCH(int, roundLines);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"1001.txt"_s);
    QVERIFY(writeBytes(path, fileWithRoundLines(roundLines)));

    TTestFile test;
    test.RoundCount = 3;
    const auto message = raisedMessage<EConvertError>([&] { test.ReadFileFromPath(path); });
    QVERIFY(message);
    QVERIFY2(namesFile(*message, path), qPrintable(*message));
    QCOMPARE(test.RoundCount, 3);
}

void testfileTest::writeFile_exampleTest_exactLayout()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    TTestFile test;
    test.Info.Kensabangou = u"1001"_s;
    test.Info.Kensanichiji = u"2002/10/11 15:30:03"_s;
    test.Info.Shimei1 = u"A"_s;
    test.Info.Shimei2 = u"B"_s;
    test.Info.Seinengappi1 = u"1990"_s;
    test.Info.Seinengappi2 = u"10"_s;
    test.Info.Seinengappi3 = u"11"_s;
    test.Rounds[1] = makeRound(u"T"_s, u"N"_s, 0, 15, {432}, {1});
    test.RoundCount = 1;

    test.WriteFile(dir.path(), u"1001"_s);

    const QByteArray expected = QByteArray("1001,\"2002/10/11 15:30:03\",\"A\",\"B\",\"1990\",\"10\",\"11\"") +
                                QByteArray(",\"\"").repeated(39) + "\r\n" +
                                "\"T\",\"N\",0,15,432,0,0,0,0,0,0,0,0,0,1,0,0,0,0,0,0,0,0,0\r\n";
    QCOMPARE(readBytes(dir.filePath(u"1001.txt"_s)), expected);
}

void testfileTest::writeFile_windowsTest_sameBytesAsWindows()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    TTestFile test;
    test.Info = windowsInfo();
    const QList<TRoundInfo> rounds = windowsRounds();
    for (int i = 1; i <= rounds.size(); ++i)
        test.Rounds[i] = rounds.at(i - 1);
    test.RoundCount = 4;
    const QByteArray windowsBytes = readBytes(fixture(u"windows_crlf.txt"_s));
    QVERIFY(!windowsBytes.isEmpty());

    test.WriteFile(dir.path(), u"1001"_s);
    QCOMPARE(readBytes(dir.filePath(u"1001.txt"_s)), windowsBytes);

    QBuffer buffer;
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    test.WriteTo(buffer, dir.filePath(u"1001.txt"_s));
    QCOMPARE(buffer.data(), windowsBytes);
}

void testfileTest::writeFile_roundCount_onlyRoundsInUseWritten_data()
{
    QTest::addColumn<int>("roundCount");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray first = "\"T\",\"N\",0,15,432,0,0,0,0,0,0,0,0,0,1,0,0,0,0,0,0,0,0,0\r\n";
    const QByteArray second = "\"N\",\"A\",3,20,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\r\n";
    QTest::newRow("none") << 0 << emptySubjectLine("1001");
    QTest::newRow("negative") << -1 << emptySubjectLine("1001");
    QTest::newRow("one") << 1 << emptySubjectLine("1001") + first;
    QTest::newRow("two of four held") << 2 << emptySubjectLine("1001") + first + second;
}

void testfileTest::writeFile_roundCount_onlyRoundsInUseWritten()
{
    QFETCH(int, roundCount);
    QFETCH(QByteArray, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    TTestFile test;
    test.Info.Kensabangou = u"1001"_s;
    const QList<TRoundInfo> rounds = windowsRounds();
    for (int i = 1; i <= rounds.size(); ++i)
        test.Rounds[i] = rounds.at(i - 1);
    test.RoundCount = roundCount;

    test.WriteFile(dir.path(), u"1001"_s);
    QCOMPARE(readBytes(dir.filePath(u"1001.txt"_s)), expected);
}

void testfileTest::writeFile_integers_plainDecimal()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    TTestFile test;
    test.Info.Kensabangou = u"1001"_s;
    test.Rounds[1] = makeRound(u"N"_s, u"V"_s, -7, INT_MAX, {INT_MIN, -1, 0, 10, 100, 1000, 10000, 0, 0, 1249},
                               {1, 2, 3, 0, 0, 0, 0, 0, 0, -3});
    test.RoundCount = 1;

    test.WriteFile(dir.path(), u"1001"_s);
    QCOMPARE(readBytes(dir.filePath(u"1001.txt"_s)),
             emptySubjectLine("1001") +
                 "\"N\",\"V\",-7,2147483647,-2147483648,-1,0,10,100,1000,10000,0,0,1249,1,2,3,0,0,0,0,0,0,-3\r\n");
}

void testfileTest::writeFile_replacesLongerFile_noBytesLeftOver()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    TTestFile test;
    test.Info = windowsInfo();
    for (int i = 1; i <= TTestFile::TestRounds; ++i)
        test.Rounds[i] = makeRound(u"T"_s, u"N"_s, 0, 15, {432}, {1});
    test.RoundCount = TTestFile::TestRounds;
    test.WriteFile(dir.path(), u"1001"_s);
    QVERIFY(QFileInfo(dir.filePath(u"1001.txt"_s)).size() > 10000);

    test.RoundCount = 0;
    test.WriteFile(dir.path(), u"1001"_s);
    QCOMPARE(readBytes(dir.filePath(u"1001.txt"_s)), windowsSubjectLine());
}

void testfileTest::writeFile_dataFolderWithOrWithoutSeparator_sameFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    TTestFile test;
    test.Info.Kensabangou = u"1001"_s;
    test.WriteFile(dir.path() + u'/', u"1001"_s);
    QCOMPARE(readBytes(dir.filePath(u"1001.txt"_s)), emptySubjectLine("1001"));

    test.Info.Kensabangou = u"1002"_s;
    test.WriteFile(dir.path(), u"1002"_s);
    QCOMPARE(readBytes(dir.filePath(u"1002.txt"_s)), emptySubjectLine("1002"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{u"1001.txt"_s, u"1002.txt"_s}));
}

void testfileTest::writeFile_jisForms_storedAsWindowsBytes_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("readBack");
    QTest::newRow("wave dash") << u"１\u301C２時間"_s << QByteArray::fromHex("8250816082518e9e8ad4")
                               << u"１\uFF5E２時間"_s;
    QTest::newRow("double vertical line") << u"\u2016"_s << QByteArray::fromHex("8161") << u"\u2225"_s;
    QTest::newRow("minus sign") << u"ｌ\u2212ｄｏｐａ"_s << QByteArray::fromHex("828c817c8284828f82908281")
                                << u"ｌ\uFF0Dｄｏｐａ"_s;
    QTest::newRow("cent sign") << u"\u00A2"_s << QByteArray::fromHex("8191") << u"\uFFE0"_s;
    QTest::newRow("pound sign") << u"\u00A3"_s << QByteArray::fromHex("8192") << u"\uFFE1"_s;
    QTest::newRow("not sign") << u"\u00AC"_s << QByteArray::fromHex("81ca") << u"\uFFE2"_s;
    QTest::newRow("em dash") << u"\u2014"_s << QByteArray::fromHex("815c") << u"\u2015"_s;
    QTest::newRow("Windows form unchanged")
        << u"１\uFF5E２時間"_s << QByteArray::fromHex("8250816082518e9e8ad4") << u"１\uFF5E２時間"_s;
}

void testfileTest::writeFile_jisForms_storedAsWindowsBytes()
{
    QFETCH(QString, typed);
    QFETCH(QByteArray, stored);
    QFETCH(QString, readBack);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    TTestFile test;
    test.Info.Kensabangou = u"1001"_s;
    test.Info.Ritarin = typed; // field 11

    test.WriteFile(dir.path(), u"1001"_s);

    const QByteArray expected =
        "1001" + QByteArray(",\"\"").repeated(9) + ",\"" + stored + '"' + QByteArray(",\"\"").repeated(35) + "\r\n";
    QCOMPARE(readBytes(dir.filePath(u"1001.txt"_s)), expected);
    TTestFile read;
    read.ReadFile(dir.path(), u"1001"_s);
    QCOMPARE(read.Info.Ritarin, readBack);
}

void testfileTest::writeFile_unstorableSubjectText_refusedNamingField_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("label");
    QTest::newRow("comma in name") << 3 << u"山,田"_s << u"Shimei1"_s << u"氏名"_s;
    QTest::newRow("quote in memo") << 13 << u"\"よい\""_s << u"Memo"_s << u"メモ"_s;
    QTest::newRow("CR in memo") << 13 << u"一行目\r二行目"_s << u"Memo"_s << u"メモ"_s;
    QTest::newRow("LF in memo") << 13 << u"一行目\n二行目"_s << u"Memo"_s << u"メモ"_s;
    QTest::newRow("comma in number") << 1 << u"1,001"_s << u"Kensabangou"_s << u"検査番号"_s;
    QTest::newRow("comma in ADHD 3") << 19 << u"1,2"_s << u"ADHD[3]"_s << u"ADHD 3."_s;
    QTest::newRow("emoji in medication") << 10 << u"薬\U0001F600"_s << u"Touyaku"_s << u"投薬"_s;
    QTest::newRow("yen sign in diagnosis") << 9 << u"\u00A5100"_s << u"Shindanmei"_s << u"診断名"_s;
    QTest::newRow("kanji outside code page 932") << 4 << u"\U00020BB7野"_s << u"Shimei2"_s << u"氏名"_s;
    QTest::newRow("hangul in examiner") << 12 << u"\uD55C"_s << u"Kenzya"_s << u"検者"_s;
    QTest::newRow("emoji in PDD 12") << 46 << u"\U0001F600"_s << u"PDD[12]"_s << u"PDD 3-d"_s;
    QTest::newRow("tab in memo") << 13 << u"一\t二"_s << u"Memo"_s << u"メモ"_s;
}

void testfileTest::writeFile_unstorableSubjectText_refusedNamingField()
{
    QFETCH(int, field);
    QFETCH(QString, value);
    QFETCH(QString, name);
    QFETCH(QString, label);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"1001.txt"_s);
    TTestFile test;
    test.Info = windowsInfo();
    test.Info.Field(field) = value;

    // No file is made.
    auto message = raisedMessage<EConvertError>([&] { test.WriteFile(dir.path(), u"1001"_s); });
    QVERIFY2(message, "the text was written");
    QVERIFY2(message->contains(name) || message->contains(label), qPrintable(*message));
    QVERIFY2(namesFile(*message, path), qPrintable(*message));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());

    // A test already stored under the number stays as it was.
    QVERIFY(QFile::copy(fixture(u"windows_crlf.txt"_s), path));
    message = raisedMessage<EConvertError>([&] { test.WriteFile(dir.path(), u"1001"_s); });
    QVERIFY2(message, "the text was written");
    QCOMPARE(readBytes(path), readBytes(fixture(u"windows_crlf.txt"_s)));
}

void testfileTest::writeFile_unstorableRoundCode_refused_data()
{
    QTest::addColumn<bool>("inTarget");
    QTest::addColumn<QString>("value");
    QTest::newRow("comma in Target") << true << u"T,"_s;
    QTest::newRow("quote in Noise") << false << u"\"A"_s;
    QTest::newRow("LF in Noise") << false << u"A\n"_s;
    QTest::newRow("emoji in Target") << true << u"\U0001F600"_s;
    // Read from a damaged file: these would be written back as other bytes.
    QTest::newRow("control code 1C in Target") << true << u"N\x1C"_s;
    QTest::newRow("DEL in Noise") << false << u"V\x7F"_s;
}

void testfileTest::writeFile_unstorableRoundCode_refused()
{
    QFETCH(bool, inTarget);
    QFETCH(QString, value);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    TTestFile test;
    test.Info = windowsInfo();
    const QList<TRoundInfo> rounds = windowsRounds();
    for (int i = 1; i <= rounds.size(); ++i)
        test.Rounds[i] = rounds.at(i - 1);
    test.RoundCount = 4;
    (inTarget ? test.Rounds[3].Target : test.Rounds[3].Noise) = value;

    const auto message = raisedMessage<EConvertError>([&] { test.WriteFile(dir.path(), u"1001"_s); });
    QVERIFY2(message, "the text was written");
    QVERIFY2(message->contains(inTarget ? u"Target"_s : u"Noise"_s), qPrintable(*message));
    QVERIFY(!QFileInfo::exists(dir.filePath(u"1001.txt"_s)));
}

void testfileTest::writeFile_diskFull_raisesInOutErrorKeepingOldFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"1001.txt"_s);
    TTestFile test;
    test.Info = windowsInfo();
    const QList<TRoundInfo> rounds = windowsRounds();
    for (int i = 1; i <= rounds.size(); ++i)
        test.Rounds[i] = rounds.at(i - 1);
    test.RoundCount = 4;
    test.WriteFile(dir.path(), u"1001"_s);
    const QByteArray good = readBytes(path);
    QCOMPARE(good, readBytes(fixture(u"windows_crlf.txt"_s)));

    // The full test is about 30 KB; the disk takes 4 KB.
    for (int i = 1; i <= TTestFile::TestRounds; ++i)
        test.Rounds[i] = makeRound(u"T"_s, u"A"_s, 5, 20, {432, 555}, {1, 2});
    test.RoundCount = TTestFile::TestRounds;
    std::optional<QString> message;
    {
        FileSizeLimit limit(4096);
        QVERIFY(limit.ok());
        message = raisedMessage<EInOutError>([&] { test.WriteFile(dir.path(), u"1001"_s); });
    }
    QVERIFY2(message, "the write did not fail");
    QVERIFY2(namesFile(*message, path), qPrintable(*message));
    QCOMPARE(readBytes(path), good);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{u"1001.txt"_s});

    // With room again the same write succeeds.
    test.WriteFile(dir.path(), u"1001"_s);
    TTestFile read;
    read.ReadFile(dir.path(), u"1001"_s);
    QCOMPARE(read.RoundCount, TTestFile::TestRounds);
    QCOMPARE(read.Rounds[500], test.Rounds[500]);
}

void testfileTest::writeTo_deviceFailsAfterNBytes_raisesInOutError_data()
{
    QTest::addColumn<qint64>("capacity");
    const qint64 size = readBytes(fixture(u"windows_crlf.txt"_s)).size();
    QTest::newRow("at once") << qint64(0);
    QTest::newRow("after 1 byte") << qint64(1);
    QTest::newRow("within line 1") << qint64(100);
    QTest::newRow("within the rounds") << qint64(300);
    QTest::newRow("one byte short") << size - 1;
}

void testfileTest::writeTo_deviceFailsAfterNBytes_raisesInOutError()
{
    QFETCH(qint64, capacity);
    TTestFile test;
    test.Info = windowsInfo();
    const QList<TRoundInfo> rounds = windowsRounds();
    for (int i = 1; i <= rounds.size(); ++i)
        test.Rounds[i] = rounds.at(i - 1);
    test.RoundCount = 4;
    FailingDevice device(capacity);
    QVERIFY(device.open(QIODevice::WriteOnly | QIODevice::Unbuffered));

    const QString path = u"/data/vigix/1001.txt"_s;
    const auto message = raisedMessage<EInOutError>([&] { test.WriteTo(device, path); });
    QVERIFY2(message, "the failing device was not noticed");
    QVERIFY2(namesFile(*message, path), qPrintable(*message));
}

void testfileTest::writeFile_missingFolder_raisesInOutError()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(u"missing"_s);
    TTestFile test;
    test.Info = windowsInfo();

    const auto message = raisedMessage<EInOutError>([&] { test.WriteFile(folder, u"1001"_s); });
    QVERIFY(message);
    QVERIFY2(namesFile(*message, folder + u"/1001.txt"_s), qPrintable(*message));
    QVERIFY(!QFileInfo::exists(folder));
}

void testfileTest::writeFile_ownerOnly_data()
{
    QTest::addColumn<bool>("replacing");
    QTest::newRow("new file") << false;
    QTest::newRow("replacing a readable file") << true;
}

void testfileTest::writeFile_ownerOnly()
{
    QFETCH(bool, replacing);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"1001.txt"_s);
    if (replacing) {
        QVERIFY(writeBytes(path, windowsSubjectLine()));
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0644) == 0);
    }
    const mode_t oldMask = ::umask(0);
    TTestFile test;
    test.Info = windowsInfo();
    const auto message = raisedMessage<vigix::EVigixError>([&] { test.WriteFile(dir.path(), u"1001"_s); });
    ::umask(oldMask);
    QVERIFY2(!message, qPrintable(message.value_or(QString())));
    QCOMPARE(modeOf(path), 0600);
}

void testfileTest::writeThenRead_randomTests_sameTest()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    std::mt19937 rng(20021011);
    std::uniform_int_distribution<int> roundCounts(0, TTestFile::MaxRounds);
    for (int iteration = 0; iteration < 60; ++iteration) {
        const int roundCount = iteration == 0 ? 0 : iteration == 1 ? TTestFile::MaxRounds : roundCounts(rng);
        auto written = std::make_unique<TTestFile>();
        fillRandomTest(*written, rng, roundCount);
        const QString number = QString::number(1001 + iteration);
        written->WriteFile(dir.path(), number);

        auto read = std::make_unique<TTestFile>();
        read->RoundCount = 77;
        read->ReadFile(dir.path(), number);
        const QString where =
            u"iteration %1, %2 rounds: "_s.arg(QString::number(iteration), QString::number(roundCount));
        const QString info = infoDifference(read->Info, written->Info);
        QVERIFY2(info.isEmpty(), qPrintable(where + info));
        QCOMPARE(read->RoundCount, roundCount);
        for (int i = 1; i <= roundCount; ++i)
            QVERIFY2(
                read->Rounds[i] == written->Rounds[i],
                qPrintable(where + u"round %1: %2, written %3"_s.arg(QString::number(i), roundText(read->Rounds[i]),
                                                                     roundText(written->Rounds[i]))));

        auto infoOnly = std::make_unique<TTestFile>();
        infoOnly->ReadInfo(dir.path(), number);
        QVERIFY2(infoOnly->Info == written->Info, qPrintable(where + infoDifference(infoOnly->Info, written->Info)));
    }
}

void testfileTest::nextTestNumber_existingFiles_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<int>("expected");
    QTest::newRow("empty folder") << QStringList() << 1001;
    QTest::newRow("1001.txt and 1002.del") << QStringList{u"1001.txt"_s, u"1002.del"_s} << 1003;
    QTest::newRow("only 1002.txt") << QStringList{u"1002.txt"_s} << 1001;
    QTest::newRow("only 1001.del") << QStringList{u"1001.del"_s} << 1002;
    QTest::newRow("gap filled") << QStringList{u"1001.txt"_s, u"1002.txt"_s, u"1004.txt"_s} << 1003;
    QTest::newRow("both names of one number") << QStringList{u"1001.txt"_s, u"1001.del"_s} << 1002;
    QTest::newRow("other names do not count")
        << QStringList{u"01001.txt"_s, u"1001.txt.bak"_s, u"1001.tmp"_s, u"1001"_s, u"vigix.ini"_s, u"999.txt"_s}
        << 1001;
    QStringList many;
    for (int n = 1001; n <= 1600; ++n)
        many << QString::number(n) + (n % 3 == 0 ? u".del"_s : u".txt"_s);
    QTest::newRow("600 tests") << many << 1601;
}

void testfileTest::nextTestNumber_existingFiles()
{
    QFETCH(QStringList, files);
    QFETCH(int, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString &name : files)
        QVERIFY(writeBytes(dir.filePath(name), "x"));
    QCOMPARE(vigix::testing::NextFreeNumber(dir.path() + u'/'), expected);
    QCOMPARE(vigix::testing::NextFreeNumber(dir.path()), expected);
}

void testfileTest::ensureDataFolder_missingParents_createsOwnerOnlyFolder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(u"home/Documents/vigix/"_s);
    vigix::EnsureDataFolder(folder);
    QVERIFY(QFileInfo(folder).isDir());
    QCOMPARE(modeOf(folder), 0700);

    // A test can be stored in it at once.
    TTestFile test;
    test.Info.Kensabangou = u"1001"_s;
    test.WriteFile(folder, u"1001"_s);
    QCOMPARE(readBytes(folder + u"1001.txt"_s), emptySubjectLine("1001"));
}

void testfileTest::ensureDataFolder_existingFolder_keepsContents()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(u"vigix"_s);
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(writeBytes(folder + u"/1001.txt"_s, windowsSubjectLine()));
    vigix::EnsureDataFolder(folder + u'/');
    QCOMPARE(readBytes(folder + u"/1001.txt"_s), windowsSubjectLine());
}

void testfileTest::ensureDataFolder_blockedByFile_raisesInOutError()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A plain file where a parent folder should be.
    QVERIFY(writeBytes(dir.filePath(u"Documents"_s), "x"));
    const QString folder = dir.filePath(u"Documents/vigix/"_s);
    const auto message = raisedMessage<EInOutError>([&] { vigix::EnsureDataFolder(folder); });
    QVERIFY(message);
    QVERIFY2(message->contains(u"vigix"_s), qPrintable(*message));
}

void testfileTest::defaultDataFolder_vigixInDocuments()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(u"config"_s)));
    const QString folder = vigix::DefaultDataFolder();
    qputenv("HOME", oldHome);
    if (oldConfig.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", oldConfig);

    QCOMPARE(folder, home.path() + u"/Documents/vigix/"_s);
    // Naming the folder does not create it; start-up does.
    QVERIFY(!QFileInfo::exists(folder));
}

QTEST_GUILESS_MAIN(testfileTest)
#include "tst_testfile.moc"
