#include "RoundJournal.h"

#include "DataFolder.h"
#include "Errors.h"
#include "SafeFile.h"
#include "TestStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

// Rounds that could not be written are tried again with the next round, or after this long without one.
constexpr std::chrono::seconds RetryInterval{1};

const QByteArray LineEnd = QByteArrayLiteral("\r\n");
const QByteArray DataFolderKey = QByteArrayLiteral("#data-folder=");
// Begins the line of a round handed over again: "#round=<n>," and the round's new line. A round line itself always
// begins with a quote.
const QByteArray ReplacementKey = QByteArrayLiteral("#round=");

QString label(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// The journal's name: the test number (only letters and digits, so that it stays one plain file name) and the
// moment of the test's opening, so that two copies of the program offered the same number never share one.
QString journalPath(const QString &journalFolder, const QString &number)
{
    QString stem;
    for (const QChar c : number)
        stem += (c.unicode() < 0x80 && c.isLetterOrNumber()) ? c : QChar(u'_');
    return journalFolder + u"%1-%2.journal"_s.arg(stem).arg(QDateTime::currentMSecsSinceEpoch());
}

// Opens the recovery folder (made owner-only when missing and create is set). Only a real folder of this user
// is used: a link or another user's folder could put the journals, and the children's data in them, where that
// user reads them, or offer a journal that user wrote. One of this user's that was opened up is made owner-only
// again. Returns its descriptor, or -1 with the refusal in refusal (empty when it is missing and not created).
int openRecoveryFolder(const QString &folder, bool create, QString &refusal)
{
    QString bare = folder;
    while (bare.size() > 1 && bare.endsWith(u'/'))
        bare.chop(1); // a trailing "/" would lead through a link
    const QByteArray name = QFile::encodeName(bare);
    const QString shown = label(bare);
    if (create) {
        QDir().mkpath(QFileInfo(bare).absolutePath()); // a missing parent is told by the mkdir below
        if (::mkdir(name.constData(), 0700) == 0) {
            SyncFolder(QFileInfo(bare).absolutePath());
        } else if (errno != EEXIST) {
            refusal = u"フォルダ \"%1\" を作成できません: %2"_s.arg(shown, SystemErrorReason(errno));
            return -1;
        }
    }
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT && !create)
            return -1;
        refusal = error == ELOOP || error == ENOTDIR
                      ? u"\"%1\" はフォルダではない（リンクなど）ため使えません"_s.arg(shown)
                      : u"フォルダ \"%1\" を開けません: %2"_s.arg(shown, SystemErrorReason(error));
        return -1;
    }
    struct stat status
    {
    };
    if (::fstat(fd, &status) != 0 || status.st_uid != ::geteuid()) {
        ::close(fd);
        refusal = u"フォルダ \"%1\" は他のユーザーのものなので使えません"_s.arg(shown);
        return -1;
    }
    if ((status.st_mode & 07777) != 0700 && ::fchmod(fd, 0700) != 0) {
        const int error = errno;
        ::close(fd);
        refusal = u"フォルダ \"%1\" を本人専用にできません: %2"_s.arg(shown, SystemErrorReason(error));
        return -1;
    }
    return fd;
}

// A journal found in the recovery folder, opened and locked against every other copy of the program.
class TJournalHandle
{
public:
    enum class TOpened { Locked, InUse, Missing, Foreign, Failed };

