#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace vigix {

// How well the machine kept time during one test: how late each tick was handled against its deadline, the
// ticks skipped after stalls, and how long the user-interface thread took over a tick and over a press.
struct TTimingSummary
{
    // Above this p99 lateness, or with any tick skipped, the test's timing counts as disturbed.
    static constexpr double DisturbedP99Ms = 2.0;

    int Ticks = 0;
    double MedianLateMs = 0;
    double P99LateMs = 0;
    double MaxLateMs = 0;
    std::int64_t SkippedTicks = 0;
    double SlowestTickMs = 0; // handling of one tick on the user-interface thread
    int Presses = 0;
    double SlowestPressMs = 0; // handling of one press
    // The priority the user-interface thread and the tick thread obtained ("realtime 10 (direct)", "nice -11
    // (RealtimeKit)", "normal"); empty in a summary written before they were recorded.
    QString UiPriority;
    QString TickPriority;

    bool Disturbed() const { return P99LateMs > DisturbedP99Ms || SkippedTicks > 0; }
    // The card's line: "タイミング: 良好", or "タイミング: 乱れあり" with the figures.
    QString CardLine() const;

    // The side file's content: "key=value" lines in UTF-8.
    QByteArray Encode() const;
    // Empty for content that is not a timing summary.
    static std::optional<TTimingSummary> Decode(const QByteArray &content);
    bool operator==(const TTimingSummary &) const = default;
};

// Collects the figures of one test section; the user-interface thread is its only user.
class TTimingRecorder
{
public:
    TTimingRecorder();
    void Reset();
    void AddTick(double lateMs, double handlingMs);
    void SetSkippedTicks(std::int64_t skipped) { m_skipped = skipped; }
    void AddPress(double handlingMs);
    void SetPriorities(const QString &ui, const QString &tick);
    int Ticks() const { return static_cast<int>(m_lateness.size()); }
    TTimingSummary Summary() const;

private:
    std::vector<double> m_lateness;
    double m_slowestTick = 0;
    int m_presses = 0;
    double m_slowestPress = 0;
    std::int64_t m_skipped = 0;
    QString m_uiPriority;
    QString m_tickPriority;
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
