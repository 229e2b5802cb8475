#include "../NextFreeNumber.h"
#include "AdministrationFakes.h"
#include "DataFolder.h"
#include "Errors.h"
#include "History.h"
#include "RoundJournal.h"
#include "SafeFile.h"
#include "TimingSummary.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace vigix;
using namespace vigix::testing;
using namespace Qt::StringLiterals;

namespace {

constexpr std::chrono::seconds Patience{60};
// An account that is not the one running the tests ("nobody").
constexpr uid_t OtherUser = 65534;

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void put(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

bool link(const QString &target, const QString &at)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(at).constData()) == 0;
}

bool isLink(const QString &path)
{
    struct stat status
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISLNK(status.st_mode);
}

int modeOf(const QString &path)
{
    struct stat status
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 07777) : -1;
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// A subject line and two rounds, as a journal of a test that was never saved holds them.
QByteArray plantedJournal(const QString &name)
{
    TTestFile planted;
    planted.Info.Kensabangou = u"9999"_s;
    planted.Info.Shimei1 = name;
    planted.Rounds[1].Target = planted.Rounds[2].Target = u"T"_s;
    planted.Rounds[1].Noise = planted.Rounds[2].Noise = u"N"_s;
    planted.RoundCount = 2;
    return planted.Encode(u"journal"_s);
}

} // namespace

// Another user who may write to the data folder (a folder shared too widely) plants links and files there. Nothing
// the program writes may go where they point, and nothing they wrote may become one of this examiner's tests.
class DataFolderLinksTest : public QObject
{
    Q_OBJECT

private slots:
    void testSave_linksUnderItsNames_writesOnlyItsOwnFiles();
    void writersAndReaders_linkAtThePath_refusedAndTargetUntouched_data();
    void writersAndReaders_linkAtThePath_refusedAndTargetUntouched();
    void recoveryFolder_aLink_noJournalWrittenThereNorOffered();
    void journals_ofAnotherUserOrLinked_neverOffered();
    void dataFolder_openToOthers_madeOwnerOnlyOrTold();
    void journal_numberLeadingOutOfTheFolder_storedInsideUnderTheNextNumber();
};

// The test's number is offered at entry; during the test, a link that leads nowhere appears under it, and one
// under the next number's timing file leads to the examiner's own file.
void DataFolderLinksTest::testSave_linksUnderItsNames_writesOnlyItsOwnFiles()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString data = root.filePath(u"data/"_s);
    const QString elsewhere = root.filePath(u"elsewhere/"_s);
    QVERIFY(QDir().mkpath(data) && QDir().mkpath(elsewhere));
    const QString own = root.filePath(u"own.txt"_s);
    put(own, "the examiner's own file");

    Bench b;
    UseDataFolder(b.admin, data);
    QStringList told;
    b.admin.OnNumberTaken = [&](const QString &offered, const QString &stored) { told << offered << stored; };
    b.testFile.Info.Kensabangou = u"1001"_s;
    b.testFile.Info.Shimei1 = u"本人"_s;
    b.start(3);
    b.ticks(51);
    b.press();
    b.ticks(20);
    while (b.admin.Round <= 3)
        b.tick();
    b.admin.Timing.AddTick(0.5, 0.1);

    QVERIFY(link(elsewhere + u"1001.txt"_s, data + u"1001.txt"_s));
    QVERIFY(link(own, data + u"1002.timing"_s));
    QVERIFY(b.admin.FormKeyDown(TAdministration::EscapeKey, true));

    QCOMPARE(told, (QStringList{u"1001"_s, u"1002"_s}));
    QCOMPARE(entries(elsewhere), QStringList());
    QCOMPARE(contents(own), QByteArray("the examiner's own file"));
    QVERIFY(isLink(data + u"1001.txt"_s) && isLink(data + u"1002.timing"_s));
    TTestFile stored;
    stored.ReadFile(data, u"1002"_s);
    QCOMPARE(stored.Info.Shimei1, u"本人"_s);
    QCOMPARE(stored.RoundCount, 3);
    QCOMPARE(testing::NextFreeNumber(data), 1003);
}

void DataFolderLinksTest::writersAndReaders_linkAtThePath_refusedAndTargetUntouched_data()
{
    QTest::addColumn<bool>("dangling");
    QTest::newRow("link to the examiner's file") << false;
    QTest::newRow("link that leads nowhere") << true;
}

