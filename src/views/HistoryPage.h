#pragma once

#include "History.h"

#include <QList>
#include <QString>

class QPainter;

namespace vigix {

// The printed page of a child's history: the subject, a table with a column per test (the most recent
// ones when they do not all fit) and the history charts of every test. Painted on the report's A4 layout.
struct THistoryPage
{
    static constexpr int MaxColumns = 10;

    QString Name;    // "山田 花子"
    QString Birth;   // "2016/4/1"
    QString Current; // the number of the test the report is of; its column is set in bold
    QList<THistoryEntry> Entries;

    void Paint(QPainter &painter) const;
};

} // namespace vigix