    TJournalHandle() = default;
    TJournalHandle(const TJournalHandle &) = delete;
    TJournalHandle &operator=(const TJournalHandle &) = delete;
    ~TJournalHandle() { close(); }

    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
        m_fd = -1;
    }

    // shared: for reading it (two copies starting together may both read); otherwise for storing or removing.
    TOpened open(const QString &path, bool shared)
    {
        m_path = path;
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0) {
            m_error = errno;
            return m_error == ENOENT ? TOpened::Missing : m_error == ELOOP ? TOpened::Foreign : TOpened::Failed;
        }
        // Only a journal this user's copy of the program wrote: another user who could write to the folder
        // must not have a test of theirs stored as one of this examiner's.
        struct stat owner
        {
        };
        if (::fstat(m_fd, &owner) != 0 || !S_ISREG(owner.st_mode) || owner.st_uid != ::geteuid())
            return TOpened::Foreign;
        if (::flock(m_fd, (shared ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
            m_error = errno;
            return m_error == EWOULDBLOCK ? TOpened::InUse : TOpened::Failed;
        }
        // Removed between the open and the lock by a copy that held it.
        struct stat status
        {
        };
        if (::fstat(m_fd, &status) != 0 || status.st_nlink == 0)
            return TOpened::Missing;
        return TOpened::Locked;
    }

    // Raises EInOutError.
    QByteArray readAll() const
    {
        QByteArray bytes;
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n == 0)
                return bytes;
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                throw EInOutError(u"ファイル \"%1\" を読めません: %2"_s.arg(label(m_path), SystemErrorReason(errno)));
            bytes.append(buffer, n);
        }
    }

    // Removes the file while still holding it; raises EInOutError.
    void remove() const
    {
        if (::unlink(QFile::encodeName(m_path).constData()) != 0 && errno != ENOENT)
            throw EInOutError(u"ファイル \"%1\" を削除できません: %2"_s.arg(label(m_path), SystemErrorReason(errno)));
    }

    QString errorText() const { return SystemErrorReason(m_error); }

private:
    int m_fd = -1;
    int m_error = 0;
    QString m_path;
};

// Locks a listed journal for storing or discarding; false when it is gone. Raises EInOutError when another copy
// of the program holds it or it cannot be opened.
bool lockForChange(TJournalHandle &journal, const QString &path)
{
    switch (journal.open(path, false)) {
    case TJournalHandle::TOpened::Locked:
        return true;
    case TJournalHandle::TOpened::Missing:
        return false;
    case TJournalHandle::TOpened::InUse:
        throw EInOutError(u"中断された検査の記録 \"%1\" は他の VIGIX が使っています"_s.arg(label(path)));
    case TJournalHandle::TOpened::Foreign:
        throw EInOutError(u"\"%1\" はこのユーザーの検査の記録ではありません"_s.arg(label(path)));
    case TJournalHandle::TOpened::Failed:
        break;
    }
    throw EInOutError(u"中断された検査の記録 \"%1\" を開けません: %2"_s.arg(label(path), journal.errorText()));
}

// The data-folder line (when trusted, its folder becomes the test's), the subject line, then every whole round
// line, a replacement line putting a round's new contents in place of its earlier ones: a torn last line (no CR LF
// after it) or a line that does not read as a round ends what is kept. asStored: the subject line and the rounds
// kept, as the test file holds them.
TAbandonedTest parseJournal(const QString &path, QByteArrayView bytes, bool trustDataFolder, QByteArray &asStored)
{
    TAbandonedTest test;
    test.JournalPath = path;
    asStored.clear();
    qsizetype testStart = 0;
    qsizetype end = bytes.indexOf(LineEnd);
    if (end >= 0 && bytes.first(end).startsWith(DataFolderKey)) {
        if (trustDataFolder) {
            test.DataFolder = QString::fromUtf8(
                QByteArray::fromPercentEncoding(bytes.first(end).sliced(DataFolderKey.size()).toByteArray()));
            if (!test.DataFolder.endsWith(u'/'))
                test.DataFolder += u'/';
        }
        testStart = end + LineEnd.size();
        end = bytes.indexOf(LineEnd, testStart);
    }
    if (end < 0) {
        test.Error = u"検査の情報が書き込まれる前に終了しています"_s;
        return test;
    }
    const QByteArrayView subject = bytes.sliced(testStart, end - testStart);
    test.Info = TTestFile::DecodeInfoLine(subject);
    // The latest line of each round, as the test file would hold it.
    QList<QByteArrayView> roundLines;
    for (qsizetype start = end + LineEnd.size();; start = end + LineEnd.size()) {
        end = bytes.indexOf(LineEnd, start);
        if (end < 0)
            break;
        QByteArrayView line = bytes.sliced(start, end - start);
        int round = int(roundLines.size()) + 1;
        if (line.startsWith(ReplacementKey)) {
            const qsizetype comma = line.indexOf(',');
            bool ok = false;
            round = comma < 0 ? 0 : line.sliced(ReplacementKey.size(), comma - ReplacementKey.size()).toInt(&ok);
            if (!ok || round < 1 || round > roundLines.size())
                break;
            line = line.sliced(comma + 1);
        } else if (round > TTestFile::TestRounds) {
            break;
        }
        try {
            const TRoundInfo contents = TTestFile::DecodeRoundLine(line, path, round + 1);
            if (round > roundLines.size()) {
                test.Rounds.append(contents);
                roundLines.append(line);
            } else {
                test.Rounds[round - 1] = contents;
                roundLines[round - 1] = line;
            }
        } catch (const EConvertError &) {
            break;
        }
    }
    asStored = subject.toByteArray() + LineEnd;
    for (const QByteArrayView line : std::as_const(roundLines))
        asStored += line.toByteArray() + LineEnd;
    return test;
}

