// A test section run at high tick rate with a real round journal, to be killed at a random moment.
//
//   journal_child <data folder> <seed> <microseconds per tick> [quit [<round>]]
//
// With "quit" the ticks come from the event loop, the simulated child makes late presses too, and SIGTERM or
// SIGHUP end the section as they end the program: the section closes without its test being stored, the
// program leaves its event loop, and the journal is written up and kept. The file the section held then (its
// completed rounds) is written to "<data folder>expected" for the test to compare. With a round, the child
// raises SIGTERM itself just after that round's last step, before any further tick.
//
// Prints, unbuffered, one line per event, so that whatever was printed before a SIGKILL is there to read:
//   C <round>                       the round is complete and handed to the journal
//   D <round> <write us> <lag us>   its line is on the disk; the write and sync that carried it, and the time
//                                   from its completion to then
//   E                               all 500 rounds are complete; the program waits for Shift+Esc until killed
//   Q <rounds> <late presses>       the quit request was handled: rounds completed, late presses handled
#include "RoundJournal.h"
#include "SimulatedTest.h"
#include "TerminationSignals.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <unistd.h>

using namespace vigix;
using namespace vigix::testing;
using Clock = std::chrono::steady_clock;

namespace {

void say(const char *format, auto... values)
{
    char line[128];
    const int length = std::snprintf(line, sizeof line, format, values...);
    if (::write(STDOUT_FILENO, line, std::size_t(length)) != length)
        std::abort();
}

std::int64_t microsecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
}

// The journal file, timing each write with its sync.
class TimedStorage : public TFileJournalStorage
{
public:
    bool Append(const QByteArray &bytes) override
    {
        m_start = Clock::now();
        return TFileJournalStorage::Append(bytes);
    }
    bool Sync() override
    {
        const bool synced = TFileJournalStorage::Sync();
        LastWriteMicros = microsecondsSince(m_start);
        return synced;
    }
    std::int64_t LastWriteMicros = 0; // the writer thread's own

private:
    Clock::time_point m_start;
};

// Tells each completed round before handing it to the journal.
class AnnouncingJournal : public IRoundJournal
{
public:
    explicit AnnouncingJournal(IRoundJournal &journal) : m_journal(journal) {}
    void Begin(const TTestInfo &info, const QString &dataFolder) override { m_journal.Begin(info, dataFolder); }
    void RoundCompleted(int round, const TRoundInfo &contents) override
    {
        CompletedAt[std::size_t(round)] = Clock::now();
        say("C %d\n", round);
        m_journal.RoundCompleted(round, contents);
    }
    void Finish() override { m_journal.Finish(); }

    // Written before the round is queued, read by the writer thread after it took the round from the queue.
    std::array<Clock::time_point, TTestFile::TestRounds + 1> CompletedAt{};

private:
    IRoundJournal &m_journal;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool quitMode = argc >= 5 && std::strcmp(argv[4], "quit") == 0;
    if (argc < 4 || argc > 6 || (argc >= 5 && !quitMode)) {
        std::fprintf(stderr, "usage: journal_child <data folder> <seed> <microseconds per tick> [quit [<round>]]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const auto seed = std::uint32_t(std::strtoul(argv[2], nullptr, 10));
    const std::chrono::microseconds tick(std::strtol(argv[3], nullptr, 10));
    const int raiseAfterRound = argc == 6 ? std::atoi(argv[5]) : 0;

    SimulatedTest sim(seed, folder, quitMode);
    auto storage = std::make_unique<TimedStorage>();
    TimedStorage &timed = *storage;
    TRoundJournal journal(folder + u"journals/"_s, std::move(storage)); // the local disk's folder stands in
    AnnouncingJournal announcing(journal);
    journal.OnRoundDurable = [&](int round) {
        say("D %d %lld %lld\n", round, static_cast<long long>(timed.LastWriteMicros),
            static_cast<long long>(microsecondsSince(announcing.CompletedAt[std::size_t(round)])));
    };
    sim.bench.admin.Journal = &announcing;

    sim.open();
    if (quitMode) {
        QTimer ticks;
        ticks.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticks, &QTimer::timeout, [&] {
            if (!sim.tick())
                ticks.stop();
            else if (raiseAfterRound > 0 && sim.completedRounds() == raiseAfterRound) {
                ticks.stop();
                ::raise(SIGTERM);
            }
        });
        // What the program does on a quit request during a test, without its windows: the section closes
        // unstored, then every event loop ends.
        TTerminationSignals quit([&] {
            sim.bench.admin.SectionClosed();
            const int rounds = sim.completedRounds();
            QFile expected(folder + u"expected"_s);
            if (!expected.open(QIODevice::WriteOnly) || expected.write(sim.fileAtRound(rounds)) < 0)
                std::abort();
            expected.close();
            say("Q %d %d\n", rounds, sim.latePressesHandled());
            QCoreApplication::exit(0);
        });
        ticks.start(std::chrono::duration_cast<std::chrono::milliseconds>(tick));
        return app.exec(); // the journal is written up and closed as the program's objects go
    }
    // Ticks to absolute deadlines, as the tick engine keeps them; the journal's writing never holds them up.
    auto deadline = Clock::now();
    while (sim.tick()) {
        deadline += tick;
        std::this_thread::sleep_until(deadline);
    }
    say("E\n");
    for (;;)
        ::pause();
}
