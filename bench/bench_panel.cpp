// bench_panel: how long the examiner waits for the main window.
//
//  - From process start to the main window shown, with 1,000 and with 10,000 stored tests (the program is started
//    as a child process, and the time runs until it reports its window shown).
//  - RefreshTestList alone on the folder of 10,000 tests: the list is rebuilt after every stored or deleted test.
//  - The search box over the 10,000 tests: from a keystroke's new text to the list drawn again, while typing
//    "1234" and "見本", then clearing it.
//
// Figures are printed beside their targets and never judged. Runs on the offscreen platform unless a display is
// set. Each stored test is a full 500-round file, read warm.

#include "Panel.h"
#include "Random.h"
#include "Statistics.h"
#include "TestFile.h"
#include "VigixApplication.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;
using namespace vigix;
using namespace vigix::bench;

namespace {

constexpr int StartRuns = 5;
constexpr int RefreshRuns = 5;

// Fills a folder with `count` copies of one full test under consecutive numbers.
void makeFolder(const QString &folder, int count)
{
    TRandom random(11);
    TTestFile test;
    test.Info.Kensanichiji = u"2026/12/01 10:00:00"_s;
    test.Info.Shimei1 = u"見本"_s;
    test.Info.Shimei2 = u"花子"_s;
    test.Info.Seibetsu = u"女"_s;
    test.MakeTestRounds(random);
    test.RoundCount = TTestFile::TestRounds;
    for (int i = 0; i < count; ++i) {
        const QString number = QString::number(1001 + i);
        test.Info.Kensabangou = number;
        QFile file(TTestFile::TestFilePath(folder, number));
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write the benchmark folder");
        test.WriteTo(file, file.fileName());
    }
}

// The child: start, show the main window, say so once it is on screen, and end.
int runChild(int argc, char *argv[])
{
    TVigixApplication app(argc, argv);
    TfrmPanel panel(QString::fromLocal8Bit(argv[2]));
    panel.show();
    QTimer::singleShot(0, &app, [&app] {
        std::printf("shown\n");
        std::fflush(stdout);
        app.quit();
    });
    return app.exec();
}

double startUpMs(const QString &program, const QString &folder)
{
    std::vector<double> runs;
    for (int r = 0; r < StartRuns; ++r) {
        QProcess child;
        QElapsedTimer timer;
        timer.start();
        child.start(program, {u"--child"_s, folder});
        if (!child.waitForReadyRead(60000))
            qFatal("the main window did not start");
        runs.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        child.waitForFinished();
    }
    return Median(runs);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 3 && qstrcmp(argv[1], "--child") == 0)
        return runChild(argc, argv);

    TVigixApplication app(argc, argv);
    const QString program = QCoreApplication::applicationFilePath();
    QTemporaryDir thousand;
    QTemporaryDir tenThousand;
    makeFolder(thousand.path(), 1000);
    makeFolder(tenThousand.path(), 10000);

    std::printf("%-44s %8.1f ms   target < 500 ms\n", "Start-up to main window, 1,000 tests",
                startUpMs(program, thousand.path()));
    std::printf("%-44s %8.1f ms   no target\n", "Start-up to main window, 10,000 tests",
                startUpMs(program, tenThousand.path()));

    TfrmPanel panel(tenThousand.path());
    std::vector<double> runs;
    for (int r = 0; r < RefreshRuns; ++r) {
        QElapsedTimer timer;
        timer.start();
        panel.RefreshTestList();
        runs.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("%-44s %8.1f ms   target < 500 ms (median of %d)\n", "RefreshTestList, 10,000 tests", Median(runs),
                RefreshRuns);

    panel.show();
    QCoreApplication::processEvents();
    auto *search = panel.findChild<QLineEdit *>(u"edtSearch"_s);
    std::vector<double> keystrokes;
    for (const QString &word : {u"1234"_s, u"見本"_s}) {
        for (qsizetype length = 1; length <= word.size(); ++length) {
            QElapsedTimer timer;
            timer.start();
            search->setText(word.first(length));
            QCoreApplication::processEvents(); // the list drawn again
            keystrokes.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        }
        QElapsedTimer timer;
        timer.start();
        search->clear();
        QCoreApplication::processEvents();
        keystrokes.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("%-44s %8.1f ms   target < 100 ms (median; max %.1f ms, %zu keystrokes)\n",
                "Search box keystroke, 10,000 tests", Median(keystrokes), Percentile(keystrokes, 100),
                keystrokes.size());
    return 0;
}
