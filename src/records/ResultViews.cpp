#include "ResultViews.h"

#include "Scoring.h"

#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace vigix {

QString ErrorLabel(TResultKind kind)
{
    switch (kind) {
    case E_OMI:
        return u"無反応エラー"_s;
    case E_COM:
        return u"誤反応エラー"_s;
    case E_MUL:
        return u"多発反応エラー"_s;
    case E_INV:
        return u"予期反応エラー"_s;
    default:
        return QString();
    }
}

TConditionTexts ConditionTexts(const TCulcResult &result, TCondition condition)
{
    const auto &count = result.Count[condition];
    TConditionTexts texts;
    texts.Total = QString::number(count[Total]);
    for (std::size_t row = 0; row < ErrorRows.size(); ++row) {
        texts.Errors[row] = QString::number(count[ErrorRows[row]]);
        texts.Percents[row] = FormatPercent(count[ErrorRows[row]], count[Total]);
    }
    texts.Mean = FormatRT(result.MeanRT[condition]);
    texts.SD = FormatRT(result.SDRT[condition]);
    return texts;
}

std::array<QString, 4> ErrorLevelBars(const TCulcResult &result)
{
    const auto &count = result.Count[condT];
    std::array<QString, 4> bars;
    for (std::size_t row = 0; row < ErrorRows.size(); ++row)
        bars[row] = LevelBar(count[ErrorRows[row]], count[Total]);
    return bars;
}

QList<QPointF> TrendPoints(const QList<double> &hitRT)
{
    QList<QPointF> points;
    points.reserve(hitRT.size());
    for (qsizetype i = 0; i < hitRT.size(); ++i)
        points.append(QPointF(static_cast<double>(i + 1), hitRT[i]));
    return points;
}

QList<QPointF> TrendMeanLine(const QList<double> &hitRT)
{
    if (hitRT.isEmpty())
        return {};
    const double mean = Mean(hitRT);
    return {QPointF(1, mean), QPointF(static_cast<double>(hitRT.size()), mean)};
}

QList<TBar> DistributionBars(const QList<double> &hitRT)
{
    const std::array<int, DistributionBins> bins = RTDistribution(hitRT);
    QList<TBar> bars;
    for (int bin = FirstBarBin; bin <= LastBarBin; ++bin)
        bars.append(TBar{bin, bins[static_cast<std::size_t>(bin)]});
    return bars;
}

QList<TErrorSlice> ErrorSlices(const TCulcResult &result, TCondition condition)
{
    const auto &count = result.Count[condition];
    int sum = 0;
    for (TResultKind kind : ErrorRows)
        sum += count[kind];
    QList<TErrorSlice> slices;
    for (TResultKind kind : ErrorRows) {
        const double percent = sum == 0 ? 0.0 : 100.0 * count[kind] / sum;
        // Up to two decimals, without trailing zeros: "25 %", "37.5 %", "33.33 %".
        const QString legend = QString::number(percent, 'f', 2).remove(QRegularExpression(u"\\.?0+$"_s));
        slices.append(TErrorSlice{kind, count[kind], percent, legend + u" % "_s + ErrorLabel(kind)});
    }
    std::stable_sort(slices.begin(), slices.end(),
                     [](const TErrorSlice &a, const TErrorSlice &b) { return a.Count < b.Count; });
    return slices;
}

} // namespace vigix
