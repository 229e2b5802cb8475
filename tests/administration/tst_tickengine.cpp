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
    // How late the receiver shows the frame of the n-th tick (from 1); others are shown as they are deleted.
    std::map<int, ITickTimeSource::Clock::duration> frameLateness;
    bool event(QEvent *event) override
    {
        if (event->type() != TTickEvent::TickType)
            return QObject::event(event);
        auto *tick = static_cast<TTickEvent *>(event);
        ticks.push_back(tick->tick());
        generations.push_back(tick->generation());
        deadlines.push_back(tick->deadline());
        if (const auto late = frameLateness.find(int(ticks.size())); late != frameLateness.end())
            slips.push_back(tick->FrameShown(tick->deadline() + late->second));
        return true;
    }
    std::vector<ITickTimeSource::Clock::duration> slips;
};

// Runs the engine until the fake source stops it, delivering each tick as it is posted.
void runToEnd(TTickEngine &engine, TickRecorder &recorder, FakeTimeSource &source, int waits)
{
    engine.Start(&recorder);
    while (source.waitsDone.load() < waits) {
        QCoreApplication::sendPostedEvents(&recorder);
        std::this_thread::yield();
    }
    engine.Stop();
    QCoreApplication::sendPostedEvents(&recorder);
}

std::vector<long long> gapsMs(const std::vector<ITickTimeSource::Clock::time_point> &deadlines)
{
    std::vector<long long> gaps;
    for (std::size_t k = 1; k < deadlines.size(); ++k)
        gaps.push_back(std::chrono::duration_cast<std::chrono::microseconds>(deadlines[k] - deadlines[k - 1]).count());
    return gaps;
}

} // namespace

class TickEngineTest : public QObject
{
    Q_OBJECT
private slots:
    void smallLateness_keepsAbsoluteDeadlines()
    {
        FakeTimeSource source(300);
        source.setLateEveryWait(600us); // every frame a little late, within what the next deadline takes back
        TTickEngine engine(&source);
        TickRecorder recorder;
        runToEnd(engine, recorder, source, 300);

        QCOMPARE(source.deadlines.size(), std::size_t(300));
        const auto start = source.deadlines.front() - 100ms;
        for (std::size_t k = 0; k < source.deadlines.size(); ++k)
            QCOMPARE(std::chrono::duration_cast<std::chrono::microseconds>(source.deadlines[k] - start).count(),
                     static_cast<long long>(k + 1) * 100'000);
        QCOMPARE(recorder.ticks.size(), std::size_t(300));
        QCOMPARE(recorder.ticks.back(), std::int64_t(300));
        QCOMPARE(engine.SlippedTime(), ITickTimeSource::Clock::duration::zero());
    }

    // A stalled receiver gets no bunch of ticks: the engine waits for each frame, then schedules the next tick
    // a whole period after a late one, so that no stimulus is cut short.
    void lateFrames_slipTheSchedule_neverBunch()
    {
        FakeTimeSource source(20);
        source.lateness[9] = 3ms; // the engine's own wake-up late: its frame is late with it
        TTickEngine engine(&source);
        TickRecorder recorder;
        recorder.frameLateness[5] = 350ms; // a frame three and a half periods late
        recorder.frameLateness[12] = 1900us;
        runToEnd(engine, recorder, source, 20);

        QCOMPARE(recorder.ticks.size(), std::size_t(20));
        for (std::size_t i = 0; i < recorder.ticks.size(); ++i)
            QCOMPARE(recorder.ticks[i], std::int64_t(i + 1));
        // Each event carries its own deadline, so a receiver can measure how late it came.
        QVERIFY(recorder.deadlines == std::vector(source.deadlines.begin(), source.deadlines.begin() + 20));
        std::vector<long long> expected(19, 100'000);
        expected[4] = 450'000; // tick 6: a period after tick 5's frame
        expected[8] = 103'000; // tick 10: after tick 9's frame, shown 3 ms late
        QCOMPARE(gapsMs(source.deadlines), expected);
        QCOMPARE(recorder.slips.size(), std::size_t(2));
        QCOMPARE(recorder.slips[0], ITickTimeSource::Clock::duration(350ms));
        QCOMPARE(recorder.slips[1], ITickTimeSource::Clock::duration::zero());
        QCOMPARE(engine.SlippedTime(), ITickTimeSource::Clock::duration(353ms));
    }

    void unhandledTick_holdsTheNext()
    {
        FakeTimeSource source(1000);
        TTickEngine engine(&source);
        TickRecorder recorder;
        engine.Start(&recorder);
        while (source.waitsDone.load() < 1)
            std::this_thread::yield();
        // Time passes on the fake clock only through waits: a second wait would come at once if the engine
        // did not hold it for the first tick's frame.
        std::this_thread::sleep_for(50ms);
        QCOMPARE(source.waitsDone.load(), 1);
        QCoreApplication::sendPostedEvents(&recorder);
        QCOMPARE(recorder.ticks, std::vector<std::int64_t>{1});
        QTRY_VERIFY(source.waitsDone.load() >= 2);
        engine.Stop();
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