void DataFolderLinksTest::writersAndReaders_linkAtThePath_refusedAndTargetUntouched()
{
    QFETCH(bool, dangling);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString data = root.filePath(u"data/"_s);
    QVERIFY(QDir().mkpath(data));
    const QString target = root.filePath(u"target.txt"_s);
    TTestFile child;
    child.Info.Kensabangou = u"1001"_s;
    child.Info.Shimei1 = u"見本"_s;
    if (!dangling)
        child.WriteFile(root.path(), u"target"_s);
    const QByteArray before = contents(target);
    for (const QString &name : {u"1001.txt"_s, u"1001.timing"_s})
        QVERIFY(link(target, data + name));

    const auto refused = [](const std::function<void()> &operation) {
        try {
            operation();
        } catch (const EInOutError &error) {
            return error.message().contains(u"リンク"_s) || error.message().contains(u"ありません"_s);
        }
        return false;
    };
    QVERIFY(refused([&] { child.WriteFile(data, u"1001"_s); }));
    QVERIFY(refused([&] { WriteTimingSummary(TimingFilePath(data, u"1001"_s), TTimingSummary{}); }));
    TTestFile reader;
    QVERIFY(refused([&] { reader.ReadInfo(data, u"1001"_s); }));
    QVERIFY(refused([&] { reader.ReadFile(data, u"1001"_s); }));
    QVERIFY(!ReadTimingSummary(TimingFilePath(data, u"1001"_s)));
    TTestStore store;
    store.Open(data);
    QCOMPARE(ChildHistory(store, child.Info).size(), 0);

    QCOMPARE(contents(target), before);
    QCOMPARE(QFileInfo::exists(target), !dangling);
    QVERIFY(isLink(data + u"1001.txt"_s) && isLink(data + u"1001.timing"_s));
    QVERIFY(EntryExists(data + u"1001.txt"_s));
    QCOMPARE(testing::NextFreeNumber(data), 1002);
}

// The recovery folder replaced by a link to a folder of the other user's: the running test's journal is not
// written there (the examiner is told), and a journal waiting there is not offered.
void DataFolderLinksTest::recoveryFolder_aLink_noJournalWrittenThereNorOffered()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString data = root.filePath(u"data/"_s);
    const QString theirs = root.filePath(u"theirs"_s);
    QVERIFY(QDir().mkpath(data) && QDir().mkpath(theirs));
    put(theirs + u"/9999-1.journal"_s, plantedJournal(u"FAKE CHILD"_s));
    QVERIFY(link(theirs, data + u".recovery"_s));

    QCOMPARE(FindAbandonedTests(root.filePath(u"local/"_s), data).size(), 0);

    // A journal folder that is a link (here the folder of earlier versions, as if it were the program's own).
    QStringList failures;
    {
        TRoundJournal journal(TRoundJournal::RecoveryFolder(data));
        journal.OnWriteFailed = [&](const QString &message) { failures << message; };
        TTestInfo info;
        info.Kensabangou = u"1001"_s;
        journal.Begin(info, data);
        TRoundInfo round;
        round.Target = u"T"_s;
        round.Noise = u"N"_s;
        journal.RoundCompleted(1, round);
        QVERIFY(journal.WaitUntilIdle(Patience));
    }
    QCOMPARE(entries(theirs), QStringList{u"9999-1.journal"_s});
    QCOMPARE(failures.size(), 1);
    QVERIFY2(failures.first().contains(u".recovery"_s), qPrintable(failures.first()));
    QVERIFY(isLink(data + u".recovery"_s));
}

void DataFolderLinksTest::journals_ofAnotherUserOrLinked_neverOffered()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString data = root.filePath(u"data/"_s);
    const QString recovery = TRoundJournal::RecoveryFolder(data);
    QVERIFY(QDir().mkpath(recovery));
    QVERIFY(::chmod(QFile::encodeName(recovery).constData(), 0777) == 0); // opened up by hand
    put(recovery + u"1001-1.journal"_s, plantedJournal(u"本人"_s));
    put(root.filePath(u"elsewhere.journal"_s), plantedJournal(u"LINKED CHILD"_s));
    QVERIFY(link(root.filePath(u"elsewhere.journal"_s), recovery + u"1002-1.journal"_s));

    // This user's own journal is offered, and the folder is made owner-only again; the link is not.
    QList<TAbandonedTest> found = FindAbandonedTests(root.filePath(u"local/"_s), data);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first().Info.Shimei1, u"本人"_s);
    QCOMPARE(modeOf(recovery), 0700);
    QVERIFY_THROWS_EXCEPTION(EInOutError, StoreInItsFolder(TAbandonedTest{recovery + u"1002-1.journal"_s, data,
                                                                          found.first().Info, {}, {}}));

    if (::geteuid() != 0)
        QSKIP("files of another user can only be made by root");
    put(recovery + u"9999-1.journal"_s, plantedJournal(u"FAKE CHILD"_s));
    QVERIFY(::chown(QFile::encodeName(recovery + u"9999-1.journal"_s).constData(), OtherUser, OtherUser) == 0);
    found = FindAbandonedTests(root.filePath(u"local/"_s), data);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first().Info.Shimei1, u"本人"_s);

    // A recovery folder of the other user's is neither read nor written.
    QVERIFY(::chown(QFile::encodeName(recovery).constData(), OtherUser, OtherUser) == 0);
    QCOMPARE(FindAbandonedTests(root.filePath(u"local/"_s), data).size(), 0);
    TFileJournalStorage storage;
    QVERIFY(!storage.Create(recovery + u"1003-1.journal"_s));
    QVERIFY2(storage.ErrorString().contains(u"他のユーザー"_s), qPrintable(storage.ErrorString()));
    QVERIFY(!QFileInfo::exists(recovery + u"1003-1.journal"_s));
}

