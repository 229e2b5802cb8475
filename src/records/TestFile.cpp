#include "TestFile.h"

#include "Errors.h"
#include "ShiftJis.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

constexpr int RoundFieldCount = 24;
constexpr int MaxFieldsKept = 100;

// Removes every double quote, then splits at every comma; keeps at most 100 fields.
QStringList splitLine(QString line)
{
    line.remove(u'"');
    QStringList fields = line.split(u',');
    if (fields.size() > MaxFieldsKept)
        fields.resize(MaxFieldsKept);
    return fields;
}

// Splits the raw file into lines at LF, dropping a CR before it. Shift-JIS trail bytes are never CR or LF,
// so the split is safe before decoding. A last line without its line end still counts.
QList<QByteArrayView> splitRawLines(QByteArrayView bytes)
{
    QList<QByteArrayView> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        const bool lastUnterminated = end < 0;
        if (lastUnterminated)
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
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EInOutError(u"ファイル \"%1\" を開けません: %2"_s.arg(fileLabel(path), file.errorString()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EInOutError(u"ファイル \"%1\" を読めません: %2"_s.arg(fileLabel(path), file.errorString()));
    return bytes;
}

QByteArray readFirstLine(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EInOutError(u"ファイル \"%1\" を開けません: %2"_s.arg(fileLabel(path), file.errorString()));
    QByteArray line = file.readLine();
    if (file.error() != QFileDevice::NoError)
        throw EInOutError(u"ファイル \"%1\" を読めません: %2"_s.arg(fileLabel(path), file.errorString()));
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

void setInfoFromLine(TTestInfo &info, QByteArrayView rawLine)
{
    const QStringList fields = splitLine(DecodeShiftJis(rawLine));
    for (int i = 1; i <= TTestInfo::FieldCount; ++i)
        info.Field(i) = i <= fields.size() ? fields.at(i - 1) : QString();
}

// Plain decimal only: an optional "-" and digits, within 32 bits. Anything else is a damaged file.
bool parseDecimal(const QString &text, int &value)
{
    const qsizetype firstDigit = text.startsWith(u'-') ? 1 : 0;
    if (text.size() == firstDigit)
        return false;
    for (qsizetype i = firstDigit; i < text.size(); ++i) {
        if (text.at(i) < u'0' || text.at(i) > u'9')
            return false;
    }
    bool ok = false;
    value = text.toInt(&ok, 10);
    return ok;
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

TRoundInfo parseRoundLine(QByteArrayView rawLine, const QString &path, int lineNo)
{
    const QStringList fields = splitLine(DecodeShiftJis(rawLine));
    auto integer = [&](int field) {
        int value = 0;
        if (field > fields.size())
            throw EConvertError(u"ファイル \"%1\" の %2 行目には %3 (%4 番目の項目) がありません"_s.arg(
                fileLabel(path), QString::number(lineNo), roundFieldName(field), QString::number(field)));
        if (!parseDecimal(fields.at(field - 1), value))
            throw EConvertError(u"ファイル \"%1\" の %2 行目: %3 (%4 番目の項目) の \"%5\" は整数ではありません"_s.arg(
                fileLabel(path), QString::number(lineNo), roundFieldName(field), QString::number(field),
                fields.at(field - 1)));
        return value;
    };

    TRoundInfo round;
    round.Target = fields.value(0);
    round.Noise = fields.value(1);
    round.NoiseNo = integer(3);
    round.Ticks = integer(4);
    for (int k = 1; k <= TRoundInfo::Slots; ++k)
        round.RT[k] = integer(4 + k);
    for (int k = 1; k <= TRoundInfo::Slots; ++k)
        round.Button[k] = integer(14 + k);
    return round;
}

QString describeCharacter(const QString &character)
{
    if (character == u"\r"_s || character == u"\n"_s)
        return u"改行"_s;
    QString codes;
    for (char32_t c : character.toUcs4())
        codes += u"U+%1"_s.arg(static_cast<uint>(c), 4, 16, QChar(u'0')).toUpper();
    return u"「%1」(%2)"_s.arg(character, codes);
}

// A text field must read back exactly: no separator, no quote, no line end, nothing Shift-JIS cannot hold.
void checkTextField(const QString &value, const QString &fieldDescription, const QString &path)
{
    std::optional<QString> bad;
    for (QChar c : value) {
        if (c == u',' || c == u'"' || c == u'\r' || c == u'\n') {
            bad = QString(c);
            break;
        }
    }
    if (!bad)
        bad = FirstUnencodableCharacter(value);
    if (bad)
        throw EConvertError(u"ファイル \"%1\" に保存できません: %2 に使えない文字 %3 があります"_s.arg(
            fileLabel(path), fieldDescription, describeCharacter(*bad)));
}

void writeBytes(QIODevice &device, const QByteArray &bytes, const QString &path)
{
    if (device.write(bytes) != bytes.size())
        throw EInOutError(u"ファイル \"%1\" に書き込めません: %2"_s.arg(fileLabel(path), device.errorString()));
}

} // namespace

QString TTestFile::TestFilePath(const QString &dataFolder, const QString &number)
{
    return QDir(dataFolder).filePath(number + u".txt"_s);
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
    setInfoFromLine(Info, readFirstLine(path));
}

void TTestFile::ReadFileFromPath(const QString &path)
{
    const QByteArray bytes = readWholeFile(path);
    QList<QByteArrayView> lines = splitRawLines(bytes);
    setInfoFromLine(Info, lines.isEmpty() ? QByteArrayView() : lines.first());

    // Blank lines after the last round (an editor's extra line end) are not rounds.
    while (lines.size() > 1 && lines.last().isEmpty())
        lines.removeLast();

    const int roundLines = static_cast<int>(lines.size()) - 1;
    for (int i = 1; i <= roundLines; ++i) {
        if (i > MaxRounds)
            throw EConvertError(u"ファイル \"%1\" には試行の行が %2 行あり、上限の %3 行を超えています"_s.arg(
                fileLabel(path), QString::number(roundLines), QString::number(MaxRounds)));
        Rounds[i] = parseRoundLine(lines.at(i), path, i + 1);
    }
    RoundCount = std::max(roundLines, 0);
}

QByteArray TTestFile::Encode(const QString &path) const
{
    for (int i = 1; i <= TTestInfo::FieldCount; ++i) {
        checkTextField(Info.Field(i), u"%1 (%2)"_s.arg(TTestInfo::FieldLabel(i), TTestInfo::FieldName(i)), path);
    }
    for (int i = 1; i <= RoundCount; ++i) {
        checkTextField(Rounds[i].Target, u"試行 %1 の Target"_s.arg(i), path);
        checkTextField(Rounds[i].Noise, u"試行 %1 の Noise"_s.arg(i), path);
    }

    QString text;
    text.reserve(1024 + 64 * std::max(RoundCount, 0));
    text += Info.Kensabangou;
    for (int i = 2; i <= TTestInfo::FieldCount; ++i)
        text += u",\""_s + Info.Field(i) + u'"';
    text += u"\r\n"_s;
    for (int i = 1; i <= RoundCount; ++i) {
        const TRoundInfo &round = Rounds[i];
        text += u'"' + round.Target + u"\",\""_s + round.Noise + u"\","_s;
        text += QString::number(round.NoiseNo) + u',' + QString::number(round.Ticks);
        for (int k = 1; k <= TRoundInfo::Slots; ++k)
            text += u',' + QString::number(round.RT[k]);
        for (int k = 1; k <= TRoundInfo::Slots; ++k)
            text += u',' + QString::number(round.Button[k]);
        text += u"\r\n"_s;
    }
    return EncodeShiftJis(text);
}

void TTestFile::WriteTo(QIODevice &device, const QString &path) const
{
    writeBytes(device, Encode(path), path);
}

void TTestFile::WriteFileToPath(const QString &path) const
{
    // Encode first: a field the file cannot hold must not even open the file.
    const QByteArray bytes = Encode(path);

    // The old file stays whole until the new one is complete: a full disk or a crash never leaves a
    // truncated test where a good one stood.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw EInOutError(u"ファイル \"%1\" を作成できません: %2"_s.arg(fileLabel(path), file.errorString()));
    // Test files hold patient data: owner only.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    writeBytes(file, bytes, path);
    if (!file.commit())
        throw EInOutError(u"ファイル \"%1\" に書き込めません: %2"_s.arg(fileLabel(path), file.errorString()));
}

} // namespace vigix
