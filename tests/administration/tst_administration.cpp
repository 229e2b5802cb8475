#include "AdministrationFakes.h"
#include "Errors.h"
#include "Scoring.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <map>

using namespace vigix;
using namespace vigix::testing;
using namespace Qt::StringLiterals;
using Button = TAdministration::TMouseButton;

namespace {

const QString Prompt = u"ひだりのボタンをおしてください"_s;

// From a fresh section 2 or 3 to the tick that is round 1's onset: demonstration and title (51 ticks), the
// press, the 20-tick pause.
void runToFirstOnset(Bench &b)
{
    b.ticks(51);
    b.press();
    b.ticks(20);
}

// Fills 30 practice rounds: every circle answered once after rt ms, every cross left alone.
void answerPractice(TTestFile &file, int rt = 400)
{
    for (int i = 1; i <= TTestFile::PracticeRounds; ++i) {
        TRoundInfo &round = file.Rounds[i];
        round.RT = {};
        round.Button = {};
        if (round.Target == u"T"_s) {
            round.RT[1] = rt;
            round.Button[1] = 1;
        }
    }
}

QList<int> roundsOf(const TTestFile &file, const QString &target)
{
    QList<int> numbers;
    for (int i = 1; i <= TTestFile::PracticeRounds; ++i)
        if (file.Rounds[i].Target == target)
            numbers << i;
    return numbers;
}

} // namespace

class TestAdministration : public QObject
{
    Q_OBJECT
private slots:
    void explanation_pagesNarrateAndPromptAtTheirSteps();
    void explanation_twoPressesBetweenTwoTicksTurnTwoPages();
    void explanation_demonstrationsFlashOnceEveryTwoSecondsUntilStep981();
    void explanation_afterTheLastPageNothingChanges();

    void evaluatePractice_outcomes_data();
    void evaluatePractice_outcomes();
    void practice_failedRunRepeatsAfter90TicksWithAFreshSchedule();
    void practice_passStopsTheTicks();

    void test_demonstrationWalksThroughTheEightCellsAndTones();
    void test_roundsLastTicksPlusOneAndReactionTimesAreExact();
    void test_twelvePressesKeepTheTwelfthInSlot10();
    void test_shiftEscStoresTheRoundsWhoseLastStepRan_data();
    void test_shiftEscStoresTheRoundsWhoseLastStepRan();
    void test_failedSaveStopsTheRoundsAndCanBeRetried();
    void test_numberTakenMeanwhile_storesUnderTheNextFreeNumber();
    void ticksAndPressesWhileDisabledChangeNothing();
    void test_pressTimedByItsStamp_inTheStateItWasMadeIn();
    void test_disturbedRounds_lateOnsetWrongExposureOrSlip();

    void simulatedChild_wholeTestIsStoredReadBackAndScored();
};

void TestAdministration::explanation_pagesNarrateAndPromptAtTheirSteps()
{
    Bench b;
    b.start(1);
    const int promptSteps[] = {0, 30, 200, 200, 200, 200, 200, 30};
    for (int page = 0; page <= 7; ++page) {
        b.sound.played.clear();
        b.tick(); // step 0 of the page
        QCOMPARE(b.admin.Page, page);
        const bool narrated = page >= 1 && page <= 6;
        QCOMPARE(b.sound.played.value(0), narrated ? u"F:/wave/narr_%1.wav"_s.arg(page) : QString());
        QCOMPARE(b.screen.status, u"  Page:%1  Step:0"_s.arg(page));
        if (page > 0) {
            QVERIFY(b.screen.guides[2].isEmpty());
            b.ticks(promptSteps[page] - 1);
            b.press(); // before the prompt: ignored
            QCOMPARE(b.admin.Page, page);
            b.tick(); // the prompt step
        }
        QCOMPARE(b.screen.guides[2], page == 7 ? u"[Shift] + [Esc]"_s : Prompt);
        QVERIFY(b.admin.ClickEnabled);
        b.press();
        QCOMPARE(b.admin.Page, page + 1);
        QCOMPARE(b.admin.Step, 0);
    }
}

void TestAdministration::explanation_twoPressesBetweenTwoTicksTurnTwoPages()
{
    Bench b;
    b.start(1);
    b.tick();
    b.press(); // page 1
    b.ticks(31);
    b.press(10);
    b.press(20); // page 2 has not run its step 0 yet, so clicking is still enabled
    QCOMPARE(b.admin.Page, 3);
    b.tick();
    QVERIFY(!b.admin.ClickEnabled);
    QCOMPARE(b.screen.guides[1], u"×のときはボタンをおしてはいけません"_s);
}