// Whether the test file of the number begins with exactly the journal's subject line and rounds: the test was
// saved and the program stopped before the journal's removal.
bool alreadyStored(const QString &dataFolder, const QString &number, QByteArrayView journal)
{
    if (number.isEmpty())
        return false;
    QFile file;
    try {
        OpenForReading(file, TTestFile::TestFilePath(dataFolder, number)); // never a pipe or a link
    } catch (const EVigixError &) {
        return false;
    }
    return file.size() >= journal.size() && file.read(journal.size()) == journal;
}

} // namespace

// ---- TFileJournalStorage ----

TFileJournalStorage::~TFileJournalStorage()
{
    Close(false);
}

bool TFileJournalStorage::fail(const QString &what)
{
    m_error = u"%1: %2"_s.arg(what, SystemErrorReason(errno));
    return false;
}

bool TFileJournalStorage::Create(const QString &path)
{
    Close(false);
    m_path = path;
    const QString folder = QFileInfo(path).absolutePath();
    const QByteArray fileName = QFile::encodeName(QFileInfo(path).fileName());

    // Journals hold patient data: an owner-only folder of this user, owner-only files, created through the
    // folder's own descriptor so that nothing put in its place meanwhile can redirect them.
    QString refusal;
    const int folderFd = openRecoveryFolder(folder, true, refusal);
    if (folderFd < 0) {
        m_error = refusal;
        return false;
    }
    const auto closeFolder = qScopeGuard([folderFd] { ::close(folderFd); });

    int fd = -1;
#ifdef O_TMPFILE
    // The file gets its name only once it is locked, so a copy of the program starting meanwhile never takes
    // the journal of a running test for an abandoned one.
    fd = ::openat(folderFd, ".", O_TMPFILE | O_WRONLY | O_APPEND | O_CLOEXEC, 0600);
    if (fd >= 0) {
        char self[64];
        std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
        if (::flock(fd, LOCK_EX) != 0 ||
            ::linkat(AT_FDCWD, self, folderFd, fileName.constData(), AT_SYMLINK_FOLLOW) != 0) {
            const int error = errno;
            ::close(fd);
            fd = -1;
            if (error == EEXIST) {
                errno = error;
                return fail(u"ファイル \"%1\" を作成できません"_s.arg(label(path)));
            }
            // No /proc: the plain way below.
        }
    }
#endif
    if (fd < 0) {
        fd = ::openat(folderFd, fileName.constData(), O_CREAT | O_EXCL | O_NOFOLLOW | O_WRONLY | O_APPEND | O_CLOEXEC,
                      0600);
        if (fd < 0)
            return fail(u"ファイル \"%1\" を作成できません"_s.arg(label(path)));
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            errno = error;
            return fail(u"ファイル \"%1\" をロックできません"_s.arg(label(path)));
        }
    }
    m_fd = fd;
    if (::fsync(folderFd) != 0) {
        const int error = errno;
        Close(true);
        errno = error;
        return fail(u"フォルダ \"%1\" をディスクに書き込めません"_s.arg(label(folder)));
    }
    return true;
}

bool TFileJournalStorage::Append(const QByteArray &bytes)
{
    if (const int error = WriteAll(m_fd, bytes)) {
        errno = error;
        return fail(u"ファイル \"%1\" に書き込めません"_s.arg(label(m_path)));
    }
    return true;
}

bool TFileJournalStorage::Sync()
{
    if (SyncFile(m_fd) != 0)
        return fail(u"ファイル \"%1\" をディスクに書き込めません"_s.arg(label(m_path)));
    return true;
}

bool TFileJournalStorage::Truncate(qint64 length)
{
    if (::ftruncate(m_fd, off_t(length)) != 0)
        return fail(u"ファイル \"%1\" を切り詰められません"_s.arg(label(m_path)));
    return true;
}

