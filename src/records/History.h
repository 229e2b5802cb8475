#pragma once

#include "Age.h"
#include "TestFile.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace vigix {

class TTestStore;

// One test of a child's history: what a clinician compares from test to test (before and after medication).
struct THistoryEntry
{
    QString Number;
    QString DateTime;
    std::optional<TAge> Age;
    QString Touyaku;
    QString Ritarin;
    int Rounds = 0;             // rounds stored: fewer than 500 for a test ended early
    double OmissionPercent = 0; // of all rounds; 0 without rounds
    double CommissionPercent = 0;
    double MeanRT = -1; // -1 without hits
    double SDRT = -1;   // -1 with fewer than two hits
    std::optional<double> DPrime;
};

// The rows a history shows for each test, top to bottom, and what each test shows in them.
enum THistoryRow {
    hrNumber,
    hrDate,
    hrAge,
    hrTouyaku,
    hrRitarin,
    hrRounds,
    hrOmission,
    hrCommission,
    hrMeanRT,
    hrSDRT,
    hrDPrime
};
constexpr int HistoryRowCount = hrDPrime + 1;
QString HistoryRowHeading(THistoryRow row);
// The column of one test: the date without the time, the age as "9歳7ヶ月", percentages with one decimal,
// times as the results table shows them, d′ with two decimals; "-" for a result the test does not have.
QStringList HistoryColumn(const THistoryEntry &entry);

// Whether two records are of the same child: the same name fields and birth date.
bool SameChild(const TTestInfo &a, const TTestInfo &b);

// Every stored test of the child of `info`, oldest first (by the test date-time, then the number). Tests
// that cannot be read are left out and named in `unreadable`.
QList<THistoryEntry> ChildHistory(TTestStore &store, const TTestInfo &info, QStringList *unreadable = nullptr);

} // namespace vigix
