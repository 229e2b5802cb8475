#pragma once

#include "AdministrationInterfaces.h"
#include "TestFile.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include <semaphore.h>

namespace vigix {

class TTestStore;

// Where a journal's bytes go: a file that only grows, except that a failed append is cut back. Every call
// comes from the journal's writer thread. A failure is returned, with its reason in ErrorString().
class IJournalStorage
{
public:
    virtual ~IJournalStorage() = default;
    // Creates a new, empty file at path, owner-only, locked against every other opener until Close. Its folder
    // is created owner-only when missing. The new entry is on the disk when this returns.
    virtual bool Create(const QString &path) = 0;
    // Appends all of bytes at the end of the file. False when they could not all be written (some may have).
    virtual bool Append(const QByteArray &bytes) = 0;
    // Brings what was appended to the disk, not only to a cache.
    virtual bool Sync() = 0;
    // Cuts the file back to length bytes.
    virtual bool Truncate(qint64 length) = 0;
    // Closes the file and releases its lock; when remove, the file is removed first, while still locked.
    virtual void Close(bool remove) = 0;
    virtual QString ErrorString() const = 0;
};

// A journal file: appended with O_APPEND writes, made durable with fdatasync, held with flock.
class TFileJournalStorage : public IJournalStorage
{
public:
    TFileJournalStorage() = default;
    TFileJournalStorage(const TFileJournalStorage &) = delete;
    TFileJournalStorage &operator=(const TFileJournalStorage &) = delete;
    ~TFileJournalStorage() override;

    bool Create(const QString &path) override;
    bool Append(const QByteArray &bytes) override;
    bool Sync() override;
    bool Truncate(qint64 length) override;
    void Close(bool remove) override;
    QString ErrorString() const override { return m_error; }

private:
    bool fail(const QString &what);

    int m_fd = -1;
    QString m_path;
    QString m_error;
};

// The recovery journal of the running test: "<journal folder>/<number>-<ms since 1970>.journal", in a folder on
// the local disk (a network share does not make a sync durable). Its first line names the data folder the test
// is to be stored in; then come the test file's subject line and, for each completed round, its line as the
// test file has it, in round order, written and synced before the next. A round handed over again (a press
// handled late went into it) is written as "#round=<n>," followed by its new line: that line replaces the
// round's earlier one when the journal is read. A copy of the program that dies during a test leaves a journal
// that holds every round completed before the last write.
//
// Begin, RoundCompleted and Finish only queue a copy of their data: one writer thread of the journal does all
// encoding, writing and syncing, so a slow disk never delays a tick or a press. The hand-over takes no lock: the
// caller is the real-time thread of a running section, the writer a thread of normal priority, and a lock the
// writer held while the scheduler let it wait behind the load of the computer would stall a tick.
class TRoundJournal : public IRoundJournal
{
public:
    // journalFolder ends in the separator; it is created owner-only when missing. storage null: a journal file
    // (TFileJournalStorage).
    explicit TRoundJournal(const QString &journalFolder, std::unique_ptr<IJournalStorage> storage = nullptr);
    TRoundJournal(const TRoundJournal &) = delete;
    TRoundJournal &operator=(const TRoundJournal &) = delete;
    // Writes what is still queued, then closes the journal of an unfinished test without removing it.
    ~TRoundJournal() override;

    // Starts the journal of a new test. One still open is written up and closed, and stays on the disk.
    void Begin(const TTestInfo &info, const QString &dataFolder) override;
    // A round already handed over replaces its earlier contents.
    void RoundCompleted(int round, const TRoundInfo &contents) override;
    // The test file is written: the journal is removed.
    void Finish() override;

    // Both are set before the first Begin and are called on the writer thread.
    // The first failure to write the journal of a test, once per test. The test goes on; the rounds not yet
    // written are kept in order and written with the next round (or within a second) once the disk works.
    std::function<void(const QString &message)> OnWriteFailed;
    // The line of round `round` is on the disk (its first line, not a replacement). For tests and benchmarks.
    std::function<void(int round)> OnRoundDurable;

    // Tests: waits until everything handed over has been dealt with (written, or kept for a retry after a
    // failure). False when the timeout passed first.
    bool WaitUntilIdle(std::chrono::milliseconds timeout);
    // The journal file being written; empty before its creation and after Finish.
    QString CurrentPath() const;

