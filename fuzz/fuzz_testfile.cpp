// Feeds arbitrary bytes to the test file readers as a stored test "1001.txt", then to everything that shows a
// read test: scoring, the result texts, the measures, the child's history and the age. Damaged files must end
// in the records' own errors (EVigixError); anything else (a crash, a sanitizer report, another exception)
// stops the run. A file that reads and can be written again must read back the same.

#include "Age.h"
#include "Errors.h"
#include "FuzzSupport.h"
#include "History.h"
#include "Measures.h"
#include "ResultViews.h"
#include "Scoring.h"
#include "TestFile.h"
#include "TestStore.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>

using namespace Qt::StringLiterals;
using namespace vigix;

namespace {

const QString Number = u"1001"_s;
const QString CopyNumber = u"1002"_s;

bool sameRounds(const TTestFile &written, const TTestFile &readBack)
{
    if (written.RoundCount != readBack.RoundCount)
        return false;
    for (int i = 1; i <= written.RoundCount; ++i) {
        if (!fuzz::SameRoundReadBack(written.Rounds[i], readBack.Rounds[i]))
            return false;
    }
    return true;
}

// What the scoring promises of every read test, whatever its rounds hold.
void checkScores(const TTestFile &test)
{
    const TCulcResult &result = test.CulcResult;
    for (int k = 0; k < ResultKindCount; ++k)
        FUZZ_CHECK(result.Count[condT][k] == result.Count[condN][k] + result.Count[condA][k] + result.Count[condV][k]);
    FUZZ_CHECK(result.Count[condT][Total] <= test.RoundCount);
    FUZZ_CHECK(result.HitRT[condT].size() >= result.Count[condT][Hit]);
    for (int c = 0; c < ConditionCount; ++c) {
        FUZZ_CHECK(result.HitRT[c].size() >= result.Count[c][Hit]);
        FUZZ_CHECK((result.MeanRT[c] == -1) == result.HitRT[c].isEmpty());
        FUZZ_CHECK((result.SDRT[c] == -1) == (result.HitRT[c].size() < 2));
        // A hit is a first response inside the valid window.
        for (double rt : result.HitRT[c])
            FUZZ_CHECK(rt >= ValidRTMin && rt <= ValidRTMax);
    }
}

// Everything the results window, the report and the charts compute from a scored test.
void showResults(const TTestFile &test)
{
    const TCulcResult &result = test.CulcResult;
    for (int i = 1; i <= test.RoundCount; ++i)
        (void)JudgeRound(test.Rounds[i]);
    for (int c = 0; c < ConditionCount; ++c) {
        const auto condition = static_cast<TCondition>(c);
        const TConditionTexts texts = ConditionTexts(result, condition);
        FUZZ_CHECK(texts.Total == QString::number(result.Count[c][Total]));
        FUZZ_CHECK(!texts.Mean.isEmpty() && !texts.SD.isEmpty());
        for (std::size_t row = 0; row < ErrorRows.size(); ++row)
            FUZZ_CHECK(texts.Percents[row].isEmpty() == (result.Count[c][Total] == 0));
        for (int k = 0; k < ResultKindCount; ++k) {
            (void)FormatPercent(result.Count[c][k], result.Count[c][Total]);
            FUZZ_CHECK(LevelBar(result.Count[c][k], result.Count[c][Total]).size() <= 11);
        }
        (void)FormatRT(result.MeanRT[c]);
        (void)FormatRT(result.SDRT[c]);
        FUZZ_CHECK(TrendPoints(result.HitRT[c]).size() == result.HitRT[c].size());
        FUZZ_CHECK(TrendMeanLine(result.HitRT[c]).size() == (result.HitRT[c].isEmpty() ? 0 : 2));
        FUZZ_CHECK(DistributionBars(result.HitRT[c]).size() == LastBarBin - FirstBarBin + 1);
        (void)RTDistribution(result.HitRT[c]);
        const QList<TErrorSlice> slices = ErrorSlices(result, condition);
        FUZZ_CHECK(slices.size() == int(ErrorRows.size()));
        for (qsizetype s = 1; s < slices.size(); ++s)
            FUZZ_CHECK(slices[s - 1].Count <= slices[s].Count);
        for (const TErrorSlice &slice : slices)
            FUZZ_CHECK(slice.Percent >= 0 && slice.Percent <= 100 && !ErrorLabel(slice.Kind).isEmpty());
    }
    for (const QString &bar : ErrorLevelBars(result))
        FUZZ_CHECK(bar.size() <= 11);

    const std::array<TConditionMeasures, ConditionCount> measures = Measures(test);
    for (int c = 0; c < ConditionCount; ++c) {
        // d' exists exactly for the conditions with rounds, and the log-linear rates keep it finite.
        FUZZ_CHECK(measures[c].DPrime.has_value() == (result.Count[c][Total] > 0));
        if (measures[c].DPrime)
            FUZZ_CHECK(std::isfinite(*measures[c].DPrime));
    }
}

void showAge(const TTestInfo &info)
{
    try {
        (void)AgeAtTest(info.Seinengappi1, info.Seinengappi2, info.Kensanichiji);
    } catch (const EConvertError &) {
        // A date-time that is not "yyyy/MM/...": the windows show no age.
    }
}

// The history of the child, over the data folder that holds the fuzzed test (and its copy, when written).
void showHistory(const QString &folder, const TTestFile &test, bool readable)
{
    QStringList unreadable;
    TTestStore store;
    store.Open(folder);
    // The list has a row for the test whatever it holds: its subject record, or why it is no test (empty, control
    // bytes), naming the file.
    bool rowReadable = false;
    for (const TStoredTest &row : store.Tests()) {
        if (row.Number != Number)
            continue;
        rowReadable = row.Readable();
        FUZZ_CHECK(rowReadable ? row.Info == test.Info : row.Error.contains(Number + u".txt"_s));
    }
    readable = readable && rowReadable;
    const QList<THistoryEntry> history = ChildHistory(store, test.Info, &unreadable);
    bool listed = false;
    for (const THistoryEntry &entry : history) {
        FUZZ_CHECK(HistoryColumn(entry).size() == HistoryRowCount);
        if (entry.Number != Number)
            continue;
        listed = true;
        FUZZ_CHECK(entry.Rounds == test.RoundCount);
        FUZZ_CHECK(entry.MeanRT == test.CulcResult.MeanRT[condT]);
        FUZZ_CHECK(entry.SDRT == test.CulcResult.SDRT[condT]);
    }
    // The test is the same child as itself: either it is in the history or it is named as unreadable.
    FUZZ_CHECK(listed == readable);
    FUZZ_CHECK(readable || !unreadable.isEmpty());
    for (int row = 0; row < HistoryRowCount; ++row)
        FUZZ_CHECK(!HistoryRowHeading(static_cast<THistoryRow>(row)).isEmpty());
}

// A test that was read and that the writer accepts must read back as it was: same subject record, same rounds.
// The writer refuses what the file cannot hold (",", quotes, line ends, characters outside code page 932), so
// only fields that can come back unchanged are ever written.
void checkRewrite(const QString &folder, const TTestFile &test)
{
    try {
        test.WriteFile(folder, CopyNumber);
    } catch (const EConvertError &) {
        return;
    }
    auto copy = std::make_unique<TTestFile>();
    copy->ReadFile(folder, CopyNumber);
    FUZZ_CHECK(copy->Info == test.Info);
    FUZZ_CHECK(sameRounds(test, *copy));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString &folder = fuzz::DataFolder();
    fuzz::EmptyFolder(folder);
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    fuzz::WriteOwnerOnlyFile(TTestFile::TestFilePath(folder, Number), bytes);

    // The list of tests reads only the subject line; the readers must agree on it with the whole file's reader.
    auto test = std::make_unique<TTestFile>();
    test->ReadInfo(folder, Number); // the file exists and is readable: no error is expected here
    const TTestInfo firstLine = test->Info;
    showAge(firstLine);

    bool readable = true;
    try {
        test->ReadFile(folder, Number);
    } catch (const EConvertError &) {
        readable = false;
        // A damaged round line leaves the count of rounds as it was.
        FUZZ_CHECK(test->RoundCount == 0);
    }
    FUZZ_CHECK(test->Info == firstLine);

    if (readable) {
        FUZZ_CHECK(test->RoundCount >= 0 && test->RoundCount <= TTestFile::MaxRounds);
        test->Culc();
        checkScores(*test);
        showResults(*test);
        checkRewrite(folder, *test);
    }
    showHistory(folder, *test, readable);
    return 0;
}
