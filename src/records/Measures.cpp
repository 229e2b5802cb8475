#include "Measures.h"

#include "Scoring.h"

#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

// Which result condition a round belongs to besides T; -1 for a noise code scoring does not know.
int conditionOf(const TRoundInfo &round)
{
    if (round.Noise == u"N"_s)
        return condN;
    if (round.Noise == u"A"_s)
        return condA;
    if (round.Noise == u"V"_s)
        return condV;
    return -1;
}

std::optional<double> meanOf(const QList<double> &values)
{
    if (values.isEmpty())
        return std::nullopt;
    return Mean(values);
}

} // namespace

double InverseNormal(double p)
{
    if (!(p > 0 && p < 1))
        return std::numeric_limits<double>::quiet_NaN();
    // Acklam's rational approximation (relative error below 1.2e-9), then one Halley step on erfc.
    static constexpr double a[] = {-3.969683028665376e+01, 2.209460984245205e+02,  -2.759285104469687e+02,
                                   1.383577518672690e+02,  -3.066479806614716e+01, 2.506628277459239e+00};
    static constexpr double b[] = {-5.447609879822406e+01, 1.615858368580409e+02, -1.556989798598866e+02,
                                   6.680131188771972e+01, -1.328068155288572e+01};
    static constexpr double c[] = {-7.784894002430293e-03, -3.223964580411365e-01, -2.400758277161838e+00,
                                   -2.549732539343734e+00, 4.374664141464968e+00,  2.938163982698783e+00};
    static constexpr double d[] = {7.784695709041462e-03, 3.224671290700398e-01, 2.445134137142996e+00,
                                   3.754408661907416e+00};
    constexpr double low = 0.02425;
    double x = 0;
    if (p < low) {
        const double q = std::sqrt(-2 * std::log(p));
        x = (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
            ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1);
    } else if (p <= 1 - low) {
        const double q = p - 0.5;
        const double r = q * q;
        x = (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
            (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1);
    } else {
        const double q = std::sqrt(-2 * std::log(1 - p));
        x = -(((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
            ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1);
    }
    const double e = 0.5 * std::erfc(-x / std::sqrt(2.0)) - p;
    const double u = e * std::sqrt(2 * M_PI) * std::exp(x * x / 2);
    return x - u / (1 + x * u / 2);
}

std::array<TConditionMeasures, ConditionCount> Measures(const TTestFile &scored)
{
    std::array<TConditionMeasures, ConditionCount> measures;
    std::array<int, ConditionCount> circles{};
    std::array<int, ConditionCount> crosses{};
    std::array<std::array<QList<double>, 4>, ConditionCount> quarterHits;
    std::array<QList<double>, ConditionCount> commissionTimes;

    const int n = std::max(scored.RoundCount, 0);
    for (int i = 1; i <= n; ++i) {
        const TRoundInfo &round = scored.Rounds[i];
        const int c = conditionOf(round);
        if (c < 0)
            continue;
        // Round i lies in quarter q when floor(q n / 4) < i <= floor((q + 1) n / 4).
        int quarter = 0;
        while (quarter < 3 && i > (quarter + 1) * n / 4)
            ++quarter;
        const TJudgement judgement = JudgeRound(round);
        for (int condition : {int(condT), c}) {
            TConditionMeasures &m = measures[static_cast<std::size_t>(condition)];
            circles[condition] += round.Target == u"T"_s;
            crosses[condition] += round.Target == u"N"_s;
            if (judgement.contains(Hit))
                quarterHits[condition][quarter].append(round.RT[1]);
            if (judgement.contains(E_OMI))
                ++m.QuarterOmissions[quarter];
            if (judgement.contains(E_COM)) {
                ++m.QuarterCommissions[quarter];
                commissionTimes[condition].append(round.RT[1]);
            }
        }
    }

    const TCulcResult &result = scored.CulcResult;
    for (int c = 0; c < ConditionCount; ++c) {
        TConditionMeasures &m = measures[static_cast<std::size_t>(c)];
        if (result.Count[c][Total] > 0) {
            const double h = (result.Count[c][Hit] + 0.5) / (circles[c] + 1.0);
            const double f = (result.Count[c][E_COM] + 0.5) / (crosses[c] + 1.0);
            const double zh = InverseNormal(h);
            const double zf = InverseNormal(f);
            m.DPrime = zh - zf;
            m.Beta = std::exp((zf * zf - zh * zh) / 2);
        }
        // Slope over the quarters that have hits.
        double sx = 0, sy = 0, sxx = 0, sxy = 0;
        int points = 0;
        for (int q = 0; q < 4; ++q) {
            m.QuarterMeanRT[q] = meanOf(quarterHits[c][q]);
            if (!m.QuarterMeanRT[q])
                continue;
            const double x = q + 1;
            const double y = *m.QuarterMeanRT[q];
            sx += x;
            sy += y;
            sxx += x * x;
            sxy += x * y;
            ++points;
        }
        if (points >= 2)
            m.RTSlope = (points * sxy - sx * sy) / (points * sxx - sx * sx);
        m.CommissionMeanRT = meanOf(commissionTimes[c]);
        if (result.MeanRT[c] != -1 && result.SDRT[c] != -1 && result.MeanRT[c] != 0)
            m.CV = result.SDRT[c] / result.MeanRT[c];
    }
    return measures;
}

} // namespace vigix
