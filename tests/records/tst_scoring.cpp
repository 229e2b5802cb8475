#include "Random.h"
#include "Scoring.h"
#include "TestFile.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

using namespace Qt::StringLiterals;
using namespace vigix;

namespace {

constexpr int Left = 1;
constexpr int Right = 2;
constexpr int Middle = 3;

TRoundInfo makeRound(const QString &target, const QString &noise, int rt1 = 0, int button1 = 0, int rt2 = 0,
                     int button2 = 0)
{
    TRoundInfo round;
    round.Target = target;
    round.Noise = noise;
    round.NoiseNo = noise == u"N"_s ? 0 : 1;
    round.Ticks = 13;
    round.RT[1] = rt1;
    round.Button[1] = button1;
    round.RT[2] = rt2;
    round.Button[2] = button2;
    return round;
}

// std::array has no test printer; a QList shows both sides when a comparison fails.
template <std::size_t N> QList<int> asList(const std::array<int, N> &values)
{
    return QList<int>(values.begin(), values.end());
}

template <typename List> QByteArray listText(const List &values)
{
    QByteArray text;
    for (double v : values)
        text += QByteArray::number(v) + ' ';
    return text;
}

// The kinds a judgement holds, in ascending order, so a failing comparison lists them all.
QList<int> kindsOf(const TJudgement &judgement)
{
    QList<int> kinds;
    for (int k = Hit; k <= E_INV; ++k) {
        if (judgement.contains(static_cast<TResultKind>(k)))
            kinds.append(k);
    }
    return kinds;
}

void fillWithJunk(TCulcResult &result)
{
    for (auto &row : result.Count)
        row.fill(77);
    result.MeanRT.fill(333.0);
    result.SDRT.fill(44.0);
    for (QList<double> &list : result.HitRT)
        list = {1.0, 2.0, 3.0};
}

void compareResults(const TCulcResult &actual, const TCulcResult &expected)
{
    for (int c = 0; c < ConditionCount; ++c) {
        for (int k = 0; k < ResultKindCount; ++k) {
            QVERIFY2(actual.Count[c][k] == expected.Count[c][k],
                     qPrintable(
                         u"Count[%1][%2]: %3 != %4"_s.arg(c).arg(k).arg(actual.Count[c][k]).arg(expected.Count[c][k])));
        }
        QCOMPARE(actual.HitRT[c], expected.HitRT[c]);
        QCOMPARE(actual.MeanRT[c], expected.MeanRT[c]);
        QCOMPARE(actual.SDRT[c], expected.SDRT[c]);
    }
}

// A second, deliberately plain reading of the scoring rules, used to cross-check Culc on random data.
struct Recount
{
    std::array<std::array<int, ResultKindCount>, ConditionCount> count{};
    std::array<QList<double>, ConditionCount> hits;
};

Recount recount(const TTestFile &file)
{
    Recount r;
    for (int i = 1; i <= file.RoundCount; ++i) {
        const TRoundInfo &round = file.Rounds[i];
        const int row = round.Noise == u"N"_s   ? condN
                        : round.Noise == u"A"_s ? condA
                        : round.Noise == u"V"_s ? condV
                                                : -1;
        const int first = round.RT[1];
        const bool responded = first != 0;
        const bool inWindow = first >= 250 && first <= 1249;
        const bool repeated = round.RT[2] != 0 && round.Button[1] == round.Button[2];
        const bool circle = round.Target == u"T"_s;

        int kind;
        if (responded && !inWindow)
            kind = E_INV;
        else if (circle)
            kind = responded ? Hit : E_OMI;
        else
            kind = responded ? E_COM : CorrectReject;

        if (kind == Hit)
            r.hits[condT].append(first);
        if (row < 0)
            continue;
        r.count[row][Total] += 1;
        r.count[row][kind] += 1;
        if (repeated)
            r.count[row][E_MUL] += 1;
        if (kind == Hit)
            r.hits[row].append(first);
    }
    for (int k = 0; k < ResultKindCount; ++k)
        r.count[condT][k] = r.count[condN][k] + r.count[condA][k] + r.count[condV][k];
    return r;
}

double plainMean(const QList<double> &values)
{
    double sum = 0;
    for (double v : values)
        sum += v;
    return values.isEmpty() ? -1 : sum / values.size();
}

double plainSampleSD(const QList<double> &values)
{
    if (values.size() < 2)
        return -1;
    const double m = plainMean(values);
    double squares = 0;
    for (double v : values)
        squares += (v - m) * (v - m);
    return std::sqrt(squares / (values.size() - 1));
}

// Reaction times of every sort a file may hold: early (even negative), valid, late, and the bounds; with
// withEmpty also 0, the mark of an empty slot, which response capture never writes into a slot it fills.
int randomRT(std::mt19937 &gen, bool withEmpty)
{
    switch (std::uniform_int_distribution<int>(withEmpty ? 0 : 1, 9)(gen)) {
    case 0:
        return 0;
    case 1:
        return std::uniform_int_distribution<int>(-50, 249)(gen);
    case 2:
        return std::uniform_int_distribution<int>(1250, 3000)(gen);
    case 3: {
        constexpr int bounds[] = {249, 250, 1249, 1250};
        return bounds[std::uniform_int_distribution<int>(0, 3)(gen)];
    }
    default:
        return std::uniform_int_distribution<int>(250, 1249)(gen);
    }
}

// Presses into slots 1..m of each scheduled round, m mostly 0..2 and sometimes up to all ten slots.
// captureLike keeps to what response capture records (slots filled from 1, never a time of 0); otherwise
// any slot may hold a time of 0 and any button, as a file written elsewhere might.
void addRandomResponses(TTestFile &file, int rounds, std::mt19937 &gen, bool captureLike = true)
{
    for (int i = 1; i <= rounds; ++i) {
        TRoundInfo &round = file.Rounds[i];
        const int presses = std::uniform_int_distribution<int>(0, 3)(gen) == 0
                                ? std::uniform_int_distribution<int>(0, TRoundInfo::Slots)(gen)
                                : std::uniform_int_distribution<int>(0, 2)(gen);
        for (int k = 1; k <= presses; ++k) {
            round.RT[k] = randomRT(gen, !captureLike);
            round.Button[k] = std::uniform_int_distribution<int>(captureLike ? Left : 0, Middle)(gen);
        }
    }
}

} // namespace

