#pragma once

#include "History.h"

#include <QWidget>

#include <array>

class QLabel;
class QPushButton;
class QTableWidget;

QT_BEGIN_NAMESPACE
class QChartView;
QT_END_NAMESPACE

namespace vigix {

class TTestStore;

class TfrmPrint;

// A child's history: every stored test of the same child (same name fields and birth date) as a column, in
// date order, with charts of the main results across the tests. Its print button prints the report of the
// test it was opened from with the history as a second page. Named "history" + number.
class TfrmHistory : public QWidget
{
    Q_OBJECT
public:
    // A window of its own; it goes with `owner` (the card it was opened from).
    TfrmHistory(TTestStore &store, TfrmPrint &print, QWidget *owner);

    // Reads every test of the child of test `number` afresh and shows them. Raises the records' EVigixError
    // when that test cannot be read; other tests that cannot be read are named under the table.
    void ShowHistory(const QString &number);
    const QList<THistoryEntry> &Entries() const { return m_entries; }

    QLabel *lblChild = nullptr;
    QTableWidget *grdHistory = nullptr; // a column per test; row 0 holds the test numbers
    QLabel *lblUnreadable = nullptr;
    std::array<QChartView *, 3> chtHistory{};
    QPushButton *btnPrint = nullptr;
    QPushButton *btnClose = nullptr;

private:
    void printReport();

    TTestStore &m_store;
    TfrmPrint &m_print;
    QString m_number;
    TTestInfo m_child;
    QList<THistoryEntry> m_entries;
};

} // namespace vigix