void TestAdministration::explanation_demonstrationsFlashOnceEveryTwoSecondsUntilStep981()
{
    for (int page = 2; page <= 6; ++page) {
        Bench b;
        b.start(1);
        b.admin.Page = page;            // as if turned to; every page starts at step 0
        std::map<int, QString> flashes; // step -> what was shown
        int cellsOrTones = 0;
        for (int step = 0; step <= 1010; ++step) {
            b.screen.log.clear();
            b.sound.played.clear();
            b.tick();
            for (const QString &entry : std::as_const(b.screen.log))
                if (entry.startsWith(u"Show"_s))
                    flashes[step] = entry;
            if (step > 0)
                cellsOrTones +=
                    int(b.sound.played.size()) + int(b.screen.log.filter(QRegularExpression(u"^Cell"_s)).size());
            if (flashes.count(step - 1))
                QVERIFY2(b.screen.target.isEmpty(), "a flash lasts one tick");
        }
        const int first = page == 3 ? 51 : 81;
        QCOMPARE(flashes.begin()->first, first);
        const int last = page == 3 ? 991 : 981; // Step stops at 1000
        QCOMPARE(flashes.rbegin()->first, last);
        QCOMPARE(int(flashes.size()), (last - first) / 20 + 1);
        for (const auto &[step, shown] : flashes) {
            if (page == 2)
                QCOMPARE(shown, u"ShowT"_s);
            if (page == 3)
                QCOMPARE(shown, u"ShowN"_s);
        }
        // Circles and crosses come silent; every mixed flash brings one tone, or silence with a triangle.
        const int mixedFlashNoise = page >= 4 ? int(flashes.size()) : 0;
        const int triangles = cellsOrTones - mixedFlashNoise;
        QVERIFY2(page < 4 ? cellsOrTones == 0 : triangles >= 0 && triangles <= int(flashes.size()),
                 qPrintable(u"page %1: %2 sounds and cells"_s.arg(page).arg(cellsOrTones)));
        QCOMPARE(b.admin.Step, 1000);
    }
}

void TestAdministration::explanation_afterTheLastPageNothingChanges()
{
    Bench b;
    b.start(1);
    b.admin.Page = 7;
    b.ticks(31);
    b.press();
    QCOMPARE(b.admin.Page, 8);
    const auto guides = b.screen.guides;
    b.screen.log.clear();
    b.ticks(50);
    b.press();
    QCOMPARE(b.admin.Page, 8);
    QCOMPARE(b.screen.guides, guides);
    QCOMPARE(b.screen.guides[1], u"これで説明は終わりです"_s);
    QVERIFY(b.screen.log.isEmpty());
}

void TestAdministration::evaluatePractice_outcomes_data()
{
    QTest::addColumn<int>("commissions");
    QTest::addColumn<int>("omissions");
    QTest::addColumn<int>("multiples");
    QTest::addColumn<int>("hitRT"); // every remaining circle's first press; 0: none
    QTest::addColumn<int>("outcome");

    QTest::newRow("passed") << 0 << 0 << 0 << 400 << 0;
    QTest::newRow("two of each kind pass") << 2 << 2 << 2 << 400 << 0;
    QTest::newRow("commission is tested first") << 3 << 5 << 0 << 400 << 1;
    QTest::newRow("three omissions") << 0 << 3 << 0 << 400 << 2;
    QTest::newRow("three multiple responses") << 0 << 0 << 3 << 400 << 3;
    QTest::newRow("mean of exactly 800 ms is too slow") << 0 << 0 << 0 << 800 << 4;
    QTest::newRow("no press at all: fifteen omissions") << 0 << 15 << 0 << 0 << 2;
    QTest::newRow("only anticipations pass") << 0 << 0 << 0 << 100 << 0;
}

