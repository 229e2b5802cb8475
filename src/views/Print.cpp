#include "Print.h"

#include "Errors.h"
#include "MessageBox.h"
#include "PageMap.h"
#include "SafeFile.h"
#include "TestFile.h"
#include "TestStore.h"

#include <QAction>
#include <QBuffer>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScopeGuard>
#include <QScreen>
#include <QStandardPaths>
#include <QTextLayout>
#include <QToolBar>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

constexpr qreal MmPerPoint = 25.4 / 72.0;
constexpr qreal MmPerPixel = 25.4 / 96.0; // one pixel of the page as it was drawn on screen
constexpr qreal LineWidth = MmPerPixel;   // rules of cells and axes are one such pixel wide

const QColor ValueColour(0, 0, 128); // every filled-in value is navy; fixed texts are black

// Noto Sans CJK JP stands in for ＭＳ Ｐゴシック, DejaVu Sans Bold for Arial Black.
const QString JapaneseFamily = u"Noto Sans CJK JP"_s;
const QString LatinBoldFamily = u"DejaVu Sans"_s;

// The boxes were drawn for faces whose baseline sits this far below the top of a line, in ems:
// ＭＳ Ｐゴシック's cell is exactly one em with its baseline 220/256 em down, Arial Black's baseline 1.1 em
// down. Noto's own cell is 1.45 em high with its baseline 1.16 em down; set on its own baseline a 12-pt
// heading would run over the rule below it and a table text over its cell's border.
constexpr qreal JapaneseAscent = 220.0 / 256.0;
constexpr qreal LatinBoldAscent = 2254.0 / 2048.0;

QString webAddress()
{
    return u"https://vigix.example.org/"_s;
}

// A face of the page: the font, and where its lines sit in a box (mm from the box's top).
struct TFace
{
    QFont font;
    qreal baseline; // first line's baseline
    qreal pitch;    // from one line to the next
};

