#include "HistoryWindow.h"

#include "HistoryChart.h"
#include "HistoryPage.h"
#include "MessageBox.h"
#include "Print.h"
#include "ResultCells.h"
#include "TestFile.h"
#include "TestStore.h"

#include <QtCharts/QChart>
#include <QtCharts/QChartView>

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

constexpr int HeadingColumnWidth = 120;
constexpr int TestColumnWidth = 96;
constexpr int TableRowHeight = 20;
constexpr int ChartHeight = 230;

QTableWidgetItem *cellItem(const QString &text, bool heading, bool bold)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled);
    item->setTextAlignment(Qt::AlignCenter);
    item->setBackground(heading ? ResultHeadingFill() : ResultValueFill());
    item->setForeground(heading ? ResultHeadingText() : QColor(Qt::black));
    item->setToolTip(text);
    if (bold) {
        QFont font = ResultFont();
        font.setBold(true);
        item->setFont(font);
    }
    return item;
}

} // namespace

TfrmHistory::TfrmHistory(TTestStore &store, TfrmPrint &print, QWidget *owner)
    : QWidget(owner, Qt::Window), m_store(store), m_print(print)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(ResultFont());

    lblChild = new QLabel(this);
    lblChild->setObjectName(u"lblChild"_s);

    grdHistory = new QTableWidget(this);
    grdHistory->setObjectName(u"grdHistory"_s);
    // The row headings stay in place while a long history scrolls sideways.
    grdHistory->horizontalHeader()->hide();
    grdHistory->verticalHeader()->setFixedWidth(HeadingColumnWidth);
    grdHistory->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grdHistory->verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    grdHistory->verticalHeader()->setStyleSheet(
        u"QHeaderView::section { background: %1; color: %2; border: none;"
        u" border-right: 1px solid gray; border-bottom: 1px solid silver; }"_s.arg(ResultHeadingFill().name(),
                                                                                   ResultHeadingText().name()));
    grdHistory->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grdHistory->setSelectionMode(QAbstractItemView::NoSelection);
    grdHistory->setFocusPolicy(Qt::NoFocus);
    grdHistory->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    grdHistory->verticalHeader()->setMinimumSectionSize(TableRowHeight); // else the font's line height wins
    grdHistory->verticalHeader()->setDefaultSectionSize(TableRowHeight);
    grdHistory->setFixedHeight(HistoryRowCount * TableRowHeight + 2 * grdHistory->frameWidth() +
                               style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, grdHistory));

    lblUnreadable = new QLabel(this);
    lblUnreadable->setObjectName(u"lblUnreadable"_s);
    lblUnreadable->setWordWrap(true);
    QPalette red = lblUnreadable->palette();
    red.setColor(QPalette::WindowText, QColor(192, 0, 0));
    lblUnreadable->setPalette(red);
    lblUnreadable->hide();

    auto *charts = new QHBoxLayout;
    for (std::size_t k = 0; k < chtHistory.size(); ++k) {
        chtHistory[k] = new QChartView(this);
        chtHistory[k]->setObjectName(u"chtHistory%1"_s.arg(k + 1));
        chtHistory[k]->setRenderHint(QPainter::Antialiasing);
        chtHistory[k]->setMinimumHeight(ChartHeight);
        charts->addWidget(chtHistory[k]);
    }

    btnPrint = new QPushButton(u"印刷"_s, this);
    btnPrint->setObjectName(u"btnPrint"_s);
    btnPrint->setToolTip(u"この検査のレポートに経過を 2 ページ目として付けて印刷します"_s);
    btnClose = new QPushButton(u"閉じる"_s, this);
    btnClose->setObjectName(u"btnClose"_s);
    connect(btnPrint, &QPushButton::clicked, this, &TfrmHistory::printReport);
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnPrint);
    buttons->addWidget(btnClose);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblChild);
    layout->addWidget(grdHistory);
    layout->addWidget(lblUnreadable);
    layout->addLayout(charts, 1);
    layout->addLayout(buttons);
    resize(900, 560);
}

void TfrmHistory::ShowHistory(const QString &number)
{
    // Every test of the folder is opened: a long history on a slow disk takes a moment.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const auto restoreCursor = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
    // The folder is listed afresh: tests stored since (another computer's) belong to the history too.
    m_store.Refresh();
    TTestFile scratch;
    m_store.ReadInfo(scratch, number);
    QStringList unreadable;
    QList<THistoryEntry> entries = ChildHistory(m_store, scratch.Info, &unreadable);

    m_number = number;
    m_child = scratch.Info;
    m_entries = std::move(entries);
    setObjectName(u"history"_s + number);
    const QString name = m_child.FullName();
    setWindowTitle(u"経過 - "_s + name);
    lblChild->setText(u"%1（%2 生）　同じ氏名・生年月日の検査 %3 件（検査日順）"_s.arg(name, m_child.BirthDate())
                          .arg(m_entries.size()));

    grdHistory->clear();
    grdHistory->setRowCount(HistoryRowCount);
    grdHistory->setColumnCount(static_cast<int>(m_entries.size()));
    QStringList headings;
    for (int row = 0; row < HistoryRowCount; ++row)
        headings.append(HistoryRowHeading(THistoryRow(row)));
    grdHistory->setVerticalHeaderLabels(headings);
    for (int c = 0; c < m_entries.size(); ++c) {
        const QStringList column = HistoryColumn(m_entries[c]);
        const bool current = m_entries[c].Number == number;
        for (int row = 0; row < HistoryRowCount; ++row)
            grdHistory->setItem(row, c, cellItem(column[row], row == hrNumber, current));
        grdHistory->setColumnWidth(c, TestColumnWidth);
    }
    // The newest test is the one a clinician looks at first.
    if (grdHistory->columnCount() > 0)
        grdHistory->scrollToItem(grdHistory->item(0, grdHistory->columnCount() - 1));

    // A folder full of damaged files names a few and counts the rest, so the charts keep their room.
    constexpr qsizetype NamedUnreadable = 3;
    QString told = unreadable.mid(0, NamedUnreadable).join(u"　"_s);
    if (unreadable.size() > NamedUnreadable)
        told += u"　ほか %1 件"_s.arg(unreadable.size() - NamedUnreadable);
    lblUnreadable->setVisible(!unreadable.isEmpty());
    lblUnreadable->setText(u"読めない検査があります（経過に含めていません）: "_s + told);

    for (std::size_t k = 0; k < chtHistory.size(); ++k) {
        QChart *old = chtHistory[k]->chart();
        chtHistory[k]->setChart(MakeHistoryChart(m_entries, THistoryChart(k)));
        delete old;
    }
}

void TfrmHistory::printReport()
{
    // The report page is shared with the main window's report; while its preview is open, it stays as it is.
    if (m_print.Busy())
        return;
    if (!TMessageBox::Run(this, [this] { ShowHistory(m_number); }))
        return;
    const THistoryPage page{m_child.FullName(), m_child.BirthDate(), m_number, m_entries};
    if (!TMessageBox::Run(this,
                          [&] { m_print.PrepareReport(m_number, [page](QPainter &painter) { page.Paint(painter); }); }))
        return;
    // This window may be closed (with its card) while the preview is open: nothing of it is used after.
    m_print.ShowPreview(this);
}

} // namespace vigix