void TestAdministration::evaluatePractice_outcomes()
{
    QFETCH(int, commissions);
    QFETCH(int, omissions);
    QFETCH(int, multiples);
    QFETCH(int, hitRT);
    QFETCH(int, outcome);

    Bench b;
    b.practiceFile.MakePracticeRounds(b.random);
    answerPractice(b.practiceFile, hitRT);
    const QList<int> circles = roundsOf(b.practiceFile, u"T"_s);
    const QList<int> crosses = roundsOf(b.practiceFile, u"N"_s);
    QCOMPARE(circles.size(), 15);
    if (hitRT == 100) {
        for (int i : crosses) { // a press in every round, all too early
            b.practiceFile.Rounds[i].RT[1] = 100;
            b.practiceFile.Rounds[i].Button[1] = 1;
        }
    }
    for (int i = 0; i < commissions; ++i) {
        b.practiceFile.Rounds[crosses[i]].RT[1] = 500;
        b.practiceFile.Rounds[crosses[i]].Button[1] = 1;
    }
    for (int i = 0; i < omissions; ++i)
        b.practiceFile.Rounds[circles[i]].RT[1] = 0;
    for (int i = 0; i < multiples; ++i) {
        b.practiceFile.Rounds[circles[14 - i]].RT[2] = 700;
        b.practiceFile.Rounds[circles[14 - i]].Button[2] = 1;
    }
    QCOMPARE(b.admin.EvaluatePractice(), outcome);
    QCOMPARE(b.practiceFile.RoundCount, 30);

    if (hitRT == 800) { // a mean of 799.9 ms passes: ten hits of 9 x 800 + 799 ms, five anticipations
        b.practiceFile.Rounds[circles[0]].RT[1] = 799;
        for (int i = 10; i < 15; ++i)
            b.practiceFile.Rounds[circles[i]].RT[1] = 100;
        QCOMPARE(b.admin.EvaluatePractice(), 0);
        QCOMPARE(b.practiceFile.CulcResult.MeanRT[condT], 799.9);
    }
}

void TestAdministration::practice_failedRunRepeatsAfter90TicksWithAFreshSchedule()
{
    Bench b;
    b.start(2);
    b.ticks(51);
    QCOMPARE(b.screen.guides[1], u"練習セクション"_s);
    b.press();
    b.ticks(20);
    int rounds = 0;
    while (b.admin.Page == 1) {
        if (b.admin.Step == 0)
            ++rounds;
        b.tick();
    }
    QCOMPARE(rounds, 30);
    QCOMPARE(b.admin.Page, 2);
    b.tick();
    QCOMPARE(b.screen.guides[2], Prompt);
    QCOMPARE(b.screen.status.startsWith(u"  Round:31  Target:"_s), true);
    const QList<TRoundInfo> before(b.practiceFile.Rounds.begin(), b.practiceFile.Rounds.begin() + 30);

    b.press(); // the evaluation runs on the next tick
    QCOMPARE(b.admin.Page, 3);
    b.sound.played.clear();
    b.tick();
    QCOMPARE(b.sound.played, QStringList{u"F:/wave/narr_10.wav"_s}); // no press: too many omissions
    QCOMPARE(b.screen.guides[0], u"○のときはかならずひだりボタンをおしてください"_s);
    QCOMPARE(b.screen.guides[2], u"それでは、もういちどれんしゅうをします"_s);
    b.press(); // nothing during the feedback
    QCOMPARE(b.admin.Page, 3);
    b.ticks(88);
    QCOMPARE(b.admin.Page, 3);
    b.tick(); // the 90th tick of the feedback
    QCOMPARE(b.admin.Page, 0);
    QCOMPARE(b.admin.Step, 50);
    QCOMPARE(b.admin.Round, 1);
    const QList<TRoundInfo> after(b.practiceFile.Rounds.begin(), b.practiceFile.Rounds.begin() + 30);
    QVERIFY(before != after);
    b.screen.log.clear();
    b.tick(); // the title again, without the demonstration
    QCOMPARE(b.screen.log, QStringList{u"Guides"_s});
    QCOMPARE(b.screen.guides[1], u"練習セクション"_s);
    QVERIFY(b.admin.ClickEnabled);
}

void TestAdministration::practice_passStopsTheTicks()
{
    Bench b;
    b.start(2);
    runToFirstOnset(b);
    while (b.admin.Page == 1) {
        b.tick();
        if (b.admin.Step == 1)
            b.press(45); // one press in every round, always too early: only anticipations, which pass
    }
    b.press();
    b.sound.played.clear();
    b.tick();
    QCOMPARE(b.sound.played, QStringList{u"F:/wave/narr_8.wav"_s});
    QCOMPARE(b.screen.guides[0], u"よくできました"_s);
    QVERIFY(!b.admin.TicksEnabled);
    b.screen.log.clear();
    b.ticks(100);
    QVERIFY(b.screen.log.isEmpty());
}

