#pragma once

#include "Errors.h"
#include "RoundJournal.h"
#include "SimulatedTest.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>

#include <map>
#include <memory>
#include <vector>

namespace vigix::testing {

// One run of journal_child killed with SIGKILL, and what recovery made of it.
struct KillRun
{
    int completed = 0;           // the last round the child had completed and handed to the journal
    int durable = 0;             // the last round the journal had reported on the disk
    bool ended = false;          // all 500 rounds had been completed
    bool journal = false;        // an abandoned journal was found
    int recovered = 0;           // rounds stored from it
    QStringList problems;        // what did not hold; empty when all did
    std::vector<double> writeMs; // write and sync of the write that carried each reported round
    std::vector<double> lagMs;   // completion of each reported round to its line on the disk

    int lost() const { return completed - recovered; }
};

// The file Shift+Esc would store after round n of the simulated test of a seed; the simulation is run once
// per seed.
inline QByteArray ExpectedFile(std::uint32_t seed, int n, const QString &number)
{
    static std::map<std::uint32_t, std::unique_ptr<SimulatedTest>> runs;
    auto &sim = runs[seed];
    if (!sim) {
        sim = std::make_unique<SimulatedTest>(seed);
        sim->open();
        while (sim->tick()) {
        }
    }
    return sim->fileAtRound(n, number);
}

// Starts the child on an empty data folder, kills it after killAfterMs (or, when negative, once the journal
// has reported round 500 on the disk), then recovers the journal as the main window would and checks the stored
// file.
inline KillRun KillAndRecover(const QString &childPath, const QString &dataFolder, std::uint32_t seed,
                              int tickMicroseconds, int killAfterMs)
{
    KillRun run;
    QProcess child;
    child.setProgram(childPath);
    child.setArguments({dataFolder, QString::number(seed), QString::number(tickMicroseconds)});
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start();
    if (!child.waitForStarted()) {
        run.problems << u"the child did not start: "_s + child.errorString();
        return run;
    }
    QByteArray output;
    if (killAfterMs < 0) {
        const QDeadlineTimer deadline(std::chrono::minutes(5));
        while (!output.contains("\nD 500 ") && child.waitForReadyRead(int(deadline.remainingTime())))
            output += child.readAllStandardOutput();
    } else if (child.waitForFinished(killAfterMs)) {
        run.problems << u"the child ended by itself"_s;
    }
    child.kill(); // SIGKILL
    child.waitForFinished();
    output += child.readAllStandardOutput();

    for (const QByteArray &line : output.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields[0] == "C") {
            run.completed = fields.value(1).toInt();
        } else if (fields[0] == "D" && fields.size() == 4) {
            run.durable = fields[1].toInt();
            run.writeMs.push_back(fields[2].toDouble() / 1000.0);
            run.lagMs.push_back(fields[3].toDouble() / 1000.0);
        } else if (fields[0] == "E") {
            run.ended = true;
        }
    }

    try {
        const QList<TAbandonedTest> found = FindAbandonedTests(dataFolder + u"journals/"_s, dataFolder);
        if (found.size() > 1)
            run.problems << u"%1 journals were found"_s.arg(found.size());
        if (!found.isEmpty()) {
            run.journal = true;
            run.recovered = found[0].RoundCount();
            const QString number = StoreInItsFolder(found[0]);
            QFile stored(TTestFile::TestFilePath(dataFolder, number));
            if (!stored.open(QIODevice::ReadOnly) || stored.readAll() != ExpectedFile(seed, run.recovered, number))
                run.problems << u"the stored file differs from the one Shift+Esc would have stored after round %1"_s
                                    .arg(run.recovered);
        }
    } catch (const EVigixError &error) {
        run.problems << u"recovery failed: "_s + error.message();
    }
    if (run.recovered < run.durable)
        run.problems
            << u"round %1 was reported on the disk, but only %2 were recovered"_s.arg(run.durable).arg(run.recovered);
    if (run.recovered > run.completed)
        run.problems << u"%1 rounds recovered, but only %2 were completed"_s.arg(run.recovered).arg(run.completed);
    return run;
}

} // namespace vigix::testing
