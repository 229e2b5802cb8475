// The program's timing as a child's eye and hand would meet it: this observer watches the X server's frame
// buffer and clicks through XTest, so it sees only what the window system shows and what it is sent, never
// the program's own stamps. It drives the running program from its main window into a test, notes on
// CLOCK_MONOTONIC when each centre symbol and triangle appears and disappears, clicks every circle after a
// known random delay, stores the test with Shift+Esc and compares the reaction times in the stored file with
// the ones it made. bench/observer starts Xvfb and the program and runs whole cases; docs/timing.md explains
// the figures.
#include "Errors.h"
#include "Statistics.h"
#include "TestFile.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <sched.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <time.h>

// Xlib last: its macros (None, Bool, Status...) would clash with Qt's headers.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

using namespace Qt::StringLiterals;

namespace {

using Nanos = std::int64_t;

Nanos now()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return Nanos(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

void sleepUntil(Nanos when)
{
    timespec ts{};
    ts.tv_sec = time_t(when / 1'000'000'000);
    ts.tv_nsec = long(when % 1'000'000'000);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

void sleepMs(int ms)
{
    sleepUntil(now() + Nanos(ms) * 1'000'000);
}

double ms(Nanos ns)
{
    return double(ns) / 1e6;
}

[[noreturn]] void fail(const std::string &message)
{
    std::fprintf(stderr, "bench_observer: %s\n", message.c_str());
    std::exit(1);
}

struct Options
{
    std::string dataFolder;
    int rounds = 60;
    int pollMicros = 200;
    int priority = 60;
    int minDelayMs = 200;
    int maxDelayMs = 600;
    unsigned seed = std::random_device{}();
    std::string csv;
    bool verbose = false;
};

void usage()
{
    std::fprintf(stderr, "usage: bench_observer --data FOLDER [--rounds N] [--poll-us U] [--priority P]\n"
                         "                      [--delay MIN-MAX] [--seed S] [--csv FILE] [--verbose]\n"
                         "Drives the program on $DISPLAY into a test; FOLDER is its data folder (empty).\n");
    std::exit(2);
}

Options parse(int argc, char **argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                usage();
            return argv[++i];
        };
        if (arg == "--data")
            options.dataFolder = value();
        else if (arg == "--rounds")
            options.rounds = std::stoi(value());
        else if (arg == "--poll-us")
            options.pollMicros = std::stoi(value());
        else if (arg == "--priority")
            options.priority = std::stoi(value());
        else if (arg == "--delay") {
            const std::string range = value();
            const auto dash = range.find('-');
            if (dash == std::string::npos)
                usage();
            options.minDelayMs = std::stoi(range.substr(0, dash));
            options.maxDelayMs = std::stoi(range.substr(dash + 1));
        } else if (arg == "--seed")
            options.seed = unsigned(std::stoul(value()));
        else if (arg == "--csv")
            options.csv = value();
        else if (arg == "--verbose")
            options.verbose = true;
        else
            usage();
    }
    if (options.dataFolder.empty() || options.rounds < 1 || options.pollMicros < 50 || options.minDelayMs < 1 ||
        options.maxDelayMs < options.minDelayMs)
        usage();
    // A round lasts at least 1.4 s (Ticks 13..20, plus one): a press any later could land in the next round.
    if (options.maxDelayMs > 1200)
        fail("--delay: the longest delay must stay under 1200 ms, inside the shortest round");
    options.rounds = std::min(options.rounds, int(vigix::TTestFile::TestRounds));
    return options;
}

// Where to look, in screen pixels. The 640x480 canvas is scaled uniformly and centred; the points were taken
// from screenshots of a 1024x768 screen (scale 1.6) and are kept here in canvas units.
class TLayout
{
public:
    TLayout(int width, int height)
        : m_scale(std::min(width / 640.0, height / 480.0)), m_left((width - 640 * m_scale) / 2),
          m_top((height - 480 * m_scale) / 2)
    {
    }
    int x(double canvasX) const { return int(std::lround(m_left + canvasX * m_scale)); }
    int y(double canvasY) const { return int(std::lround(m_top + canvasY * m_scale)); }

private:
    double m_scale, m_left, m_top;
};

// The centre row crosses the cross at its middle and the circle on its ring, whose middle stays black.
constexpr double CentreX = 311.25, CentreY = 238.1;
constexpr double CentreRowLeft = 262, CentreRowRight = 360;
// Triangles: their base, 86.75 canvas pixels below the top of their cell, is a solid line; one row per row
// of cells, read only over the middle of each cell (the centre cell's circle crosses the middle row).
constexpr double CellLeft[9] = {0, 164, 264, 364, 164, 364, 164, 264, 364};
constexpr double CellTop[9] = {0, 92, 92, 92, 192, 192, 292, 292, 292};
constexpr double TriangleBase = 86.75;
constexpr double BaseFrom = 20, BaseTo = 77;
// The title's prompt, yellow, in the third guide line.
constexpr double PromptY = 433, PromptLeft = 13, PromptRight = 627;

enum class TCentre { Empty, Circle, Cross };

struct TSample
{
    TCentre centre = TCentre::Empty;
    unsigned cells = 0; // bit k: a triangle in cell k
};

// The screen is read on a connection of its own through XCB: the four rows of a sample are asked for at once
// and cost one round trip to the server, where Xlib's XGetImage would wait for each.
class TScreen
{
public:
    TScreen()
    {
        m_connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_connection))
            fail("cannot open the X display through XCB");
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_root = screen->root;
        width = screen->width_in_pixels;
        height = screen->height_in_pixels;
        if (screen->root_depth != 24)
            fail("the screen must be 24 bits deep (Xvfb -screen 0 1024x768x24)");
        m_layout.emplace(width, height);
        m_baseRowY[0] = m_layout->y(CellTop[1] + TriangleBase);
        m_baseRowY[1] = m_layout->y(CellTop[4] + TriangleBase);
        m_baseRowY[2] = m_layout->y(CellTop[6] + TriangleBase);
        m_baseRowLeft = m_layout->x(CellLeft[1] + BaseFrom);
        m_baseRowRight = m_layout->x(CellLeft[3] + BaseTo);
    }
    ~TScreen() { xcb_disconnect(m_connection); }
    TScreen(const TScreen &) = delete;
    TScreen &operator=(const TScreen &) = delete;

    int width = 0, height = 0;

    TSample sample() const
    {
        const int left = m_layout->x(CentreRowLeft);
        const int right = m_layout->x(CentreRowRight);
        const int y = m_layout->y(CentreY);
        const xcb_get_image_cookie_t centreCookie = request(left, right, y);
        xcb_get_image_cookie_t baseCookies[3];
        for (int row = 0; row < 3; ++row)
            baseCookies[row] = request(m_baseRowLeft, m_baseRowRight, m_baseRowY[row]);

        TSample sample;
        const std::vector<bool> centre = redRow(centreCookie, right - left);
        if (centre[std::size_t(m_layout->x(CentreX) - left)])
            sample.centre = TCentre::Cross;
        else if (std::find(centre.begin(), centre.end(), true) != centre.end())
            sample.centre = TCentre::Circle;
        for (int row = 0; row < 3; ++row) {
            const std::vector<bool> base = redRow(baseCookies[row], m_baseRowRight - m_baseRowLeft);
            for (int cell = 1; cell <= 8; ++cell) {
                if (m_layout->y(CellTop[cell] + TriangleBase) != m_baseRowY[row])
                    continue;
                const int from = m_layout->x(CellLeft[cell] + BaseFrom) - m_baseRowLeft;
                const int to = m_layout->x(CellLeft[cell] + BaseTo) - m_baseRowLeft;
                // Most of the base must be red: a stray antialiased pixel is no triangle.
                const auto reds = std::count(base.begin() + from, base.begin() + to, true);
                if (reds * 2 > to - from)
                    sample.cells |= 1u << cell;
            }
        }
        return sample;
    }

    bool promptShown() const
    {
        const int left = m_layout->x(PromptLeft);
        const int right = m_layout->x(PromptRight);
        int yellow = 0;
        for (const std::uint32_t pixel : row(request(left, right, m_layout->y(PromptY)), right - left))
            if (((pixel >> 16) & 0xff) > 200 && ((pixel >> 8) & 0xff) > 200 && (pixel & 0xff) < 80)
                ++yellow;
        return yellow >= 10;
    }

private:
    xcb_get_image_cookie_t request(int left, int right, int y) const
    {
        return xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, std::int16_t(left), std::int16_t(y),
                             std::uint16_t(right - left), 1, ~0u);
    }