void TestAdministration::test_demonstrationWalksThroughTheEightCellsAndTones()
{
    Bench b;
    b.start(3);
    b.ticks(51);
    QCOMPARE(b.admin.Page, 0);
    QCOMPARE(b.admin.Step, 50);
    QCOMPARE(b.sound.played,
             (QStringList{u"S0"_s, u"S0"_s, u"S1"_s, u"S0"_s, u"S2"_s, u"S0"_s, u"S3"_s, u"S0"_s, u"S4"_s, u"S0"_s,
                          u"S5"_s, u"S0"_s, u"S6"_s, u"S0"_s, u"S7"_s, u"S0"_s, u"S8"_s}));
    QCOMPARE(
        b.screen.log.filter(QRegularExpression(u"^Cell"_s)),
        (QStringList{u"Cell1"_s, u"Cell2"_s, u"Cell3"_s, u"Cell4"_s, u"Cell5"_s, u"Cell6"_s, u"Cell7"_s, u"Cell8"_s}));
    QCOMPARE(b.screen.log.count(u"ShowT"_s), 9);
    QCOMPARE(b.screen.guides, (std::array<QString, 3>{QString(), u"検査セクション"_s, Prompt}));
    QVERIFY(b.admin.ClickEnabled);
    QVERIFY(b.screen.target.isEmpty() && b.screen.cells.empty());
    b.sound.played.clear();
    b.ticks(200); // the title waits; the demonstration is not repeated
    QVERIFY(b.sound.played.isEmpty());
    QCOMPARE(b.admin.Step, 50);
}

void TestAdministration::test_roundsLastTicksPlusOneAndReactionTimesAreExact()
{
    Bench b(0xFFFFFF00u); // the millisecond clock wraps during the test
    b.start(3);
    b.ticks(51);
    b.press(); // leaves the title; never recorded
    b.screen.log.clear();
    b.ticks(20);
    QVERIFY2(b.screen.log.filter(u"Show"_s).isEmpty(), "the pause shows nothing");

    std::uint32_t lastOnset = 0;
    for (int round = 1; round <= 40; ++round) {
        const TRoundInfo &r = b.testFile.Rounds[round];
        b.screen.log.clear();
        b.tick(); // onset
        QCOMPARE(b.admin.Round, round);
        QCOMPARE(b.screen.log.first(), u"Show"_s + r.Target);
        QCOMPARE(b.admin.OnsetTime, b.tickTime);
        if (round > 1)
            QCOMPARE(b.tickTime - lastOnset, std::uint32_t(b.testFile.Rounds[round - 1].Ticks + 1) * 100);
        lastOnset = b.tickTime;
        b.press(37, round % 2 ? Button::Left : Button::Right);
        b.tick();
        QVERIFY(b.screen.target.isEmpty()); // shown for one tick
        b.tick();
        QVERIFY(b.screen.cells.empty()); // a triangle for two
        b.ticks(r.Ticks - 3);
        b.press(99, Button::Middle); // just before the tick that ends the round
        b.tick();                    // step Ticks: the round ends here
        QCOMPARE(b.admin.Round, round + 1);
        b.press(50); // between the rounds (Step 0): recorded nowhere
    }
    for (int round = 1; round <= 40; ++round) {
        const TRoundInfo &r = b.testFile.Rounds[round];
        QCOMPARE(r.RT[1], 37);
        QCOMPARE(r.Button[1], round % 2 ? 1 : 2);
        QCOMPARE(r.RT[2], (r.Ticks - 1) * 100 + 99);
        QCOMPARE(r.Button[2], 3);
        QCOMPARE(r.RT[3], 0);
    }
}

void TestAdministration::test_twelvePressesKeepTheTwelfthInSlot10()
{
    Bench b;
    b.start(3);
    runToFirstOnset(b);
    b.tick(); // onset of round 1
    for (int i = 1; i <= 12; ++i)
        b.press(std::uint32_t(i), i == 12 ? Button::Right : Button::Left);
    const TRoundInfo &r = b.testFile.Rounds[1];
    for (int k = 1; k <= 9; ++k)
        QCOMPARE(r.RT[k], k);
    QCOMPARE(r.RT[10], 12);
    QCOMPARE(r.Button[10], 2);
    QCOMPARE(b.admin.ResponseNo, 10);
}