class scoringTest : public QObject
{
    Q_OBJECT
private slots:
    void judgeRound_classifiesRound_data();
    void judgeRound_classifiesRound();
    void judgeRound_readsOnlyTargetAndFirstTwoResponses();

    void culc_withoutRounds_givesZerosAndMissingValues();
    void culc_ignoresRoundsAboveRoundCount();
    void culc_oneHit_meanIsThatTime_sdMissing();
    void culc_handCountedTest_countsMeansAndDeviations();
    void culc_unknownNoise_countedInNoRowButHitKept();
    void culc_calledTwice_givesSameResult();
    void culc_afterOtherRounds_leavesNothingStale();
    void culc_randomSchedulesAndResponses_keepInvariants_data();
    void culc_randomSchedulesAndResponses_keepInvariants();

    void meanAndSD_sampleDeviation_data();
    void meanAndSD_sampleDeviation();

    void formatRT_twoDecimalsOrDash_data();
    void formatRT_twoDecimalsOrDash();
    void formatPercent_oneDecimalInParentheses_data();
    void formatPercent_oneDecimalInParentheses();
    void levelBar_blockPerTwoPercent_data();
    void levelBar_blockPerTwoPercent();

    void rtDistribution_binsOfHundredMs();
    void rtDistribution_outOfRangeValuesIgnored();
};

