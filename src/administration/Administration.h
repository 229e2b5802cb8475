#pragma once

#include "AdministrationInterfaces.h"
#include "TimingRecord.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace vigix {

class TRandom;
class TTestFile;

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

    QString WaveFolder; // narration files "narr_N.wav", ending in the separator
    QString DataFolder; // where the test is stored, ending in the separator
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

    // A press of a mouse button anywhere on the window.
    void lblClickAreaMouseDown(TMouseButton button);
    // The screen has handed the frame of the tick to the window system. After a round's onset, the onset time
    // is taken now: a reaction is timed from when the stimulus could be seen, not from before its drawing.
    // Presses count from the next tick on, so none falls between the two.
    void StimulusOnScreen();
    // A key press. Shift+Esc stores the test (section 3) and returns true: the window is to close. A failed
    // save raises the writer's error and the window stays open with the rounds stopped, so that Shift+Esc can
    // be pressed again to store the same rounds.
    bool FormKeyDown(int key, bool shiftHeld);
    // Ends the test (no tick or press counts after it) and stores TestFile with the rounds whose last step has
    // run, never over another test's file, then calls OnTestSaved.
    void SaveTest();

    // Presentation operations that combine screen and sound.
    void PresentNoise(const QString &code, int number);
    void PlayNarration(int number);

    // The page texts, shared with the window's tests.
    static const QString PressLeftPrompt;

private:
    void explanationPage();
    void roundsStep(TTestFile &file, int lastRound);
    void titleStep(const QString &title);
    void recordPress(TTestFile &file, TMouseButton button);
    void showPracticeFeedback(int outcome);

    IScreen &m_screen;
    ISoundChannel &m_sound;
    IMillisecondClock &m_clock;
    TTestFile &m_testFile;
    TTestFile &m_practiceFile;
    TRandom &m_random;
    QString m_offeredNumber;           // the test's number when its section opened
    bool m_onsetAwaitingFrame = false; // a round's stimulus was drawn this tick; its frame is not yet shown
};

} // namespace vigix
