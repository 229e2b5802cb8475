#include "../NextFreeNumber.h"
#include "DataFolder.h"
#include "Errors.h"
#include "RoundJournal.h"
#include "SimulatedTest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace vigix;
using namespace vigix::testing;
using namespace Qt::StringLiterals;

namespace {

// Long enough for any disk; a wait that takes it is a failure, not a timing figure.
constexpr std::chrono::seconds Patience{60};

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The program's own folder of journals in these tests: beside the test files, as the local disk's stands in.
QString localJournals(const QString &dataFolder)
{
    return dataFolder + u"local/recovery/"_s;
}

QStringList journals(const QString &dataFolder)
{
    QStringList names;
    for (const QString &folder : {localJournals(dataFolder), TRoundJournal::RecoveryFolder(dataFolder)})
        names += QDir(folder).entryList({u"*.journal"_s}, QDir::Files | QDir::Hidden);
    return names;
}

QList<TAbandonedTest> findAbandoned(const QString &dataFolder)
{
    return FindAbandonedTests(localJournals(dataFolder), dataFolder);
}

// A journal as a crashed copy of an earlier version of the program left it: in the data folder, without a line
// naming the folder.
QString leaveJournal(const QString &dataFolder, const QByteArray &bytes, const QString &name = u"1001-1.journal"_s)
{
    QDir().mkpath(TRoundJournal::RecoveryFolder(dataFolder));
    const QString path = TRoundJournal::RecoveryFolder(dataFolder) + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void store(const QString &dataFolder, const QString &number, const QByteArray &bytes)
{
    QFile file(dataFolder + number);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(number));
}

QString groupOrOtherAccess(const QString &path)
{
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                        QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    return QFile::permissions(path).testAnyFlags(others) ? path : QString();
}

// A disk that fails three appends in a row from the given one: the first after writing half of its bytes,
// the third after writing all of them but failing to sync them. Then it works again.
class FlakyStorage : public IJournalStorage
{
public:
    explicit FlakyStorage(int failFrom) : m_failFrom(failFrom) {}
    bool Create(const QString &path) override { return m_disk.Create(path); }
    bool Append(const QByteArray &bytes) override
    {
        m_failSync = false;
        const int attempt = ++m_appends - m_failFrom;
        if (attempt == 0)
            m_disk.Append(bytes.first(bytes.size() / 2));
        if (attempt == 0 || attempt == 1)
            return false;
        m_failSync = attempt == 2;
        return m_disk.Append(bytes);
    }
    bool Sync() override { return !m_failSync && m_disk.Sync(); }
    bool Truncate(qint64 length) override { return m_disk.Truncate(length); }
    void Close(bool remove) override { m_disk.Close(remove); }
    QString ErrorString() const override { return u"ディスクに空きがありません"_s; }

private:
    TFileJournalStorage m_disk;
    int m_failFrom;
    int m_appends = 0;
    bool m_failSync = false;
};

} // namespace

class TestRoundJournal : public QObject
{
    Q_OBJECT
private slots:
    void wholeTest_journalHoldsEveryCompletedRound_shiftEscRemovesIt();
    void abandonedTest_isStoredExactlyAsShiftEscWouldHaveStoredIt();
    void tornOrDamagedLastLine_isIgnored_unreadableSubject_canOnlyBeDiscarded();
    void numberTakenMeanwhile_storesUnderTheNextFreeNumber();
    void journalInUse_isNotListed_oldJournalStays_storedTestIsRemovedSilently();
    void writeFailures_testGoesOn_warnedOnce_noRoundMissing();
    void roundHandedOverAgain_newContentsRecovered_tornReplacementIgnored();
};