void TFileJournalStorage::Close(bool remove)
{
    if (m_fd < 0)
        return;
    if (remove)
        ::unlink(QFile::encodeName(m_path).constData());
    ::close(m_fd); // releases the lock
    m_fd = -1;
}

// ---- TRoundJournal ----

TRoundJournal::TRoundJournal(const QString &journalFolder, std::unique_ptr<IJournalStorage> storage)
    : m_journalFolder(journalFolder), m_storage(storage ? std::move(storage) : std::make_unique<TFileJournalStorage>())
{
    ::sem_init(&m_wakeup, 0, 0);
}

TRoundJournal::~TRoundJournal()
{
    m_stopping.store(true, std::memory_order_release);
    ::sem_post(&m_wakeup);
    if (m_writer.joinable())
        m_writer.join();
    // Nothing is posted after the stop; a request the writer never started (none started) is dropped with it.
    for (TNode *node = m_incoming.exchange(nullptr); node;)
        delete std::exchange(node, node->Next);
    ::sem_destroy(&m_wakeup);
}

QString TRoundJournal::LocalJournalFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + u"/recovery/"_s;
}

QString TRoundJournal::RecoveryFolder(const QString &dataFolder)
{
    return QDir(dataFolder).filePath(u".recovery"_s) + u'/';
}

QByteArray TRoundJournal::DataFolderLine(const QString &dataFolder)
{
    // Percent-encoded: any path stays one line.
    return DataFolderKey + dataFolder.toUtf8().toPercentEncoding("/") + LineEnd;
}

void TRoundJournal::Begin(const TTestInfo &info, const QString &dataFolder)
{
    post({TRequest::TKind::Begin, info, dataFolder, 0, {}});
}

void TRoundJournal::RoundCompleted(int round, const TRoundInfo &contents)
{
    post({TRequest::TKind::Round, {}, {}, round, contents});
}

void TRoundJournal::Finish()
{
    post({TRequest::TKind::Finish, {}, {}, 0, {}});
}

void TRoundJournal::post(TRequest &&request)
{
    auto *node = new TNode{std::move(request)};
    TNode *head = m_incoming.load(std::memory_order_relaxed);
    do {
        node->Next = head;
    } while (!m_incoming.compare_exchange_weak(head, node, std::memory_order_release, std::memory_order_relaxed));
    // Started here rather than in the constructor, so the callbacks set before are seen by the thread. The first
    // post is the Begin of a section's opening, before the section's thread is lifted to real-time priority.
    if (!m_writer.joinable())
        m_writer = std::thread([this] { run(); });
    ::sem_post(&m_wakeup);
}

std::deque<TRoundJournal::TRequest> TRoundJournal::takeRequests()
{
    TNode *node = nullptr;
    {
        // Taken and marked busy together, so that WaitUntilIdle never sees neither.
        std::lock_guard lock(m_mutex);
        node = m_incoming.exchange(nullptr, std::memory_order_acquire);
        m_busy = true;
    }
    std::deque<TRequest> batch;
    while (node) {
        batch.push_front(std::move(node->Request)); // the stack is newest first
        delete std::exchange(node, node->Next);
    }
    return batch;
}

void TRoundJournal::waitForWork()
{
    // Without lines kept for a retry, until a post; with some, a second at most.
    if (m_backlog.empty()) {
        while (::sem_wait(&m_wakeup) != 0 && errno == EINTR) {
        }
        return;
    }
    timespec until{};
    ::clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_sec += std::chrono::seconds(RetryInterval).count();
    while (::sem_clockwait(&m_wakeup, CLOCK_MONOTONIC, &until) != 0 && errno == EINTR) {
    }
}

bool TRoundJournal::WaitUntilIdle(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_idle.wait_for(lock, timeout, [this] { return !m_incoming.load() && !m_busy; });
}

QString TRoundJournal::CurrentPath() const
{
    std::lock_guard lock(m_mutex);
    return m_currentPath;
}

void TRoundJournal::setCurrentPath(const QString &path)
{
    std::lock_guard lock(m_mutex);
    m_currentPath = path;
}

void TRoundJournal::run()
{
    for (;;) {
        waitForWork();
        // Read before the requests are taken: every request posted before the stop is among them.
        const bool stopping = m_stopping.load(std::memory_order_acquire);
        const std::deque<TRequest> batch = takeRequests();

        // Rounds that arrived together are written with one write and one sync.
        for (const TRequest &request : batch)
            handle(request);
        flush();
        if (stopping)
            closeJournal(false);

        {
            std::lock_guard lock(m_mutex);
            m_busy = false;
        }
        m_idle.notify_all();
        if (stopping)
            return;
    }
}