    // One row of 32-bit pixels, 0x00RRGGBB.
    std::vector<std::uint32_t> row(xcb_get_image_cookie_t cookie, int width) const
    {
        xcb_get_image_reply_t *reply = xcb_get_image_reply(m_connection, cookie, nullptr);
        if (!reply)
            fail("GetImage failed (the X server has gone?)");
        const int length = xcb_get_image_data_length(reply);
        if (length != width * 4) {
            std::free(reply);
            fail("GetImage: expected 32 bits a pixel");
        }
        std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width));
        std::memcpy(pixels.data(), xcb_get_image_data(reply), std::size_t(length));
        std::free(reply);
        return pixels;
    }

    std::vector<bool> redRow(xcb_get_image_cookie_t cookie, int width) const
    {
        const std::vector<std::uint32_t> pixels = row(cookie, width);
        std::vector<bool> red(pixels.size());
        // The stimulus red is (225, 0, 29); antialiased edges are darker.
        for (std::size_t x = 0; x < pixels.size(); ++x)
            red[x] = ((pixels[x] >> 16) & 0xff) > 150 && ((pixels[x] >> 8) & 0xff) < 80 && (pixels[x] & 0xff) < 100;
        return red;
    }

    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = 0;
    std::optional<TLayout> m_layout;
    int m_baseRowY[3]{};
    int m_baseRowLeft = 0, m_baseRowRight = 0;
};

