#include "TimingRecord.h"

#include <algorithm>
#include <cmath>

namespace vigix {

namespace {

// A whole test: a 15-minute section ticks about 9,000 times.
constexpr std::size_t ExpectedTicks = 10000;

} // namespace

TTimingRecorder::TTimingRecorder()
{
    m_lateness.reserve(ExpectedTicks);
}

void TTimingRecorder::Reset()
{
    m_lateness.clear();
    m_slowestTick = 0;
    m_presses = 0;
    m_slowestPress = 0;
    m_slippedMs = 0;
    m_eventTimedPresses = 0;
    m_maxEventGap = 0;
    m_disturbedRounds.clear();
    m_uiPriority.clear();
    m_tickPriority.clear();
}

void TTimingRecorder::AddTick(double lateMs, double handlingMs)
{
    m_lateness.push_back(lateMs);
    m_slowestTick = std::max(m_slowestTick, handlingMs);
}

void TTimingRecorder::SetPriorities(const QString &ui, const QString &tick)
{
    m_uiPriority = ui;
    m_tickPriority = tick;
}

void TTimingRecorder::AddPress(double handlingMs)
{
    ++m_presses;
    m_slowestPress = std::max(m_slowestPress, handlingMs);
}

void TTimingRecorder::AddEventTimedPress(std::uint32_t gapMs)
{
    ++m_eventTimedPresses;
    m_maxEventGap = std::max(m_maxEventGap, gapMs);
}

void TTimingRecorder::AddDisturbedRound(int round)
{
    const auto at = std::lower_bound(m_disturbedRounds.begin(), m_disturbedRounds.end(), round);
    if (at == m_disturbedRounds.end() || *at != round)
        m_disturbedRounds.insert(at, round);
}

TTimingSummary TTimingRecorder::Summary(int storedRounds) const
{
    TTimingSummary summary;
    summary.Ticks = Ticks();
    summary.SlippedMs = m_slippedMs;
    summary.EventTimedPresses = m_eventTimedPresses;
    summary.MaxEventGapMs = static_cast<int>(m_maxEventGap);
    for (int round : m_disturbedRounds)
        if (round <= storedRounds)
            summary.DisturbedRounds.append(round);
    summary.SlowestTickMs = m_slowestTick;
    summary.Presses = m_presses;
    summary.SlowestPressMs = m_slowestPress;
    summary.UiPriority = m_uiPriority;
    summary.TickPriority = m_tickPriority;
    if (m_lateness.empty())
        return summary;
    std::vector<double> sorted = m_lateness;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t n = sorted.size();
    summary.MedianLateMs = n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2.0;
    // Nearest rank.
    const auto rank = static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(n)));
    summary.P99LateMs = sorted[std::clamp<std::size_t>(rank, 1, n) - 1];
    summary.MaxLateMs = sorted.back();
    return summary;
}

} // namespace vigix
