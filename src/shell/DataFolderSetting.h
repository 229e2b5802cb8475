#pragma once

#include <QString>

namespace vigix {

// The data folder the examiner chose, kept in the settings file (vigix.ini, [Data] Folder): ending in the
// separator, or empty when none was ever chosen (the default folder is used then).
QString ChosenDataFolder(const QString &settingsPath);

// Keeps the choice. Raises EInOutError when the settings file cannot be written.
void StoreChosenDataFolder(const QString &settingsPath, const QString &folder);

} // namespace vigix
