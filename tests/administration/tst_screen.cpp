#include "AdministrationFakes.h"
#include "Errors.h"
#include "Screen.h"
#include "ThreadPriority.h"
#include "TimingRecord.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include <pthread.h>

using namespace vigix;
using namespace vigix::testing;
using namespace Qt::StringLiterals;

namespace {

// The program's application object catches the records' errors at the event loop; this one notes them.
class CatchingApplication : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const EVigixError &error) {
            caught << error.message();
        }
        return false;
    }
    QStringList caught;
};

// An engine that never ticks on its own: the tests send every tick.
class SilentTicks : public ITickTimeSource
{
public:
    Clock::time_point now() override { return Clock::now(); }
    bool waitUntil(Clock::time_point, std::unique_lock<std::mutex> &lock, std::condition_variable &wake,
                   const std::atomic<bool> &stopping) override
    {
        wake.wait(lock, [&stopping] { return stopping.load(); });
        return false;
    }
};

struct Rig
{
    Rig() { clock.now = 5000; }
    void start(int section)
    {
        screen.StartSection(section);
        QVERIFY(QTest::qWaitForWindowExposed(&screen));
    }
    void tick(int count = 1)
    {
        for (int i = 0; i < count; ++i)
            tickOf(screen.Generation());
    }
    void tickOf(std::uint64_t generation)
    {
        TTickEvent event(generation, ++ticks);
        QCoreApplication::sendEvent(&screen, &event);
    }
    void shiftEscape() { QTest::keyClick(screen.windowHandle(), Qt::Key_Escape, Qt::ShiftModifier); }
    TAdministration &admin() { return screen.Administration(); }

    FakeSound sound;
    FakeClock clock;
    TTestFile testFile;
    TTestFile practiceFile;
    TRandom random{7};
    SilentTicks source;
    TfrmScreen screen{testFile, practiceFile, random, sound, clock, nullptr, &source};
    std::int64_t ticks = 0;
};

// A system on which the process may make threads real-time, logging every change asked of it from any thread.
class PermissiveScheduler : public IThreadScheduler
{
public:
    bool SetRealtime(std::uint64_t thread, int priority) override
    {
        std::lock_guard lock(mutex);
        log << u"realtime %1 %2"_s.arg(thread).arg(priority);
        return true;
    }
    bool SetNormal(std::uint64_t thread, int nice) override
    {
        std::lock_guard lock(mutex);
        log << u"normal %1 %2"_s.arg(thread).arg(nice);
        return true;
    }
    int Nice(std::uint64_t) override { return 3; }
    int BestNiceAllowed() override { return 3; }
    bool LimitRealtimeTime(std::int64_t) override { return true; }
    QStringList calls()
    {
        std::lock_guard lock(mutex);
        return log;
    }

private:
    std::mutex mutex;
    QStringList log;
};

