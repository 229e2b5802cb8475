#include "History.h"

#include "Errors.h"
#include "Measures.h"
#include "Scoring.h"
#include "TestStore.h"

#include <QDir>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace vigix {

QString HistoryRowHeading(THistoryRow row)
{
    switch (row) {
    case hrNumber:
        return u"検査番号"_s;
    case hrDate:
        return u"検査日"_s;
    case hrAge:
        return u"年齢"_s;
    case hrTouyaku:
        return u"投薬"_s;
    case hrRitarin:
        return u"リタリン"_s;
    case hrRounds:
        return u"試行数"_s;
    case hrOmission:
        return u"無反応エラー (%)"_s;
    case hrCommission:
        return u"誤反応エラー (%)"_s;
    case hrMeanRT:
        return u"平均反応時間 (ms)"_s;
    case hrSDRT:
        return u"反応時間 SD (ms)"_s;
    case hrDPrime:
        return u"d′"_s;
    }
    return QString();
}

QStringList HistoryColumn(const THistoryEntry &entry)
{
    QStringList column(HistoryRowCount);
    column[hrNumber] = entry.Number;
    column[hrDate] = entry.DateTime.section(u' ', 0, 0);
    column[hrAge] = entry.Age ? u"%1歳%2ヶ月"_s.arg(entry.Age->Years).arg(entry.Age->Months) : u"-"_s;
    column[hrTouyaku] = entry.Touyaku;
    column[hrRitarin] = entry.Ritarin;
    column[hrRounds] = QString::number(entry.Rounds);
    const bool scored = entry.Rounds > 0;
    column[hrOmission] = scored ? QString::number(entry.OmissionPercent, 'f', 1) : u"-"_s;
    column[hrCommission] = scored ? QString::number(entry.CommissionPercent, 'f', 1) : u"-"_s;
    column[hrMeanRT] = FormatRT(entry.MeanRT);
    column[hrSDRT] = FormatRT(entry.SDRT);
    column[hrDPrime] = entry.DPrime ? QString::number(*entry.DPrime, 'f', 2) : u"-"_s;
    return column;
}

bool SameChild(const TTestInfo &a, const TTestInfo &b)
{
    return a.Shimei1 == b.Shimei1 && a.Shimei2 == b.Shimei2 && a.Seinengappi1 == b.Seinengappi1 &&
           a.Seinengappi2 == b.Seinengappi2 && a.Seinengappi3 == b.Seinengappi3;
}

QList<THistoryEntry> ChildHistory(TTestStore &store, const TTestInfo &info, QStringList *unreadable)
{
    QList<THistoryEntry> history;
    TTestFile test;
    for (const TStoredTest &stored : store.Tests()) {
        try {
            if (!stored.Readable())
                throw EInOutError(stored.Error);
            if (!SameChild(stored.Info, info))
                continue;
            store.ReadTest(test, stored.Number);
            test.Culc();
        } catch (const EVigixError &error) {
            if (unreadable)
                unreadable->append(error.message());
            continue;
        }
        const TCulcResult &result = test.CulcResult;
        const auto &all = result.Count[condT];
        THistoryEntry entry;
        entry.Number = stored.Number;
        entry.DateTime = test.Info.Kensanichiji;
        try {
            entry.Age = AgeAtTest(test.Info.Seinengappi1, test.Info.Seinengappi2, test.Info.Kensanichiji);
        } catch (const EConvertError &) {
            // A date-time changed by hand: the age stays empty, the results are still shown.
        }
        entry.Touyaku = test.Info.Touyaku;
        entry.Ritarin = test.Info.Ritarin;
        entry.Rounds = test.RoundCount;
        if (all[Total] > 0) {
            entry.OmissionPercent = 100.0 * all[E_OMI] / all[Total];
            entry.CommissionPercent = 100.0 * all[E_COM] / all[Total];
        }
        entry.MeanRT = result.MeanRT[condT];
        entry.SDRT = result.SDRT[condT];
        entry.DPrime = Measures(test)[condT].DPrime;
        history.append(entry);
    }
    // "yyyy/MM/dd HH:mm:ss" sorts as text; the number breaks ties.
    std::stable_sort(history.begin(), history.end(), [](const THistoryEntry &a, const THistoryEntry &b) {
        return a.DateTime != b.DateTime ? a.DateTime < b.DateTime : a.Number < b.Number;
    });
    return history;
}

} // namespace vigix
