#include "Random.h"
#include "TestFile.h"

#include <QTest>

#include <array>
#include <random>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;
using namespace vigix;

namespace {

enum class Section { Practice, Test };

int roundsOf(Section section)
{
    return section == Section::Practice ? TTestFile::PracticeRounds : TTestFile::TestRounds;
}

void make(TTestFile &file, Section section, TRandom &random)
{
    if (section == Section::Practice)
        file.MakePracticeRounds(random);
    else
        file.MakeTestRounds(random);
}

// A round full of responses and odd values, to see what the generators overwrite and what they leave alone.
TRoundInfo markerRound(int seed)
{
    TRoundInfo round;
    round.Target = u"marker"_s;
    round.Noise = u"Z"_s;
    round.NoiseNo = 40 + seed;
    round.Ticks = 99;
    for (int k = 1; k <= TRoundInfo::Slots; ++k) {
        round.RT[k] = 100 * k + seed;
        round.Button[k] = 1 + (k + seed) % 3;
    }
    return round;
}

// The schedule as it should come out, drawn from a generator of our own that mirrors TRandom::Random.
struct PlannedRound
{
    QString target;
    QString noise;
    int noiseNo = 0;
    int ticks = 0;
};

std::vector<PlannedRound> plan(Section section, std::mt19937 &gen)
{
    const auto draw = [&gen](int k) { return std::uniform_int_distribution<int>(0, k - 1)(gen); };
    struct Block
    {
        int practice;
        int test;
        QString target;
        QString noise;
    };
    const Block blocks[] = {
        {9, 150, u"T"_s, u"N"_s}, {3, 50, u"T"_s, u"A"_s}, {3, 50, u"T"_s, u"V"_s},
        {9, 150, u"N"_s, u"N"_s}, {3, 50, u"N"_s, u"A"_s}, {3, 50, u"N"_s, u"V"_s},
    };

    std::vector<PlannedRound> rounds(1); // index 0 unused, so positions match round numbers
    for (const Block &block : blocks) {
        const int length = section == Section::Practice ? block.practice : block.test;
        for (int j = 0; j < length; ++j) {
            PlannedRound round;
            round.target = block.target;
            round.noise = block.noise;
            round.noiseNo = block.noise == u"N"_s ? 0 : draw(8) + 1;
            rounds.push_back(round);
        }
    }
    const int n = static_cast<int>(rounds.size()) - 1;
    for (int i = 1; i <= n; ++i)
        rounds[static_cast<std::size_t>(i)].ticks = draw(8) + 13;
    for (int swap = 0; swap < 30000; ++swap) {
        const int a = draw(n) + 1;
        const int b = draw(n) + 1;
        std::swap(rounds[static_cast<std::size_t>(a)], rounds[static_cast<std::size_t>(b)]);
    }
    return rounds;
}

void compareWithPlan(const TTestFile &file, const std::vector<PlannedRound> &planned, const QByteArray &what)
{
    for (int i = 1; i < static_cast<int>(planned.size()); ++i) {
        const PlannedRound &p = planned[static_cast<std::size_t>(i)];
        const TRoundInfo &r = file.Rounds[i];
        const QByteArray where = what + " round " + QByteArray::number(i);
        QVERIFY2(r.Target == p.target, (where + " Target " + r.Target.toUtf8()).constData());
        QVERIFY2(r.Noise == p.noise, (where + " Noise " + r.Noise.toUtf8()).constData());
        QVERIFY2(r.NoiseNo == p.noiseNo, (where + " NoiseNo " + QByteArray::number(r.NoiseNo)).constData());
        QVERIFY2(r.Ticks == p.ticks, (where + " Ticks " + QByteArray::number(r.Ticks)).constData());
    }
}

bool sameRounds(const TTestFile &a, const TTestFile &b, int n)
{
    for (int i = 1; i <= n; ++i) {
        if (!(a.Rounds[i] == b.Rounds[i]))
            return false;
    }
    return true;
}

// Chi-square statistic of observed counts against equal expected counts.
template <std::size_t N> double chiSquare(const std::array<int, N> &observed)
{
    double total = 0;
    for (int o : observed)
        total += o;
    const double expected = total / N;
    double chi = 0;
    for (int o : observed)
        chi += (o - expected) * (o - expected) / expected;
    return chi;
}

} // namespace

