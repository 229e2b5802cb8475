#pragma once

#include "Administration.h"
#include "AdministrationInterfaces.h"
#include "ThreadPriority.h"
#include "TickEngine.h"

#include <QFont>
#include <QImage>
#include <QList>
#include <QPainterPath>
#include <QRegion>
#include <QStaticText>
#include <QTransform>
#include <QWidget>

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace vigix {

class TRandom;
class TTestFile;

// The child's screen: a black full-screen window that shows a 640 x 480 canvas, scaled uniformly and centred,
// and runs the section scripts of its administration, one step per tick. Every mouse press anywhere on it is a
// response; the child's keys and the window manager cannot close it while a section runs, only Shift+Esc and a
// quit request can. It is created once, hidden, and shown
// again for each section.
class TfrmScreen : public QWidget, public IScreen
{
    Q_OBJECT
public:
    static constexpr int CanvasWidth = 640;
    static constexpr int CanvasHeight = 480;

    // tickTimeSource null: ticks follow the real steady clock (tests pass one that never ticks and send the
    // ticks themselves).
    TfrmScreen(TTestFile &testFile, TTestFile &practiceFile, TRandom &random, ISoundChannel &sound,
               IMillisecondClock &clock, QWidget *parent = nullptr, ITickTimeSource *tickTimeSource = nullptr);
    ~TfrmScreen() override;

    TAdministration &Administration() { return m_administration; }

    // What a starter does: Section as given, Page and Step 0, then the window full-screen (not modal). Opening
    // runs as it is shown.
    void StartSection(int section);
    // A quit request (SIGTERM, SIGHUP): closes a running section without storing its test. The journal, with the
    // round completed last, stays to be offered at the next start, as after a crash. Closed is not emitted.
    void EndWithoutStoring();
    // Whether a section runs: from opening until the Shift+Esc close.
    bool IsOpen() const { return m_open; }
    // Generation of the ticks the running opening accepts.
    std::uint64_t Generation() const { return m_generation; }
    // Tick period of later openings; 100 ms unless a benchmark runs the sections faster.
    void SetTickPeriod(std::chrono::nanoseconds period) { m_tickPeriod = period; }
    // While a section runs, the user-interface thread and the tick thread are lifted (ThreadPriority.h), through
    // RealtimeKit where the process may not do it itself. Both null: this system's scheduler, no RealtimeKit.
    void SetPriorityServices(IThreadScheduler *scheduler, IRealtimeKit *realtimeKit);
    // Whether the window system stamps presses on the millisecond clock of onsets (X11 and Wayland do); a press
    // is then timed from its stamp. Tests that make their own stamps turn it on.
    void SetEventTimesOnClock(bool onClock) { m_eventTimesOnClock = onClock; }
    // What the user-interface thread obtained for the running section (Normal when closed).
    TPriorityGrant UiPriority() const { return m_uiPriority; }

    // IScreen
    void ResetScreen() override;
    void SetGuides(const QString &guide1, const QString &guide2, const QString &guide3) override;
    void ShowTarget(const QString &code) override;
    void HideTarget() override;
    void ShowVisualNoise(int cell) override;
    void HideVisualNoise() override;
    void SetStatusLine(const QString &text) override;

    // What the canvas shows, for the tests and the main window.
    QString Guide(int line) const; // 1..3
    QString TargetShown() const;   // "T", "N" or empty
    QList<int> VisibleNoiseCells() const;
    QString StatusLine() const { return m_status; }
    // The canvas's place in the window.
    QRect CanvasRect() const;

signals:
    // The window closed by Shift+Esc (and is hidden until the next section).
    void Closed();
    // Shift+Esc could not store the test: the window stays open and Shift+Esc may be pressed again. Without a
    // receiver the error is raised on to the application's event loop.
    void SaveFailed(const QString &message);

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void open();
    void closeSection();
    void restorePriority();
    void press(const QMouseEvent &event);
    void handlePress(Qt::MouseButton button, std::optional<std::uint32_t> madeAt);
    // Lateness against the deadline and handling time of a tick of the test section.
    void recordTick(const TTickEvent &tick, TTickEvent::Clock::time_point arrived);
    void changed(const QRect &canvasRect);
    void ensureLayout();
    QRect toDevice(const QRectF &canvasRect) const;
    void prepareGuide(int index);
    struct TSprite
    {
        QRect place; // device pixels
        QImage image;
    };
    TSprite sprite(const QPainterPath &path, const QPoint &canvasOffset, const QRect &canvasClip) const;

    TAdministration m_administration;
    TTickEngine m_engine;
    TSystemThreadScheduler m_systemScheduler;
    IThreadScheduler *m_scheduler = &m_systemScheduler;
    IRealtimeKit *m_realtimeKit = nullptr;
    std::uint64_t m_uiThread = 0;
    int m_uiNiceBefore = 0;
    TPriorityGrant m_uiPriority;
    // Threads of the window system's connection that a frame and a press wait on, lifted with the
    // user-interface thread so that it never waits behind the load of the computer.
    struct TLiftedThread
    {
        std::uint64_t id = 0;
        int niceBefore = 0;
    };
    std::vector<TLiftedThread> m_liftedHelpers;
    bool m_prioritiesRecorded = false;
    std::chrono::nanoseconds m_tickPeriod = TTickEngine::DefaultPeriod;
    std::uint64_t m_generation = 0;
    bool m_open = false;
    bool m_closeRequested = false; // set only around the Shift+Esc close and a quit request's
    bool m_inTick = false;
    bool m_eventTimesOnClock = false;
    QRegion m_pending; // what the running tick changed, painted at its end

    // Element state.
    std::array<QString, 3> m_guides;
    QString m_target;
    std::array<bool, 9> m_cells{}; // 1..8
    QString m_status;

    // Drawing, rebuilt when the window's size changes.
    QSize m_layoutSize;
    qreal m_layoutRatio = 0;
    QTransform m_toDevice;
    double m_scale = 1.0;
    QFont m_guideFont;
    std::array<QStaticText, 3> m_guideTexts;
    std::array<QTransform, 3> m_guidePlacement; // canvas placement of each prepared guide line
    QPainterPath m_circle;                      // canvas coordinates
    QPainterPath m_cross;                       // canvas coordinates
    QPainterPath m_triangle;                    // relative to its cell
    // The symbols drawn once per size, so that an onset only copies them.
    TSprite m_circleSprite;
    TSprite m_crossSprite;
    std::array<TSprite, 9> m_triangleSprites; // 1..8
};

} // namespace vigix
