#include "Card.h"

#include "ElidedLabel.h"
#include "Errors.h"

#include "HistoryWindow.h"
#include "Input.h"
#include "MessageBox.h"
#include "ResultCells.h"
#include "TestFile.h"
#include "TestInfo.h"
#include "TestStore.h"
#include "TimingSummary.h"

#include <QEvent>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

constexpr int RowHeight = 16;
constexpr int HeadingX = 3;
constexpr int HeadingWidth = 58;
constexpr int ValueX = 62;
constexpr int RightEdge = 336;
constexpr int ItemStep = 46;
// Rows of the upper part, and of the lower part below the first bevel.
constexpr int UpperRows[] = {3, 20, 37, 54, 71};
constexpr int LowerRows[] = {96, 113, 130, 147, 164, 181, 198, 215, 232};

const QColor SkyBlue(166, 202, 240);
const QColor ActiveBlue(0, 0, 255);

const QString Placeholder = u"XXXX"_s;

} // namespace

TfrmCard::TfrmCard(ICardHost &host) : QWidget(nullptr, Qt::Tool), m_host(host)
{
    setAttribute(Qt::WA_DeleteOnClose);
    // The results table's look.
    setFont(ResultFont());
    setAutoFillBackground(true);
    setActiveLook(false);
    buildUpperPart();
    buildLowerPart();
    setFixedWidth(ClientWidth);
    Collapse();
}

