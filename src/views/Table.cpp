#include "Table.h"

#include "ResultCells.h"
#include "ResultViews.h"
#include "TestStore.h"

#include <QLabel>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

const QColor Teal(0, 128, 128);

constexpr QRect Frame(4, 4, 429, 149);
constexpr int HeadingX = 6;
constexpr int HeadingWidth = 101;
constexpr int CellWidth = 81;
constexpr int FirstCellX = HeadingX + HeadingWidth + 1;
constexpr int RowY = 6;
constexpr int RowStep = 18;
constexpr int RowHeight = 17;

// Columns left to right, as the condition they show.
constexpr std::array<TCondition, 4> ColumnConditions{condN, condA, condV, condT};
const char16_t *const ColumnHeadings[] = {u"ノイズなし", u"聴覚ノイズ", u"視覚ノイズ", u"総　計"};
const char16_t *const RowHeadings[] = {u"試　　行",       u"無反応エラー", u"誤反応エラー", u"多発反応エラー",
                                       u"予期反応エラー", u"平均反応時間", u"反応時間 SD"};
// Label names use the condition's letter and the error kind's name.
const char16_t *const ConditionLetters[] = {u"T", u"N", u"A", u"V"};
const char16_t *const ErrorNames[] = {u"E_OMI", u"E_COM", u"E_MUL", u"E_INV"};

// A right-aligned field inside a value cell.
QLabel *field(QLabel *cell, const QString &name, int x, int width)
{
    auto *label = new QLabel(cell);
    label->setObjectName(name);
    label->setGeometry(x, 0, width, cell->height());
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QRect rowRect(int x, int row, int width)
{
    return QRect(x, RowY + row * RowStep, width, RowHeight);
}

} // namespace

TfrmTable::TfrmTable(TTestStore &store, QWidget *parent) : QWidget(parent, Qt::Tool), m_store(store)
{
    setObjectName(u"frmTable"_s);
    setWindowTitle(u"検査結果"_s);
    // The test shown belonged to the old folder: a number there may be another child's in the new one.
    connect(&m_store, &TTestStore::FolderChanged, this, &TfrmTable::clearTest);
    setFont(ResultFont());
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Teal);
    setPalette(colours);
    resize(ClientWidth, ClientHeight);

    ResultCell(this, QString(), rowRect(HeadingX, 0, HeadingWidth), true);
    for (int row = 0; row < 7; ++row)
        ResultCell(this, QString::fromUtf16(RowHeadings[row]), rowRect(HeadingX, row + 1, HeadingWidth), true);
    for (std::size_t c = 0; c < ColumnConditions.size(); ++c) {
        const int x = FirstCellX + static_cast<int>(c) * CellWidth;
        ResultCell(this, QString::fromUtf16(ColumnHeadings[c]), rowRect(x, 0, CellWidth - 1), true);
        buildColumn(ColumnConditions[c], x);
    }

    // Below the grid, outside the designed client area: the subject of the table.
    constexpr int Below = ClientHeight + 4;
    ResultCell(this, u"氏　　名"_s, QRect(HeadingX, Below, HeadingWidth, RowHeight), true);
    lblShimei = ResultCell(this, QString(), QRect(FirstCellX, Below, 2 * CellWidth - 1, RowHeight), false);
    lblShimei->setObjectName(u"lblShimei"_s);
    ResultCell(this, u"検査日時"_s, QRect(HeadingX, Below + RowStep, HeadingWidth, RowHeight), true);
    lblKensanichiji =
        ResultCell(this, QString(), QRect(FirstCellX, Below + RowStep, 2 * CellWidth - 1, RowHeight), false);
    lblKensanichiji->setObjectName(u"lblKensanichiji"_s);
}

void TfrmTable::buildColumn(TCondition condition, int x)
{
    const QString letter = QString::fromUtf16(ConditionLetters[condition]);
    TColumn &column = m_columns[condition];
    const int width = CellWidth - 1;

    column.Total = ResultCell(this, QString(), rowRect(x, 1, width), false);
    column.Total->setObjectName(u"lbl%1_Total"_s.arg(letter));
    for (std::size_t row = 0; row < ErrorRows.size(); ++row) {
        QLabel *errorCell = ResultCell(this, QString(), rowRect(x, 2 + static_cast<int>(row), width), false);
        const QString name = u"lbl%1_%2"_s.arg(letter, QString::fromUtf16(ErrorNames[row]));
        column.Errors[row] = field(errorCell, name, 2, 25);
        column.Percents[row] = field(errorCell, name + u"_P"_s, 29, 45);
    }
    QLabel *meanCell = ResultCell(this, QString(), rowRect(x, 6, width), false);
    column.Mean = field(meanCell, u"lbl%1_MEAN"_s.arg(letter), 2, 45);
    auto *unit = new QLabel(u"ms"_s, meanCell);
    unit->setGeometry(50, 0, 24, RowHeight);
    QLabel *sdCell = ResultCell(this, QString(), rowRect(x, 7, width), false);
    column.SD = field(sdCell, u"lbl%1_SD"_s.arg(letter), 2, 45);
}

void TfrmTable::ShowTest(const QString &number)
{
    TTestFile test;
    m_store.ReadTest(test, number);
    test.Culc();

    const TTestInfo &info = test.Info;
    setWindowTitle(info.Kensabangou + u' ' + info.FullName());
    lblShimei->setText(info.FullName());
    lblKensanichiji->setText(info.Kensanichiji);
    for (TCondition condition : ColumnConditions) {
        const TConditionTexts texts = ConditionTexts(test.CulcResult, condition);
        TColumn &column = m_columns[condition];
        column.Total->setText(texts.Total);
        for (std::size_t row = 0; row < ErrorRows.size(); ++row) {
            column.Errors[row]->setText(texts.Errors[row]);
            column.Percents[row]->setText(texts.Percents[row]);
        }
        column.Mean->setText(texts.Mean);
        column.SD->setText(texts.SD);
    }
}

void TfrmTable::clearTest()
{
    setWindowTitle(u"検査結果"_s);
    lblShimei->clear();
    lblKensanichiji->clear();
    for (TCondition condition : ColumnConditions) {
        TColumn &column = m_columns[condition];
        for (QLabel *label : {column.Total, column.Mean, column.SD})
            label->clear();
        for (std::size_t row = 0; row < ErrorRows.size(); ++row) {
            column.Errors[row]->clear();
            column.Percents[row]->clear();
        }
    }
}

void TfrmTable::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    emit Hidden();
}

void TfrmTable::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(Qt::black);
    painter.drawRect(Frame.adjusted(0, 0, -1, -1));
}

} // namespace vigix
