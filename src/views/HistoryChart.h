#pragma once

#include "History.h"

#include <QList>

QT_BEGIN_NAMESPACE
class QChart;
QT_END_NAMESPACE

namespace vigix {

// The groups of results a child's history charts, one chart each because their units differ.
enum class THistoryChart { Errors, ReactionTime, DPrime };
constexpr int HistoryChartCount = 3;

// A line chart of one group of results across a child's tests, oldest on the left. The tests are equally
// spaced and labelled with their dates; a test without the value (no hits, no rounds) has no point in
// that line. The caller owns the chart.
QChart *MakeHistoryChart(const QList<THistoryEntry> &history, THistoryChart kind);

} // namespace vigix
