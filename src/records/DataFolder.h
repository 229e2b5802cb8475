#pragma once

#include <QString>

namespace vigix {

// The data folder of this user: the documents folder + "/vigix/" (ends in the separator).
QString DefaultDataFolder();

// Creates the data folder with every missing parent, owner-only (it holds patient data).
// Raises EInOutError when it cannot be created.
void EnsureDataFolder(const QString &dataFolder);

// The smallest number from 1001 up that no stored (".txt") or deleted (".del") test uses.
// The number is not reserved: until its file is written, the same number is offered again.
int NextTestNumber(const QString &dataFolder);

} // namespace vigix
