#include "SafeFile.h"

#include "Errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

QString label(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString japaneseReason(int error)
{
    switch (error) {
    case ENOENT:
        return u"ファイルまたはフォルダがありません"_s;
    case EACCES:
    case EPERM:
        return u"アクセスする権限がありません"_s;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return u"ディスクの空き容量が足りません"_s;
    case EFBIG:
        return u"ファイルが大きすぎます"_s;
    case EROFS:
        return u"読み取り専用の場所です"_s;
    case EBUSY:
    case ETXTBSY:
        return u"他のプログラムが使用中です"_s;
    case ELOOP:
        return u"リンクになっています（データフォルダではリンクをたどりません）"_s;
    case EISDIR:
        return u"フォルダになっています"_s;
    case EIO:
        return u"ディスクの読み書きに失敗しました"_s;
    case EEXIST:
        return u"同じ名前のファイルがすでにあります"_s;
    default:
        return QString();
    }
}

// Why the entry at path cannot be written through, or an empty text when it can (a regular file, or nothing).
QString refusedEntry(const QString &path)
{
    struct stat status
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0 || S_ISREG(status.st_mode))
        return QString();
    if (S_ISLNK(status.st_mode))
        return japaneseReason(ELOOP);
    if (S_ISDIR(status.st_mode))
        return japaneseReason(EISDIR);
    return u"通常のファイルではありません"_s;
}

} // namespace

QString SystemErrorReason(int error)
{
    const QString system = qt_error_string(error);
    const QString reason = japaneseReason(error);
    return reason.isEmpty() ? system : u"%1 (%2)"_s.arg(reason, system);
}

QString DeviceErrorReason(const QIODevice &device, int error)
{
    const QString qtText = device.errorString();
    if (error != 0 && qtText.contains(qt_error_string(error)))
        return SystemErrorReason(error);
    QString reason = u"入出力に失敗しました"_s;
    if (const auto *file = qobject_cast<const QFileDevice *>(&device)) {
        switch (file->error()) {
        case QFileDevice::ReadError:
            reason = u"読み込みに失敗しました"_s;
            break;
        case QFileDevice::WriteError:
            reason = u"書き込みに失敗しました"_s;
            break;
        case QFileDevice::OpenError:
            reason = u"開けません"_s;
            break;
        case QFileDevice::PermissionsError:
            reason = u"アクセス権を変更できません"_s;
            break;
        case QFileDevice::RenameError:
            reason = u"名前を変更できません"_s;
            break;
        case QFileDevice::ResourceError:
            reason = japaneseReason(ENOSPC);
            break;
        default:
            break;
        }
    }
    return qtText.isEmpty() ? reason : u"%1 (%2)"_s.arg(reason, qtText);
}

bool EntryExists(const QString &path)
{
    struct stat status
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0;
}

void RenameWithoutReplacing(const QString &from, const QString &to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    int result = ::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE);
    if (result != 0 && errno == EINVAL) {
        // A file system without the flag: checked first, then renamed.
        if (EntryExists(to))
            errno = EEXIST;
        else
            result = ::rename(source.constData(), target.constData());
    }
    if (result != 0)
        throw EInOutError(u"\"%1\" の名前を変更できません: %2"_s.arg(label(from), SystemErrorReason(errno)));
}

void SaveFileSafely(const QString &path, const QByteArray &bytes, TLinks links)
{
    const auto cannotWrite = [&path](const QString &reason) {
        return EInOutError(u"ファイル \"%1\" に書き込めません: %2"_s.arg(label(path), reason));
    };
    if (links == TLinks::Refuse) {
        if (const QString refused = refusedEntry(path); !refused.isEmpty())
            throw cannotWrite(refused);
    }

    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        throw EInOutError(u"ファイル \"%1\" を作成できません: %2"_s.arg(label(path), DeviceErrorReason(file, errno)));
    // Patient data: owner only, before a byte of it is written.
    errno = 0;
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        throw cannotWrite(DeviceErrorReason(file, errno));
    // Written here rather than through QSaveFile::write: Qt keeps small writes in a buffer and writes them only in
    // commit(), and Qt 6.4's commit() then renames even when that write failed; a short write leaves no reason
    // behind either. The new file is on the disk before it replaces the old one.
    if (const int error = WriteAll(file.handle(), bytes))
        throw cannotWrite(SystemErrorReason(error));
    if (const int error = SyncFile(file.handle()))
        throw cannotWrite(SystemErrorReason(error));
    errno = 0;
    if (!file.commit())
        throw cannotWrite(DeviceErrorReason(file, errno));
    // The rename itself reaches the disk too; the file is already whole in its place if this fails.
    SyncFolder(QFileInfo(path).absolutePath());
}

void OpenForReading(QFile &file, const QString &path)
{
    const auto cannotOpen = [&path](const QString &reason) {
        return EInOutError(u"ファイル \"%1\" を開けません: %2"_s.arg(label(path), reason));
    };
    // Non-blocking, so that a pipe named like a test cannot hold the program up at the open; a regular file reads
    // the same either way, so the flag stays.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw cannotOpen(SystemErrorReason(errno));
    struct stat status
    {
    };
    const bool known = ::fstat(fd, &status) == 0;
    const int error = known ? 0 : errno;
    if (!known || !S_ISREG(status.st_mode)) {
        ::close(fd);
        throw cannotOpen(!known                    ? SystemErrorReason(error)
                         : S_ISDIR(status.st_mode) ? japaneseReason(EISDIR)
                                                   : u"通常のファイルではありません"_s);
    }
    errno = 0;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        const QString reason = DeviceErrorReason(file, errno);
        ::close(fd);
        throw cannotOpen(reason);
    }
}

int WriteAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, std::size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return errno;
        if (written == 0)
            return EIO;
        data += written;
        left -= written;
    }
    return 0;
}

int SyncFile(int fd)
{
    for (;;) {
#ifdef __APPLE__
        const int result = ::fcntl(fd, F_FULLFSYNC); // fsync alone stops at the drive's cache there
#else
        const int result = ::fdatasync(fd); // the data and the size: all a read needs
#endif
        if (result == 0)
            return 0;
        if (errno != EINTR)
            return errno;
    }
}

bool SyncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

} // namespace vigix
