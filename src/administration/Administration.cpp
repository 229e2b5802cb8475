#include "Administration.h"

#include "Errors.h"
#include "Random.h"
#include "TestFile.h"
#include "TestStore.h"
#include "TimingSummary.h"

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

// One page of the explanation: its lines, its narration, when it prompts and what it demonstrates.
struct TExplanationPage
{
    enum class Demo { None, Circles, Crosses, Mixed };
    const char16_t *guide1;
    const char16_t *guide2;
    int narration; // 0: none
    int promptStep;
    const char16_t *prompt;
    Demo demo;
    int demoFrom;
};

constexpr char16_t PressLeft[] = u"ひだりのボタンをおしてください";

constexpr TExplanationPage ExplanationPages[] = {
    {u"", u"説明セクション", 0, 0, PressLeft, TExplanationPage::Demo::None, 0},
    {u"", u"テストのせつめいをします", 1, 30, PressLeft, TExplanationPage::Demo::None, 0},
    {u"ちゅうおうにあかい○があらわれたら", u"ひだりのボタンをできるだけはやく１回おしてください", 2, 200, PressLeft,
     TExplanationPage::Demo::Circles, 80},
    {u"", u"×のときはボタンをおしてはいけません", 3, 200, PressLeft, TExplanationPage::Demo::Crosses, 50},
    {u"さんかくがあらわれたり、おとがきこえたりしますが", u"きにしないでください", 4, 200, PressLeft,
     TExplanationPage::Demo::Mixed, 80},
    {u"○のときはできるだけはやく、せいかくに", u"ひだりボタンを１かいおしてください", 5, 200, PressLeft,
     TExplanationPage::Demo::Mixed, 80},
    {u"ボタンをおしまちがえたり、おしわすれても", u"とちゅうでやめずにつづけてください", 6, 200, PressLeft,
     TExplanationPage::Demo::Mixed, 80},
    {u"", u"これで説明は終わりです", 0, 30, u"[Shift] + [Esc]", TExplanationPage::Demo::None, 0},
};
constexpr int LastExplanationPage = 7;
constexpr int StepLimit = 1000;

// Feedback of the practice evaluation, by outcome 0..4.
struct TPracticeFeedback
{
    int narration;
    const char16_t *guide1;
    const char16_t *guide2;
    const char16_t *guide3;
};

constexpr char16_t OnceMore[] = u"それでは、もういちどれんしゅうをします";

constexpr TPracticeFeedback PracticeFeedback[] = {
    {8, u"よくできました", u"これでれんしゅうはおわりです", u"[Shift]+[Esc]"},
    {9, u"×のときはボタンをおしてはいけません", OnceMore, u""},
    {10, u"○のときはかならずひだりボタンをおしてください", u"", OnceMore},
    {11, u"ボタンは１かいだけおしてください", u"", OnceMore},
    {12, u"○のときはできるだけはやくおしてください", u"", OnceMore},
};

constexpr int PauseBeforeFirstRound = -20;
constexpr int TitleStep = 50;
constexpr int LastDemonstrationStep = 44;
constexpr int FeedbackTicks = 90;

QString text(const char16_t *literal)
{
    return QString::fromUtf16(literal);
}

} // namespace

const QString TAdministration::PressLeftPrompt = QString::fromUtf16(PressLeft);

TAdministration::TAdministration(IScreen &screen, ISoundChannel &sound, IMillisecondClock &clock, TTestFile &testFile,
                                 TTestFile &practiceFile, TRandom &random)
    : m_screen(screen), m_sound(sound), m_clock(clock), m_testFile(testFile), m_practiceFile(practiceFile),
      m_random(random)
{
}

void TAdministration::StartSection(int section)
{
    Section = section;
    Page = 0;
    Step = 0;
}