void TestRoundJournal::wholeTest_journalHoldsEveryCompletedRound_shiftEscRemovesIt()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    SimulatedTest sim(11, folder);
    TRoundJournal journal(localJournals(folder));
    QList<int> durable;
    journal.OnRoundDurable = [&](int round) { durable << round; };
    sim.bench.admin.Journal = &journal;
    sim.open();
    QVERIFY(journal.WaitUntilIdle(Patience));
    const QString path = journal.CurrentPath();
    QVERIFY(path.startsWith(localJournals(folder) + u"1001-"_s) && path.endsWith(u".journal"_s));
    const QByteArray folderLine = TRoundJournal::DataFolderLine(folder);
    QCOMPARE(contents(path), folderLine + sim.fileAtRound(0));
    QCOMPARE(groupOrOtherAccess(path), QString());
    QCOMPARE(groupOrOtherAccess(localJournals(folder)), QString());

    int checked = 0;
    for (bool running = true; running;) {
        running = sim.tick();
        if (sim.journaledRounds() > checked) {
            checked = sim.journaledRounds();
            QVERIFY(journal.WaitUntilIdle(Patience));
            QCOMPARE(contents(path), folderLine + sim.fileAtRound(checked));
        }
    }
    QCOMPARE(checked, 500);
    QCOMPARE(durable.size(), 500);
    QCOMPARE(durable.last(), 500);
    // The test list and the next number see no journal.
    QCOMPARE(testing::NextFreeNumber(folder), 1001);
    QVERIFY(QDir(folder).entryList({u"*.txt"_s, u"*.del"_s}, QDir::AllEntries | QDir::Hidden).isEmpty());

    QVERIFY(sim.bench.admin.FormKeyDown(TAdministration::EscapeKey, true));
    QVERIFY(journal.WaitUntilIdle(Patience));
    QCOMPARE(journals(folder), QStringList());
    QCOMPARE(journal.CurrentPath(), QString());
    QCOMPARE(contents(folder + u"1001.txt"_s), sim.fileAtRound(500));
}

void TestRoundJournal::abandonedTest_isStoredExactlyAsShiftEscWouldHaveStoredIt()
{
    QTemporaryDir crashed, saved;
    // The test's data folder, named with every character a line of the journal could trip over.
    const QString folder = crashed.path() + u"/共有 %41\r\n#data-folder=x/"_s;
    QVERIFY(QDir().mkpath(folder));
    SimulatedTest crashing(5, folder);
    SimulatedTest saving(5, saved.path() + u'/');
    const QString local = localJournals(saved.path() + u'/');
    auto journal = std::make_unique<TRoundJournal>(local);
    crashing.bench.admin.Journal = journal.get();
    for (SimulatedTest *sim : {&crashing, &saving}) {
        sim->open();
        while (sim->completedRounds() < 137)
            sim->tick();
        sim->bench.ticks(3);
        sim->bench.press(); // in round 138, which is not stored
    }
    // The program dies: the journal is closed without its test being saved.
    crashing.bench.admin.Journal = nullptr;
    journal.reset();
    QVERIFY(saving.bench.admin.FormKeyDown(TAdministration::EscapeKey, true));

    // Found at the next start, whichever data folder is current then, and stored in the folder of the test.
    const QList<TAbandonedTest> found = FindAbandonedTests(local, saved.path() + u'/');
    QCOMPARE(found.size(), 1);
    QCOMPARE(found[0].DataFolder, folder);
    QCOMPARE(found[0].Info, SimulatedTest::Subject());
    QCOMPARE(found[0].RoundCount(), 137);
    QCOMPARE(found[0].Error, QString());
    QCOMPARE(testing::NextFreeNumber(folder), 1001);

    QCOMPARE(StoreInItsFolder(found[0]), u"1001"_s);
    QCOMPARE(contents(folder + u"1001.txt"_s), contents(saved.filePath(u"1001.txt"_s)));
    QCOMPARE(journals(saved.path() + u'/'), QStringList());
    QVERIFY(findAbandoned(folder).isEmpty());
}

void TestRoundJournal::tornOrDamagedLastLine_isIgnored_unreadableSubject_canOnlyBeDiscarded()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    SimulatedTest sim(3);
    sim.open();
    while (sim.completedRounds() < 6)
        sim.tick();
    const QByteArray five = sim.fileAtRound(5);
    const QByteArray sixth = sim.fileAtRound(6).sliced(five.size());

    for (const QByteArray &tail : {sixth.first(20), sixth.chopped(1), QByteArray("\"T\",\"X\",1\r\n")}) {
        const QString path = leaveJournal(folder, five + tail);
        const QList<TAbandonedTest> found = findAbandoned(folder);
        QCOMPARE(found.size(), 1);
        QCOMPARE(found[0].RoundCount(), 5);
        QCOMPARE(StoreInItsFolder(found[0]), u"1001"_s);
        QCOMPARE(contents(folder + u"1001.txt"_s), five);
        QVERIFY(!QFile::exists(path));
        QVERIFY(QFile::remove(folder + u"1001.txt"_s));
    }

    // Died while writing the subject line: listed, so that the examiner can discard it.
    const QString path = leaveJournal(folder, five.first(30));
    const QList<TAbandonedTest> found = findAbandoned(folder);
    QCOMPARE(found.size(), 1);
    QVERIFY(!found[0].Error.isEmpty());
    QVERIFY_THROWS_EXCEPTION(EConvertError, StoreInItsFolder(found[0]));
    QVERIFY(QFile::exists(path));
    DiscardAbandonedTest(found[0]);
    QVERIFY(!QFile::exists(path));
    DiscardAbandonedTest(found[0]); // already gone: nothing to do
    QVERIFY(QDir(folder).entryList(QDir::Files).isEmpty());
}

