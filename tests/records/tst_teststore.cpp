#include "Errors.h"
#include "TestFile.h"
#include "TestStore.h"
#include "TimingSummary.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <atomic>
#include <cstdio>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace vigix;

namespace {

TTestFile childTest(const QString &number, const QString &name, int rounds = 3)
{
    TTestFile test;
    test.Info.Kensabangou = number;
    test.Info.Kensanichiji = u"2026/12/10 10:00:00"_s;
    test.Info.Shimei1 = name;
    test.Info.Shimei2 = u"花子"_s;
    for (int i = 1; i <= rounds; ++i) {
        test.Rounds[i].Target = u"T"_s;
        test.Rounds[i].Noise = u"N"_s;
        test.Rounds[i].Ticks = 15;
        test.Rounds[i].RT[1] = 300 + i;
        test.Rounds[i].Button[1] = 1;
    }
    test.RoundCount = rounds;
    return test;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// The subject names of the tests stored in folder, by number.
QMap<QString, QString> storedNames(const QString &folder)
{
    QMap<QString, QString> names;
    for (const QString &name : QDir(folder).entryList({u"*.txt"_s}, QDir::Files)) {
        TTestFile test;
        test.ReadFileFromPath(folder + u'/' + name);
        names.insert(name.chopped(4), test.Info.Shimei1);
    }
    return names;
}

// Runs body in a child process; its exit status (0 = all went well).
template <typename Body> int inChild(Body body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        int status = 1;
        try {
            status = body();
        } catch (...) {
        }
        ::_exit(status);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

} // namespace

class TestStoreTest : public QObject
{
    Q_OBJECT

private slots:
    void storeListReadDelete_flowOverTheRealFolder();
    void damagedEntries_areRowsAndNeverEndTheList();
    void unreachableFolder_isToldAndNeverReplaced();
    void twoProcessesOneNumber_bothTestsStored();
    void linkSwappedInDuringSaves_nothingOutsideIsWritten();
    void twoUsersOneGroupFolder_everyTestListedByBoth();
};

void TestStoreTest::storeListReadDelete_flowOverTheRealFolder()
{
    QTemporaryDir dir;
    TTestStore store;
    QSignalSpy listChanged(&store, &TTestStore::ListChanged);
    store.Open(dir.path());
    QCOMPARE(store.Folder(), dir.path() + u'/');
    QVERIFY(store.Tests().isEmpty());
    QCOMPARE(store.NextTestNumber(), 1001);

    // Stored under the number offered, read back exactly, listed, and signalled.
    TTestFile first = childTest(u"1001"_s, u"山田"_s);
    QCOMPARE(store.StoreNewTest(first), u"1001"_s);
    TTestFile read;
    store.ReadTest(read, u"1001"_s);
    QCOMPARE(read.Info, first.Info);
    QCOMPARE(read.RoundCount, 3);
    QCOMPARE(read.Rounds[3], first.Rounds[3]);
    QCOMPARE(store.Tests().size(), 1);
    QCOMPARE(store.Tests().first().Info.Shimei1, u"山田"_s);
    QVERIFY(listChanged.count() >= 2);
    // Owner-only outside a group's folder, whatever the session's mask.
    QCOMPARE(QFileInfo(dir.filePath(u"1001.txt"_s)).permissions() & 0x0077, QFileDevice::Permissions());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1); // no temporary file left

    // A number taken meanwhile: the next free one, and the file says so too.
    TTestFile second = childTest(u"1001"_s, u"佐藤"_s);
    QCOMPARE(store.StoreNewTest(second), u"1002"_s);
    QCOMPARE(second.Info.Kensabangou, u"1002"_s);
    QCOMPARE(storedNames(dir.path()), (QMap<QString, QString>{{u"1001"_s, u"山田"_s}, {u"1002"_s, u"佐藤"_s}}));

    // A correction replaces its own file; a delete keeps the number taken and never replaces a ".del".
    second.Info.Memo = u"訂正"_s;
    store.ReplaceTest(second, u"1002"_s);
    store.ReadInfo(read, u"1002"_s);
    QCOMPARE(read.Info.Memo, u"訂正"_s);
    store.DeleteTest(u"1001"_s);
    QVERIFY(QFile::exists(dir.filePath(u"1001.del"_s)));
    QCOMPARE(store.NextTestNumber(), 1003);
    QCOMPARE(store.Tests().size(), 1);
    writeBytes(dir.filePath(u"1002.del"_s), "older");
    QVERIFY_THROWS_EXCEPTION(EInOutError, store.DeleteTest(u"1002"_s));
    QCOMPARE(contents(dir.filePath(u"1002.del"_s)), QByteArray("older"));

    // The timing summary beside a test.
    TTimingSummary summary;
    summary.Ticks = 5000;
    store.StoreTimingSummary(u"1002"_s, summary);
    QCOMPARE(store.TimingSummary(u"1002"_s), std::optional(summary));
    QCOMPARE(store.TimingSummary(u"1003"_s), std::nullopt);

    // A number that would lead out of the folder is refused before anything is touched.
    QVERIFY_THROWS_EXCEPTION(EConvertError, store.ReadTest(read, u"../1002"_s));

    // A folder that cannot take a test is refused, and the store keeps its folder.
    QVERIFY_THROWS_EXCEPTION(EInOutError, store.ChangeFolder(dir.filePath(u"none"_s)));
    QCOMPARE(store.Folder(), dir.path() + u'/');
    QTemporaryDir other;
    QSignalSpy folderChanged(&store, &TTestStore::FolderChanged);
    store.ChangeFolder(other.path());
    QCOMPARE(folderChanged.count(), 1);
    QVERIFY(store.Tests().isEmpty());
}

void TestStoreTest::damagedEntries_areRowsAndNeverEndTheList()
{
    QTemporaryDir dir;
    TTestStore store;
    store.Open(dir.path());
    for (const QString &number : {u"1001"_s, u"1004"_s, u"1007"_s}) {
        TTestFile test = childTest(number, u"児童"_s + number);
        store.StoreNewTest(test);
    }
    QVERIFY(QDir(dir.path()).mkdir(u"1002.txt"_s));                        // a folder named like a test
    writeBytes(dir.filePath(u"1003.txt"_s), QByteArray());                 // empty
    writeBytes(dir.filePath(u"1005.txt"_s), QByteArray(30000, 0));         // NUL bytes
    QVERIFY(QFile::link(u"/etc/hostname"_s, dir.filePath(u"1006.txt"_s))); // never followed
    QVERIFY(::mkfifo(QFile::encodeName(dir.filePath(u"1008.txt"_s)).constData(), 0600) == 0); // never waited on
    store.Refresh();

    QStringList numbers, unreadable;
    for (const TStoredTest &test : store.Tests()) {
        numbers.append(test.Number);
        if (!test.Readable())
            unreadable.append(test.Number);
    }
    QCOMPARE(numbers,
             (QStringList{u"1001"_s, u"1002"_s, u"1003"_s, u"1004"_s, u"1005"_s, u"1006"_s, u"1007"_s, u"1008"_s}));
    QCOMPARE(unreadable, (QStringList{u"1002"_s, u"1003"_s, u"1005"_s, u"1006"_s, u"1008"_s}));
    QCOMPARE(store.Tests().at(6).Info.Shimei1, u"児童1007"_s);
    QVERIFY(store.ListError().isEmpty());
    // What a copy killed while storing left: removed a day after, never while another computer may be writing it.
    writeBytes(dir.filePath(u".1009.txt.4242-0badcafe.tmp"_s), "1009,\"x\"\r\n");
    writeBytes(dir.filePath(u".1010.txt.4243-0badcafe.tmp"_s), "1010,\"x\"\r\n");
    writeBytes(dir.filePath(u".clinic-note"_s), "a note of the clinic's");
    for (const QString &old : {u".1009.txt.4242-0badcafe.tmp"_s, u".clinic-note"_s}) {
        QFile file(dir.filePath(old));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
    }
    store.Refresh();
    QCOMPARE(QDir(dir.path()).entryList({u".*"_s}, QDir::Files | QDir::Hidden),
             (QStringList{u".1010.txt.4243-0badcafe.tmp"_s, u".clinic-note"_s}));
    QCOMPARE(store.Tests().size(), 8);

    // Every entry takes its number, whatever it is.
    QCOMPARE(store.NextTestNumber(), 1009);
    QVERIFY(!store.TestNumberFree(u"1006"_s));
    TTestFile read;
    QVERIFY_THROWS_EXCEPTION(EInOutError, store.ReadTest(read, u"1006"_s));
}

void TestStoreTest::unreachableFolder_isToldAndNeverReplaced()
{
    QTemporaryDir dir;
    const QString share = dir.filePath(u"share"_s);
    TTestStore store;
    QVERIFY_THROWS_EXCEPTION(EInOutError, store.Open(share));
    // The folder stays the store's: nothing is created, no other folder stands in.
    QCOMPARE(store.Folder(), share + u'/');
    QVERIFY(!store.IsReachable());
    QVERIFY(!QFileInfo::exists(share));
    QVERIFY(!store.ListError().isEmpty());
    TTestFile test = childTest(u"1001"_s, u"山田"_s);
    QVERIFY_THROWS_EXCEPTION(EInOutError, store.StoreNewTest(test));
    QCOMPARE(test.Info.Kensabangou, u"1001"_s);

    // Back online: the next operation reaches it.
    QVERIFY(QDir().mkdir(share));
    store.CheckWritable();
    QCOMPARE(store.StoreNewTest(test), u"1001"_s);

    // Removed and made again while the store holds it: the new folder is the one written to.
    QVERIFY(QDir(share).removeRecursively());
    QVERIFY(QDir().mkdir(share));
    TTestFile next = childTest(u"1001"_s, u"佐藤"_s);
    QCOMPARE(store.StoreNewTest(next), u"1001"_s);
    QVERIFY(QFile::exists(share + u"/1001.txt"_s));

    // A folder reached through a link (an older choice, a data folder made a link to a disk) is the folder it leads
    // to, taken once: the tests are there, and a link put in place of the folder later is not followed.
    const QString link = dir.filePath(u"link"_s);
    QVERIFY(QFile::link(share, link));
    store.ChangeFolder(link);
    QCOMPARE(store.Folder(), share + u'/');
    QCOMPARE(store.Tests().size(), 1);
    QVERIFY(QDir(share).rename(share, dir.filePath(u"moved"_s)) && QFile::link(dir.filePath(u"moved"_s), share));
    QVERIFY_THROWS_EXCEPTION(EInOutError, store.NextTestNumber());
}

namespace {

// A copy of the program on another computer: for each folder it is sent, it opens the store and takes the number
// offered for a new test, says it is ready, and stores its test when told to go. Ends at the end of its input.
struct Examiner
{
    pid_t pid = -1;
    int orders = -1;  // folder paths, one a line, then "g" for each
    int answers = -1; // "r" when ready, then "0" stored or "1" failed