void TAdministration::Open()
{
    m_screen.ResetScreen();
    // Practice and test accept presses only from their title on: a press left enabled by an earlier section
    // would otherwise cut the demonstration short and start the rounds before the child has seen the title.
    if (Section == int(TSection::Practice) || Section == int(TSection::Test))
        ClickEnabled = false;
    if (Section == int(TSection::Practice)) {
        m_practiceFile.MakePracticeRounds(m_random);
        Round = 1;
    } else if (Section == int(TSection::Test)) {
        m_offeredNumber = m_testFile.Info.Kensabangou;
        m_testFile.MakeTestRounds(m_random);
        Round = 1;
        Timing.Reset();
        if (Journal)
            Journal->Begin(m_testFile.Info, Store ? Store->Folder() : QString());
    }
    m_stateCount = 0;
    m_marks = {};
    m_onsetTimed = false;
    m_roundToJournal = 0;
    TicksEnabled = true;
}

void TAdministration::Tick()
{
    if (!TicksEnabled)
        return;
    journalFinishedRound();
    m_marks = {};
    if (Page == 1 && Step >= 0)
        m_marks.Round = Round;
    switch (TSection(Section)) {
    case TSection::Explanation:
        ExplanationStep();
        break;
    case TSection::Practice:
        PracticeStep();
        break;
    case TSection::Test:
        TestStep();
        break;
    case TSection::None:
        break;
    }
}

void TAdministration::ExplanationStep()
{
    explanationPage();
    m_screen.SetStatusLine(u"  Page:%1  Step:%2"_s.arg(Page).arg(Step));
    if (Step < StepLimit)
        ++Step;
}

void TAdministration::explanationPage()
{
    if (Page < 0 || Page > LastExplanationPage)
        return;
    const TExplanationPage &page = ExplanationPages[Page];
    if (Step == 0) {
        m_screen.HideTarget();
        m_screen.HideVisualNoise();
        if (page.narration > 0)
            PlayNarration(page.narration);
        m_screen.SetGuides(text(page.guide1), text(page.guide2), QString());
        ClickEnabled = Page == 0;
    }
    if (Step == page.promptStep) {
        m_screen.SetGuides(text(page.guide1), text(page.guide2), text(page.prompt));
        ClickEnabled = true;
    }
    if (page.demo == TExplanationPage::Demo::None || Step < page.demoFrom)
        return;
    // One flash every 20 ticks, one tick long, the first one tick after the demonstration's start.
    const int sinceStart = Step - page.demoFrom;
    if (sinceStart % 20 == 1) {
        switch (page.demo) {
        case TExplanationPage::Demo::Circles:
            m_screen.ShowTarget(u"T"_s);
            break;
        case TExplanationPage::Demo::Crosses:
            m_screen.ShowTarget(u"N"_s);
            break;
        case TExplanationPage::Demo::Mixed: {
            m_screen.ShowTarget(int(m_random.RandomReal() * 2) == 0 ? u"T"_s : u"N"_s);
            const QString kind = int(m_random.RandomReal() * 2) == 0 ? u"A"_s : u"V"_s;
            const int number = int(m_random.RandomReal() * 8 + 1);
            PresentNoise(kind, number);
            break;
        }
        case TExplanationPage::Demo::None:
            break;
        }
    } else if (sinceStart % 20 == 2) {
        m_screen.HideTarget();
        if (page.demo == TExplanationPage::Demo::Mixed)
            m_screen.HideVisualNoise();
    }
}

void TAdministration::titleStep(const QString &title)
{
    if (Step == 0)
        m_screen.SetGuides(QString(), QString(), QString());
    if (Step <= LastDemonstrationStep) {
        // Nine circles, one every half second; the k-th after the first brings triangle k and tone k.
        if (Step % 5 == 0) {
            const int k = Step / 5;
            m_screen.ShowTarget(u"T"_s);
            PresentNoise(u"V"_s, k);
            PresentNoise(u"A"_s, k);
        } else if (Step % 5 == 1) {
            m_screen.HideTarget();
        } else if (Step % 5 == 2) {
            m_screen.HideVisualNoise();
        }
    }
    if (Step == TitleStep) {
        m_screen.SetGuides(QString(), title, PressLeftPrompt);
        ClickEnabled = true; // the title waits for a press without a time limit
    } else {
        ++Step;
    }
}

