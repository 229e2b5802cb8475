#include <QTest>

class schedulesTest : public QObject
{
    Q_OBJECT
private slots:
    void placeholder() { QSKIP("not written yet"); }
};

QTEST_GUILESS_MAIN(schedulesTest)
#include "tst_schedules.moc"
