#include "../ChildTests.h"
#include "History.h"
#include "TestStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace vigix;

using testing::WriteChildTest;

class HistoryTest : public QObject
{
    Q_OBJECT
private slots:
    void childHistory_sameChildOnly_inDateOrder_withTheMainResults()
    {
        QTemporaryDir folder;
        WriteChildTest(folder.path(), u"1003"_s, u"山田"_s, u"2026/03/02 10:00:00"_s, u"リタリン"_s, 10, 400, 0);
        WriteChildTest(folder.path(), u"1001"_s, u"山田"_s, u"2025/11/20 09:30:00"_s, u"なし"_s, 7, 600, 3);
        WriteChildTest(folder.path(), u"1002"_s, u"山田"_s, u"2026/01/15 14:00:00"_s, u"リタリン"_s, 9, 500, 1);
        WriteChildTest(folder.path(), u"1004"_s, u"山本"_s, u"2026/01/16 14:00:00"_s, u"なし"_s, 5, 500, 5);
        WriteChildTest(folder.path(), u"1005"_s, u"山田"_s, u"2026/01/01 00:00:00"_s, u"なし"_s, 5, 500, 0);
        QFile damaged(folder.filePath(u"1005.txt"_s)); // the same child, with a damaged round line
        QVERIFY(damaged.open(QIODevice::Append));
        damaged.write("\"T\",\"N\",x\r\n");
        damaged.close();

        TTestInfo child;
        child.Shimei1 = u"山田"_s;
        child.Shimei2 = u"花子"_s;
        child.Seinengappi1 = u"2016"_s;
        child.Seinengappi2 = u"4"_s;
        child.Seinengappi3 = u"1"_s;
        QStringList unreadable;
        TTestStore store;
        store.Open(folder.path());
        const QList<THistoryEntry> history = ChildHistory(store, child, &unreadable);
        QCOMPARE(history.size(), 3);
        QCOMPARE(history[0].Number, u"1001"_s);
        QCOMPARE(history[1].Number, u"1002"_s);
        QCOMPARE(history[2].Number, u"1003"_s);
        QCOMPARE(unreadable.size(), 1);
        QVERIFY(unreadable.first().contains(u"1005.txt"_s));

        // The first test: 3 omissions and 3 commissions of 20 rounds, hits at 601..607 ms.
        QCOMPARE(history[0].OmissionPercent, 15.0);
        QCOMPARE(history[0].CommissionPercent, 15.0);
        QCOMPARE(history[0].MeanRT, 604.0);
        QCOMPARE(history[0].Touyaku, u"なし"_s);
        QCOMPARE(history[0].Age, std::optional<TAge>(TAge{9, 7}));
        QCOMPARE(history[2].MeanRT, 405.5);
        QCOMPARE(history[2].SDRT > 0, true);
        QVERIFY(*history[2].DPrime > *history[0].DPrime); // fewer errors on medication
    }
};

QTEST_GUILESS_MAIN(HistoryTest)
#include "tst_history.moc"
