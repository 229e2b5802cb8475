// bench_records: how long the records take on the paths the examiner waits for.
//
//  - ReadFile + Culc of one 500-round test: every results view does this each time it is refilled.
//  - ReadInfo of every test in a data folder of 10,000 tests: the main window's list fill at start-up.
//  - NextTestNumber on that folder: Step 3 asks for it before the entry window opens.
//  - WriteFile of one 500-round test, for reference: the test section stores it when the examiner ends the test.
//
// The figures are printed beside their targets and never judged: timing depends on the machine, so this is not a
// test and is not registered with ctest. The folder is built in a temporary directory and read warm, as it is
// right after the program has stored a test.

#include "DataFolder.h"
#include "Errors.h"
#include "Random.h"
#include "Statistics.h"
#include "TestFile.h"
#include "TestStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;
using namespace vigix;
using namespace vigix::bench;

namespace {

constexpr std::uint32_t ScheduleSeed = 20240517;
constexpr std::uint32_t ResponseSeed = 7;
constexpr int ReadFileRuns = 2000;
constexpr int FolderTests = 10000;
constexpr int FolderRuns = 7;
constexpr int WriteFileRuns = 50;
constexpr double ReadFileTargetUs = 200.0;
constexpr double FolderTargetMs = 300.0;

using Clock = std::chrono::steady_clock;

double elapsedUs(Clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// Keeps the optimiser from dropping work whose result is otherwise unused.
volatile long long g_sink = 0;

// A full test as a child produces it: the generator's schedule, most circles answered in the valid window, a few
// early, late or doubled presses, a few crosses answered.
std::unique_ptr<TTestFile> makeRecordedTest()
{
    auto test = std::make_unique<TTestFile>();
    TRandom schedule(ScheduleSeed);
    test->MakeTestRounds(schedule);
    test->RoundCount = TTestFile::TestRounds;

    TRandom responses(ResponseSeed);
    for (int i = 1; i <= test->RoundCount; ++i) {
        TRoundInfo &round = test->Rounds[i];
        const bool circle = round.Target == u"T"_s;
        const bool pressed = responses.Random(100) < (circle ? 90 : 12);
        if (!pressed)
            continue;
        const int kind = responses.Random(100);
        round.RT[1] = kind < 4   ? 80 + responses.Random(170)
                      : kind < 6 ? 1250 + responses.Random(300)
                                 : 250 + responses.Random(700);
        round.Button[1] = 1 + responses.Random(2);
        if (responses.Random(100) < 8) {
            round.RT[2] = round.RT[1] + 150 + responses.Random(300);
            round.Button[2] = 1 + responses.Random(2);
        }
    }

    TTestInfo &info = test->Info;
    info.Kensabangou = u"1001"_s;
    info.Kensanichiji = u"2024/05/17 10:30:00"_s;
    info.Shimei1 = u"鈴木　一郎"_s;
    info.Shimei2 = u"ｽｽﾞｷ ｲﾁﾛｳ"_s;
    info.Seinengappi1 = u"2015"_s;
    info.Seinengappi2 = u"4"_s;
    info.Seinengappi3 = u"9"_s;
    info.Seibetsu = u"男"_s;
    info.Shindanmei = u"ＡＤＨＤ（混合型）"_s;
    info.Ritarin = u"１～２時間"_s;
    info.Kenzya = u"検査者"_s;
    for (int k = 1; k <= 18; ++k)
        info.ADHD[k] = QString::number(k % 4);
    for (int k = 1; k <= 12; ++k)
        info.PDD[k] = QString::number(k % 2);
    return test;
}

void printFigure(const char *what, double value, const char *unit, double target, const QString &detail)
{
    const bool within = value < target;
    std::printf("%-44s %9.1f %s   target < %.0f %s, %s (%s)\n", what, value, unit, target, unit,
                within ? "met" : "NOT MET", qPrintable(detail));
}

double benchReadFileCulc(const QString &folder)
{
    std::vector<double> runs;
    runs.reserve(ReadFileRuns);
    for (int run = -20; run < ReadFileRuns; ++run) { // the first 20 warm the caches and are dropped
        auto test = std::make_unique<TTestFile>();
        const Clock::time_point start = Clock::now();
        test->ReadFile(folder, u"1001"_s);
        test->Culc();
        const double us = elapsedUs(start);
        g_sink = g_sink + test->CulcResult.Count[condT][Hit];
        if (run >= 0)
            runs.push_back(us);
    }
    return Median(runs);
}

// Fills the folder with FolderTests full tests, numbered from 1001 without gaps. The bytes are the writer's own,
// encoded once; only the test number at the start of line 1 differs from file to file.
void buildFolder(const QString &folder, const TTestFile &test)
{
    const QByteArray bytes = test.Encode(TTestFile::TestFilePath(folder, test.Info.Kensabangou));
    const QByteArray afterNumber = bytes.mid(test.Info.Kensabangou.size());
    for (int n = 1001; n < 1001 + FolderTests; ++n) {
        const QString number = QString::number(n);
        QFile file(TTestFile::TestFilePath(folder, number));
        if (!file.open(QIODevice::WriteOnly) || file.write(number.toLatin1() + afterNumber) < 0)
            throw EInOutError(u"cannot write %1"_s.arg(file.fileName()));
    }
}

double benchWriteFile(const QString &folder, const TTestFile &test)
{
    std::vector<double> runs;
    for (int run = 0; run < WriteFileRuns; ++run) {
        const Clock::time_point start = Clock::now();
        test.WriteFile(folder, test.Info.Kensabangou);
        runs.push_back(elapsedUs(start) / 1000.0);
    }
    return Median(runs);
}

// What the main window's list fill does: list "*.txt", then read line 1 of each into one scratch object.
double benchListFill(const QString &folder, int &listed)
{
    std::vector<double> runs;
    for (int run = 0; run < FolderRuns; ++run) {
        TTestFile scratch;
        QStringList captions;
        const Clock::time_point start = Clock::now();
        const QStringList names =
            QDir(folder).entryList({u"*.txt"_s}, QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
        for (const QString &name : names) {
            const QString number = name.chopped(4);
            scratch.ReadInfo(folder, number);
            captions.append(scratch.Info.Shimei1);
        }
        runs.push_back(elapsedUs(start) / 1000.0);
        listed = static_cast<int>(names.size());
        g_sink = g_sink + captions.size();
    }
    return Median(runs);
}

double benchNextTestNumber(const QString &folder, int &next)
{
    std::vector<double> runs;
    TTestStore store;
    store.Open(folder);
    for (int run = 0; run < FolderRuns; ++run) {
        const Clock::time_point start = Clock::now();
        next = store.NextTestNumber();
        runs.push_back(elapsedUs(start) / 1000.0);
    }
    return Median(runs);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
#ifndef NDEBUG
    std::printf("note: built without optimisation; use the default (RelWithDebInfo) preset for real figures\n");
#endif

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "bench_records: cannot create a temporary folder\n");
        return 1;
    }

    try {
        std::unique_ptr<TTestFile> test = makeRecordedTest();

        const QString single = dir.filePath(u"single"_s);
        EnsureDataFolder(single);
        test->WriteFile(single, u"1001"_s);
        const double readFileUs = benchReadFileCulc(single);
        printFigure("ReadFile + Culc, 500-round test", readFileUs, "us", ReadFileTargetUs,
                    u"median of %1 runs"_s.arg(ReadFileRuns));

        std::printf("%-44s %9.1f ms   no target (median of %d runs)\n", "WriteFile, 500-round test",
                    benchWriteFile(single, *test), WriteFileRuns);

        const QString folder = dir.filePath(u"folder"_s);
        EnsureDataFolder(folder);
        buildFolder(folder, *test);

        int listed = 0;
        const double listMs = benchListFill(folder, listed);
        printFigure("List + ReadInfo of every test in the folder", listMs, "ms", FolderTargetMs,
                    u"%1 files, median of %2 runs"_s.arg(listed).arg(FolderRuns));

        int next = 0;
        const double nextMs = benchNextTestNumber(folder, next);
        std::printf("%-44s %9.1f ms   no target (returns %d, median of %d runs)\n", "NextTestNumber on that folder",
                    nextMs, next, FolderRuns);
    } catch (const EVigixError &error) {
        std::fprintf(stderr, "bench_records: %s\n", qPrintable(error.message()));
        return 1;
    }
    return 0;
}
