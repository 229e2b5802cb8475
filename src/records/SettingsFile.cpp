#include "SettingsFile.h"

#include "Errors.h"
#include "SafeFile.h"

#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QMutex>
#include <QPoint>
#include <QRect>
#include <QSettings>
#include <QSize>
#include <QStringList>

#include <cerrno>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

QString fileLabel(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

bool isHexDigit(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

char hexDigit(uint value)
{
    return "0123456789ABCDEF"[value & 0xF];
}

// A key or section name as QSettings reads it back: letters, digits, "_", "-" and "." as they are, "/" as "\",
// everything else as %XX or %UXXXX.
QByteArray escapedKey(const QString &key)
{
    QByteArray result;
    for (QChar c : key) {
        const char16_t u = c.unicode();
        if (u == u'/') {
            result += '\\';
        } else if ((u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'_' ||
                   u == u'-' || u == u'.') {
            result += static_cast<char>(u);
        } else if (u <= 0xFF) {
            result += '%';
            result += hexDigit(u >> 4);
            result += hexDigit(u);
        } else {
            result += "%U";
            for (int shift = 12; shift >= 0; shift -= 4)
                result += hexDigit(u >> shift);
        }
    }
    return result;
}

// One value as QSettings reads it back: control codes, "\" and '"' escaped; quoted when it holds ",", ";" or
// "=" (a list separator, a comment, a key) or begins or ends with a blank, which the reader would drop.
QByteArray escapedString(const QString &text)
{
    // The binary forms hold Latin-1 bytes, escaped from 0x7F on; text is UTF-8.
    const bool binary =
        text.startsWith(u"@ByteArray("_s) || text.startsWith(u"@Variant("_s) || text.startsWith(u"@DateTime("_s);
    QByteArray result;
    QString plain; // text not needing an escape, encoded as one run so that surrogate pairs stay whole
    const auto flush = [&] {
        result += plain.toUtf8();
        plain.clear();
    };
    bool needsQuotes = false;
    // After \x.. or \0 the reader takes any further hex or octal digit as part of the escape.
    bool escapeNextIfDigit = false;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u';' || u == u',' || u == u'=')
            needsQuotes = true;
        if (escapeNextIfDigit && isHexDigit(u)) {
            flush();
            result += "\\x" + QByteArray::number(u, 16);
            continue;
        }
        escapeNextIfDigit = false;
        const char *escape = nullptr;
        switch (u) {
        case u'\0':
            escape = "\\0";
            escapeNextIfDigit = true;
            break;
        case u'\a':
            escape = "\\a";
            break;
        case u'\b':
            escape = "\\b";
            break;
        case u'\f':
            escape = "\\f";
            break;
        case u'\n':
            escape = "\\n";
            break;
        case u'\r':
            escape = "\\r";
            break;
        case u'\t':
            escape = "\\t";
            break;
        case u'\v':
            escape = "\\v";
            break;
        case u'"':
            escape = "\\\"";
            break;
        case u'\\':
            escape = "\\\\";
            break;
        default:
            break;
        }
        if (escape) {
            flush();
            result += escape;
        } else if (u <= 0x1F || (u >= 0x7F && binary)) {
            flush();
            result += "\\x" + QByteArray::number(u, 16);
            escapeNextIfDigit = true;
        } else if (binary) {
            result += static_cast<char>(u);
        } else {
            plain += c;
        }
    }
    flush();
    if (needsQuotes || result.startsWith(' ') || result.endsWith(' '))
        result = '"' + result + '"';
    return result;
}

// A value in QSettings' text form: "@" marks the types that are not text, so text beginning with "@" doubles it.
QString variantText(const QVariant &value)
{
    if (!value.isValid())
        return u"@Invalid()"_s;
    switch (value.typeId()) {
    case QMetaType::QString: {
        const QString text = value.toString();
        return text.startsWith(u'@') ? u'@' + text : text;
    }
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return u"@ByteArray("_s + QLatin1StringView(bytes) + u')';
    }
    case QMetaType::QRect: {
        const QRect r = value.toRect();
        return u"@Rect(%1 %2 %3 %4)"_s.arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    }
    case QMetaType::QSize: {
        const QSize s = value.toSize();
        return u"@Size(%1 %2)"_s.arg(s.width()).arg(s.height());
    }
    case QMetaType::QPoint: {
        const QPoint p = value.toPoint();
        return u"@Point(%1 %2)"_s.arg(p.x()).arg(p.y());
    }
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return value.toString();
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    default: {
        // Any other type as QSettings keeps it: its QDataStream form.
        const bool dateTime = value.typeId() == QMetaType::QDateTime;
        QByteArray bytes;
        {
            QDataStream stream(&bytes, QIODevice::WriteOnly);
            stream.setVersion(dateTime ? QDataStream::Qt_5_6 : QDataStream::Qt_4_0);
            stream << value;
        }
        return (dateTime ? u"@DateTime("_s : u"@Variant("_s) + QLatin1StringView(bytes) + u')';
    }
    }
}

