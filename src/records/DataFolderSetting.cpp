#include "DataFolderSetting.h"

#include "SettingsFile.h"

#include <QDir>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

const QString FolderKey = u"Data/Folder"_s;

} // namespace

QString ChosenDataFolder(const QString &settingsPath)
{
    // A settings file that cannot be read raises: "no folder chosen" would put the tests in the default folder.
    // Blanks around a value are already dropped by the reader unless quoted: quoted, they belong to the folder.
    const TSettingsFile settings(settingsPath);
    const QString folder = settings.Value(FolderKey).toString();
    // Only an absolute path: a relative one would depend on where the program was started from.
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder))
        return QString();
    const QString clean = QDir::cleanPath(folder);
    return clean.endsWith(u'/') ? clean : clean + u'/';
}

void StoreChosenDataFolder(const QString &settingsPath, const QString &folder)
{
    // The window places and any other keys are kept; the old file stays whole if the disk is full.
    TSettingsFile settings(settingsPath);
    settings.SetValue(FolderKey, QDir::cleanPath(folder));
    settings.Save();
}

} // namespace vigix
