#include "../NextFreeNumber.h"
#include "Card.h"
#include "DataFolder.h"
#include "HistoryWindow.h"
#include "Input.h"
#include "MessageBox.h"
#include "Print.h"
#include "TestFile.h"
#include "TestStore.h"
#include "TimingSummary.h"
#include "VigixApplication.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace Qt::StringLiterals;
using namespace vigix;

namespace {

// The main window as a card sees it, recording what the card asks of it.
class FakeHost : public ICardHost
{
public:
    explicit FakeHost(const QString &folder) : input(testFile, store), print(store)
    {
        store.Open(folder);
        QObject::connect(&store, &TTestStore::ListChanged, [this] { ++listRefreshes; });
    }
    TTestStore &Store() override { return store; }
    void MakeTestCurrent(const QString &number) override { madeCurrent.append(number); }
    TfrmInput &Input() override { return input; }
    TfrmPrint &Print() override { return print; }

    TTestStore store;
    TTestFile testFile;
    TfrmInput input;
    TfrmPrint print;
    QStringList madeCurrent;
    int listRefreshes = 0;
};

void writeTest(const QString &folder, const QString &number, const QString &memo)
{
    TTestFile test;
    test.Info.Kensabangou = number;
    test.Info.Kensanichiji = u"2002/10/11 15:30:03"_s;
    test.Info.Shimei1 = u"山田"_s;
    test.Info.Shimei2 = u"太郎"_s;
    test.Info.Seinengappi1 = u"1993"_s;
    test.Info.Seinengappi2 = u"12"_s;
    test.Info.Seinengappi3 = u"5"_s;
    test.Info.Seibetsu = u"男"_s;
    test.Info.Shindanmei = u"ＡＤＨＤ（混合型）"_s;
    test.Info.Touyaku = u"リタリン"_s;
    test.Info.Ritarin = u"１～２時間"_s;
    test.Info.PIQ = u"98"_s;
    test.Info.VIQ = u"104"_s;
    test.Info.FIQ = u"101"_s;
    for (int n = 1; n <= 18; ++n)
        test.Info.ADHD[n] = n % 2 ? u"○"_s : QString();
    test.Info.PDD[5] = u"×"_s;
    test.Info.Kenzya = u"佐藤"_s;
    test.Info.Memo = memo;
    test.WriteFile(folder, number);
}

QColor background(const QWidget &window)
{
    return window.palette().color(QPalette::Window);
}

} // namespace

class CardTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_root;
    QString folder() const { return m_root.path() + u'/'; }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        TMessageBox::SetAutoAnswer(true);
    }
    void init()
    {
        TMessageBox::ClearShownTexts();
        for (const QString &name : QDir(folder()).entryList(QDir::Files))
            QFile::remove(folder() + name);
        writeTest(folder(), u"1001"_s, u"初回"_s);
        writeTest(folder(), u"1002"_s, u"二回目"_s);
    }

    void showCard_fillsEveryLabel_collapsesAndExpands()
    {
        FakeHost host(folder());
        TfrmCard card(host);
        card.ShowCard(u"1001"_s);
        QCOMPARE(card.windowTitle(), u"1001 山田 太郎"_s);
        QCOMPARE(card.lblKensabangou->text(), u"1001"_s);
        QCOMPARE(card.lblShimei->text(), u"山田 太郎"_s);
        QCOMPARE(card.lblSeinengappi->text(), u"1993/12/5"_s);
        QCOMPARE(card.lblRitarin->text(), u"１～２時間"_s);
        QCOMPARE(card.lblFIQ->text(), u"101"_s);
        QCOMPARE(card.lblADHD[17]->text(), u"○"_s);
        QCOMPARE(card.lblADHD[18]->text(), QString());
        QCOMPARE(card.lblPDD[5]->text(), u"×"_s);
        QCOMPARE(card.lblMemo->text(), u"初回"_s);
        QCOMPARE(card.lblMemo->toolTip(), QString());

        // A value longer than its cell ends in "…" at a whole character, with the whole text as its tool tip.
        const QString longMemo =
            u"前回より集中が続いた。途中で一度トイレ休憩を希望したが、そのまま最後まで実施した。"_s;
        writeTest(folder(), u"1003"_s, longMemo);
        card.ShowCard(u"1003"_s);
        QVERIFY2(card.lblMemo->text().endsWith(u'…'), qPrintable(card.lblMemo->text()));
        QVERIFY(longMemo.startsWith(card.lblMemo->text().chopped(1)));
        QVERIFY(card.lblMemo->fontMetrics().horizontalAdvance(card.lblMemo->text()) <=
                card.lblMemo->contentsRect().width());
        QCOMPARE(card.lblMemo->toolTip(), longMemo);
        QCOMPARE(card.lblKensabangou->FullText(), u"1003"_s);
        card.ShowCard(u"1001"_s);
        QCOMPARE(card.lblMemo->text(), u"初回"_s);
        QCOMPARE(card.lblMemo->toolTip(), QString());

        card.show();
        QCOMPARE(card.size(), QSize(339, 94));
        QCOMPARE(card.bvlBar1->y() - 2, 94);
        QVERIFY(!card.lblMemo->isVisibleTo(&card) || card.lblMemo->y() >= card.height());
        QTest::mouseClick(card.sbnDown, Qt::LeftButton);
        QCOMPARE(card.size(), QSize(339, 238));
        QVERIFY(card.lblMemo->geometry().bottom() < card.height());
        QTest::mouseClick(card.sbnUp, Qt::LeftButton);
        QCOMPARE(card.height(), 94);
        QCOMPARE(card.sbnRetest->toolTip(), u"この方の再検査を行います"_s);
        QCOMPARE(card.sbnEdit->toolTip(), u"検査情報の修正を行います"_s);
        QCOMPARE(card.sbnDelete->toolTip(), u"この検査結果を削除します"_s);
    }

    void timing_oneLineWhereASummaryIsStored_nothingElsewhere()
    {
        FakeHost host(folder());
        TTimingSummary summary;
        summary.Ticks = 9000;
        summary.P99LateMs = 0.8;
        WriteTimingSummary(TimingFilePath(folder(), u"1001"_s), summary);
        TfrmCard timed(host);
        timed.ShowCard(u"1001"_s);
        timed.Expand();
        QCOMPARE(timed.lblTiming->text(), u"タイミング: 良好"_s);
        QVERIFY(timed.lblTiming->isVisibleTo(&timed));
        QCOMPARE(timed.height(), TfrmCard::ExpandedHeightWithTiming);
        QVERIFY(timed.lblTiming->geometry().bottom() < timed.height());

        summary.SkippedTicks = 2;
        WriteTimingSummary(TimingFilePath(folder(), u"1001"_s), summary);
        timed.ShowCard(u"1001"_s);
        QVERIFY(timed.lblTiming->text().startsWith(u"タイミング: 乱れあり"_s));

        // A test whose rounds were disturbed on a slow machine: the line names the count and fits the card; the
        // rounds themselves are in the tool tip.
        summary.SkippedTicks = 0;
        summary.DisturbedRounds = {1, 2, 6, 7, 17, 18, 23, 29, 36, 42, 46, 48, 49, 55, 58, 60};
        summary.UiPriority = summary.TickPriority = u"realtime 10 (direct)"_s;
        WriteTimingSummary(TimingFilePath(folder(), u"1001"_s), summary);
        timed.ShowCard(u"1001"_s);
        QCOMPARE(timed.lblTiming->text(), u"タイミング: 乱れあり（乱れた試行 16）・優先度 RT 10"_s);
        QVERIFY(timed.lblTiming->fontMetrics().horizontalAdvance(timed.lblTiming->text()) <=
                timed.lblTiming->contentsRect().width());
        QVERIFY(timed.lblTiming->toolTip().contains(u"乱れた試行: 1, 2, 6, 7, 17"_s));

        TfrmCard untimed(host);
        untimed.ShowCard(u"1002"_s);
        untimed.Expand();
        QVERIFY(!untimed.lblTiming->isVisibleTo(&untimed));
        QCOMPARE(untimed.height(), TfrmCard::ExpandedHeight);
    }

    void activation_makesItsTestCurrentEveryTime_blueWhileActive()
    {
        FakeHost host(folder());
        TfrmCard unfilled(host);
        unfilled.show();
        unfilled.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&unfilled));
        QCOMPARE(host.madeCurrent, QStringList()); // nothing to make current before it is filled

        TfrmCard first(host);
        TfrmCard second(host);
        first.ShowCard(u"1001"_s);
        second.ShowCard(u"1002"_s);
        first.show();
        second.show();
        QVERIFY(QTest::qWaitForWindowActive(&second));
        QCOMPARE(host.madeCurrent.last(), u"1002"_s); // a card shown is activated
        host.madeCurrent.clear();
        for (TfrmCard *card : {&first, &second, &first}) {
            card->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(card));
        }
        QCOMPARE(host.madeCurrent, (QStringList{u"1001"_s, u"1002"_s, u"1001"_s}));
        QCOMPARE(background(first), QColor(0, 0, 255));
        QCOMPARE(background(second), QColor(166, 202, 240));
    }

    void delete_cancelKeepsEverything_yesMarksDeletedAndClosesTheCard()
    {
        FakeHost host(folder());
        QPointer<TfrmCard> card = new TfrmCard(host);
        card->ShowCard(u"1001"_s);
        card->show();

        TMessageBox::SetConfirmAnswer(false);
        QTest::mouseClick(card->sbnDelete, Qt::LeftButton);
        QCOMPARE(TMessageBox::ShownTexts(), QStringList{u"1001のデータを削除していいですか"_s});
        QVERIFY(QFile::exists(folder() + u"1001.txt"_s));
        QVERIFY(card && card->isVisible());
        QCOMPARE(host.listRefreshes, 0);

        TMessageBox::SetConfirmAnswer(true);
        QTest::mouseClick(card->sbnDelete, Qt::LeftButton);
        QVERIFY(!QFile::exists(folder() + u"1001.txt"_s));
        QVERIFY(QFile::exists(folder() + u"1001.del"_s));
        QCOMPARE(host.listRefreshes, 1);
        QTRY_VERIFY(card.isNull()); // destroyed, not hidden
        QCOMPARE(testing::NextFreeNumber(folder()), 1003);
    }

    void history_opensOneWindowPerCard_goesWithTheCard()
    {
        FakeHost host(folder());
        QPointer<TfrmCard> card = new TfrmCard(host);
        card->ShowCard(u"1002"_s);
        card->show();
        QCOMPARE(card->sbnHistory->toolTip(), u"この方の検査の経過を表示します"_s);
        QTest::mouseClick(card->sbnHistory, Qt::LeftButton);
        QPointer<TfrmHistory> history = card->findChild<TfrmHistory *>(u"history1002"_s);
        QVERIFY(history && history->isVisible());
        QCOMPARE(history->Entries().size(), 2); // 1001 and 1002: the same child

        // Asked again, the same window reads the tests afresh.
        QVERIFY(QFile::rename(folder() + u"1001.txt"_s, folder() + u"1001.del"_s));
        QTest::mouseClick(card->sbnHistory, Qt::LeftButton);
        QCOMPARE(card->findChildren<TfrmHistory *>().size(), 1);
        QCOMPARE(history->Entries().size(), 1);

        // The card closed while the history's report preview is open: the window and the preview go with it.
        QTimer::singleShot(0, card, [&] { card->close(); });
        QTimer::singleShot(2000, this, [] { // a preview left open would otherwise hang the test
            for (QWidget *top : QApplication::topLevelWidgets()) {
                if (qobject_cast<QPrintPreviewDialog *>(top))
                    top->close();
            }
        });
        QTest::mouseClick(history->btnPrint, Qt::LeftButton); // returns when the preview has gone
        QTRY_VERIFY(card.isNull() && history.isNull());
        QVERIFY(!host.print.Busy());

        // A test gone from under its card: told, and no window.
        card = new TfrmCard(host);
        card->ShowCard(u"1002"_s);
        QVERIFY(QFile::remove(folder() + u"1002.txt"_s));
        QTest::mouseClick(card->sbnHistory, Qt::LeftButton);
        QCOMPARE(TMessageBox::ShownTexts().size(), 1);
        QVERIFY(card->findChildren<TfrmHistory *>().isEmpty());
        delete card;
    }

    void delete_renameFails_toldAndTheCardStays()
    {
        FakeHost host(folder());
        QFile(folder() + u"1002.del"_s).open(QIODevice::WriteOnly); // the name is taken by a deleted test
        TfrmCard card(host);
        card.ShowCard(u"1002"_s);
        card.show();
        TMessageBox::SetConfirmAnswer(true);
        QTest::mouseClick(card.sbnDelete, Qt::LeftButton);
        QCOMPARE(TMessageBox::ShownTexts().size(), 2);
        QVERIFY(TMessageBox::ShownTexts().last().startsWith(u"検査 1002 を削除できません"_s));
        // The reason in Japanese, the system's text after it.
        QVERIFY2(TMessageBox::ShownTexts().last().contains(u"同じ名前のファイルがすでにあります (File exists)"_s),
                 qPrintable(TMessageBox::ShownTexts().last()));
        QVERIFY(QFile::exists(folder() + u"1002.txt"_s));
        QCOMPARE(QFileInfo(folder() + u"1002.del"_s).size(), 0); // the deleted test it would replace is kept
        QVERIFY(card.isVisible());
        QCOMPARE(host.listRefreshes, 0);
    }

    void editAndRetest_openTheEntryWindowInTheirMode()
    {
        FakeHost host(folder());
        TfrmCard card(host);
        card.ShowCard(u"1002"_s);
        QString caption;
        QString number;
        QString memo;
        auto answer = [&] {
            QTimer::singleShot(0, &host.input, [&] {
                caption = host.input.btnStart->text();
                number = host.input.edtKensabangou->text();
                memo = host.input.edtMemo->text();
                host.input.reject();
            });
        };
        answer();
        QTest::mouseClick(card.sbnEdit, Qt::LeftButton);
        QCOMPARE(caption, u"修　正"_s);
        QCOMPARE(number, u"1002"_s);
        QCOMPARE(memo, u"二回目"_s);
        answer();
        QTest::mouseClick(card.sbnRetest, Qt::LeftButton);
        QCOMPARE(caption, u"検査開始"_s);
        QCOMPARE(number, u"1003"_s);
        QCOMPARE(memo, u"二回目"_s);
    }

    void edit_testGone_errorToldAndNoEntryWindow()
    {
        FakeHost host(folder());
        TfrmCard card(host);
        card.ShowCard(u"1002"_s);
        QFile::remove(folder() + u"1002.txt"_s);
        bool shown = false;
        QTimer::singleShot(0, &host.input, [&] {
            shown = host.input.isVisible();
            host.input.reject();
        });
        QTest::mouseClick(card.sbnEdit, Qt::LeftButton);
        QTest::qWait(0);
        QVERIFY(!shown);
        QCOMPARE(TMessageBox::ShownTexts().size(), 1);
        QVERIFY(TMessageBox::ShownTexts().first().contains(u"1002.txt"_s));
    }
};

int main(int argc, char *argv[])
{
    TVigixApplication app(argc, argv);
    CardTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_card.moc"