void scoringTest::judgeRound_classifiesRound_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("rt1");
    QTest::addColumn<int>("button1");
    QTest::addColumn<int>("rt2");
    QTest::addColumn<int>("button2");
    QTest::addColumn<QList<int>>("expected");

    const QString circle = u"T"_s;
    const QString cross = u"N"_s;

    QTest::newRow("circle, no response") << circle << 0 << 0 << 0 << 0 << QList<int>{E_OMI};
    QTest::newRow("circle at 249") << circle << 249 << Left << 0 << 0 << QList<int>{E_INV};
    QTest::newRow("circle at 250") << circle << 250 << Left << 0 << 0 << QList<int>{Hit};
    QTest::newRow("circle at 1249") << circle << 1249 << Left << 0 << 0 << QList<int>{Hit};
    QTest::newRow("circle at 1250") << circle << 1250 << Left << 0 << 0 << QList<int>{E_INV};
    QTest::newRow("circle at 1") << circle << 1 << Left << 0 << 0 << QList<int>{E_INV};
    QTest::newRow("cross, no response") << cross << 0 << 0 << 0 << 0 << QList<int>{CorrectReject};
    QTest::newRow("cross at 249") << cross << 249 << Left << 0 << 0 << QList<int>{E_INV};
    QTest::newRow("cross at 250") << cross << 250 << Left << 0 << 0 << QList<int>{E_COM};
    QTest::newRow("cross at 1249") << cross << 1249 << Left << 0 << 0 << QList<int>{E_COM};
    QTest::newRow("cross at 1250") << cross << 1250 << Left << 0 << 0 << QList<int>{E_INV};

    QTest::newRow("circle 400 then same button") << circle << 400 << Left << 700 << Left << QList<int>{Hit, E_MUL};
    QTest::newRow("circle 400 left then right") << circle << 400 << Left << 700 << Right << QList<int>{Hit};
    QTest::newRow("circle 400 middle twice") << circle << 400 << Middle << 450 << Middle << QList<int>{Hit, E_MUL};
    QTest::newRow("cross 600 then same button") << cross << 600 << Right << 900 << Right << QList<int>{E_COM, E_MUL};
    QTest::newRow("cross 600 then other button") << cross << 600 << Right << 900 << Left << QList<int>{E_COM};
    // A valid second press never rescues an early or late first one.
    QTest::newRow("cross 120 then 600 same button") << cross << 120 << Left << 600 << Left << QList<int>{E_INV, E_MUL};
    QTest::newRow("cross 120 then 600 other button") << cross << 120 << Left << 600 << Right << QList<int>{E_INV};
    QTest::newRow("circle 120 then 600 same button")
        << circle << 120 << Left << 600 << Left << QList<int>{E_INV, E_MUL};
    QTest::newRow("circle 1300 then 1400 same button")
        << circle << 1300 << Left << 1400 << Left << QList<int>{E_INV, E_MUL};
    QTest::newRow("circle 1300 then 1400 other button") << circle << 1300 << Left << 1400 << Right << QList<int>{E_INV};

    // Negative times are compared as signed numbers: early, not late and not a hit.
    QTest::newRow("circle at -5") << circle << -5 << Left << 0 << 0 << QList<int>{E_INV};
    QTest::newRow("cross at -5") << cross << -5 << Left << 0 << 0 << QList<int>{E_INV};
    QTest::newRow("circle at -1000 then 500 same button")
        << circle << -1000 << Left << 500 << Left << QList<int>{E_INV, E_MUL};
    QTest::newRow("circle at int min") << circle << std::numeric_limits<int>::min() << Left << 0 << 0
                                       << QList<int>{E_INV};
    QTest::newRow("circle at int max") << circle << std::numeric_limits<int>::max() << Left << 0 << 0
                                       << QList<int>{E_INV};

    // The multiple-response test looks only at the second slot and the two buttons.
    QTest::newRow("circle, empty first slot, second press")
        << circle << 0 << Left << 500 << Left << QList<int>{E_OMI, E_MUL};

    // Other stimulus codes are neither circle nor cross: only the timing kinds can apply.
    QTest::newRow("code X, valid press") << u"X"_s << 400 << Left << 0 << 0 << QList<int>{};
    QTest::newRow("code X, no press") << u"X"_s << 0 << 0 << 0 << 0 << QList<int>{};
    QTest::newRow("code X, valid press twice") << u"X"_s << 400 << Left << 500 << Left << QList<int>{E_MUL};
    QTest::newRow("code X, early press") << u"X"_s << 100 << Left << 0 << 0 << QList<int>{E_INV};
    QTest::newRow("lower-case t, valid press") << u"t"_s << 400 << Left << 0 << 0 << QList<int>{};
    QTest::newRow("empty code, no press") << QString() << 0 << 0 << 0 << 0 << QList<int>{};
    QTest::newRow("code TN, valid press") << u"TN"_s << 400 << Left << 0 << 0 << QList<int>{};
}

void scoringTest::judgeRound_classifiesRound()
{
    QFETCH(QString, target);
    QFETCH(int, rt1);
    QFETCH(int, button1);
    QFETCH(int, rt2);
    QFETCH(int, button2);
    QFETCH(QList<int>, expected);
    std::sort(expected.begin(), expected.end());

    const TJudgement judgement = JudgeRound(makeRound(target, u"N"_s, rt1, button1, rt2, button2));
    QCOMPARE(kindsOf(judgement), expected);
    QVERIFY(!judgement.contains(Total));
}

void scoringTest::judgeRound_readsOnlyTargetAndFirstTwoResponses()
{
    const TRoundInfo plainRounds[] = {
        makeRound(u"T"_s, u"N"_s, 400, Left, 700, Right),
        makeRound(u"T"_s, u"N"_s),
        makeRound(u"N"_s, u"N"_s),
        makeRound(u"N"_s, u"N"_s, 130, Left, 0, 0),
    };
    for (const TRoundInfo &plain : plainRounds) {
        TRoundInfo busy = plain;
        busy.Noise = u"V"_s;
        busy.NoiseNo = 7;
        busy.Ticks = 20;
        // Later presses with the first button must not count as a repeat, however many there are.
        for (int k = 3; k <= TRoundInfo::Slots; ++k) {
            busy.RT[k] = 100 * k;
            busy.Button[k] = plain.Button[1] == 0 ? Left : plain.Button[1];
        }
        QCOMPARE(kindsOf(JudgeRound(busy)), kindsOf(JudgeRound(plain)));
    }
}