void TAdministration::roundsStep(TTestFile &file, int lastRound)
{
    const TRoundInfo &round = file.Rounds[Round];
    if (Step == 0) {
        // Taken again when the screen tells that the stimulus has been handed to the window system
        // (FrameShown); a screen that does not tell keeps this one, from before the drawing.
        OnsetTime = m_clock.Now();
        m_onsetAwaitingFrame = true;
        ResponseNo = 1;
        m_screen.ShowTarget(round.Target);
        PresentNoise(round.Noise, round.NoiseNo);
        m_marks.Onset = true;
    }
    if (Step == 1) {
        m_screen.HideTarget();
        m_marks.TargetHidden = true;
    }
    if (Step == 2) {
        m_screen.HideVisualNoise();
        m_marks.NoiseHidden = round.Noise == u"V" && round.NoiseNo >= 1 && round.NoiseNo <= 8;
    }
    // A round of Ticks t ends on its step t, and the next onset follows on the very next tick.
    if (Step >= round.Ticks) {
        // The round is final now: what Shift+Esc would store of it from here on.
        if (Journal && &file == &m_testFile)
            m_roundToJournal = Round;
        ++Round;
        Step = -1;
        if (Round == lastRound + 1)
            Page = 2;
    }
    ++Step;
}

void TAdministration::PracticeStep()
{
    switch (Page) {
    case 0:
        titleStep(u"練習セクション"_s);
        break;
    case 1:
        roundsStep(m_practiceFile, TTestFile::PracticeRounds);
        break;
    case 2:
        m_screen.SetGuides(QString(), QString(), PressLeftPrompt);
        break;
    case 3:
        if (Step == 0) {
            const int outcome = EvaluatePractice();
            showPracticeFeedback(outcome);
            if (outcome == 0)
                TicksEnabled = false; // passed: the praise stays until Shift+Esc
        }
        ++Step;
        if (Step == FeedbackTicks) {
            // Failed: the title again, without the demonstration, over a fresh schedule.
            m_practiceFile.MakePracticeRounds(m_random);
            Round = 1;
            Page = 0;
            Step = TitleStep;
        }
        break;
    default:
        break;
    }
    QString target, noise;
    if (Round >= 1 && Round <= TTestFile::MaxRounds) {
        target = m_practiceFile.Rounds[Round].Target;
        noise = m_practiceFile.Rounds[Round].Noise;
    }
    m_screen.SetStatusLine(u"  Round:%1  Target:%2  Noise:%3  Step:%4"_s.arg(Round).arg(target, noise).arg(Step));
}

void TAdministration::showPracticeFeedback(int outcome)
{
    const TPracticeFeedback &feedback = PracticeFeedback[outcome];
    PlayNarration(feedback.narration);
    m_screen.SetGuides(text(feedback.guide1), text(feedback.guide2), text(feedback.guide3));
}

int TAdministration::EvaluatePractice()
{
    m_practiceFile.RoundCount = TTestFile::PracticeRounds;
    m_practiceFile.Culc();
    const auto &all = m_practiceFile.CulcResult.Count[condT];
    constexpr int FailingCount = 3;
    if (all[E_COM] >= FailingCount)
        return 1;
    if (all[E_OMI] >= FailingCount)
        return 2;
    if (all[E_MUL] >= FailingCount)
        return 3;
    if (m_practiceFile.CulcResult.MeanRT[condT] >= 800.0)
        return 4;
    return 0;
}

void TAdministration::TestStep()
{
    switch (Page) {
    case 0:
        titleStep(u"検査セクション"_s);
        break;
    case 1:
        roundsStep(m_testFile, TTestFile::TestRounds);
        break;
    case 2:
        m_screen.SetGuides(QString(), u"これでけんさはおわりです"_s, u"[Shift]+[Esc]"_s);
        TicksEnabled = false;
        break;
    default:
        break;
    }
}