    void start(int child)
    {
        int down[2], up[2];
        if (::pipe(down) != 0 || ::pipe(up) != 0)
            ::abort();
        pid = ::fork();
        if (pid == 0) {
            ::close(down[1]);
            ::close(up[0]);
            FILE *in = ::fdopen(down[0], "r");
            char line[4096];
            while (std::fgets(line, sizeof line, in)) {
                const QString folder = QString::fromUtf8(line).trimmed();
                char answer = '1';
                try {
                    TTestStore store;
                    store.Open(folder);
                    TTestFile test = childTest(QString::number(store.NextTestNumber()), u"child%1"_s.arg(child));
                    [[maybe_unused]] ssize_t io = ::write(up[1], "r", 1);
                    if (std::fgetc(in) != 'g')
                        break;
                    store.StoreNewTest(test);
                    answer = '0';
                } catch (...) {
                }
                [[maybe_unused]] ssize_t io = ::write(up[1], &answer, 1);
            }
            ::_exit(0);
        }
        ::close(down[0]);
        ::close(up[1]);
        orders = down[1];
        answers = up[0];
    }
    void send(const QByteArray &bytes) const
    {
        QCOMPARE(::write(orders, bytes.constData(), bytes.size()), ssize_t(bytes.size()));
    }
    char answer() const
    {
        char byte = 0;
        return ::read(answers, &byte, 1) == 1 ? byte : 'x';
    }
    // Every examiner's input is closed before any is waited for: the second copy holds the first one's pipe too.
    static void stopAll(std::array<Examiner, 2> &examiners)
    {
        for (Examiner &examiner : examiners)
            ::close(examiner.orders);
        for (Examiner &examiner : examiners) {
            ::waitpid(examiner.pid, nullptr, 0);
            ::close(examiner.answers);
        }
    }
};

} // namespace

void TestStoreTest::twoProcessesOneNumber_bothTestsStored()
{
    // Two computers offered the same number store at the same moment, a thousand times over: both tests are stored,
    // under two numbers, and neither replaces the other.
    QTemporaryDir dir;
    constexpr int Races = 1000;
    std::array<Examiner, 2> examiners;
    for (int child = 0; child < 2; ++child)
        examiners[child].start(child);
    int lost = 0, failed = 0;
    for (int race = 0; race < Races; ++race) {
        const QString folder = dir.filePath(QString::number(race));
        QVERIFY(QDir().mkdir(folder));
        // Now and then the folder already holds tests, so that the number offered is not always the first.
        for (int i = 0; i < race % 3; ++i)
            writeBytes(folder + u"/%1.txt"_s.arg(1001 + i), "1001,\"x\"\r\n");
        for (const Examiner &examiner : examiners)
            examiner.send(folder.toUtf8() + '\n');
        for (const Examiner &examiner : examiners)
            QCOMPARE(examiner.answer(), 'r'); // both hold the same number now
        for (const Examiner &examiner : examiners)
            examiner.send("g");
        for (const Examiner &examiner : examiners)
            failed += examiner.answer() != '0';
        const QStringList names = storedNames(folder).values();
        if (!names.contains(u"child0"_s) || !names.contains(u"child1"_s))
            ++lost;
    }
    Examiner::stopAll(examiners);
    qInfo("%d races: %d tests lost, %d saves failed", Races, lost, failed);
    QCOMPARE(failed, 0);
    QCOMPARE(lost, 0);
}

void TestStoreTest::linkSwappedInDuringSaves_nothingOutsideIsWritten()
{
    // Another account of a group's folder swaps a link in and out of the names the next tests will take, while
    // tests are stored: no write goes through a link, and every test is in the folder.
    QTemporaryDir dir;
    const QString folder = dir.filePath(u"shared"_s);
    const QString target = dir.filePath(u"outside"_s);
    QVERIFY(QDir().mkdir(folder));
    writeBytes(target, "not a test");
    const QByteArray targetPath = QFile::encodeName(target);

    constexpr int Saves = 300;
    std::atomic<bool> stop = false;
    std::atomic<int> swaps = 0;
    std::thread swapper([&] {
        while (!stop) {
            for (int number = 1001; number <= 1001 + Saves && !stop; ++number) {
                const QByteArray link = QFile::encodeName(folder + u"/%1.txt"_s.arg(number));
                if (::symlink(targetPath.constData(), link.constData()) == 0) {
                    ++swaps;
                    std::this_thread::yield();
                    ::unlink(link.constData()); // only its own link: a test never replaces it
                }
            }
        }
    });
    TTestStore store;
    store.Open(folder);
    int stored = 0;
    for (int i = 0; i < Saves; ++i) {
        TTestFile test = childTest(QString::number(store.NextTestNumber()), u"child%1"_s.arg(i));
        try {
            store.StoreNewTest(test);
            ++stored;
        } catch (const EVigixError &error) {
            qWarning("%s", qPrintable(error.message()));
        }
    }
    stop = true;
    swapper.join();
    qInfo("%d saves among %d link swaps", stored, int(swaps));

    QCOMPARE(contents(target), QByteArray("not a test"));
    QCOMPARE(stored, Saves);
    const QMap<QString, QString> names = storedNames(folder);
    QCOMPARE(names.size(), Saves);
    QCOMPARE(QSet<QString>(names.cbegin(), names.cend()).size(), Saves);
    for (const QFileInfo &entry : QDir(folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
        QVERIFY2(entry.isFile() && !entry.isSymLink(), qPrintable(entry.fileName()));
}

void TestStoreTest::twoUsersOneGroupFolder_everyTestListedByBoth()
{
    if (::geteuid() != 0)
        QSKIP("needs root to act as two users");
    QTemporaryDir dir;
    constexpr gid_t Clinic = 47110;
    constexpr uid_t UserA = 47111, UserB = 47112;
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
    const QString folder = dir.filePath(u"clinic"_s);
    const QByteArray folderPath = QFile::encodeName(folder);
    QVERIFY(QDir().mkdir(folder));
    QVERIFY(::chown(folderPath.constData(), 0, Clinic) == 0);
    QVERIFY(::chmod(folderPath.constData(), 02770) == 0);

    const auto asUser = [&](uid_t user, auto body) {
        return inChild([&] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(Clinic) != 0 || ::setuid(user) != 0)
                return 2;
            ::umask(077); // the strictest mask: a group's folder still gets group-readable tests
            return body();
        });
    };
    // Saved alternately by the two users, each offered the next free number.
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(asUser(i % 2 ? UserB : UserA,
                        [&] {
                            TTestStore store;
                            store.Open(folder);
                            TTestFile test = childTest(QString::number(store.NextTestNumber()), u"child%1"_s.arg(i));
                            store.StoreNewTest(test);
                            return 0;
                        }),
                 0);
    }
    // One test nobody of the group may read, and a folder named like a test.
    writeBytes(folder + u"/1007.txt"_s, "1007,\"x\"\r\n");
    QVERIFY(::chmod(QFile::encodeName(folder + u"/1007.txt"_s).constData(), 0600) == 0);
    QVERIFY(QDir(folder).mkdir(u"1008.txt"_s));