void TRoundJournal::handle(const TRequest &request)
{
    switch (request.Kind) {
    case TRequest::TKind::Begin:
        begin(request.Info, request.DataFolder);
        break;
    case TRequest::TKind::Round:
        if (!m_active)
            break;
        try {
            QByteArray line = TTestFile::EncodeRoundLine(request.Contents, request.Round, m_path) + LineEnd;
            // A round that already has its line gets a replacement, read in place of the earlier one: the file
            // only ever grows, so a crash while writing cannot damage what is already on the disk.
            const bool replacement = request.Round <= m_lastRound;
            if (replacement)
                line.prepend(ReplacementKey + QByteArray::number(request.Round) + ',');
            else
                m_lastRound = request.Round;
            m_backlog.push_back({request.Round, line, replacement});
        } catch (const EVigixError &error) {
            // A round the test file could not hold either; nothing after it can follow without a gap.
            reportFailure(error.message());
            m_active = false;
        }
        break;
    case TRequest::TKind::Finish:
        finish();
        break;
    }
}

void TRoundJournal::begin(const TTestInfo &info, const QString &dataFolder)
{
    // A journal still open belongs to a test that was never saved: it is written up and kept.
    flush();
    closeJournal(false);
    m_active = true;
    m_failureReported = false;
    m_lastRound = 0;
    m_number = info.Kensabangou;
    m_dataFolder = dataFolder;
    m_path = journalPath(m_journalFolder, m_number);
    auto subject = std::make_unique<TTestFile>(); // RoundCount 0: the file is its subject line
    subject->Info = info;
    try {
        m_backlog.push_back({0, DataFolderLine(dataFolder) + subject->Encode(m_path)});
    } catch (const EVigixError &error) {
        reportFailure(error.message());
        m_active = false;
    }
}

void TRoundJournal::finish()
{
    // The test file's entry reaches the disk before the journal's removal does: a power cut in between leaves
    // both (the journal is then recognised as stored), never neither.
    if (m_created)
        SyncFolder(m_dataFolder);
    closeJournal(true);
    m_active = false;
}

void TRoundJournal::flush()
{
    if (m_backlog.empty())
        return;
    if (!m_created) {
        if (!m_storage->Create(m_path)) {
            reportFailure(m_storage->ErrorString());
            m_path = journalPath(m_journalFolder, m_number); // the next attempt under a fresh name
            return;
        }
        m_created = true;
        setCurrentPath(m_path);
        m_goodLength = 0;
        m_dirty = false;
    }
    // A torn line left by a failed append is cut off before anything follows it.
    if (m_dirty) {
        if (!m_storage->Truncate(m_goodLength)) {
            reportFailure(m_storage->ErrorString());
            return;
        }
        m_dirty = false;
    }
    QByteArray bytes;
    for (const TPendingLine &line : m_backlog)
        bytes += line.Bytes;
    if (!m_storage->Append(bytes) || !m_storage->Sync()) {
        // The lines stay in the backlog, in order, for the next attempt.
        reportFailure(m_storage->ErrorString());
        m_dirty = !m_storage->Truncate(m_goodLength);
        return;
    }
    m_goodLength += bytes.size();
    std::deque<TPendingLine> written;
    written.swap(m_backlog);
    if (OnRoundDurable) {
        for (const TPendingLine &line : written)
            if (line.Round > 0 && !line.Replacement)
                OnRoundDurable(line.Round);
    }
}

void TRoundJournal::closeJournal(bool remove)
{
    if (m_created)
        m_storage->Close(remove);
    m_created = false;
    m_dirty = false;
    m_goodLength = 0;
    m_backlog.clear();
    setCurrentPath(QString());
}

void TRoundJournal::reportFailure(const QString &message)
{
    if (m_failureReported)
        return;
    m_failureReported = true;
    if (OnWriteFailed)
        OnWriteFailed(message);
}

// ---- Recovery ----