void scoringTest::culc_withoutRounds_givesZerosAndMissingValues()
{
    TTestFile file;
    file.Culc();
    for (int c = 0; c < ConditionCount; ++c) {
        for (int k = 0; k < ResultKindCount; ++k)
            QCOMPARE(file.CulcResult.Count[c][k], 0);
        QCOMPARE(file.CulcResult.MeanRT[c], -1.0);
        QCOMPARE(file.CulcResult.SDRT[c], -1.0);
        QVERIFY(file.CulcResult.HitRT[c].isEmpty());
        QCOMPARE(FormatRT(file.CulcResult.MeanRT[c]), u"-"_s);
        QCOMPARE(FormatRT(file.CulcResult.SDRT[c]), u"-"_s);
        QCOMPARE(FormatPercent(file.CulcResult.Count[c][E_OMI], file.CulcResult.Count[c][Total]), QString());
        QCOMPARE(LevelBar(file.CulcResult.Count[c][E_OMI], file.CulcResult.Count[c][Total]), QString());
    }

    // The same from an object that held results and rounds before: RoundCount 0 means no rounds.
    TTestFile used;
    used.Rounds[1] = makeRound(u"T"_s, u"N"_s, 500, Left);
    used.Rounds[2] = makeRound(u"N"_s, u"A"_s, 500, Left);
    fillWithJunk(used.CulcResult);
    used.Culc();
    compareResults(used.CulcResult, file.CulcResult);
}

void scoringTest::culc_ignoresRoundsAboveRoundCount()
{
    TTestFile file;
    for (int i = 1; i <= TTestFile::MaxRounds; ++i)
        file.Rounds[i] = makeRound(u"T"_s, u"N"_s, 300 + i, Left);
    file.Rounds[4] = makeRound(u"N"_s, u"A"_s, 800, Left);

    file.RoundCount = 3;
    file.Culc();
    QCOMPARE(file.CulcResult.Count[condT][Total], 3);
    QCOMPARE(file.CulcResult.Count[condA][Total], 0);
    QCOMPARE(file.CulcResult.HitRT[condT], (QList<double>{301, 302, 303}));

    // Every round of the record may be in use.
    file.RoundCount = TTestFile::MaxRounds;
    file.Culc();
    QCOMPARE(file.CulcResult.Count[condT][Total], TTestFile::MaxRounds);
    QCOMPARE(file.CulcResult.Count[condN][Hit], TTestFile::MaxRounds - 1);
    QCOMPARE(file.CulcResult.Count[condA][E_COM], 1);
    QCOMPARE(file.CulcResult.HitRT[condT].size(), TTestFile::MaxRounds - 1);
    QCOMPARE(file.CulcResult.HitRT[condT].last(), 300.0 + TTestFile::MaxRounds);
}

void scoringTest::culc_oneHit_meanIsThatTime_sdMissing()
{
    TTestFile file;
    file.Rounds[1] = makeRound(u"N"_s, u"N"_s);
    file.Rounds[2] = makeRound(u"T"_s, u"A"_s, 512, Left);
    file.Rounds[3] = makeRound(u"T"_s, u"V"_s);
    file.RoundCount = 3;
    file.Culc();

    const TCulcResult &r = file.CulcResult;
    QCOMPARE(r.MeanRT[condT], 512.0);
    QCOMPARE(r.MeanRT[condA], 512.0);
    QCOMPARE(r.SDRT[condT], -1.0);
    QCOMPARE(r.SDRT[condA], -1.0);
    QCOMPARE(FormatRT(r.SDRT[condA]), u"-"_s);
    QCOMPARE(FormatRT(r.MeanRT[condA]), u"512.00"_s);
    // Conditions without hits have neither mean nor deviation.
    for (int c : {condN, condV}) {
        QCOMPARE(r.MeanRT[c], -1.0);
        QCOMPARE(r.SDRT[c], -1.0);
        QVERIFY(r.HitRT[c].isEmpty());
    }
    QCOMPARE(r.Count[condA][Hit], 1);
    QCOMPARE(r.Count[condN][CorrectReject], 1);
    QCOMPARE(r.Count[condV][E_OMI], 1);
}

