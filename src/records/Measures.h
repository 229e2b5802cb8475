#pragma once

#include "TestFile.h"

#include <array>
#include <optional>

namespace vigix {

// Signal-detection and time-on-task measures of one result condition. A condition's rounds are those its
// results row counts (all rounds with a known noise for T); circles are rounds whose Target is "T", crosses
// those whose Target is "N". Missing values are empty.
struct TConditionMeasures
{
    // Log-linear corrected: H = (hits + 0.5) / (circles + 1), F = (commissions + 0.5) / (crosses + 1);
    // d' = z(H) - z(F), beta = exp((z(F)^2 - z(H)^2) / 2). Empty without rounds.
    std::optional<double> DPrime;
    std::optional<double> Beta;
    // Quarter q (0..3) holds rounds floor(q n / 4) + 1 .. floor((q + 1) n / 4) of the test's n rounds.
    std::array<std::optional<double>, 4> QuarterMeanRT; // mean hit reaction time; empty without hits
    std::array<int, 4> QuarterOmissions{};
    std::array<int, 4> QuarterCommissions{};
    // Least-squares slope of the quarter means over the quarter number (ms per quarter), from the quarters
    // with hits; empty with fewer than two.
    std::optional<double> RTSlope;
    // Mean first-response time of the commission errors.
    std::optional<double> CommissionMeanRT;
    // SDRT / MeanRT.
    std::optional<double> CV;
};

// The measures of conditions T, N, A and V (indexed as TCondition). Culc must have run.
std::array<TConditionMeasures, ConditionCount> Measures(const TTestFile &scored);

// The inverse of the standard normal distribution function, for 0 < p < 1.
double InverseNormal(double p);

} // namespace vigix
