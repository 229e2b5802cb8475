#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

namespace vigix {

// How well the machine kept time during one test: how late each tick was handled against its deadline, how far
// the schedule slipped behind late frames, which rounds were disturbed, how long the user-interface thread took
// over a tick and over a press, and how many presses carried the window system's own time.
struct TTimingSummary
{
    // Above this p99 lateness, with any round disturbed, or with any tick skipped (older summaries), the test's
    // timing counts as disturbed.
    static constexpr double DisturbedP99Ms = 2.0;

    int Ticks = 0;
    double MedianLateMs = 0;
    double P99LateMs = 0;
    double MaxLateMs = 0;
    std::int64_t SkippedTicks = 0; // summaries of earlier versions, whose schedule skipped ticks after a stall
    double SlippedMs = 0;          // how far the schedule slipped behind late frames, in all
    double SlowestTickMs = 0;      // handling of one tick on the user-interface thread
    int Presses = 0;
    double SlowestPressMs = 0; // handling of one press
    int EventTimedPresses = 0; // presses timed by the window system's own time of the press
    int MaxEventGapMs = 0;     // the longest such press took from being made to being handled
    // Rounds whose onset came more than 5 ms late, whose stimulus stayed up too short or too long, or in which
    // the schedule slipped; ascending.
    QList<int> DisturbedRounds;
    // The priority the user-interface thread and the tick thread obtained ("realtime 10 (direct)", "nice -11
    // (RealtimeKit)", "normal"); empty in a summary written before they were recorded.
    QString UiPriority;
    QString TickPriority;

    bool Disturbed() const { return P99LateMs > DisturbedP99Ms || SkippedTicks > 0 || !DisturbedRounds.isEmpty(); }
    // The card's line: "タイミング: 良好", or "タイミング: 乱れあり" with its causes.
    QString CardLine() const;
    // Every figure, one per line, for the card's tool tip.
    QString Details() const;

    // The side file's content: "key=value" lines in UTF-8.
    QByteArray Encode() const;
    // Empty for content that is not a timing summary.
    static std::optional<TTimingSummary> Decode(const QByteArray &content);
    bool operator==(const TTimingSummary &) const = default;
};

// The side file beside a test: data folder + number + ".timing" (never "*.txt" nor "*.del").
QString TimingFilePath(const QString &dataFolder, const QString &number);
// The same beside a test file given by its path ("…/1001.txt" → "…/1001.timing").
QString TimingFilePathBeside(const QString &testFilePath);
// Writes the summary, replacing the file only once it is whole; owner-only. Raises EInOutError.
void WriteTimingSummary(const QString &path, const TTimingSummary &summary);
// The stored summary; empty when there is none (tests stored without one) or it cannot be read.
std::optional<TTimingSummary> ReadTimingSummary(const QString &path);

} // namespace vigix
