// Runs the built vigix-score on test files and checks what it prints: the results table, CSV and JSON, and
// how it reports files it cannot score. The expected scores are worked out by hand in the comments below.

#include "Errors.h"
#include "TestFile.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>

using namespace Qt::StringLiterals;
using vigix::TRoundInfo;
using vigix::TTestFile;

namespace {

// ---- Running the scorer ----------------------------------------------------------------------------------------

struct RunResult
{
    bool finished = false;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    int exitCode = -1;
    QString out;
    QString err;
    QByteArray rawOut;
};

RunResult runScorer(const QStringList &arguments)
{
    QProcess process;
    // A researcher's usual UTF-8 locale; under a C locale Qt itself warns on stderr, which is not ours to check.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
    process.setProcessEnvironment(environment);
    process.start(QString::fromUtf8(VIGIX_SCORE_EXE), arguments);

    RunResult result;
    // Generous: the sanitizer build is slow. This waits for the process, it is not a sleep.
    result.finished = process.waitForFinished(120000);
    result.exitStatus = process.exitStatus();
    result.exitCode = process.exitCode();
    result.rawOut = process.readAllStandardOutput();
    result.out = QString::fromUtf8(result.rawOut);
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

// ---- Expected scores --------------------------------------------------------------------------------------------

constexpr int KindCount = 7;
// Condition letters in export order, and the kinds in export order.
const QStringList Conditions{u"T"_s, u"N"_s, u"A"_s, u"V"_s};
const QStringList Kinds{u"Total"_s, u"Hit"_s, u"CorrectReject"_s, u"E_COM"_s, u"E_OMI"_s, u"E_MUL"_s, u"E_INV"_s};

struct ConditionScores
{
    std::array<int, KindCount> counts; // Total, Hit, CorrectReject, E_COM, E_OMI, E_MUL, E_INV
    QList<double> hitRT;               // hits in round order
    QString mean;                      // two decimals; empty without hits
    QString sd;                        // two decimals; empty with fewer than two hits
};

struct ExpectedTest
{
    QString path;
    QString number;
    QString date;
    QString name1;
    QString name2;
    QString year;
    QString month;
    QString day;
    QString sex;
    int rounds = 0;
    std::array<ConditionScores, 4> conditions; // T, N, A, V
};

// The header as researchers' scripts expect it, column for column.
QStringList expectedHeader()
{
    QStringList header{u"file"_s,         u"Kensabangou"_s,  u"Kensanichiji"_s, u"Shimei1"_s,  u"Shimei2"_s,
                       u"Seinengappi1"_s, u"Seinengappi2"_s, u"Seinengappi3"_s, u"Seibetsu"_s, u"RoundCount"_s};
    for (const QString &condition : Conditions) {
        for (const QString &kind : Kinds)
            header.append(condition + u'_' + kind);
        header.append(condition + u"_MeanRT"_s);
        header.append(condition + u"_SDRT"_s);
    }
    // The signal-detection and time-on-task measures follow, condition by condition.
    for (const QString &condition : Conditions) {
        header.append({condition + u"_dprime"_s, condition + u"_beta"_s});
        for (int q = 1; q <= 4; ++q) {
            for (const QString &measure : {u"MeanRT"_s, u"E_OMI"_s, u"E_COM"_s})
                header.append(u"%1_Q%2_%3"_s.arg(condition).arg(q).arg(measure));
        }
        header.append({condition + u"_RTSlope"_s, condition + u"_COM_MeanRT"_s, condition + u"_CV"_s});
    }
    return header;
}

// The columns before the measures, which these tests work out by hand; the measures have tests of their own.
QStringList scoreColumns(const QStringList &row)
{
    return row.size() == expectedHeader().size() ? row.mid(0, 10 + 4 * 9) : row;
}

QStringList expectedCsvRow(const ExpectedTest &test)
{
    QStringList row{test.path, test.number, test.date, test.name1, test.name2,
                    test.year, test.month,  test.day,  test.sex,   QString::number(test.rounds)};
    for (const ConditionScores &scores : test.conditions) {
        for (int count : scores.counts)
            row.append(QString::number(count));
        row.append(scores.mean);
        row.append(scores.sd);
    }
    return row;
}

// Mean and sample standard deviation (divisor n - 1) of the hit times, at full precision.
double fullMean(const QList<double> &values)
{
    double sum = 0;
    for (double x : values)
        sum += x;
    return sum / static_cast<double>(values.size());
}

double fullSD(const QList<double> &values)
{
    const double m = fullMean(values);
    double sum = 0;
    for (double x : values)
        sum += (x - m) * (x - m);
    return std::sqrt(sum / static_cast<double>(values.size() - 1));
}

bool closeTo(double actual, double expected)
{
    return std::abs(actual - expected) <= 1e-9 * std::max(1.0, std::abs(expected));
}

// ---- Building test files ----------------------------------------------------------------------------------------

struct Press
{
    int rt;
    int button;
};

TRoundInfo makeRound(const QString &target, const QString &noise, int noiseNo, int ticks,
                     std::initializer_list<Press> presses = {})
{
    TRoundInfo round;
    round.Target = target;
    round.Noise = noise;
    round.NoiseNo = noiseNo;
    round.Ticks = ticks;
    int slot = 1;
    for (const Press &press : presses) {
        round.RT[slot] = press.rt;
        round.Button[slot] = press.button;
        ++slot;
    }
    return round;
}

// Test 1001: twelve rounds, mixed so that every condition is interleaved with the others.
//
//  #  shown  noise  presses (ms/button)   judgement
//  1  T      N      400/1                 Hit 400
//  2  T      A3     250/1                 Hit 250 (lower bound)
//  3  N      N      -                     CorrectReject
//  4  T      V4     333/2                 Hit 333
//  5  T      N      500/1, 700/1          Hit 500 + E_MUL (same button twice)
//  6  N      A2     1250/1                E_INV (one past the upper bound)
//  7  T      N      -                     E_OMI
//  8  N      V7     -                     CorrectReject
//  9  N      N      600/1                 E_COM
// 10  T      A5     1249/1, 1300/2, 1400/2  Hit 1249 (upper bound); buttons 1 then 2: no E_MUL
// 11  T      N      120/1, 600/2          E_INV only: a valid second press does not make it a hit
// 12  N      V1     800/1, 900/1          E_COM + E_MUL
//
//        Total Hit CR COM OMI MUL INV  hits             mean                SD (n - 1)
//  N       6    2   1   1   1   1   1  400 500          450.00              sqrt(2 x 50^2)        = 70.71
//  A       3    2   0   0   0   0   1  250 1249         749.50              sqrt(2 x 499.5^2)     = 706.40
//  V       3    1   1   1   0   1   0  333              333.00              -
//  T      12    5   2   2   1   2   2  400 250 333 500 1249   2732/5 = 546.40
//  T SD: squares of 546.4 - x: 21432.96 + 87852.96 + 45539.56 + 2152.96 + 493646.76 = 650625.2;
//        / 4 = 162656.3; sqrt = 403.3067 -> 403.31
TTestFile handScoredTest()
{
    TTestFile test;
    test.Info.Kensabangou = u"1001"_s;
    test.Info.Kensanichiji = u"2024/05/17 10:30:00"_s;
    test.Info.Shimei1 = u"鈴木　一郎"_s;
    test.Info.Shimei2 = u"ｽｽﾞｷ ｲﾁﾛｳ"_s;
    test.Info.Seinengappi1 = u"2015"_s;
    test.Info.Seinengappi2 = u"4"_s;
    test.Info.Seinengappi3 = u"9"_s;
    test.Info.Seibetsu = u"男"_s;
    test.Info.Shindanmei = u"ＡＤＨＤ（混合型）"_s;
    test.Info.Ritarin = u"１～２時間"_s;
    const std::array<TRoundInfo, 12> rounds{
        makeRound(u"T"_s, u"N"_s, 0, 15, {{400, 1}}),
        makeRound(u"T"_s, u"A"_s, 3, 13, {{250, 1}}),
        makeRound(u"N"_s, u"N"_s, 0, 14),
        makeRound(u"T"_s, u"V"_s, 4, 16, {{333, 2}}),
        makeRound(u"T"_s, u"N"_s, 0, 17, {{500, 1}, {700, 1}}),
        makeRound(u"N"_s, u"A"_s, 2, 18, {{1250, 1}}),
        makeRound(u"T"_s, u"N"_s, 0, 19),
        makeRound(u"N"_s, u"V"_s, 7, 20),
        makeRound(u"N"_s, u"N"_s, 0, 13, {{600, 1}}),
        makeRound(u"T"_s, u"A"_s, 5, 15, {{1249, 1}, {1300, 2}, {1400, 2}}),
        makeRound(u"T"_s, u"N"_s, 0, 14, {{120, 1}, {600, 2}}),
        makeRound(u"N"_s, u"V"_s, 1, 16, {{800, 1}, {900, 1}}),
    };
    for (int i = 1; i <= 12; ++i)
        test.Rounds[i] = rounds[static_cast<std::size_t>(i - 1)];
    test.RoundCount = 12;
    return test;
}

ExpectedTest handScoredExpected(const QString &path)
{
    return {path,
            u"1001"_s,
            u"2024/05/17 10:30:00"_s,
            u"鈴木　一郎"_s,
            u"ｽｽﾞｷ ｲﾁﾛｳ"_s,
            u"2015"_s,
            u"4"_s,
            u"9"_s,
            u"男"_s,
            12,
            {{
                {{12, 5, 2, 2, 1, 2, 2}, {400, 250, 333, 500, 1249}, u"546.40"_s, u"403.31"_s},
                {{6, 2, 1, 1, 1, 1, 1}, {400, 500}, u"450.00"_s, u"70.71"_s},
                {{3, 2, 0, 0, 0, 0, 1}, {250, 1249}, u"749.50"_s, u"706.40"_s},
                {{3, 1, 1, 1, 0, 1, 0}, {333}, u"333.00"_s, QString()},
            }}};
}

// Test 1002: the subject record alone, no round completed.
TTestFile emptyTest()
{
    TTestFile test;
    test.Info.Kensabangou = u"1002"_s;
    test.Info.Kensanichiji = u"2024/05/18 09:00:00"_s;
    test.Info.Shimei1 = u"佐藤"_s;
    test.Info.Seinengappi1 = u"2016"_s;
    test.Info.Seinengappi2 = u"12"_s;
    test.Info.Seinengappi3 = u"1"_s;
    test.Info.Seibetsu = u"女"_s;
    test.RoundCount = 0;
    return test;
}

ExpectedTest emptyExpected(const QString &path)
{
    return {path,
            u"1002"_s,
            u"2024/05/18 09:00:00"_s,
            u"佐藤"_s,
            QString(),
            u"2016"_s,
            u"12"_s,
            u"1"_s,
            u"女"_s,
            0,
            {{
                {{0, 0, 0, 0, 0, 0, 0}, {}, QString(), QString()},
                {{0, 0, 0, 0, 0, 0, 0}, {}, QString(), QString()},
                {{0, 0, 0, 0, 0, 0, 0}, {}, QString(), QString()},
                {{0, 0, 0, 0, 0, 0, 0}, {}, QString(), QString()},
            }}};
}

// tests/data/score/2001.txt: a test as the Windows program writes it, built byte by byte in code page 932
// with CR LF line ends. Its names: "髙橋　花子" (FB FC 8B B4 81 40 89 D4 8E 71; 髙 is an IBM extension),
// "ﾀｶﾊｼ ﾊﾅｺ" (C0 B6 CA BC 20 CA C5 BA), sex "女" (8F 97); it also holds "ＡＤＨＤ（混合型）", "ｷｬﾝｾﾙ" (B7 AC DD
// BE D9) and "１～２時間" (82 50 81 60 82 51 8E 9E 8A D4).
//
//  #  shown  noise  presses (ms/button)        judgement
//  1  T      V2     700/1                      Hit 700
//  2  N      N      -                          CorrectReject
//  3  T      N      300/1, 450/1               Hit 300 + E_MUL
//  4  T      A8     -                          E_OMI
//  5  N      A6     200/1                      E_INV (too early)
//  6  T      N      1000/2, 1100/1, 1200/2     Hit 1000; the first two buttons differ: no E_MUL
//  7  N      V5     1249/1                     E_COM (a cross answered at the upper bound)
//
//        Total Hit CR COM OMI MUL INV  hits            mean               SD (n - 1)
//  N       3    2   1   0   0   1   0  300 1000        650.00             sqrt(2 x 350^2)  = 494.97
//  A       2    0   0   0   1   0   1  -               -                  -
//  V       2    1   0   1   0   0   0  700             700.00             -
//  T       7    3   1   1   1   1   1  700 300 1000    2000/3 = 666.67
//  T SD: squares of 666.667 - x: 1111.11 + 134444.44 + 111111.11 = 246666.67; / 2 = 123333.33; sqrt = 351.19
QString fixturePath()
{
    return QString::fromUtf8(VIGIX_TEST_DATA) + u"/score/2001.txt"_s;
}

ExpectedTest fixtureExpected()
{
    return {fixturePath(),
            u"2001"_s,
            u"2003/07/01 09:05:30"_s,
            u"髙橋　花子"_s,
            u"ﾀｶﾊｼ ﾊﾅｺ"_s,
            u"1996"_s,
            u"7"_s,
            u"23"_s,
            u"女"_s,
            7,
            {{
                {{7, 3, 1, 1, 1, 1, 1}, {700, 300, 1000}, u"666.67"_s, u"351.19"_s},
                {{3, 2, 1, 0, 0, 1, 0}, {300, 1000}, u"650.00"_s, u"494.97"_s},
                {{2, 0, 0, 0, 1, 0, 1}, {}, QString(), QString()},
                {{2, 1, 0, 1, 0, 0, 0}, {700}, u"700.00"_s, QString()},
            }}};
}

// ---- Reading the output -----------------------------------------------------------------------------------------

// An RFC 4180 reader, independent of the program's writer: records end in CR LF, fields are separated by ",",
// a field in double quotes may hold ",", CR, LF and "" for one quote, and a quote anywhere else is an error.
bool parseCsv(const QString &text, QList<QStringList> &records)
{
    records.clear();
    QStringList record;
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (n == 0)
        return true;
    for (;;) {
        QString field;
        if (text.at(i) == u'"') {
            ++i;
            for (;;) {
                if (i >= n)
                    return false; // quoted field never closed
                if (text.at(i) == u'"') {
                    if (i + 1 < n && text.at(i + 1) == u'"') {
                        field += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text.at(i++);
            }
        } else {
            while (i < n && text.at(i) != u',' && text.at(i) != u'\r' && text.at(i) != u'\n') {
                if (text.at(i) == u'"')
                    return false; // a quote in a field that is not quoted
                field += text.at(i++);
            }
        }
        record.append(field);
        if (i >= n) {
            records.append(record);
            return true;
        }
        if (text.at(i) == u',') {
            ++i;
            continue;
        }
        if (text.at(i) == u'\r' && i + 1 < n && text.at(i + 1) == u'\n') {
            i += 2;
            records.append(record);
            record.clear();
            if (i >= n)
                return true;
            continue;
        }
        return false; // a bare CR or LF, or text after a closing quote
    }
}

// One row of the results table: its heading, then per column (ノイズなし, 聴覚ノイズ, 視覚ノイズ, 総計) the texts
// of the cell in order; blanks between texts are free, the texts themselves are exact.
struct TableRow
{
    QString heading;
    QList<QStringList> cells;
};

QRegularExpression rowPattern(const TableRow &row)
{
    QString pattern = u"^"_s + QRegularExpression::escape(row.heading);
    for (const QStringList &cell : row.cells) {
        for (const QString &text : cell)
            pattern += u"\\s+"_s + QRegularExpression::escape(text);
    }
    return QRegularExpression(pattern + u"\\s*$"_s, QRegularExpression::MultilineOption);
}

// Checks that the table is there once, headed by the four columns, with the rows in this order.
void checkTable(const QString &out, const QList<TableRow> &rows)
{
    const QRegularExpression header(u"^\\s*ノイズなし\\s+聴覚ノイズ\\s+視覚ノイズ\\s+総計\\s*$"_s,
                                    QRegularExpression::MultilineOption);
    const QRegularExpressionMatch headerMatch = header.match(out);
    QVERIFY2(headerMatch.hasMatch(), qPrintable(u"no column headings in:\n"_s + out));
    qsizetype previous = headerMatch.capturedEnd();
    for (const TableRow &row : rows) {
        const QRegularExpression pattern = rowPattern(row);
        const QRegularExpressionMatch match = pattern.match(out);
        QVERIFY2(match.hasMatch(),
                 qPrintable(u"row %1 not as expected (pattern %2) in:\n%3"_s.arg(row.heading, pattern.pattern(), out)));
        QVERIFY2(match.capturedStart() > previous, qPrintable(u"row %1 out of order"_s.arg(row.heading)));
        QVERIFY2(!pattern.match(out, match.capturedEnd()).hasMatch(), qPrintable(u"row %1 twice"_s.arg(row.heading)));
        previous = match.capturedStart();
    }
}

// Checks one JSON object against the expected scores: every field, numbers as numbers, full-precision means.
void checkJsonObject(const QJsonObject &object, const ExpectedTest &test)
{
    QStringList names = expectedHeader();
    for (const QString &condition : Conditions)
        names.append(condition + u"_HitRT"_s);
    QStringList keys = object.keys();
    keys.sort();
    names.sort();
    QCOMPARE(keys, names);

    const QStringList texts{u"file"_s,         u"Kensabangou"_s,  u"Kensanichiji"_s, u"Shimei1"_s, u"Shimei2"_s,
                            u"Seinengappi1"_s, u"Seinengappi2"_s, u"Seinengappi3"_s, u"Seibetsu"_s};
    const QStringList values{test.path, test.number, test.date, test.name1, test.name2,
                             test.year, test.month,  test.day,  test.sex};
    for (qsizetype i = 0; i < texts.size(); ++i) {
        QVERIFY2(object.value(texts.at(i)).isString(), qPrintable(texts.at(i)));
        QCOMPARE(object.value(texts.at(i)).toString(), values.at(i));
    }
    QVERIFY(object.value(u"RoundCount"_s).isDouble());
    QCOMPARE(object.value(u"RoundCount"_s).toDouble(), double(test.rounds));

    for (qsizetype c = 0; c < Conditions.size(); ++c) {
        const ConditionScores &scores = test.conditions[static_cast<std::size_t>(c)];
        const QString prefix = Conditions.at(c) + u'_';
        for (qsizetype k = 0; k < Kinds.size(); ++k) {
            const QJsonValue value = object.value(prefix + Kinds.at(k));
            QVERIFY2(value.isDouble(), qPrintable(prefix + Kinds.at(k)));
            QCOMPARE(value.toDouble(), double(scores.counts[static_cast<std::size_t>(k)]));
        }

        const QJsonValue hits = object.value(prefix + u"HitRT"_s);
        QVERIFY2(hits.isArray(), qPrintable(prefix + u"HitRT"_s));
        QList<double> actualHits;
        for (const QJsonValue &hit : hits.toArray()) {
            QVERIFY(hit.isDouble());
            actualHits.append(hit.toDouble());
        }
        QCOMPARE(actualHits, scores.hitRT);

        const QJsonValue mean = object.value(prefix + u"MeanRT"_s);
        const QJsonValue sd = object.value(prefix + u"SDRT"_s);
        if (scores.hitRT.isEmpty()) {
            QVERIFY2(mean.isNull(), qPrintable(prefix + u"MeanRT should be null"_s));
        } else {
            QVERIFY2(mean.isDouble(), qPrintable(prefix + u"MeanRT"_s));
            QVERIFY2(closeTo(mean.toDouble(), fullMean(scores.hitRT)),
                     qPrintable(u"%1MeanRT %2"_s.arg(prefix).arg(mean.toDouble(), 0, 'g', 17)));
        }
        if (scores.hitRT.size() < 2) {
            QVERIFY2(sd.isNull(), qPrintable(prefix + u"SDRT should be null"_s));
        } else {
            QVERIFY2(sd.isDouble(), qPrintable(prefix + u"SDRT"_s));
            QVERIFY2(closeTo(sd.toDouble(), fullSD(scores.hitRT)),
                     qPrintable(u"%1SDRT %2"_s.arg(prefix).arg(sd.toDouble(), 0, 'g', 17)));
        }
    }
}

QJsonArray parseJsonArray(const QByteArray &bytes, bool &ok)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    ok = error.error == QJsonParseError::NoError && document.isArray();
    return document.array();
}

} // namespace

class VigixScoreTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void table_handScoredTest_showsCountsPercentsAndTimes();
    void table_fileWrittenOnWindows_isScored();
    void table_testWithoutRounds_showsZerosAndDashes();

    void csv_header_isTheStableColumnList();
    void csv_rows_holdScoresWithTwoDecimalsAndEmptyForMissing();
    void csv_pathNeedingQuotes_isQuotedPerRfc4180();

    void json_objects_holdScoresFullPrecisionAndNulls();
    void json_japaneseNames_areWrittenAsUtf8();
    void json_timingSummary_onlyWhereOneIsStoredBeside();

    void severalFiles_missingAndDamaged_areNamedAndOthersScored_data();
    void severalFiles_missingAndDamaged_areNamedAndOthersScored();
    void severalFiles_notTests_refusedCleanlyAndOthersScored();
    void severalFiles_allGood_exitZero_data();
    void severalFiles_allGood_exitZero();
    void noFiles_printsUsageAndFails_data();
    void noFiles_printsUsageAndFails();

private:
    bool writeTest(const TTestFile &test, const QString &folder, QString &path);

    QTemporaryDir m_dir;
    QString m_handPath;
    QString m_emptyPath;
    QString m_damagedPath;
    QString m_missingPath;
    QStringList m_oddPaths; // test 1001 again, in folders whose names need quoting in CSV
};

bool VigixScoreTest::writeTest(const TTestFile &test, const QString &folder, QString &path)
{
    if (!QDir().mkpath(folder))
        return false;
    try {
        test.WriteFile(folder, test.Info.Kensabangou);
    } catch (const vigix::EVigixError &error) {
        qWarning("%s", qPrintable(error.message()));
        return false;
    }
    path = QDir(folder).filePath(test.Info.Kensabangou + u".txt"_s);
    return QFile::exists(path);
}

void VigixScoreTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QFile::exists(QString::fromUtf8(VIGIX_SCORE_EXE)));
    QVERIFY(QFile::exists(fixturePath()));

    const QString data = m_dir.filePath(u"data"_s);
    QVERIFY(writeTest(handScoredTest(), data, m_handPath));
    QVERIFY(writeTest(emptyTest(), data, m_emptyPath));

    // A file damaged outside the program: the Ticks of round 2 is "12a".
    m_damagedPath = QDir(data).filePath(u"1003.txt"_s);
    QFile damaged(m_damagedPath);
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write("1003,\"2024/05/19 14:00:00\",\"X\",\"\",\"2014\",\"1\",\"2\",\"M\"\r\n"
                  "\"T\",\"N\",0,15,432,0,0,0,0,0,0,0,0,0,1,0,0,0,0,0,0,0,0,0\r\n"
                  "\"T\",\"N\",0,12a,510,0,0,0,0,0,0,0,0,0,1,0,0,0,0,0,0,0,0,0\r\n"
                  "\"N\",\"N\",0,16,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\r\n");
    damaged.close();

    m_missingPath = QDir(data).filePath(u"1999.txt"_s);
    QVERIFY(!QFile::exists(m_missingPath));

    for (const QString &folder : {u"say \"cheese\""_s, u"a,b \"c\""_s, u"two\nlines"_s, u"検査 データ"_s}) {
        QString path;
        QVERIFY(writeTest(handScoredTest(), m_dir.filePath(folder), path));
        m_oddPaths.append(path);
    }
}

