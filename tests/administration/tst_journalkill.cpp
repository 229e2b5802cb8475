#include "JournalKill.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace vigix;
using namespace vigix::testing;
using namespace Qt::StringLiterals;

// The program killed (SIGKILL) during a test at high tick rate: recovery stores exactly the rounds of the
// simulated test up to one at least as late as the last the journal reported on the disk, and none that was
// not completed. bench_journal runs the same at least a hundred times and prints the figures.
class TestJournalKill : public QObject
{
    Q_OBJECT
private slots:
    void killedAtRandomMoments_recoveryStoresEveryRoundOnTheDisk()
    {
        constexpr int TickMicroseconds = 500;
        constexpr int RunMs = 500 * 18 * TickMicroseconds / 1000; // about 17.5 ticks a round
        auto *random = QRandomGenerator::global();
        for (int kill = 0; kill < 5; ++kill) {
            QTemporaryDir dir;
            const auto seed = std::uint32_t(100 + kill);
            // The last kill comes after round 500 is on the disk: all 500 rounds are recovered.
            const int killAfterMs = kill == 4 ? -1 : random->bounded(RunMs);
            const KillRun run =
                KillAndRecover(QStringLiteral(JOURNAL_CHILD), dir.path() + u'/', seed, TickMicroseconds, killAfterMs);
            qInfo("kill after %d ms: %d rounds completed, %d reported on the disk, %d recovered", killAfterMs,
                  run.completed, run.durable, run.recovered);
            QVERIFY2(run.problems.isEmpty(), qPrintable(run.problems.join(u"; "_s)));
            if (kill == 4) {
                QVERIFY(run.ended);
                QCOMPARE(run.recovered, 500);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestJournalKill)
#include "tst_journalkill.moc"