void DataFolderLinksTest::dataFolder_openToOthers_madeOwnerOnlyOrTold()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString data = root.filePath(u"vigix/"_s);
    QVERIFY(QDir().mkpath(data));
    QVERIFY(::chmod(QFile::encodeName(data).constData(), 0777) == 0);
    QCOMPARE(EnsureDataFolder(data), QString());
    QCOMPARE(modeOf(data), 0700);

    if (::geteuid() != 0)
        QSKIP("a folder of another user can only be made by root");
    // Root may change any folder's mode, so the folder of another user is reached through that user's view:
    // a folder root does not own and may not change stays open, and the examiner is told.
    QVERIFY(::chmod(QFile::encodeName(data).constData(), 0755) == 0);
    QVERIFY(::chown(QFile::encodeName(data).constData(), OtherUser, OtherUser) == 0);
    const QString warning = EnsureDataFolder(data);
    QVERIFY2(warning.contains(u"本人専用に"_s), qPrintable(warning));
    QCOMPARE(modeOf(data), 0755);
}

// A damaged journal whose test number is a path: the test is stored in the data folder all the same.
void DataFolderLinksTest::journal_numberLeadingOutOfTheFolder_storedInsideUnderTheNextNumber()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString data = root.filePath(u"data/"_s);
    QVERIFY(QDir().mkpath(TRoundJournal::RecoveryFolder(data)));
    QByteArray journal = plantedJournal(u"本人"_s);
    journal.replace(0, 4, "../escaped");
    put(TRoundJournal::RecoveryFolder(data) + u"1001-1.journal"_s, journal);
    journal.replace(0, 10, ":2001"); // Qt's own paths begin with ":"; the file must not leave the folder either
    put(TRoundJournal::RecoveryFolder(data) + u"2001-1.journal"_s, journal);
    // Anyone who may write to a shared data folder could name another folder to store in: never followed there.
    const QString elsewhere = root.filePath(u"elsewhere/"_s);
    QVERIFY(QDir().mkpath(elsewhere));
    journal.replace(0, 5, "3001");
    put(TRoundJournal::RecoveryFolder(data) + u"3001-1.journal"_s, TRoundJournal::DataFolderLine(elsewhere) + journal);

    const QList<TAbandonedTest> found = FindAbandonedTests(root.filePath(u"local/"_s), data);
    QCOMPARE(found.size(), 3);
    QCOMPARE(found.last().DataFolder, data);
    QCOMPARE(StoreInItsFolder(found.last()), u"3001"_s);
    QCOMPARE(found.first().Info.Kensabangou, u"../escaped"_s);
    QCOMPARE(StoreInItsFolder(found.first()), u"1001"_s);
    QCOMPARE(found.at(1).Info.Kensabangou, u":2001"_s);
    QCOMPARE(StoreInItsFolder(found.at(1)), u":2001"_s);
    QCOMPARE(entries(root.path()), (QStringList{u"data"_s, u"elsewhere"_s}));
    QCOMPARE(entries(elsewhere), QStringList());
    QCOMPARE(entries(data), (QStringList{u".recovery"_s, u"1001.txt"_s, u"3001.txt"_s, u":2001.txt"_s}));
    TTestFile stored;
    stored.ReadFile(data, u"1001"_s);
    QCOMPARE(stored.Info.Shimei1, u"本人"_s);
    QCOMPARE(stored.RoundCount, 2);
    QVERIFY_THROWS_EXCEPTION(EConvertError, stored.ReadFile(data, u"../escaped"_s));
    QVERIFY_THROWS_EXCEPTION(EConvertError, stored.ReadFile(data, QString(81, u'1')));
}

QTEST_GUILESS_MAIN(DataFolderLinksTest)
#include "tst_datafolderlinks.moc"
