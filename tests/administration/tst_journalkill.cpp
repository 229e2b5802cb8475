#include "JournalKill.h"

#include <QFile>
#include <QProcess>
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

    // SIGTERM at random moments of a test (and once just after a round's last step, before the tick that would
    // hand it over): the program ends by itself, and the next start offers exactly the rounds completed before
    // the signal, with the presses made before a round's last frame but handled after it went to the journal.
    void sigtermAtRandomMoments_programEnds_nextStartOffersEveryCompletedRound()
    {
        constexpr int TickMicroseconds = 1000;
        constexpr int RunMs = 500 * 17 * TickMicroseconds / 1000;
        auto *random = QRandomGenerator::global();
        int latePresses = 0;
        for (int run = 0; run < 5; ++run) {
            QTemporaryDir dir;
            const QString folder = dir.path() + u'/';
            const int raiseAfterRound = run == 4 ? 40 : 0;
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QStringLiteral(JOURNAL_CHILD),
                        {folder, QString::number(200 + run), QString::number(TickMicroseconds), u"quit"_s,
                         QString::number(raiseAfterRound)});
            QVERIFY2(child.waitForStarted(), qPrintable(child.errorString()));
            if (raiseAfterRound == 0) {
                const int signalAfterMs = 300 + random->bounded(RunMs - 300);
                QVERIFY2(!child.waitForFinished(signalAfterMs), "the child ended before the signal");
                child.terminate(); // SIGTERM
            }
            const bool ended = child.waitForFinished(30000);
            if (!ended)
                child.kill();
            QVERIFY2(ended, "the child did not end after SIGTERM");
            QCOMPARE(child.exitStatus(), QProcess::NormalExit);
            QCOMPARE(child.exitCode(), 0);

            int rounds = -1;
            for (const QByteArray &line : child.readAllStandardOutput().split('\n'))
                if (line.startsWith("Q ")) {
                    rounds = line.split(' ').value(1).toInt();
                    latePresses += line.split(' ').value(2).toInt();
                }
            QVERIFY2(rounds >= 1, "the signal was not handled during the rounds");
            if (raiseAfterRound > 0)
                QCOMPARE(rounds, raiseAfterRound);
            const QList<TAbandonedTest> found = FindAbandonedTests(folder + u"journals/"_s, folder);
            QCOMPARE(found.size(), 1);
            QCOMPARE(found[0].RoundCount(), rounds);
            const QString number = StoreInItsFolder(found[0]);
            QFile stored(TTestFile::TestFilePath(folder, number)), expected(folder + u"expected"_s);
            QVERIFY(stored.open(QIODevice::ReadOnly) && expected.open(QIODevice::ReadOnly));
            QCOMPARE(stored.readAll(), expected.readAll());
            qInfo("SIGTERM in round %d: %d rounds offered", rounds + 1, found[0].RoundCount());
        }
        QVERIFY2(latePresses > 0, "no press was handled late");
    }
};

QTEST_GUILESS_MAIN(TestJournalKill)
#include "tst_journalkill.moc"