void TestAdministration::test_shiftEscStoresTheRoundsWhoseLastStepRan_data()
{
    QTest::addColumn<int>("completedRounds");
    QTest::addColumn<bool>("midRound");
    QTest::newRow("in the pause") << 0 << false;
    QTest::newRow("in round 137") << 136 << true;
    QTest::newRow("after round 500") << 500 << false;
}

void TestAdministration::test_shiftEscStoresTheRoundsWhoseLastStepRan()
{
    QFETCH(int, completedRounds);
    QFETCH(bool, midRound);
    QTemporaryDir folder;
    Bench b;
    UseDataFolder(b.admin, folder.path() + u'/');
    int saved = 0;
    b.admin.OnTestSaved = [&] { ++saved; };
    b.testFile.Info.Kensabangou = u"0042"_s;
    b.testFile.Info.Shimei1 = u"山田"_s;
    b.start(3);
    b.ticks(51);
    b.press();
    b.ticks(completedRounds == 0 ? 5 : 20);
    while (b.admin.Round <= completedRounds)
        b.tick();
    if (completedRounds == 500)
        b.tick(); // page 2: the end text, ticks stop
    if (midRound) {
        b.ticks(3);
        b.press(); // recorded in round 137, which is not stored
    }
    QVERIFY(!b.admin.FormKeyDown(TAdministration::EscapeKey, false));
    QCOMPARE(saved, 0);
    QVERIFY(b.admin.FormKeyDown(TAdministration::EscapeKey, true));
    QCOMPARE(saved, 1);

    TTestFile stored;
    stored.ReadFile(b.admin.Store->Folder(), u"0042"_s);
    QCOMPARE(stored.RoundCount, completedRounds);
    QCOMPARE(stored.Info.Shimei1, u"山田"_s);
    for (int i = 1; i <= completedRounds; ++i)
        QCOMPARE(stored.Rounds[i], b.testFile.Rounds[i]);
    if (completedRounds == 500)
        QCOMPARE(b.screen.guides[1], u"これでけんさはおわりです"_s);
}

void TestAdministration::test_failedSaveStopsTheRoundsAndCanBeRetried()
{
    QTemporaryDir folder;
    Bench b;
    UseDataFolder(b.admin, folder.path() + u"/missing/"_s);
    b.testFile.Info.Kensabangou = u"7"_s;
    b.start(3);
    runToFirstOnset(b);
    b.ticks(100);
    QVERIFY_THROWS_EXCEPTION(EInOutError, b.admin.FormKeyDown(TAdministration::EscapeKey, true));
    // Behind the error box no round runs and no press counts: nobody is answering them.
    const int round = b.admin.Round;
    const TRoundInfo inProgress = b.testFile.Rounds[round];
    const QStringList shown = b.screen.log;
    b.ticks(30);
    b.press();
    QCOMPARE(b.admin.Round, round);
    QCOMPARE(b.testFile.Rounds[round], inProgress);
    QCOMPARE(b.screen.log, shown);

    UseDataFolder(b.admin, folder.path() + u'/');
    QVERIFY(b.admin.FormKeyDown(TAdministration::EscapeKey, true));
    TTestFile stored;
    stored.ReadFile(b.admin.Store->Folder(), u"7"_s);
    QCOMPARE(stored.RoundCount, round - 1);
}

