#include "TimingSummary.h"

#include "Errors.h"
#include "SafeFile.h"
#include "TestFile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

QString figure(double ms)
{
    return QString::number(ms, 'f', 1);
}

// "realtime 10 (direct)" as the card says it, briefly: "RT 10".
QString priorityForCard(const QString &stored)
{
    const QStringList words = stored.split(u' ');
    if (words.value(0) == u"realtime"_s)
        return u"RT "_s + words.value(1);
    if (words.value(0) == u"nice"_s)
        return u"nice "_s + words.value(1);
    return u"通常"_s;
}

} // namespace

QString TTimingSummary::CardLine() const
{
    QString line;
    if (!Disturbed()) {
        line = u"タイミング: 良好"_s;
    } else {
        // Only the causes, so that the line fits the card; the tool tip has every figure.
        QStringList causes;
        if (P99LateMs > DisturbedP99Ms)
            causes << u"遅れ p99 %1 ms・最大 %2 ms"_s.arg(figure(P99LateMs), figure(MaxLateMs));
        if (SkippedTicks > 0)
            causes << u"欠落 %1 ティック"_s.arg(SkippedTicks);
        if (!DisturbedRounds.isEmpty())
            causes << u"乱れた試行 %1"_s.arg(DisturbedRounds.size());
        line = u"タイミング: 乱れあり（%1）"_s.arg(causes.join(u'、'));
    }
    // The priority the two threads got; where they differ, the user-interface thread's first.
    if (!UiPriority.isEmpty() || !TickPriority.isEmpty()) {
        const QString ui = priorityForCard(UiPriority);
        const QString tick = priorityForCard(TickPriority);
        line += u"・優先度 "_s + (ui == tick ? ui : ui + u'/' + tick);
    }
    return line;
}

QString TTimingSummary::Details() const
{
    QStringList lines;
    lines << u"ティックの遅れ: 中央値 %1 ms・p99 %2 ms・最大 %3 ms（%4 ティック）"_s
                 .arg(QString::number(MedianLateMs, 'f', 2), QString::number(P99LateMs, 'f', 2),
                      QString::number(MaxLateMs, 'f', 2))
                 .arg(Ticks);
    if (SkippedTicks > 0)
        lines << u"欠落したティック: %1"_s.arg(SkippedTicks);
    lines << u"予定のずれ: %1 ms"_s.arg(figure(SlippedMs));
    if (!DisturbedRounds.isEmpty()) {
        QStringList rounds;
        for (int round : DisturbedRounds)
            rounds << QString::number(round);
        lines << u"乱れた試行: %1"_s.arg(rounds.join(u", "_s));
    }
    lines << u"押下の時刻: ウィンドウシステムの時刻 %1 / %2 回（最大の差 %3 ms）"_s.arg(EventTimedPresses)
                 .arg(Presses)
                 .arg(MaxEventGapMs);
    if (!UiPriority.isEmpty() || !TickPriority.isEmpty())
        lines << u"画面のスレッド: %1"_s.arg(UiPriority) << u"ティックのスレッド: %1"_s.arg(TickPriority);
    return lines.join(u'\n');
}

QByteArray TTimingSummary::Encode() const
{
    QString text;
    text += u"ticks=%1\n"_s.arg(Ticks);
    text += u"median_late_ms=%1\n"_s.arg(MedianLateMs, 0, 'f', 3);
    text += u"p99_late_ms=%1\n"_s.arg(P99LateMs, 0, 'f', 3);
    text += u"max_late_ms=%1\n"_s.arg(MaxLateMs, 0, 'f', 3);
    if (SkippedTicks > 0)
        text += u"skipped_ticks=%1\n"_s.arg(SkippedTicks);
    text += u"slipped_ms=%1\n"_s.arg(SlippedMs, 0, 'f', 3);
    text += u"slowest_tick_ms=%1\n"_s.arg(SlowestTickMs, 0, 'f', 3);
    text += u"presses=%1\n"_s.arg(Presses);
    text += u"slowest_press_ms=%1\n"_s.arg(SlowestPressMs, 0, 'f', 3);
    text += u"event_timed_presses=%1\n"_s.arg(EventTimedPresses);
    text += u"max_event_gap_ms=%1\n"_s.arg(MaxEventGapMs);
    QStringList rounds;
    for (int round : DisturbedRounds)
        rounds.append(QString::number(round));
    text += u"disturbed_rounds=%1\n"_s.arg(rounds.join(u','));
    if (!UiPriority.isEmpty())
        text += u"ui_priority=%1\n"_s.arg(UiPriority);
    if (!TickPriority.isEmpty())
        text += u"tick_priority=%1\n"_s.arg(TickPriority);
    return text.toUtf8();
}

std::optional<TTimingSummary> TTimingSummary::Decode(const QByteArray &content)
{
    TTimingSummary summary;
    int found = 0;
    for (const QByteArray &line : content.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed();
        bool ok = false;
        if (key == "ticks")
            summary.Ticks = value.toInt(&ok);
        else if (key == "median_late_ms")
            summary.MedianLateMs = value.toDouble(&ok);
        else if (key == "p99_late_ms")
            summary.P99LateMs = value.toDouble(&ok);
        else if (key == "max_late_ms")
            summary.MaxLateMs = value.toDouble(&ok);
        else if (key == "skipped_ticks")
            summary.SkippedTicks = value.toLongLong(&ok);
        else if (key == "slipped_ms")
            summary.SlippedMs = value.toDouble(&ok);
        else if (key == "event_timed_presses")
            summary.EventTimedPresses = value.toInt(&ok);
        else if (key == "max_event_gap_ms")
            summary.MaxEventGapMs = value.toInt(&ok);
        else if (key == "disturbed_rounds") {
            for (const QByteArray &round : value.split(',')) {
                if (round.isEmpty())
                    continue;
                summary.DisturbedRounds.append(round.toInt(&ok));
                if (!ok)
                    return std::nullopt;
            }
            continue;
        } else if (key == "slowest_tick_ms")
            summary.SlowestTickMs = value.toDouble(&ok);
        else if (key == "presses")
            summary.Presses = value.toInt(&ok);
        else if (key == "slowest_press_ms")
            summary.SlowestPressMs = value.toDouble(&ok);
        else if (key == "ui_priority" || key == "tick_priority") {
            (key == "ui_priority" ? summary.UiPriority : summary.TickPriority) = QString::fromUtf8(value);
            continue; // a text, and not needed for the verdict
        } else
            continue; // a key of a later version
        if (!ok)
            return std::nullopt;
        ++found;
    }
    // The verdict needs the lateness figures at least, and the skipped ticks or the slip.
    if (found < 8)
        return std::nullopt;
    return summary;
}

QString TimingFilePath(const QString &dataFolder, const QString &number)
{
    return TTestFile::DataFolderFile(dataFolder, number + u".timing"_s);
}

QString TimingFilePathBeside(const QString &testFilePath)
{
    const QFileInfo file(testFilePath);
    return TTestFile::DataFolderFile(file.path(), file.completeBaseName() + u".timing"_s);
}

void WriteTimingSummary(const QString &path, const TTimingSummary &summary)
{
    SaveFileSafely(path, summary.Encode()); // beside patient data: owner-only, never through a link
}

std::optional<TTimingSummary> ReadTimingSummary(const QString &path)
{
    QFile file;
    try {
        OpenForReading(file, path);
    } catch (const EInOutError &) {
        return std::nullopt;
    }
    // A summary is a few hundred bytes; anything much larger is not one.
    return TTimingSummary::Decode(file.read(64 * 1024));
}

} // namespace vigix
