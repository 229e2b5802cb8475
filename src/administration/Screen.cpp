#include "Screen.h"

#include "Errors.h"

#include <QCloseEvent>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <utility>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

// Canvas layout, in canvas pixels.
constexpr QRect Frame(4, 4, 629, 469); // shpSotowaku
constexpr QRect GuideBoxes[3] = {{13, 17, 614, 34}, {13, 54, 614, 34}, {13, 416, 614, 34}};
constexpr QRect Bevel(260, 188, 101, 101);                             // Bevel1
constexpr QRect Panel(264, 192, 93, 93);                               // Panel1, the centre cell
constexpr QRect CircleBox(Panel.left() + 3, Panel.top() - 4, 89, 97);  // lblTargetT
constexpr QRect CrossBox(Panel.left() + 6, Panel.top() - 28, 85, 117); // lblTargetN
constexpr int CellSize = 97;
constexpr QPoint Cells[9] = {{0, 0},     {164, 92},  {264, 92},  {364, 92}, {164, 192},
                             {364, 192}, {164, 292}, {264, 292}, {364, 292}}; // lblVNoise1..8
constexpr int GuideHeight = 27;
constexpr int CircleHeight = 101;
constexpr int CrossHeight = 147;
constexpr int TriangleHeight = 107;

// The layout was made for "ＭＳ Ｐゴシック", whose character height is its em square; Noto Sans CJK JP stands in,
// with the em square's top 0.88 em above the baseline.
// The thread on which Qt's X11 connection reads from the server.
constexpr std::string_view WindowSystemReaderThread = "QXcbEventQueue";

const QString GothicFamily = u"Noto Sans CJK JP"_s;
constexpr double EmAscent = 0.88;

// Noto's circle, cross and triangle are larger in their em square than the boxes of the layout allow: the cross
// and the triangles would be cut off at the box edges. Each is drawn from the font's outline, but scaled about
// its centre to this ink width, so that it fills its box with a small margin.
constexpr double CircleInk = 87;
constexpr double CrossInk = 81;
constexpr double TriangleInk = 91;

const QColor StimulusRed(225, 0, 29);
const QColor GuideWhite(255, 255, 255);
const QColor GuideYellow(255, 255, 0);
const QColor BevelShadow(128, 128, 128);
const QColor BevelHighlight(255, 255, 255);

// The outline of a symbol as the layout places it in its label box: em square at the box's top, centred
// across it, then scaled to its ink width.
QPainterPath symbolPath(const QString &symbol, int height, const QRectF &box, double inkWidth)
{
    QFont font(GothicFamily);
    font.setPixelSize(height);
    QPainterPath path;
    path.addText(0, 0, font, symbol);
    const QRectF ink = path.boundingRect();
    if (ink.isEmpty())
        return path;
    const double originX = box.left() + (box.width() - QFontMetricsF(font).horizontalAdvance(symbol)) / 2;
    const double baseline = box.top() + EmAscent * height;
    const double factor = inkWidth / ink.width();
    QTransform place;
    place.translate(originX + ink.center().x(), baseline + ink.center().y());
    place.scale(factor, factor);
    place.translate(-ink.center().x(), -ink.center().y());
    return place.map(path);
}

} // namespace

TfrmScreen::TfrmScreen(TTestFile &testFile, TTestFile &practiceFile, TRandom &random, ISoundChannel &sound,
                       IMillisecondClock &clock, QWidget *parent, ITickTimeSource *tickTimeSource)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      m_administration(*this, sound, clock, testFile, practiceFile, random), m_engine(tickTimeSource),
      m_guideFont(GothicFamily)
{
    setObjectName(u"frmScreen"_s);
    // The program goes on when the child's screen closes.
    setAttribute(Qt::WA_QuitOnClose, false);
    // paintEvent fills all it is asked to paint.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);

    const QString platform = QGuiApplication::platformName();
    m_eventTimesOnClock = platform == u"xcb" || platform.startsWith(u"wayland");
    m_guideFont.setPixelSize(GuideHeight);
    for (QStaticText &text : m_guideTexts)
        text.setTextFormat(Qt::PlainText);
}

