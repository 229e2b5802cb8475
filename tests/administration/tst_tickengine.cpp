#include "TickEngine.h"

#include <QCoreApplication>
#include <QTest>

#include <map>
#include <vector>

using namespace vigix;
using namespace std::chrono_literals;

namespace {

// Time that moves only when the engine waits: each wait ends at its deadline plus a scripted lateness, and the
// engine is told to stop after a given number of waits. A whole run takes no real time.
class FakeTimeSource : public ITickTimeSource
{
public:
    explicit FakeTimeSource(int waits) : m_waitsLeft(waits) {}

    Clock::time_point now() override { return m_now; }
    bool waitUntil(Clock::time_point deadline, std::unique_lock<std::mutex> &, std::condition_variable &,
                   const std::atomic<bool> &) override
    {
        if (m_waitsLeft-- <= 0)
            return false;
        deadlines.push_back(deadline);
        const int wait = static_cast<int>(deadlines.size());
        m_now = deadline + (lateness.count(wait) ? lateness.at(wait) : m_everyWait);
        waitsDone.store(wait);
        return true;
    }
    void setLateEveryWait(Clock::duration late) { m_everyWait = late; }

    std::map<int, Clock::duration> lateness;  // by wait number, from 1
    std::vector<Clock::time_point> deadlines; // read only after the engine has stopped
    std::atomic<int> waitsDone{0};

private:
    Clock::time_point m_now = Clock::time_point(1000s);
    Clock::duration m_everyWait{};
    int m_waitsLeft;
};

class TickRecorder : public QObject
{
public:
    std::vector<std::int64_t> ticks;
    std::vector<std::uint64_t> generations;
    std::vector<ITickTimeSource::Clock::time_point> deadlines;
    bool event(QEvent *event) override
    {
        if (event->type() != TTickEvent::TickType)
            return QObject::event(event);
        const auto *tick = static_cast<TTickEvent *>(event);
        ticks.push_back(tick->tick());
        generations.push_back(tick->generation());
        deadlines.push_back(tick->deadline());
        return true;
    }
};

// Runs the engine until the fake source stops it, then delivers what it posted.
void runToEnd(TTickEngine &engine, TickRecorder &recorder, FakeTimeSource &source, int waits)
{
    engine.Start(&recorder);
    while (source.waitsDone.load() < waits)
        std::this_thread::yield();
    engine.Stop();
    QCoreApplication::sendPostedEvents(&recorder);
}

} // namespace

class TickEngineTest : public QObject
{
    Q_OBJECT
private slots:
    void deadlinesAreAbsolute_latenessNeverAddsUp()
    {
        FakeTimeSource source(300);
        source.setLateEveryWait(37ms); // every wake-up late, but by less than a period
        TTickEngine engine(&source);
        TickRecorder recorder;
        runToEnd(engine, recorder, source, 300);

        QCOMPARE(source.deadlines.size(), std::size_t(300));
        const auto start = source.deadlines.front() - 100ms;
        for (std::size_t k = 0; k < source.deadlines.size(); ++k)
            QCOMPARE(std::chrono::duration_cast<std::chrono::milliseconds>(source.deadlines[k] - start).count(),
                     static_cast<long long>(k + 1) * 100);
        QCOMPARE(recorder.ticks.size(), std::size_t(300));
        QCOMPARE(recorder.ticks.back(), std::int64_t(300));
        QCOMPARE(engine.SkippedTicks(), std::int64_t(0));
    }

    void stall_skipsMissedTicksWithoutBurst_andCountsThem()
    {
        FakeTimeSource source(20);
        source.lateness[5] = 350ms; // the 5th wake-up comes three and a half periods late
        TTickEngine engine(&source);
        TickRecorder recorder;
        runToEnd(engine, recorder, source, 20);

        // Ticks 6, 7 and 8 were due during the stall: only tick 8 is posted, and the next deadline is tick 9's.
        const std::vector<std::int64_t> expectedStart{1, 2, 3, 4, 8, 9, 10};
        QVERIFY(std::equal(expectedStart.begin(), expectedStart.end(), recorder.ticks.begin()));
        QCOMPARE(recorder.ticks.size(), std::size_t(20));
        QCOMPARE(engine.SkippedTicks(), std::int64_t(3));
        // Each event carries its own tick's deadline, so a receiver can measure how late it came.
        const auto start = source.deadlines.front() - 100ms;
        for (std::size_t i = 0; i < recorder.ticks.size(); ++i)
            QCOMPARE(recorder.deadlines[i] - start, recorder.ticks[i] * std::chrono::nanoseconds(100ms));
        QCOMPARE(
            std::chrono::duration_cast<std::chrono::milliseconds>(source.deadlines[5] - source.deadlines[4]).count(),
            400LL);
    }

    void lateTickOfEarlierOpening_orAfterClosing_isNotCurrent()
    {
        TTickEngine engine; // real clock: the test only starts and stops it
        TickRecorder window;
        const std::uint64_t first = engine.Start(&window, 1h);
        const TTickEvent fromFirst(first, 1);
        QVERIFY(engine.IsCurrent(fromFirst));

        const std::uint64_t second = engine.Start(&window, 1h);
        QVERIFY(second != first);
        const TTickEvent fromSecond(second, 1);
        QVERIFY(!engine.IsCurrent(fromFirst));
        QVERIFY(engine.IsCurrent(fromSecond));

        engine.Stop(); // returns at once although the next deadline is an hour away
        QVERIFY(!engine.IsRunning());
        QVERIFY(!engine.IsCurrent(fromSecond));
    }
};

QTEST_GUILESS_MAIN(TickEngineTest)
#include "tst_tickengine.moc"