void VigixScoreTest::table_handScoredTest_showsCountsPercentsAndTimes()
{
    const RunResult run = runScorer({m_handPath});
    QVERIFY(run.finished);
    QCOMPARE(run.exitStatus, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.contains(m_handPath), qPrintable(run.out));
    QVERIFY(run.out.contains(u"1001"_s));
    QVERIFY(run.out.contains(u"鈴木　一郎"_s));

    // Percentages are of the rounds of the same column: 1 of 6 is 16.7, 1 of 3 is 33.3, 1 of 12 is 8.3.
    checkTable(
        run.out,
        {
            {u"試行"_s, {{u"6"_s}, {u"3"_s}, {u"3"_s}, {u"12"_s}}},
            {u"無反応エラー"_s,
             {{u"1"_s, u"( 16.7% )"_s}, {u"0"_s, u"(  0.0% )"_s}, {u"0"_s, u"(  0.0% )"_s}, {u"1"_s, u"(  8.3% )"_s}}},
            {u"誤反応エラー"_s,
             {{u"1"_s, u"( 16.7% )"_s}, {u"0"_s, u"(  0.0% )"_s}, {u"1"_s, u"( 33.3% )"_s}, {u"2"_s, u"( 16.7% )"_s}}},
            {u"多発反応エラー"_s,
             {{u"1"_s, u"( 16.7% )"_s}, {u"0"_s, u"(  0.0% )"_s}, {u"1"_s, u"( 33.3% )"_s}, {u"2"_s, u"( 16.7% )"_s}}},
            {u"予期反応エラー"_s,
             {{u"1"_s, u"( 16.7% )"_s}, {u"1"_s, u"( 33.3% )"_s}, {u"0"_s, u"(  0.0% )"_s}, {u"2"_s, u"( 16.7% )"_s}}},
            {u"平均反応時間"_s, {{u"450.00"_s}, {u"749.50"_s}, {u"333.00"_s}, {u"546.40"_s}}},
            {u"反応時間 SD"_s, {{u"70.71"_s}, {u"706.40"_s}, {u"-"_s}, {u"403.31"_s}}},
        });
}