    for (const QString &name : QDir(folder).entryList({u"100[1-6].txt"_s}, QDir::Files)) {
        struct stat status
        {
        };
        QVERIFY(::stat(QFile::encodeName(folder + u'/' + name).constData(), &status) == 0);
        QCOMPARE(status.st_mode & 0777, 0660u);
        QCOMPARE(status.st_gid, Clinic);
    }
    // Each user lists all six tests, and the two that cannot be read as rows of their own.
    for (const uid_t user : {UserA, UserB}) {
        QCOMPARE(
            asUser(user,
                   [&] {
                       TTestStore store;
                       store.Open(folder);
                       QStringList readable, unreadable;
                       for (const TStoredTest &test : store.Tests())
                           (test.Readable() ? readable : unreadable).append(test.Number);
                       if (readable != QStringList{u"1001"_s, u"1002"_s, u"1003"_s, u"1004"_s, u"1005"_s, u"1006"_s})
                           return 3;
                       if (unreadable != QStringList{u"1007"_s, u"1008"_s})
                           return 4;
                       return store.NextTestNumber() == 1009 ? 0 : 5;
                   }),
            0);
    }
    // A folder the user may only read is refused before any test, with its reason.
    QVERIFY(::chmod(folderPath.constData(), 02750) == 0);
    QCOMPARE(asUser(UserA,
                    [&] {
                        TTestStore store;
                        store.Open(folder);
                        try {
                            store.CheckWritable();
                        } catch (const EInOutError &error) {
                            return error.message().contains(u"権限"_s) ? 0 : 6;
                        }
                        return 7;
                    }),
             0);
}

QTEST_GUILESS_MAIN(TestStoreTest)
#include "tst_teststore.moc"
