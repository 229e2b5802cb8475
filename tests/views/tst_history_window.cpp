#include "../ChildTests.h"
#include "Errors.h"
#include "HistoryChart.h"
#include "HistoryWindow.h"
#include "MessageBox.h"
#include "Print.h"
#include "TestFile.h"
#include "TestStore.h"
#include "VigixApplication.h"

#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPrintPreviewDialog>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;
using namespace vigix;

namespace {

// The child's tests; a test with every circle hit is one on medication.
void writeTest(const QString &folder, const QString &number, const QString &name, const QString &date, int hits, int rt,
               int commissions)
{
    testing::WriteChildTest(folder, number, name, date, hits == 10 ? u"コンサータ 18mg"_s : u"なし"_s, hits, rt,
                            commissions);
}

QList<QPointF> points(const QChartView *view, int series)
{
    return static_cast<QLineSeries *>(view->chart()->series().at(series))->points();
}

QString pdfText(const QString &pdf, int page)
{
    QProcess tool;
    const QString p = QString::number(page);
    tool.start(u"pdftotext"_s, {u"-f"_s, p, u"-l"_s, p, u"-layout"_s, pdf, u"-"_s});
    tool.waitForFinished();
    return QString::fromUtf8(tool.readAllStandardOutput());
}

} // namespace

class HistoryWindowTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_root;
    QString folder() const { return m_root.path() + u'/'; }

