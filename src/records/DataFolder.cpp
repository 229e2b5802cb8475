#include "DataFolder.h"

#include "Errors.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace vigix {

QString DefaultDataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + u"/vigix/"_s;
}

void EnsureDataFolder(const QString &dataFolder)
{
    QDir dir(dataFolder);
    const bool existed = dir.exists();
    if (!existed && !dir.mkpath(u"."_s))
        throw EInOutError(u"データフォルダ \"%1\" を作成できません"_s.arg(QDir::toNativeSeparators(dataFolder)));
    if (!existed)
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

int NextTestNumber(const QString &dataFolder)
{
    // One listing instead of two look-ups per number: a folder may hold thousands of tests. Any entry of
    // the name counts as taken, so a number is never offered whose file could not be written.
    const QStringList names =
        QDir(dataFolder).entryList({u"*.txt"_s, u"*.del"_s}, QDir::AllEntries | QDir::Hidden | QDir::System);
    const QSet<QString> taken(names.cbegin(), names.cend());
    int n = 1001;
    while (taken.contains(QString::number(n) + u".txt"_s) || taken.contains(QString::number(n) + u".del"_s))
        ++n;
    return n;
}

} // namespace vigix