// Input through XTest, as the window system would get it from a mouse and a keyboard.
class TInput
{
public:
    explicit TInput(Display *display) : m_display(display) {}

    void moveTo(int x, int y)
    {
        XTestFakeMotionEvent(m_display, -1, x, y, CurrentTime);
        XSync(m_display, False);
    }
    void click(int x, int y)
    {
        moveTo(x, y);
        sleepMs(30);
        XTestFakeButtonEvent(m_display, 1, True, CurrentTime);
        XTestFakeButtonEvent(m_display, 1, False, CurrentTime);
        XSync(m_display, False);
        sleepMs(100);
    }
    void key(KeySym symbol, KeySym modifier = NoSymbol)
    {
        const KeyCode code = XKeysymToKeycode(m_display, symbol);
        if (code == 0)
            fail("the X server has no key for keysym " + std::to_string(symbol));
        const KeyCode modifierCode = modifier == NoSymbol ? 0 : XKeysymToKeycode(m_display, modifier);
        if (modifierCode)
            XTestFakeKeyEvent(m_display, modifierCode, True, CurrentTime);
        XTestFakeKeyEvent(m_display, code, True, CurrentTime);
        XTestFakeKeyEvent(m_display, code, False, CurrentTime);
        if (modifierCode)
            XTestFakeKeyEvent(m_display, modifierCode, False, CurrentTime);
        XSync(m_display, False);
        // Qt handles each key before the next: focus moves with Tab.
        sleepMs(40);
    }
    void type(const std::string &text)
    {
        for (const char c : text)
            key(XStringToKeysym(std::string(1, c).c_str()));
    }

private:
    Display *m_display;
};

struct TWindow
{
    int x = 0, y = 0, width = 0, height = 0;
};

std::optional<TWindow> findWindow(Display *display, const std::string &title)
{
    const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return std::nullopt;
    std::optional<TWindow> found;
    for (unsigned i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(display, children[i], &attributes) || attributes.map_state != IsViewable)
            continue;
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char *name = nullptr;
        if (XGetWindowProperty(display, children[i], netName, 0, 256, False, utf8, &type, &format, &items, &after,
                               &name) == Success &&
            name) {
            // Qt appends " — " and the application's display name to a title other than that name.
            if (std::string(reinterpret_cast<const char *>(name)).starts_with(title))
                found = TWindow{attributes.x, attributes.y, attributes.width, attributes.height};
            XFree(name);
        }
    }
    if (children)
        XFree(children);
    return found;
}

// Waits for a condition, checking every 50 ms; false after the timeout.
bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    const Nanos end = now() + Nanos(timeoutMs) * 1'000'000;
    while (!condition()) {
        if (now() > end)
            return false;
        sleepMs(50);
    }
    return true;
}

constexpr char PanelTitle[] = "VIGIX";
constexpr char EntryTitle[] =
    "\xe8\xa2\xab\xe9\xa8\x93\xe8\x80\x85\xe6\x83\x85\xe5\xa0\xb1\xe5\x85\xa5\xe5\x8a\x9b"; // 被験者情報入力

