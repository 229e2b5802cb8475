#include <QTest>

class VigixScoreTest : public QObject
{
    Q_OBJECT
private slots:
    void placeholder() { QSKIP("not written yet"); }
};

QTEST_GUILESS_MAIN(VigixScoreTest)
#include "tst_vigix_score.moc"
