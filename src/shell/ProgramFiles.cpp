#include "ProgramFiles.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace vigix {

QString ProgramFilesFolder(const QString &programFolder)
{
    const QDir program(programFolder);
    for (const QString &candidate : {program.absolutePath(), program.absoluteFilePath(u"../share/vigix"_s)}) {
        const QString folder = QDir::cleanPath(candidate) + u'/';
        if (QFileInfo(folder + u"help"_s).isDir())
            return folder;
    }
    return QDir::cleanPath(program.absolutePath()) + u'/';
}

} // namespace vigix