namespace {

// The table's look, headings centred, values left with a small indent.
void placeCell(QLabel *label, QRect geometry, bool heading)
{
    StyleResultCell(label, geometry, heading);
    label->setAlignment((heading ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
    if (!heading)
        label->setIndent(2);
}

QLabel *cell(QWidget *parent, const QString &text, QRect geometry, bool heading)
{
    auto *label = new QLabel(text, parent);
    placeCell(label, geometry, heading);
    return label;
}

QLabel *heading(QWidget *parent, const QString &text, int x, int y, int width, int height = RowHeight)
{
    return cell(parent, text, QRect(x, y, width, height), true);
}

// A value cell: a text too long for it ends in "…", with the whole text as its tool tip.
TElidedLabel *value(QWidget *parent, const QString &name, int x, int y, int width)
{
    auto *label = new TElidedLabel(parent);
    placeCell(label, QRect(x, y, width, RowHeight), false);
    label->setObjectName(name);
    return label;
}

QFrame *bevel(QWidget *parent, const QString &name, int y)
{
    auto *line = new QFrame(parent);
    line->setObjectName(name);
    line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    line->setGeometry(0, y, TfrmCard::ClientWidth, 2);
    return line;
}

} // namespace

void TfrmCard::buildUpperPart()
{
    const int *row = UpperRows;
    heading(this, u"検査番号"_s, HeadingX, row[0], HeadingWidth);
    lblKensabangou = value(this, u"lblKensabangou"_s, ValueX, row[0], 60);
    lblKensabangou->SetFullText(Placeholder);
    heading(this, u"検査日時"_s, HeadingX, row[1], HeadingWidth);
    lblKensanichiji = value(this, u"lblKensanichiji"_s, ValueX, row[1], 122);

    sbnUp = new QToolButton(this);
    sbnUp->setObjectName(u"sbnUp"_s);
    sbnUp->setArrowType(Qt::UpArrow);
    sbnUp->setGeometry(188, row[0], 18, RowHeight);
    sbnDown = new QToolButton(this);
    sbnDown->setObjectName(u"sbnDown"_s);
    sbnDown->setArrowType(Qt::DownArrow);
    sbnDown->setGeometry(188, row[1], 18, RowHeight);
    connect(sbnUp, &QToolButton::clicked, this, &TfrmCard::Collapse);
    connect(sbnDown, &QToolButton::clicked, this, &TfrmCard::Expand);

    auto command = [this](const QString &name, const QString &icon, const QString &hint, int x) {
        auto *button = new QToolButton(this);
        button->setObjectName(name);
        button->setIcon(QIcon(u":/icons/%1.svg"_s.arg(icon)));
        button->setIconSize(QSize(16, 16));
        button->setToolTip(hint);
        button->setStatusTip(hint);
        button->setGeometry(x, UpperRows[0], 34, 2 * RowHeight + 1);
        return button;
    };
    sbnRetest = command(u"sbnRetest"_s, u"retest"_s, u"この方の再検査を行います"_s, 232);
    sbnEdit = command(u"sbnEdit"_s, u"edit"_s, u"検査情報の修正を行います"_s, 267);
    sbnDelete = command(u"sbnDelete"_s, u"delete"_s, u"この検査結果を削除します"_s, 302);
    // "経過" stands in two lines in the gap between the arrows and the commands.
    sbnHistory = new QToolButton(this);
    sbnHistory->setObjectName(u"sbnHistory"_s);
    sbnHistory->setText(u"経\n過"_s);
    QFont small = font();
    small.setPixelSize(10); // two lines of the card's 12-pixel text would not fit the button's height
    sbnHistory->setFont(small);
    sbnHistory->setToolTip(u"この方の検査の経過を表示します"_s);
    sbnHistory->setStatusTip(sbnHistory->toolTip());
    sbnHistory->setGeometry(208, UpperRows[0], 23, 2 * RowHeight + 1);
    connect(sbnHistory, &QToolButton::clicked, this, &TfrmCard::showHistory);
    connect(sbnRetest, &QToolButton::clicked, this, &TfrmCard::retest);
    connect(sbnEdit, &QToolButton::clicked, this, &TfrmCard::editTest);
    connect(sbnDelete, &QToolButton::clicked, this, &TfrmCard::deleteTest);

    heading(this, u"氏　　名"_s, HeadingX, row[2], HeadingWidth);
    lblShimei = value(this, u"lblShimei"_s, ValueX, row[2], 118);
    heading(this, u"生"_s, 181, row[2], 17);
    lblSeinengappi = value(this, u"lblSeinengappi"_s, 199, row[2], 74);
    heading(this, u"性"_s, 274, row[2], 17);
    lblSeibetsu = value(this, u"lblSeibetsu"_s, 292, row[2], RightEdge - 292);

    heading(this, u"診 断 名"_s, HeadingX, row[3], HeadingWidth);
    lblShindanmei = value(this, u"lblShindanmei"_s, ValueX, row[3], RightEdge - ValueX);

    heading(this, u"投　　薬"_s, HeadingX, row[4], HeadingWidth);
    lblTouyaku = value(this, u"lblTouyaku"_s, ValueX, row[4], 120);
    heading(this, u"リタリン"_s, 183, row[4], 54);
    lblRitarin = value(this, u"lblRitarin"_s, 238, row[4], RightEdge - 238);

    bvlBar1 = bevel(this, u"bvlBar1"_s, CollapsedHeight + 2);
}

void TfrmCard::buildLowerPart()
{
    const int *row = LowerRows;
    heading(this, u"WISC-III"_s, HeadingX, row[0], HeadingWidth);
    heading(this, u"PIQ"_s, ValueX, row[0], 28);
    lblPIQ = value(this, u"lblPIQ"_s, ValueX + 29, row[0], 62);
    heading(this, u"VIQ"_s, 154, row[0], 28);
    lblVIQ = value(this, u"lblVIQ"_s, 183, row[0], 62);
    heading(this, u"FIQ"_s, 246, row[0], 28);
    lblFIQ = value(this, u"lblFIQ"_s, 275, row[0], RightEdge - 275);

    auto items = [this](const QString &first, const QString &second, int top, int rows) {
        heading(this, first + u'\n' + second, HeadingX, top, HeadingWidth, rows * (RowHeight + 1) - 1);
    };
    items(u"ADHD"_s, u"ﾁｪｯｸﾘｽﾄ"_s, row[1], 3);
    for (int n = 1; n <= 18; ++n) {
        const int x = ValueX + (n - 1) % 6 * ItemStep;
        const int y = row[1 + (n - 1) / 6];
        heading(this, u"%1."_s.arg(n), x, y, 20);
        lblADHD[n] = value(this, u"lblADHD%1"_s.arg(n), x + 21, y, 24);
    }
    items(u"PDD"_s, u"Criteria"_s, row[4], 2);
    for (int n = 1; n <= 12; ++n) {
        const int x = ValueX + (n - 1) % 6 * ItemStep;
        const int y = row[4 + (n - 1) / 6];
        heading(this, TTestInfo::PddCriterion(n), x, y, 22);
        lblPDD[n] = value(this, u"lblPDD%1"_s.arg(n), x + 23, y, 22);
    }

    heading(this, u"検　　者"_s, HeadingX, row[6], HeadingWidth);
    lblKenzya = value(this, u"lblKenzya"_s, ValueX, row[6], RightEdge - ValueX);
    heading(this, u"メ　　モ"_s, HeadingX, row[7], HeadingWidth);
    lblMemo = value(this, u"lblMemo"_s, ValueX, row[7], RightEdge - ValueX);

    // Its own tool tip holds every figure: a plain cell.
    lblTiming = cell(this, QString(), QRect(HeadingX, row[8], RightEdge - HeadingX, RowHeight), false);
    lblTiming->setObjectName(u"lblTiming"_s);
    lblTiming->hide();
    bvlBar2 = bevel(this, u"bvlBar2"_s, ExpandedHeight - 4);
}

void TfrmCard::ShowCard(const QString &number)
{
    TTestFile scratch;
    m_host.Store().ReadInfo(scratch, number);
    const TTestInfo &info = scratch.Info;
    setWindowTitle(info.Kensabangou + u' ' + info.FullName());
    lblKensabangou->SetFullText(info.Kensabangou);
    lblKensanichiji->SetFullText(info.Kensanichiji);
    lblShimei->SetFullText(info.FullName());
    lblSeinengappi->SetFullText(info.BirthDate());
    lblSeibetsu->SetFullText(info.Seibetsu);
    lblShindanmei->SetFullText(info.Shindanmei);
    lblTouyaku->SetFullText(info.Touyaku);
    lblRitarin->SetFullText(info.Ritarin);
    lblPIQ->SetFullText(info.PIQ);
    lblVIQ->SetFullText(info.VIQ);
    lblFIQ->SetFullText(info.FIQ);
    for (int n = 1; n <= 18; ++n)
        lblADHD[n]->SetFullText(info.ADHD[n]);
    for (int n = 1; n <= 12; ++n)
        lblPDD[n]->SetFullText(info.PDD[n]);
    lblKenzya->SetFullText(info.Kenzya);
    lblMemo->SetFullText(info.Memo);

    // Tests stored without a timing summary (older ones, files from elsewhere) show nothing.
    const std::optional<TTimingSummary> timing = m_host.Store().TimingSummary(number);
    lblTiming->setVisible(timing.has_value());
    lblTiming->setText(timing ? timing->CardLine() : QString());
    lblTiming->setToolTip(timing ? timing->Details() : QString());
    QPalette colours = lblTiming->palette();
    colours.setColor(QPalette::WindowText, timing && timing->Disturbed() ? QColor(192, 0, 0) : QColor(Qt::black));
    lblTiming->setPalette(colours);
    m_expandedHeight = timing ? ExpandedHeightWithTiming : ExpandedHeight;
    bvlBar2->move(0, m_expandedHeight - 4);
    if (height() > CollapsedHeight)
        Expand();
}

void TfrmCard::Collapse()
{
    setFixedHeight(bvlBar1->y() - 2);
}

void TfrmCard::Expand()
{
    setFixedHeight(m_expandedHeight);
}

void TfrmCard::setActiveLook(bool active)
{
    m_active = active;
    QPalette colours = palette();
    colours.setColor(QPalette::Window, active ? ActiveBlue : SkyBlue);
    setPalette(colours);
}

bool TfrmCard::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::WindowActivate:
        setActiveLook(true);
        // Every activation refills the views, even for the test that is already current.
        if (lblKensabangou->FullText() != Placeholder)
            TMessageBox::Run(this, [this] { m_host.MakeTestCurrent(lblKensabangou->FullText()); });
        break;
    case QEvent::WindowDeactivate:
        setActiveLook(false);
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void TfrmCard::deleteTest()
{
    const QString number = lblKensabangou->FullText();
    if (!TMessageBox::Confirm(this, number + u"のデータを削除していいですか"_s))
        return;
    // The ".del" file keeps the number taken, so it is never offered to another test.
    try {
        m_host.Store().DeleteTest(number); // the list follows the store
    } catch (const EVigixError &error) {
        // The test is still there: say so, and keep its card.
        TMessageBox::Error(this, u"検査 %1 を削除できません: %2"_s.arg(number, error.message()));
        return;
    }
    close();
}

void TfrmCard::editTest()
{
    // A test that cannot be read is told, and the entry window is not shown.
    TfrmInput &input = m_host.Input();
    if (!TMessageBox::Run(this, [&] { input.PrepareEditTest(lblKensabangou->FullText()); }))
        return;
    input.btnStart->setText(TfrmInput::EditCaption);
    input.exec();
}

void TfrmCard::showHistory()
{
    // One history window per card; asking again reads the tests afresh and brings it forward.
    auto *history = findChild<TfrmHistory *>();
    const bool opened = history == nullptr;
    if (opened)
        history = new TfrmHistory(m_host.Store(), m_host.Print(), this);
    if (!TMessageBox::Run(this, [&] { history->ShowHistory(lblKensabangou->FullText()); })) {
        if (opened)
            delete history;
        return;
    }
    history->show();
    history->raise();
    history->activateWindow();
}

void TfrmCard::retest()
{
    TfrmInput &input = m_host.Input();
    if (!TMessageBox::Run(this, [&] { input.PrepareRetest(lblKensabangou->FullText()); }))
        return;
    input.btnStart->setText(TfrmInput::StartCaption);
    input.exec();
}

} // namespace vigix