TfrmScreen::~TfrmScreen()
{
    // The engine's thread posts to this window: it must end first.
    m_engine.Stop();
    restorePriority();
}

void TfrmScreen::StartSection(int section)
{
    if (m_open)
        closeSection();
    m_administration.StartSection(section);
    // Without a window manager full-screen is only a wish: the window takes the screen's size itself.
    if (const QScreen *display = screen())
        setGeometry(display->geometry());
    showFullScreen();
    activateWindow();
    setFocus(Qt::ActiveWindowFocusReason);
}

void TfrmScreen::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_open)
        open();
}

void TfrmScreen::SetPriorityServices(IThreadScheduler *scheduler, IRealtimeKit *realtimeKit)
{
    m_scheduler = scheduler ? scheduler : &m_systemScheduler;
    m_realtimeKit = realtimeKit;
}

void TfrmScreen::open()
{
    // Only this window hides the cursor: an error box over it keeps a pointer the examiner can use.
    setCursor(Qt::BlankCursor);
    m_administration.Open();
    // The two threads that time the section run ahead of whatever else the computer does while it is open.
    m_uiThread = CurrentThreadId();
    m_uiNiceBefore = m_scheduler->Nice(m_uiThread);
    m_uiPriority = RaiseThreadPriority(m_uiThread, *m_scheduler, m_realtimeKit);
    // Qt's X11 connection reads events, the completion of each frame's shared-memory copy among them, on a
    // thread of its own: at normal priority behind a busy computer it would hold up the real-time thread.
    if (m_uiPriority.Kind != TPriorityGrant::TKind::Normal) {
        for (const std::uint64_t helper : ThreadsNamed(WindowSystemReaderThread)) {
            const int nice = m_scheduler->Nice(helper);
            if (RaiseThreadPriority(helper, *m_scheduler, m_realtimeKit).Kind != TPriorityGrant::TKind::Normal)
                m_liftedHelpers.push_back({helper, nice});
        }
    }
    m_prioritiesRecorded = false;
    m_engine.SetThreadPriorityRequest(
        [this](std::uint64_t thread) { return RaiseThreadPriority(thread, *m_scheduler, m_realtimeKit); });
    m_administration.TickPeriodMs = std::chrono::duration<double, std::milli>(m_tickPeriod).count();
    m_generation = m_engine.Start(this, m_tickPeriod);
    m_open = true;
}

void TfrmScreen::restorePriority()
{
    for (const TLiftedThread &helper : std::exchange(m_liftedHelpers, {}))
        RestoreThreadPriority(helper.id, *m_scheduler, helper.niceBefore);
    if (m_uiPriority.Kind != TPriorityGrant::TKind::Normal)
        RestoreThreadPriority(m_uiThread, *m_scheduler, m_uiNiceBefore);
    m_uiPriority = {};
}

void TfrmScreen::closeSection()
{
    m_closeRequested = true;
    const bool closed = close();
    m_closeRequested = false;
    if (closed)
        emit Closed();
}

void TfrmScreen::EndWithoutStoring()
{
    if (!m_open)
        return;
    m_closeRequested = true;
    close();
    m_closeRequested = false;
}

void TfrmScreen::closeEvent(QCloseEvent *event)
{
    // Window manager, Alt+F4 and the like: the child must not be able to end a section.
    if (m_open && !m_closeRequested) {
        event->ignore();
        return;
    }
    // Ticks still queued after the join carry the old generation and are dropped.
    m_engine.Stop();
    if (m_open)
        m_administration.SectionClosed();
    restorePriority();
    m_open = false;
    unsetCursor();
    event->accept();
}

bool TfrmScreen::event(QEvent *event)
{
    if (event->type() != TTickEvent::TickType)
        return QWidget::event(event);
    auto &tick = static_cast<TTickEvent &>(*event);
    if (m_open && m_engine.IsCurrent(tick)) {
        const auto arrived = m_engine.Now();
        m_inTick = true;
        m_administration.Tick();
        m_inTick = false;
        // What the step changed is handed to the window system before the next event is handled, and an onset
        // is timed from then; so is the next tick, whose deadline slips when this frame came late.
        if (!m_pending.isEmpty())
            repaint(std::exchange(m_pending, QRegion()));
        const auto shown = m_engine.Now();
        const auto slip = tick.FrameShown(shown);
        using Ms = std::chrono::duration<double, std::milli>;
        const bool timed = tick.deadline() != TTickEvent::Clock::time_point{};
        m_administration.FrameShown({Ms(shown.time_since_epoch()).count(),
                                     timed ? Ms(shown - tick.deadline()).count() : 0.0,
                                     slip > TTickEvent::Clock::duration::zero(), timed});
        recordTick(tick, arrived);
    }
    event->accept();
    return true;
}

