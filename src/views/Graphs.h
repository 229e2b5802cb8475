#pragma once

#include "TestFile.h"

#include <QWidget>

#include <functional>

class QBarSeries;
class QBarSet;
class QButtonGroup;
class QChart;
class QChartView;
class QLineSeries;
class QPieSeries;
class QToolBar;
class QToolButton;
class QValueAxis;

namespace vigix {

class TTestStore;

// A result chart: a tool window with the chart filling it and, at the bottom, four buttons that choose the
// condition drawn (all rounds, no noise, auditory noise, visual noise). Each fill reads and scores the stored
// test itself. Lives for the whole run; closing it only hides it.
class TfrmGraph : public QWidget
{
    Q_OBJECT
public:
    static constexpr int DefaultWidth = 445;
    static constexpr int DefaultClientHeight = 158;
    static constexpr int ToolBarHeight = 26;

    // currentTestNumber gives the test the buttons redraw: the main window's current test number.
    // title: the caption until a test is shown.
    // Another folder of the store clears the test shown.
    TfrmGraph(const QString &objectName, const QString &title, TTestStore &store,
              std::function<QString()> currentTestNumber, QWidget *parent = nullptr);

    // Fills the window from the stored test for the condition whose button is down. Raises the file's error
    // before changing anything.
    void ShowTest(const QString &number);
    // The condition of the button that is down.
    TCondition SelectedCondition() const;

    QChartView *Chart1 = nullptr;
    QToolBar *ToolBar1 = nullptr;
    QToolButton *sbn_T = nullptr; // 総　計, all rounds
    QToolButton *sbn_N = nullptr; // ノイズなし
    QToolButton *sbn_A = nullptr; // 聴覚ノイズ
    QToolButton *sbn_V = nullptr; // 視覚ノイズ

signals:
    // The window was hidden, by its close box or by the main window.
    void Hidden();

protected:
    virtual void fill(const TCulcResult &result, TCondition condition) = 0;
    // Empties the chart: no test is shown.
    virtual void clear() = 0;
    void hideEvent(QHideEvent *event) override;

    QChart *chart() const;

private:
    QToolButton *addConditionButton(const QString &name, const QString &caption, TCondition condition);
    void redraw();

    TTestStore &m_store;
    QString m_title; // the caption while no test is shown
    std::function<QString()> m_currentTestNumber;
    QButtonGroup *m_conditions = nullptr;
    TCondition m_drawnCondition; // what the chart shows
};

// The hit reaction times of the condition over the test, with their mean as a horizontal line.
class TfrmGraph1 : public TfrmGraph
{
    Q_OBJECT
public:
    TfrmGraph1(TTestStore &store, std::function<QString()> currentTestNumber, QWidget *parent = nullptr);

    QLineSeries *Series1 = nullptr; // (hit ordinal, reaction time)
    QLineSeries *Series2 = nullptr; // the mean, from the first to the last hit
    QValueAxis *AxisX = nullptr;    // hidden
    QValueAxis *AxisY = nullptr;    // 250..1250 ms

protected:
    void fill(const TCulcResult &result, TCondition condition) override;
    void clear() override;
};

// The distribution of the hit reaction times of the condition in 100-ms bins 2..12. The value axis can be
// dragged up and down to see a bar that runs past its top.
class TfrmGraph2 : public TfrmGraph
{
    Q_OBJECT
public:
    TfrmGraph2(TTestStore &store, std::function<QString()> currentTestNumber, QWidget *parent = nullptr);

    QBarSet *Series1 = nullptr;       // one value per bin, bins 2..12
    QBarSeries *BarSeries1 = nullptr; // holds Series1
    QValueAxis *AxisY = nullptr;      // 0..100 after every fill

protected:
    void fill(const TCulcResult &result, TCondition condition) override;
    void clear() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool m_dragging = false;
    double m_dragY = 0;
};

// The shares of the four error kinds of the condition, smallest slice first; the legend lists the largest
// at the top.
class TfrmGraph3 : public TfrmGraph
{
    Q_OBJECT
public:
    TfrmGraph3(TTestStore &store, std::function<QString()> currentTestNumber, QWidget *parent = nullptr);

    QPieSeries *Series1 = nullptr;

protected:
    void fill(const TCulcResult &result, TCondition condition) override;
    void clear() override;
};

} // namespace vigix
