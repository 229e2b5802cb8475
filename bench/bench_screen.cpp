// bench_screen: how quickly the child's screen shows a stimulus and takes a press.
//
// A test section runs in the real stimulus window, ticked by the real tick engine, with the onset of every round
// measured on the user-interface thread:
//  - onset: from the tick event's arrival in the window's event() to the end of the paint that shows the circle
//    or cross (paintEvent returned), and to the end of the tick's handling, which includes the backing store's
//    flush to the window system. Under X11 a third figure adds a round trip to the X server after the flush, so
//    the server has taken the new pixels (what the display then does with them is not measured).
//  - press: a mouse press event posted a little after each onset, from its arrival in event() to the return of
//    the handler, by which time its reaction time is stored (checked).
//  - busy: the user-interface thread's time per tick of the round loop, all ticks.
//
// Run it under a display (xvfb-run -a build/.../bench_screen). The ticks come at a shorter period than the
// program's 100 ms, so that a few hundred onsets take under a minute; a tick's work does not depend on the
// period. Options: --period-ms N (default 10), --onsets N (default 250). Figures are printed beside their
// targets and never judged.

#include "Random.h"
#include "Screen.h"
#include "Statistics.h"
#include "TestFile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTimer>

#ifdef VIGIX_BENCH_XCB
#include <QGuiApplication>
#include <qguiapplication_platform.h>
#include <xcb/xcb.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace Qt::StringLiterals;
using namespace vigix;
using namespace vigix::bench;

namespace {

QElapsedTimer runClock;

double nowMs()
{
    return double(runClock.nsecsElapsed()) / 1e6;
}

struct TFigures
{
    std::vector<double> paintEnd;   // onset: arrival to end of paint
    std::vector<double> handled;    // onset: arrival to end of handling (paint and flush)
    std::vector<double> serverTook; // onset: plus a round trip to the X server
    std::vector<double> press;
    std::vector<double> busy;
    int lostPresses = 0;
};

// Waits until the X server has handled every request sent so far; false without X11.
bool roundTripToServer()
{
#ifdef VIGIX_BENCH_XCB
    if (auto *x11 = qApp->nativeInterface<QNativeInterface::QX11Application>()) {
        xcb_connection_t *connection = x11->connection();
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
        return true;
    }
#endif
    return false;
}

// The real window, with time stamps at the edges of its event handling and painting.
class TTimedScreen : public TfrmScreen
{
public:
    TTimedScreen(TTestFile &testFile, TTestFile &practiceFile, TRandom &random, ISoundChannel &sound,
                 IMillisecondClock &clock)
        : TfrmScreen(testFile, practiceFile, random, sound, clock), m_testFile(testFile)
    {
    }

    TFigures figures;
    int onsetsWanted = 0;

protected:
    bool event(QEvent *event) override
    {
        if (event->type() == TTickEvent::TickType)
            return tick(event);
        if (event->type() == QEvent::MouseButtonPress)
            return press(event);
        return TfrmScreen::event(event);
    }

    void paintEvent(QPaintEvent *event) override
    {
        TfrmScreen::paintEvent(event);
        m_paintEnd = nowMs();
    }

private:
    bool tick(QEvent *event)
    {
        TAdministration &admin = Administration();
        const bool wasShown = !TargetShown().isEmpty();
        m_paintEnd = -1;
        const double arrival = nowMs();
        const bool result = TfrmScreen::event(event);
        const double handled = nowMs();
        const bool inRounds = admin.Page == 1 && admin.Step >= 1;
        if (inRounds)
            figures.busy.push_back(handled - arrival);
        if (inRounds && !wasShown && !TargetShown().isEmpty() && m_paintEnd >= 0) {
            figures.paintEnd.push_back(m_paintEnd - arrival);
            figures.handled.push_back(handled - arrival);
            if (roundTripToServer())
                figures.serverTook.push_back(nowMs() - arrival);
            // A press some way into the round, between two ticks.
            QTimer::singleShot(3, this, [this] { postPress(); });
            if (int(figures.paintEnd.size()) == onsetsWanted)
                QCoreApplication::exit(0); // quit() would ask the window to close, which it refuses
        }
        if (admin.Page == 0 && admin.ClickEnabled)
            postPress(); // leave the title
        return result;
    }

    bool press(QEvent *event)
    {
        TAdministration &admin = Administration();
        const bool counted = admin.Page == 1 && admin.Step >= 1;
        const int slot = admin.ResponseNo;
        const int round = admin.Round;
        const double arrival = nowMs();
        const bool result = TfrmScreen::event(event);
        const double stored = nowMs();
        if (counted) {
            if (m_testFile.Rounds[round].Button[slot] == 1)
                figures.press.push_back(stored - arrival);
            else
                ++figures.lostPresses;
        }
        return result;
    }

    void postPress()
    {
        const QPointF centre = QRectF(rect()).center();
        QCoreApplication::postEvent(this, new QMouseEvent(QEvent::MouseButtonPress, centre, mapToGlobal(centre),
                                                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(this, new QMouseEvent(QEvent::MouseButtonRelease, centre, mapToGlobal(centre),
                                                          Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    }

    TTestFile &m_testFile;
    double m_paintEnd = -1;
};

void print(const char *what, std::vector<double> values, const char *target)
{
    if (values.empty()) {
        std::printf("%-46s %s\n", what, "no figures");
        return;
    }
    std::printf("%-46s median %6.3f ms  p99 %6.3f ms  max %6.3f ms  (n=%zu)  %s\n", what, Median(values),
                Percentile(values, 99), Percentile(values, 100), values.size(), target);
}

int intOption(int argc, char *argv[], const char *name, int fallback)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (qstrcmp(argv[i], name) == 0)
            return std::atoi(argv[i + 1]);
    return fallback;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int periodMs = std::max(1, intOption(argc, argv, "--period-ms", 10));
    const int onsets = std::max(1, intOption(argc, argv, "--onsets", 250));

    TTestFile testFile;
    TTestFile practiceFile;
    TRandom random(11);
    TSilentSoundChannel sound;
    TSteadyMillisecondClock clock;
    TTimedScreen screen(testFile, practiceFile, random, sound, clock);
    screen.onsetsWanted = onsets;
    screen.SetTickPeriod(std::chrono::milliseconds(periodMs));

    runClock.start();
    screen.StartSection(3);
    QTimer::singleShot(600000, &app, [] { QCoreApplication::exit(1); }); // a stuck run still ends
    const int stuck = app.exec();

    const QRect canvas = screen.CanvasRect();
    std::printf("bench_screen: platform %s, window %dx%d, canvas %dx%d, tick period %d ms\n",
                qPrintable(QGuiApplication::platformName()), screen.width(), screen.height(), canvas.width(),
                canvas.height(), periodMs);
    const TFigures &f = screen.figures;
    print("Onset: tick arrival to end of paint", f.paintEnd, "");
    print("Onset: tick arrival to end of handling+flush", f.handled, "target p99 < 2 ms");
    print("Onset: ... plus X server round trip", f.serverTook, "");
    print("Press: arrival to reaction time stored", f.press, "target p99 < 0.2 ms");
    print("UI thread busy per tick (round loop)", f.busy, "");
    if (f.lostPresses > 0)
        std::printf("presses not stored: %d\n", f.lostPresses);
    return stuck;
}