QByteArray escapedValue(const QVariant &value)
{
    // A list is its items separated by ", "; an empty one is @Invalid(), which reads back as an empty list.
    const bool list = value.typeId() == QMetaType::QStringList ||
                      (value.typeId() == QMetaType::QVariantList && value.toList().size() != 1);
    if (!list)
        return escapedString(variantText(value));
    const QVariantList items = value.toList();
    if (items.isEmpty())
        return "@Invalid()";
    QByteArray result;
    for (const QVariant &item : items) {
        if (!result.isEmpty())
            result += ", ";
        result += escapedString(variantText(item));
    }
    return result;
}

// QSettings keeps what it parsed of a file and, while the file's size and time stay the same, hands it to the
// next reader without reading again and without the FormatError of the first reading. The files found damaged
// are remembered here, as they were then, so that a second reading of one is refused as well.
struct TSeenFile
{
    qint64 size = 0;
    QDateTime modified;
    bool operator==(const TSeenFile &) const = default;
};

QMutex damagedFilesLock;
QHash<QString, TSeenFile> damagedFiles;

TSeenFile seenNow(const QString &path)
{
    const QFileInfo info(path);
    return {info.size(), info.lastModified()};
}

} // namespace

TSettingsFile::TSettingsFile(const QString &path) : m_path(path)
{
    if (!EntryExists(path))
        return;
    const auto cannotRead = [&path](const QString &reason) {
        return EInOutError(u"設定ファイル \"%1\" を読めません: %2"_s.arg(fileLabel(path), reason));
    };
    // QSettings takes a file it cannot open (a folder, a link that leads nowhere) for one with no keys at all.
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly))
        throw cannotRead(DeviceErrorReason(file, errno));
    file.close();

    const QString key = QFileInfo(path).absoluteFilePath();
    const TSeenFile seen = seenNow(path);
    const QSettings settings(path, QSettings::IniFormat);
    if (settings.status() == QSettings::AccessError)
        throw cannotRead(u"読み取りが許可されていません"_s);
    {
        const QMutexLocker locker(&damagedFilesLock);
        if (settings.status() == QSettings::FormatError)
            damagedFiles.insert(key, seen);
        if (damagedFiles.value(key) == seen)
            throw cannotRead(u"内容が壊れています"_s);
        damagedFiles.remove(key);
    }
    for (const QString &key : settings.allKeys())
        m_values.insert(key, settings.value(key));
}

QVariant TSettingsFile::Value(const QString &key) const
{
    return m_values.value(key);
}

void TSettingsFile::SetValue(const QString &key, const QVariant &value)
{
    m_values.insert(key, value);
}

QByteArray TSettingsFile::IniBytes() const
{
    // Keys without a section go to [General], as QSettings has them; a section really named so is %General.
    QMap<QString, QList<QString>> sections;
    for (auto it = m_values.cbegin(); it != m_values.cend(); ++it) {
        const qsizetype slash = it.key().indexOf(u'/');
        sections[slash < 0 ? QString() : it.key().left(slash)].append(it.key());
    }
    QByteArray text;
    for (auto it = sections.cbegin(); it != sections.cend(); ++it) {
        const QString &section = it.key();
        if (!text.isEmpty())
            text += '\n';
        if (section.isEmpty())
            text += "[General]\n";
        else if (section.compare(u"general"_s, Qt::CaseInsensitive) == 0)
            text += "[%" + section.toLatin1() + "]\n";
        else
            text += '[' + escapedKey(section) + "]\n";
        for (const QString &key : it.value()) {
            const QString name = section.isEmpty() ? key : key.mid(section.size() + 1);
            text += escapedKey(name) + '=' + escapedValue(m_values.value(key)) + '\n';
        }
    }
    return text;
}

void TSettingsFile::Save() const
{
    // A new account may have no configuration folder yet; a folder that cannot be made is named by the save.
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    // The settings file may be a link kept with the user's other configuration files: it is written where it
    // leads, as QSettings did.
    SaveFileSafely(m_path, IniBytes(), TLinks::Follow);
}

} // namespace vigix