void TestAdministration::test_numberTakenMeanwhile_storesUnderTheNextFreeNumber()
{
    QTemporaryDir folder;
    Bench b;
    UseDataFolder(b.admin, folder.path() + u'/');
    TTestFile other; // another child's test, stored under the number this one was offered
    other.Info.Kensabangou = u"1001"_s;
    other.Info.Shimei1 = u"他人"_s;
    other.WriteFile(b.admin.Store->Folder(), u"1001"_s);
    QFile deleted(b.admin.Store->Folder() + u"1002.del"_s); // deleted tests keep their numbers too
    QVERIFY(deleted.open(QIODevice::WriteOnly));
    deleted.close();

    QStringList told;
    b.admin.OnNumberTaken = [&](const QString &offered, const QString &stored) { told << offered << stored; };
    b.testFile.Info.Kensabangou = u"1001"_s;
    b.testFile.Info.Shimei1 = u"本人"_s;
    b.start(3);
    runToFirstOnset(b);
    while (b.admin.Round <= 2)
        b.tick();
    const QString dataFolder = b.admin.Store->Folder();
    UseDataFolder(b.admin, folder.path() + u"/missing/"_s); // the first attempt fails...
    QVERIFY_THROWS_EXCEPTION(EInOutError, b.admin.FormKeyDown(TAdministration::EscapeKey, true));
    UseDataFolder(b.admin, dataFolder); // ...and the retry still tells which number the test got
    QVERIFY(b.admin.FormKeyDown(TAdministration::EscapeKey, true));

    QCOMPARE(told, (QStringList{u"1001"_s, u"1003"_s}));
    TTestFile stored;
    stored.ReadFile(b.admin.Store->Folder(), u"1001"_s);
    QCOMPARE(stored.Info.Shimei1, u"他人"_s);
    QCOMPARE(stored.RoundCount, 0);
    stored.ReadFile(b.admin.Store->Folder(), u"1003"_s);
    QCOMPARE(stored.Info.Shimei1, u"本人"_s);
    QCOMPARE(stored.Info.Kensabangou, u"1003"_s);
    QCOMPARE(stored.RoundCount, 2);
}

void TestAdministration::ticksAndPressesWhileDisabledChangeNothing()
{
    Bench b;
    b.admin.ClickEnabled = true; // as an explanation closed after a prompt leaves it
    b.start(3);
    b.ticks(3);
    b.press(); // before the title: the demonstration goes on
    QCOMPARE(b.admin.Page, 0);
    QCOMPARE(b.admin.Step, 3);
    b.admin.TicksEnabled = false;
    b.screen.log.clear();
    b.ticks(10);
    QVERIFY(b.screen.log.isEmpty());
    QCOMPARE(b.admin.Step, 3);
    b.press();
    QCOMPARE(b.admin.Page, 0);

    Bench explanation; // Shift+Esc outside the test stores nothing
    explanation.start(1);
    bool saved = false;
    explanation.admin.OnTestSaved = [&] { saved = true; };
    QVERIFY(explanation.admin.FormKeyDown(TAdministration::EscapeKey, true));
    QVERIFY(!saved);
}

// A child who mostly answers circles in time, sometimes misses, presses early or late, presses twice, and
// sometimes presses on a cross. The stored test must score exactly what the child did.
void TestAdministration::simulatedChild_wholeTestIsStoredReadBackAndScored()
{
    QTemporaryDir folder;
    Bench b(0xFFFF0000u, 2024);
    UseDataFolder(b.admin, folder.path() + u'/');
    b.testFile.Info.Kensabangou = u"1234"_s;
    b.start(3);
    b.ticks(51);
    b.press();

    std::mt19937 child(99);
    auto chance = [&](int percent) { return int(child() % 100) < percent; };
    std::array<std::array<int, ResultKindCount>, ConditionCount> expected{};
    QList<double> hitRTs;
    std::multimap<std::uint32_t, Button> pending; // absolute press times

    while (b.admin.Page != 2) {
        b.tick();
        if (b.admin.Page == 1 && b.admin.Step == 1) { // this tick was the onset of round Round
            const TRoundInfo &r = b.testFile.Rounds[b.admin.Round];
            const int window = r.Ticks * 100; // presses must come before the round's last step
            const bool circle = r.Target == u"T"_s;
            int first = 0, second = 0;
            if (chance(circle ? 85 : 12))
                first = chance(8) ? 1 + int(child() % 249) : 250 + int(child() % (window - 251));
            if (first != 0 && chance(10))
                second = first + 1 + int(child() % (window - first - 1));
            const Button button = chance(10) ? Button::Right : Button::Left;
            if (first)
                pending.emplace(b.tickTime + std::uint32_t(first), button);
            if (second)
                pending.emplace(b.tickTime + std::uint32_t(second), button);

            const int c = r.Noise == u"N"_s ? condN : r.Noise == u"A"_s ? condA : condV;
            std::array<int, ResultKindCount> kinds{};
            kinds[Total] = 1;
            if (first != 0 && (first < 250 || first > 1249)) {
                kinds[E_INV] = 1;
            } else {
                kinds[circle ? (first ? Hit : E_OMI) : (first ? E_COM : CorrectReject)] = 1;
                if (circle && first)
                    hitRTs << first;
            }
            kinds[E_MUL] = second != 0;
            for (int k = 0; k < ResultKindCount; ++k) {
                expected[c][k] += kinds[k];
                expected[condT][k] += kinds[k];
            }
        }
        // Presses due before the next tick, at their exact times.
        while (!pending.empty() && pending.begin()->first - b.tickTime < 100) {
            b.clock.now = pending.begin()->first;
            b.admin.lblClickAreaMouseDown(pending.begin()->second);
            pending.erase(pending.begin());
        }
    }
    QVERIFY(pending.empty());
    QVERIFY(b.admin.FormKeyDown(TAdministration::EscapeKey, true));

    TTestFile stored;
    stored.ReadFile(b.admin.Store->Folder(), u"1234"_s);
    QCOMPARE(stored.RoundCount, 500);
    stored.Culc();
    for (int c = condT; c <= condV; ++c)
        for (int k = Total; k <= E_INV; ++k)
            QCOMPARE(stored.CulcResult.Count[c][k], expected[c][k]);
    QCOMPARE(stored.CulcResult.HitRT[condT], hitRTs);
    QVERIFY(expected[condT][E_MUL] > 0 && expected[condT][E_INV] > 0 && expected[condT][E_COM] > 0);
}

