#include "ScoreCsv.h"
#include "ScoreExport.h"
#include "TestFile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace vigix;

class ScoreCsvTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_folder;
    QStringList m_paths;

private slots:
    void initTestCase()
    {
        for (const QString &number : {u"1001"_s, u"1002"_s, u"1003"_s}) {
            TTestFile test;
            test.Info.Kensabangou = number;
            test.Info.Shimei1 = u"山田"_s;
            test.WriteFile(m_folder.path(), number);
            m_paths.append(TTestFile::TestFilePath(m_folder.path(), number));
        }
    }

    void everyTest_utf8WithByteOrderMark_unreadableOnesNamed()
    {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        const QStringList paths{m_paths[0], m_folder.filePath(u"1099.txt"_s), m_paths[1]};
        const TScoreCsvResult result = WriteScoresCsv(out, paths);
        QCOMPARE(result.Written, 2);
        QCOMPARE(result.Failures.size(), 1);
        QVERIFY(result.Failures.first().contains(u"1099.txt"_s));
        QVERIFY(out.data().startsWith("\xEF\xBB\xBF"
                                      "file,Kensabangou,"));
        const QStringList lines = QString::fromUtf8(out.data().mid(3)).split(u"\r\n"_s, Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], ScoreFieldNames().join(u','));
        QVERIFY(lines[2].contains(u",1002,"_s));
        QVERIFY(lines[2].contains(u"山田"_s));
    }

    void progress_countsAndCancels()
    {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        QList<int> told;
        const TScoreCsvResult result = WriteScoresCsv(out, m_paths, [&told](int done) {
            told.append(done);
            return done < 2;
        });
        QCOMPARE(told, (QList<int>{1, 2}));
        QVERIFY(result.Cancelled);
        QCOMPARE(result.Written, 2);
    }
};

QTEST_GUILESS_MAIN(ScoreCsvTest)
#include "tst_scorecsv.moc"
