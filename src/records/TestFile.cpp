#include "TestFile.h"

#include "Errors.h"
#include "SafeFile.h"
#include "ShiftJis.h"

#include <QDir>
#include <QFile>
#include <QVarLengthArray>

#include <limits>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

constexpr int RoundFieldCount = 24;
constexpr int MaxFieldsKept = 100;

// A line's fields: every double quote is ignored and the line is split at every comma; at most 100 fields
// are kept. Quotes are never commas, so splitting first and skipping quotes inside a field is the same.
using FieldViews = QVarLengthArray<QStringView, 32>;

FieldViews splitFields(QStringView line)
{
    FieldViews fields;
    qsizetype start = 0;
    while (fields.size() < MaxFieldsKept) {
        const qsizetype comma = line.indexOf(u',', start);
        if (comma < 0) {
            fields.append(line.sliced(start));
            break;
        }
        fields.append(line.sliced(start, comma - start));
        start = comma + 1;
    }
    return fields;
}

char16_t unit(QChar c)
{
    return c.unicode();
}

char16_t unit(char c)
{
    return static_cast<unsigned char>(c);
}

QString toText(QStringView field)
{
    return field.toString();
}

QString toText(QByteArrayView field)
{
    return QString::fromLatin1(field);
}

template <typename View> QString unquoted(View field)
{
    QString text = toText(field);
    text.remove(u'"');
    return text;
}

// Splits the raw file into lines at LF, dropping a CR before it. Shift-JIS trail bytes are never CR or LF,
// so the split is safe before decoding. A last line without its line end still counts.
QList<QByteArrayView> splitRawLines(QByteArrayView bytes)
{
    QList<QByteArrayView> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        QByteArrayView line = bytes.sliced(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        lines.append(line);
        start = end + 1;
    }
    return lines;
}

