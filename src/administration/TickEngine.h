#pragma once

#include "ThreadPriority.h"

#include <QEvent>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace vigix {

// One tick of the stimulus window, posted by the tick engine. It carries the generation of the opening that
// started the engine, so that a tick from an earlier opening, or one that arrives after closing, is dropped.
class TTickEvent : public QEvent
{
public:
    static constexpr QEvent::Type TickType = static_cast<QEvent::Type>(1034);

    using Clock = std::chrono::steady_clock;

    TTickEvent(std::uint64_t generation, std::int64_t tick, Clock::time_point deadline = {},
               Clock::time_point posted = {})
        : QEvent(TickType), m_generation(generation), m_tick(tick), m_deadline(deadline), m_posted(posted)
    {
    }
    std::uint64_t generation() const { return m_generation; }
    // Number of the tick's deadline, from 1; a gap means ticks were skipped after a stall.
    std::int64_t tick() const { return m_tick; }
    // The absolute time the tick was due, so a receiver can tell how late it arrived.
    Clock::time_point deadline() const { return m_deadline; }
    // When the engine's thread woke and posted it.
    Clock::time_point posted() const { return m_posted; }

private:
    std::uint64_t m_generation;
    std::int64_t m_tick;
    Clock::time_point m_deadline;
    Clock::time_point m_posted;
};

// Where the engine's thread reads the time and waits. Tests replace it so that a whole run takes no real time.
class ITickTimeSource
{
public:
    using Clock = std::chrono::steady_clock;
    virtual ~ITickTimeSource() = default;
    virtual Clock::time_point now() = 0;
    // Waits until the deadline or until woken; returns false when woken to stop.
    virtual bool waitUntil(Clock::time_point deadline, std::unique_lock<std::mutex> &lock,
                           std::condition_variable &wake, const std::atomic<bool> &stopping) = 0;
};

// A thread that sleeps to absolute deadlines (start + k x period, so errors never add up) and posts a tick
// event to a receiver at each. A wake-up more than a whole period late skips the missed ticks instead of
// posting them in a burst, and counts them.
class TTickEngine
{
public:
    using Clock = ITickTimeSource::Clock;
    static constexpr std::chrono::milliseconds DefaultPeriod{100};

    // timeSource null: the real steady clock.
    explicit TTickEngine(ITickTimeSource *timeSource = nullptr);
    ~TTickEngine();
    TTickEngine(const TTickEngine &) = delete;
    TTickEngine &operator=(const TTickEngine &) = delete;

    // Starts ticking to receiver, which must outlive the run (Stop before deleting it); returns the new
    // generation. A running engine is stopped first.
    std::uint64_t Start(QObject *receiver, std::chrono::nanoseconds period = DefaultPeriod);
    // Stops and joins the thread. Ticks already posted may still arrive: IsCurrent refuses them.
    void Stop();

    // Whether a tick belongs to the running generation.
    bool IsCurrent(const TTickEvent &tick) const;
    bool IsRunning() const { return m_running.load(); }
    std::uint64_t Generation() const { return m_generation.load(); }
    // Ticks skipped after stalls since the last Start.
    std::int64_t SkippedTicks() const { return m_skipped.load(); }

    // Called on the engine's thread as it starts, with the thread's kernel id, to give it the section's
    // priority. Set before Start; none: the thread keeps the priority it was born with.
    void SetThreadPriorityRequest(std::function<TPriorityGrant(std::uint64_t thread)> request);
    // What the running thread obtained (Normal before it has asked).
    TPriorityGrant ThreadPriority() const;

private:
    void run(QObject *receiver, std::uint64_t generation, std::chrono::nanoseconds period);

    ITickTimeSource *m_timeSource;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_running{false};
    std::atomic<std::uint64_t> m_generation{0};
    std::atomic<std::int64_t> m_skipped{0};
    std::function<TPriorityGrant(std::uint64_t thread)> m_priorityRequest;
    mutable std::mutex m_grantMutex;
    TPriorityGrant m_grant; // guarded by m_grantMutex
};

} // namespace vigix
