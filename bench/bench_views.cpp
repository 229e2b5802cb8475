// bench_views: how long the examiner waits for the results of a test.
//
//  - RefreshViews: a click on a 500-round test reads and scores it four times and fills the results table and
//    the three charts (shown, so that the charts also lay out and paint).
//  - The report command: from the command to the print preview on screen, page rendered.
//  - A child's history: the window read, filled, laid out and painted for a child with 10 to 2000 tests.
//
// "bench_views --pdf FILE" writes the report of the benchmark's test to FILE instead, to look at the page.
//
// Figures are printed beside their targets and never judged. Runs on the offscreen platform unless a display is
// set.

#include "Graphs.h"
#include "HistoryWindow.h"
#include "Panel.h"
#include "Print.h"
#include "Random.h"
#include "Statistics.h"
#include "Table.h"
#include "TestFile.h"
#include "TestStore.h"
#include "VigixApplication.h"

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPrintPreviewDialog>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;
using namespace vigix;
using namespace vigix::bench;

namespace {

constexpr int RefreshRuns = 50;
constexpr int ReportRuns = 5;

// A full test with presses: a hit for most circles, so that every chart has something to draw.
void writeTest(const QString &folder)
{
    TRandom random(5);
    TTestFile test;
    test.Info.Kensabangou = u"1001"_s;
    test.Info.Kensanichiji = u"2026/12/01 10:00:00"_s;
    test.Info.Shimei1 = u"見本"_s;
    test.Info.Shimei2 = u"花子"_s;
    test.Info.Seinengappi1 = u"2016"_s;
    test.Info.Seinengappi2 = u"4"_s;
    test.Info.Seinengappi3 = u"1"_s;
    test.Info.Seibetsu = u"女"_s;
    test.Info.Shindanmei = u"ＡＤＨＤ（不注意優勢型）"_s;
    test.Info.Touyaku = u"リタリン"_s;
    test.Info.Ritarin = u"１～２時間"_s;
    test.Info.Kenzya = u"佐藤"_s;
    test.Info.PIQ = u"98"_s;
    test.Info.VIQ = u"104"_s;
    test.Info.FIQ = u"101"_s;
    for (int n = 1; n <= 18; ++n)
        test.Info.ADHD[n] = n % 3 ? u"○"_s : u"×"_s;
    for (int n = 1; n <= 12; ++n)
        test.Info.PDD[n] = n % 2 ? u"○"_s : u"×"_s;
    test.MakeTestRounds(random);
    test.RoundCount = TTestFile::TestRounds;
    for (int i = 1; i <= test.RoundCount; ++i) {
        if (test.Rounds[i].Target == u"T"_s && random.Random(10) > 0) {
            test.Rounds[i].RT[1] = 300 + random.Random(700);
            test.Rounds[i].Button[1] = 1;
        }
    }
    test.WriteFile(folder, u"1001"_s);
}

// Waits for the preview to appear, notes the time, and closes it.
class PreviewWatcher : public QObject
{
public:
    QElapsedTimer timer;
    std::vector<double> shownMs;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<QPrintPreviewDialog *>(watched)) {
            auto *preview = static_cast<QPrintPreviewDialog *>(watched);
            // The page is rendered when the preview first paints: let that happen before the clock stops.
            QTimer::singleShot(0, preview, [this, preview] {
                shownMs.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
                preview->close();
            });
        }
        return false;
    }
};

// The history window of a child whose 500-round test is stored `tests` times, a day apart.
double historyMs(const QString &testFile, TfrmPrint &print, int tests)
{
    QTemporaryDir folder;
    TTestFile test;
    test.ReadFileFromPath(testFile);
    for (int n = 0; n < tests; ++n) {
        test.Info.Kensabangou = QString::number(1001 + n);
        test.Info.Kensanichiji = QDate(2020, 1, 1).addDays(n).toString(u"yyyy/MM/dd"_s) + u" 10:00:00"_s;
        test.WriteFile(folder.path() + u'/', test.Info.Kensabangou);
    }
    QElapsedTimer reading;
    reading.start();
    TTestInfo child = test.Info;
    TTestStore store;
    store.Open(folder.path());
    const qsizetype read = ChildHistory(store, child).size();
    std::printf("  reading and scoring %lld tests alone: %.1f ms\n", static_cast<long long>(read),
                static_cast<double>(reading.nsecsElapsed()) / 1e6);
    QElapsedTimer timer;
    timer.start();
    TfrmHistory window(store, print, nullptr);
    window.ShowHistory(u"1001"_s);
    window.show();
    QCoreApplication::sendPostedEvents();
    window.repaint();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TVigixApplication app(argc, argv);
    QTemporaryDir folder;
    writeTest(folder.path());

    TfrmPanel panel(folder.path() + u'/');
    if (argc == 3 && qstrcmp(argv[1], "--pdf") == 0) {
        panel.Print().PrepareReport(u"1001"_s);
        panel.Print().WritePdf(QString::fromLocal8Bit(argv[2]));
        return 0;
    }
    panel.show();
    panel.mnuShowAllGraphs->trigger();
    panel.Values().CurrentTestNumber = u"1001"_s;
    std::vector<double> runs;
    for (int r = 0; r < RefreshRuns; ++r) {
        QElapsedTimer timer;
        timer.start();
        panel.RefreshViews();
        QCoreApplication::sendPostedEvents(); // layout of the charts
        for (QWidget *view :
             std::initializer_list<QWidget *>{&panel.Table(), &panel.Graph1(), &panel.Graph2(), &panel.Graph3()})
            view->repaint();
        runs.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("%-44s %8.1f ms   target < 50 ms (median of %d, p90 %.1f)\n", "RefreshViews, 500-round test",
                Median(runs), RefreshRuns, Percentile(runs, 90));

    PreviewWatcher watcher;
    app.installEventFilter(&watcher);
    for (int r = 0; r < ReportRuns; ++r) {
        watcher.timer.start();
        panel.ReportCommand(); // returns when the preview is closed
    }
    if (watcher.shownMs.empty())
        qFatal("the preview never showed");
    std::printf("%-44s %8.1f ms   target < 500 ms (median of %d)\n", "Report command to preview shown",
                Median(watcher.shownMs), ReportRuns);
    app.removeEventFilter(&watcher);

    for (int tests : {10, 50, 200, 2000}) {
        const double ms = historyMs(folder.filePath(u"1001.txt"_s), panel.Print(), tests);
        std::printf("%-44s %8.1f ms   target < 1000 ms up to 50 tests\n",
                    qPrintable(u"History window, %1 tests of one child"_s.arg(tests)), ms);
    }
    return 0;
}