QString fileLabel(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QByteArray readWholeFile(const QString &path)
{
    QFile file;
    OpenForReading(file, path);
    errno = 0;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EInOutError(u"ファイル \"%1\" を読めません: %2"_s.arg(fileLabel(path), DeviceErrorReason(file, errno)));
    return bytes;
}

QByteArray readFirstLine(const QString &path)
{
    QFile file;
    OpenForReading(file, path);
    errno = 0;
    QByteArray line = file.readLine();
    if (file.error() != QFileDevice::NoError)
        throw EInOutError(u"ファイル \"%1\" を読めません: %2"_s.arg(fileLabel(path), DeviceErrorReason(file, errno)));
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

void setInfoFromLine(TTestInfo &info, QStringView line)
{
    const FieldViews fields = splitFields(line);
    for (int i = 1; i <= TTestInfo::FieldCount; ++i)
        info.Field(i) = i <= fields.size() ? unquoted(fields[i - 1]) : QString();
}

// Plain decimal only: an optional "-" and digits, within 32 bits (quotes are ignored like everywhere in a
// line). Anything else is a damaged file.
template <typename View> bool parseDecimal(View field, int &value)
{
    bool negative = false;
    bool anyDigit = false;
    qint64 magnitude = 0;
    for (auto element : field) {
        const char16_t c = unit(element);
        if (c == u'"')
            continue;
        if (c == u'-' && !negative && !anyDigit) {
            negative = true;
            continue;
        }
        if (c < u'0' || c > u'9')
            return false;
        anyDigit = true;
        magnitude = magnitude * 10 + (c - u'0');
        if (magnitude > qint64(std::numeric_limits<int>::max()) + 1)
            return false;
    }
    const qint64 result = negative ? -magnitude : magnitude;
    if (!anyDigit || result > std::numeric_limits<int>::max())
        return false;
    value = static_cast<int>(result);
    return true;
}

QString roundFieldName(int field)
{
    static const char16_t *const names[] = {u"Target", u"Noise", u"NoiseNo", u"Ticks"};
    if (field <= 4)
        return QString::fromUtf16(names[field - 1]);
    if (field <= 14)
        return u"RT[%1]"_s.arg(field - 4);
    return u"Button[%1]"_s.arg(field - 14);
}

// A round line, as plain ASCII bytes or as decoded text.
template <typename View> TRoundInfo parseRoundLine(View line, const QString &path, int lineNo)
{
    // One pass over the line finds the first 24 fields; every results view reads 500 of these lines.
    std::array<View, RoundFieldCount> fields;
    int fieldCount = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= line.size() && fieldCount < RoundFieldCount; ++i) {
        if (i == line.size() || unit(line[i]) == u',') {
            fields[static_cast<std::size_t>(fieldCount++)] = line.sliced(start, i - start);
            start = i + 1;
        }
    }

    auto integer = [&](int field) {
        int value = 0;
        if (field > fieldCount)
            throw EConvertError(u"ファイル \"%1\" の %2 行目には %3 (%4 番目の項目) がありません"_s.arg(
                fileLabel(path), QString::number(lineNo), roundFieldName(field), QString::number(field)));
        const View text = fields[static_cast<std::size_t>(field - 1)];
        if (!parseDecimal(text, value))
            throw EConvertError(u"ファイル \"%1\" の %2 行目: %3 (%4 番目の項目) の \"%5\" は整数ではありません"_s.arg(
                fileLabel(path), QString::number(lineNo), roundFieldName(field), QString::number(field),
                unquoted(text)));
        return value;
    };

    TRoundInfo round;
    round.Target = unquoted(fields[0]);
    round.Noise = unquoted(fields[1]);
    round.NoiseNo = integer(3);
    round.Ticks = integer(4);
    for (int k = 1; k <= TRoundInfo::Slots; ++k)
        round.RT[k] = integer(4 + k);
    for (int k = 1; k <= TRoundInfo::Slots; ++k)
        round.Button[k] = integer(14 + k);
    return round;
}

// Round lines are plain ASCII and are parsed from the bytes; one that is not (a file from elsewhere) is
// decoded first.
TRoundInfo parseRawRoundLine(QByteArrayView line, const QString &path, int lineNo)
{
    const bool plainAscii = std::all_of(line.begin(), line.end(), [](char c) { return c > 0 && c < 0x7F; });
    return plainAscii ? parseRoundLine(line, path, lineNo)
                      : parseRoundLine(QStringView(DecodeShiftJis(line)), path, lineNo);
}

// The whole file into test: the subject line, then every round line from 1, and RoundCount.
void decodeTestFile(TTestFile &test, const QByteArray &bytes, const QString &path)
{
    // Only the subject line holds Japanese text.
    QList<QByteArrayView> lines = splitRawLines(bytes);
    setInfoFromLine(test.Info, lines.isEmpty() ? QString() : DecodeShiftJis(lines.takeFirst()));

    // Blank lines after the last round (an editor's extra line end) are not rounds.
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();

    const int roundLines = static_cast<int>(lines.size());
    for (int i = 1; i <= roundLines; ++i) {
        if (i > TTestFile::MaxRounds)
            throw EConvertError(u"ファイル \"%1\" には試行の行が %2 行あり、上限の %3 行を超えています"_s.arg(
                fileLabel(path), QString::number(roundLines), QString::number(TTestFile::MaxRounds)));
        test.Rounds[i] = parseRawRoundLine(lines.at(i - 1), path, i + 1);
    }
    test.RoundCount = roundLines;
}

// A text field must read back exactly.
void checkTextField(const QString &value, const QString &fieldDescription, const QString &path)
{
    if (const std::optional<QString> bad = FirstUnstorableCharacter(value))
        throw EConvertError(u"ファイル \"%1\" に保存できません: %2 に使えない文字 %3 があります"_s.arg(
            fileLabel(path), fieldDescription, DescribeCharacter(*bad)));
}

void checkRoundFields(const TRoundInfo &round, int roundNo, const QString &path)
{
    checkTextField(round.Target, u"試行 %1 の Target"_s.arg(roundNo), path);
    checkTextField(round.Noise, u"試行 %1 の Noise"_s.arg(roundNo), path);
}

// A round line without its line end.
void appendRoundLine(QString &text, const TRoundInfo &round)
{
    text += u'"' + round.Target + u"\",\""_s + round.Noise + u"\","_s;
    text += QString::number(round.NoiseNo) + u',' + QString::number(round.Ticks);
    for (int k = 1; k <= TRoundInfo::Slots; ++k)
        text += u',' + QString::number(round.RT[k]);
    for (int k = 1; k <= TRoundInfo::Slots; ++k)
        text += u',' + QString::number(round.Button[k]);
}

void writeBytes(QIODevice &device, const QByteArray &bytes, const QString &path)
{
    errno = 0;
    if (device.write(bytes) != bytes.size())
        throw EInOutError(
            u"ファイル \"%1\" に書き込めません: %2"_s.arg(fileLabel(path), DeviceErrorReason(device, errno)));
}

} // namespace

QString TTestFile::TestFilePath(const QString &dataFolder, const QString &number)
{
    // A number read from a damaged file ("../x") must never lead out of the data folder.
    if (!IsFileNameNumber(number))
        throw EConvertError(
            u"検査番号 \"%1\" はファイル名に使えません（区切りの文字を含むか、長すぎます）"_s.arg(number));
    return DataFolderFile(dataFolder, number + u".txt"_s);
}

QString TTestFile::DataFolderFile(const QString &dataFolder, const QString &fileName)
{
    // Joined as text, not with QDir::filePath, which takes a name beginning with ":" for a path of its own.
    if (dataFolder.isEmpty() || dataFolder.endsWith(u'/'))
        return dataFolder + fileName;
    return dataFolder + u'/' + fileName;
}

bool TTestFile::IsFileNameNumber(const QString &number)
{
    // 80 characters stay within a file name's 255 bytes in UTF-8, ".timing" included.
    return number.size() <= 80 && !number.contains(u'/') && !number.contains(u'\\') && !number.contains(QChar(0));
}

