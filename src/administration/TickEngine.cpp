#include "TickEngine.h"

#include <QCoreApplication>

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
    m_skipped.store(0);
    m_stopping.store(false);
    m_running.store(true);
    m_thread = std::thread(&TTickEngine::run, this, receiver, generation, period);
    return generation;
}

void TTickEngine::Stop()
{
    m_running.store(false);
    {
        std::lock_guard lock(m_mutex);
        m_stopping.store(true);
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

bool TTickEngine::IsCurrent(const TTickEvent &tick) const
{
    return m_running.load() && tick.generation() == m_generation.load();
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
    const Clock::time_point start = m_timeSource->now();
    std::unique_lock lock(m_mutex);
    for (std::int64_t k = 1;; ++k) {
        const Clock::time_point deadline = start + k * period;
        if (!m_timeSource->waitUntil(deadline, lock, m_wake, m_stopping) || m_stopping.load())
            return;
        const Clock::time_point woke = m_timeSource->now();
        const auto lateness = woke - deadline;
        if (lateness >= period) {
            // A stall: post only the tick that is due now, never the missed ones in a burst.
            const std::int64_t missed = lateness / period;
            m_skipped.fetch_add(missed);
            k += missed;
        }
        QCoreApplication::postEvent(receiver, new TTickEvent(generation, k, start + k * period, woke));
    }
}

} // namespace vigix
