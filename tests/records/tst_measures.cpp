#include "Measures.h"
#include "ScoreExport.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace vigix;

namespace {

// A round with its first press rt ms after onset (0: none).
TRoundInfo round(const QString &target, const QString &noise, int rt)
{
    TRoundInfo r;
    r.Target = target;
    r.Noise = noise;
    r.Ticks = 12;
    if (rt > 0) {
        r.RT[1] = rt;
        r.Button[1] = 1;
    }
    return r;
}

TTestFile scoredTest(const QList<TRoundInfo> &rounds)
{
    TTestFile test;
    for (const TRoundInfo &r : rounds)
        test.Rounds[++test.RoundCount] = r;
    test.Culc();
    return test;
}

// Eight rounds without noise, worked by hand:
//   quarter 1: hits at 400 and 600 ms      quarter 2: a commission at 300 ms, an omission
//   quarter 3: a hit at 700, a rejection   quarter 4: a hit at 800, a rejection
// circles 5, crosses 3, hits 4, commissions 1: H = 4.5 / 6 = 0.75, F = 1.5 / 4 = 0.375,
// z(H) = 0.6744897502, z(F) = -0.3186393640, d' = 0.9931291142, beta = exp((zF² - zH²) / 2) = 0.8380289023.
// Quarter means 500, -, 700, 800 over quarters 1, 3, 4: slope 4200/9 ÷ 42/9 = 100 ms per quarter.
// Mean 625, SD 170.78: CV 0.2732520204.
TTestFile handWorked()
{
    return scoredTest({round(u"T"_s, u"N"_s, 400), round(u"T"_s, u"N"_s, 600), round(u"N"_s, u"N"_s, 300),
                       round(u"T"_s, u"N"_s, 0), round(u"T"_s, u"N"_s, 700), round(u"N"_s, u"N"_s, 0),
                       round(u"T"_s, u"N"_s, 800), round(u"N"_s, u"N"_s, 0)});
}

} // namespace

class MeasuresTest : public QObject
{
    Q_OBJECT
private slots:
    void inverseNormal_knownQuantiles()
    {
        QVERIFY(qAbs(InverseNormal(0.5)) < 1e-12);
        QVERIFY(qAbs(InverseNormal(0.975) - 1.9599639845400536) < 1e-9);
        QVERIFY(qAbs(InverseNormal(0.001) + 3.090232306167813) < 1e-9);
        QVERIFY(qAbs(InverseNormal(0.375) + 0.31863936396437514) < 1e-9);
    }

    void handWorkedTest_everyMeasure()
    {
        const auto measures = Measures(handWorked());
        for (TCondition c : {condT, condN}) { // every round is without noise: T and N agree
            const TConditionMeasures &m = measures[c];
            QVERIFY(qAbs(*m.DPrime - 0.9931291141604568) < 1e-9);
            QVERIFY(qAbs(*m.Beta - 0.8380289023424824) < 1e-9);
            QCOMPARE(m.QuarterMeanRT[0], std::optional<double>(500));
            QVERIFY(!m.QuarterMeanRT[1]);
            QCOMPARE(m.QuarterMeanRT[3], std::optional<double>(800));
            QCOMPARE(m.QuarterOmissions, (std::array<int, 4>{0, 1, 0, 0}));
            QCOMPARE(m.QuarterCommissions, (std::array<int, 4>{0, 1, 0, 0}));
            QVERIFY(qAbs(*m.RTSlope - 100.0) < 1e-9);
            QCOMPARE(m.CommissionMeanRT, std::optional<double>(300));
            QVERIFY(qAbs(*m.CV - 0.2732520204255893) < 1e-9);
        }
        // No rounds with a tone: nothing to measure.
        const TConditionMeasures &a = measures[condA];
        QVERIFY(!a.DPrime && !a.Beta && !a.RTSlope && !a.CommissionMeanRT && !a.CV && !a.QuarterMeanRT[0]);
    }

    void quarters_splitByRoundNumber_slopeNeedsTwoQuartersWithHits()
    {
        // Ten omissions: quarters of rounds 1-2, 3-5, 6-7 and 8-10.
        QList<TRoundInfo> rounds;
        for (int i = 0; i < 10; ++i)
            rounds.append(round(u"T"_s, u"V"_s, 0));
        rounds[4] = round(u"T"_s, u"V"_s, 450); // one hit, in quarter 2
        const auto measures = Measures(scoredTest(rounds));
        QCOMPARE(measures[condV].QuarterOmissions, (std::array<int, 4>{2, 2, 2, 3}));
        QCOMPARE(measures[condV].QuarterMeanRT[1], std::optional<double>(450));
        QVERIFY(!measures[condV].RTSlope);
        QVERIFY(!measures[condV].CV); // a single hit has no deviation
        QVERIFY(!measures[condV].CommissionMeanRT);
    }

    void export_columnsAfterTheExistingOnes_fourDecimalsAndNulls()
    {
        const QList<ScoreField> fields = ScoreFields(u"f.txt"_s, handWorked());
        const QStringList names = ScoreFieldNames();
        const qsizetype first = names.indexOf(u"T_dprime"_s);
        QCOMPARE(first, names.indexOf(u"V_SDRT"_s) + 1);
        QCOMPARE(names.mid(first, 8),
                 (QStringList{u"T_dprime"_s, u"T_beta"_s, u"T_Q1_MeanRT"_s, u"T_Q1_E_OMI"_s, u"T_Q1_E_COM"_s,
                              u"T_Q2_MeanRT"_s, u"T_Q2_E_OMI"_s, u"T_Q2_E_COM"_s}));
        QCOMPARE(names.last(), u"V_CV"_s);
        QCOMPARE(names.size(), first + 4 * 17);
        auto field = [&](const QString &name) { return fields[names.indexOf(name)]; };
        QCOMPARE(field(u"N_dprime"_s).csv, u"0.9931"_s);
        QCOMPARE(field(u"N_RTSlope"_s).csv, u"100.0000"_s);
        QCOMPARE(field(u"N_Q2_E_OMI"_s).csv, u"1"_s);
        QCOMPARE(field(u"N_Q2_MeanRT"_s).csv, QString());
        QCOMPARE(field(u"N_Q2_MeanRT"_s).json, u"null"_s);
        QCOMPARE(field(u"A_dprime"_s).json, u"null"_s);
    }
};

QTEST_GUILESS_MAIN(MeasuresTest)
#include "tst_measures.moc"
