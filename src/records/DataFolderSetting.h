#pragma once

#include <QString>

namespace vigix {

// The data folder the examiner chose, kept in the settings file (vigix.ini, [Data] Folder): ending in the
// separator, or empty when none was ever chosen (the default folder is used then). Raises EInOutError when the
// settings file is there but cannot be read: which folder was chosen is not known then.
QString ChosenDataFolder(const QString &settingsPath);

// Keeps the choice, and every other key of the settings file. Raises EInOutError when the settings file cannot be
// read or written; the old file is left as it was then.
void StoreChosenDataFolder(const QString &settingsPath, const QString &folder);

} // namespace vigix
