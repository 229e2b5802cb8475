#include "TickEngine.h"

#include <QCoreApplication>

#include <optional>
#include <utility>

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace vigix {

namespace {

class SteadyTimeSource : public ITickTimeSource
{
public:
    Clock::time_point now() override { return Clock::now(); }
    bool waitUntil(Clock::time_point deadline, std::unique_lock<std::mutex> &lock, std::condition_variable &wake,
                   const std::atomic<bool> &stopping) override
    {
        return !wake.wait_until(lock, deadline, [&stopping] { return stopping.load(); });
    }
};

SteadyTimeSource &steadyTimeSource()
{
    static SteadyTimeSource source;
    return source;
}

// The engine's thread wakes at each deadline as exactly as the system allows: no timer slack.
void sharpenThisThread()
{
#ifdef __linux__
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
}

} // namespace

// What the engine's thread and the ticks in flight share: the wait for the frame of the tick last posted, and
// the schedule that follows from when it was shown.
class TTickPacer
{
public:
    using Clock = TTickEngine::Clock;

    TTickPacer(ITickTimeSource &timeSource, std::chrono::nanoseconds period)
        : m_timeSource(timeSource), m_period(period)
    {
    }

    std::mutex mutex;
    std::condition_variable wake;
    std::atomic<bool> stopping{false};

    // On the engine's thread, with the lock held: the tick is about to be posted.
    void awaitFrameOf(std::int64_t tick, Clock::time_point deadline)
    {
        m_awaited = tick;
        m_awaitedDeadline = deadline;
        m_shown = false;
    }
    // On the engine's thread: waits until the awaited tick's frame was shown (false when stopped), and returns
    // the next deadline.
    bool waitForFrame(std::unique_lock<std::mutex> &lock, Clock::time_point &nextDeadline)
    {
        wake.wait(lock, [this] { return m_shown || stopping.load(); });
        nextDeadline = m_next;
        return !stopping.load();
    }
    // On the receiver's thread. `shown` empty: now.
    Clock::duration frameShown(std::int64_t tick, std::optional<Clock::time_point> shown)
    {
        Clock::duration slip{};
        {
            std::lock_guard lock(mutex);
            if (stopping.load() || tick != m_awaited || m_shown)
                return slip;
            const Clock::time_point at = shown ? *shown : m_timeSource.now();
            const Clock::duration late = at - m_awaitedDeadline;
            if (late > TTickEngine::SlipThreshold) {
                slip = late;
                m_slipped += late;
                m_next = at + m_period;
            } else {
                m_next = m_awaitedDeadline + m_period;
            }
            m_shown = true;
        }
        wake.notify_all();
        return slip;
    }
    Clock::duration slipped()
    {
        std::lock_guard lock(mutex);
        return m_slipped;
    }

private:
    ITickTimeSource &m_timeSource;
    const std::chrono::nanoseconds m_period;
    // Guarded by mutex.
    std::int64_t m_awaited = 0;
    Clock::time_point m_awaitedDeadline;
    bool m_shown = false;
    Clock::time_point m_next;
    Clock::duration m_slipped{};
};

TTickEvent::TTickEvent(std::uint64_t generation, std::int64_t tick, Clock::time_point deadline,
                       Clock::time_point posted, std::shared_ptr<TTickPacer> pacer)
    : QEvent(TickType), m_generation(generation), m_tick(tick), m_deadline(deadline), m_posted(posted),
      m_pacer(std::move(pacer))
{
}

TTickEvent::~TTickEvent()
{
    // Dropped unhandled, or handled by a receiver that does not report frames: the engine goes on from now.
    if (m_pacer && !m_reported)
        m_pacer->frameShown(m_tick, std::nullopt);
}

TTickEvent::Clock::duration TTickEvent::FrameShown(Clock::time_point shown)
{
    if (!m_pacer || std::exchange(m_reported, true))
        return {};
    return m_pacer->frameShown(m_tick, shown);
}

TTickEngine::TTickEngine(ITickTimeSource *timeSource) : m_timeSource(timeSource ? timeSource : &steadyTimeSource()) {}

TTickEngine::~TTickEngine()
{
    Stop();
}

std::uint64_t TTickEngine::Start(QObject *receiver, std::chrono::nanoseconds period)
{
    Stop();
    const std::uint64_t generation = m_generation.load() + 1;
    m_generation.store(generation);
    m_pacer = std::make_shared<TTickPacer>(*m_timeSource, period);
    m_running.store(true);
    m_thread = std::thread(&TTickEngine::run, this, receiver, generation, period);
    return generation;
}

void TTickEngine::Stop()
{
    m_running.store(false);
    if (m_pacer) {
        {
            std::lock_guard lock(m_pacer->mutex);
            m_pacer->stopping.store(true);
        }
        m_pacer->wake.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
}

bool TTickEngine::IsCurrent(const TTickEvent &tick) const
{
    return m_running.load() && tick.generation() == m_generation.load();
}

TTickEngine::Clock::duration TTickEngine::SlippedTime() const
{
    return m_pacer ? m_pacer->slipped() : Clock::duration{};
}

void TTickEngine::SetThreadPriorityRequest(std::function<TPriorityGrant(std::uint64_t thread)> request)
{
    m_priorityRequest = std::move(request);
}

TPriorityGrant TTickEngine::ThreadPriority() const
{
    std::lock_guard lock(m_grantMutex);
    return m_grant;
}

void TTickEngine::run(QObject *receiver, std::uint64_t generation, std::chrono::nanoseconds period)
{
    sharpenThisThread();
    {
        const TPriorityGrant grant = m_priorityRequest ? m_priorityRequest(CurrentThreadId()) : TPriorityGrant{};
        std::lock_guard lock(m_grantMutex);
        m_grant = grant;
    }
    const std::shared_ptr<TTickPacer> pacer = m_pacer;
    std::unique_lock lock(pacer->mutex);
    Clock::time_point deadline = m_timeSource->now() + period;
    for (std::int64_t k = 1;; ++k) {
        if (!m_timeSource->waitUntil(deadline, lock, pacer->wake, pacer->stopping) || pacer->stopping.load())
            return;
        pacer->awaitFrameOf(k, deadline);
        const Clock::time_point posted = m_timeSource->now();
        // Posted without the lock: an event Qt cannot deliver is deleted at once, and reports its frame.
        lock.unlock();
        QCoreApplication::postEvent(receiver, new TTickEvent(generation, k, deadline, posted, pacer));
        lock.lock();
        if (!pacer->waitForFrame(lock, deadline))
            return;
    }
}

} // namespace vigix
