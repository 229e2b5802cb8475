#include "Scoring.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace vigix {

TJudgement JudgeRound(const TRoundInfo &round)
{
    const int r1 = round.RT[1];
    const int r2 = round.RT[2];
    const bool multiple = r2 != 0 && round.Button[1] == round.Button[2];
    const bool isCircle = round.Target == u"T"_s;
    const bool isCross = round.Target == u"N"_s;

    TJudgement judgement;
    if (r1 != 0 && (r1 < ValidRTMin || r1 > ValidRTMax)) {
        // Too early or too late: neither hit, omission nor commission, whatever was shown.
        judgement.add(E_INV);
        if (multiple)
            judgement.add(E_MUL);
        return judgement;
    }
    if (isCross && r1 != 0)
        judgement.add(E_COM);
    if (isCircle && r1 == 0)
        judgement.add(E_OMI);
    if (multiple)
        judgement.add(E_MUL);
    if (isCircle && r1 != 0)
        judgement.add(Hit);
    if (isCross && r1 == 0)
        judgement.add(CorrectReject);
    return judgement;
}

void TTestFile::Culc()
{
    for (int c = condN; c <= condV; ++c)
        CulcResult.Count[c].fill(0);
    for (QList<double> &list : CulcResult.HitRT)
        list.clear();

    for (int i = 1; i <= RoundCount; ++i) {
        const TRoundInfo &round = Rounds[i];
        int c = -1;
        if (round.Noise == u"N"_s)
            c = condN;
        else if (round.Noise == u"A"_s)
            c = condA;
        else if (round.Noise == u"V"_s)
            c = condV;

        const TJudgement judgement = JudgeRound(round);
        if (c >= 0) {
            CulcResult.Count[c][Total] += 1;
            for (int k = CorrectReject; k <= E_INV; ++k) {
                if (judgement.contains(static_cast<TResultKind>(k)))
                    CulcResult.Count[c][k] += 1;
            }
        }
        if (judgement.contains(Hit)) {
            // A round of unknown noise is counted in no row, but its hit still belongs to all hits.
            CulcResult.HitRT[condT].append(round.RT[1]);
            if (c >= 0) {
                CulcResult.HitRT[c].append(round.RT[1]);
                CulcResult.Count[c][Hit] += 1;
            }
        }
    }

    for (int k = 0; k < ResultKindCount; ++k)
        CulcResult.Count[condT][k] =
            CulcResult.Count[condN][k] + CulcResult.Count[condA][k] + CulcResult.Count[condV][k];
    for (int c = 0; c < ConditionCount; ++c)
        CulcResult.MeanRT[c] = Mean(CulcResult.HitRT[c]);
    for (int c = 0; c < ConditionCount; ++c)
        CulcResult.SDRT[c] = SD(CulcResult.HitRT[c]);
}

double Mean(const QList<double> &values)
{
    if (values.isEmpty())
        return -1;
    double sum = 0;
    for (double x : values)
        sum += x;
    return sum / static_cast<double>(values.size());
}

double SD(const QList<double> &values)
{
    if (values.isEmpty())
        return -1;
    const double m = Mean(values);
    double s = 0;
    for (double x : values)
        s += (m - x) * (m - x);
    if (values.size() == 1)
        return -1;
    return std::sqrt(s / static_cast<double>(values.size() - 1));
}

QString FormatRT(double value)
{
    if (value == -1)
        return u"-"_s;
    return QString::asprintf("%4.2f", value);
}

QString FormatPercent(int count, int rounds)
{
    if (rounds == 0)
        return QString();
    const double percent = static_cast<double>(count) * 100.0 / static_cast<double>(rounds);
    return u"("_s + QString::asprintf("%5.1f", percent) + u"% )"_s;
}

QString LevelBar(int count, int rounds)
{
    constexpr int Limit = 10;
    constexpr int PointsPerBlock = 2;
    if (rounds == 0)
        return QString();
    // Whole blocks of the exact percentage, in integers: a floating-point 57.99999 for 58 % must not lose one.
    const long long blocks = (100LL * count) / (static_cast<long long>(PointsPerBlock) * rounds);
    if (blocks > Limit)
        return QString(Limit, u'■') + u'+';
    return QString(static_cast<qsizetype>(std::max(blocks, 0LL)), u'■');
}

std::array<int, DistributionBins> RTDistribution(const QList<double> &reactionTimes)
{
    std::array<int, DistributionBins> bins{};
    for (double x : reactionTimes) {
        // Values outside 0..3099 ms cannot be hits; a file from elsewhere must not write beside the bins.
        if (!(x >= 0 && x < DistributionBins * 100.0))
            continue;
        bins[static_cast<std::size_t>(static_cast<int>(x) / 100)] += 1;
    }
    return bins;
}

} // namespace vigix
