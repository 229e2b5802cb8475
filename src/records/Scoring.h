#pragma once

#include "TestFile.h"

#include <QList>
#include <QString>

#include <array>
#include <cstdint>

namespace vigix {

// Valid window for the first response of a round, in ms, inclusive.
constexpr int ValidRTMin = 250;
constexpr int ValidRTMax = 1249;

// The judgement of one round: a set of result kinds 1..6 (Total is never a member).
class TJudgement
{
public:
    void add(TResultKind kind) { m_bits |= bit(kind); }
    bool contains(TResultKind kind) const { return (m_bits & bit(kind)) != 0; }
    bool operator==(const TJudgement &other) const = default;

private:
    static std::uint8_t bit(TResultKind kind) { return static_cast<std::uint8_t>(1u << kind); }
    std::uint8_t m_bits = 0;
};

// Classifies one round from Target, RT[1], RT[2], Button[1] and Button[2].
TJudgement JudgeRound(const TRoundInfo &round);

// Mean of the values; -1 for an empty list.
double Mean(const QList<double> &values);
// Sample standard deviation (divisor n - 1); -1 for fewer than two values.
double SD(const QList<double> &values);

// A mean or deviation as text with two decimals ("%4.2f"); -1 gives "-".
QString FormatRT(double value);
// "(" + count / rounds x 100 in "%5.1f" + "% )"; empty when rounds is 0.
QString FormatPercent(int count, int rounds);
// One "■" per two whole percentage points, at most ten, then "+" above that; empty when rounds is 0.
QString LevelBar(int count, int rounds);

// Reaction-time distribution: 31 bins of 100 ms; bin k counts the values from k x 100 to k x 100 + 99.
constexpr int DistributionBins = 31;
std::array<int, DistributionBins> RTDistribution(const QList<double> &reactionTimes);

} // namespace vigix