class schedulesTest : public QObject
{
    Q_OBJECT
private slots:
    void make_hasExactComposition_data();
    void make_hasExactComposition();
    void make_noiseNoZeroExactlyWithoutNoise_data();
    void make_noiseNoZeroExactlyWithoutNoise();
    void make_ticksAndNoiseNoUniform_data();
    void make_ticksAndNoiseNoUniform();
    void make_clearsResponsesOfScheduledRounds_data();
    void make_clearsResponsesOfScheduledRounds();
    void make_leavesLaterRoundsAndOtherFieldsAlone_data();
    void make_leavesLaterRoundsAndOtherFieldsAlone();
    void make_sameSeedSameSchedule_data();
    void make_sameSeedSameSchedule();
    void make_drawsInDocumentedOrder_data();
    void make_drawsInDocumentedOrder();
    void make_sequenceOfSectionsOnOneGenerator();
};

namespace {

void addSectionColumn()
{
    QTest::addColumn<int>("section");
    QTest::newRow("practice") << static_cast<int>(Section::Practice);
    QTest::newRow("test") << static_cast<int>(Section::Test);
}

} // namespace

void schedulesTest::make_hasExactComposition_data()
{
    QTest::addColumn<int>("section");
    QTest::addColumn<int>("plainPerTarget"); // rounds without noise, per stimulus
    QTest::addColumn<int>("noisyPerKind");   // rounds of each stimulus x noise kind A / V

    QTest::newRow("practice") << static_cast<int>(Section::Practice) << 9 << 3;
    QTest::newRow("test") << static_cast<int>(Section::Test) << 150 << 50;
}

void schedulesTest::make_hasExactComposition()
{
    QFETCH(int, section);
    QFETCH(int, plainPerTarget);
    QFETCH(int, noisyPerKind);
    const Section s = static_cast<Section>(section);
    const int n = roundsOf(s);
    QCOMPARE(2 * plainPerTarget + 4 * noisyPerKind, n);

    TRandom random(20020);
    TTestFile file;
    for (int run = 0; run < 30; ++run) {
        make(file, s, random);
        int targets = 0, crosses = 0, plain = 0, tones = 0, triangles = 0;
        int combination[2][3] = {};
        for (int i = 1; i <= n; ++i) {
            const TRoundInfo &r = file.Rounds[i];
            const int t = r.Target == u"T"_s ? 0 : r.Target == u"N"_s ? 1 : -1;
            const int z = r.Noise == u"N"_s ? 0 : r.Noise == u"A"_s ? 1 : r.Noise == u"V"_s ? 2 : -1;
            QVERIFY2(t >= 0, qPrintable(u"round %1 has stimulus '%2'"_s.arg(i).arg(r.Target)));
            QVERIFY2(z >= 0, qPrintable(u"round %1 has noise '%2'"_s.arg(i).arg(r.Noise)));
            (t == 0 ? targets : crosses) += 1;
            (z == 0 ? plain : z == 1 ? tones : triangles) += 1;
            combination[t][z] += 1;
        }
        QCOMPARE(targets, n / 2);
        QCOMPARE(crosses, n / 2);
        QCOMPARE(plain, 2 * plainPerTarget);
        QCOMPARE(tones, 2 * noisyPerKind);
        QCOMPARE(triangles, 2 * noisyPerKind);
        for (int t = 0; t < 2; ++t) {
            QCOMPARE(combination[t][0], plainPerTarget);
            QCOMPARE(combination[t][1], noisyPerKind);
            QCOMPARE(combination[t][2], noisyPerKind);
        }
    }
}

void schedulesTest::make_noiseNoZeroExactlyWithoutNoise_data()
{
    addSectionColumn();
}

void schedulesTest::make_noiseNoZeroExactlyWithoutNoise()
{
    QFETCH(int, section);
    const Section s = static_cast<Section>(section);

    TRandom random(777);
    TTestFile file;
    for (int run = 0; run < 30; ++run) {
        make(file, s, random);
        for (int i = 1; i <= roundsOf(s); ++i) {
            const TRoundInfo &r = file.Rounds[i];
            if (r.Noise == u"N"_s)
                QVERIFY2(r.NoiseNo == 0, qPrintable(u"round %1: NoiseNo %2 without noise"_s.arg(i).arg(r.NoiseNo)));
            else
                QVERIFY2(r.NoiseNo >= 1 && r.NoiseNo <= 8,
                         qPrintable(u"round %1: NoiseNo %2 with noise %3"_s.arg(i).arg(r.NoiseNo).arg(r.Noise)));
        }
    }
}