void TfrmScreen::keyPressEvent(QKeyEvent *event)
{
    event->accept();
    const int key = event->key() == Qt::Key_Escape ? TAdministration::EscapeKey : 0;
    bool done = false;
    try {
        done = m_administration.FormKeyDown(key, event->modifiers().testFlag(Qt::ShiftModifier));
    } catch (const EVigixError &error) {
        // Qt's own frames are built without exceptions; an error is better handed over here than thrown
        // through them.
        if (!isSignalConnected(QMetaMethod::fromSignal(&TfrmScreen::SaveFailed)))
            throw;
        emit SaveFailed(error.message());
        return;
    }
    if (done)
        closeSection();
}

void TfrmScreen::mousePressEvent(QMouseEvent *event)
{
    press(*event);
    event->accept();
}

void TfrmScreen::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The second press of a double click arrives only as this event: it is a press like any other.
    press(*event);
    event->accept();
}

void TfrmScreen::recordTick(const TTickEvent &tick, TTickEvent::Clock::time_point arrived)
{
    // Only the test's timing is kept, and only for ticks the engine timed.
    if (m_administration.Section != int(TAdministration::TSection::Test))
        return;
    TTimingRecorder &timing = m_administration.Timing;
    // The tick thread asked for its priority before its first tick.
    if (!std::exchange(m_prioritiesRecorded, true))
        timing.SetPriorities(m_uiPriority.Text(), m_engine.ThreadPriority().Text());
    if (tick.deadline() == TTickEvent::Clock::time_point{})
        return;
    using Ms = std::chrono::duration<double, std::milli>;
    timing.AddTick(Ms(arrived - tick.deadline()).count(), Ms(m_engine.Now() - arrived).count());
    timing.SetSlippedMs(Ms(m_engine.SlippedTime()).count());
}

void TfrmScreen::press(const QMouseEvent &event)
{
    const auto arrived = m_engine.Now();
    // X11 and Wayland stamp input with the monotonic clock's milliseconds, the clock of onsets; the
    // administration still checks each stamp against its own clock before taking it.
    std::optional<std::uint32_t> madeAt;
    if (m_eventTimesOnClock)
        madeAt = static_cast<std::uint32_t>(event.timestamp());
    handlePress(event.button(), madeAt);
    if (m_open && m_administration.Section == int(TAdministration::TSection::Test))
        m_administration.Timing.AddPress(std::chrono::duration<double, std::milli>(m_engine.Now() - arrived).count());
}

void TfrmScreen::handlePress(Qt::MouseButton button, std::optional<std::uint32_t> madeAt)
{
    switch (button) {
    case Qt::LeftButton:
        m_administration.lblClickAreaMouseDown(TAdministration::TMouseButton::Left, madeAt);
        break;
    case Qt::RightButton:
        m_administration.lblClickAreaMouseDown(TAdministration::TMouseButton::Right, madeAt);
        break;
    case Qt::MiddleButton:
        m_administration.lblClickAreaMouseDown(TAdministration::TMouseButton::Middle, madeAt);
        break;
    default:
        break;
    }
}

void TfrmScreen::ResetScreen()
{
    m_guides = {};
    for (int i = 0; i < 3; ++i)
        prepareGuide(i);
    m_target.clear();
    m_cells = {};
    changed(QRect(0, 0, CanvasWidth, CanvasHeight));
}

void TfrmScreen::SetGuides(const QString &guide1, const QString &guide2, const QString &guide3)
{
    const std::array<QString, 3> texts{guide1, guide2, guide3};
    for (int i = 0; i < 3; ++i) {
        if (m_guides[i] == texts[i])
            continue;
        m_guides[i] = texts[i];
        prepareGuide(i);
        changed(GuideBoxes[i]);
    }
}

