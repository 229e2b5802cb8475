#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace vigix {

// What a thread obtained when it asked for the priority of a running section.
struct TPriorityGrant
{
    enum class TKind { Normal, Nice, Realtime };
    TKind Kind = TKind::Normal;
    int Level = 0;  // the real-time priority (Realtime) or the nice value (Nice)
    QString Source; // "direct" or "RealtimeKit"; empty for Normal

    // For the timing record and the card: "realtime 10 (direct)", "nice -11 (RealtimeKit)", "normal".
    QString Text() const;
    bool operator==(const TPriorityGrant &) const = default;
};

// RealtimeKit (org.freedesktop.RealtimeKit1 on the system bus), through which audio servers lift a thread of an
// ordinary user. Thread ids are the kernel's (gettid). Every call answers false or empty when the service is
// missing, refuses, or does not answer in time.
class IRealtimeKit
{
public:
    virtual ~IRealtimeKit() = default;
    virtual std::optional<int> MaxRealtimePriority() = 0;
    virtual std::optional<int> MinNiceLevel() = 0;
    virtual std::optional<std::int64_t> RTTimeUSecMax() = 0;
    virtual bool MakeThreadRealtime(std::uint64_t thread, std::uint32_t priority) = 0;
    virtual bool MakeThreadHighPriority(std::uint64_t thread, std::int32_t nice) = 0;
};

// The operating system's side of a thread's priority; tests replace it.
class IThreadScheduler
{
public:
    virtual ~IThreadScheduler() = default;
    // SCHED_FIFO at priority (not passed on to children); false when this process may not.
    virtual bool SetRealtime(std::uint64_t thread, int priority) = 0;
    // The ordinary policy at the nice value; false when this process may not (a lower nice needs a right).
    virtual bool SetNormal(std::uint64_t thread, int nice) = 0;
    virtual int Nice(std::uint64_t thread) = 0;
    // The lowest nice value this process may set by itself (RLIMIT_NICE).
    virtual int BestNiceAllowed() = 0;
    // Bounds the processor time a real-time thread may take without blocking (RLIMIT_RTTIME): past half of it
    // the thread is sent SIGXCPU and drops to the ordinary policy; the whole of it is never reached.
    virtual bool LimitRealtimeTime(std::int64_t microseconds) = 0;
};

// The scheduler of this system (Linux: sched_setscheduler, setpriority, setrlimit on the thread's id).
class TSystemThreadScheduler : public IThreadScheduler
{
public:
    bool SetRealtime(std::uint64_t thread, int priority) override;
    bool SetNormal(std::uint64_t thread, int nice) override;
    int Nice(std::uint64_t thread) override;
    int BestNiceAllowed() override;
    bool LimitRealtimeTime(std::int64_t microseconds) override;
};

// The kernel's id of the calling thread.
std::uint64_t CurrentThreadId();
// The kernel's ids of this process's threads of the given name (as the kernel keeps it: 15 bytes at most).
std::vector<std::uint64_t> ThreadsNamed(std::string_view name);

// The real-time priority a section's threads ask for.
constexpr int SectionRealtimePriority = 10;
// The budget of a real-time thread when the process sets it itself (RealtimeKit names its own).
constexpr std::int64_t DefaultRealtimeBudgetUs = 200000;

// Lifts a thread for a running section, taking the first way that works: real-time directly, where the process
// may (root, CAP_SYS_NICE, an rtprio limit); real-time through RealtimeKit, with RLIMIT_RTTIME set first as it
// requires; RealtimeKit's best nice value; the best nice value the process may set itself; otherwise the thread
// stays as it is. kit may be null. A thread that overruns its real-time budget drops to the ordinary policy
// (SIGXCPU); the program is never ended for it.
TPriorityGrant RaiseThreadPriority(std::uint64_t thread, IThreadScheduler &scheduler, IRealtimeKit *kit,
                                   int wanted = SectionRealtimePriority);

// Puts a thread back to the ordinary policy at the nice value it had before.
void RestoreThreadPriority(std::uint64_t thread, IThreadScheduler &scheduler, int nice);

} // namespace vigix
