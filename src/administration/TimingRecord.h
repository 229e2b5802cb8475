#pragma once

#include "TimingSummary.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <limits>
#include <vector>

namespace vigix {

// Collects the figures of one test section; the user-interface thread is its only user.
class TTimingRecorder
{
public:
    TTimingRecorder();
    void Reset();
    void AddTick(double lateMs, double handlingMs);
    void SetSlippedMs(double slipped) { m_slippedMs = slipped; }
    void AddPress(double handlingMs);
    void AddEventTimedPress(std::uint32_t gapMs);
    void AddDisturbedRound(int round);
    void SetPriorities(const QString &ui, const QString &tick);
    int Ticks() const { return static_cast<int>(m_lateness.size()); }
    // storedRounds: rounds after it were not stored and are not listed.
    TTimingSummary Summary(int storedRounds = std::numeric_limits<int>::max()) const;

private:
    std::vector<double> m_lateness;
    double m_slowestTick = 0;
    int m_presses = 0;
    double m_slowestPress = 0;
    double m_slippedMs = 0;
    int m_eventTimedPresses = 0;
    std::uint32_t m_maxEventGap = 0;
    QList<int> m_disturbedRounds; // ascending, each once
    QString m_uiPriority;
    QString m_tickPriority;
};

} // namespace vigix