void TTestFile::ReadInfo(const QString &dataFolder, const QString &number)
{
    ReadInfoFromPath(TestFilePath(dataFolder, number));
}

void TTestFile::ReadFile(const QString &dataFolder, const QString &number)
{
    ReadFileFromPath(TestFilePath(dataFolder, number));
}

void TTestFile::WriteFile(const QString &dataFolder, const QString &number) const
{
    WriteFileToPath(TestFilePath(dataFolder, number));
}

void TTestFile::ReadInfoFromPath(const QString &path)
{
    setInfoFromLine(Info, DecodeShiftJis(readFirstLine(path)));
}

void TTestFile::ReadFileFromPath(const QString &path)
{
    decodeTestFile(*this, readWholeFile(path), path);
}

void TTestFile::ReadInfoFromBytes(QByteArrayView bytes)
{
    const qsizetype end = bytes.indexOf('\n');
    QByteArrayView line = end < 0 ? bytes : bytes.first(end);
    if (line.endsWith('\r'))
        line.chop(1);
    setInfoFromLine(Info, DecodeShiftJis(line));
}

void TTestFile::ReadFileFromBytes(const QByteArray &bytes, const QString &path)
{
    decodeTestFile(*this, bytes, path);
}

void TTestFile::ReadCheckedFileFromPath(const QString &path)
{
    // One read: the bytes checked are the bytes scored, even when the file changes in between.
    const QByteArray bytes = readWholeFile(path);
    CheckIsTestFile(bytes, path);
    decodeTestFile(*this, bytes, path);
}

void TTestFile::CheckIsTestFile(QByteArrayView bytes, const QString &path)
{
    const auto notATest = [&path](const QString &what) {
        return EConvertError(u"ファイル \"%1\" は検査のファイルではありません: %2"_s.arg(fileLabel(path), what));
    };
    if (bytes.isEmpty())
        throw notATest(u"空のファイルです"_s);
    // Shift-JIS trail bytes are 0x40-0x7E and 0x80-0xFC: a byte below 0x20, or 0x7F, is a control code wherever
    // it stands.
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if ((byte < 0x20 && byte != '\r' && byte != '\n') || byte == 0x7F)
            throw notATest(u"%1 バイト目に制御文字 (0x%2) があります"_s.arg(
                QString::number(i + 1), u"%1"_s.arg(byte, 2, 16, QChar(u'0')).toUpper()));
    }
    // The subject record: the test number (digits; quotes are ignored like everywhere in a line), then a comma.
    const qsizetype end = bytes.indexOf('\n');
    const QByteArrayView first = end < 0 ? bytes : bytes.first(end);
    const qsizetype comma = first.indexOf(',');
    bool digits = false;
    for (char c : comma < 0 ? first : first.first(comma)) {
        if (c == '"')
            continue;
        if (c < '0' || c > '9') {
            digits = false;
            break;
        }
        digits = true;
    }
    if (comma < 0 || !digits)
        throw notATest(u"1 行目が検査番号で始まる被検者の記録ではありません"_s);
}

QByteArray TTestFile::Encode(const QString &path) const
{
    for (int i = 1; i <= TTestInfo::FieldCount; ++i) {
        checkTextField(Info.Field(i), u"%1 (%2)"_s.arg(TTestInfo::FieldLabel(i), TTestInfo::FieldName(i)), path);
    }
    for (int i = 1; i <= RoundCount; ++i)
        checkRoundFields(Rounds[i], i, path);

    QString text;
    text.reserve(1024 + 64 * std::max(RoundCount, 0));
    text += Info.Kensabangou;
    for (int i = 2; i <= TTestInfo::FieldCount; ++i)
        text += u",\""_s + Info.Field(i) + u'"';
    text += u"\r\n"_s;
    for (int i = 1; i <= RoundCount; ++i) {
        appendRoundLine(text, Rounds[i]);
        text += u"\r\n"_s;
    }
    return EncodeShiftJis(text);
}

QByteArray TTestFile::EncodeRoundLine(const TRoundInfo &round, int roundNo, const QString &path)
{
    checkRoundFields(round, roundNo, path);
    QString text;
    appendRoundLine(text, round);
    return EncodeShiftJis(text);
}

TRoundInfo TTestFile::DecodeRoundLine(QByteArrayView line, const QString &path, int lineNo)
{
    return parseRawRoundLine(line, path, lineNo);
}

TTestInfo TTestFile::DecodeInfoLine(QByteArrayView line)
{
    TTestInfo info;
    setInfoFromLine(info, DecodeShiftJis(line));
    return info;
}

void TTestFile::WriteTo(QIODevice &device, const QString &path) const
{
    writeBytes(device, Encode(path), path);
}

void TTestFile::WriteFileToPath(const QString &path) const
{
    // Encode first: a field the file cannot hold must not even open the file. The old file stays whole until
    // the new one is complete: a full disk or a crash never leaves a truncated test where a good one stood.
    SaveFileSafely(path, Encode(path));
}

} // namespace vigix
