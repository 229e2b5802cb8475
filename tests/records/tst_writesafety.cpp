#include "../WriteFailureSweep.h"
#include "Errors.h"
#include "SafeFile.h"
#include "ScoreCsv.h"
#include "TestFile.h"
#include "TimingSummary.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <optional>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace vigix;
using vigix::testing::SweepWriteFailures;

namespace {

// A test of `rounds` rounds with a hit in every other round and a name that needs two bytes a character.
TTestFile makeTest(const QString &number, int rounds, const QString &name)
{
    TTestFile test;
    test.Info.Kensabangou = number;
    test.Info.Kensanichiji = u"2026/12/09 10:15:00"_s;
    test.Info.Shimei1 = name;
    test.Info.Shimei2 = u"花子"_s;
    test.Info.Seinengappi1 = u"2016"_s;
    test.Info.Seinengappi2 = u"4"_s;
    test.Info.Seinengappi3 = u"1"_s;
    for (int i = 1; i <= rounds; ++i) {
        TRoundInfo &round = test.Rounds[i];
        round.Target = i % 5 == 0 ? u"N"_s : u"T"_s;
        round.Noise = i % 3 == 0 ? u"A"_s : u"N"_s;
        round.NoiseNo = i % 3 == 0 ? 1 + i % 8 : 0;
        round.Ticks = 13 + i % 8;
        if (i % 2 == 0) {
            round.RT[1] = 300 + i;
            round.Button[1] = 1;
        }
    }
    test.RoundCount = rounds;
    return test;
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int modeOf(const QString &path)
{
    struct stat status
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 07777) : -1;
}

} // namespace

class WriteSafetyTest : public QObject
{
    Q_OBJECT

private slots:
    void everyWriter_failingAtEveryOffset_keepsTheOldFileAndTellsWhy_data();
    void everyWriter_failingAtEveryOffset_keepsTheOldFileAndTellsWhy();
    void realFullDisk_keepsTheOldTestAndSaysNoSpace();
    void commonFailures_nameTheirReasonInJapanese();
};

void WriteSafetyTest::everyWriter_failingAtEveryOffset_keepsTheOldFileAndTellsWhy_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("test of 20 rounds") << u"20"_s;
    QTest::newRow("test of 150 rounds") << u"150"_s;
    QTest::newRow("test of 500 rounds") << u"500"_s;
    QTest::newRow("timing summary") << u"timing"_s;
    QTest::newRow("CSV export of three tests") << u"csv"_s;
}

// Each writer replaces an older version of its file while the disk fills at every byte of the new one. Small
// files are the ones at risk: Qt holds up to 16 KiB before writing a byte.
void WriteSafetyTest::everyWriter_failingAtEveryOffset_keepsTheOldFileAndTellsWhy()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.path() + u'/';

    QString path;
    std::function<void()> save;
    if (kind == u"timing") {
        path = TimingFilePath(folder, u"1001"_s);
        TTimingSummary old;
        old.Ticks = 120;
        WriteTimingSummary(path, old);
        TTimingSummary summary;
        summary.Ticks = 9123;
        summary.MedianLateMs = 0.412;
        summary.P99LateMs = 1.75;
        summary.MaxLateMs = 12.5;
        summary.SkippedTicks = 2;
        summary.SlowestTickMs = 3.25;
        summary.Presses = 311;
        summary.SlowestPressMs = 0.875;
        save = [path, summary] { WriteTimingSummary(path, summary); };
    } else if (kind == u"csv") {
        QStringList tests;
        for (int n = 0; n < 3; ++n) {
            const QString number = QString::number(1001 + n);
            makeTest(number, 40 + 20 * n, u"山田"_s).WriteFile(folder, number);
            tests << TTestFile::TestFilePath(folder, number);
        }
        path = dir.filePath(u"scores.csv"_s);
        ExportScoresCsv(path, tests.mid(0, 1));
        save = [path, tests] { ExportScoresCsv(path, tests); };
    } else {
        const int rounds = kind.toInt();
        path = TTestFile::TestFilePath(folder, u"1001"_s);
        makeTest(u"1001"_s, rounds, u"旧姓"_s).WriteFile(folder, u"1001"_s);
        const TTestFile corrected = makeTest(u"1001"_s, rounds, u"新しい名前"_s);
        save = [folder, corrected] { corrected.WriteFile(folder, u"1001"_s); };
    }

    const auto result = SweepWriteFailures(path, save);
    qInfo("%s: %lld offsets tried, %lld damaged", qPrintable(kind), result.Offsets, result.Damaged);
    QVERIFY2(result.Damaged == 0, qPrintable(result.Faults.join(u'\n')));
    QVERIFY(result.Offsets >= result.Written.size() / testing::SweepStride);
    QCOMPARE(readBytes(path), result.Written);
    QCOMPARE(modeOf(path), 0600); // every one of them holds patient data
}

