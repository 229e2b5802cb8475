#pragma once

#include "ThreadPriority.h"

#include <QEvent>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace vigix {

class TTickPacer;

// One tick of the stimulus window, posted by the tick engine. It carries the generation of the opening that
// started the engine, so that a tick from an earlier opening, or one that arrives after closing, is dropped.
class TTickEvent : public QEvent
{
public:
    static constexpr QEvent::Type TickType = static_cast<QEvent::Type>(1034);

    using Clock = std::chrono::steady_clock;

    TTickEvent(std::uint64_t generation, std::int64_t tick, Clock::time_point deadline = {},
               Clock::time_point posted = {}, std::shared_ptr<TTickPacer> pacer = {});
    // A tick nobody reported shown counts as shown when it is deleted, after its handling.
    ~TTickEvent() override;
    TTickEvent(const TTickEvent &) = delete;
    TTickEvent &operator=(const TTickEvent &) = delete;

    std::uint64_t generation() const { return m_generation; }
    // Number of the tick, from 1.
    std::int64_t tick() const { return m_tick; }
    // The absolute time the tick was due, so a receiver can tell how late it arrived.
    Clock::time_point deadline() const { return m_deadline; }
    // When the engine's thread woke and posted it.
    Clock::time_point posted() const { return m_posted; }

    // The receiver has handed the tick's frame to the window system at `shown`: the engine may schedule the
    // next tick. Returns how far the schedule slipped because this frame came late (zero when on time, and
    // for ticks the engine did not post).
    Clock::duration FrameShown(Clock::time_point shown);

private:
    std::uint64_t m_generation;
    std::int64_t m_tick;
    Clock::time_point m_deadline;
    Clock::time_point m_posted;
    std::shared_ptr<TTickPacer> m_pacer;
    bool m_reported = false;
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
// event to a receiver at each. It posts no tick while the previous one is unhandled, so a stalled receiver never
// gets ticks in a bunch: when a tick's frame is shown more than SlipThreshold after its deadline, the schedule
// slips and the next deadline is a whole period after that frame. Every stimulus thus stays up for its whole
// time, counted from when it was really shown, and the slipped time is counted.
class TTickEngine
{
public:
    using Clock = ITickTimeSource::Clock;
    static constexpr std::chrono::milliseconds DefaultPeriod{100};
    // A frame later than this re-bases the schedule; a smaller lateness is taken back by the next deadline. It
    // is above what drawing a frame usually takes (about 1 to 2 ms), and keeps every exposure within 2 ms.
    static constexpr std::chrono::milliseconds SlipThreshold{2};

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
    // The time the schedule slipped behind late frames since the last Start.
    Clock::duration SlippedTime() const;
    // The engine's clock (the steady clock, or the time source of a test).
    Clock::time_point Now() const { return m_timeSource->now(); }

    // Called on the engine's thread as it starts, with the thread's kernel id, to give it the section's
    // priority. Set before Start; none: the thread keeps the priority it was born with.
    void SetThreadPriorityRequest(std::function<TPriorityGrant(std::uint64_t thread)> request);
    // What the running thread obtained (Normal before it has asked).
    TPriorityGrant ThreadPriority() const;

private:
    void run(QObject *receiver, std::uint64_t generation, std::chrono::nanoseconds period);

    ITickTimeSource *m_timeSource;
    std::thread m_thread;
    // Shared with the ticks in flight, which may outlive a run (one per Start).
    std::shared_ptr<TTickPacer> m_pacer;
    std::atomic<bool> m_running{false};
    std::atomic<std::uint64_t> m_generation{0};
    std::function<TPriorityGrant(std::uint64_t thread)> m_priorityRequest;
    mutable std::mutex m_grantMutex;
    TPriorityGrant m_grant; // guarded by m_grantMutex
};

} // namespace vigix