void scoringTest::culc_handCountedTest_countsMeansAndDeviations()
{
    TTestFile file;
    const TRoundInfo rounds[] = {
        makeRound(u"T"_s, u"V"_s, 900, Left),              // V hit
        makeRound(u"T"_s, u"N"_s, 400, Left),              // N hit
        makeRound(u"T"_s, u"A"_s, 700, Left, 800, Left),   // A hit + multiple
        makeRound(u"N"_s, u"N"_s),                         // N correct reject
        makeRound(u"T"_s, u"N"_s, 500, Right, 600, Left),  // N hit, other button
        makeRound(u"T"_s, u"N"_s),                         // N omission
        makeRound(u"N"_s, u"N"_s, 300, Left),              // N commission
        makeRound(u"T"_s, u"V"_s, 1100, Middle),           // V hit
        makeRound(u"T"_s, u"N"_s, 100, Left),              // N early
        makeRound(u"N"_s, u"A"_s),                         // A correct reject
        makeRound(u"N"_s, u"N"_s, 1300, Left, 1400, Left), // N late + multiple
        makeRound(u"T"_s, u"N"_s, 600, Left),              // N hit
    };
    for (const TRoundInfo &round : rounds)
        file.Rounds[++file.RoundCount] = round;
    file.Culc();
    const TCulcResult &r = file.CulcResult;

    using Row = std::array<int, ResultKindCount>;
    // Columns: Total, Hit, CorrectReject, E_COM, E_OMI, E_MUL, E_INV.
    const Row expectedN = {8, 3, 1, 1, 1, 1, 2};
    const Row expectedA = {2, 1, 1, 0, 0, 1, 0};
    const Row expectedV = {2, 2, 0, 0, 0, 0, 0};
    const Row expectedT = {12, 6, 2, 1, 1, 2, 2};
    QCOMPARE(asList(r.Count[condN]), asList(expectedN));
    QCOMPARE(asList(r.Count[condA]), asList(expectedA));
    QCOMPARE(asList(r.Count[condV]), asList(expectedV));
    QCOMPARE(asList(r.Count[condT]), asList(expectedT));

    // Hit times in round order, not grouped by condition.
    QCOMPARE(r.HitRT[condT], (QList<double>{900, 400, 700, 500, 1100, 600}));
    QCOMPARE(r.HitRT[condN], (QList<double>{400, 500, 600}));
    QCOMPARE(r.HitRT[condA], (QList<double>{700}));
    QCOMPARE(r.HitRT[condV], (QList<double>{900, 1100}));

    // All hits: mean 4200 / 6 = 700; squared deviations 40000 + 90000 + 0 + 40000 + 160000 + 10000 = 340000.
    QCOMPARE(r.MeanRT[condT], 700.0);
    QCOMPARE(r.SDRT[condT], std::sqrt(340000.0 / 5));
    QCOMPARE(r.MeanRT[condN], 500.0);
    QCOMPARE(r.SDRT[condN], 100.0);
    QCOMPARE(r.MeanRT[condA], 700.0);
    QCOMPARE(r.SDRT[condA], -1.0);
    QCOMPARE(r.MeanRT[condV], 1000.0);
    QCOMPARE(r.SDRT[condV], std::sqrt(20000.0));
    QCOMPARE(FormatRT(r.SDRT[condV]), u"141.42"_s);
}

void scoringTest::culc_unknownNoise_countedInNoRowButHitKept()
{
    TTestFile file;
    file.Rounds[1] = makeRound(u"T"_s, u"X"_s, 400, Left, 500, Left);
    file.Rounds[2] = makeRound(u"N"_s, u"n"_s, 600, Left);
    file.Rounds[3] = makeRound(u"T"_s, QString());
    file.Rounds[4] = makeRound(u"T"_s, u"N"_s, 800, Left);
    file.RoundCount = 4;
    file.Culc();
    const TCulcResult &r = file.CulcResult;

    const std::array<int, ResultKindCount> noneCounted{};
    QCOMPARE(asList(r.Count[condA]), asList(noneCounted));
    QCOMPARE(asList(r.Count[condV]), asList(noneCounted));
    const std::array<int, ResultKindCount> onlyLastRound = {1, 1, 0, 0, 0, 0, 0};
    QCOMPARE(asList(r.Count[condN]), asList(onlyLastRound));
    // Row T is the sum of the rows, so the unknown rounds are missing there too.
    QCOMPARE(asList(r.Count[condT]), asList(onlyLastRound));

    QCOMPARE(r.HitRT[condT], (QList<double>{400, 800}));
    QCOMPARE(r.HitRT[condN], (QList<double>{800}));
    QVERIFY(r.HitRT[condA].isEmpty());
    QVERIFY(r.HitRT[condV].isEmpty());
    QCOMPARE(r.MeanRT[condT], 600.0);
    QCOMPARE(r.SDRT[condT], std::sqrt(2 * 200.0 * 200.0));
}