void VigixScoreTest::table_fileWrittenOnWindows_isScored()
{
    const RunResult run = runScorer({fixturePath()});
    QVERIFY(run.finished);
    QCOMPARE(run.exitStatus, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.contains(u"2001"_s));
    QVERIFY2(run.out.contains(u"髙橋　花子"_s), qPrintable(run.out));

    // 1 of 2 is 50.0, 1 of 3 is 33.3, 1 of 7 is 14.3.
    checkTable(
        run.out,
        {
            {u"試行"_s, {{u"3"_s}, {u"2"_s}, {u"2"_s}, {u"7"_s}}},
            {u"無反応エラー"_s,
             {{u"0"_s, u"(  0.0% )"_s}, {u"1"_s, u"( 50.0% )"_s}, {u"0"_s, u"(  0.0% )"_s}, {u"1"_s, u"( 14.3% )"_s}}},
            {u"誤反応エラー"_s,
             {{u"0"_s, u"(  0.0% )"_s}, {u"0"_s, u"(  0.0% )"_s}, {u"1"_s, u"( 50.0% )"_s}, {u"1"_s, u"( 14.3% )"_s}}},
            {u"多発反応エラー"_s,
             {{u"1"_s, u"( 33.3% )"_s}, {u"0"_s, u"(  0.0% )"_s}, {u"0"_s, u"(  0.0% )"_s}, {u"1"_s, u"( 14.3% )"_s}}},
            {u"予期反応エラー"_s,
             {{u"0"_s, u"(  0.0% )"_s}, {u"1"_s, u"( 50.0% )"_s}, {u"0"_s, u"(  0.0% )"_s}, {u"1"_s, u"( 14.3% )"_s}}},
            {u"平均反応時間"_s, {{u"650.00"_s}, {u"-"_s}, {u"700.00"_s}, {u"666.67"_s}}},
            {u"反応時間 SD"_s, {{u"494.97"_s}, {u"-"_s}, {u"-"_s}, {u"351.19"_s}}},
        });
}