// From the main window to the test's title: STEP 3 through the 検査(T) menu, the required subject fields, 検査開始.
void startTest(Display *display, TInput &input, const TScreen &screen)
{
    std::optional<TWindow> panel;
    if (!waitFor([&] { return (panel = findWindow(display, PanelTitle)).has_value(); }, 30000))
        fail("the program's main window (\"VIGIX\") did not appear within 30 s");
    // The list fills after the window is shown; a press then gives the window the keyboard.
    sleepMs(1000);
    std::optional<TWindow> entry;
    for (int attempt = 0; attempt < 3 && !entry; ++attempt) {
        input.click(panel->x + panel->width / 2, panel->y + panel->height * 2 / 3);
        input.key(XK_t, XK_Alt_L);
        sleepMs(300);
        // STEP 0 is highlighted when the menu opens; STEP 3 is the fourth item.
        for (int i = 0; i < 3; ++i)
            input.key(XK_Down);
        input.key(XK_Return);
        if (!waitFor([&] { return (entry = findWindow(display, EntryTitle)).has_value(); }, 5000))
            input.key(XK_Escape);
    }
    if (!entry)
        fail("the subject entry window (STEP 3 - 検査) did not open");
    sleepMs(300);
    // Field positions in the window, as laid out by TfrmInput.
    input.click(entry->x + 136, entry->y + 46); // 氏名 (family name)
    input.type("a");
    input.key(XK_Tab);
    input.type("b");
    input.key(XK_Tab);
    input.key(XK_Down); // 性別: 男, the first item after the empty one
    input.key(XK_Tab);
    input.type("1990");
    input.key(XK_Tab);
    input.type("1");
    input.key(XK_Tab);
    input.type("1");
    input.click(entry->x + 158, entry->y + 426); // 検査開始
    if (!waitFor([&] { return !findWindow(display, EntryTitle); }, 5000))
        fail("the subject entry window did not accept the subject (a warning box?)");
    // The demonstration's nine circles take 4.5 s before the title asks for the press.
    if (!waitFor([&] { return screen.promptShown(); }, 30000))
        fail("the test's title prompt did not appear within 30 s of 検査開始");
}

struct TObservedRound
{
    TCentre symbol = TCentre::Empty;
    Nanos onset = 0, offset = 0; // midpoints between the last poll without and the first with the change
    unsigned cells = 0;
    Nanos triangleOnset = 0, triangleOffset = 0;
    Nanos pressAt = 0; // planned
    Nanos pressed = 0; // the press request flushed to the server
    Nanos handled = 0; // XSync returned: the server has made the event
};

struct TPollStats
{
    long polls = 0;
    long gaps = 0;
    Nanos longestGap = 0;
    Nanos totalGap = 0;
    long gapsOver2ms = 0;
    Nanos longestPoll = 0;
};

void setPriority(int priority)
{
    sched_param param{};
    param.sched_priority = priority;
    if (sched_setscheduler(0, SCHED_FIFO, &param) != 0)
        std::fprintf(stderr, "bench_observer: SCHED_FIFO %d refused (%s); observing at normal priority\n", priority,
                     std::strerror(errno));
    // A page fault in the middle of a poll would read as a late frame.
    if (mlockall(MCL_CURRENT | MCL_FUTURE) != 0)
        std::fprintf(stderr, "bench_observer: mlockall: %s\n", std::strerror(errno));
}

struct TSummary
{
    double mean = 0, sd = 0, min = 0, max = 0;
};

TSummary summarise(const std::vector<double> &values)
{
    TSummary s;
    if (values.empty())
        return s;
    double sum = 0;
    for (const double v : values)
        sum += v;
    s.mean = sum / double(values.size());
    double squares = 0;
    for (const double v : values)
        squares += (v - s.mean) * (v - s.mean);
    s.sd = values.size() > 1 ? std::sqrt(squares / double(values.size() - 1)) : 0;
    s.min = *std::min_element(values.begin(), values.end());
    s.max = *std::max_element(values.begin(), values.end());
    return s;
}

QString findStoredTest(const QString &folder)
{
    const QStringList names = QDir(folder).entryList({u"*.txt"_s}, QDir::Files);
    return names.isEmpty() ? QString() : names.first().chopped(4);
}

} // namespace