void TfrmScreen::ShowTarget(const QString &code)
{
    if ((code != u"T" && code != u"N") || code == m_target)
        return;
    m_target = code;
    changed(Panel);
}

void TfrmScreen::HideTarget()
{
    if (m_target.isEmpty())
        return;
    m_target.clear();
    changed(Panel);
}

void TfrmScreen::ShowVisualNoise(int cell)
{
    if (cell < 1 || cell > 8 || m_cells[cell])
        return;
    m_cells[cell] = true;
    changed(QRect(Cells[cell], QSize(CellSize, CellSize)));
}

void TfrmScreen::HideVisualNoise()
{
    for (int cell = 1; cell <= 8; ++cell) {
        if (!m_cells[cell])
            continue;
        m_cells[cell] = false;
        changed(QRect(Cells[cell], QSize(CellSize, CellSize)));
    }
}

void TfrmScreen::SetStatusLine(const QString &text)
{
    // Below y = 480, off the child's screen: kept, never drawn.
    m_status = text;
}

QString TfrmScreen::Guide(int line) const
{
    return line >= 1 && line <= 3 ? m_guides[line - 1] : QString();
}

QString TfrmScreen::TargetShown() const
{
    return m_target;
}

QList<int> TfrmScreen::VisibleNoiseCells() const
{
    QList<int> cells;
    for (int cell = 1; cell <= 8; ++cell)
        if (m_cells[cell])
            cells.append(cell);
    return cells;
}

QRect TfrmScreen::CanvasRect() const
{
    const double scale = std::min(width() / double(CanvasWidth), height() / double(CanvasHeight));
    const double left = (width() - CanvasWidth * scale) / 2;
    const double top = (height() - CanvasHeight * scale) / 2;
    return QRect(int(std::lround(left)), int(std::lround(top)), int(std::lround(CanvasWidth * scale)),
                 int(std::lround(CanvasHeight * scale)));
}

void TfrmScreen::changed(const QRect &canvasRect)
{
    ensureLayout();
    // One pixel more for the antialiased edges.
    const QRect device = toDevice(canvasRect).adjusted(-1, -1, 1, 1);
    if (m_inTick)
        m_pending += device;
    else
        update(device);
}

void TfrmScreen::ensureLayout()
{
    if (m_layoutSize == size() && m_layoutRatio == devicePixelRatioF())
        return;
    m_layoutSize = size();
    m_layoutRatio = devicePixelRatioF();
    // Loading the Japanese font's outlines takes tens of ms: done at the first opening, before any tick,
    // rather than at program start.
    if (m_circle.isEmpty()) {
        m_circle = symbolPath(u"○"_s, CircleHeight, CircleBox, CircleInk);
        m_cross = symbolPath(u"×"_s, CrossHeight, CrossBox, CrossInk);
        m_triangle = symbolPath(u"△"_s, TriangleHeight, QRectF(0, 0, CellSize, CellSize), TriangleInk);
    }
    m_scale = std::min(width() / double(CanvasWidth), height() / double(CanvasHeight));
    m_toDevice = QTransform(m_scale, 0, 0, m_scale, (width() - CanvasWidth * m_scale) / 2,
                            (height() - CanvasHeight * m_scale) / 2);
    for (int i = 0; i < 3; ++i)
        prepareGuide(i);
    m_circleSprite = sprite(m_circle, QPoint(), Panel);
    m_crossSprite = sprite(m_cross, QPoint(), Panel.intersected(CrossBox));
    for (int cell = 1; cell <= 8; ++cell)
        m_triangleSprites[cell] = sprite(m_triangle, Cells[cell], QRect(Cells[cell], QSize(CellSize, CellSize)));
}

