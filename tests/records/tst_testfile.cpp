#include <QTest>

class testfileTest : public QObject
{
    Q_OBJECT
private slots:
    void placeholder() { QSKIP("not written yet"); }
};

QTEST_GUILESS_MAIN(testfileTest)
#include "tst_testfile.moc"