private slots:
    void initTestCase()
    {
        writeTest(folder(), u"1003"_s, u"山田"_s, u"2026/03/02 10:00:00"_s, 10, 400, 0);
        writeTest(folder(), u"1001"_s, u"山田"_s, u"2025/11/20 09:30:00"_s, 7, 600, 3);
        writeTest(folder(), u"1002"_s, u"山田"_s, u"2026/01/15 14:00:00"_s, 9, 500, 1);
        writeTest(folder(), u"1004"_s, u"山本"_s, u"2026/01/16 14:00:00"_s, 5, 500, 5);
        writeTest(folder(), u"1006"_s, u"山田"_s, u"2026/03/02 16:00:00"_s, 0, 0, 0); // no hits at all
        writeTest(folder(), u"1005"_s, u"山田"_s, u"2026/01/01 00:00:00"_s, 5, 500, 0);
        QFile damaged(folder() + u"1005.txt"_s);
        QVERIFY(damaged.open(QIODevice::Append));
        damaged.write("\"T\",\"N\",x\r\n");
    }

    void showHistory_columnsInDateOrder_currentInBold_unreadableNamed()
    {
        TTestStore store;
        store.Open(folder());
        TfrmPrint print(store);
        TfrmHistory window(store, print, nullptr);
        window.ShowHistory(u"1002"_s);
        QCOMPARE(window.objectName(), u"history1002"_s);
        QVERIFY(window.windowTitle().contains(u"山田 花子"_s));

        const QTableWidget *grid = window.grdHistory;
        QCOMPARE(grid->columnCount(), 4);
        QCOMPARE(grid->verticalHeaderItem(hrNumber)->text(), u"検査番号"_s);
        QStringList numbers;
        for (int c = 0; c < grid->columnCount(); ++c)
            numbers.append(grid->item(hrNumber, c)->text());
        QCOMPARE(numbers, (QStringList{u"1001"_s, u"1002"_s, u"1003"_s, u"1006"_s}));
        QCOMPARE(grid->item(hrDate, 0)->text(), u"2025/11/20"_s);
        QCOMPARE(grid->item(hrAge, 0)->text(), u"9歳7ヶ月"_s);
        QCOMPARE(grid->item(hrTouyaku, 2)->text(), u"コンサータ 18mg"_s);
        QCOMPARE(grid->item(hrOmission, 0)->text(), u"15.0"_s);
        QCOMPARE(grid->item(hrCommission, 1)->text(), u"5.0"_s);
        QCOMPARE(grid->item(hrMeanRT, 0)->text(), u"604.00"_s);
        QCOMPARE(grid->item(hrMeanRT, 3)->text(), u"-"_s);
        QCOMPARE(grid->item(hrSDRT, 3)->text(), u"-"_s);
        QVERIFY(grid->item(hrMeanRT, 1)->font().bold());
        QVERIFY(!grid->item(hrMeanRT, 0)->font().bold());

        QVERIFY(!window.lblUnreadable->isHidden());
        QVERIFY(window.lblUnreadable->text().contains(u"1005.txt"_s));
    }

    void charts_followTheTests_withoutPointsForMissingResults()
    {
        TTestStore store;
        store.Open(folder());
        TfrmPrint print(store);
        TfrmHistory window(store, print, nullptr);
        window.ShowHistory(u"1003"_s);
        const auto &charts = window.chtHistory;
        // Errors: omission 15, 5, 0 and 50 %; commission 15, 5, 0, 0 %.
        QCOMPARE(points(charts[0], 0), (QList<QPointF>{{0, 15}, {1, 5}, {2, 0}, {3, 50}}));
        QCOMPARE(points(charts[0], 1), (QList<QPointF>{{0, 15}, {1, 5}, {2, 0}, {3, 0}}));
        // Reaction time: the test without hits has no point.
        QCOMPARE(points(charts[1], 0), (QList<QPointF>{{0, 604}, {1, 505}, {2, 405.5}}));
        QCOMPARE(points(charts[1], 1).size(), 3);
        // d′ of every test, rising with fewer errors.
        const QList<QPointF> dPrime = points(charts[2], 0);
        QCOMPARE(dPrime.size(), 4);
        QVERIFY(dPrime[0].y() < dPrime[1].y() && dPrime[1].y() < dPrime[2].y());

        // A test stored meanwhile shows on the next reading.
        writeTest(folder(), u"1007"_s, u"山田"_s, u"2026/04/01 10:00:00"_s, 10, 380, 0);
        window.ShowHistory(u"1003"_s);
        QCOMPARE(window.grdHistory->columnCount(), 5);
        QCOMPARE(points(charts[1], 0).size(), 4);
        QVERIFY(QFile::remove(folder() + u"1007.txt"_s));
    }

    void chart_longHistory_labelsAFewTestsEndingWithTheNewest()
    {
        QList<THistoryEntry> history;
        for (int n = 0; n < 20; ++n) {
            THistoryEntry entry;
            entry.Number = QString::number(2001 + n);
            entry.DateTime = u"2026/01/%1 10:00:00"_s.arg(n + 1, 2, 10, QLatin1Char('0'));
            entry.Rounds = 10;
            entry.MeanRT = 500;
            history.append(entry);
        }
        history[19].DateTime = history[18].DateTime; // two tests on one day
        const std::unique_ptr<QChart> chart(MakeHistoryChart(history, THistoryChart::ReactionTime));
        auto *axis = qobject_cast<QCategoryAxis *>(chart->axes(Qt::Horizontal).constFirst());
        const QStringList labels = axis->categoriesLabels();
        QCOMPARE(labels.size(), 5); // every fourth test, counted back from the newest
        QCOMPARE(labels.first(), u"2026<br>01/04"_s);
        QCOMPARE(labels.last(), u"2026<br>01/19 (2020)"_s);
        QCOMPARE(axis->endValue(labels.last()), 19.0);

        const std::unique_ptr<QChart> empty(MakeHistoryChart({}, THistoryChart::DPrime));
        QCOMPARE(static_cast<QLineSeries *>(empty->series().constFirst())->count(), 0);
    }

    void showHistory_unreadableTest_raisesAndKeepsTheWindow()
    {
        TTestStore store;
        store.Open(folder());
        TfrmPrint print(store);
        TfrmHistory window(store, print, nullptr);
        window.ShowHistory(u"1001"_s);
        QVERIFY_THROWS_EXCEPTION(EVigixError, window.ShowHistory(u"1099"_s));
        QCOMPARE(window.objectName(), u"history1001"_s);
        QCOMPARE(window.grdHistory->columnCount(), 4);
    }

    void showHistory_manyUnreadable_namesThreeAndCountsTheRest()
    {
        QTemporaryDir other;
        const QString path = other.path() + u'/';
        for (int n = 1; n <= 6; ++n)
            writeTest(path, QString::number(4000 + n), u"山田"_s, u"2026/01/01 10:00:00"_s, 5, 500, 0);
        for (int n = 2; n <= 6; ++n) {
            QFile damaged(path + QString::number(4000 + n) + u".txt"_s);
            QVERIFY(damaged.open(QIODevice::Append));
            damaged.write("x\r\n");
        }
        TTestStore store;
        store.Open(path);
        TfrmPrint print(store);
        TfrmHistory window(store, print, nullptr);
        window.ShowHistory(u"4001"_s);
        QCOMPARE(window.grdHistory->columnCount(), 1);
        const QString told = window.lblUnreadable->text();
        QVERIFY(told.contains(u"4002.txt"_s) && told.contains(u"4004.txt"_s) && !told.contains(u"4005.txt"_s));
        QVERIFY(told.endsWith(u"ほか 2 件"_s));
    }

    void print_reportWithTheHistoryAsSecondPage_onlyFromThisWindow()
    {
        TTestStore store;
        store.Open(folder());
        TfrmPrint print(store);
        TfrmHistory window(store, print, nullptr);
        window.ShowHistory(u"1002"_s);
        const QString pdf = folder() + u"history.pdf"_s;
        int pages = 0;
        int previews = 0;
        QTimer::singleShot(0, this, [&] {
            pages = print.PageCount();
            window.btnPrint->click(); // a second print while the preview is open does nothing
            for (QWidget *top : QApplication::topLevelWidgets())
                previews += qobject_cast<QPrintPreviewDialog *>(top) && top->isVisible();
            TMessageBox::Run(nullptr, [&] { print.WritePdf(pdf); });
            for (QWidget *top : QApplication::topLevelWidgets()) {
                if (qobject_cast<QPrintPreviewDialog *>(top))
                    top->close();
            }
        });
        window.btnPrint->click();
        QCOMPARE(pages, 2);
        QCOMPARE(previews, 1);
        QCOMPARE(TMessageBox::ShownTexts(), QStringList());
        QCOMPARE(print.Text(u"qlblKensabangou"_s), u"1002"_s);

        if (QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty())
            QSKIP("poppler-utils are not installed");
        QVERIFY(pdfText(pdf, 1).contains(u"1002"_s));
        const QString history = pdfText(pdf, 2);
        for (const QString &expected : {u"2025/11/20"_s, u"2026/03/02"_s, u"604.00"_s, u"15.0"_s, u"1006"_s})
            QVERIFY2(history.contains(expected), qPrintable(expected));
        QVERIFY(pdfText(pdf, 3).isEmpty());

        // The main window's report is one page again.
        print.PrepareReport(u"1002"_s);
        QCOMPARE(print.PageCount(), 1);
    }
};

int main(int argc, char *argv[])
{
    TVigixApplication app(argc, argv);
    TMessageBox::SetAutoAnswer(true);
    HistoryWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_history_window.moc"