TfrmScreen::TSprite TfrmScreen::sprite(const QPainterPath &path, const QPoint &canvasOffset,
                                       const QRect &canvasClip) const
{
    TSprite sprite;
    sprite.place = toDevice(canvasClip);
    const qreal ratio = devicePixelRatioF();
    sprite.image = QImage(sprite.place.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    sprite.image.setDevicePixelRatio(ratio);
    sprite.image.fill(Qt::transparent);
    QPainter painter(&sprite.image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setTransform(QTransform::fromTranslate(canvasOffset.x(), canvasOffset.y()) * m_toDevice *
                         QTransform::fromTranslate(-sprite.place.left(), -sprite.place.top()));
    painter.fillPath(path, StimulusRed);
    return sprite;
}

// Edges go to whole device pixels, so a one-pixel line of the canvas stays one solid line at any scale.
QRect TfrmScreen::toDevice(const QRectF &canvasRect) const
{
    const QRectF mapped = m_toDevice.mapRect(canvasRect);
    const int left = int(std::lround(mapped.left()));
    const int top = int(std::lround(mapped.top()));
    const int right = std::max(left + 1, int(std::lround(mapped.right())));
    const int bottom = std::max(top + 1, int(std::lround(mapped.bottom())));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

void TfrmScreen::prepareGuide(int index)
{
    const QString &text = m_guides[index];
    m_guideTexts[index].setText(text);
    if (text.isEmpty())
        return;
    const QFontMetricsF metrics(m_guideFont);
    const QRect &box = GuideBoxes[index];
    const double advance = metrics.horizontalAdvance(text);
    // Noto's kana are all full width where the layout's font has narrower proportional ones: a line longer
    // than its box is narrowed to fit instead of being cut off at both ends.
    const double narrow = advance > box.width() ? box.width() / advance : 1.0;
    QTransform placement;
    placement.translate(box.left() + (box.width() - advance * narrow) / 2,
                        box.top() + EmAscent * GuideHeight - metrics.ascent());
    placement.scale(narrow, 1.0);
    m_guidePlacement[index] = placement;
    m_guideTexts[index].prepare(placement * m_toDevice, m_guideFont);
}

void TfrmScreen::paintEvent(QPaintEvent *event)
{
    ensureLayout();
    const QRegion &region = event->region();
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::black);

    // shpSotowaku: one-pixel white outline.
    const QRect frameLines[] = {
        {Frame.left(), Frame.top(), Frame.width(), 1},
        {Frame.left(), Frame.bottom(), Frame.width(), 1},
        {Frame.left(), Frame.top(), 1, Frame.height()},
        {Frame.right(), Frame.top(), 1, Frame.height()},
    };
    for (const QRect &line : frameLines)
        painter.fillRect(toDevice(line), Qt::white);

    // Bevel1, lowered: shadow on the top and left edges, highlight on the bottom and right ones.
    if (region.intersects(toDevice(Bevel))) {
        const int l = Bevel.left(), t = Bevel.top(), r = Bevel.right(), b = Bevel.bottom();
        painter.fillRect(toDevice(QRect(l, t, r - l, 1)), BevelShadow);
        painter.fillRect(toDevice(QRect(l, t + 1, 1, b - t)), BevelShadow);
        painter.fillRect(toDevice(QRect(r, t, 1, b - t)), BevelHighlight);
        painter.fillRect(toDevice(QRect(l + 1, b, r - l, 1)), BevelHighlight);
    }

    painter.setFont(m_guideFont);
    for (int i = 0; i < 3; ++i) {
        if (m_guides[i].isEmpty() || !region.intersects(toDevice(GuideBoxes[i])))
            continue;
        painter.setTransform(m_guidePlacement[i] * m_toDevice);
        painter.setPen(i == 2 ? GuideYellow : GuideWhite);
        painter.drawStaticText(0, 0, m_guideTexts[i]);
    }
    painter.resetTransform();

    for (int cell = 1; cell <= 8; ++cell) {
        const TSprite &triangle = m_triangleSprites[cell];
        if (m_cells[cell] && region.intersects(triangle.place))
            painter.drawImage(triangle.place.topLeft(), triangle.image);
    }
    // Panel1 is black like the background; its symbols are cut to it.
    if (!m_target.isEmpty()) {
        const TSprite &symbol = m_target == u"T" ? m_circleSprite : m_crossSprite;
        if (region.intersects(symbol.place))
            painter.drawImage(symbol.place.topLeft(), symbol.image);
    }
}

} // namespace vigix
