// Tick timing of the real engine while the other cores are kept busy: how late each tick reaches the
// user-interface thread against its absolute deadline, how far the schedule slipped behind late ticks, and whether the ticks
// drift. Usage: bench_tick [ticks] (default 600, one minute).
#include "Statistics.h"
#include "TickEngine.h"

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

using namespace vigix;
using namespace vigix::bench;
using Clock = std::chrono::steady_clock;

namespace {

class TickReceiver : public QObject
{
public:
    explicit TickReceiver(int ticks) : m_ticks(ticks) {}

    std::vector<double> latenessMs;
    std::vector<double> postLatenessMs;
    std::vector<Clock::time_point> arrivals;
    std::vector<std::int64_t> numbers;

    bool event(QEvent *event) override
    {
        if (event->type() != TTickEvent::TickType)
            return QObject::event(event);
        const Clock::time_point now = Clock::now();
        const auto *tick = static_cast<TTickEvent *>(event);
        latenessMs.push_back(std::chrono::duration<double, std::milli>(now - tick->deadline()).count());
        postLatenessMs.push_back(std::chrono::duration<double, std::milli>(tick->posted() - tick->deadline()).count());
        arrivals.push_back(now);
        numbers.push_back(tick->tick());
        if (tick->tick() >= m_ticks)
            QCoreApplication::quit();
        return true;
    }

private:
    int m_ticks;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int ticks = argc > 1 ? std::max(2, std::atoi(argv[1])) : 600;

    // Keep every other core busy, as a "stress" run would.
    std::atomic<bool> stop{false};
    std::vector<std::thread> load;
    const unsigned cores = std::max(2u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i + 1 < cores; ++i)
        load.emplace_back([&stop] {
            volatile double x = 1.0;
            while (!stop.load(std::memory_order_relaxed))
                x = std::sqrt(x + 1.0);
        });

    TickReceiver receiver(ticks);
    TTickEngine engine;
    engine.Start(&receiver);
    app.exec();
    engine.Stop();
    stop = true;
    for (std::thread &t : load)
        t.join();

    const auto &arrivals = receiver.arrivals;
    const double span = std::chrono::duration<double, std::milli>(arrivals.back() - arrivals.front()).count();
    const double expected = double(receiver.numbers.back() - receiver.numbers.front()) * 100.0;
    std::printf("Tick engine, %d ticks of 100 ms, %u busy threads beside it\n", ticks, cores - 1);
    std::printf("  lateness at the receiver: median %.3f ms, p99 %.3f ms, max %.3f ms   (aim: p99 < 0.5, max < 2)\n",
                Percentile(receiver.latenessMs, 50), Percentile(receiver.latenessMs, 99),
                Percentile(receiver.latenessMs, 100));
    std::printf("  lateness of the engine's wake-up: median %.3f ms, p99 %.3f ms, max %.3f ms\n",
                Percentile(receiver.postLatenessMs, 50), Percentile(receiver.postLatenessMs, 99),
                Percentile(receiver.postLatenessMs, 100));
    std::printf("  schedule slipped: %.3f ms   ticks received: %zu\n",
                std::chrono::duration<double, std::milli>(engine.SlippedTime()).count(),
                arrivals.size());
    std::printf("  drift from first to last tick: %.3f ms over %.0f ms   (aim: 0; deadlines are absolute)\n",
                span - expected, expected);
    return 0;
}