// Time that moves only when the test says, for the engine and the window alike. The test waits until the engine
// sleeps towards its next deadline, then sets the time the tick is to come at.
class SteppedTime : public ITickTimeSource
{
public:
    Clock::time_point now() override
    {
        std::lock_guard lock(m_mutex);
        return m_now;
    }
    bool waitUntil(Clock::time_point deadline, std::unique_lock<std::mutex> &lock, std::condition_variable &wake,
                   const std::atomic<bool> &stopping) override
    {
        {
            std::lock_guard own(m_mutex);
            m_awaited = deadline;
        }
        while (!stopping.load()) {
            {
                std::lock_guard own(m_mutex);
                if (m_now >= deadline) {
                    m_awaited.reset();
                    return true;
                }
            }
            wake.wait_for(lock, std::chrono::microseconds(200));
        }
        return false;
    }
    // The deadline the engine sleeps towards, delivering what it posted meanwhile; empty after five seconds.
    std::optional<Clock::time_point> awaited(QObject *receiver)
    {
        QElapsedTimer patience;
        patience.start();
        while (patience.elapsed() < 5000) {
            QCoreApplication::sendPostedEvents(receiver);
            {
                std::lock_guard own(m_mutex);
                if (m_awaited)
                    return m_awaited;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        return std::nullopt;
    }
    void set(Clock::time_point time)
    {
        std::lock_guard lock(m_mutex);
        m_now = time;
    }

private:
    std::mutex m_mutex;
    Clock::time_point m_now = Clock::time_point(std::chrono::hours(1));
    std::optional<Clock::time_point> m_awaited;
};

bool isRed(QRgb pixel)
{
    return qRed(pixel) >= 112 && qGreen(pixel) < 40 && qBlue(pixel) < 60;
}

// Bounding box of the pixels that pass the test; empty when none does.
template <typename Test> QRect inkBox(const QImage &image, Test test)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (test(image.pixel(x, y)))
                box |= QRect(x, y, 1, 1);
    return box;
}

QImage canvas(TfrmScreen &screen)
{
    return screen.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace

class ScreenTest : public QObject
{
    Q_OBJECT
private slots:
    // While a section runs, the user-interface thread and the tick thread are real-time; the test's timing
    // record says so, and closing puts the user-interface thread back as it was.
    void section_liftsBothThreadsWhileOpen_recordsThemAndRestores()
    {
        PermissiveScheduler scheduler;
        QTemporaryDir data;
        Rig rig;
        rig.screen.SetPriorityServices(&scheduler, nullptr);
        rig.testFile.Info.Kensabangou = u"1234"_s;
        UseDataFolder(rig.admin(), data.path() + u'/');
        // A thread named as Qt's X11 event reader is, which frames and presses wait on.
        std::atomic<std::uint64_t> reader = 0;
        std::atomic<bool> done = false;
        std::thread readerThread([&] {
            pthread_setname_np(pthread_self(), "QXcbEventQueue");
            reader = CurrentThreadId();
            while (!done)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        QTRY_VERIFY(reader.load() != 0);
        rig.start(3);
        const QString ui = u"realtime %1 10"_s.arg(CurrentThreadId());
        QCOMPARE(rig.screen.UiPriority().Text(), u"realtime 10 (direct)"_s);
        QTRY_COMPARE(scheduler.calls().size(), 3); // the tick thread asks as it starts
        QVERIFY(scheduler.calls().contains(ui));
        QVERIFY(scheduler.calls().contains(u"realtime %1 10"_s.arg(reader.load())));

        rig.tick(51);
        QTest::mouseClick(&rig.screen, Qt::LeftButton);
        rig.tick(25);
        const TTimingSummary summary = rig.admin().Timing.Summary();
        QCOMPARE(summary.UiPriority, u"realtime 10 (direct)"_s);
        QCOMPARE(summary.TickPriority, u"realtime 10 (direct)"_s);

        rig.shiftEscape();
        QVERIFY(!rig.screen.IsOpen());
        QCOMPARE(scheduler.calls().mid(3),
                 (QStringList{u"normal %1 3"_s.arg(reader.load()), u"normal %1 3"_s.arg(CurrentThreadId())}));
        QCOMPARE(rig.screen.UiPriority().Text(), u"normal"_s);
        done = true;
        readerThread.join();
    }

    void opening_ticksOfItsGenerationOnly_onlyShiftEscapeCloses()
    {
        Rig rig;
        QSignalSpy closed(&rig.screen, &TfrmScreen::Closed);
        rig.start(1);
        QVERIFY(rig.screen.isFullScreen() && rig.screen.IsOpen());
        QCOMPARE(rig.screen.cursor().shape(), Qt::BlankCursor);
        rig.tick();
        QCOMPARE(rig.screen.Guide(2), u"説明セクション"_s);
        QCOMPARE(rig.screen.StatusLine(), u"  Page:0  Step:0"_s);
        rig.tickOf(rig.screen.Generation() - 1);
        QCOMPARE(rig.admin().Step, 1);

        // Esc alone and a close request (window manager, Alt+F4) leave the section running.
        QTest::keyClick(rig.screen.windowHandle(), Qt::Key_Escape);
        QVERIFY(!rig.screen.close());
        QVERIFY(rig.screen.isVisible() && rig.screen.IsOpen());

        const std::uint64_t first = rig.screen.Generation();
        rig.shiftEscape();
        QVERIFY(!rig.screen.isVisible() && !rig.screen.IsOpen());
        QCOMPARE(rig.screen.cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(closed.count(), 1);
        // A late tick of the closed opening is dropped, before and after the next opening.
        rig.tickOf(first);
        QCOMPARE(rig.admin().Step, 1);
        rig.start(2);
        rig.tickOf(first);
        QCOMPARE(rig.admin().Step, 0);
        rig.tick();
        QCOMPARE(rig.admin().Step, 1);
    }

    void everyButtonAndBothPressesOfADoubleClick_arePresses()
    {
        Rig rig;
        rig.start(1);
        rig.tick(); // page 0 accepts presses from its first step
        QWidget *screen = &rig.screen;
        QTest::mouseClick(screen, Qt::LeftButton, {}, QPoint(20, 20));
        QTest::mouseClick(screen, Qt::RightButton, {}, screen->rect().center());
        QTest::mouseClick(screen, Qt::MiddleButton, {}, QPoint(screen->width() - 2, screen->height() - 2));
        QTest::mouseClick(screen, Qt::BackButton);
        QCOMPARE(rig.admin().Page, 3);
        // Through the window system, where the second press arrives as a double click.
        QTest::mouseDClick(rig.screen.windowHandle(), Qt::LeftButton, {}, QPoint(50, 50));
        QCOMPARE(rig.admin().Page, 5);
    }

    void timing_ofTheTestSectionOnly_lateAgainstTheDeadline()
    {
        Rig rig;
        rig.start(2); // the practice is not measured
        TTickEvent practiceTick(rig.screen.Generation(), 1, TTickEvent::Clock::now());
        QCoreApplication::sendEvent(&rig.screen, &practiceTick);
        QCOMPARE(rig.admin().Timing.Ticks(), 0);

        rig.start(3);
        const auto deadline = TTickEvent::Clock::now() - std::chrono::milliseconds(30);
        TTickEvent late(rig.screen.Generation(), 1, deadline, deadline);
        QCoreApplication::sendEvent(&rig.screen, &late);
        rig.tick(); // a tick without a deadline (not from the engine) is not measured
        QTest::mouseClick(&rig.screen, Qt::LeftButton);
        const TTimingSummary summary = rig.admin().Timing.Summary();
        QCOMPARE(summary.Ticks, 1);
        QVERIFY(summary.MaxLateMs >= 30.0);
        QCOMPARE(summary.Presses, 1);
        QVERIFY(summary.Disturbed());
    }

    void testRound_onsetIsPaintedWithinItsTickAndTimedFromThePaint_andPressesStoreButtons()
    {
        Rig rig;
        rig.start(3);
        rig.tick(51);
        QTest::mouseClick(&rig.screen, Qt::LeftButton);
        rig.tick(20);

        // Paints of the centre cell while the onset tick is handled; each takes 7 ms of the clock, as a slow frame
        // would. Reactions are timed from the end of the paint: the child could not see the circle before.
        struct PaintCounter : QObject
        {
            QRect cell;
            FakeClock *clock = nullptr;
            int paints = 0;
            bool eventFilter(QObject *, QEvent *event) override
            {
                if (event->type() == QEvent::Paint && static_cast<QPaintEvent *>(event)->region().intersects(cell)) {
                    ++paints;
                    clock->now += 7;
                }
                return false;
            }
        } counter;
        counter.cell = QRect(rig.screen.CanvasRect().center(), QSize(4, 4));
        counter.clock = &rig.clock;
        rig.screen.installEventFilter(&counter);
        rig.clock.now = 20000;
        rig.tick();
        rig.screen.removeEventFilter(&counter);
        QCOMPARE(counter.paints, 1);
        QCOMPARE(rig.screen.TargetShown(), rig.testFile.Rounds[1].Target);

        const Qt::MouseButton buttons[] = {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton};
        for (int slot = 1; slot <= 3; ++slot) {
            rig.clock.now = 20000 + 100u * slot;
            QTest::mouseClick(&rig.screen, buttons[slot - 1]);
        }
        const TRoundInfo &round = rig.testFile.Rounds[1];
        QCOMPARE((QList<int>{round.RT[1], round.RT[3]}), (QList<int>{93, 293}));
        QCOMPARE((QList<int>{round.Button[1], round.Button[2], round.Button[3]}), (QList<int>{1, 2, 3}));
    }

    void shiftEscapeInTheTest_stores_aFailedStoreKeepsTheWindowOpen()
    {
        QTemporaryDir data;
        Rig rig;
        rig.testFile.Info.Kensabangou = u"1234"_s;
        UseDataFolder(rig.admin(), data.filePath(u"missing/folder/"_s));
        rig.start(3);
        rig.tick(51);
        QTest::mouseClick(&rig.screen, Qt::LeftButton);
        rig.tick(40);

        // Nobody takes the error: it goes on to the application's event loop, and the window stays.
        auto *app = static_cast<CatchingApplication *>(qApp);
        app->caught.clear();
        rig.shiftEscape();
        QCOMPARE(app->caught.size(), 1);
        QVERIFY(rig.screen.IsOpen());
        // With a receiver, the error is handed to it.
        QSignalSpy failed(&rig.screen, &TfrmScreen::SaveFailed);
        rig.shiftEscape();
        QCOMPARE(failed.count(), 1);
        QVERIFY(rig.screen.IsOpen());

        UseDataFolder(rig.admin(), data.path() + u'/');
        rig.shiftEscape();
        QVERIFY(!rig.screen.isVisible());
        QVERIFY(QFile::exists(TTestFile::TestFilePath(rig.admin().Store->Folder(), u"1234"_s)));
        QCOMPARE(app->caught.size(), 1);
    }

    // Frames that come late never cut a stimulus short: the schedule slips behind them, each circle or cross
    // stays up a whole period and each triangle two, and the rounds are listed as disturbed in the stored summary.
    void lateFrames_slipTheSchedule_everyStimulusStaysUpItsTime_roundsListed()
    {
        using namespace std::chrono_literals;
        using Clock = ITickTimeSource::Clock;
        QTemporaryDir data;
        SteppedTime time;
        FakeSound sound;
        FakeClock clock;
        TTestFile testFile;
        TTestFile practiceFile;
        TRandom random{11};
        testFile.Info.Kensabangou = u"1001"_s;
        TfrmScreen screen{testFile, practiceFile, random, sound, clock, nullptr, &time};
        TAdministration &admin = screen.Administration();
        UseDataFolder(admin, data.path() + u'/');
        screen.StartSection(3);
        QVERIFY(QTest::qWaitForWindowExposed(&screen));

        struct Shown
        {
            Clock::time_point on, off;
        };
        std::map<int, Shown> targets, triangles; // by round
        // One tick: the engine wakes `engineLate` after its deadline and the window handles the tick `stalled`
        // later still; meanwhile no other tick may come.
        const auto tick = [&](Clock::duration engineLate = 200us, Clock::duration stalled = {}) {
            const std::optional<Clock::time_point> deadline = time.awaited(&screen);
            QVERIFY(deadline);
            time.set(*deadline + engineLate);
            const int round = admin.Round;
            const bool target = !screen.TargetShown().isEmpty();
            const bool triangle = !screen.VisibleNoiseCells().isEmpty();
            if (stalled > Clock::duration::zero()) {
                std::this_thread::sleep_for(20ms); // the engine has posted the tick and waits for its frame
                time.set(*deadline + engineLate + stalled);
            }
            const int handled = admin.Timing.Ticks();
            QElapsedTimer patience;
            patience.start();
            while (admin.Timing.Ticks() == handled && patience.elapsed() < 5000) {
                QCoreApplication::sendPostedEvents(&screen);
                std::this_thread::sleep_for(100us);
            }
            QCOMPARE(admin.Timing.Ticks(), handled + 1);
            const Clock::time_point at = time.now();
            if (!target && !screen.TargetShown().isEmpty())
                targets[admin.Round].on = at;
            if (target && screen.TargetShown().isEmpty())
                targets[round].off = at;
            if (!triangle && !screen.VisibleNoiseCells().isEmpty())
                triangles[admin.Round].on = at;
            if (triangle && screen.VisibleNoiseCells().isEmpty())
                triangles[round].off = at;
        };
        for (int i = 0; i < 51; ++i)
            tick();
        QTest::mouseClick(&screen, Qt::LeftButton);
        for (int i = 0; i < 20; ++i)
            tick();

        screen.SetEventTimesOnClock(true);
        for (int round = 1; round <= 6; ++round) {
            const int ticks = testFile.Rounds[round].Ticks;
            for (int step = 0; step <= ticks; ++step) {
                if (round == 2 && step == 0)
                    tick(200us, 350ms); // the onset handled 350 ms late
                else if (round == 3 && step == 1)
                    tick(200us, 250ms); // the circle or cross taken off 250 ms late
                else if (round == 4 && step == 5)
                    tick(40ms); // the engine's own wake-up late
                else
                    tick();
                if (round == 5 && step == 0) {
                    // A press with the window system's stamp, handled 60 ms after it was made.
                    clock.now = admin.OnsetTime + 310;
                    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                                      Qt::LeftButton, {});
                    press.setTimestamp(admin.OnsetTime + 250);
                    QCoreApplication::sendEvent(&screen, &press);
                }
            }
        }
        QCOMPARE(admin.Round, 7);
        QCOMPARE(testFile.Rounds[5].RT[1], 250);
        QTest::keyClick(screen.windowHandle(), Qt::Key_Escape, Qt::ShiftModifier);
        QVERIFY(!screen.IsOpen());

        for (int round = 1; round <= 6; ++round) {
            const auto exposure = targets.at(round).off - targets.at(round).on;
            // Lengthened by the stall of round 3 only: the circle could not be taken off meanwhile.
            const auto expected = round == 3 ? 350ms : 100ms;
            QVERIFY2(exposure >= expected && exposure <= expected + 1ms,
                     qPrintable(u"round %1: %2 us"_s.arg(round).arg(
                         std::chrono::duration_cast<std::chrono::microseconds>(exposure).count())));
        }
        for (const auto &[round, shown] : triangles) {
            const auto exposure = shown.off - shown.on;
            QVERIFY2((exposure >= 200ms && exposure <= 201ms) || round == 3,
                     qPrintable(u"triangle of round %1"_s.arg(round)));
        }
        const std::optional<TTimingSummary> summary = ReadTimingSummary(TimingFilePath(admin.Store->Folder(), u"1001"_s));
        QVERIFY(summary);
        QCOMPARE(summary->DisturbedRounds, (QList<int>{2, 3, 4}));
        QVERIFY2(summary->SlippedMs >= 640 && summary->SlippedMs < 642,
                 qPrintable(QString::number(summary->SlippedMs)));
        QCOMPARE(summary->EventTimedPresses, 1);
        QCOMPARE(summary->MaxEventGapMs, 60);
    }

    void canvas_elementsInTheirPlaces()
    {
        Rig rig;
        rig.screen.resize(640, 480);
        rig.screen.ResetScreen();
        QImage image = canvas(rig.screen);
        QCOMPARE(inkBox(image, isRed), QRect());
        // The frame's four sides and nothing just inside; the centre cell's lowered frame.
        for (const QPoint &p : {QPoint(4, 240), QPoint(632, 240), QPoint(320, 4), QPoint(320, 472)})
            QCOMPARE(image.pixel(p), qRgb(255, 255, 255));
        QCOMPARE(image.pixel(5, 240), qRgb(0, 0, 0));
        QCOMPARE(image.pixel(260, 240), qRgb(128, 128, 128));
        QCOMPARE(image.pixel(300, 188), qRgb(128, 128, 128));
        QCOMPARE(image.pixel(360, 240), qRgb(255, 255, 255));
        QCOMPARE(image.pixel(300, 288), qRgb(255, 255, 255));

        // The circle fills the centre cell (264, 192, 93 x 93) with a small margin; the cross stays in its box.
        rig.screen.ShowTarget(u"T"_s);
        const QRect circle = inkBox(canvas(rig.screen), isRed);
        QVERIFY(QRect(264, 192, 93, 93).contains(circle) && circle.width() >= 84 && circle.height() >= 84);
        QVERIFY((circle.center() - QPoint(310, 238)).manhattanLength() <= 3);
        rig.screen.ShowTarget(u"N"_s);
        const QRect cross = inkBox(canvas(rig.screen), isRed);
        QVERIFY(QRect(270, 192, 85, 89).contains(cross) && cross.width() >= 75 && cross.height() >= 75);
        rig.screen.ShowTarget(u"X"_s);
        QCOMPARE(rig.screen.TargetShown(), u"N"_s);
        rig.screen.HideTarget();

        rig.screen.ShowVisualNoise(3);
        rig.screen.ShowVisualNoise(9);
        QCOMPARE(rig.screen.VisibleNoiseCells(), QList<int>{3});
        const QRect triangle = inkBox(canvas(rig.screen), isRed);
        QVERIFY(QRect(364, 92, 97, 97).contains(triangle) && triangle.width() >= 85 && triangle.height() >= 70);
        rig.screen.HideVisualNoise();
        QCOMPARE(inkBox(canvas(rig.screen), isRed), QRect());

        // Guide 3 in yellow inside its line; a line longer than its box is narrowed into it.
        rig.screen.SetGuides(u"ちゅうおうにあかい○があらわれたら"_s,
                             u"ひだりのボタンをできるだけはやく１回おしてください"_s, u"[Shift] + [Esc]"_s);
        image = canvas(rig.screen);
        const QRect yellow = inkBox(image, [](QRgb p) { return qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) < 80; });
        QVERIFY(!yellow.isEmpty() && QRect(13, 416, 614, 34).contains(yellow));
        const auto white = [](QRgb p) { return qRed(p) > 160 && qGreen(p) > 160 && qBlue(p) > 160; };
        const QRect guide2 = inkBox(image.copy(5, 54, 627, 34), white).translated(5, 0); // between the frame's sides
        QVERIFY(guide2.left() >= 13 && guide2.right() <= 626 && guide2.width() > 560);
        QVERIFY(!inkBox(image.copy(13, 17, 614, 34), white).isEmpty());
    }

    void canvas_scaledUniformlyAndCentred()
    {
        Rig rig;
        rig.screen.resize(1280, 1024);
        QCOMPARE(rig.screen.CanvasRect(), QRect(0, 32, 1280, 960));
        rig.screen.ShowTarget(u"T"_s);
        const QImage image = canvas(rig.screen);
        QCOMPARE(image.pixel(8, 32 + 480), qRgb(255, 255, 255)); // frame, twice the size
        QCOMPARE(image.pixel(640, 20), qRgb(0, 0, 0));           // bar above the canvas
        const QRect circle = inkBox(image, isRed);
        QVERIFY(QRect(528, 32 + 384, 186, 186).contains(circle) && circle.width() >= 168);
    }
};

int main(int argc, char *argv[])
{
    CatchingApplication app(argc, argv);
    ScreenTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_screen.moc"
