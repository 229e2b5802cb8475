#include <QTest>

class shiftjisTest : public QObject
{
    Q_OBJECT
private slots:
    void placeholder() { QSKIP("not written yet"); }
};

QTEST_GUILESS_MAIN(shiftjisTest)
#include "tst_shiftjis.moc"