void VigixScoreTest::table_testWithoutRounds_showsZerosAndDashes()
{
    const RunResult run = runScorer({m_emptyPath});
    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, 0);

    // No rounds: no percentage at all, and no mean or deviation.
    const QList<QStringList> zeros{{u"0"_s}, {u"0"_s}, {u"0"_s}, {u"0"_s}};
    const QList<QStringList> dashes{{u"-"_s}, {u"-"_s}, {u"-"_s}, {u"-"_s}};
    checkTable(run.out, {
                            {u"試行"_s, zeros},
                            {u"無反応エラー"_s, zeros},
                            {u"誤反応エラー"_s, zeros},
                            {u"多発反応エラー"_s, zeros},
                            {u"予期反応エラー"_s, zeros},
                            {u"平均反応時間"_s, dashes},
                            {u"反応時間 SD"_s, dashes},
                        });
    QVERIFY2(!run.out.contains(u'%'), qPrintable(run.out));
}

void VigixScoreTest::csv_header_isTheStableColumnList()
{
    const RunResult run = runScorer({u"--csv"_s, m_handPath});
    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, 0);
    const QString header =
        u"file,Kensabangou,Kensanichiji,Shimei1,Shimei2,Seinengappi1,Seinengappi2,Seinengappi3,Seibetsu,RoundCount,"
        u"T_Total,T_Hit,T_CorrectReject,T_E_COM,T_E_OMI,T_E_MUL,T_E_INV,T_MeanRT,T_SDRT,"
        u"N_Total,N_Hit,N_CorrectReject,N_E_COM,N_E_OMI,N_E_MUL,N_E_INV,N_MeanRT,N_SDRT,"
        u"A_Total,A_Hit,A_CorrectReject,A_E_COM,A_E_OMI,A_E_MUL,A_E_INV,A_MeanRT,A_SDRT,"
        u"V_Total,V_Hit,V_CorrectReject,V_E_COM,V_E_OMI,V_E_MUL,V_E_INV,V_MeanRT,V_SDRT,"_s;
    // The columns that were there first keep their names and places; the measures follow them.
    QVERIFY2(run.out.startsWith(header), qPrintable(run.out.left(header.size() + 40)));
    QCOMPARE(run.out.left(run.out.indexOf(u"\r\n"_s)), expectedHeader().join(u','));
}

