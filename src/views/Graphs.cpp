#include "Graphs.h"

#include "MessageBox.h"
#include "ResultViews.h"
#include "TestStore.h"

#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QPieSeries>
#include <QtCharts/QPieSlice>
#include <QtCharts/QValueAxis>

#include <QButtonGroup>
#include <QGraphicsLayout>
#include <QMouseEvent>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

const QColor Teal(0, 128, 128);
const QColor LightYellow(255, 255, 128);
const QColor LightCyan(128, 255, 255);
const QColor Blue(0, 0, 255);
const QColor Red(255, 0, 0);
const QColor Yellow(255, 255, 0);
const QColor Green(0, 128, 0);
const QColor GridGrey(128, 128, 128);

constexpr int ButtonWidth = 75;
constexpr int ButtonHeight = 20;
constexpr int SeparatorWidth = 8;

// The trend's time scale: every hit lies in 250..1249 ms. Grid lines every 250 ms, labels every other one.
constexpr double TrendMin = 250;
constexpr double TrendMax = 1250;
constexpr double TrendLabelStep = 500;
// The distribution's count scale: grid lines every 25, labels every other one.
constexpr double CountMax = 100;
constexpr double CountLabelStep = 50;

// The chart texts: "ＭＳ Ｐ明朝" at 9 points, for which Noto Serif CJK JP stands in.
QFont chartFont()
{
    QFont mincho(u"Noto Serif CJK JP"_s);
    mincho.setPointSize(9);
    return mincho;
}

// The buttons: "ＭＳ Ｐゴシック" at 9 points, for which Noto Sans CJK JP stands in.
QFont buttonFont()
{
    QFont gothic(u"Noto Sans CJK JP"_s);
    gothic.setPointSize(9);
    return gothic;
}

// Axes are styled after they are added to the chart: adding one applies the chart theme to it.
void styleAxis(QAbstractAxis *axis)
{
    axis->setLabelsFont(chartFont());
    axis->setLabelsColor(Qt::black);
    axis->setLinePen(QPen(Qt::black, 1));
    axis->setGridLinePen(QPen(GridGrey, 1, Qt::DotLine));
    axis->setMinorGridLineVisible(false);
}

// A value axis that keeps its range whatever is drawn, labelled every labelStep counted from its bottom, so that
// the labels stay on round values when the range is dragged, with a grid line half-way between two labels.
// Qt Charts shortens every value label to "..." once the axis is shorter than about 28 pixels per label with
// this font, and the charts are 132 pixels high: five labels would not fit, three do.
QValueAxis *addFixedValueAxis(QChart *chart, QAbstractSeries *series, double min, double max, double labelStep)
{
    auto *axis = new QValueAxis;
    chart->addAxis(axis, Qt::AlignLeft);
    series->attachAxis(axis);
    axis->setRange(min, max);
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(min);
    axis->setTickInterval(labelStep);
    axis->setMinorTickCount(1);
    axis->setLabelFormat(u"%.0f"_s);
    styleAxis(axis);
    axis->setMinorGridLineVisible(true);
    axis->setMinorGridLinePen(axis->gridLinePen());
    return axis;
}

QPen linePen(const QColor &colour)
{
    // Flat ends: a line of zero length (the mean of a single hit) draws nothing instead of a dot.
    QPen pen(colour, 1);
    pen.setCapStyle(Qt::FlatCap);
    return pen;
}

QColor sliceColour(TResultKind kind)
{
    switch (kind) {
    case E_OMI:
        return Blue;
    case E_COM:
        return Red;
    case E_MUL:
        return Yellow;
    case E_INV:
        return Green;
    default:
        return Qt::gray;
    }
}

} // namespace

