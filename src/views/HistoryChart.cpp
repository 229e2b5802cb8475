#include "HistoryChart.h"

#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QLegend>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <QHash>
#include <QPen>

#include <algorithm>
#include <functional>
#include <optional>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

constexpr qsizetype MaxAxisLabels = 5;

using TValue = std::function<std::optional<double>(const THistoryEntry &)>;

struct TLine
{
    QString name;
    QColor colour;
    TValue value;
};

QFont chartFont()
{
    QFont font(u"Noto Sans CJK JP"_s);
    font.setPointSize(8);
    return font;
}

std::optional<double> scored(const THistoryEntry &entry, double value)
{
    return entry.Rounds > 0 ? std::optional<double>(value) : std::nullopt;
}

std::optional<double> time(double value)
{
    return value == -1 ? std::nullopt : std::optional<double>(value);
}

QList<TLine> linesOf(THistoryChart kind)
{
    switch (kind) {
    case THistoryChart::Errors:
        return {{u"無反応エラー"_s, QColor(255, 0, 0), [](const auto &e) { return scored(e, e.OmissionPercent); }},
                {u"誤反応エラー"_s, QColor(0, 0, 255), [](const auto &e) { return scored(e, e.CommissionPercent); }}};
    case THistoryChart::ReactionTime:
        return {{u"平均反応時間"_s, QColor(0, 0, 255), [](const auto &e) { return time(e.MeanRT); }},
                {u"反応時間 SD"_s, QColor(0, 128, 0), [](const auto &e) { return time(e.SDRT); }}};
    case THistoryChart::DPrime:
        return {{u"d′"_s, QColor(0, 0, 128), [](const auto &e) { return e.DPrime; }}};
    }
    return {};
}

QString titleOf(THistoryChart kind)
{
    switch (kind) {
    case THistoryChart::Errors:
        return u"エラー率 (%)"_s;
    case THistoryChart::ReactionTime:
        return u"反応時間 (ms)"_s;
    case THistoryChart::DPrime:
        return u"d′"_s;
    }
    return QString();
}

// Axis labels must differ from one another: tests of the same day are told apart by their numbers.
QStringList testLabels(const QList<THistoryEntry> &history)
{
    QStringList labels;
    QHash<QString, int> sameDay;
    for (const THistoryEntry &entry : history) {
        labels.append(entry.DateTime.section(u' ', 0, 0));
        ++sameDay[labels.last()];
    }
    for (qsizetype i = 0; i < labels.size(); ++i) {
        if (sameDay.value(labels[i]) > 1 || labels[i].isEmpty())
            labels[i] += u" ("_s + history[i].Number + u')';
    }
    return labels;
}

// "2025<br>11/20": the year above the day keeps the label narrow enough for three charts side by side.
QString twoLines(QString label)
{
    const qsizetype slash = label.indexOf(u'/');
    if (slash > 0)
        label.replace(slash, 1, u"<br>"_s);
    return label;
}

} // namespace

QChart *MakeHistoryChart(const QList<THistoryEntry> &history, THistoryChart kind)
{
    auto *chart = new QChart;
    const QFont font = chartFont();
    chart->setTitle(titleOf(kind));
    chart->setTitleFont(font);
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->setBackgroundRoundness(0);

    auto *xAxis = new QCategoryAxis;
    xAxis->setLabelsFont(font);
    // Each label stands under its test's point. A long history labels every k-th test only, so that the
    // labels stay readable (and the axis quick to lay out).
    xAxis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    xAxis->setStartValue(-0.5);
    const QStringList labels = testLabels(history);
    const qsizetype step = std::max<qsizetype>(1, (labels.size() + MaxAxisLabels - 1) / MaxAxisLabels);
    // Counted back from the newest test, which always has its label; appended oldest first, as the axis wants.
    for (qsizetype i = (labels.size() - 1) % step; i < labels.size(); i += step)
        xAxis->append(twoLines(labels[i]), static_cast<double>(i));
    xAxis->setRange(-0.5, std::max<double>(0.5, static_cast<double>(history.size()) - 0.5));
    xAxis->setGridLineVisible(false);
    chart->addAxis(xAxis, Qt::AlignBottom);

    auto *yAxis = new QValueAxis;
    yAxis->setLabelsFont(font);
    yAxis->setLabelFormat(kind == THistoryChart::DPrime ? u"%.1f"_s : u"%.0f"_s);
    chart->addAxis(yAxis, Qt::AlignLeft);

    double low = 0;
    double high = kind == THistoryChart::Errors ? 10 : kind == THistoryChart::ReactionTime ? 500 : 3;
    const QList<TLine> lines = linesOf(kind);
    for (const TLine &line : lines) {
        auto *series = new QLineSeries;
        series->setName(line.name);
        // The second line is dashed, so that where the two lines meet both stay visible.
        series->setPen(QPen(line.colour, 2, &line == &lines.first() ? Qt::SolidLine : Qt::DashLine));
        series->setPointsVisible(true);
        for (qsizetype i = 0; i < history.size(); ++i) {
            if (const std::optional<double> value = line.value(history[i])) {
                series->append(static_cast<double>(i), *value);
                low = std::min(low, *value);
                high = std::max(high, *value);
            }
        }
        chart->addSeries(series);
        series->attachAxis(xAxis);
        series->attachAxis(yAxis);
    }
    yAxis->setRange(low, high);
    yAxis->applyNiceNumbers();

    chart->legend()->setVisible(lines.size() > 1);
    chart->legend()->setFont(font);
    chart->legend()->setAlignment(Qt::AlignBottom);
    return chart;
}

} // namespace vigix
