#pragma once

#include "Age.h"
#include "TestFile.h"

#include <QList>
#include <QString>

#include <optional>

namespace vigix {

// One test of a child's history: what a clinician compares from test to test (before and after medication).
struct THistoryEntry
{
    QString Number;
    QString DateTime;
    std::optional<TAge> Age;
    QString Touyaku;
    QString Ritarin;
    double OmissionPercent = 0; // of all rounds; 0 without rounds
    double CommissionPercent = 0;
    double MeanRT = -1; // -1 without hits
    double SDRT = -1;   // -1 with fewer than two hits
    std::optional<double> DPrime;
};

// Whether two records are of the same child: the same name fields and birth date.
bool SameChild(const TTestInfo &a, const TTestInfo &b);

// Every stored test of the child of `info`, oldest first (by the test date-time, then the number). Tests
// that cannot be read are left out and named in `unreadable`.
QList<THistoryEntry> ChildHistory(const QString &dataFolder, const TTestInfo &info, QStringList *unreadable = nullptr);

} // namespace vigix