QFont makeFont(const QString &family, bool bold, qreal emMm)
{
    QFont font(family);
    font.setBold(bold);
    font.setPointSizeF(emMm / MmPerPoint);
    // Unhinted outlines advance as they will in the PDF and on paper, whatever the device's resolution.
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

// A size given in points: the em of the replaced face, set on that face's baseline, one em per line.
TFace pointFace(qreal points, const QString &family = JapaneseFamily, bool bold = false, qreal ascent = JapaneseAscent)
{
    const qreal em = points * MmPerPoint;
    return TFace{makeFont(family, bold, em), ascent * em, em};
}

// A size given as a character cell in pixels: the replaced face's cell is exactly one em, so the em gets that
// height and Noto's glyphs come out as large as the layout's.
TFace cellFace(int pixels)
{
    const qreal em = pixels * MmPerPixel;
    return TFace{makeFont(JapaneseFamily, false, em), JapaneseAscent * em, em};
}

enum class TStyle { ProductWord, WebAddress, Title, Header, InfoI, Text, Heading, Axis };
constexpr int StyleCount = 8;

std::array<TFace, StyleCount> makeFaces()
{
    return {
        pointFace(12, LatinBoldFamily, true, LatinBoldAscent), // ProductWord
        pointFace(9, LatinBoldFamily, true, LatinBoldAscent),  // WebAddress
        cellFace(28),                                          // Title
        cellFace(14),                                          // Header
        cellFace(12),                                          // InfoI
        pointFace(9),                                          // Text
        pointFace(12),                                         // Heading
        pointFace(8),                                          // Axis
    };
}

// How a text of the page behaves in its box.
enum class TKind {
    Fixed, // a caption: black, one line, never cut ("WISC-III　：" runs a little left of its box in Noto's
           // wider letters)
    Value, // a computed value: navy, one line of bounded length
    Field, // a subject field as typed: navy, one line that shrinks, then ends in "…", to fit its box; the box
           // never grows
};

struct TText
{
    QRectF box;
    TStyle style;
    Qt::Alignment align;
    TKind kind;
    QString text; // the caption, or the name of the value label
};

struct TColumn
{
    TCondition condition;
    QString letter;
    qreal x;
    QString heading;
};

const std::array<TColumn, 4> &columns()
{
    static const std::array<TColumn, 4> list{{
        {condN, u"N"_s, 34.4, u"ノイズなし"_s},
        {condA, u"A"_s, 62.2, u"聴覚ノイズ"_s},
        {condV, u"V"_s, 90.0, u"視覚ノイズ"_s},
        {condT, u"T"_s, 117.7, u"総　計"_s},
    }};
    return list;
}

QString errorName(TResultKind kind)
{
    switch (kind) {
    case E_OMI:
        return u"OMI"_s;
    case E_COM:
        return u"COM"_s;
    case E_MUL:
        return u"MUL"_s;
    case E_INV:
        return u"INV"_s;
    default:
        return QString();
    }
}

// "1a" .. "3d" for the PDD criteria 1..12.
QString pddSuffix(int k)
{
    return QString::number((k - 1) / 4 + 1) + QChar(u'a' + (k - 1) % 4);
}

// Table geometry: cells are 5.6 mm high and their texts start 1.6 mm below the cell's top.
constexpr qreal CellHeight = 5.6;
constexpr qreal TallCellHeight = 10.8;
constexpr qreal CellTextOffset = 1.6;
constexpr qreal CaptionX = 4.0;
constexpr qreal CaptionWidth = 30.7;
constexpr qreal ColumnWidth = 26.7;
constexpr qreal RatioX = 145.5;
constexpr qreal RatioWidth = 38.6;
constexpr qreal BarX = 146.8;
constexpr qreal BarWidth = 37.3;
constexpr qreal HeaderRowY = 111.1;
constexpr qreal TrialsRowY = 116.4;
constexpr std::array<qreal, 4> ErrorRowY{123.0, 128.3, 133.6, 138.9};
constexpr qreal MeanRowY = 145.5;
constexpr qreal SDRowY = 150.8;
constexpr std::array<qreal, 5> HeadingY{50.3, 70.1, 103.2, 161.4, 215.6};

// The text line of a table row whose cell starts at y, between x and x + width.
QRectF cellText(qreal x, qreal y, qreal width)
{
    return QRectF(x, y + CellTextOffset, width, CellHeight - CellTextOffset);
}

// Every text of the page in drawing order.
QList<TText> pageTexts()
{
    QList<TText> list;
    auto fixed = [&](QRectF box, TStyle style, Qt::Alignment align, const QString &text) {
        list.append(TText{box, style, align, TKind::Fixed, text});
    };
    auto value = [&](QRectF box, TStyle style, Qt::Alignment align, const QString &name) {
        list.append(TText{box, style, align, TKind::Value, u"qlbl"_s + name});
    };
    auto field = [&](QRectF box, TStyle style, Qt::Alignment align, const QString &name) {
        list.append(TText{box, style, align, TKind::Field, u"qlbl"_s + name});
    };
    constexpr Qt::Alignment Left = Qt::AlignLeft;
    constexpr Qt::Alignment Right = Qt::AlignRight;
    constexpr Qt::Alignment Centre = Qt::AlignHCenter;

    // Header.
    fixed(QRectF(2.1, 6.3, 28.0, 4.5), TStyle::ProductWord, Centre, u"VIGIX"_s);
    fixed(QRectF(137.6, 7.4, 47.9, 4.5), TStyle::WebAddress, Centre, webAddress());
    fixed(QRectF(1.3, 14.6, 185.5, 9.0), TStyle::Title, Centre, u"検査結果レポート"_s);
    const std::array<std::pair<QString, QString>, 3> headerRows{{
        {u"検査番号　："_s, u"Kensabangou"_s},
        {u"検査日時　："_s, u"Kensanichiji"_s},
        {u"検者名　："_s, u"Kenzya"_s},
    }};
    for (std::size_t row = 0; row < headerRows.size(); ++row) {
        const qreal y = 29.4 + 5.3 * static_cast<qreal>(row);
        fixed(QRectF(115.1, y, 28.0, 4.5), TStyle::Header, Right, headerRows[row].first);
        field(QRectF(144.2, y, 42.6, 4.5), TStyle::Header, Left, headerRows[row].second);
    }

    // Section headings, centred between their two rules.
    const std::array<QString, 5> headings{u"●　被験者情報 Ⅰ"_s, u"●　被験者情報 Ⅱ"_s, u"●　検査結果"_s,
                                          u"●　反応時間推移グラフ"_s, u"●　反応時間分布グラフ"_s};
    for (std::size_t i = 0; i < headings.size(); ++i)
        fixed(QRectF(1.3, HeadingY[i] + 0.7, 60.0, 4.5), TStyle::Heading, Left, headings[i]);

    // Subject information I.
    fixed(QRectF(4.0, 58.5, 16.1, 4.2), TStyle::InfoI, Right, u"氏　名　："_s);
    field(QRectF(21.2, 58.5, 45.2, 4.2), TStyle::InfoI, Left, u"Shimei"_s);
    fixed(QRectF(67.5, 58.5, 18.8, 4.2), TStyle::InfoI, Right, u"生年月日　："_s);
    field(QRectF(87.3, 58.5, 18.8, 4.2), TStyle::InfoI, Left, u"Seinengappi"_s);
    fixed(QRectF(107.2, 58.5, 14.8, 4.2), TStyle::InfoI, Right, u"性　別　："_s);
    field(QRectF(123.0, 58.5, 6.9, 4.2), TStyle::InfoI, Centre, u"Seibetsu"_s);
    fixed(QRectF(4.0, 63.8, 16.1, 4.2), TStyle::InfoI, Right, u"診断名　："_s);
    field(QRectF(21.2, 63.8, 45.2, 4.2), TStyle::InfoI, Left, u"Shindanmei"_s);
    fixed(QRectF(67.5, 63.8, 18.8, 4.2), TStyle::InfoI, Right, u"投　薬　："_s);
    field(QRectF(87.3, 63.8, 42.6, 4.2), TStyle::InfoI, Left, u"Touyaku"_s);
    fixed(QRectF(131.0, 63.8, 18.8, 4.2), TStyle::InfoI, Right, u"リタリン　："_s);
    field(QRectF(150.8, 63.8, 36.0, 4.2), TStyle::InfoI, Left, u"Ritarin"_s);

    // Subject information II: the IQ pairs, then the checklist answers in steps of 13.23 mm.
    fixed(QRectF(4.0, 77.0, 16.1, 4.5), TStyle::Text, Right, u"WISC-III　："_s);
    const std::array<QString, 3> iq{u"PIQ"_s, u"VIQ"_s, u"FIQ"_s};
    const std::array<qreal, 3> iqX{21.2, 47.6, 74.1};
    const std::array<qreal, 3> iqValueX{34.4, 60.9, 87.3};
    for (std::size_t i = 0; i < iq.size(); ++i) {
        fixed(QRectF(iqX[i], 77.0, 12.2, 4.5), TStyle::Text, Right, iq[i] + u" ="_s);
        field(QRectF(iqValueX[i], 77.0, 12.2, 4.5), TStyle::Text, Left, iq[i]);
    }
    auto item = [&](int j, qreal y, const QString &caption, const QString &name) {
        fixed(QRectF(21.2 + 13.23 * j, y, 5.8, 4.5), TStyle::Text, Right, caption);
        field(QRectF(27.8 + 13.23 * j, y, 5.3, 4.5), TStyle::Text, Centre, name);
    };
    fixed(QRectF(4.0, 83.6, 16.1, 4.5), TStyle::Text, Right, u"ADHD　："_s);
    for (int k = 1; k <= 18; ++k)
        item((k - 1) % 12, k <= 12 ? 83.6 : 88.9, u"(%1)"_s.arg(k, 2, 10, QChar(u' ')), u"ADHD_%1"_s.arg(k));
    fixed(QRectF(4.0, 95.5, 16.1, 4.5), TStyle::Text, Right, u"PDD　："_s);
    for (int k = 1; k <= 12; ++k)
        item(k - 1, 95.5, u"("_s + pddSuffix(k) + u")"_s, u"PDD_"_s + pddSuffix(k));

    // Results table.
    const std::array<QString, 4> rowCaptions{u"無反応エラー"_s, u"誤反応エラー"_s, u"多発反応エラー"_s,
                                             u"予期反応エラー"_s};
    fixed(cellText(CaptionX, TrialsRowY, CaptionWidth), TStyle::Text, Centre, u"試　行"_s);
    for (std::size_t row = 0; row < ErrorRows.size(); ++row)
        fixed(cellText(CaptionX, ErrorRowY[row], CaptionWidth), TStyle::Text, Centre, rowCaptions[row]);
    fixed(cellText(CaptionX, MeanRowY, CaptionWidth), TStyle::Text, Centre, u"平均反応時間"_s);
    fixed(cellText(CaptionX, SDRowY, CaptionWidth), TStyle::Text, Centre, u"反応時間 ＳＤ"_s);
    for (const TColumn &column : columns()) {
        const qreal x = column.x;
        const QString prefix = column.letter + u'_';
        fixed(cellText(x, HeaderRowY, ColumnWidth), TStyle::Text, Centre, column.heading);
        value(cellText(x + 1.3, TrialsRowY, 9.5), TStyle::Text, Right, prefix + u"Total"_s);
        for (std::size_t row = 0; row < ErrorRows.size(); ++row) {
            const QString name = prefix + u"E_"_s + errorName(ErrorRows[row]);
            value(cellText(x + 1.3, ErrorRowY[row], 9.5), TStyle::Text, Right, name);
            value(cellText(x + 11.9, ErrorRowY[row], 13.5), TStyle::Text, Right, name + u"_P"_s);
        }
        value(cellText(x + 2.6, MeanRowY, 12.2), TStyle::Text, Right, prefix + u"MEAN"_s);
        fixed(cellText(x + 15.9, MeanRowY, 8.2), TStyle::Text, Centre, u"ms"_s);
        value(cellText(x + 2.6, SDRowY, 12.2), TStyle::Text, Right, prefix + u"SD"_s);
    }
    fixed(cellText(RatioX, HeaderRowY, RatioWidth), TStyle::Text, Centre, u"総　計"_s);
    fixed(cellText(RatioX, TrialsRowY, RatioWidth), TStyle::Text, Centre, u"エラー比率"_s);
    for (std::size_t row = 0; row < ErrorRows.size(); ++row)
        value(cellText(BarX, ErrorRowY[row], BarWidth), TStyle::Text, Left, errorName(ErrorRows[row]) + u"_Level"_s);

    // The distribution chart's legend on its heading line.
    const std::array<QString, 3> legend{u"ノイズなし"_s, u"聴覚ノイズ"_s, u"視覚ノイズ"_s};
    const std::array<qreal, 3> legendX{64.8, 93.9, 124.4};
    for (std::size_t i = 0; i < legend.size(); ++i)
        fixed(QRectF(legendX[i] + 5.3, 217.2, 24.0, 3.7), TStyle::Text, Left, legend[i]);
    return list;
}

QList<QRectF> pageRules()
{
    QList<QRectF> rules{QRectF(1.3, 11.9, 185.5, 1.3), QRectF(1.3, 23.8, 185.5, 1.3)};
    for (qreal y : HeadingY) {
        rules.append(QRectF(1.3, y, 185.5, 0.3));
        rules.append(QRectF(1.3, y + 5.3, 185.5, 0.3));
    }
    return rules;
}

QList<QRectF> tableCells()
{
    QList<QRectF> cells;
    const std::array<qreal, 8> rows{HeaderRowY,   TrialsRowY,   ErrorRowY[0], ErrorRowY[1],
                                    ErrorRowY[2], ErrorRowY[3], MeanRowY,     SDRowY};
    for (qreal y : rows)
        cells.append(QRectF(CaptionX, y, CaptionWidth, CellHeight));
    for (const TColumn &column : columns()) {
        for (qreal y : rows)
            cells.append(QRectF(column.x, y, ColumnWidth, CellHeight));
    }
    cells.append(QRectF(RatioX, HeaderRowY, RatioWidth, TallCellHeight));
    for (qreal y : ErrorRowY)
        cells.append(QRectF(RatioX, y, RatioWidth, CellHeight));
    cells.append(QRectF(RatioX, MeanRowY, RatioWidth, TallCellHeight)); // the bars' legend
    return cells;
}

// Draws a text on one line in its box, on the face's baseline, aligned in the box.
void drawText(QPainter &painter, const TPageMap &page, const TFace &face, const QRectF &boxMm, Qt::Alignment align,
              const QString &text, const QColor &colour)
{
    if (text.isEmpty())
        return;
    const QRectF box = page.rect(boxMm);
    QTextLayout layout(text, face.font, painter.device());
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(box.width());
    const qreal room = box.width() - line.naturalTextWidth();
    const qreal x = align.testFlag(Qt::AlignRight) ? room : align.testFlag(Qt::AlignHCenter) ? room / 2 : 0;
    line.setPosition(QPointF(x, box.top() + page.dy(face.baseline) - line.ascent()));
    layout.endLayout();

    painter.save();
    painter.setPen(colour);
    layout.draw(&painter, QPointF(box.left(), 0));
    painter.restore();
}

// The width of a text set on one line in a box as wide as given, without the blanks it ends in, as drawText sets
// it.
qreal lineWidth(const QPaintDevice *device, const QFont &font, const QString &text, qreal boxWidth)
{
    QTextLayout layout(text, font, device);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(boxWidth);
    const qreal width = line.naturalTextWidth();
    layout.endLayout();
    return width;
}

// The smallest size a subject field shrinks to: fixed rather than a share of its face, since what can be read
// depends on the printed size alone. At 6 pt a kanji's em is 2.1 mm, some 50 dots of a 600-dpi printer: the
// strokes of a dense character such as 藤 or 鷹 still stand apart; smaller, they run together.
constexpr qreal FieldMinimumPoints = 6.0;

// Draws a subject field on one line in its box, which never grows: at the face's size when it fits, else at the
// largest size down to FieldMinimumPoints that fits, else at that size cut short with "…". The line stays on the
// face's baseline, level with its caption. A field is never wrapped: even at 6 pt a second line's descenders would
// reach below the tallest box (4.5 mm), and a line is either printed whole or not at all.
void drawField(QPainter &painter, const TPageMap &page, const TFace &face, const QRectF &boxMm, Qt::Alignment align,
               const QString &text)
{
    const QPaintDevice *device = painter.device();
    const qreal width = page.dx(boxMm.width());
    TFace fitted = face;
    QString shown = text;
    const qreal natural = lineWidth(device, face.font, text, width);
    if (natural > width) {
        // Advances grow in proportion to the size, the outlines being unhinted; the steps take off what rounding
        // leaves over.
        const qreal minimum = std::min(FieldMinimumPoints, face.font.pointSizeF());
        qreal points = std::max(minimum, face.font.pointSizeF() * width / natural);
        fitted.font.setPointSizeF(points);
        while (points > minimum && lineWidth(device, fitted.font, text, width) > width) {
            points = std::max(minimum, points - 0.05);
            fitted.font.setPointSizeF(points);
        }
        if (lineWidth(device, fitted.font, text, width) > width)
            shown = QFontMetricsF(fitted.font, device).elidedText(text, Qt::ElideRight, width);
    }
    drawText(painter, page, fitted, boxMm, align, shown, ValueColour);
}

// A rectangle with a one-pixel black border inside it and white fill.
void drawCell(QPainter &painter, const TPageMap &page, const QRectF &mm)
{
    const QRectF cell = page.rect(mm);
    painter.fillRect(cell, Qt::white);
    const qreal w = page.dx(LineWidth);
    QPen pen(Qt::black, w);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(cell.adjusted(w / 2, w / 2, -w / 2, -w / 2));
}

// The axes' measures, in device units.
struct TAxisMetrics
{
    QFont font;
    qreal capHeight;
    qreal tick; // ticks point outwards, four pixels long
    qreal gap;  // between a tick and its label
    qreal line; // width of the axis lines
};

TAxisMetrics axisMetrics(const QPainter &painter, const TPageMap &page, const TFace &face)
{
    const QFontMetricsF metrics(face.font, painter.device());
    return TAxisMetrics{face.font, metrics.capHeight(), page.dx(4 * MmPerPixel), page.dx(0.6), page.dx(LineWidth)};
}

qreal textWidth(const QPainter &painter, const QFont &font, const QString &text)
{
    return QFontMetricsF(font, painter.device()).horizontalAdvance(text);
}

// The vertical axis at the plot's left edge: line, ticks and the values min, min + step, .. max.
void drawValueAxis(QPainter &painter, const TAxisMetrics &axis, const QRectF &plot, int min, int max, int step)
{
    painter.setPen(QPen(Qt::black, axis.line, Qt::SolidLine, Qt::FlatCap));
    painter.setFont(axis.font);
    painter.drawLine(QPointF(plot.left(), plot.top()), QPointF(plot.left(), plot.bottom()));
    for (int v = min; v <= max; v += step) {
        const qreal y = plot.bottom() - plot.height() * (v - min) / (max - min);
        painter.drawLine(QPointF(plot.left() - axis.tick, y), QPointF(plot.left(), y));
        const QString label = QString::number(v);
        const qreal right = plot.left() - axis.tick - axis.gap;
        painter.drawText(QPointF(right - textWidth(painter, axis.font, label), y + axis.capHeight / 2), label);
    }
}

// The trend of the hit times: a line over the hits in round order, on a fixed 250..1250 ms axis.
void drawTrendChart(QPainter &painter, const TPageMap &page, const TAxisMetrics &axis, const QList<QPointF> &points)
{
    constexpr int Min = 250;
    constexpr int Max = 1250;
    const QRectF box = page.rect(QRectF(4.0, 170.7, 180.2, 39.7));
    const QRectF inner =
        box.adjusted(box.width() * 0.01, box.height() * 0.01, -box.width() * 0.01, -box.height() * 0.01);
    const qreal labels = textWidth(painter, axis.font, QString::number(Max)) + axis.gap + axis.tick;
    const QRectF plot(QPointF(inner.left() + labels, inner.top() + axis.capHeight / 2),
                      QPointF(inner.right(), inner.bottom() - axis.capHeight / 2));
    drawValueAxis(painter, axis, plot, Min, Max, 250);

    if (points.size() < 2)
        return; // a single hit has no segment to draw
    const qreal first = points.first().x();
    const qreal last = points.last().x();
    QPolygonF line;
    line.reserve(points.size());
    for (const QPointF &p : points) {
        line.append(QPointF(plot.left() + plot.width() * (p.x() - first) / (last - first),
                            plot.bottom() - plot.height() * (p.y() - Min) / (Max - Min)));
    }
    painter.save();
    painter.setClipRect(plot, Qt::IntersectClip);
    painter.setPen(QPen(QColor(0, 64, 128), page.dx(LineWidth), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(line);
    painter.restore();
}

// The distribution of the hit times: for each 100-ms bin 2..12 the bars of the conditions N, A and V side
// by side, on a fixed 0..75 axis; a taller bar is cut at the top.
void drawDistributionChart(QPainter &painter, const TPageMap &page, const TAxisMetrics &axis,
                           const std::array<QList<TBar>, 3> &series)
{
    constexpr int Max = 75;
    constexpr int Bins = LastBarBin - FirstBarBin + 1;
    const std::array<QColor, 3> colours{QColor(128, 128, 128), QColor(0, 0, 255), QColor(255, 0, 0)};
    const QRectF box = page.rect(QRectF(7.9, 224.9, 180.2, 39.7));
    const QRectF inner =
        box.adjusted(box.width() * 0.01, box.height() * 0.01, -box.width() * 0.03, -box.height() * 0.01);
    const qreal labels = textWidth(painter, axis.font, QString::number(Max)) + axis.gap + axis.tick;
    const QRectF plot(QPointF(inner.left() + labels, inner.top() + axis.capHeight / 2),
                      QPointF(inner.right(), inner.bottom() - axis.tick - axis.gap - axis.capHeight));
    drawValueAxis(painter, axis, plot, 0, Max, 15);

    // The bin axis: one slot per bin, numbered under its middle.
    const qreal slot = plot.width() / Bins;
    painter.drawLine(QPointF(plot.left(), plot.bottom()), QPointF(plot.right(), plot.bottom()));
    for (int bin = FirstBarBin; bin <= LastBarBin; ++bin) {
        const qreal x = plot.left() + slot * (bin - FirstBarBin + 0.5);
        painter.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + axis.tick));
        const QString label = QString::number(bin);
        painter.drawText(QPointF(x - textWidth(painter, axis.font, label) / 2,
                                 plot.bottom() + axis.tick + axis.gap + axis.capHeight),
                         label);
    }

    const qreal group = slot * 0.7;
    const qreal bar = group / static_cast<qreal>(series.size());
    painter.save();
    painter.setClipRect(plot, Qt::IntersectClip);
    painter.setPen(QPen(Qt::black, axis.line / 2));
    for (std::size_t s = 0; s < series.size(); ++s) {
        painter.setBrush(colours[s]);
        for (const TBar &b : series[s]) {
            if (b.Count <= 0)
                continue;
            const qreal left = plot.left() + slot * (b.Bin - FirstBarBin + 0.5) - group / 2 + bar * s;
            const qreal top = plot.bottom() - plot.height() * b.Count / Max;
            painter.drawRect(QRectF(QPointF(left, top), QPointF(left + bar, plot.bottom())));
        }
    }
    painter.restore();
}

// The preview stays open after printing, until the user closes it; the standard dialog accepts itself
// once the page is printed.
class TPreviewDialog : public QPrintPreviewDialog
{
public:
    using QPrintPreviewDialog::QPrintPreviewDialog;
    void accept() override {}
};

} // namespace

