#pragma once

#include "TestFile.h"

#include <QList>
#include <QPointF>
#include <QString>

#include <array>

namespace vigix {

// What the results table, the charts and the report show of a scored test, computed here so that the
// windows only draw it.

// The error rows of the table and the report, top to bottom.
constexpr std::array<TResultKind, 4> ErrorRows{E_OMI, E_COM, E_MUL, E_INV};

// "無反応エラー", "誤反応エラー", "多発反応エラー" or "予期反応エラー".
QString ErrorLabel(TResultKind kind);

// One condition's column: counts as plain decimals, percentages of all its rounds, mean and deviation.
struct TConditionTexts
{
    QString Total;
    std::array<QString, 4> Errors;   // in the order of ErrorRows
    std::array<QString, 4> Percents; // FormatPercent of each error count; empty without rounds
    QString Mean;                    // FormatRT: "-" without hits
    QString SD;                      // FormatRT: "-" with fewer than two hits
};
TConditionTexts ConditionTexts(const TCulcResult &result, TCondition condition);

// The report's four error-ratio bars, from all rounds, in the order of ErrorRows.
std::array<QString, 4> ErrorLevelBars(const TCulcResult &result);

// The trend: point (i + 1, time) for the i-th hit (from 0) of the condition, in round order.
QList<QPointF> TrendPoints(const QList<double> &hitRT);
// The mean line over the trend: (1, mean) and (hits, mean); empty without hits.
QList<QPointF> TrendMeanLine(const QList<double> &hitRT);

// The distribution bars: bins 2 to 12 of the 100-ms distribution, 11 bars (250..299 ms is bin 2).
constexpr int FirstBarBin = 2;
constexpr int LastBarBin = 12;
struct TBar
{
    int Bin;
    int Count;
};
QList<TBar> DistributionBars(const QList<double> &hitRT);

// A slice of the error-ratio pie.
struct TErrorSlice
{
    TResultKind Kind;
    int Count;
    double Percent; // of the four counts' sum; 0 when the sum is 0
    QString Legend; // the percentage, then the label: "37.5 % 誤反応エラー"
};
// The four error kinds of the condition, smallest count first (equal counts keep the table's order).
QList<TErrorSlice> ErrorSlices(const TCulcResult &result, TCondition condition);

} // namespace vigix