namespace {

// Keeps what the journal was handed, round by round.
class RecordingJournal : public IRoundJournal
{
public:
    void Begin(const TTestInfo &, const QString &) override {}
    void RoundCompleted(int round, const TRoundInfo &contents) override { rounds[round] = contents; }
    void Finish() override {}
    std::map<int, TRoundInfo> rounds;
};

// A tick whose frame is reported shown at the tick's time, on the millisecond clock and the engine's clock alike.
void shownTick(Bench &b)
{
    b.tick();
    b.admin.FrameShown({double(b.tickTime), 0.0, false, true});
}

} // namespace

void TestAdministration::test_pressTimedByItsStamp_inTheStateItWasMadeIn()
{
    // Near the end of the 32-bit clock: round 1's onset comes 60 ms before it wraps.
    Bench b(0xFFFFFFFFu - 7160u);
    RecordingJournal journal;
    b.admin.Journal = &journal;
    b.start(3);
    for (int i = 0; i < 51; ++i)
        shownTick(b);
    b.press();
    for (int i = 0; i < 20; ++i)
        shownTick(b);
    shownTick(b); // onset of round 1
    const std::uint32_t onset = b.tickTime;
    QCOMPARE(b.admin.OnsetTime, onset);
    const auto pressAt = [&](std::uint32_t handled, std::optional<std::uint32_t> made, Button button = Button::Left) {
        b.clock.now = handled;
        b.admin.lblClickAreaMouseDown(button, made);
    };
    pressAt(onset + 80, onset + 30);          // made before the wrap, handled after it: 30 ms
    pressAt(onset + 90, onset + 90 - 1001);   // stale: not on this clock, the handling time counts
    pressAt(onset + 95, onset + 96);          // in the future: the handling time counts
    pressAt(onset + 97, 0x80000000u + onset); // half the clock away: the handling time counts
    for (int i = 0; i < 10; ++i)
        shownTick(b);                  // a round lasts at least 14 ticks
    pressAt(onset + 1040, onset + 40); // a second old, the oldest stamp taken
    const TRoundInfo &first = b.testFile.Rounds[1];
    QCOMPARE(first.RT[1], 30);
    QCOMPARE(first.RT[2], 90);
    QCOMPARE(first.RT[3], 95);
    QCOMPARE(first.RT[4], 97);
    QCOMPARE(first.RT[5], 40);

    // To the end of round 1; a press made before its last frame and handled after it still belongs to it, and
    // goes to the journal with it on the next tick.
    while (b.admin.Round == 1) {
        shownTick(b);
    }
    const std::uint32_t lastFrame = b.tickTime;
    pressAt(lastFrame + 3, lastFrame - 4, Button::Right);
    QCOMPARE(first.RT[6], int(lastFrame - 4 - onset));
    QCOMPARE(first.Button[6], 2);
    QCOMPARE(first.Button[7], 0);
    QVERIFY(!journal.rounds.count(1));
    // A press made between the rounds (nothing is recorded there) but handled after the next onset's frame is no
    // anticipation of the new round: the fault that stored it as 0 ms.
    shownTick(b); // onset of round 2
    QCOMPARE(journal.rounds.at(1), first);
    pressAt(b.tickTime + 2, b.tickTime - 20);
    QCOMPARE(b.testFile.Rounds[2].Button[1], 0);
    QCOMPARE(b.testFile.Rounds[1], journal.rounds.at(1));
    // Made before round 1's last frame, handled only after round 2's onset (the journal has round 1 by then):
    // round 1's, and the journal has it again with the press.
    pressAt(b.tickTime + 5, lastFrame - 2, Button::Middle);
    QCOMPARE(first.Button[7], 3);
    QCOMPARE(first.RT[7], int(lastFrame - 2 - onset));
    QCOMPARE(journal.rounds.at(1), first);
    pressAt(b.tickTime + 40, b.tickTime + 33); // made after the onset: round 2's
    QCOMPARE(b.testFile.Rounds[2].RT[1], 33);
    QVERIFY(!journal.rounds.count(2));

    // The window closes at the end of round 2, before the next tick: round 2 reaches the journal then.
    while (b.admin.Round == 2)
        shownTick(b);
    QVERIFY(!journal.rounds.count(2));
    b.admin.SectionClosed();
    QCOMPARE(journal.rounds.at(2), b.testFile.Rounds[2]);
    QVERIFY(!journal.rounds.count(3));

    const TTimingSummary summary = b.admin.Timing.Summary();
    QCOMPARE(summary.EventTimedPresses, 6); // all but the stale, future and far ones
    QCOMPARE(summary.MaxEventGapMs, 1000);
}

