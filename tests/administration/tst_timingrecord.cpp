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
        recorder.AddEventTimedPress(3);
        recorder.AddEventTimedPress(0);
        for (int round : {41, 7, 41, 500})
            recorder.AddDisturbedRound(round);
        TTimingSummary summary = recorder.Summary();
        QCOMPARE(summary.DisturbedRounds, (QList<int>{7, 41, 500}));
        QCOMPARE(summary.EventTimedPresses, 2);
        QCOMPARE(summary.MaxEventGapMs, 3);
        // Rounds after the last stored one (the round cut off by Shift+Esc) are not listed.
        summary = recorder.Summary(41);
        QCOMPARE(summary.DisturbedRounds, (QList<int>{7, 41}));
        QCOMPARE(summary.Ticks, 200);
        QCOMPARE(summary.MedianLateMs, (0.99 + 1.00) / 2);
        QCOMPARE(summary.P99LateMs, 3.0); // rank 198 of 200
        QCOMPARE(summary.MaxLateMs, 9.5);
        QCOMPARE(summary.SlowestTickMs, 0.4);
        QCOMPARE(summary.Presses, 2);
        QCOMPARE(summary.SlowestPressMs, 0.7);
        QVERIFY(summary.Disturbed());
        QCOMPARE(summary.CardLine(), u"タイミング: 乱れあり（遅れ p99 3.0 ms・最大 9.5 ms、乱れた試行 2）"_s);

        recorder.Reset();
        QCOMPARE(recorder.Summary(), TTimingSummary());
    }

    void verdict_p99AboveTwo_anyDisturbedRound_orSkippedTickOfAnEarlierVersion()
    {
        TTimingSummary summary;
        summary.P99LateMs = 2.0;
        summary.SlippedMs = 0.9; // the slip alone is no verdict: its rounds are
        QCOMPARE(summary.CardLine(), u"タイミング: 良好"_s);
        summary.SkippedTicks = 1;
        QCOMPARE(summary.CardLine(), u"タイミング: 乱れあり（欠落 1 ティック）"_s);
        summary.SkippedTicks = 0;
        summary.DisturbedRounds = {12};
        QCOMPARE(summary.CardLine(), u"タイミング: 乱れあり（乱れた試行 1）"_s);
        summary.DisturbedRounds = {12, 40};
        QVERIFY(summary.Details().contains(u"乱れた試行: 12, 40"_s));
        summary.DisturbedRounds.clear();
        summary.P99LateMs = 2.01;
        QVERIFY(summary.Disturbed());
    }

    void sideFile_roundTrip_missingOrDamagedReadsAsNone()
    {
        QTemporaryDir folder;
        TTimingSummary summary;
        summary.Ticks = 9012;
        summary.MedianLateMs = 0.125;
        summary.P99LateMs = 1.75;
        summary.MaxLateMs = 4.5;
        summary.SlippedMs = 352.5;
        summary.SlowestTickMs = 0.875;
        summary.Presses = 431;
        summary.SlowestPressMs = 0.25;
        summary.EventTimedPresses = 430;
        summary.MaxEventGapMs = 17;
        summary.DisturbedRounds = {3, 250, 499};
        summary.UiPriority = u"realtime 10 (RealtimeKit)"_s;
        summary.TickPriority = u"nice -11 (direct)"_s;
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

        // One written before rounds were judged, with the skipped ticks of that version's schedule.
        const std::optional<TTimingSummary> older = TTimingSummary::Decode(
            "ticks=314\nmedian_late_ms=0.105\np99_late_ms=11.847\nmax_late_ms=19.823\nskipped_ticks=2\n"
            "slowest_tick_ms=23.818\npresses=18\nslowest_press_ms=0.016\n");
        QVERIFY(older);
        QCOMPARE(older->SkippedTicks, 2);
        QVERIFY(older->DisturbedRounds.isEmpty());
        QCOMPARE(TTimingSummary::Decode(older->Encode()), older);

        QVERIFY(!ReadTimingSummary(TimingFilePath(folder.path(), u"1002"_s)));
        QVERIFY(!TTimingSummary::Decode(summary.Encode().replace("3,250", "3,x")));  // not a round
        QVERIFY(!TTimingSummary::Decode("ticks=12\np99_late_ms=1.0\n"));             // keys missing
        QVERIFY(!TTimingSummary::Decode(summary.Encode().replace("1.750", "fast"))); // not a number
    }

    void save_storesTheSummaryBesideTheTest_onlyWhenTicksWereTimed()
    {
        QTemporaryDir folder;
        Bench bench;
        testing::UseDataFolder(bench.admin, folder.path() + u'/');
        bench.testFile.Info.Kensabangou = u"1001"_s;
        bench.start(3);
        bench.ticks(3);
        bench.admin.FormKeyDown(TAdministration::EscapeKey, true); // ticks without deadlines: nothing timed
        QVERIFY(QFile::exists(folder.filePath(u"1001.txt"_s)));
        QVERIFY(!QFile::exists(folder.filePath(u"1001.timing"_s)));

        bench.testFile.Info.Kensabangou = u"1002"_s;
        bench.start(3);
        bench.admin.Timing.AddTick(0.5, 0.1);
        bench.admin.Timing.SetSlippedMs(350);
        bench.admin.Timing.AddDisturbedRound(1); // the round cut off by the Shift+Esc: not stored
        bench.admin.FormKeyDown(TAdministration::EscapeKey, true);
        const std::optional<TTimingSummary> stored = ReadTimingSummary(folder.filePath(u"1002.timing"_s));
        QVERIFY(stored);
        QCOMPARE(stored->SlippedMs, 350.0);
        QVERIFY(stored->DisturbedRounds.isEmpty());
        QVERIFY(!stored->Disturbed());
    }
};

QTEST_GUILESS_MAIN(TimingRecordTest)
#include "tst_timingrecord.moc"