void VigixScoreTest::csv_rows_holdScoresWithTwoDecimalsAndEmptyForMissing()
{
    const RunResult run = runScorer({u"--csv"_s, m_handPath, fixturePath(), m_emptyPath});
    QVERIFY(run.finished);
    QCOMPARE(run.exitStatus, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 0);

    QList<QStringList> records;
    QVERIFY2(parseCsv(run.out, records), qPrintable(run.out));
    QCOMPARE(records.size(), 4);
    QCOMPARE(records.at(0), expectedHeader());
    QCOMPARE(scoreColumns(records.at(1)), expectedCsvRow(handScoredExpected(m_handPath)));
    QCOMPARE(scoreColumns(records.at(2)), expectedCsvRow(fixtureExpected()));
    QCOMPARE(scoreColumns(records.at(3)), expectedCsvRow(emptyExpected(m_emptyPath)));
}

void VigixScoreTest::csv_pathNeedingQuotes_isQuotedPerRfc4180()
{
    const RunResult run = runScorer(QStringList{u"--csv"_s} + m_oddPaths);
    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, 0);

    QList<QStringList> records;
    QVERIFY2(parseCsv(run.out, records), qPrintable(run.out));
    QCOMPARE(records.size(), 1 + m_oddPaths.size());
    for (qsizetype i = 0; i < m_oddPaths.size(); ++i)
        QCOMPARE(scoreColumns(records.at(i + 1)), expectedCsvRow(handScoredExpected(m_oddPaths.at(i))));
}