void TAdministration::FrameShown(const TFrameTiming &frame)
{
    if (std::exchange(m_onsetAwaitingFrame, false))
        OnsetTime = m_clock.Now();
    rememberState(m_clock.Now());
    if (Section == int(TSection::Test))
        judgeFrame(frame);
    m_marks = {};
}

void TAdministration::judgeFrame(const TFrameTiming &frame)
{
    const int round = m_marks.Round;
    if (round == 0)
        return;
    if (!frame.Timed) {
        m_onsetTimed = false;
        return;
    }
    const auto exposureOff = [&](int ticks) {
        return std::abs(frame.ShownMs - m_onsetShownMs - ticks * TickPeriodMs) > ExposureToleranceMs;
    };
    bool disturbed = frame.Slipped;
    if (m_marks.Onset) {
        m_onsetShownMs = frame.ShownMs;
        m_onsetTimed = true;
        disturbed = disturbed || frame.LateMs > LateOnsetMs;
    }
    if (m_marks.TargetHidden && m_onsetTimed)
        disturbed = disturbed || exposureOff(1);
    if (m_marks.NoiseHidden && m_onsetTimed)
        disturbed = disturbed || exposureOff(2);
    if (disturbed)
        Timing.AddDisturbedRound(round);
}

void TAdministration::rememberState(std::uint32_t from)
{
    if (m_stateCount == int(m_states.size())) {
        std::move(m_states.begin() + 1, m_states.end(), m_states.begin());
        --m_stateCount;
    }
    m_states[m_stateCount++] = {from, Page, Step, Round, OnsetTime};
}

TAdministration::TPressState TAdministration::stateAt(std::uint32_t time) const
{
    // Compared on the wrapping clock: a state is in effect at `time` when it began at most 2^31 ms before.
    const auto since = [time](const TPressState &state) { return static_cast<std::int32_t>(time - state.From); };
    // Made after the last change: what is on the screen now (also when no frame has been reported).
    if (m_stateCount == 0 || since(m_states[m_stateCount - 1]) >= 0)
        return {time, Page, Step, Round, OnsetTime};
    for (int i = m_stateCount - 2; i >= 0; --i)
        if (since(m_states[i]) >= 0)
            return m_states[i];
    return m_states[0];
}

void TAdministration::journalFinishedRound()
{
    if (const int round = std::exchange(m_roundToJournal, 0); round > 0 && Journal)
        Journal->RoundCompleted(round, m_testFile.Rounds[round]);
}

void TAdministration::lblClickAreaMouseDown(TMouseButton button, std::optional<std::uint32_t> madeAt)
{
    if (!ClickEnabled)
        return;
    if (Section == int(TSection::Explanation)) {
        if (Page <= LastExplanationPage) {
            Step = 0;
            ++Page;
        }
        return;
    }
    if (Section != int(TSection::Practice) && Section != int(TSection::Test))
        return;
    // The press's own time where the window system gave one on this clock: recent, and not in the future
    // (compared on the wrapping clock); otherwise the time it is handled.
    const std::uint32_t handled = m_clock.Now();
    std::uint32_t pressTime = handled;
    if (madeAt && handled - *madeAt <= MaxEventAgeMs) {
        pressTime = *madeAt;
        if (Section == int(TSection::Test))
            Timing.AddEventTimedPress(handled - *madeAt);
    }
    TTestFile &file = Section == int(TSection::Practice) ? m_practiceFile : m_testFile;
    // The press that leaves the title is never recorded: it sets Step to the pause before the first round.
    if (Page == 0) {
        m_screen.SetGuides(QString(), QString(), QString());
        Step = PauseBeforeFirstRound;
        Page = 1;
        rememberState(handled);
        return;
    }
    // Judged by what was on the screen when the press was made: a press made before a frame but handled
    // after it belongs to the step before, never to the round the frame began.
    const TPressState state = stateAt(pressTime);
    if (state.Page == 1 && state.Step >= 1)
        recordPress(file, button, state, pressTime);
    if (Page == 2 && state.Page == 2 && Section == int(TSection::Practice)) {
        Step = 0;
        Page = 3;
        rememberState(handled);
    }
}

