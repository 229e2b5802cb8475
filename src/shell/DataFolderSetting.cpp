#include "DataFolderSetting.h"

#include "Errors.h"

#include <QDir>
#include <QSettings>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

const QString FolderKey = u"Data/Folder"_s;

} // namespace

QString ChosenDataFolder(const QString &settingsPath)
{
    const QSettings settings(settingsPath, QSettings::IniFormat);
    const QString folder = settings.value(FolderKey).toString().trimmed();
    // Only an absolute path: a relative one would depend on where the program was started from.
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder))
        return QString();
    const QString clean = QDir::cleanPath(folder);
    return clean.endsWith(u'/') ? clean : clean + u'/';
}

void StoreChosenDataFolder(const QString &settingsPath, const QString &folder)
{
    QSettings settings(settingsPath, QSettings::IniFormat);
    settings.setValue(FolderKey, QDir::cleanPath(folder));
    settings.sync();
    if (settings.status() != QSettings::NoError)
        throw EInOutError(u"%1 に書き込めません"_s.arg(QDir::toNativeSeparators(settingsPath)));
}

} // namespace vigix
