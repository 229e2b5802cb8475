#include "ShiftJis.h"

#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <array>
#include <utility>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

constexpr const char *CodecName = "Shift_JIS";

// JIS form typed on Linux -> the Windows form that code page 932 holds.
constexpr std::array<std::pair<char16_t, char16_t>, 7> WindowsForms{{
    {u'\u301C', u'\uFF5E'}, // WAVE DASH -> FULLWIDTH TILDE
    {u'\u2016', u'\u2225'}, // DOUBLE VERTICAL LINE -> PARALLEL TO
    {u'\u2212', u'\uFF0D'}, // MINUS SIGN -> FULLWIDTH HYPHEN-MINUS
    {u'\u00A2', u'\uFFE0'}, // CENT SIGN -> FULLWIDTH CENT SIGN
    {u'\u00A3', u'\uFFE1'}, // POUND SIGN -> FULLWIDTH POUND SIGN
    {u'\u00AC', u'\uFFE2'}, // NOT SIGN -> FULLWIDTH NOT SIGN
    {u'\u2014', u'\u2015'}, // EM DASH -> HORIZONTAL BAR
}};

bool encodes(const QString &text)
{
    QStringEncoder encoder(CodecName);
    // The conversion runs only when its result is taken, so keep it.
    [[maybe_unused]] const QByteArray bytes = encoder.encode(text);
    return !encoder.hasError();
}

} // namespace

QString FoldToWindowsForms(QString text)
{
    for (const auto &[jisForm, windowsForm] : WindowsForms)
        text.replace(QChar(jisForm), QChar(windowsForm));
    return text;
}

std::optional<QString> FirstUnencodableCharacter(const QString &text)
{
    // ASCII always encodes; skipping the converter for it keeps a 500-round write quick.
    if (std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; }))
        return std::nullopt;
    const QString folded = FoldToWindowsForms(text);
    if (encodes(folded))
        return std::nullopt;
    // Rare path: find the culprit one code point at a time, so that a surrogate pair is named whole.
    for (qsizetype i = 0; i < folded.size();) {
        const qsizetype length = (folded.at(i).isHighSurrogate() && i + 1 < folded.size()) ? 2 : 1;
        const QString character = folded.mid(i, length);
        if (!encodes(character))
            return character;
        i += length;
    }
    return std::nullopt;
}

std::optional<QString> FirstUnstorableCharacter(const QString &text)
{
    for (QChar c : text) {
        // Control codes never come from the keyboard, and three of them do not read back as written (ICU's
        // table moves 0x1A, 0x1C and 0x7F): a field that holds one came from a damaged file.
        if (c == u',' || c == u'"' || c.unicode() < 0x20 || c.unicode() == 0x7F)
            return QString(c);
    }
    return FirstUnencodableCharacter(text);
}

QString DescribeCharacter(const QString &character)
{
    if (character == u"\r"_s || character == u"\n"_s)
        return u"改行"_s;
    QString codes;
    for (char32_t c : character.toUcs4())
        codes += u"U+%1"_s.arg(static_cast<uint>(c), 4, 16, QChar(u'0')).toUpper();
    return u"「%1」(%2)"_s.arg(character, codes);
}

QByteArray EncodeShiftJis(const QString &text)
{
    QStringEncoder encoder(CodecName);
    return encoder.encode(FoldToWindowsForms(text));
}

QString DecodeShiftJis(QByteArrayView bytes)
{
    // Round lines are plain ASCII, which code page 932 maps to itself, apart from three control codes that
    // ICU's table moves: decode those the fast way.
    const bool plainAscii = std::all_of(bytes.begin(), bytes.end(), [](char byte) {
        return static_cast<unsigned char>(byte) < 0x80 && byte != 0x1A && byte != 0x1C && byte != 0x7F;
    });
    if (plainAscii)
        return QString::fromLatin1(bytes);

    QStringDecoder decoder(CodecName);
    // A lead byte at the very end would stay pending in the decoder and vanish; a line end after the
    // input makes it come out as an error. The line end itself is removed again.
    QByteArray terminated;
    terminated.reserve(bytes.size() + 1);
    terminated.append(bytes.data(), bytes.size());
    terminated.append('\n');
    QString text = decoder.decode(terminated);
    text.chop(1);
    // ICU marks undecodable bytes with SUBSTITUTE; show them as the usual replacement character.
    if (decoder.hasError())
        text.replace(QChar(u'\x1A'), QChar::ReplacementCharacter);
    return text;
}

} // namespace vigix
