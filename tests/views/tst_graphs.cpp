#include "Graphs.h"
#include "MessageBox.h"
#include "TestFile.h"
#include "TestStore.h"
#include "VigixApplication.h"

#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSet>
#include <QtCharts/QChartView>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QPieSeries>
#include <QtCharts/QPieSlice>
#include <QtCharts/QValueAxis>

#include <QFile>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace Qt::StringLiterals;
using namespace vigix;

namespace {

// Rounds written as target, noise and first reaction time, with "+" and a second press of the same button:
// "TA300" is a hit with auditory noise, "NN0" a correct rejection, "TV400+600" a hit pressed twice.
void writeTest(const QString &folder, const QString &number, const QString &rounds)
{
    TTestFile test;
    test.Info.Kensabangou = number;
    test.Info.Shimei1 = u"山田"_s;
    test.Info.Shimei2 = u"花子"_s;
    for (const QString &code : rounds.split(u' ', Qt::SkipEmptyParts)) {
        TRoundInfo &round = test.Rounds[++test.RoundCount];
        round.Target = code.left(1);
        round.Noise = code.mid(1, 1);
        const QStringList times = code.mid(2).split(u'+');
        for (int slot = 1; slot <= times.size(); ++slot) {
            round.RT[slot] = times[slot - 1].toInt();
            round.Button[slot] = round.RT[slot] ? 1 : 0;
        }
    }
    test.WriteFile(folder, number);
}

using Points = QList<QPointF>;

} // namespace

class GraphsTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_root;
    QString m_current; // the main window's current test number
    QString folder() const { return m_root.path() + u'/'; }
    std::function<QString()> current()
    {
        return [this] { return m_current; };
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        TMessageBox::SetAutoAnswer(true);
    }
    void init() { TMessageBox::ClearShownTexts(); }

    void windows_namedUntilFilled_totalDown_closingOnlyHides()
    {
        TTestStore store;
        store.Open(folder());
        TfrmGraph1 graph1(store, current());
        TfrmGraph2 graph2(store, current());
        TfrmGraph3 graph3(store, current());
        const QList<TfrmGraph *> graphs{&graph1, &graph2, &graph3};
        const QStringList titles{u"反応時間推移グラフ"_s, u"反応時間分布グラフ"_s, u"誤反応比率グラフ"_s};
        for (TfrmGraph *graph : graphs) {
            QCOMPARE(graph->windowTitle(), titles.at(graphs.indexOf(graph)));
            graph->show();
            // A condition chosen before any test: the examiner is asked to choose one, and nothing changes.
            TMessageBox::ClearShownTexts();
            QTest::mouseClick(graph->sbn_V, Qt::LeftButton);
            QCOMPARE(TMessageBox::ShownTexts(), QStringList{u"対象になる検査を選択してください"_s});
            QCOMPARE(graph->SelectedCondition(), condT);
            QCOMPARE(graph->windowTitle(), titles.at(graphs.indexOf(graph)));
            QCOMPARE(graph->size(), QSize(445, 158));
            QSignalSpy hidden(graph, &TfrmGraph::Hidden);
            graph->close();
            QCOMPARE(hidden.count(), 1);
            QVERIFY(!graph->isVisible());
        }
    }

    void trend_hitsOverOrdinalWithMeanLine_noHitsNoLine_oneHitZeroLength()
    {
        writeTest(folder(), u"2001"_s, u"TN400 TA300 NA0 TN800 TA700 TV0"_s);
        writeTest(folder(), u"2002"_s, u"TV640"_s);
        m_current = u"2001"_s;
        TTestStore store;
        store.Open(folder());
        TfrmGraph1 graph(store, current());
        graph.show();
        graph.ShowTest(u"2001"_s);
        QCOMPARE(graph.windowTitle(), u"2001 山田 花子"_s);
        QCOMPARE(graph.Series1->points(), (Points{{1, 400}, {2, 300}, {3, 800}, {4, 700}}));
        QCOMPARE(graph.Series2->points(), (Points{{1, 550}, {4, 550}}));
        QCOMPARE(graph.Series1->pen().color(), QColor(0, 0, 255));
        QCOMPARE(graph.Series2->pen().color(), QColor(0, 128, 0));

        QTest::mouseClick(graph.sbn_A, Qt::LeftButton);
        QCOMPARE(graph.Series1->points(), (Points{{1, 300}, {2, 700}}));
        QCOMPARE(graph.Series2->points(), (Points{{1, 500}, {2, 500}}));
        QTest::mouseClick(graph.sbn_V, Qt::LeftButton);
        QVERIFY(graph.Series1->points().isEmpty() && graph.Series2->points().isEmpty());
        graph.ShowTest(u"2002"_s);
        QCOMPARE(graph.Series1->points(), Points{QPointF(1, 640)});
        QCOMPARE(graph.Series2->points(), (Points{{1, 640}, {1, 640}}));

        QCOMPARE(QPointF(graph.AxisY->min(), graph.AxisY->max()), QPointF(250, 1250));
        QVERIFY(!graph.AxisX->isVisible());
        QVERIFY(!graph.Chart1->chart()->legend()->isVisible());
    }

    void distribution_binEdges_noHitsElevenZeros_dragPansTheFixedAxis()
    {
        writeTest(folder(), u"2003"_s, u"TN250 TN299 TN300 TN1000 TN1249 TA0"_s);
        m_current = u"2003"_s;
        TTestStore store;
        store.Open(folder());
        TfrmGraph2 graph(store, current());
        graph.show();
        graph.ShowTest(u"2003"_s);
        auto bars = [&] {
            QList<qreal> values;
            for (int i = 0; i < graph.Series1->count(); ++i)
                values.append(graph.Series1->at(i));
            return values;
        };
        QCOMPARE(bars(), (QList<qreal>{2, 1, 0, 0, 0, 0, 0, 0, 1, 0, 1}));
        auto *bins = qobject_cast<QBarCategoryAxis *>(graph.Chart1->chart()->axes(Qt::Horizontal).value(0));
        QCOMPARE(bins ? bins->categories().join(u' ') : QString(), u"2 3 4 5 6 7 8 9 10 11 12"_s);
        QCOMPARE(graph.Series1->color(), QColor(0, 0, 255));
        QTest::mouseClick(graph.sbn_A, Qt::LeftButton);
        QCOMPARE(bars(), QList<qreal>(11, 0.0));

        QCOMPARE(QPointF(graph.AxisY->min(), graph.AxisY->max()), QPointF(0, 100));
        QWidget *plot = graph.Chart1->viewport();
        const QPoint start = plot->rect().center();
        QTest::mousePress(plot, Qt::LeftButton, {}, start);
        QTest::mouseMove(plot, start + QPoint(0, 30));
        QTest::mouseRelease(plot, Qt::LeftButton, {}, start + QPoint(0, 30));
        QVERIFY(graph.AxisY->min() > 0); // dragged down: higher counts come into view
        QCOMPARE(graph.AxisY->max() - graph.AxisY->min(), 100.0);
        graph.ShowTest(u"2003"_s);
        QCOMPARE(graph.AxisY->min(), 0.0);
    }

    void pie_ascendingSlicesKeepTheirKindsColour_legendFromLargest_allZero()
    {
        // No noise: 3 omissions, 4 anticipatory presses, 1 commission. Visual: 2 multiple presses. Auditory: hits.
        writeTest(folder(), u"2004"_s,
                  u"TN0 "_s.repeated(3) + u"TN100 "_s.repeated(4) + u"NN500 TV400+600 TV400+600 TA500 TA600"_s);
        m_current = u"2004"_s;
        TTestStore store;
        store.Open(folder());
        TfrmGraph3 graph(store, current());
        graph.show();
        QTest::mouseClick(graph.sbn_N, Qt::LeftButton);
        const QStringList legends{u"0 % 多発反応エラー"_s, u"12.5 % 誤反応エラー"_s, u"37.5 % 無反応エラー"_s,
                                  u"50 % 予期反応エラー"_s};
        const QList<QColor> colours{QColor(255, 255, 0), QColor(255, 0, 0), QColor(0, 0, 255), QColor(0, 128, 0)};
        const QList<QPieSlice *> slices = graph.Series1->slices();
        const QList<QLegendMarker *> markers = graph.Chart1->chart()->legend()->markers(graph.Series1);
        QCOMPARE(slices.size(), 4);
        QCOMPARE(markers.size(), 4);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(slices[i]->label(), legends[i]);
            QCOMPARE(slices[i]->color(), colours[i]);
            QVERIFY(!slices[i]->isLabelVisible());
            QCOMPARE(markers[i]->label(), legends[i]);
        }
        QVERIFY(graph.Chart1->chart()->legend()->isVisible());
        QVERIFY(graph.Chart1->chart()->legend()->reverseMarkers()); // the last, largest slice on top

        QTest::mouseClick(graph.sbn_V, Qt::LeftButton);
        QCOMPARE(graph.Series1->slices().last()->label(), u"100 % 多発反応エラー"_s);
        QCOMPARE(graph.Series1->slices().last()->color(), QColor(255, 255, 0));
        QTest::mouseClick(graph.sbn_A, Qt::LeftButton);
        for (QPieSlice *slice : graph.Series1->slices()) { // each kind keeps its colour here too
            QCOMPARE(slice->value(), 0.0);
            QCOMPARE(slice->label(), u"0 % "_s + legends.value(colours.indexOf(slice->color())).section(u' ', 2));
        }
    }

    void buttons_conditionKeptForTheNextTest_downStaysDown_unreadableTestToldAndNothingChanged()
    {
        writeTest(folder(), u"2005"_s, u"TA300 TN900"_s);
        writeTest(folder(), u"2006"_s, u"TN1000 TA500 TA700"_s);
        TTestStore store;
        store.Open(folder());
        TfrmGraph1 graph(store, current());
        graph.show();
        m_current = u"2005"_s;
        QTest::mouseClick(graph.sbn_A, Qt::LeftButton);
        QTest::mouseClick(graph.sbn_A, Qt::LeftButton);
        QVERIFY(graph.sbn_A->isChecked() && !graph.sbn_T->isChecked());
        QCOMPARE(graph.SelectedCondition(), condA);
        QCOMPARE(graph.Series1->points(), Points{QPointF(1, 300)});
        graph.ShowTest(u"2006"_s);
        const Points shown{{1, 500}, {2, 700}};
        QCOMPARE(graph.Series1->points(), shown);

        m_current.clear(); // nothing selected yet in the main window
        QTest::mouseClick(graph.sbn_N, Qt::LeftButton);
        m_current = u"2005"_s; // deleted since it was selected
        QVERIFY(QFile::remove(folder() + u"2005.txt"_s));
        QTest::mouseClick(graph.sbn_T, Qt::LeftButton);
        QCOMPARE(TMessageBox::ShownTexts().size(), 2);
        QVERIFY(TMessageBox::ShownTexts().last().contains(u"2005.txt"_s));
        QCOMPARE(graph.windowTitle(), u"2006 山田 花子"_s);
        QCOMPARE(graph.Series1->points(), shown);
    }
};

int main(int argc, char *argv[])
{
    TVigixApplication app(argc, argv);
    GraphsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_graphs.moc"