void VigixScoreTest::json_objects_holdScoresFullPrecisionAndNulls()
{
    const RunResult run = runScorer({u"--json"_s, m_handPath, fixturePath(), m_emptyPath, m_oddPaths.first()});
    QVERIFY(run.finished);
    QCOMPARE(run.exitStatus, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 0);

    bool ok = false;
    const QJsonArray array = parseJsonArray(run.rawOut, ok);
    QVERIFY2(ok, qPrintable(run.out));
    QCOMPARE(array.size(), 4);
    const QList<ExpectedTest> expected{handScoredExpected(m_handPath), fixtureExpected(), emptyExpected(m_emptyPath),
                                       handScoredExpected(m_oddPaths.first())};
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QVERIFY(array.at(i).isObject());
        checkJsonObject(array.at(i).toObject(), expected.at(i));
        if (QTest::currentTestFailed())
            return;
    }

    // Full precision, not the two decimals of the table: 2000 / 3 and 749.5 exactly.
    const QJsonObject fixture = array.at(1).toObject();
    QVERIFY(std::abs(fixture.value(u"T_MeanRT"_s).toDouble() - 2000.0 / 3.0) < 1e-9);
    QCOMPARE(array.at(0).toObject().value(u"A_MeanRT"_s).toDouble(), 749.5);
}