void scoringTest::culc_calledTwice_givesSameResult()
{
    TTestFile file;
    TRandom random(4711);
    file.MakeTestRounds(random);
    std::mt19937 gen(4711);
    addRandomResponses(file, TTestFile::TestRounds, gen);
    file.RoundCount = TTestFile::TestRounds;

    file.Culc();
    const TCulcResult first = file.CulcResult;
    QVERIFY(!first.HitRT[condT].isEmpty());
    file.Culc();
    compareResults(file.CulcResult, first);
}

void scoringTest::culc_afterOtherRounds_leavesNothingStale()
{
    // Score a busy test first, then a short one on the same object: the result must equal a fresh object's.
    TTestFile file;
    TRandom random(99);
    file.MakeTestRounds(random);
    std::mt19937 gen(99);
    addRandomResponses(file, TTestFile::TestRounds, gen);
    file.RoundCount = TTestFile::TestRounds;
    file.Culc();
    QVERIFY(file.CulcResult.Count[condV][Total] > 0);
    QVERIFY(file.CulcResult.HitRT[condA].size() > 1);

    const TRoundInfo shortTest[] = {
        makeRound(u"T"_s, u"N"_s, 450, Left),
        makeRound(u"N"_s, u"N"_s),
        makeRound(u"T"_s, u"N"_s, 550, Left),
    };
    TTestFile fresh;
    for (int i = 0; i < 3; ++i) {
        file.Rounds[i + 1] = shortTest[i];
        fresh.Rounds[i + 1] = shortTest[i];
    }
    file.RoundCount = 3;
    fresh.RoundCount = 3;
    file.Culc();
    fresh.Culc();
    compareResults(file.CulcResult, fresh.CulcResult);
    QCOMPARE(file.CulcResult.Count[condT][Total], 3);
    QCOMPARE(file.CulcResult.MeanRT[condA], -1.0);
    QCOMPARE(file.CulcResult.SDRT[condV], -1.0);

    // Results that never came from Culc are replaced as well.
    fillWithJunk(file.CulcResult);
    file.Culc();
    compareResults(file.CulcResult, fresh.CulcResult);
}

void scoringTest::culc_randomSchedulesAndResponses_keepInvariants_data()
{
    QTest::addColumn<bool>("practice");
    QTest::addColumn<int>("schedules");
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<bool>("captureLike");

    QTest::newRow("practice") << true << 100 << 20250101u << true;
    QTest::newRow("test") << false << 20 << 31415926u << true;
    QTest::newRow("practice, raw slots") << true << 100 << 7u << false;
    QTest::newRow("test, raw slots") << false << 20 << 8u << false;
}

void scoringTest::culc_randomSchedulesAndResponses_keepInvariants()
{
    QFETCH(bool, practice);
    QFETCH(int, schedules);
    QFETCH(quint32, seed);
    QFETCH(bool, captureLike);

    TRandom random(seed);
    std::mt19937 gen(seed + 1);
    TTestFile file;
    for (int s = 0; s < schedules; ++s) {
        int n;
        if (practice) {
            file.MakePracticeRounds(random);
            n = TTestFile::PracticeRounds;
        } else {
            file.MakeTestRounds(random);
            n = TTestFile::TestRounds;
        }
        addRandomResponses(file, n, gen, captureLike);
        file.RoundCount = n;
        file.Culc();
        const TCulcResult &r = file.CulcResult;
        const QByteArray where = "schedule " + QByteArray::number(s);

        for (int k = 0; k < ResultKindCount; ++k) {
            QVERIFY2(r.Count[condT][k] == r.Count[condN][k] + r.Count[condA][k] + r.Count[condV][k], where.constData());
        }
        QVERIFY2(r.Count[condT][Total] == n, where.constData());
        for (int c = 0; c < ConditionCount; ++c) {
            const auto &row = r.Count[c];
            QVERIFY2(r.HitRT[c].size() == row[Hit], where.constData());
            QVERIFY2(row[Total] == row[Hit] + row[CorrectReject] + row[E_COM] + row[E_OMI] + row[E_INV],
                     where.constData());
            // A repeat needs a press, except in raw slots where an empty first slot may precede a second one.
            if (captureLike)
                QVERIFY2(row[E_MUL] <= row[Hit] + row[E_COM] + row[E_INV], where.constData());
            QVERIFY2(row[E_MUL] <= row[Total], where.constData());
            for (double x : r.HitRT[c])
                QVERIFY2(x >= 250 && x <= 1249, where.constData());
        }
        QVERIFY2(r.HitRT[condT].size() == r.HitRT[condN].size() + r.HitRT[condA].size() + r.HitRT[condV].size(),
                 where.constData());

        const Recount expected = recount(file);
        for (int c = 0; c < ConditionCount; ++c) {
            const QByteArray row = where + " row " + QByteArray::number(c);
            QVERIFY2(
                r.Count[c] == expected.count[c],
                (row + " counts " + listText(r.Count[c]) + " expected " + listText(expected.count[c])).constData());
            // Element by element: QList's own == hands a null pointer to memcmp for an empty list in Qt 6.4.
            QVERIFY2(std::equal(r.HitRT[c].begin(), r.HitRT[c].end(), expected.hits[c].begin(), expected.hits[c].end()),
                     (row + " hits " + listText(r.HitRT[c]) + "expected " + listText(expected.hits[c])).constData());
            QCOMPARE(r.MeanRT[c], plainMean(expected.hits[c]));
            QCOMPARE(r.SDRT[c], plainSampleSD(expected.hits[c]));
        }
    }
}

