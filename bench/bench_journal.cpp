// The recovery journal under SIGKILL: journal_child runs a 500-round test at high tick rate with a real
// journal and is killed at a random moment; the journal is then recovered as the main window does it and the
// stored file is compared with the one Shift+Esc would have stored after the same round.
//
//   bench_journal [--runs N] [--tick-us U] [--folder DIR]
//
// The journals are written in a temporary folder under DIR (default: the current folder), so that the syncs
// reach a real disk rather than a memory file system.
#include "JournalKill.h"
#include "Statistics.h"

#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

using namespace vigix;
using namespace vigix::testing;
using namespace Qt::StringLiterals;

namespace {

void printDistribution(const char *title, const std::vector<double> &values)
{
    if (values.empty()) {
        std::printf("  %-44s none\n", title);
        return;
    }
    std::printf("  %-44s median %7.2f   p99 %7.2f   max %7.2f   (%zu)\n", title, bench::Median(values),
                bench::Percentile(values, 99), bench::Percentile(values, 100), values.size());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int runs = 100;
    int tickMicroseconds = 500; // 200 times the real tick rate
    QString base = QDir::currentPath();
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--tick-us") == 0)
            tickMicroseconds = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--folder") == 0)
            base = QString::fromLocal8Bit(argv[i + 1]);
    }
    // About 17.5 ticks a round and 71 before the first: kills fall anywhere from the start to the end.
    const int runMs = (500 * 35 / 2 + 71) * tickMicroseconds / 1000;

    std::printf("Recovery journal: %d runs of a 500-round test at %d us a tick (rounds of %.1f to %.1f ms), each "
                "killed with SIGKILL at a random moment in its first %d ms\n",
                runs, tickMicroseconds, 14 * tickMicroseconds / 1000.0, 21 * tickMicroseconds / 1000.0, runMs);
    std::fflush(stdout);

    std::map<int, int> lost, unreported;
    std::vector<double> recovered, writeMs, lagMs;
    int beforeFirstRound = 0, afterLastRound = 0, failed = 0;
    for (int i = 0; i < runs; ++i) {
        QTemporaryDir dir(QDir(base).filePath(u"journal-kill-XXXXXX"_s));
        const auto seed = std::uint32_t(1000 + i);
        const int killAfterMs = int(QRandomGenerator::global()->bounded(runMs));
        const KillRun run =
            KillAndRecover(QStringLiteral(JOURNAL_CHILD), dir.path() + u'/', seed, tickMicroseconds, killAfterMs);
        if (!run.problems.isEmpty()) {
            ++failed;
            std::printf("  run %d (seed %u, kill after %d ms): %s\n", i + 1, seed, killAfterMs,
                        qPrintable(run.problems.join(u"; "_s)));
        }
        ++lost[std::min(run.lost(), 2)];
        ++unreported[std::min(run.recovered - run.durable, 2)];
        beforeFirstRound += run.completed == 0;
        afterLastRound += run.ended;
        recovered.push_back(run.recovered);
        writeMs.insert(writeMs.end(), run.writeMs.begin(), run.writeMs.end());
        lagMs.insert(lagMs.end(), run.lagMs.begin(), run.lagMs.end());
    }

    std::printf("  runs                                         %d (%d killed before round 1, %d after round 500)\n",
                runs, beforeFirstRound, afterLastRound);
    std::printf("  runs where a check failed                    %d\n", failed);
    std::printf("  rounds lost (completed - recovered)          0: %d   1: %d   more: %d\n", lost[0], lost[1], lost[2]);
    std::printf("  recovered beyond the last reported on disk   0: %d   1: %d   more: %d\n", unreported[0],
                unreported[1], unreported[2]);
    std::printf("  rounds recovered                             min %.0f   median %.0f   max %.0f\n",
                bench::Percentile(recovered, 0.001), bench::Median(recovered), bench::Percentile(recovered, 100));
    printDistribution("write + fdatasync per round (ms)", writeMs);
    printDistribution("round completed to on the disk (ms)", lagMs);
    return 0;
}
