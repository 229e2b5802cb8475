#include "DataFolder.h"

#include "Errors.h"
#include "SafeFile.h"

#include <QDir>
#include <QFile>
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

} // namespace vigix