void TestRoundJournal::numberTakenMeanwhile_storesUnderTheNextFreeNumber()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    SimulatedTest sim(8);
    sim.open();
    while (sim.completedRounds() < 3)
        sim.tick();
    leaveJournal(folder, sim.fileAtRound(3));
    const QByteArray other = SimulatedTest(9).fileAtRound(0); // another child's test under the same number
    store(folder, u"1001.txt"_s, other);
    store(folder, u"1002.del"_s, {});

    const QList<TAbandonedTest> found = findAbandoned(folder);
    QCOMPARE(found.size(), 1);
    QCOMPARE(StoreInItsFolder(found[0]), u"1003"_s);
    QCOMPARE(contents(folder + u"1003.txt"_s), sim.fileAtRound(3, u"1003"_s));
    QCOMPARE(contents(folder + u"1001.txt"_s), other);
    QCOMPARE(journals(folder), QStringList());
}

void TestRoundJournal::journalInUse_isNotListed_oldJournalStays_storedTestIsRemovedSilently()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    SimulatedTest first(1, folder);
    TRoundJournal journal(localJournals(folder));
    first.bench.admin.Journal = &journal;
    first.open();
    while (first.journaledRounds() < 4)
        first.tick();
    QVERIFY(journal.WaitUntilIdle(Patience));
    const QString firstPath = journal.CurrentPath();
    QVERIFY(findAbandoned(folder).isEmpty()); // the test runs
    TAbandonedTest running;
    running.JournalPath = firstPath;
    QVERIFY_THROWS_EXCEPTION(EInOutError, DiscardAbandonedTest(running));
    QVERIFY(QFile::exists(firstPath));

    // A new test opens without the first one saved: the first journal stays, and is now abandoned.
    SimulatedTest second(2, folder);
    second.bench.testFile.Info.Kensabangou = u"1002"_s;
    second.bench.admin.Journal = &journal;
    second.open();
    QVERIFY(journal.WaitUntilIdle(Patience));
    QVERIFY(journal.CurrentPath() != firstPath);
    QList<TAbandonedTest> found = findAbandoned(folder);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found[0].JournalPath, firstPath);
    QCOMPARE(found[0].RoundCount(), 4);

    // A copy of the program that holds a journal (here: another open file with its lock) keeps it from the list.
    const int holder = ::open(QFile::encodeName(firstPath).constData(), O_RDONLY);
    QVERIFY(holder >= 0 && ::flock(holder, LOCK_EX | LOCK_NB) == 0);
    QVERIFY(findAbandoned(folder).isEmpty());
    QVERIFY_THROWS_EXCEPTION(EInOutError, StoreInItsFolder(found[0]));
    ::close(holder);

    // Saved, but the program stopped before removing the journal: the stored file holds all of it.
    store(folder, u"1001.txt"_s, first.fileAtRound(5));
    QVERIFY(findAbandoned(folder).isEmpty());
    QVERIFY(!QFile::exists(firstPath));
    QCOMPARE(contents(folder + u"1001.txt"_s), first.fileAtRound(5));
}