TfrmGraph::TfrmGraph(const QString &objectName, const QString &title, TTestStore &store,
                     std::function<QString()> currentTestNumber, QWidget *parent)
    : QWidget(parent, Qt::Tool), m_store(store), m_title(title), m_currentTestNumber(std::move(currentTestNumber))
{
    setObjectName(objectName);
    // The chart's own name until a test fills it; then the test's number and name.
    setWindowTitle(title);
    // The test shown belonged to the old folder: a number there may be another child's in the new one.
    connect(&m_store, &TTestStore::FolderChanged, this, [this] {
        setWindowTitle(m_title);
        clear();
    });
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Teal);
    colours.setColor(QPalette::WindowText, Qt::black);
    setPalette(colours);

    Chart1 = new QChartView(this);
    Chart1->setObjectName(u"Chart1"_s);
    Chart1->setFrameStyle(QFrame::Panel | QFrame::Sunken); // the panel's lowered inner bevel
    Chart1->setRenderHint(QPainter::Antialiasing);
    QChart *panel = Chart1->chart();
    panel->setBackgroundBrush(LightYellow);
    panel->setBackgroundPen(Qt::NoPen);
    panel->setBackgroundRoundness(0);
    panel->layout()->setContentsMargins(0, 0, 0, 0);
    panel->setMargins(QMargins(4, 4, 10, 4));
    panel->legend()->setFont(chartFont());
    panel->legend()->setLabelColor(Qt::black);
    panel->legend()->hide();

    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(u"ToolBar1"_s);
    ToolBar1->setFixedHeight(ToolBarHeight);
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->layout()->setContentsMargins(0, 0, 0, 0);
    ToolBar1->layout()->setSpacing(0);
    auto *separator = new QWidget(ToolBar1);
    separator->setFixedSize(SeparatorWidth, ButtonHeight);
    ToolBar1->addWidget(separator);

    m_conditions = new QButtonGroup(this);
    m_conditions->setExclusive(true); // the button that is down stays down when pressed again
    sbn_T = addConditionButton(u"sbn_T"_s, u"総　計"_s, condT);
    sbn_N = addConditionButton(u"sbn_N"_s, u"ノイズなし"_s, condN);
    sbn_A = addConditionButton(u"sbn_A"_s, u"聴覚ノイズ"_s, condA);
    sbn_V = addConditionButton(u"sbn_V"_s, u"視覚ノイズ"_s, condV);
    sbn_T->setChecked(true);
    m_drawnCondition = condT;
    connect(m_conditions, &QButtonGroup::buttonClicked, this, &TfrmGraph::redraw);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Chart1, 1);
    layout->addWidget(ToolBar1);
    setMinimumSize(SeparatorWidth + 4 * ButtonWidth, ToolBarHeight + 60);
    resize(DefaultWidth, DefaultClientHeight);
}

QToolButton *TfrmGraph::addConditionButton(const QString &name, const QString &caption, TCondition condition)
{
    auto *button = new QToolButton(ToolBar1);
    button->setObjectName(name);
    button->setText(caption);
    button->setFont(buttonFont());
    button->setCheckable(true);
    button->setFixedSize(ButtonWidth, ButtonHeight);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_conditions->addButton(button, condition);
    ToolBar1->addWidget(button);
    button->setAutoRaise(false); // after adding it: the tool bar makes its buttons flat
    return button;
}

void TfrmGraph::ShowTest(const QString &number)
{
    // Read and score first: a test that cannot be read leaves caption and chart as they were.
    auto test = std::make_unique<TTestFile>();
    m_store.ReadTest(*test, number);
    test->Culc();
    const TTestInfo &info = test->Info;
    setWindowTitle(info.Kensabangou + u' ' + info.FullName());
    fill(test->CulcResult, SelectedCondition());
    m_drawnCondition = SelectedCondition();
}

TCondition TfrmGraph::SelectedCondition() const
{
    return static_cast<TCondition>(m_conditions->checkedId());
}

QChart *TfrmGraph::chart() const
{
    return Chart1->chart();
}

void TfrmGraph::redraw()
{
    const QString number = m_currentTestNumber();
    bool drawn = false;
    if (number.isEmpty())
        TMessageBox::Warning(this, u"対象になる検査を選択してください"_s);
    else
        drawn = TMessageBox::Run(this, [this, &number] { ShowTest(number); });
    // A condition that could not be drawn is not the one the chart shows: its button goes back.
    if (!drawn)
        m_conditions->button(m_drawnCondition)->setChecked(true);
}

void TfrmGraph::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    emit Hidden();
}

// ---------------------------------------------------------------------------------------------------------

TfrmGraph1::TfrmGraph1(TTestStore &store, std::function<QString()> currentTestNumber, QWidget *parent)
    : TfrmGraph(u"frmGraph1"_s, u"反応時間推移グラフ"_s, store, std::move(currentTestNumber), parent)
{
    Series1 = new QLineSeries;
    Series1->setObjectName(u"Series1"_s);
    Series2 = new QLineSeries;
    Series2->setObjectName(u"Series2"_s);
    chart()->addSeries(Series1);
    chart()->addSeries(Series2);

    // The hit ordinal is not worth a scale: the line shows only the course over the test.
    AxisX = new QValueAxis;
    chart()->addAxis(AxisX, Qt::AlignBottom);
    Series1->attachAxis(AxisX);
    Series2->attachAxis(AxisX);
    AxisX->setRange(1, 2);
    AxisX->setVisible(false);
    // Without a visible horizontal axis the chart keeps no room below the lowest time label.
    chart()->setMargins(chart()->margins() + QMargins(0, 0, 0, 6));
    AxisY = addFixedValueAxis(chart(), Series1, TrendMin, TrendMax, TrendLabelStep);
    Series2->attachAxis(AxisY);

    Series1->setPen(linePen(Blue));
    Series2->setPen(linePen(Green));
}

void TfrmGraph1::fill(const TCulcResult &result, TCondition condition)
{
    const QList<double> &hits = result.HitRT[condition];
    Series1->replace(TrendPoints(hits));
    Series2->replace(TrendMeanLine(hits));
    // At least 1..2, so that the axis keeps a range without hits or with one.
    AxisX->setRange(1, static_cast<double>(std::max<qsizetype>(hits.size(), 2)));
}

