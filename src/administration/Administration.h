#pragma once

#include "AdministrationInterfaces.h"
#include "TimingRecord.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace vigix {

class TRandom;
class TTestFile;
class TTestStore;

// How one tick's frame reached the screen, as the stimulus window reports it after the tick.
struct TFrameTiming
{
    double ShownMs = 0;   // when the frame was handed to the window system, on the tick engine's clock
    double LateMs = 0;    // how long after the tick's deadline
    bool Slipped = false; // the frame came so late that the tick schedule slipped
    bool Timed = false;   // the tick came from the engine with a deadline (tests send ticks without)
};

// The running section of the stimulus window: its state, the three section scripts run once per tick, the
// handling of the child's presses and of the examiner's Shift+Esc, and the test save. It draws through the
// screen interface, plays through the sound channel and times through the millisecond clock, so a test can
// run a whole section tick by tick without a window.
class TAdministration
{
public:
    enum class TSection { None = 0, Explanation = 1, Practice = 2, Test = 3 };
    enum class TMouseButton { Left = 1, Right = 2, Middle = 3 };
    static constexpr int EscapeKey = 27;

    TAdministration(IScreen &screen, ISoundChannel &sound, IMillisecondClock &clock, TTestFile &testFile,
                    TTestFile &practiceFile, TRandom &random);

    // The state the scripts and handlers share; the starter writes Section, Page and Step.
    int Section = 0;
    int Page = 0;
    int Step = 0;
    int Round = 0;
    int ResponseNo = 1;
    bool ClickEnabled = false; // false at program start; only the scripts change it
    bool TicksEnabled = false;
    std::uint32_t OnsetTime = 0;
    // The tick period, against which the exposure of each stimulus is judged.
    double TickPeriodMs = 100;

    // A round's stimulus counts as disturbed when its onset is later than this after its tick's deadline, or
    // when it stays up for more or less than its ticks by more than ExposureToleranceMs.
    static constexpr double LateOnsetMs = 5.0;
    static constexpr double ExposureToleranceMs = 2.0;
    // A press's own time from the window system is taken when it is at most this old at its handling: older,
    // or in the future, it is not on the program's clock.
    static constexpr std::uint32_t MaxEventAgeMs = 1000;

    QString WaveFolder; // narration files "narr_N.wav", ending in the separator
    TTestStore *Store = nullptr; // where the test is stored
    // How well time was kept during the test section; the window feeds it, the save stores its summary.
    TTimingRecorder Timing;
    // Keeps each completed round of the test section as it completes; none when null.
    IRoundJournal *Journal = nullptr;
    // Called after the test file has been written (the main window refreshes its list).
    std::function<void()> OnTestSaved;
    // Called after the save when the offered test number had been taken meanwhile (another copy of the
    // program, a file copied in) and the test was stored under the next free number instead.
    std::function<void(const QString &offered, const QString &stored)> OnNumberTaken;

    // What a starter does before showing the window: Section as given, Page 0, Step 0.
    void StartSection(int section);
    // The opening of the window: reset the screen, build the schedule of the practice or the test (whose
    // presses count only from the title on), enable ticks.
    void Open();
    // One tick: runs the script of Section while ticks are enabled.
    void Tick();

    void ExplanationStep();
    void PracticeStep();
    void TestStep();
    // Scores the 30 practice rounds: 0 passed, 1 commission, 2 omission, 3 multiple responses, 4 too slow.
    int EvaluatePractice();

    // A press of a mouse button anywhere on the window. madeAt: the window system's own time of the press on
    // the millisecond clock, when it has one; a press is timed from it, and counts in the round and step that
    // were on the screen when it was made, even when it is handled after the next frame.
    void lblClickAreaMouseDown(TMouseButton button, std::optional<std::uint32_t> madeAt = std::nullopt);
    // The screen has handed the frame of the tick to the window system. After a round's onset, the onset time
    // is taken now: a reaction is timed from when the stimulus could be seen, not from before its drawing.
    // Presses count from the next tick on, so none falls between the two. The frame's timing tells which
    // rounds of the test were disturbed.
    void FrameShown(const TFrameTiming &frame);
    // A key press. Shift+Esc stores the test (section 3) and returns true: the window is to close. A failed
    // save raises the writer's error and the window stays open with the rounds stopped, so that Shift+Esc can
    // be pressed again to store the same rounds.
    bool FormKeyDown(int key, bool shiftHeld);
    // Ends the test (no tick or press counts after it) and stores TestFile with the rounds whose last step has
    // run, never over another test's file, then calls OnTestSaved.
    void SaveTest();
    // The window closes, by Shift+Esc or without storing the test (a quit request): no tick counts after it, and
    // the round completed last reaches the journal now rather than on a tick that will not come.
    void SectionClosed();

    // Presentation operations that combine screen and sound.
    void PresentNoise(const QString &code, int number);
    void PlayNarration(int number);

    // The page texts, shared with the window's tests.
    static const QString PressLeftPrompt;

private:
    // What presses see: the state after a frame, or after a press that changed it, from a given time on.
    struct TPressState
    {
        std::uint32_t From = 0; // millisecond clock
        int Page = 0;
        int Step = 0;
        int Round = 0;
        std::uint32_t OnsetTime = 0;
    };
    // What the running tick did to its round's stimulus, timed when its frame is shown.
    struct TTickMarks
    {
        int Round = 0; // the round the tick belongs to; 0 outside the rounds
        bool Onset = false;
        bool TargetHidden = false;
        bool NoiseHidden = false;
    };

    void explanationPage();
    void roundsStep(TTestFile &file, int lastRound);
    void titleStep(const QString &title);
    void recordPress(TTestFile &file, TMouseButton button, const TPressState &state, std::uint32_t pressTime);
    void rememberState(std::uint32_t from);
    TPressState stateAt(std::uint32_t time) const;
    void judgeFrame(const TFrameTiming &frame);
    void journalFinishedRound();
    void showPracticeFeedback(int outcome);

    IScreen &m_screen;
    ISoundChannel &m_sound;
    IMillisecondClock &m_clock;
    TTestFile &m_testFile;
    TTestFile &m_practiceFile;
    TRandom &m_random;
    QString m_offeredNumber;           // the test's number when its section opened
    bool m_onsetAwaitingFrame = false; // a round's stimulus was drawn this tick; its frame is not yet shown
    // The states of the last frames, oldest first; they reach back further than MaxEventAgeMs.
    std::array<TPressState, 24> m_states{};
    int m_stateCount = 0;
    TTickMarks m_marks;
    double m_onsetShownMs = 0;
    bool m_onsetTimed = false;
    // A completed round goes to the journal one tick later, so that a press made before its last frame but
    // handled after it is usually in its first line; a press handled later still hands the round over again.
    int m_roundToJournal = 0;
};

} // namespace vigix