int main(int argc, char **argv)
{
    const Options options = parse(argc, argv);
    const Nanos startedAt = now();
    const QString dataFolder = QString::fromLocal8Bit(options.dataFolder);
    if (!findStoredTest(dataFolder).isEmpty())
        fail("the data folder " + options.dataFolder + " already holds a test; give an empty one");

    Display *display = XOpenDisplay(nullptr);
    if (!display)
        fail("cannot open the X display (DISPLAY is " +
             std::string(std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "unset") + ")");
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor))
        fail("the X server has no XTest extension");
    setPriority(options.priority);

    const TScreen screen;
    TInput input(display);
    startTest(display, input, screen);

    // The pointer rests where no sampled row passes; the window hides it anyway.
    input.moveTo(screen.width - 60, screen.height / 4);
    sleepMs(200);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XFlush(display);
    const Nanos titlePress = now();

    std::mt19937 random(options.seed);
    // Whole-millisecond delays would keep the presses in step with the program's millisecond clock.
    std::uniform_int_distribution<Nanos> delay(Nanos(options.minDelayMs) * 1'000'000,
                                               Nanos(options.maxDelayMs) * 1'000'000);
    std::vector<TObservedRound> rounds;
    TPollStats stats;
    TSample previous;
    Nanos previousPoll = 0;
    const Nanos pollInterval = Nanos(options.pollMicros) * 1000;
    // After the title press the program pauses 2 s before the first round; rounds last at most 2.1 s.
    constexpr Nanos NoOnsetTimeout = 5'000'000'000;
    // The whole test has no round after the last one: it is stored once that round has surely ended.
    const bool wholeTest = options.rounds >= vigix::TTestFile::TestRounds;
    Nanos lastOnset = titlePress;
    for (;;) {
        const Nanos pollStart = now();
        const TSample sample = screen.sample();
        const Nanos pollEnd = now();
        ++stats.polls;
        stats.longestPoll = std::max(stats.longestPoll, pollEnd - pollStart);
        // Counted over the rounds only, not over the wait at the title.
        if (previousPoll && !rounds.empty()) {
            const Nanos gap = pollStart - previousPoll;
            stats.totalGap += gap;
            ++stats.gaps;
            stats.longestGap = std::max(stats.longestGap, gap);
            if (gap > 2'000'000) {
                ++stats.gapsOver2ms;
                if (options.verbose)
                    std::printf("gap of %.3f ms at %.3f ms in round %zu\n", ms(gap),
                                ms(pollStart - rounds.back().onset), rounds.size());
            }
        }
        const Nanos seen = previousPoll ? (previousPoll + pollStart) / 2 : pollStart;
        if (sample.centre != previous.centre) {
            if (previous.centre != TCentre::Empty && !rounds.empty())
                rounds.back().offset = seen;
            if (sample.centre != TCentre::Empty) {
                TObservedRound round;
                round.symbol = sample.centre;
                round.onset = seen;
                if (sample.centre == TCentre::Circle && int(rounds.size()) < options.rounds)
                    round.pressAt = pollStart + delay(random);
                rounds.push_back(round);
                lastOnset = seen;
            }
        }
        if (sample.cells != previous.cells && !rounds.empty()) {
            TObservedRound &round = rounds.back();
            if (sample.cells != 0 && previous.cells == 0) {
                round.cells = sample.cells;
                round.triangleOnset = seen;
            } else if (sample.cells == 0) {
                round.triangleOffset = seen;
            } else {
                round.cells |= sample.cells; // a second triangle: counted as a mismatch below
            }
        }
        previous = sample;
        previousPoll = pollStart;

        if (!wholeTest && int(rounds.size()) > options.rounds)
            break;
        if (wholeTest && int(rounds.size()) == options.rounds && pollStart - lastOnset > 2'500'000'000)
            break;
        if (pollStart - lastOnset > NoOnsetTimeout)
            fail("no stimulus for 5 s after round " + std::to_string(rounds.size()) + " (was the title press taken?)");

        Nanos wake = pollEnd + pollInterval;
        TObservedRound *pending = nullptr;
        for (TObservedRound &round : rounds)
            if (round.pressAt && !round.pressed)
                pending = &round;
        if (pending && pending->pressAt <= wake) {
            sleepUntil(pending->pressAt);
            XTestFakeButtonEvent(display, 1, True, CurrentTime);
            XFlush(display);
            pending->pressed = now();
            XSync(display, False);
            pending->handled = now();
            XTestFakeButtonEvent(display, 1, False, CurrentTime);
            XFlush(display);
            continue;
        }
        sleepUntil(wake);
    }

    // Shift+Esc stores the rounds before the one in progress.
    if (!wholeTest)
        sleepMs(200);
    input.key(XK_Escape, XK_Shift_L);
    const Nanos stored = now();
    QString number;
    if (!waitFor([&] { return !(number = findStoredTest(dataFolder)).isEmpty(); }, 20000))
        fail("no test file appeared in " + options.dataFolder + " within 20 s of Shift+Esc");
    const QString timingPath = dataFolder + u'/' + number + u".timing"_s;
    waitFor([&] { return QFile::exists(timingPath); }, 5000);
    const double saveMs = ms(now() - stored);

    vigix::TTestFile file;
    try {
        file.ReadFile(dataFolder, number);
    } catch (const vigix::EVigixError &error) {
        fail("cannot read the stored test: " + error.message().toStdString());
    }
    const int observed = std::min(int(rounds.size()), options.rounds);
    if (file.RoundCount != observed)
        std::printf("note: the file holds %d rounds, the observer saw %d\n", file.RoundCount, observed);
    const int compared = std::min(file.RoundCount, observed);

    std::vector<double> errors, trueRts, symbolExposures, triangleExposures, lengthErrors, injection, onsetLateness;
    // Each onset against the schedule laid from the first one: the engine keeps absolute deadlines, so a late
    // onset shows here even when the next one is on time again.
    double scheduled = 0;
    int clicks = 0, matched = 0, missingPresses = 0, extraPresses = 0, wrongButton = 0;
    std::FILE *csv = options.csv.empty() ? nullptr : std::fopen(options.csv.c_str(), "w");
    if (!options.csv.empty() && !csv)
        fail("cannot write " + options.csv);
    if (csv)
        std::fprintf(csv, "round,symbol,stored_target,onset_ms,exposure_ms,cells,stored_noise,triangle_ms,ticks,"
                          "length_ms,true_rt_ms,stored_rt_ms,error_ms,handled_ms\n");
    for (int k = 1; k <= compared; ++k) {
        const TObservedRound &seen = rounds[std::size_t(k - 1)];
        const vigix::TRoundInfo &round = file.Rounds[k];
        const bool symbolMatches = (seen.symbol == TCentre::Circle) == (round.Target == u"T");
        const bool noiseMatches = round.Noise == u"V" ? seen.cells == (1u << round.NoiseNo) : seen.cells == 0;
        if (symbolMatches && noiseMatches)
            ++matched;
        if (seen.offset)
            symbolExposures.push_back(ms(seen.offset - seen.onset));
        onsetLateness.push_back(ms(seen.onset - rounds.front().onset) - scheduled);
        scheduled += (round.Ticks + 1) * 100.0;
        if (seen.cells && seen.triangleOffset)
            triangleExposures.push_back(ms(seen.triangleOffset - seen.triangleOnset));
        double length = 0;
        if (std::size_t(k) < rounds.size()) {
            length = ms(rounds[std::size_t(k)].onset - seen.onset);
            lengthErrors.push_back(length - (round.Ticks + 1) * 100.0);
        }
        double trueRt = 0, error = 0;
        if (seen.pressed) {
            ++clicks;
            trueRt = ms(seen.pressed - seen.onset);
            injection.push_back(ms(seen.handled - seen.pressed));
            if (round.RT[1] == 0) {
                ++missingPresses;
            } else {
                error = round.RT[1] - trueRt;
                errors.push_back(error);
                trueRts.push_back(trueRt);
                if (round.Button[1] != 1)
                    ++wrongButton;
            }
            if (round.RT[2] != 0)
                ++extraPresses;
        } else if (round.RT[1] != 0) {
            ++extraPresses;
        }
        if (csv)
            std::fprintf(csv, "%d,%s,%s,%.3f,%.3f,%u,%s%d,%.3f,%d,%.3f,%.3f,%d,%.3f,%.3f\n", k,
                         seen.symbol == TCentre::Circle ? "circle" : "cross", qPrintable(round.Target),
                         ms(seen.onset - titlePress), seen.offset ? ms(seen.offset - seen.onset) : 0.0, seen.cells,
                         qPrintable(round.Noise), round.NoiseNo,
                         seen.triangleOffset ? ms(seen.triangleOffset - seen.triangleOnset) : 0.0, round.Ticks, length,
                         trueRt, round.RT[1], error, seen.pressed ? ms(seen.handled - seen.pressed) : 0.0);
        if (options.verbose)
            std::printf("round %3d %-6s stored %s noise %s%d cells %3u exposure %6.2f length %7.2f true %7.2f "
                        "stored %4d\n",
                        k, seen.symbol == TCentre::Circle ? "circle" : "cross", qPrintable(round.Target),
                        qPrintable(round.Noise), round.NoiseNo, seen.cells,
                        seen.offset ? ms(seen.offset - seen.onset) : 0.0, length, trueRt, round.RT[1]);
    }
    if (csv)
        std::fclose(csv);

    std::printf("test %s: rounds %d, clicks %d, rounds matched %d/%d (symbol and triangle cell)\n", qPrintable(number),
                compared, clicks, matched, compared);
    if (!errors.empty()) {
        const TSummary e = summarise(errors);
        std::printf("stored RT - true RT (ms): n %zu  mean %.2f  SD %.2f  min %.2f  max %.2f  max-min %.2f  "
                    "median %.2f\n",
                    errors.size(), e.mean, e.sd, e.min, e.max, e.max - e.min, vigix::bench::Median(errors));
        const TSummary t = summarise(trueRts);
        std::printf("true RT (ms): mean %.1f  min %.1f  max %.1f\n", t.mean, t.min, t.max);
    }
    if (missingPresses || extraPresses || wrongButton)
        std::printf("presses: %d clicks not stored, %d stored presses not made, %d with the wrong button\n",
                    missingPresses, extraPresses, wrongButton);
    if (!symbolExposures.empty())
        std::printf("circle/cross exposure (ms): shortest %.2f  longest %.2f  (n %zu)\n",
                    *std::min_element(symbolExposures.begin(), symbolExposures.end()),
                    *std::max_element(symbolExposures.begin(), symbolExposures.end()), symbolExposures.size());
    if (!triangleExposures.empty())
        std::printf("triangle exposure (ms): shortest %.2f  longest %.2f  (n %zu)\n",
                    *std::min_element(triangleExposures.begin(), triangleExposures.end()),
                    *std::max_element(triangleExposures.begin(), triangleExposures.end()), triangleExposures.size());
    if (!lengthErrors.empty()) {
        const TSummary l = summarise(lengthErrors);
        std::printf("onset to next onset - (Ticks+1) x 100 ms: mean %.2f  min %.2f  max %.2f\n", l.mean, l.min, l.max);
    }
    if (!onsetLateness.empty()) {
        const TSummary o = summarise(onsetLateness);
        std::printf("onset against the schedule from round 1 (ms): median %.2f  min %.2f  max %.2f  over 5 ms: %ld\n",
                    vigix::bench::Median(onsetLateness), o.min, o.max,
                    long(std::count_if(onsetLateness.begin(), onsetLateness.end(), [](double v) { return v > 5; })));
    }
    if (!injection.empty()) {
        const TSummary i = summarise(injection);
        std::printf("XTest press flushed -> made by the server (XSync): mean %.3f  max %.3f ms\n", i.mean, i.max);
    }
    std::printf("polls %ld: every %.3f ms on average, longest gap %.3f ms, %ld gaps over 2 ms, longest poll "
                "%.3f ms (target interval %d us)\n",
                stats.polls, ms(stats.totalGap) / double(std::max(1L, stats.gaps)), ms(stats.longestGap),
                stats.gapsOver2ms, ms(stats.longestPoll), options.pollMicros);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                              double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::printf("observer's own CPU time: %.0f%% of one core over the rounds and the start\n",
                100.0 * cpuSeconds / (double(now() - startedAt) / 1e9));
    std::printf("Shift+Esc to stored files: %.0f ms; seed %u\n", saveMs, options.seed);
    QFile timing(timingPath);
    if (timing.open(QIODevice::ReadOnly)) {
        std::printf("%s.timing:\n", qPrintable(number));
        while (!timing.atEnd())
            std::printf("  %s", timing.readLine().constData());
    } else {
        std::printf("no %s.timing beside the test\n", qPrintable(number));
    }
    XCloseDisplay(display);
    return 0;
}
