#include "Errors.h"
#include "Table.h"
#include "TestStore.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace vigix;

namespace {

// Rounds of one kind: a circle pressed after rt ms (0: not pressed), or a cross left alone.
void addRounds(TTestFile &test, int count, const QString &target, const QString &noise, int rt)
{
    for (int i = 0; i < count; ++i) {
        TRoundInfo &round = test.Rounds[++test.RoundCount];
        round.Target = target;
        round.Noise = noise;
        round.Ticks = 12;
        if (rt > 0) {
            round.RT[1] = rt;
            round.Button[1] = 1;
        }
    }
}

QString text(const TfrmTable &table, const QString &name)
{
    auto *label = table.findChild<QLabel *>(name);
    return label ? label->text() : u"(no label %1)"_s.arg(name);
}

} // namespace

class TableTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_folder;

private slots:
    void showTest_fillsEveryColumn_totalIsTheSumOfTheConditions()
    {
        TTestFile test;
        test.Info.Kensabangou = u"1001"_s;
        test.Info.Shimei1 = u"山田"_s;
        test.Info.Shimei2 = u"花子"_s;
        test.Info.Kensanichiji = u"2002/10/11 15:30:03"_s;
        addRounds(test, 3, u"T"_s, u"N"_s, 400);    // no noise: three hits
        addRounds(test, 1, u"T"_s, u"N"_s, 0);      // and one omission
        addRounds(test, 1, u"T"_s, u"A"_s, 600);    // tone: a single hit, so no deviation
        addRounds(test, 2, u"N"_s, u"A"_s, 0);      // and two correct rejections
        test.WriteFile(m_folder.path(), u"1001"_s); // no triangle rounds at all

        TTestStore store;
        store.Open(m_folder.path());
        TfrmTable table(store);
        table.ShowTest(u"1001"_s);
        QCOMPARE(table.windowTitle(), u"1001 山田 花子"_s);
        QCOMPARE(table.lblShimei->text(), u"山田 花子"_s);
        QCOMPARE(table.lblKensanichiji->text(), u"2002/10/11 15:30:03"_s);
        QCOMPARE(text(table, u"lblN_Total"_s), u"4"_s);
        QCOMPARE(text(table, u"lblA_Total"_s), u"3"_s);
        QCOMPARE(text(table, u"lblV_Total"_s), u"0"_s);
        QCOMPARE(text(table, u"lblT_Total"_s), u"7"_s);
        QCOMPARE(text(table, u"lblN_E_OMI"_s), u"1"_s);
        QCOMPARE(text(table, u"lblN_E_OMI_P"_s), u"( 25.0% )"_s);
        QCOMPARE(text(table, u"lblT_E_OMI_P"_s), u"( 14.3% )"_s);
        QCOMPARE(text(table, u"lblV_E_OMI"_s), u"0"_s);
        QCOMPARE(text(table, u"lblV_E_OMI_P"_s), QString()); // no rounds: no percentage
        QCOMPARE(text(table, u"lblN_MEAN"_s), u"400.00"_s);
        QCOMPARE(text(table, u"lblN_SD"_s), u"0.00"_s);
        QCOMPARE(text(table, u"lblA_MEAN"_s), u"600.00"_s);
        QCOMPARE(text(table, u"lblA_SD"_s), u"-"_s);
        QCOMPARE(text(table, u"lblV_MEAN"_s), u"-"_s);
        QCOMPARE(text(table, u"lblT_MEAN"_s), u"450.00"_s);
    }

    void showTest_unreadableFile_raisesAndLeavesTheTable()
    {
        TTestFile test;
        test.Info.Kensabangou = u"1002"_s;
        addRounds(test, 5, u"T"_s, u"V"_s, 300);
        test.WriteFile(m_folder.path(), u"1002"_s);
        TTestStore store;
        store.Open(m_folder.path());
        TfrmTable table(store);
        table.ShowTest(u"1002"_s);
        const QString title = table.windowTitle();
        QVERIFY_THROWS_EXCEPTION(EInOutError, table.ShowTest(u"1099"_s));
        QCOMPARE(table.windowTitle(), title);
        QCOMPARE(text(table, u"lblV_Total"_s), u"5"_s);
    }

    void hiding_isTold()
    {
        TTestStore store;
        store.Open(m_folder.path());
        TfrmTable table(store);
        QSignalSpy hidden(&table, &TfrmTable::Hidden);
        table.show();
        QVERIFY(QTest::qWaitForWindowExposed(&table));
        table.close(); // the close box only hides it
        QCOMPARE(hidden.count(), 1);
        QCOMPARE(table.size(), QSize(TfrmTable::ClientWidth, TfrmTable::ClientHeight));
    }
};

QTEST_MAIN(TableTest)
#include "tst_table.moc"
