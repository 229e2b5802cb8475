#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVariant>

namespace vigix {

// An INI settings file (vigix.ini) as a whole: read with QSettings, written only through SaveFileSafely.
// QSettings' own writing empties the file when the disk has one block free and still reports NoError; here the
// old file stays whole until the new one is on the disk, and a failure is raised.
class TSettingsFile
{
public:
    // Reads every key of the file; a file that is not there has none. Raises EInOutError when the file is there
    // but cannot be read or is damaged: its keys are unknown then, and writing would lose them.
    explicit TSettingsFile(const QString &path);

    // The value of a key ("Section/Name") as QSettings reads it; an invalid QVariant when it is not there.
    QVariant Value(const QString &key) const;
    void SetValue(const QString &key, const QVariant &value);
    const QMap<QString, QVariant> &Values() const { return m_values; }

    // The file's text: every key, in QSettings' INI form, which QSettings reads back as the same keys and values.
    QByteArray IniBytes() const;
    // Replaces the file with IniBytes() through the safe save, creating its folder when missing. Raises
    // EInOutError naming the file and the reason.
    void Save() const;

private:
    QString m_path;
    QMap<QString, QVariant> m_values;
};

} // namespace vigix