TfrmPrint::TfrmPrint(TTestStore &store, QObject *parent) : QObject(parent), m_store(store)
{
    setObjectName(u"frmPrint"_s);
}

void TfrmPrint::PrepareReport(const QString &number, TPagePainter secondPage)
{
    TTestFile test;
    m_store.ReadTest(test, number); // raises before anything of the page changes
    test.Culc();
    const TTestInfo &info = test.Info;
    const TCulcResult &result = test.CulcResult;

    QHash<QString, QString> texts;
    texts.insert(u"qlblKensabangou"_s, info.Kensabangou);
    texts.insert(u"qlblKensanichiji"_s, info.Kensanichiji);
    texts.insert(u"qlblKenzya"_s, info.Kenzya);
    texts.insert(u"qlblShimei"_s, info.FullName());
    texts.insert(u"qlblSeinengappi"_s, info.BirthDate());
    texts.insert(u"qlblSeibetsu"_s, info.Seibetsu);
    texts.insert(u"qlblShindanmei"_s, info.Shindanmei);
    texts.insert(u"qlblTouyaku"_s, info.Touyaku);
    texts.insert(u"qlblRitarin"_s, info.Ritarin);
    texts.insert(u"qlblPIQ"_s, info.PIQ);
    texts.insert(u"qlblVIQ"_s, info.VIQ);
    texts.insert(u"qlblFIQ"_s, info.FIQ);
    for (int k = 1; k <= 18; ++k)
        texts.insert(u"qlblADHD_%1"_s.arg(k), info.ADHD[k]);
    for (int k = 1; k <= 12; ++k)
        texts.insert(u"qlblPDD_"_s + pddSuffix(k), info.PDD[k]);

    for (const TColumn &column : columns()) {
        const TConditionTexts values = ConditionTexts(result, column.condition);
        const QString prefix = u"qlbl"_s + column.letter + u'_';
        texts.insert(prefix + u"Total"_s, values.Total);
        for (std::size_t row = 0; row < ErrorRows.size(); ++row) {
            const QString name = prefix + u"E_"_s + errorName(ErrorRows[row]);
            texts.insert(name, values.Errors[row]);
            texts.insert(name + u"_P"_s, values.Percents[row]);
        }
        texts.insert(prefix + u"MEAN"_s, values.Mean);
        texts.insert(prefix + u"SD"_s, values.SD);
    }
    const std::array<QString, 4> bars = ErrorLevelBars(result);
    for (std::size_t row = 0; row < ErrorRows.size(); ++row)
        texts.insert(u"qlbl"_s + errorName(ErrorRows[row]) + u"_Level"_s, bars[row]);

    m_texts = std::move(texts);
    m_secondPage = std::move(secondPage);
    m_trend = TrendPoints(result.HitRT[condT]);
    m_distribution = {DistributionBars(result.HitRT[condN]), DistributionBars(result.HitRT[condA]),
                      DistributionBars(result.HitRT[condV])};
}

