#pragma once

#include <QString>

namespace vigix {

// The data folder of this user: the documents folder + "/vigix/" (ends in the separator).
QString DefaultDataFolder();

// Creates the data folder with every missing parent, owner-only (it holds patient data); an existing one of
// this user's that others may enter is made owner-only. Returns a warning for the examiner when the folder
// stays open to others (it belongs to another user), otherwise an empty text. Raises EInOutError when it
// cannot be created.
QString EnsureDataFolder(const QString &dataFolder);

} // namespace vigix
