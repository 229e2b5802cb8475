#include "ThreadPriority.h"

#include <QStringList>
#include <QTest>

#include <chrono>
#include <optional>
#include <thread>

#include <sched.h>

using namespace vigix;
using namespace Qt::StringLiterals;

namespace {

// The system as a table of what it allows, logging every change asked of it.
class FakeScheduler : public IThreadScheduler
{
public:
    bool SetRealtime(std::uint64_t thread, int priority) override
    {
        log << u"realtime %1 %2"_s.arg(thread).arg(priority);
        return realtimeAllowed;
    }
    bool SetNormal(std::uint64_t thread, int nice) override
    {
        log << u"normal %1 %2"_s.arg(thread).arg(nice);
        if (nice < bestNice)
            return false;
        currentNice = nice;
        return true;
    }
    int Nice(std::uint64_t) override { return currentNice; }
    int BestNiceAllowed() override { return bestNice; }
    bool LimitRealtimeTime(std::int64_t microseconds) override
    {
        log << u"budget %1"_s.arg(microseconds);
        return true;
    }

    bool realtimeAllowed = false;
    int bestNice = 0;
    int currentNice = 0;
    QStringList log;
};

class FakeKit : public IRealtimeKit
{
public:
    std::optional<int> MaxRealtimePriority() override { return maxRealtime; }
    std::optional<int> MinNiceLevel() override { return minNice; }
    std::optional<std::int64_t> RTTimeUSecMax() override { return budget; }
    bool MakeThreadRealtime(std::uint64_t thread, std::uint32_t priority) override
    {
        log << u"kit realtime %1 %2"_s.arg(thread).arg(priority);
        return grantsRealtime;
    }
    bool MakeThreadHighPriority(std::uint64_t thread, std::int32_t nice) override
    {
        log << u"kit nice %1 %2"_s.arg(thread).arg(nice);
        return grantsNice;
    }

    std::optional<int> maxRealtime = 20;
    std::optional<int> minNice = -11;
    std::optional<std::int64_t> budget = 200000;
    bool grantsRealtime = true;
    bool grantsNice = true;
    QStringList log;
};

} // namespace

class ThreadPriorityTest : public QObject
{
    Q_OBJECT

private slots:
    void raise_takesTheFirstWayThatWorks_data()
    {
        QTest::addColumn<bool>("direct");
        QTest::addColumn<bool>("withKit");
        QTest::addColumn<int>("kitMax");
        QTest::addColumn<bool>("kitRealtime");
        QTest::addColumn<bool>("kitNice");
        QTest::addColumn<int>("bestNice");
        QTest::addColumn<QString>("grant");
        QTest::addColumn<QStringList>("kitCalls");

        QTest::newRow("root") << true << true << 20 << true << true << -20 << u"realtime 10 (direct)"_s
                              << QStringList();
        QTest::newRow("ordinary user, RealtimeKit")
            << false << true << 20 << true << true << 0 << u"realtime 10 (RealtimeKit)"_s
            << QStringList{u"kit realtime 77 10"_s};
        QTest::newRow("RealtimeKit allows less")
            << false << true << 5 << true << true << 0 << u"realtime 5 (RealtimeKit)"_s
            << QStringList{u"kit realtime 77 5"_s};
        QTest::newRow("RealtimeKit gives nice only")
            << false << true << 20 << false << true << 0 << u"nice -11 (RealtimeKit)"_s
            << QStringList{u"kit realtime 77 10"_s, u"kit nice 77 -11"_s};
        QTest::newRow("RealtimeKit refuses, nice limit -5")
            << false << true << 20 << false << false << -5 << u"nice -5 (direct)"_s
            << QStringList{u"kit realtime 77 10"_s, u"kit nice 77 -11"_s};
        QTest::newRow("no RealtimeKit, nice limit -5")
            << false << false << 0 << false << false << -5 << u"nice -5 (direct)"_s << QStringList();
        QTest::newRow("nothing allowed") << false << false << 0 << false << false << 0 << u"normal"_s << QStringList();
    }

    void raise_takesTheFirstWayThatWorks()
    {
        QFETCH(bool, direct);
        QFETCH(bool, withKit);
        QFETCH(int, kitMax);
        QFETCH(bool, kitRealtime);
        QFETCH(bool, kitNice);
        QFETCH(int, bestNice);
        QFETCH(QString, grant);
        QFETCH(QStringList, kitCalls);
        FakeScheduler scheduler;
        scheduler.realtimeAllowed = direct;
        scheduler.bestNice = bestNice;
        FakeKit kit;
        kit.maxRealtime = kitMax;
        kit.grantsRealtime = kitRealtime;
        kit.grantsNice = kitNice;

        const TPriorityGrant granted = RaiseThreadPriority(77, scheduler, withKit ? &kit : nullptr);
        QCOMPARE(granted.Text(), grant);
        QCOMPARE(kit.log, kitCalls);
        // A real-time thread always has its budget first: RealtimeKit's own, within the program's.
        QCOMPARE(scheduler.log.first(), u"budget %1"_s.arg(DefaultRealtimeBudgetUs));
        if (kitCalls.contains(u"kit realtime 77 10"_s) || kitCalls.contains(u"kit realtime 77 5"_s))
            QVERIFY(scheduler.log.contains(u"budget 200000"_s));

        RestoreThreadPriority(77, scheduler, 0);
        QCOMPARE(scheduler.log.last(), u"normal 77 0"_s);
    }

    void raise_rtkitWithoutABudget_neverRealtime()
    {
        FakeScheduler scheduler;
        FakeKit kit;
        kit.budget.reset();
        QCOMPARE(RaiseThreadPriority(77, scheduler, &kit).Text(), u"nice -11 (RealtimeKit)"_s);
        QCOMPARE(kit.log, QStringList{u"kit nice 77 -11"_s});
    }

    // A real-time thread that never blocks is dropped to the ordinary policy at half its budget, and the program
    // lives on. Needs a process that may lift a thread itself.
    void realtimeThread_overrunningItsBudget_dropsToNormal()
    {
        TSystemThreadScheduler system;
        int policyAfter = -1;
        bool lifted = false;
        std::thread spinner([&] {
            lifted = RaiseThreadPriority(CurrentThreadId(), system, nullptr).Kind == TPriorityGrant::TKind::Realtime;
            if (!lifted)
                return;
            // Spins without a blocking call until the budget is spent (half of 200 ms of processor time); the
            // bound only keeps a broken watchdog from spinning for ever.
            const auto policy = [] { return ::sched_getscheduler(0) & ~SCHED_RESET_ON_FORK; };
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (policy() == SCHED_FIFO && std::chrono::steady_clock::now() < giveUp) {
            }
            policyAfter = policy();
        });
        spinner.join();
        if (!lifted)
            QSKIP("this process may not make a thread real-time itself");
        QCOMPARE(policyAfter, int(SCHED_OTHER));
    }
};

QTEST_GUILESS_MAIN(ThreadPriorityTest)
#include "tst_threadpriority.moc"
