#include "AdministrationFakes.h"
#include "TimingRecord.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace vigix;
using vigix::testing::Bench;

class TimingRecordTest : public QObject
{
    Q_OBJECT
private slots:
    void summary_medianNearestRankP99MaxAndSlowestHandling()
    {
        TTimingRecorder recorder;
        // 200 ticks: 0.00 .. 1.96 ms late, then three late ones; the 198th by lateness is the p99.
        for (int i = 0; i < 197; ++i)
            recorder.AddTick(i / 100.0, 0.1);
        recorder.AddTick(3.0, 0.4);
        recorder.AddTick(4.0, 0.1);
        recorder.AddTick(9.5, 0.2);
        recorder.AddPress(0.02);
        recorder.AddPress(0.7);
        recorder.SetSkippedTicks(0);
        const TTimingSummary summary = recorder.Summary();
        QCOMPARE(summary.Ticks, 200);
        QCOMPARE(summary.MedianLateMs, (0.99 + 1.00) / 2);
        QCOMPARE(summary.P99LateMs, 3.0); // rank 198 of 200
        QCOMPARE(summary.MaxLateMs, 9.5);
        QCOMPARE(summary.SlowestTickMs, 0.4);
        QCOMPARE(summary.Presses, 2);
        QCOMPARE(summary.SlowestPressMs, 0.7);
        QVERIFY(summary.Disturbed());
        QCOMPARE(summary.CardLine(), u"タイミング: 乱れあり（遅れ p99 3.0 ms・最大 9.5 ms）"_s);

        recorder.Reset();
        QCOMPARE(recorder.Summary(), TTimingSummary());
    }

    void verdict_p99AboveTwoOrAnySkippedTick()
    {
        TTimingSummary summary;
        summary.P99LateMs = 2.0;
        QCOMPARE(summary.CardLine(), u"タイミング: 良好"_s);
        summary.SkippedTicks = 1;
        QCOMPARE(summary.CardLine(), u"タイミング: 乱れあり（遅れ p99 2.0 ms・最大 0.0 ms、欠落 1 ティック）"_s);
        summary.SkippedTicks = 0;
        summary.P99LateMs = 2.01;
        QVERIFY(summary.Disturbed());
    }

    void sideFile_roundTrip_missingOrDamagedReadsAsNone()
    {
        QTemporaryDir folder;
        TTimingSummary summary{
            9012, 0.125, 1.75, 4.5, 2, 0.875, 431, 0.25, u"realtime 10 (RealtimeKit)"_s, u"nice -11 (direct)"_s};
        const QString path = TimingFilePath(folder.path(), u"1001"_s);
        QCOMPARE(QFileInfo(path).fileName(), u"1001.timing"_s);
        QCOMPARE(TimingFilePathBeside(QDir(folder.path()).filePath(u"1001.txt"_s)), path);
        WriteTimingSummary(path, summary);
        QCOMPARE(ReadTimingSummary(path), summary);
        QCOMPARE(QFile::permissions(path) & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
                 QFileDevice::Permissions());

        QVERIFY2(summary.CardLine().endsWith(u"・優先度 RT 10/nice -11"_s), qPrintable(summary.CardLine()));
        summary.TickPriority = summary.UiPriority;
        QVERIFY2(summary.CardLine().endsWith(u"・優先度 RT 10"_s), qPrintable(summary.CardLine()));
        // A summary of an earlier version, without the priorities, still reads.
        QByteArray earlier = summary.Encode();
        earlier.truncate(earlier.indexOf("ui_priority"));
        summary.UiPriority.clear();
        summary.TickPriority.clear();
        QCOMPARE(TTimingSummary::Decode(earlier), summary);
        QVERIFY(!summary.CardLine().contains(u"優先度"_s));

        QVERIFY(!ReadTimingSummary(TimingFilePath(folder.path(), u"1002"_s)));
        QVERIFY(!TTimingSummary::Decode("ticks=12\np99_late_ms=1.0\n"));             // keys missing
        QVERIFY(!TTimingSummary::Decode(summary.Encode().replace("1.750", "fast"))); // not a number
    }

    void save_storesTheSummaryBesideTheTest_onlyWhenTicksWereTimed()
    {
        QTemporaryDir folder;
        Bench bench;
        bench.admin.DataFolder = folder.path() + u'/';
        bench.testFile.Info.Kensabangou = u"1001"_s;
        bench.start(3);
        bench.ticks(3);
        bench.admin.FormKeyDown(TAdministration::EscapeKey, true); // ticks without deadlines: nothing timed
        QVERIFY(QFile::exists(folder.filePath(u"1001.txt"_s)));
        QVERIFY(!QFile::exists(folder.filePath(u"1001.timing"_s)));

        bench.testFile.Info.Kensabangou = u"1002"_s;
        bench.start(3);
        bench.admin.Timing.AddTick(0.5, 0.1);
        bench.admin.Timing.SetSkippedTicks(3);
        bench.admin.FormKeyDown(TAdministration::EscapeKey, true);
        const std::optional<TTimingSummary> stored = ReadTimingSummary(folder.filePath(u"1002.timing"_s));
        QVERIFY(stored);
        QCOMPARE(stored->SkippedTicks, 3);
        QVERIFY(stored->Disturbed());
    }
};

QTEST_GUILESS_MAIN(TimingRecordTest)
#include "tst_timingrecord.moc"
