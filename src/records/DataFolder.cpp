#include "DataFolder.h"

#include "Errors.h"
#include "SafeFile.h"
#include "TestFile.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QStandardPaths>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace vigix {

QString DefaultDataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + u"/vigix/"_s;
}

QString EnsureDataFolder(const QString &dataFolder)
{
    QDir dir(dataFolder);
    const QString shown = QDir::toNativeSeparators(dataFolder);
    const bool existed = dir.exists();
    if (!existed && !dir.mkpath(u"."_s))
        throw EInOutError(u"データフォルダ \"%1\" を作成できません"_s.arg(shown));

    // Patient data: only this user may read the folder, or list or add to it. One made open by an older copy or
    // by hand is closed again; one that belongs to someone else is left as its owner set it, and said so.
    struct stat status
    {
    };
    if (::stat(QFile::encodeName(dir.path()).constData(), &status) != 0)
        throw EInOutError(u"データフォルダ \"%1\" を開けません: %2"_s.arg(shown, SystemErrorReason(errno)));
    if ((status.st_mode & 077) == 0)
        return QString();
    if (status.st_uid != ::geteuid())
        return u"データフォルダ \"%1\" は他のユーザーも開ける設定になっていますが、所有者が別のユーザーのため本人専用に"
               u"変更できません。検査のデータを守るため、フォルダの所有者または管理者に設定の変更を依頼してください。"_s
                   .arg(shown);
    if (::chmod(QFile::encodeName(dir.path()).constData(), 0700) != 0)
        return u"データフォルダ \"%1\" を本人専用に変更できません: %2"_s.arg(shown, SystemErrorReason(errno));
    return QString();
}

void CheckDataFolderReachable(const QString &dataFolder)
{
    const QString shown = QDir::toNativeSeparators(dataFolder);
    const QByteArray path = QFile::encodeName(dataFolder);
    struct stat status
    {
    };
    int error = 0;
    if (::stat(path.constData(), &status) != 0)
        error = errno;
    else if (!S_ISDIR(status.st_mode))
        error = ENOTDIR;
    else if (::access(path.constData(), R_OK | X_OK) != 0)
        error = errno;
    if (error == 0)
        return;
    const QString why =
        error == ENOENT    ? u"見つかりません。共有フォルダがオフラインか、ドライブが接続されていない可能性があります"_s
        : error == ENOTDIR ? u"フォルダではありません"_s
                           : SystemErrorReason(error);
    throw EInOutError(u"データフォルダ \"%1\" に接続できません（%2）。"_s.arg(shown, why));
}

bool TestNumberFree(const QString &dataFolder, const QString &number)
{
    return !number.isEmpty() && TTestFile::IsFileNameNumber(number) &&
           !EntryExists(TTestFile::TestFilePath(dataFolder, number));
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