// A small disk of its own, filled to the last byte: the save must fail, say so, and leave the stored test whole.
void WriteSafetyTest::realFullDisk_keepsTheOldTestAndSaysNoSpace()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString disk = dir.filePath(u"disk"_s);
    QVERIFY(QDir().mkpath(disk));
    if (::mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", 0, "size=64k,mode=0700") != 0)
        QSKIP("a tmpfs cannot be mounted here (root is needed): the offset sweep stands in for a real full disk");
    const auto unmount = qScopeGuard([&] { ::umount2(QFile::encodeName(disk).constData(), MNT_DETACH); });

    const QString folder = disk + u'/';
    const QString path = TTestFile::TestFilePath(folder, u"1001"_s);
    makeTest(u"1001"_s, 150, u"旧姓"_s).WriteFile(folder, u"1001"_s);
    const QByteArray stored = readBytes(path);
    QVERIFY(stored.size() > 8000);

    // Everything else the disk holds goes to one file.
    {
        QFile filler(disk + u"/filler"_s);
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(4096, 'x');
        while (filler.write(block) > 0) {
        }
        while (filler.write(block.first(1)) > 0) {
        }
    }

    std::optional<QString> message;
    try {
        makeTest(u"1001"_s, 150, u"新しい名前"_s).WriteFile(folder, u"1001"_s);
    } catch (const EInOutError &error) {
        message = error.message();
    }
    QVERIFY2(message, "the save on a full disk reported success");
    QVERIFY2(message->contains(u"ディスクの空き容量が足りません"_s) && message->contains(u"1001.txt"_s),
             qPrintable(*message));
    QCOMPARE(readBytes(path), stored);
    QCOMPARE(QDir(disk).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             (QStringList{u"1001.txt"_s, u"filler"_s}));

    // With room again the correction is stored.
    QVERIFY(QFile::remove(disk + u"/filler"_s));
    makeTest(u"1001"_s, 150, u"新しい名前"_s).WriteFile(folder, u"1001"_s);
    TTestFile read;
    read.ReadFile(folder, u"1001"_s);
    QCOMPARE(read.Info.Shimei1, u"新しい名前"_s);
    QCOMPARE(read.RoundCount, 150);
}

// What the examiner reads for each common failure: a Japanese reason, then the system's text for the technician.
void WriteSafetyTest::commonFailures_nameTheirReasonInJapanese()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.path() + u'/';
    const auto failure = [](const std::function<void()> &action) -> QString {
        try {
            action();
        } catch (const EVigixError &error) {
            return error.message();
        }
        return u"(succeeded)"_s;
    };
    struct TCase
    {
        QString Situation;
        QString Message;
        QString Reason;
        int Errno;
    };
    QList<TCase> cases;
    cases.append({u"missing folder"_s,
                  failure([&] { makeTest(u"1001"_s, 3, u"太郎"_s).WriteFile(folder + u"gone/"_s, u"1001"_s); }),
                  u"ファイルまたはフォルダがありません"_s, ENOENT});
    cases.append({u"missing file"_s, failure([&] {
                      TTestFile test;
                      test.ReadFile(folder, u"1002"_s);
                  }),
                  u"ファイルまたはフォルダがありません"_s, ENOENT});
    // A device that is always full, written through Qt's device layer as the score export writes.
    cases.append({u"disk full"_s, failure([] {
                      QFile full(u"/dev/full"_s);
                      if (!full.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
                          throw EInOutError(u"/dev/full cannot be opened"_s);
                      WriteScoresCsv(full, {});
                  }),
                  u"ディスクの空き容量が足りません"_s, ENOSPC});
    if (::geteuid() != 0) {
        const QString locked = dir.filePath(u"locked"_s);
        QVERIFY(QDir().mkdir(locked));
        QVERIFY(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        cases.append({u"no permission"_s,
                      failure([&] { makeTest(u"1001"_s, 3, u"太郎"_s).WriteFile(locked + u'/', u"1001"_s); }),
                      u"アクセスする権限がありません"_s, EACCES});
    } else {
        // Root passes every permission check, but can mount: a read-only disk, and a test file held as a mount
        // point (in use: it cannot be replaced).
        const QString readOnly = dir.filePath(u"readonly"_s);
        QVERIFY(QDir().mkdir(readOnly));
        if (::mount("tmpfs", QFile::encodeName(readOnly).constData(), "tmpfs", MS_RDONLY, "size=64k") == 0) {
            cases.append({u"read-only"_s,
                          failure([&] { makeTest(u"1001"_s, 3, u"太郎"_s).WriteFile(readOnly + u'/', u"1001"_s); }),
                          u"読み取り専用の場所です"_s, EROFS});
            ::umount2(QFile::encodeName(readOnly).constData(), MNT_DETACH);
        }
        makeTest(u"1003"_s, 3, u"太郎"_s).WriteFile(folder, u"1003"_s);
        const QByteArray held = QFile::encodeName(TTestFile::TestFilePath(folder, u"1003"_s));
        if (::mount(held.constData(), held.constData(), nullptr, MS_BIND, nullptr) == 0) {
            cases.append({u"in use"_s, failure([&] { makeTest(u"1003"_s, 3, u"次郎"_s).WriteFile(folder, u"1003"_s); }),
                          u"他のプログラムが使用中です"_s, EBUSY});
            ::umount2(held.constData(), MNT_DETACH);
        }
    }
    qInfo("%lld failures checked", static_cast<long long>(cases.size()));
    for (const TCase &test : std::as_const(cases)) {
        const QString expected = u"%1 (%2)"_s.arg(test.Reason, qt_error_string(test.Errno));
        QVERIFY2(test.Message.contains(expected),
                 qPrintable(u"%1: \"%2\" lacks \"%3\""_s.arg(test.Situation, test.Message, expected)));
    }
}

QTEST_GUILESS_MAIN(WriteSafetyTest)
#include "tst_writesafety.moc"