void TAdministration::recordPress(TTestFile &file, TMouseButton button, const TPressState &state,
                                  std::uint32_t pressTime)
{
    // Unsigned 32-bit subtraction, as the millisecond clock wraps.
    const std::uint32_t reactionTime = pressTime - state.OnsetTime;
    TRoundInfo &round = file.Rounds[state.Round];
    int slot = TRoundInfo::Slots;
    if (state.Round == Round) {
        slot = ResponseNo;
        // The eleventh and later presses of a round overwrite slot 10.
        if (ResponseNo < TRoundInfo::Slots)
            ++ResponseNo;
    } else {
        // A round already over: its next empty slot.
        for (int i = 1; i <= TRoundInfo::Slots; ++i)
            if (round.Button[i] == 0) {
                slot = i;
                break;
            }
    }
    round.RT[slot] = static_cast<int>(reactionTime);
    round.Button[slot] = static_cast<int>(button);
    // A round already handed to the journal goes again with the press: a crash from here on must not lose it.
    if (Journal && &file == &m_testFile && state.Round != Round && state.Round != m_roundToJournal)
        Journal->RoundCompleted(state.Round, round);
}

bool TAdministration::FormKeyDown(int key, bool shiftHeld)
{
    if (key != EscapeKey || !shiftHeld)
        return false;
    if (Section == int(TSection::Test))
        SaveTest();
    return true;
}

void TAdministration::SaveTest()
{
    // The test ends here, whether or not the file can be written: rounds run behind an error box could not be
    // answered and would be stored as omissions. A further Shift+Esc stores the same rounds.
    TicksEnabled = false;
    ClickEnabled = false;
    journalFinishedRound();
    // The round in progress, with any presses already in it, is not stored.
    m_testFile.RoundCount = std::clamp(Round - 1, 0, int(TTestFile::TestRounds));
    if (!Store)
        throw EInOutError(u"検査を保存するデータフォルダがありません"_s);
    // The number was offered, not reserved, when the subject was entered. Another computer may have taken it
    // since: the store then takes the next free one, and never replaces the other test.
    Store->StoreNewTest(m_testFile);
    if (Journal)
        Journal->Finish();
    // Beside the test, how well time was kept during it. Ticks not from the engine carry no deadline and are
    // not measured; a test stored without measurements has no summary. A summary that cannot be written
    // costs the test nothing: it is stored.
    if (Timing.Ticks() > 0) {
        try {
            Store->StoreTimingSummary(m_testFile.Info.Kensabangou, Timing.Summary(m_testFile.RoundCount));
        } catch (const EVigixError &) {
        }
    }
    if (OnTestSaved)
        OnTestSaved();
    // Compared with the number of the opening, so that a save retried after a failure still tells.
    if (m_testFile.Info.Kensabangou != m_offeredNumber && OnNumberTaken)
        OnNumberTaken(m_offeredNumber, m_testFile.Info.Kensabangou);
}

void TAdministration::SectionClosed()
{
    TicksEnabled = false;
    journalFinishedRound();
}

void TAdministration::PresentNoise(const QString &code, int number)
{
    const bool inRange = number >= 1 && number <= 8;
    if (code == u"N") {
        m_sound.PlaySound(ISoundChannel::Silence);
    } else if (code == u"V") {
        m_sound.PlaySound(ISoundChannel::Silence);
        if (inRange)
            m_screen.ShowVisualNoise(number);
    } else if (code == u"A") {
        if (inRange)
            m_sound.PlaySound(number);
    }
}

void TAdministration::PlayNarration(int number)
{
    // A missing recording is silence; the channel leaves the current sound alone then.
    m_sound.PlayFile(u"%1narr_%2.wav"_s.arg(WaveFolder).arg(number));
}

} // namespace vigix