void VigixScoreTest::json_timingSummary_onlyWhereOneIsStoredBeside()
{
    const QString folder = m_dir.filePath(u"timed"_s);
    QVERIFY(QDir().mkpath(folder));
    const QString timed = QDir(folder).filePath(u"1001.txt"_s);
    QFile::remove(timed);
    QVERIFY(QFile::copy(m_handPath, timed));
    QFile side(QDir(folder).filePath(u"1001.timing"_s));
    QVERIFY(side.open(QIODevice::WriteOnly));
    side.write("ticks=9050\nmedian_late_ms=0.120\np99_late_ms=2.500\nmax_late_ms=7.250\nskipped_ticks=0\n"
               "slowest_tick_ms=1.000\npresses=480\nslowest_press_ms=0.050\nui_priority=realtime 10 (RealtimeKit)\n");
    side.close();

    const RunResult run = runScorer({u"--json"_s, timed, m_emptyPath});
    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, 0);
    bool ok = false;
    const QJsonArray array = parseJsonArray(run.rawOut, ok);
    QVERIFY2(ok, qPrintable(run.out));
    const QJsonObject timing = array.at(0).toObject().value(u"timing"_s).toObject();
    QCOMPARE(timing.value(u"ticks"_s).toInt(), 9050);
    QCOMPARE(timing.value(u"p99_late_ms"_s).toDouble(), 2.5);
    QCOMPARE(timing.value(u"max_late_ms"_s).toDouble(), 7.25);
    QCOMPARE(timing.value(u"disturbed"_s).toBool(), true); // p99 over 2 ms
    QCOMPARE(timing.value(u"ui_priority"_s).toString(), u"realtime 10 (RealtimeKit)"_s);
    QVERIFY(timing.value(u"tick_priority"_s).isNull());
    QVERIFY(timing.value(u"disturbed_rounds"_s).toArray().isEmpty());
    QVERIFY(!array.at(1).toObject().contains(u"timing"_s));

    // The rounds disturbed by a slow machine; figures JSON cannot hold are null, so the output stays JSON.
    QVERIFY(side.open(QIODevice::WriteOnly | QIODevice::Truncate));
    side.write("ticks=9050\nmedian_late_ms=nan\np99_late_ms=0.500\nmax_late_ms=inf\nslipped_ms=352.250\n"
               "slowest_tick_ms=1.000\npresses=480\nslowest_press_ms=0.050\nevent_timed_presses=479\n"
               "max_event_gap_ms=12\ndisturbed_rounds=3,17,499\n");
    side.close();
    const RunResult second = runScorer({u"--json"_s, timed});
    QCOMPARE(second.exitCode, 0);
    const QJsonArray again = parseJsonArray(second.rawOut, ok);
    QVERIFY2(ok, qPrintable(second.out));
    const QJsonObject slipped = again.at(0).toObject().value(u"timing"_s).toObject();
    QVERIFY(slipped.value(u"median_late_ms"_s).isNull());
    QVERIFY(slipped.value(u"max_late_ms"_s).isNull());
    QCOMPARE(slipped.value(u"slipped_ms"_s).toDouble(), 352.25);
    QCOMPARE(slipped.value(u"event_timed_presses"_s).toInt(), 479);
    QCOMPARE(slipped.value(u"max_event_gap_ms"_s).toInt(), 12);
    QCOMPARE(slipped.value(u"disturbed_rounds"_s).toArray(), (QJsonArray{3, 17, 499}));
    QCOMPARE(slipped.value(u"disturbed"_s).toBool(), true);
}

void VigixScoreTest::json_japaneseNames_areWrittenAsUtf8()
{
    const RunResult run = runScorer({u"--json"_s, fixturePath(), m_handPath});
    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, 0);
    for (const QString &text : {u"髙橋　花子"_s, u"ﾀｶﾊｼ ﾊﾅｺ"_s, u"女"_s, u"鈴木　一郎"_s, u"ｽｽﾞｷ ｲﾁﾛｳ"_s, u"男"_s})
        QVERIFY2(run.rawOut.contains(text.toUtf8()), qPrintable(text));

    bool ok = false;
    const QJsonArray array = parseJsonArray(run.rawOut, ok);
    QVERIFY(ok);
    QCOMPARE(array.size(), 2);
    QCOMPARE(array.at(0).toObject().value(u"Shimei1"_s).toString(), u"髙橋　花子"_s);
    QCOMPARE(array.at(0).toObject().value(u"Shimei2"_s).toString(), u"ﾀｶﾊｼ ﾊﾅｺ"_s);
    QCOMPARE(array.at(1).toObject().value(u"Seibetsu"_s).toString(), u"男"_s);
}

void VigixScoreTest::severalFiles_missingAndDamaged_areNamedAndOthersScored_data()
{
    QTest::addColumn<QString>("option");
    QTest::newRow("table") << QString();
    QTest::newRow("csv") << u"--csv"_s;
    QTest::newRow("json") << u"--json"_s;
}

void VigixScoreTest::severalFiles_missingAndDamaged_areNamedAndOthersScored()
{
    QFETCH(QString, option);
    QStringList arguments{m_handPath, m_missingPath, m_damagedPath, fixturePath()};
    if (!option.isEmpty())
        arguments.prepend(option);
    const RunResult run = runScorer(arguments);
    QVERIFY(run.finished);
    QCOMPARE(run.exitStatus, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 1);

    QVERIFY2(run.err.contains(m_missingPath), qPrintable(run.err));
    QVERIFY2(run.err.contains(m_damagedPath), qPrintable(run.err));
    QVERIFY2(!run.out.contains(m_missingPath), qPrintable(run.out));
    QVERIFY2(!run.out.contains(m_damagedPath), qPrintable(run.out));

    if (option.isEmpty()) {
        // Two tables, the good files in the order given.
        const qsizetype hand = run.out.indexOf(m_handPath);
        const qsizetype fixture = run.out.indexOf(fixturePath());
        QVERIFY(hand >= 0 && fixture > hand);
        const QRegularExpression trials(u"^試行\\s"_s, QRegularExpression::MultilineOption);
        int tables = 0;
        for (QRegularExpressionMatchIterator it = trials.globalMatch(run.out); it.hasNext(); it.next())
            ++tables;
        QCOMPARE(tables, 2);
        checkTable(run.out.mid(fixture),
                   {{u"試行"_s, {{u"3"_s}, {u"2"_s}, {u"2"_s}, {u"7"_s}}},
                    {u"平均反応時間"_s, {{u"650.00"_s}, {u"-"_s}, {u"700.00"_s}, {u"666.67"_s}}}});
    } else if (option == u"--csv"_s) {
        QList<QStringList> records;
        QVERIFY2(parseCsv(run.out, records), qPrintable(run.out));
        QCOMPARE(records.size(), 3);
        QCOMPARE(records.at(0), expectedHeader());
        QCOMPARE(scoreColumns(records.at(1)), expectedCsvRow(handScoredExpected(m_handPath)));
        QCOMPARE(scoreColumns(records.at(2)), expectedCsvRow(fixtureExpected()));
    } else {
        bool ok = false;
        const QJsonArray array = parseJsonArray(run.rawOut, ok);
        QVERIFY2(ok, qPrintable(run.out));
        QCOMPARE(array.size(), 2);
        checkJsonObject(array.at(0).toObject(), handScoredExpected(m_handPath));
        checkJsonObject(array.at(1).toObject(), fixtureExpected());
    }
}

