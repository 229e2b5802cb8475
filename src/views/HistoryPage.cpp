#include "HistoryPage.h"

#include "HistoryChart.h"
#include "PageMap.h"

#include <QtCharts/QChart>

#include <QGraphicsLayout>
#include <QGraphicsScene>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

constexpr qreal BandWidth = 190.0;
constexpr qreal MmPerPixel = 25.4 / 96.0;
constexpr qreal TableTop = 18.0;
constexpr qreal RowHeight = 6.5;
constexpr qreal HeadingWidth = 36.0;
constexpr qreal MaxColumnWidth = 30.0;
constexpr qreal ChartTop = TableTop + HistoryRowCount * RowHeight + 7.0;
constexpr qreal ChartHeight = 56.0;
constexpr qreal ChartGap = 3.0;

const QColor ValueColour(0, 0, 128);
const QColor HeadingFill(255, 255, 204);

QFont pageFont(qreal points, bool bold = false)
{
    QFont font(u"Noto Sans CJK JP"_s);
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

void drawCell(QPainter &painter, const TPageMap &page, const QRectF &mm, const QString &text, bool heading, bool bold)
{
    const QRectF box = page.rect(mm);
    painter.setPen(QPen(Qt::black, page.dx(MmPerPixel)));
    painter.setBrush(heading ? HeadingFill : QColor(Qt::white));
    painter.drawRect(box);
    painter.setFont(pageFont(7.5, bold));
    painter.setPen(heading ? QColor(Qt::black) : ValueColour);
    // A long medication wraps to a second line and is cut at the cell, never drawn over its neighbours.
    painter.save();
    painter.setClipRect(box, Qt::IntersectClip);
    painter.drawText(box.adjusted(page.dx(0.8), 0, -page.dx(0.8), 0),
                     Qt::AlignCenter | Qt::TextWordWrap | Qt::TextWrapAnywhere, text);
    painter.restore();
}

// Draws a chart the way the window shows it, scaled so that one pixel of it is one screen pixel on paper.
void drawChart(QPainter &painter, const TPageMap &page, const QRectF &mm, QChart *chart)
{
    QGraphicsScene scene;
    scene.addItem(chart); // the scene owns it from here
    const QSizeF size(mm.width() / MmPerPixel, mm.height() / MmPerPixel);
    chart->resize(size);
    chart->layout()->activate();
    scene.setSceneRect(QRectF(QPointF(), size));
    scene.render(&painter, page.rect(mm), scene.sceneRect());
}

} // namespace

void THistoryPage::Paint(QPainter &painter) const
{
    const TPageMap page(painter);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    painter.setPen(Qt::black);
    painter.setFont(pageFont(14, true));
    painter.drawText(page.rect(QRectF(0, 0, BandWidth, 8)), Qt::AlignCenter, u"経　過"_s);
    painter.setFont(pageFont(9));
    QString subject =
        u"氏名 %1　　生年月日 %2　　同じ氏名・生年月日の検査 %3 件（検査日順）"_s.arg(Name, Birth).arg(Entries.size());
    const qsizetype shown = std::min<qsizetype>(Entries.size(), MaxColumns);
    if (shown < Entries.size())
        subject += u"、表は最近の %1 件"_s.arg(shown);
    painter.drawText(page.rect(QRectF(0, 10, BandWidth, 5)), Qt::AlignLeft | Qt::AlignVCenter, subject);

    const qreal columnWidth =
        shown > 0 ? std::min(MaxColumnWidth, (BandWidth - HeadingWidth) / static_cast<qreal>(shown)) : MaxColumnWidth;
    for (int row = 0; row < HistoryRowCount; ++row) {
        const qreal y = TableTop + row * RowHeight;
        drawCell(painter, page, QRectF(0, y, HeadingWidth, RowHeight), HistoryRowHeading(THistoryRow(row)), true,
                 false);
    }
    for (qsizetype c = 0; c < shown; ++c) {
        const THistoryEntry &entry = Entries[Entries.size() - shown + c];
        const QStringList column = HistoryColumn(entry);
        const qreal x = HeadingWidth + static_cast<qreal>(c) * columnWidth;
        for (int row = 0; row < HistoryRowCount; ++row) {
            drawCell(painter, page, QRectF(x, TableTop + row * RowHeight, columnWidth, RowHeight), column[row],
                     row == hrNumber, entry.Number == Current);
        }
    }

    for (int k = 0; k < HistoryChartCount; ++k) {
        const QRectF box(0, ChartTop + k * (ChartHeight + ChartGap), BandWidth, ChartHeight);
        drawChart(painter, page, box, MakeHistoryChart(Entries, THistoryChart(k)));
    }
    painter.restore();
}

} // namespace vigix