void schedulesTest::make_ticksAndNoiseNoUniform_data()
{
    QTest::addColumn<int>("section");
    QTest::addColumn<int>("runs");

    QTest::newRow("practice") << static_cast<int>(Section::Practice) << 200;
    QTest::newRow("test") << static_cast<int>(Section::Test) << 12;
}

void schedulesTest::make_ticksAndNoiseNoUniform()
{
    QFETCH(int, section);
    QFETCH(int, runs);
    const Section s = static_cast<Section>(section);

    TRandom random(1234567);
    TTestFile file;
    std::array<int, 8> ticks{};
    std::array<int, 8> noiseNo{};
    for (int run = 0; run < runs; ++run) {
        make(file, s, random);
        for (int i = 1; i <= roundsOf(s); ++i) {
            const TRoundInfo &r = file.Rounds[i];
            QVERIFY2(r.Ticks >= 13 && r.Ticks <= 20, qPrintable(u"round %1: Ticks %2"_s.arg(i).arg(r.Ticks)));
            ticks[static_cast<std::size_t>(r.Ticks - 13)] += 1;
            if (r.NoiseNo != 0)
                noiseNo[static_cast<std::size_t>(r.NoiseNo - 1)] += 1;
        }
    }
    // Seven degrees of freedom: 24.3 is the 0.1 % point, so the fixed seed leaves room; a missing or
    // doubled value would give hundreds.
    const double ticksChi = chiSquare(ticks);
    const double noiseChi = chiSquare(noiseNo);
    QVERIFY2(ticksChi < 30, qPrintable(u"Ticks chi-square %1"_s.arg(ticksChi)));
    QVERIFY2(noiseChi < 30, qPrintable(u"NoiseNo chi-square %1"_s.arg(noiseChi)));
    for (int count : ticks)
        QVERIFY(count > 0);
}

void schedulesTest::make_clearsResponsesOfScheduledRounds_data()
{
    addSectionColumn();
}

void schedulesTest::make_clearsResponsesOfScheduledRounds()
{
    QFETCH(int, section);
    const Section s = static_cast<Section>(section);

    TRandom random(42);
    TTestFile file;
    for (int i = 1; i <= TTestFile::MaxRounds; ++i)
        file.Rounds[i] = markerRound(i);
    for (int run = 0; run < 3; ++run) {
        make(file, s, random);
        for (int i = 1; i <= roundsOf(s); ++i) {
            for (int k = 1; k <= TRoundInfo::Slots; ++k) {
                QVERIFY2(file.Rounds[i].RT[k] == 0 && file.Rounds[i].Button[k] == 0,
                         qPrintable(u"run %1 round %2 slot %3 not empty"_s.arg(run).arg(i).arg(k)));
            }
        }
        // Responses of the run just made must go too on the next generation.
        for (int i = 1; i <= roundsOf(s); ++i) {
            file.Rounds[i].RT[1] = 400 + i;
            file.Rounds[i].Button[1] = 1;
            file.Rounds[i].RT[TRoundInfo::Slots] = 900;
            file.Rounds[i].Button[TRoundInfo::Slots] = 2;
        }
    }
}

void schedulesTest::make_leavesLaterRoundsAndOtherFieldsAlone_data()
{
    addSectionColumn();
}

void schedulesTest::make_leavesLaterRoundsAndOtherFieldsAlone()
{
    QFETCH(int, section);
    const Section s = static_cast<Section>(section);
    const int n = roundsOf(s);

    TTestFile file;
    for (int i = 1; i <= TTestFile::MaxRounds; ++i)
        file.Rounds[i] = markerRound(i);
    for (int f = 1; f <= TTestInfo::FieldCount; ++f)
        file.Info.Field(f) = u"値%1"_s.arg(f);
    file.RoundCount = 123;
    for (auto &row : file.CulcResult.Count)
        row.fill(5);
    file.CulcResult.MeanRT = {401, 402, 403, 404};
    file.CulcResult.SDRT = {11, 12, 13, 14};
    file.CulcResult.HitRT[condA] = {300, 310};

    const TTestFile before = file;
    TRandom random(5);
    make(file, s, random);

    for (int i = n + 1; i <= TTestFile::MaxRounds; ++i)
        QVERIFY2(file.Rounds[i] == before.Rounds[i], qPrintable(u"round %1 changed"_s.arg(i)));
    // The generated rounds really were replaced, so the check above is not vacuous.
    for (int i = 1; i <= n; ++i)
        QVERIFY(file.Rounds[i].Target != u"marker"_s);

    for (int f = 1; f <= TTestInfo::FieldCount; ++f)
        QCOMPARE(file.Info.Field(f), before.Info.Field(f));
    QCOMPARE(file.RoundCount, 123);
    for (int c = 0; c < ConditionCount; ++c) {
        for (int k = 0; k < ResultKindCount; ++k)
            QCOMPARE(file.CulcResult.Count[c][k], 5);
        QCOMPARE(file.CulcResult.MeanRT[c], before.CulcResult.MeanRT[c]);
        QCOMPARE(file.CulcResult.SDRT[c], before.CulcResult.SDRT[c]);
        QCOMPARE(file.CulcResult.HitRT[c], before.CulcResult.HitRT[c]);
    }
}

