#include "ThreadPriority.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#ifdef __linux__
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

#ifdef __linux__
// A real-time thread that ran past its soft budget without blocking: back to the ordinary policy, so that it can
// neither starve the machine nor reach the hard limit, whose signal would end the program.
void onRealtimeBudgetSpent(int)
{
    const int savedErrno = errno;
    sched_param normal{};
    ::sched_setscheduler(0, SCHED_OTHER, &normal); // the calling thread; async-signal-safe
    errno = savedErrno;
}

void watchRealtimeBudget()
{
    static const bool installed = [] {
        struct sigaction action
        {
        };
        action.sa_handler = onRealtimeBudgetSpent;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        return ::sigaction(SIGXCPU, &action, nullptr) == 0;
    }();
    (void)installed;
}
#endif

} // namespace

QString TPriorityGrant::Text() const
{
    switch (Kind) {
    case TKind::Realtime:
        return u"realtime %1 (%2)"_s.arg(Level).arg(Source);
    case TKind::Nice:
        return u"nice %1 (%2)"_s.arg(Level).arg(Source);
    case TKind::Normal:
        break;
    }
    return u"normal"_s;
}

#ifdef __linux__
bool TSystemThreadScheduler::SetRealtime(std::uint64_t thread, int priority)
{
    sched_param parameter{};
    parameter.sched_priority = priority;
    return ::sched_setscheduler(pid_t(thread), SCHED_FIFO | SCHED_RESET_ON_FORK, &parameter) == 0;
}

bool TSystemThreadScheduler::SetNormal(std::uint64_t thread, int nice)
{
    sched_param parameter{};
    if (::sched_setscheduler(pid_t(thread), SCHED_OTHER, &parameter) != 0)
        return false;
    return ::setpriority(PRIO_PROCESS, id_t(thread), nice) == 0; // on Linux, the thread alone
}

int TSystemThreadScheduler::Nice(std::uint64_t thread)
{
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, id_t(thread));
    return errno == 0 ? nice : 0;
}

int TSystemThreadScheduler::BestNiceAllowed()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NICE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return -20;
    // The limit is given as 20 - nice.
    return std::clamp(20 - int(limit.rlim_cur), -20, 19);
}

bool TSystemThreadScheduler::LimitRealtimeTime(std::int64_t microseconds)
{
    rlimit limit{};
    limit.rlim_max = rlim_t(microseconds);
    limit.rlim_cur = rlim_t(microseconds / 2);
    if (::setrlimit(RLIMIT_RTTIME, &limit) != 0)
        return false;
    watchRealtimeBudget();
    return true;
}

std::uint64_t CurrentThreadId()
{
    return std::uint64_t(::syscall(SYS_gettid));
}

std::vector<std::uint64_t> ThreadsNamed(std::string_view name)
{
    std::vector<std::uint64_t> threads;
    std::error_code error;
    for (const auto &task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        std::ifstream comm(task.path() / "comm");
        std::string threadName;
        if (!std::getline(comm, threadName) || threadName != name)
            continue;
        const std::string id = task.path().filename().string();
        threads.push_back(std::strtoull(id.c_str(), nullptr, 10));
    }
    return threads;
}
#else
bool TSystemThreadScheduler::SetRealtime(std::uint64_t, int)
{
    return false;
}
bool TSystemThreadScheduler::SetNormal(std::uint64_t, int)
{
    return false;
}
int TSystemThreadScheduler::Nice(std::uint64_t)
{
    return 0;
}
int TSystemThreadScheduler::BestNiceAllowed()
{
    return 0;
}
bool TSystemThreadScheduler::LimitRealtimeTime(std::int64_t)
{
    return false;
}
std::uint64_t CurrentThreadId()
{
    return 0;
}
std::vector<std::uint64_t> ThreadsNamed(std::string_view)
{
    return {};
}
#endif

TPriorityGrant RaiseThreadPriority(std::uint64_t thread, IThreadScheduler &scheduler, IRealtimeKit *kit, int wanted)
{
    using TKind = TPriorityGrant::TKind;
    // The budget first: a thread must never run real-time without one.
    if (scheduler.LimitRealtimeTime(DefaultRealtimeBudgetUs) && scheduler.SetRealtime(thread, wanted))
        return {TKind::Realtime, wanted, u"direct"_s};
    if (kit) {
        const std::optional<int> highest = kit->MaxRealtimePriority();
        const std::optional<std::int64_t> budget = kit->RTTimeUSecMax();
        // Within both RealtimeKit's budget and the one set above (a hard limit is never raised again).
        if (highest && *highest > 0 && budget && *budget > 0 &&
            scheduler.LimitRealtimeTime(std::min(*budget, DefaultRealtimeBudgetUs))) {
            const int priority = std::min(wanted, *highest);
            if (kit->MakeThreadRealtime(thread, std::uint32_t(priority)))
                return {TKind::Realtime, priority, u"RealtimeKit"_s};
        }
        const std::optional<int> lowestNice = kit->MinNiceLevel();
        if (lowestNice && *lowestNice < scheduler.Nice(thread) && kit->MakeThreadHighPriority(thread, *lowestNice))
            return {TKind::Nice, *lowestNice, u"RealtimeKit"_s};
    }
    const int best = scheduler.BestNiceAllowed();
    if (best < scheduler.Nice(thread) && scheduler.SetNormal(thread, best))
        return {TKind::Nice, best, u"direct"_s};
    return {};
}

void RestoreThreadPriority(std::uint64_t thread, IThreadScheduler &scheduler, int nice)
{
    scheduler.SetNormal(thread, nice);
}

} // namespace vigix
