#pragma once

#include <QString>

namespace vigix {

// The folder of the files the program reads beside itself (the help page "help/", the narration "wave/"), ending
// in the separator: the program's own folder when it holds them (run from the build folder), else
// "../share/vigix/" from it (installed, under whatever prefix). The program's own folder when neither holds them.
QString ProgramFilesFolder(const QString &programFolder);

} // namespace vigix
