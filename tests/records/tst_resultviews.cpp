#include "ResultViews.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace vigix;

namespace {

// A result whose condition has these rounds and error counts (omission, commission, multiple, anticipatory).
TCulcResult resultWith(TCondition condition, int rounds, std::array<int, 4> errors)
{
    TCulcResult result;
    result.Count[condition][Total] = rounds;
    for (std::size_t row = 0; row < ErrorRows.size(); ++row)
        result.Count[condition][ErrorRows[row]] = errors[row];
    result.MeanRT.fill(-1);
    result.SDRT.fill(-1);
    return result;
}

} // namespace

class ResultViewsTest : public QObject
{
    Q_OBJECT
private slots:
    void conditionTexts_countsPercentagesAndMissingValues()
    {
        TCulcResult result = resultWith(condA, 40, {4, 1, 0, 2});
        result.MeanRT[condA] = 512.345;
        const TConditionTexts a = ConditionTexts(result, condA);
        QCOMPARE(a.Total, u"40"_s);
        QCOMPARE(a.Errors, (std::array<QString, 4>{u"4"_s, u"1"_s, u"0"_s, u"2"_s}));
        QCOMPARE(a.Percents[0], u"( 10.0% )"_s);
        QCOMPARE(a.Percents[2], u"(  0.0% )"_s);
        QCOMPARE(a.Mean, u"512.35"_s);
        QCOMPARE(a.SD, u"-"_s);
        // A condition without rounds: counts 0, no percentages.
        const TConditionTexts v = ConditionTexts(result, condV);
        QCOMPARE(v.Total, u"0"_s);
        QCOMPARE(v.Errors[3], u"0"_s);
        QCOMPARE(v.Percents, (std::array<QString, 4>{}));
    }

    void errorLevelBars_fromAllRounds_twoPercentPerSquare()
    {
        QCOMPARE(ErrorLevelBars(resultWith(condT, 50, {10, 11, 1, 0})),
                 (std::array<QString, 4>{QString(10, u'■'), QString(10, u'■') + u'+', u"■"_s, QString()}));
        QCOMPARE(ErrorLevelBars(resultWith(condT, 51, {1, 0, 0, 0}))[0], QString());
        QCOMPARE(ErrorLevelBars(resultWith(condN, 50, {10, 0, 0, 0}))[0], QString()); // only all rounds count
    }

    void trend_pointsByHitOrdinal_meanLineSpansThem()
    {
        QCOMPARE(TrendPoints({700, 300, 500}), (QList<QPointF>{{1, 700}, {2, 300}, {3, 500}}));
        QCOMPARE(TrendMeanLine({700, 300, 500}), (QList<QPointF>{{1, 500}, {3, 500}}));
        QCOMPARE(TrendMeanLine({640}), (QList<QPointF>{{1, 640}, {1, 640}}));
        QVERIFY(TrendMeanLine({}).isEmpty());
    }

    void distributionBars_elevenBinsFromTwoToTwelve()
    {
        const QList<TBar> bars = DistributionBars({250, 299, 300, 1249, 1249, 999});
        QCOMPARE(bars.size(), 11);
        QCOMPARE(bars.first().Bin, 2);
        QCOMPARE(bars.last().Bin, 12);
        QList<int> counts;
        for (const TBar &bar : bars)
            counts.append(bar.Count);
        QCOMPARE(counts, (QList<int>{2, 1, 0, 0, 0, 0, 0, 1, 0, 0, 2}));
        for (const TBar &bar : DistributionBars({}))
            QCOMPARE(bar.Count, 0);
    }

    void errorSlices_ascendingWithPercentLegends()
    {
        const QList<TErrorSlice> slices = ErrorSlices(resultWith(condT, 100, {3, 1, 0, 4}), condT);
        QList<TResultKind> kinds;
        for (const TErrorSlice &slice : slices)
            kinds.append(slice.Kind);
        QCOMPARE(kinds, (QList<TResultKind>{E_MUL, E_COM, E_OMI, E_INV}));
        QCOMPARE(slices[0].Legend, u"0 % 多発反応エラー"_s);
        QCOMPARE(slices[1].Legend, u"12.5 % 誤反応エラー"_s);
        QCOMPARE(slices[2].Legend, u"37.5 % 無反応エラー"_s);
        QCOMPARE(slices[3].Legend, u"50 % 予期反応エラー"_s);
        QCOMPARE(ErrorSlices(resultWith(condT, 9, {1, 1, 1, 0}), condT)[1].Legend, u"33.33 % 無反応エラー"_s);

        // Equal counts keep the table's order; all zero gives 0 % each.
        const QList<TErrorSlice> none = ErrorSlices(resultWith(condN, 20, {0, 0, 0, 0}), condN);
        QCOMPARE(none[0].Kind, E_OMI);
        QCOMPARE(none[3].Kind, E_INV);
        for (const TErrorSlice &slice : none)
            QVERIFY(slice.Legend.startsWith(u"0 % "_s));
    }
};

QTEST_GUILESS_MAIN(ResultViewsTest)
#include "tst_resultviews.moc"