namespace {

// The journals of one folder. legacyDataFolder: the data folder whose folder of earlier versions this is; its
// journals have no data-folder line, and one they claim is not trusted (anyone who may write to a shared data
// folder could name another place). Empty for the program's own folder, whose journals name their folder.
void findAbandonedIn(const QString &journalFolder, const QString &legacyDataFolder, QList<TAbandonedTest> &found)
{
    QString refusal;
    const int folderFd = openRecoveryFolder(journalFolder, false, refusal);
    if (folderFd < 0)
        return; // none, or not this user's to offer
    ::close(folderFd);
    const QDir folder(journalFolder);
    const QStringList names = folder.entryList({u"*.journal"_s}, QDir::Files | QDir::Hidden, QDir::Name);
    const bool own = legacyDataFolder.isEmpty();
    for (const QString &name : names) {
        const QString path = folder.filePath(name);
        TJournalHandle journal;
        TAbandonedTest unreadable;
        unreadable.JournalPath = path;
        unreadable.DataFolder = legacyDataFolder;
        switch (journal.open(path, true)) {
        case TJournalHandle::TOpened::Locked:
            break;
        case TJournalHandle::TOpened::InUse: // a test running in another copy of the program
        case TJournalHandle::TOpened::Missing:
        case TJournalHandle::TOpened::Foreign: // not this user's: never offered
            continue;
        case TJournalHandle::TOpened::Failed:
            unreadable.Error = u"ファイル \"%1\" を開けません: %2"_s.arg(label(path), journal.errorText());
            found.append(unreadable);
            continue;
        }
        QByteArray bytes;
        try {
            bytes = journal.readAll();
        } catch (const EInOutError &error) {
            unreadable.Error = error.message();
            found.append(unreadable);
            continue;
        }
        QByteArray asStored;
        TAbandonedTest test = parseJournal(path, bytes, own, asStored);
        if (!own)
            test.DataFolder = legacyDataFolder;
        else if (test.DataFolder.isEmpty() && test.Error.isEmpty())
            test.Error = u"保存先のデータフォルダが記録されていません"_s;
        if (test.Error.isEmpty() && alreadyStored(test.DataFolder, test.Info.Kensabangou, asStored)) {
            // Stored, and nothing of it is lost: removed without asking. Held by a copy reading it right now,
            // it is left to that copy.
            journal.close();
            TJournalHandle exclusive;
            if (exclusive.open(path, false) == TJournalHandle::TOpened::Locked) {
                try {
                    exclusive.remove();
                } catch (const EInOutError &) {
                    // Left for the next start.
                }
            }
            continue;
        }
        found.append(test);
    }
}

} // namespace

QList<TAbandonedTest> FindAbandonedTests(const QString &journalFolder, const QString &dataFolder)
{
    QList<TAbandonedTest> found;
    findAbandonedIn(journalFolder, QString(), found);
    // No data folder known (settings that cannot be read): no earlier version's folder either, never one relative to
    // wherever the program was started.
    const QString legacy = TRoundJournal::RecoveryFolder(dataFolder);
    if (!dataFolder.isEmpty() && QDir::cleanPath(legacy) != QDir::cleanPath(journalFolder))
        findAbandonedIn(legacy, dataFolder, found);
    return found;
}

QString StoreAbandonedTest(const TAbandonedTest &test, TTestStore &store)
{
    if (!test.Error.isEmpty())
        throw EConvertError(
            u"中断された検査の記録 \"%1\" は読めないため保存できません: %2"_s.arg(label(test.JournalPath), test.Error));
    TJournalHandle journal;
    if (!lockForChange(journal, test.JournalPath))
        throw EInOutError(
            u"中断された検査の記録 \"%1\" はもうありません（他の VIGIX で保存または破棄されました）"_s.arg(
                label(test.JournalPath)));

    // What the save would have stored after the last round: the subject record and rounds 1..n.
    auto file = std::make_unique<TTestFile>();
    file->Info = test.Info;
    file->RoundCount = std::min(test.RoundCount(), int(TTestFile::TestRounds));
    for (int i = 1; i <= file->RoundCount; ++i)
        file->Rounds[i] = test.Rounds.at(i - 1);
    // As at the save: a file of the number that has appeared since is another child's test, and the store takes
    // the next free number. The test file's entry is on the disk before the journal's removal is.
    const QString number = store.StoreNewTest(*file);
    journal.remove();
    return number;
}

void DiscardAbandonedTest(const TAbandonedTest &test)
{
    TJournalHandle journal;
    if (lockForChange(journal, test.JournalPath))
        journal.remove();
}

} // namespace vigix