void scoringTest::meanAndSD_sampleDeviation_data()
{
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<double>("mean");
    QTest::addColumn<double>("sd");

    QTest::newRow("empty") << QList<double>{} << -1.0 << -1.0;
    QTest::newRow("one value") << QList<double>{512} << 512.0 << -1.0;
    QTest::newRow("two equal") << QList<double>{250, 250} << 250.0 << 0.0;
    QTest::newRow("two apart") << QList<double>{300, 500} << 400.0 << std::sqrt(20000.0);
    // Divisor n - 1: the population deviation of these would be 81.65.
    QTest::newRow("400 500 600") << QList<double>{400, 500, 600} << 500.0 << 100.0;
    // Squared deviations 2.25 + 0.25 + 0.25 + 2.25 = 5, over 3.
    QTest::newRow("1 2 3 4") << QList<double>{1, 2, 3, 4} << 2.5 << std::sqrt(5.0 / 3.0);
    QTest::newRow("order does not matter") << QList<double>{600, 400, 500} << 500.0 << 100.0;
    // Mean 650; squared deviations 122500 + 62500 + 62500 + 122500 + 0 = 370000, over 4.
    QTest::newRow("five values") << QList<double>{300, 400, 900, 1000, 650} << 650.0 << std::sqrt(92500.0);
    QTest::newRow("fractions") << QList<double>{250.5, 251.5} << 251.0 << std::sqrt(0.5);
}

void scoringTest::meanAndSD_sampleDeviation()
{
    QFETCH(QList<double>, values);
    QFETCH(double, mean);
    QFETCH(double, sd);

    QCOMPARE(Mean(values), mean);
    QCOMPARE(SD(values), sd);
}

void scoringTest::formatRT_twoDecimalsOrDash_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("missing") << -1.0 << u"-"_s;
    QTest::newRow("512.345") << 512.345 << u"512.35"_s;
    QTest::newRow("5.5") << 5.5 << u"5.50"_s;
    QTest::newRow("zero") << 0.0 << u"0.00"_s;
    QTest::newRow("whole") << 700.0 << u"700.00"_s;
    QTest::newRow("rounds down") << 612.344 << u"612.34"_s;
    QTest::newRow("rounds up to whole") << 99.996 << u"100.00"_s;
    QTest::newRow("four digits") << 1249.0 << u"1249.00"_s;
    QTest::newRow("deviation") << std::sqrt(20000.0) << u"141.42"_s;
}

void scoringTest::formatRT_twoDecimalsOrDash()
{
    QFETCH(double, value);
    QFETCH(QString, text);

    QCOMPARE(FormatRT(value), text);
}

void scoringTest::formatPercent_oneDecimalInParentheses_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("rounds");
    QTest::addColumn<QString>("text");

    QTest::newRow("3 of 100") << 3 << 100 << u"(  3.0% )"_s;
    QTest::newRow("0 of 100") << 0 << 100 << u"(  0.0% )"_s;
    QTest::newRow("all") << 100 << 100 << u"(100.0% )"_s;
    QTest::newRow("all of 30") << 30 << 30 << u"(100.0% )"_s;
    QTest::newRow("1 of 3") << 1 << 3 << u"( 33.3% )"_s;
    QTest::newRow("2 of 3") << 2 << 3 << u"( 66.7% )"_s;
    QTest::newRow("1 of 300") << 1 << 300 << u"(  0.3% )"_s;
    QTest::newRow("7 of 18") << 7 << 18 << u"( 38.9% )"_s;
    QTest::newRow("49 of 500") << 49 << 500 << u"(  9.8% )"_s;
    QTest::newRow("no rounds") << 0 << 0 << QString();
    QTest::newRow("count without rounds") << 5 << 0 << QString();
}