void schedulesTest::make_sameSeedSameSchedule_data()
{
    addSectionColumn();
}

void schedulesTest::make_sameSeedSameSchedule()
{
    QFETCH(int, section);
    const Section s = static_cast<Section>(section);
    const int n = roundsOf(s);

    constexpr int Seeds = 8;
    std::vector<TTestFile> files(Seeds);
    for (int seed = 0; seed < Seeds; ++seed) {
        TRandom random(static_cast<std::uint32_t>(1000 + seed));
        make(files[static_cast<std::size_t>(seed)], s, random);

        TTestFile again;
        for (int i = 1; i <= TTestFile::MaxRounds; ++i)
            again.Rounds[i] = markerRound(i); // what the object held before must not matter
        TRandom sameSeed(static_cast<std::uint32_t>(1000 + seed));
        make(again, s, sameSeed);
        QVERIFY2(sameRounds(again, files[static_cast<std::size_t>(seed)], n),
                 qPrintable(u"seed %1 gave two schedules"_s.arg(1000 + seed)));
    }
    for (int a = 0; a < Seeds; ++a) {
        for (int b = a + 1; b < Seeds; ++b) {
            QVERIFY2(!sameRounds(files[static_cast<std::size_t>(a)], files[static_cast<std::size_t>(b)], n),
                     qPrintable(u"seeds %1 and %2 gave the same schedule"_s.arg(1000 + a).arg(1000 + b)));
        }
    }
}

void schedulesTest::make_drawsInDocumentedOrder_data()
{
    QTest::addColumn<int>("section");
    QTest::addColumn<quint32>("seed");

    QTest::newRow("practice, seed 1") << static_cast<int>(Section::Practice) << 1u;
    QTest::newRow("practice, seed 2002") << static_cast<int>(Section::Practice) << 2002u;
    QTest::newRow("practice, seed 4294967295") << static_cast<int>(Section::Practice) << 4294967295u;
    QTest::newRow("test, seed 1") << static_cast<int>(Section::Test) << 1u;
    QTest::newRow("test, seed 2002") << static_cast<int>(Section::Test) << 2002u;
    QTest::newRow("test, seed 4294967295") << static_cast<int>(Section::Test) << 4294967295u;
}

void schedulesTest::make_drawsInDocumentedOrder()
{
    QFETCH(int, section);
    QFETCH(quint32, seed);
    const Section s = static_cast<Section>(section);

    TTestFile file;
    TRandom random(seed);
    make(file, s, random);

    std::mt19937 gen(seed);
    compareWithPlan(file, plan(s, gen), QByteArray(QTest::currentDataTag()));
}

void schedulesTest::make_sequenceOfSectionsOnOneGenerator()
{
    // One generator serves the whole run: practice, a practice retry, then the test. Each schedule must use
    // exactly its own draws, or every later schedule would differ from the reproduction.
    TRandom random(8080);
    std::mt19937 gen(8080);
    TTestFile practice;
    TTestFile test;

    practice.MakePracticeRounds(random);
    compareWithPlan(practice, plan(Section::Practice, gen), "first practice");
    if (QTest::currentTestFailed())
        return;
    const TTestFile firstPractice = practice;

    practice.MakePracticeRounds(random);
    compareWithPlan(practice, plan(Section::Practice, gen), "practice retry");
    if (QTest::currentTestFailed())
        return;
    QVERIFY(!sameRounds(practice, firstPractice, TTestFile::PracticeRounds));

    test.MakeTestRounds(random);
    compareWithPlan(test, plan(Section::Test, gen), "test");
}

QTEST_GUILESS_MAIN(schedulesTest)
#include "tst_schedules.moc"