void TestRoundJournal::writeFailures_testGoesOn_warnedOnce_noRoundMissing()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    SimulatedTest sim(21, folder);
    TRoundJournal journal(localJournals(folder), std::make_unique<FlakyStorage>(10));
    std::atomic<int> warnings = 0;
    QString message;
    QList<int> durable;
    journal.OnWriteFailed = [&](const QString &text) {
        message = text;
        ++warnings;
    };
    journal.OnRoundDurable = [&](int round) { durable << round; };
    sim.bench.admin.Journal = &journal;
    sim.open();
    QVERIFY(journal.WaitUntilIdle(Patience));
    int seen = 0;
    for (bool running = true; running;) {
        running = sim.tick();
        if (sim.journaledRounds() > seen) {
            seen = sim.journaledRounds();
            // One write per round: the subject line was the first, round 9 is the tenth and fails.
            QVERIFY(journal.WaitUntilIdle(Patience));
            if (seen == 9) {
                QCOMPARE(warnings.load(), 1);
                QCOMPARE(durable.size(), 8);
            }
        }
    }
    QVERIFY(journal.WaitUntilIdle(Patience));
    QCOMPARE(seen, 500);
    QCOMPARE(warnings.load(), 1);
    QCOMPARE(message, u"ディスクに空きがありません"_s);
    QCOMPARE(contents(journal.CurrentPath()), TRoundJournal::DataFolderLine(folder) + sim.fileAtRound(500));
    QList<int> expected;
    for (int round = 1; round <= 500; ++round)
        expected << round;
    QCOMPARE(durable, expected);
}

void TestRoundJournal::roundHandedOverAgain_newContentsRecovered_tornReplacementIgnored()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    SimulatedTest sim(31, folder);
    auto journal = std::make_unique<TRoundJournal>(localJournals(folder));
    QList<int> durable;
    journal->OnRoundDurable = [&](int round) { durable << round; };
    sim.bench.admin.Journal = journal.get();
    sim.open();
    while (sim.journaledRounds() < 5)
        sim.tick();
    QVERIFY(journal->WaitUntilIdle(Patience));
    const QString path = journal->CurrentPath();
    const QByteArray fiveRounds = contents(path);
    // Round 3 gains a press after its line was written, and another one after round 6's.
    TRoundInfo &third = sim.bench.testFile.Rounds[3];
    const TRoundInfo asFirstWritten = third;
    const auto addPress = [&third](int rt) {
        for (int slot = 1; slot <= TRoundInfo::Slots; ++slot)
            if (third.Button[slot] == 0) {
                third.RT[slot] = rt;
                third.Button[slot] = 2;
                return;
            }
        QFAIL("no free slot");
    };
    addPress(1234);
    journal->RoundCompleted(3, third);
    while (sim.journaledRounds() < 6)
        sim.tick();
    addPress(1456);
    journal->RoundCompleted(3, third);
    while (sim.journaledRounds() < 7)
        sim.tick();
    QVERIFY(journal->WaitUntilIdle(Patience));
    QCOMPARE(durable, (QList<int>{1, 2, 3, 4, 5, 6, 7}));
    QVERIFY(contents(path).startsWith(fiveRounds)); // only appended to
    // The program dies.
    sim.bench.admin.Journal = nullptr;
    journal.reset();
    const QByteArray expected = sim.fileAtRound(7);
    const QByteArray lastLine = expected.sliced(sim.fileAtRound(6).size());

    // Died while writing a further replacement: the torn line is ignored; so is a replacement of a round that
    // has no line.
    for (const QByteArray &tail : {QByteArray("#round=3,\"T\",\"N\",0,1"), "#round=8," + lastLine, QByteArray()}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append) && file.write(tail) == tail.size());
        file.close();
        const QList<TAbandonedTest> found = findAbandoned(folder);
        QCOMPARE(found.size(), 1);
        QCOMPARE(found[0].RoundCount(), 7);
        QCOMPARE(found[0].Rounds[2], third);
        QVERIFY(found[0].Rounds[2] != asFirstWritten);
        QVERIFY(QFile::resize(path, QFileInfo(path).size() - tail.size()));
    }
    // Stored with both late presses. The same journal left after that save is recognised as stored.
    const QByteArray journalBytes = contents(path);
    QCOMPARE(StoreInItsFolder(findAbandoned(folder).at(0)), u"1001"_s);
    QCOMPARE(contents(folder + u"1001.txt"_s), expected);
    QCOMPARE(journals(folder), QStringList());
    QFile left(path);
    QVERIFY(left.open(QIODevice::WriteOnly) && left.write(journalBytes) == journalBytes.size());
    left.close();
    QVERIFY(findAbandoned(folder).isEmpty());
    QVERIFY(!QFile::exists(path));
}

QTEST_GUILESS_MAIN(TestRoundJournal)
#include "tst_roundjournal.moc"