void TestAdministration::test_disturbedRounds_lateOnsetWrongExposureOrSlip()
{
    Bench b;
    b.start(3);
    runToFirstOnset(b);
    // The engine's clock: deadlines a period apart, re-based a period after a frame that slipped.
    double deadline = 0;
    const auto frame = [&](double late, double slipThreshold = 1.0) {
        deadline += 100;
        b.tick();
        const bool slipped = late > slipThreshold;
        b.admin.FrameShown({deadline + late, late, slipped, true});
        if (slipped)
            deadline += late;
    };
    // Per round, how late its onset, its hiding frame and its fifth frame are shown.
    struct Plan
    {
        double onset = 0.3, hide = 0.3, fifth = 0.3, slipThreshold = 1.0;
    };
    std::map<int, Plan> plans;
    plans[2].onset = 6;   // shown late, then a whole period
    plans[3].onset = 4.5; // within 5 ms, but the schedule slipped
    plans[4].hide = 0.9;  // a little late: the exposure stays within 2 ms
    plans[5].fifth = 30;  // a stall later in the round
    plans[6].onset = 1.5; // an engine that did not re-base: shortened by 1.5 ms, within the tolerance
    plans[6].slipThreshold = 1000;
    plans[7].hide = -2.5; // shortened by 2.5 ms (a frame reported early by such an engine)
    plans[7].slipThreshold = 1000;
    int triangleRound = 0;
    for (int round = 1; round <= 30; ++round) {
        const Plan plan = plans.count(round) ? plans.at(round) : Plan{};
        const TRoundInfo &r = b.testFile.Rounds[round];
        const bool triangle = r.Noise == u"V"_s && round > 7 && !triangleRound;
        if (triangle)
            triangleRound = round;
        const double slipThreshold = triangle ? 1000 : plan.slipThreshold;
        for (int step = 0; step <= r.Ticks; ++step) {
            double late = step == 0 ? plan.onset : step == 1 ? plan.hide : step == 5 ? plan.fifth : 0.3;
            if (triangle && step == 2)
                late = 2.5; // the triangle stays up 2.2 ms too long, from an engine that did not re-base
            frame(late, slipThreshold);
        }
        QCOMPARE(b.admin.Round, round + 1);
    }
    QVERIFY2(triangleRound > 0, "the schedule has a triangle after round 7");
    QCOMPARE(b.admin.Timing.Summary().DisturbedRounds, (QList<int>{2, 3, 5, 7, triangleRound}));

    // Ticks without a deadline (sent by tests, not by the engine) judge nothing.
    const int before = int(b.admin.Timing.Summary().DisturbedRounds.size());
    for (int i = 0; i < 40; ++i) {
        b.tick();
        b.admin.FrameShown({0.0, 0.0, false, false});
    }
    QCOMPARE(int(b.admin.Timing.Summary().DisturbedRounds.size()), before);
}

QTEST_GUILESS_MAIN(TestAdministration)
#include "tst_administration.moc"