void scoringTest::formatPercent_oneDecimalInParentheses()
{
    QFETCH(int, count);
    QFETCH(int, rounds);
    QFETCH(QString, text);

    QCOMPARE(FormatPercent(count, rounds), text);
}

void scoringTest::levelBar_blockPerTwoPercent_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("rounds");
    QTest::addColumn<int>("blocks");
    QTest::addColumn<bool>("plus");

    QTest::newRow("33 of 100") << 33 << 100 << 10 << true;
    QTest::newRow("21 of 100") << 21 << 100 << 10 << false;
    QTest::newRow("22 of 100") << 22 << 100 << 10 << true;
    QTest::newRow("20 of 100") << 20 << 100 << 10 << false;
    QTest::newRow("19 of 100") << 19 << 100 << 9 << false;
    QTest::newRow("3 of 100") << 3 << 100 << 1 << false;
    QTest::newRow("2 of 100") << 2 << 100 << 1 << false;
    QTest::newRow("1 of 100") << 1 << 100 << 0 << false;
    QTest::newRow("0 of 100") << 0 << 100 << 0 << false;
    QTest::newRow("100 of 100") << 100 << 100 << 10 << true;
    QTest::newRow("no rounds") << 0 << 0 << 0 << false;
    QTest::newRow("count without rounds") << 3 << 0 << 0 << false;
    // Exact percentages: 58 %, 4 %, 2 %, 20 %, 22 %.
    QTest::newRow("29 of 50") << 29 << 50 << 10 << true;
    QTest::newRow("2 of 50") << 2 << 50 << 2 << false;
    QTest::newRow("1 of 50") << 1 << 50 << 1 << false;
    QTest::newRow("10 of 50") << 10 << 50 << 10 << false;
    QTest::newRow("11 of 50") << 11 << 50 << 10 << true;
    QTest::newRow("3 of 150") << 3 << 150 << 1 << false;
    QTest::newRow("30 of 150") << 30 << 150 << 10 << false;
    QTest::newRow("6 of 300") << 6 << 300 << 1 << false;
    // Just below a step: 5 of 300 is 1.67 %, 7 of 30 is 23.3 %, 3 of 30 is 10 %, 1 of 30 is 3.3 %.
    QTest::newRow("5 of 300") << 5 << 300 << 0 << false;
    QTest::newRow("7 of 30") << 7 << 30 << 10 << true;
    QTest::newRow("3 of 30") << 3 << 30 << 5 << false;
    QTest::newRow("1 of 30") << 1 << 30 << 1 << false;
    QTest::newRow("13 of 250") << 13 << 250 << 2 << false;
}

void scoringTest::levelBar_blockPerTwoPercent()
{
    QFETCH(int, count);
    QFETCH(int, rounds);
    QFETCH(int, blocks);
    QFETCH(bool, plus);

    QString expected(blocks, u'■');
    if (plus)
        expected += u'+';
    QCOMPARE(LevelBar(count, rounds), expected);
}

void scoringTest::rtDistribution_binsOfHundredMs()
{
    const QList<double> hits = {250, 299, 299.9, 300, 1249, 1200, 1199.99, 0, 99, 100, 3099, 512, 512, 512};
    const auto bins = RTDistribution(hits);

    std::array<int, DistributionBins> expected{};
    expected[0] = 2;  // 0, 99
    expected[1] = 1;  // 100
    expected[2] = 3;  // 250, 299, 299.9
    expected[3] = 1;  // 300
    expected[5] = 3;  // 512 three times
    expected[11] = 1; // 1199.99
    expected[12] = 2; // 1249, 1200
    expected[30] = 1; // 3099
    QCOMPARE(asList(bins), asList(expected));

    const std::array<int, DistributionBins> empty{};
    QCOMPARE(asList(RTDistribution({})), asList(empty));
}

void scoringTest::rtDistribution_outOfRangeValuesIgnored()
{
    const QList<double> values = {-1,
                                  -100,
                                  -100000,
                                  3100,
                                  3100.5,
                                  1e9,
                                  1e300,
                                  -1e300,
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN(),
                                  650};
    const auto bins = RTDistribution(values);

    std::array<int, DistributionBins> expected{};
    expected[6] = 1;
    QCOMPARE(asList(bins), asList(expected));
}

QTEST_GUILESS_MAIN(scoringTest)
#include "tst_scoring.moc"