void TfrmGraph1::clear()
{
    Series1->clear();
    Series2->clear();
}

// ---------------------------------------------------------------------------------------------------------

TfrmGraph2::TfrmGraph2(TTestStore &store, std::function<QString()> currentTestNumber, QWidget *parent)
    : TfrmGraph(u"frmGraph2"_s, u"反応時間分布グラフ"_s, store, std::move(currentTestNumber), parent)
{
    Series1 = new QBarSet(QString());
    Series1->setObjectName(u"Series1"_s);
    BarSeries1 = new QBarSeries;
    BarSeries1->append(Series1);
    BarSeries1->setBarWidth(0.7);
    chart()->addSeries(BarSeries1);

    auto *bins = new QBarCategoryAxis;
    for (int bin = FirstBarBin; bin <= LastBarBin; ++bin)
        bins->append(QString::number(bin));
    chart()->addAxis(bins, Qt::AlignBottom);
    BarSeries1->attachAxis(bins);
    styleAxis(bins);
    bins->setGridLineVisible(false);
    AxisY = addFixedValueAxis(chart(), BarSeries1, 0, CountMax, CountLabelStep);

    // Qt Charts draws only flat: no bar depth, no side offset and no walls. The light cyan of the left and
    // bottom walls becomes the plot area's background (there is no white back wall), and the bars are plain
    // blue with a black outline.
    chart()->setPlotAreaBackgroundBrush(LightCyan);
    chart()->setPlotAreaBackgroundPen(Qt::NoPen);
    chart()->setPlotAreaBackgroundVisible(true);
    Series1->setColor(Blue);
    Series1->setPen(QPen(Qt::black, 1));

    Chart1->viewport()->installEventFilter(this);
}

void TfrmGraph2::fill(const TCulcResult &result, TCondition condition)
{
    Series1->remove(0, Series1->count());
    for (const TBar &bar : DistributionBars(result.HitRT[condition]))
        Series1->append(bar.Count);
    // A new fill starts from the fixed range again, whatever the last drag left.
    AxisY->setRange(0, CountMax);
}

void TfrmGraph2::clear()
{
    Series1->remove(0, Series1->count());
    AxisY->setRange(0, CountMax);
}

bool TfrmGraph2::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != Chart1->viewport())
        return TfrmGraph::eventFilter(watched, event);
    // Dragging moves the bars with the mouse: down shows higher values, so a bar cut at the top can be seen.
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton && mouse->button() != Qt::RightButton)
            return false;
        m_dragging = true;
        m_dragY = mouse->position().y();
        return true;
    }
    case QEvent::MouseMove: {
        if (!m_dragging)
            return false;
        auto *mouse = static_cast<QMouseEvent *>(event);
        const double y = mouse->position().y();
        const double height = chart()->plotArea().height();
        if (height > 0) {
            const double shift = (y - m_dragY) * (AxisY->max() - AxisY->min()) / height;
            AxisY->setRange(AxisY->min() + shift, AxisY->max() + shift);
        }
        m_dragY = y;
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (!m_dragging)
            return false;
        m_dragging = false;
        return true;
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------------------------------------

TfrmGraph3::TfrmGraph3(TTestStore &store, std::function<QString()> currentTestNumber, QWidget *parent)
    : TfrmGraph(u"frmGraph3"_s, u"誤反応比率グラフ"_s, store, std::move(currentTestNumber), parent)
{
    Series1 = new QPieSeries;
    Series1->setObjectName(u"Series1"_s);
    chart()->addSeries(Series1);
    // A pie is always circular in Qt Charts. It is drawn flat: Qt Charts cannot tilt a pie into 3-D.
    Series1->setPieStartAngle(90);
    Series1->setPieEndAngle(90 + 360);
    Series1->setPieSize(0.9);

    QLegend *legend = chart()->legend();
    legend->setAlignment(Qt::AlignRight);
    // The slices run from the smallest; the legend lists them from the largest.
    legend->setReverseMarkers(true);
    legend->show();
}

void TfrmGraph3::fill(const TCulcResult &result, TCondition condition)
{
    Series1->clear();
    for (const TErrorSlice &error : ErrorSlices(result, condition)) {
        QPieSlice *slice = Series1->append(error.Legend, error.Count);
        slice->setColor(sliceColour(error.Kind));
        // An empty slice gets no outline: it would draw a stray radius (all of them, when every count is 0).
        slice->setPen(error.Count > 0 ? QPen(Qt::black, 1) : QPen(Qt::NoPen));
        slice->setLabelVisible(false);
    }
    // Every colour box of the legend keeps its outline, empty slice or not.
    for (QLegendMarker *marker : chart()->legend()->markers(Series1))
        marker->setPen(QPen(Qt::black, 1));
}

void TfrmGraph3::clear()
{
    Series1->clear();
}

} // namespace vigix