QString TfrmPrint::Text(const QString &labelName) const
{
    return m_texts.value(labelName);
}

void TfrmPrint::Paint(QPainter &painter) const
{
    const TPageMap page(painter);
    const std::array<TFace, StyleCount> faces = makeFaces();
    auto face = [&](TStyle style) -> const TFace & { return faces[static_cast<std::size_t>(style)]; };

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    for (const QRectF &rule : pageRules())
        painter.fillRect(page.rect(rule), Qt::black);
    for (const QRectF &cell : tableCells())
        drawCell(painter, page, cell);

    for (const TText &text : pageTexts()) {
        if (text.kind == TKind::Fixed)
            drawText(painter, page, face(text.style), text.box, text.align, text.text, Qt::black);
        else if (text.kind == TKind::Value)
            drawText(painter, page, face(text.style), text.box, text.align, m_texts.value(text.text), ValueColour);
        else
            drawField(painter, page, face(text.style), text.box, text.align, m_texts.value(text.text));
    }

    // The bars' legend, in the middle of its tall cell: a navy square, then what it stands for.
    const TFace &normal = face(TStyle::Text);
    const QRectF legend(BarX, MeanRowY + (TallCellHeight - normal.pitch) / 2, BarWidth, normal.pitch);
    const QString square = u"■"_s;
    drawText(painter, page, normal, legend, Qt::AlignLeft, square, ValueColour);
    const qreal squareWidth = textWidth(painter, normal.font, square) / page.dx(1);
    drawText(painter, page, normal, legend.adjusted(squareWidth, 0, 0, 0), Qt::AlignLeft, u"は、2 % に対応する"_s,
             Qt::black);

    // The distribution chart's legend squares on its heading line.
    const std::array<std::pair<qreal, QColor>, 3> squares{
        {{64.8, QColor(128, 128, 128)}, {93.9, QColor(0, 0, 255)}, {124.4, QColor(255, 0, 0)}}};
    for (const auto &[x, colour] : squares) {
        const QRectF box = page.rect(QRectF(x, 217.0, 3.4, 3.4));
        const qreal w = page.dx(LineWidth);
        painter.setPen(QPen(Qt::black, w, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        painter.setBrush(colour);
        painter.drawRect(box.adjusted(w / 2, w / 2, -w / 2, -w / 2));
    }

    const TAxisMetrics axis = axisMetrics(painter, page, face(TStyle::Axis));
    drawTrendChart(painter, page, axis, m_trend);
    drawDistributionChart(painter, page, axis, m_distribution);
    painter.restore();
}

void TfrmPrint::paintPages(QPagedPaintDevice &device, QPainter &painter) const
{
    Paint(painter);
    if (m_secondPage) {
        device.newPage();
        m_secondPage(painter);
    }
}

QByteArray TfrmPrint::RenderPdf() const
{
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        writer.setPageLayout(A4Layout());
        writer.setCreator(u"VIGIX"_s);
        writer.setTitle(u"検査結果レポート "_s + Text(u"qlblKensabangou"_s));
        QPainter painter;
        if (!painter.begin(&writer))
            throw EInOutError(u"レポートの PDF を作成できません"_s);
        paintPages(writer, painter);
        painter.end();
    }
    return pdf.data();
}

void TfrmPrint::WritePdf(const QString &path) const
{
    // Rendered whole first, then written by the one safe save: the PDF writer does not check its writes. The
    // report holds patient data, like the test files: the file is owner-only.
    SaveFileSafely(path, RenderPdf(), TLinks::Follow); // the examiner chose the file
}

void TfrmPrint::ShowPreview(QWidget *parent)
{
    if (m_busy)
        return;
    m_busy = true;
    const auto notBusy = qScopeGuard([this] { m_busy = false; });

    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(A4Layout());
    printer.setCopyCount(1);
    printer.setDocName(u"検査結果レポート "_s + Text(u"qlblKensabangou"_s));

    // The dialog belongs to its parent window too: if that goes while the preview is open, so does the
    // preview, and the wait below ends.
    QPointer<QPrintPreviewDialog> dialog = new TPreviewDialog(&printer, parent);
    dialog->setObjectName(u"frmPreview"_s);
    dialog->setWindowTitle(u"印刷プレビュー"_s);
    dialog->setWindowModality(Qt::NonModal);
    if (const QScreen *screen = dialog->screen())
        dialog->resize(screen->availableGeometry().size() * 0.8);
    connect(dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter *target) {
        QPainter painter(target);
        paintPages(*target, painter);
    });
    if (auto *toolBar = dialog->findChild<QToolBar *>()) {
        toolBar->addSeparator();
        QAction *savePdf = toolBar->addAction(u"PDF保存"_s);
        savePdf->setObjectName(u"actSavePdf"_s);
        QPrintPreviewDialog *owner = dialog;
        connect(savePdf, &QAction::triggered, owner, [this, owner] {
            const QString suggested = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + u'/' +
                                      Text(u"qlblKensabangou"_s) + u".pdf"_s;
            QString path = QFileDialog::getSaveFileName(owner, u"PDF保存"_s, suggested, u"PDF (*.pdf)"_s);
            if (path.isEmpty())
                return;
            if (QFileInfo(path).suffix().isEmpty())
                path += u".pdf"_s;
            TMessageBox::Run(owner, [&] { WritePdf(path); });
        });
    }

    QEventLoop loop;
    connect(dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    connect(dialog, &QObject::destroyed, &loop, &QEventLoop::quit);
    dialog->show();
    loop.exec();
    delete dialog.data();
}

bool TfrmPrint::Busy() const
{
    return m_busy;
}

} // namespace vigix