// Files that are no test at all among good ones: each is refused with one clean line naming it, the good ones are
// still scored, and nothing a terminal would act on (C0 or C1 control codes) reaches it.
void VigixScoreTest::severalFiles_notTests_refusedCleanlyAndOthersScored()
{
    const QString score = QString::fromUtf8(VIGIX_TEST_DATA) + u"/score/"_s;
    // A file whose very name would steer the terminal: clear the screen, set the title, and CSI as one C1 code.
    const QString escapeName = m_dir.filePath(u"\x1b[2J\x1b]0;x\x07\u009b1m.txt"_s);
    QFile named(escapeName);
    QVERIFY(named.open(QIODevice::WriteOnly));
    named.write(QByteArray(64, '\0'));
    named.close();
    const QStringList refused{score + u"empty.txt"_s,
                              score + u"nul.txt"_s,
                              score + u"random.txt"_s,
                              score + u"scores_csv.txt"_s,
                              escapeName,
                              score + u"escape_in_name.txt"_s,
                              score + u"stray_byte_in_round.txt"_s};

    const RunResult run = runScorer(QStringList{u"--csv"_s, m_handPath} + refused.mid(0, 4) +
                                    QStringList{fixturePath()} + refused.mid(4) + QStringList{m_emptyPath});
    QVERIFY(run.finished);
    QCOMPARE(run.exitStatus, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 1);

    // The test with no round is a test; the others are not rows at all.
    QList<QStringList> records;
    QVERIFY2(parseCsv(run.out, records), qPrintable(run.out));
    QCOMPARE(records.size(), 4);
    QCOMPARE(scoreColumns(records.at(1)), expectedCsvRow(handScoredExpected(m_handPath)));
    QCOMPARE(scoreColumns(records.at(2)), expectedCsvRow(fixtureExpected()));
    QCOMPARE(scoreColumns(records.at(3)), expectedCsvRow(emptyExpected(m_emptyPath)));

    for (const QChar c : run.err) {
        const char16_t u = c.unicode();
        QVERIFY2(u == u'\n' || (u >= 0x20 && (u < 0x7F || u > 0x9F)),
                 qPrintable(u"control code U+%1 in: %2"_s.arg(u, 4, 16, QChar(u'0')).arg(run.err.toHtmlEscaped())));
    }
    const QStringList lines = run.err.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), refused.size());
    for (qsizetype i = 0; i < refused.size(); ++i) {
        const QString shown = QString(refused.at(i))
                                  .replace(u"\x1b"_s, u"\\x1B"_s)
                                  .replace(u"\x07"_s, u"\\x07"_s)
                                  .replace(u"\u009b"_s, u"\\x9B"_s);
        QVERIFY2(lines.at(i).contains(shown), qPrintable(lines.at(i) + u" / "_s + shown));
    }
    // Not a test: the empty, binary and other files, whatever their name; a test with a damaged round line keeps
    // the reader's own message, naming the field.
    for (qsizetype i = 0; i < 6; ++i)
        QVERIFY2(lines.at(i).contains(u"検査のファイルではありません"_s), qPrintable(lines.at(i)));
    QVERIFY2(lines.at(6).contains(u"Ticks"_s) && !lines.at(6).contains(u"検査のファイルではありません"_s),
             qPrintable(lines.at(6)));
}

void VigixScoreTest::severalFiles_allGood_exitZero_data()
{
    QTest::addColumn<QString>("option");
    QTest::newRow("table") << QString();
    QTest::newRow("csv") << u"--csv"_s;
    QTest::newRow("json") << u"--json"_s;
}

void VigixScoreTest::severalFiles_allGood_exitZero()
{
    QFETCH(QString, option);
    QStringList arguments{m_handPath, fixturePath(), m_emptyPath};
    if (!option.isEmpty())
        arguments.prepend(option);
    const RunResult run = runScorer(arguments);
    QVERIFY(run.finished);
    QCOMPARE(run.exitStatus, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
    for (const QString &path : arguments.mid(option.isEmpty() ? 0 : 1))
        QVERIFY2(run.out.contains(path), qPrintable(path));
}

void VigixScoreTest::noFiles_printsUsageAndFails_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("nothing") << QStringList();
    QTest::newRow("csv only") << QStringList{u"--csv"_s};
    QTest::newRow("json only") << QStringList{u"--json"_s};
}

void VigixScoreTest::noFiles_printsUsageAndFails()
{
    QFETCH(QStringList, arguments);
    const RunResult run = runScorer(arguments);
    QVERIFY(run.finished);
    QCOMPARE(run.exitStatus, QProcess::NormalExit);
    QVERIFY(run.exitCode != 0);
    const QString both = run.out + run.err;
    QVERIFY2(both.contains(u"usage"_s, Qt::CaseInsensitive), qPrintable(both));
    QVERIFY2(both.contains(u"--csv"_s) && both.contains(u"--json"_s), qPrintable(both));
    // Nothing a script could take for results: no CSV header, no JSON array.
    QVERIFY2(!run.out.contains(u"Kensabangou"_s), qPrintable(run.out));
    QVERIFY2(!run.out.trimmed().startsWith(u'['), qPrintable(run.out));
}

QTEST_GUILESS_MAIN(VigixScoreTest)
#include "tst_vigix_score.moc"
