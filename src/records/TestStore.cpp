#include "TestStore.h"

#include "DataFolderSetting.h"
#include "Errors.h"
#include "SafeFile.h"
#include "TestFile.h"
#include "TimingSummary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

constexpr int FirstTestNumber = 1001;
// Enough for the subject line of any test; the list reads no further.
constexpr qint64 SubjectLineLimit = 64 * 1024;
// A test with its timing summary takes about 40 KB; a folder with less room than this cannot take one safely.
constexpr qint64 RoomForATest = 256 * 1024;
// A temporary file of the store this old belongs to a copy of the program that died while storing.
constexpr std::time_t AbandonedAfterSeconds = 24 * 60 * 60;

QByteArray encoded(const QString &name)
{
    return QFile::encodeName(name);
}

bool isNumber(QStringView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// Numbers in numeric order, any other name after them by its text.
bool numberOrder(const TStoredTest &a, const TStoredTest &b)
{
    const bool aNumber = isNumber(a.Number), bNumber = isNumber(b.Number);
    if (aNumber != bNumber)
        return aNumber;
    if (aNumber && a.Number.size() != b.Number.size())
        return a.Number.size() < b.Number.size();
    return a.Number < b.Number;
}

// Why the start of a file is not a test's subject line; empty when it may be one.
QString subjectLineProblem(QByteArrayView start)
{
    if (start.isEmpty())
        return u"空のファイルです"_s;
    const qsizetype end = start.indexOf('\n');
    QByteArrayView line = end < 0 ? start : start.first(end);
    if (line.endsWith('\r'))
        line.chop(1);
    if (std::any_of(line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t'; }))
        return u"検査のファイルではありません（文字以外のデータを含みます）"_s;
    // Any other first line is taken as a subject record, as the list always has: a note saved as "*.txt" shows.
    return QString();
}

// A path that names a link itself, not where it leads: "folder/" would follow a link standing at "folder".
QString withoutSeparator(const QString &folder)
{
    return folder.size() > 1 && folder.endsWith(u'/') ? folder.chopped(1) : folder;
}

QString unreachableReason(int error)
{
    switch (error) {
    case ENOENT:
        return u"見つかりません。共有フォルダがオフラインか、ドライブが接続されていない可能性があります"_s;
    case ENOTDIR:
        return u"フォルダではありません"_s;
    default:
        return SystemErrorReason(error);
    }
}

} // namespace

TTestStore::TTestStore(QObject *parent) : QObject(parent) {}

TTestStore::~TTestStore()
{
    closeFolder();
}

void TTestStore::Open(const QString &folder)
{
    if (folder.isEmpty())
        throw EInOutError(u"データフォルダが決まっていません"_s); // never "/" in its place
    const QString path = folderPath(folder);
    closeFolder();
    const bool changed = path != m_folder;
    m_folder = path;
    if (changed)
        emit FolderChanged(m_folder);
    try {
        openFolder(m_folder);
    } catch (const EInOutError &error) {
        m_tests.clear();
        m_listError = error.message();
        emit ListChanged();
        throw;
    }
    Refresh();
}

void TTestStore::ChangeFolder(const QString &folder)
{
    if (folder.isEmpty())
        throw EInOutError(u"データフォルダが決まっていません"_s);
    const QString path = folderPath(folder);
    const QString oldFolder = std::exchange(m_folder, path);
    const int oldFd = std::exchange(m_fd, -1);
    try {
        CheckWritable();
    } catch (...) {
        closeFolder();
        m_folder = oldFolder;
        m_fd = oldFd;
        throw;
    }
    if (oldFd >= 0)
        ::close(oldFd);
    if (m_folder != oldFolder)
        emit FolderChanged(m_folder);
    Refresh();
}

void TTestStore::ChooseFolder(const QString &folder, const QString &settingsPath)
{
    TTestStore trial;
    trial.ChangeFolder(folder);
    StoreChosenDataFolder(settingsPath, folder);
    ChangeFolder(folder);
}

void TTestStore::CheckWritable()
{
    const QString shown = QDir::toNativeSeparators(m_folder);
    const auto refuse = [&shown](const QString &reason) {
        return EInOutError(
            u"データフォルダ \"%1\" には検査を保存できません（%2）。\n[ｵﾌﾟｼｮﾝ]-[データフォルダの変更...] で"
            u"保存できるフォルダを選んでください。"_s.arg(shown, reason));
    };
    int fd = -1;
    try {
        fd = folderFd();
    } catch (const EInOutError &error) {
        throw EInOutError(error.message() +
                          u"\n[ｵﾌﾟｼｮﾝ]-[データフォルダの変更...] で保存できるフォルダを選んでください。"_s);
    }
    // A trial file, created and removed as a test's would be: a read-only folder or disk, or a folder this account
    // may only read, is found now rather than at the end of a child's test.
    const QString probe =
        u".vigix-probe-%1-%2"_s.arg(::getpid()).arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0'));
    const int probeFd = createFile(encoded(probe));
    if (probeFd < 0)
        throw refuse(SystemErrorReason(errno));
    ::close(probeFd);
    ::unlinkat(fd, encoded(probe).constData(), 0);
    struct statvfs room
    {
    };
    if (::fstatvfs(fd, &room) == 0 && qint64(room.f_bavail) * qint64(room.f_frsize) < RoomForATest)
        throw refuse(SystemErrorReason(ENOSPC));
}

void TTestStore::Refresh()
{
    m_tests.clear();
    m_listError.clear();
    try {
        QStringList names;
        for (const QByteArray &entry : entryNames()) {
            removeIfAbandoned(entry);
            const QString name = QFile::decodeName(entry);
            if (name.endsWith(u".txt"_s) && name.size() > 4 && TTestFile::IsFileNameNumber(name.chopped(4)))
                names.append(name);
        }

        TTestFile scratch;
        for (const QString &name : std::as_const(names)) {
            TStoredTest test;
            test.Number = name.chopped(4);
            // One test that cannot be read is a row of its own, never the end of the list.
            try {
                const QByteArray start = readEntry(name, SubjectLineLimit, true);
                if (const QString problem = subjectLineProblem(start); !problem.isEmpty())
                    test.Error = u"ファイル \"%1\" を読めません: %2"_s.arg(label(name), problem);
                if (test.Error.isEmpty()) {
                    scratch.ReadInfoFromBytes(start);
                    test.Info = scratch.Info;
                }
            } catch (const EVigixError &error) {
                test.Error = error.message();
            }
            m_tests.append(test);
        }
        std::sort(m_tests.begin(), m_tests.end(), numberOrder);
    } catch (const EVigixError &error) {
        m_tests.clear();
        m_listError = error.message();
    }
    emit ListChanged();
}

int TTestStore::NextTestNumber()
{
    // One listing instead of two look-ups per number: a folder may hold thousands of tests. An entry of any kind
    // under the name counts as taken.
    QList<int> taken;
    for (const QByteArray &entry : entryNames()) {
        const QByteArrayView name(entry);
        if (name.size() <= 4 || !(name.endsWith(".txt") || name.endsWith(".del")))
            continue;
        bool ok = false;
        const QByteArray stem = name.chopped(4).toByteArray();
        const int number = stem.toInt(&ok);
        // Only the plain form: "01001.txt" does not take 1001.
        if (ok && number >= FirstTestNumber && QByteArray::number(number) == stem)
            taken.append(number);
    }
    std::sort(taken.begin(), taken.end());
    int next = FirstTestNumber;
    for (const int number : std::as_const(taken)) {
        if (number == next)
            ++next;
        else if (number > next)
            break;
    }
    return next;
}

bool TTestStore::TestNumberFree(const QString &number)
{
    if (number.isEmpty() || !TTestFile::IsFileNameNumber(number))
        return false;
    struct stat status
    {
    };
    return ::fstatat(folderFd(), encoded(number + u".txt"_s).constData(), &status, AT_SYMLINK_NOFOLLOW) != 0 &&
           errno == ENOENT;
}

QString TTestStore::StoreNewTest(TTestFile &file)
{
    const QString offered = file.Info.Kensabangou;
    try {
        QString number = TestNumberFree(offered) ? offered : QString::number(NextTestNumber());
        // Each try takes a number no entry had a moment ago; only another computer or account storing at the same
        // moment can take it first, and then the next try goes past it.
        for (int attempt = 0; attempt < 1000; ++attempt) {
            const QString name = number + u".txt"_s;
            file.Info.Kensabangou = number;
            const QByteArray bytes = file.Encode(label(name));
            const QString temporary = writeTemporary(bytes, name);
            bool placed = false;
            try {
                placed = placeWithoutReplacing(temporary, name, bytes);
            } catch (...) {
                ::unlinkat(m_fd, encoded(temporary).constData(), 0);
                throw;
            }
            if (placed) {
                // The new name is on the disk before anything (the journal's removal) relies on it.
                ::fsync(m_fd);
                Refresh();
                return number;
            }
            ::unlinkat(m_fd, encoded(temporary).constData(), 0);
            const int taken = number.toInt();
            number = QString::number(std::max(NextTestNumber(), taken + 1));
        }
        throw EInOutError(
            u"データフォルダ \"%1\" に空いている検査番号が見つかりません"_s.arg(QDir::toNativeSeparators(m_folder)));
    } catch (...) {
        file.Info.Kensabangou = offered;
        throw;
    }
}

void TTestStore::ReplaceTest(const TTestFile &file, const QString &number)
{
    const QString name = testName(number);
    replaceEntry(name, file.Encode(label(name)));
    ::fsync(m_fd);
    Refresh();
}

void TTestStore::DeleteTest(const QString &number)
{
    testName(number);
    const int fd = folderFd();
    const QByteArray from = encoded(number + u".txt"_s);
    const QByteArray to = encoded(number + u".del"_s);
    int result = ::renameat2(fd, from.constData(), fd, to.constData(), RENAME_NOREPLACE);
    if (result != 0 && (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
        // A file system without the flag: checked first, then renamed.
        struct stat status
        {
        };
        if (::fstatat(fd, to.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0)
            errno = EEXIST;
        else
            result = ::renameat(fd, from.constData(), fd, to.constData());
    }
    if (result != 0)
        throw EInOutError(
            u"\"%1\" の名前を変更できません: %2"_s.arg(label(number + u".txt"_s), SystemErrorReason(errno)));
    ::fsync(fd);
    Refresh();
}

void TTestStore::ReadTest(TTestFile &file, const QString &number)
{
    const QString name = testName(number);
    file.ReadFileFromBytes(readEntry(name), label(name));
}

void TTestStore::ReadInfo(TTestFile &file, const QString &number)
{
    const QString name = testName(number);
    file.ReadInfoFromBytes(readEntry(name, SubjectLineLimit, true));
}

void TTestStore::StoreTimingSummary(const QString &number, const TTimingSummary &summary)
{
    testName(number);
    replaceEntry(number + u".timing"_s, summary.Encode());
}

std::optional<TTimingSummary> TTestStore::TimingSummary(const QString &number)
{
    if (!TTestFile::IsFileNameNumber(number))
        return std::nullopt;
    try {
        return TTimingSummary::Decode(readEntry(number + u".timing"_s, 1024 * 1024));
    } catch (const EVigixError &) {
        return std::nullopt;
    }
}

QString TTestStore::TestFilePath(const QString &number) const
{
    return TTestFile::TestFilePath(m_folder, number);
}

int TTestStore::folderFd()
{
    if (m_folder.isEmpty())
        throw EInOutError(u"データフォルダが決まっていません"_s);
    if (m_fd >= 0) {
        // Still the folder at the path? A folder removed, or replaced by another, is looked up again.
        struct stat held
        {
        }, atPath{};
        if (::fstat(m_fd, &held) == 0 && held.st_nlink > 0 &&
            ::lstat(encoded(withoutSeparator(m_folder)).constData(), &atPath) == 0 && held.st_dev == atPath.st_dev &&
            held.st_ino == atPath.st_ino)
            return m_fd;
        closeFolder();
    }
    openFolder(m_folder);
    return m_fd;
}

void TTestStore::openFolder(const QString &folder)
{
    const QString path = withoutSeparator(folder);
    // The folder itself is never reached through a link either: it is the one the examiner chose.
    const int fd = ::open(encoded(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        throw EInOutError(u"データフォルダ \"%1\" に接続できません（%2）。"_s.arg(QDir::toNativeSeparators(folder),
                                                                                  unreachableReason(errno)));
    m_fd = fd;
}

void TTestStore::closeFolder()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void TTestStore::removeIfAbandoned(const QByteArray &name)
{
    // Only the store's own hidden files: a new test's temporary file or a trial file, left by a copy of the program
    // that was killed in the middle. A day old, no computer is still writing it.
    const bool own = name.startsWith(".vigix-probe-") || (name.startsWith('.') && name.endsWith(".tmp"));
    struct stat status
    {
    };
    if (own && ::fstatat(m_fd, name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode) &&
        std::time(nullptr) - status.st_mtime > AbandonedAfterSeconds)
        ::unlinkat(m_fd, name.constData(), 0);
}

QList<QByteArray> TTestStore::entryNames()
{
    // A description of its own, so that reading the folder never moves the held descriptor's position.
    const int listFd = ::openat(folderFd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *dir = listFd < 0 ? nullptr : ::fdopendir(listFd);
    if (!dir) {
        const int error = errno;
        if (listFd >= 0)
            ::close(listFd);
        throw EInOutError(u"データフォルダ \"%1\" の一覧を読めません: %2"_s.arg(QDir::toNativeSeparators(m_folder),
                                                                                SystemErrorReason(error)));
    }
    QList<QByteArray> names;
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry)
            break;
        names.append(QByteArray(entry->d_name));
    }
    // A share that fails half-way is told, not taken for the end of the folder.
    const int error = errno;
    ::closedir(dir);
    if (error != 0)
        throw EInOutError(u"データフォルダ \"%1\" の一覧を読めません: %2"_s.arg(QDir::toNativeSeparators(m_folder),
                                                                                SystemErrorReason(error)));
    return names;
}

QByteArray TTestStore::readEntry(const QString &name, qint64 limit, bool firstLine)
{
    const int fd = folderFd();
    const auto cannot = [this, &name](const QString &what, const QString &reason) {
        return EInOutError(u"ファイル \"%1\" を%2: %3"_s.arg(label(name), what, reason));
    };
    // Non-blocking, so that a pipe named like a test cannot hold the program up at the open.
    const int file = ::openat(fd, encoded(name).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (file < 0)
        throw cannot(u"開けません"_s, SystemErrorReason(errno));
    struct stat status
    {
    };
    if (::fstat(file, &status) != 0) {
        const int error = errno;
        ::close(file);
        throw cannot(u"開けません"_s, SystemErrorReason(error));
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(file);
        throw cannot(u"開けません"_s,
                     S_ISDIR(status.st_mode) ? SystemErrorReason(EISDIR) : u"通常のファイルではありません"_s);
    }
    QByteArray bytes;
    const qint64 wanted = limit < 0 ? qint64(status.st_size) : std::min<qint64>(limit, status.st_size);
    // The list reads only subject lines: a few KiB of each test, not its 30 KiB of rounds.
    const std::size_t chunkSize = firstLine ? 4096 : 64 * 1024;
    bytes.reserve(firstLine ? std::min<qint64>(wanted, chunkSize) : wanted);
    char buffer[64 * 1024];
    while (limit < 0 || bytes.size() < limit) {
        const std::size_t chunk = limit < 0 ? chunkSize : std::min<std::size_t>(chunkSize, limit - bytes.size());
        const ssize_t got = ::read(file, buffer, chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int error = errno;
            ::close(file);
            throw cannot(u"読めません"_s, SystemErrorReason(error));
        }
        if (got == 0)
            break;
        bytes.append(buffer, got);
        if (firstLine && QByteArrayView(buffer, got).contains('\n'))
            break;
    }
    ::close(file);
    return bytes;
}

QString TTestStore::writeTemporary(const QByteArray &bytes, const QString &forName)
{
    const int fd = folderFd();
    const auto cannot = [this, &forName](int error) {
        return EInOutError(u"ファイル \"%1\" を作成できません: %2"_s.arg(label(forName), SystemErrorReason(error)));
    };
    // Hidden, and named like no test: a copy of the program that dies here leaves nothing in the list.
    const QString temporary =
        u".%1.%2-%3.tmp"_s.arg(forName).arg(::getpid()).arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0'));
    const int file = createFile(encoded(temporary));
    if (file < 0)
        throw cannot(errno);
    if (const int error = writeAndClose(file, bytes); error != 0) {
        ::unlinkat(fd, encoded(temporary).constData(), 0);
        throw EInOutError(u"ファイル \"%1\" に書き込めません: %2"_s.arg(label(forName), SystemErrorReason(error)));
    }
    return temporary;
}

int TTestStore::createFile(const QByteArray &name)
{
    const int fd = folderFd();
    struct stat folderStatus
    {
    };
    const bool groupShared =
        ::fstat(fd, &folderStatus) == 0 && (folderStatus.st_mode & S_ISGID) && (folderStatus.st_mode & S_IWGRP);
    const mode_t mode = groupShared ? 0660 : 0600;
    const int file = ::openat(fd, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    // The mask of this session may take the group's bits away; in a group's folder they are the point. The group
    // itself is the folder's, through its setgid bit. A file system that keeps no modes refuses: that is no failure.
    if (file >= 0 && groupShared) {
        const int savedErrno = errno;
        ::fchmod(file, mode);
        errno = savedErrno;
    }
    return file;
}

int TTestStore::writeAndClose(int file, const QByteArray &bytes)
{
    int error = WriteAll(file, bytes);
    if (error == 0)
        error = SyncFile(file);
    if (::close(file) != 0 && error == 0 && errno != EINTR)
        error = errno;
    return error;
}

bool TTestStore::placeWithoutReplacing(const QString &temporary, const QString &name, const QByteArray &bytes)
{
    const QByteArray from = encoded(temporary);
    const QByteArray to = encoded(name);
    const auto cannot = [this, &name](int error) {
        return EInOutError(u"ファイル \"%1\" を作成できません: %2"_s.arg(label(name), SystemErrorReason(error)));
    };
    if (::renameat2(m_fd, from.constData(), m_fd, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        throw cannot(errno);
    // A file system without the flag (a network share): a hard link never replaces either.
    if (::linkat(m_fd, from.constData(), m_fd, to.constData(), 0) == 0) {
        ::unlinkat(m_fd, from.constData(), 0);
        return true;
    }
    if (errno == EEXIST)
        return false;
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS)
        throw cannot(errno);
    // Neither (FAT, some shares): the file is created under its name only if it does not exist, and written there.
    // A copy of the program that dies while writing leaves a damaged file, and the journal keeps the rounds.
    const int file = createFile(to);
    if (file < 0) {
        if (errno == EEXIST)
            return false;
        throw cannot(errno);
    }
    if (const int error = writeAndClose(file, bytes); error != 0) {
        ::unlinkat(m_fd, to.constData(), 0);
        throw cannot(error);
    }
    ::unlinkat(m_fd, from.constData(), 0);
    return true;
}

void TTestStore::replaceEntry(const QString &name, const QByteArray &bytes)
{
    const auto cannot = [this, &name](const QString &reason) {
        return EInOutError(u"ファイル \"%1\" に書き込めません: %2"_s.arg(label(name), reason));
    };
    // Only a file is replaced: a link, a folder or a pipe under the name is someone else's, and stays.
    struct stat status
    {
    };
    if (::fstatat(folderFd(), encoded(name).constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(status.st_mode))
        throw cannot(S_ISLNK(status.st_mode)   ? SystemErrorReason(ELOOP)
                     : S_ISDIR(status.st_mode) ? SystemErrorReason(EISDIR)
                                               : u"通常のファイルではありません"_s);
    const QString temporary = writeTemporary(bytes, name);
    if (::renameat(m_fd, encoded(temporary).constData(), m_fd, encoded(name).constData()) != 0) {
        const int error = errno;
        ::unlinkat(m_fd, encoded(temporary).constData(), 0);
        throw cannot(SystemErrorReason(error));
    }
}

QString TTestStore::folderPath(const QString &folder)
{
    // A folder reached through a link (a data folder made a link to a disk, a link chosen in a dialog) is taken
    // for the folder it leads to, once, here: from then on nothing is followed. One that does not exist stays as
    // given, to be told as unreachable.
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    QString path = canonical.isEmpty() ? folder : canonical;
    if (!path.endsWith(u'/'))
        path += u'/';
    return path;
}

QString TTestStore::testName(const QString &number)
{
    // A number read from a damaged file ("../x") never leads out of the folder: this raises its message.
    TTestFile::TestFilePath(QString(), number);
    return number + u".txt"_s;
}

QString TTestStore::label(const QString &name) const
{
    return QDir::toNativeSeparators(TTestFile::DataFolderFile(m_folder, name));
}

} // namespace vigix
