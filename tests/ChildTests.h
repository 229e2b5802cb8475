#pragma once

#include "TestFile.h"

namespace vigix::testing {

// A test of 20 rounds without noise by `name` 花子, born 2016/4/1: 10 circles with `hits` hits at
// rt + round ms, then 10 crosses with `commissions` commissions.
inline void WriteChildTest(const QString &folder, const QString &number, const QString &name, const QString &date,
                           const QString &medication, int hits, int rt, int commissions)
{
    using namespace Qt::StringLiterals;
    TTestFile test;
    test.Info.Kensabangou = number;
    test.Info.Kensanichiji = date;
    test.Info.Shimei1 = name;
    test.Info.Shimei2 = u"花子"_s;
    test.Info.Seinengappi1 = u"2016"_s;
    test.Info.Seinengappi2 = u"4"_s;
    test.Info.Seinengappi3 = u"1"_s;
    test.Info.Touyaku = medication;
    for (int i = 1; i <= 20; ++i) {
        TRoundInfo &round = test.Rounds[i];
        round.Target = i <= 10 ? u"T"_s : u"N"_s;
        round.Noise = u"N"_s;
        if (i <= 10 ? i <= hits : i - 10 <= commissions) {
            round.RT[1] = rt + i;
            round.Button[1] = 1;
        }
    }
    test.RoundCount = 20;
    test.WriteFile(folder, number);
}

} // namespace vigix::testing