    // The program's folder of journals: on this user's local disk, never on a share.
    static QString LocalJournalFolder();
    // Where earlier versions kept the journals: hidden, inside the data folder. Still read, never written.
    static QString RecoveryFolder(const QString &dataFolder);
    // The journal's first line: the data folder its test is to be stored in.
    static QByteArray DataFolderLine(const QString &dataFolder);

private:
    struct TRequest
    {
        enum class TKind { Begin, Round, Finish } Kind;
        TTestInfo Info;
        QString DataFolder;
        int Round = 0;
        TRoundInfo Contents;
    };
    // A line not yet on the disk; round 0 is the subject line.
    struct TPendingLine
    {
        int Round;
        QByteArray Bytes;
        bool Replacement = false; // a round's new contents, after its first line
    };
    // A request on its way to the writer: pushed onto a lock-free stack, taken all at once.
    struct TNode
    {
        TRequest Request;
        TNode *Next = nullptr;
    };

    void post(TRequest &&request);
    void run();
    void waitForWork();
    // Takes every request posted so far, oldest first.
    std::deque<TRequest> takeRequests();
    void handle(const TRequest &request);
    void begin(const TTestInfo &info, const QString &dataFolder);
    void finish();
    void flush();
    void closeJournal(bool remove);
    void reportFailure(const QString &message);
    void setCurrentPath(const QString &path);

    const QString m_journalFolder;
    std::unique_ptr<IJournalStorage> m_storage;

    // The hand-over: newest request first. The posting thread only pushes onto it and posts the semaphore
    // (an atomic operation and a futex wake), never waiting on the writer.
    std::atomic<TNode *> m_incoming{nullptr};
    std::atomic<bool> m_stopping{false};
    sem_t m_wakeup;
    std::thread m_writer; // started by the first Begin

    // For the tests' waits and CurrentPath only; the posting thread never takes it.
    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    bool m_busy = false;   // guarded by m_mutex: the writer holds requests it has taken
    QString m_currentPath; // guarded by m_mutex

    // The writer thread's own state.
    bool m_active = false;  // a test's rounds are being journaled
    bool m_created = false; // its file exists
    bool m_dirty = false;   // a failed append may have left bytes past m_goodLength
    bool m_failureReported = false;
    qint64 m_goodLength = 0; // bytes of whole lines on the disk
    int m_lastRound = 0;     // the highest round given a line: a round up to it gets a replacement line
    QString m_number;
    QString m_dataFolder; // of the test being journaled
    QString m_path;       // of the journal, or of its next attempt to be created
    std::deque<TPendingLine> m_backlog;
};

// A test that ended without its save (a crash, a power cut, a killed process), as its journal holds it.
struct TAbandonedTest
{
    QString JournalPath;
    QString DataFolder;       // the test's data folder, ending in the separator: where it is stored
    TTestInfo Info;           // the subject record
    QList<TRoundInfo> Rounds; // rounds 1..n, each whole
    QString Error;            // why the subject record could not be read; such a journal can only be discarded

    int RoundCount() const { return int(Rounds.size()); }
};

// Every journal in the journal folder, and in the data folder's folder of earlier versions, that no running copy
// of the program holds, by folder and name. A round's replacement line takes the place of its earlier line. A torn
// last line (the program died while writing it) is ignored, and so is a last line that does not read as a round.
// A journal whose test is already stored (the test file of its number begins with exactly the subject line and the
// rounds as the journal reads: the program stopped between the save and the journal's removal) is removed and not
// listed. A journal whose subject line cannot be read is listed with Error.
QList<TAbandonedTest> FindAbandonedTests(const QString &journalFolder, const QString &dataFolder);

// Stores the rounds as the test file that Shift+Esc would have written after the last of them, in store's folder
// (the caller gives the store of the test's own data folder, or of the current one when that cannot be reached):
// under the journal's number, or under the next free number when that is taken. Then removes the journal, and
// returns the number used. Raises EInOutError (the folder cannot be reached, among others) or EConvertError; the
// journal stays then.
QString StoreAbandonedTest(const TAbandonedTest &test, TTestStore &store);

// Removes the journal (only ever on the examiner's word). One already gone is no error. Raises EInOutError
// when another copy of the program holds it or it cannot be removed.
void DiscardAbandonedTest(const TAbandonedTest &test);

} // namespace vigix
