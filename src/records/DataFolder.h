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

// Checks that a folder the examiner chose (a shared or backed-up folder) can be reached: it exists, is a folder
// and can be listed. Nothing is created: a share that is offline must not be replaced by an empty local folder,
// which would scatter one child's tests over two places. Raises EInOutError saying so.
void CheckDataFolderReachable(const QString &dataFolder);

// Whether a test may be stored under number: a plain file name under which the data folder holds no entry of
// any kind (a link that leads nowhere is an entry too: writing through it would put the test where it points).
bool TestNumberFree(const QString &dataFolder, const QString &number);

// The smallest number from 1001 up that no stored (".txt") or deleted (".del") test uses.
// The number is not reserved: until its file is written, the same number is offered again.
int NextTestNumber(const QString &dataFolder);

} // namespace vigix
