#pragma once

#include "TestFile.h"

#include <QWidget>

#include <array>

class QLabel;

namespace vigix {

class TTestStore;

// The results table of the current test: one column per noise condition and one for all rounds; rows for
// the rounds, the four error kinds with their percentages, the mean reaction time and its deviation.
// A tool window that lives for the whole run; closing it only hides it.
class TfrmTable : public QWidget
{
    Q_OBJECT
public:
    static constexpr int ClientWidth = 437;
    static constexpr int ClientHeight = 158;

    // Shows tests of store's folder; another folder clears the test shown.
    explicit TfrmTable(TTestStore &store, QWidget *parent = nullptr);

    // Fills the table from the stored test. Raises the file's error before changing anything.
    void ShowTest(const QString &number);

    // The value labels of a column (condition T, N, A or V), named as lblN_E_OMI, lblN_E_OMI_P, ...
    struct TColumn
    {
        QLabel *Total = nullptr;
        std::array<QLabel *, 4> Errors{};   // E_OMI, E_COM, E_MUL, E_INV
        std::array<QLabel *, 4> Percents{}; // the same, as percentages of the column's rounds
        QLabel *Mean = nullptr;
        QLabel *SD = nullptr;
    };
    const TColumn &Column(TCondition condition) const { return m_columns[condition]; }
    QLabel *lblShimei = nullptr;
    QLabel *lblKensanichiji = nullptr;

signals:
    // The window was hidden, by its close box or by the main window.
    void Hidden();

protected:
    void hideEvent(QHideEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void buildColumn(TCondition condition, int x);
    // No test is shown.
    void clearTest();

    TTestStore &m_store;
    std::array<TColumn, ConditionCount> m_columns;
};

} // namespace vigix
