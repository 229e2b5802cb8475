#include "ScoreExport.h"

#include "Measures.h"
#include "TimingSummary.h"

#include "Scoring.h"

#include <QLocale>

#include <cmath>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

struct ConditionColumn
{
    TCondition condition;
    const char16_t *letter;
    const char16_t *heading;
};

// Export order T, N, A, V; the table shows N, A, V and then the total.
constexpr ConditionColumn ExportOrder[] = {
    {condT, u"T", u"総計"}, {condN, u"N", u"ノイズなし"}, {condA, u"A", u"聴覚ノイズ"}, {condV, u"V", u"視覚ノイズ"}};
constexpr ConditionColumn TableOrder[] = {
    {condN, u"N", u"ノイズなし"}, {condA, u"A", u"聴覚ノイズ"}, {condV, u"V", u"視覚ノイズ"}, {condT, u"T", u"総計"}};

struct KindColumn
{
    TResultKind kind;
    const char16_t *name;
};
constexpr KindColumn ExportedKinds[] = {{Total, u"Total"}, {Hit, u"Hit"},     {CorrectReject, u"CorrectReject"},
                                        {E_COM, u"E_COM"}, {E_OMI, u"E_OMI"}, {E_MUL, u"E_MUL"},
                                        {E_INV, u"E_INV"}};

QString jsonNumber(double value)
{
    // JSON has no NaN nor infinity (a damaged side file may hold them).
    if (!std::isfinite(value))
        return u"null"_s;
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

// -1 marks a missing mean or deviation: empty in CSV, null in JSON.
ScoreField rtField(const QString &name, double value)
{
    if (value == -1)
        return {name, QString(), u"null"_s};
    return {name, QString::number(value, 'f', 2), jsonNumber(value)};
}

// A measure: four decimals in CSV, full precision in JSON; empty and null when missing.
ScoreField measureField(const QString &name, const std::optional<double> &value)
{
    if (!value || !std::isfinite(*value))
        return {name, QString(), u"null"_s};
    return {name, QString::number(*value, 'f', 4), jsonNumber(*value)};
}

ScoreField textField(const QString &name, const QString &value)
{
    return {name, value, JsonString(value)};
}

ScoreField intField(const QString &name, int value)
{
    return {name, QString::number(value), QString::number(value)};
}

// Width of a text in a terminal: East Asian wide and full-width characters take two columns.
int displayWidth(const QString &text)
{
    int width = 0;
    for (char32_t c : text.toUcs4()) {
        const bool halfWidthKana = c >= 0xFF61 && c <= 0xFF9F;
        const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                          (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                          (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                          (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD) || c == 0x25A0;
        width += (wide && !halfWidthKana) ? 2 : 1;
    }
    return width;
}

QString padRight(const QString &text, int width)
{
    return text + QString(std::max(0, width - displayWidth(text)), u' ');
}

QString padLeft(const QString &text, int width)
{
    return QString(std::max(0, width - displayWidth(text)), u' ') + text;
}

} // namespace

QStringList ScoreFieldNames()
{
    QStringList names;
    for (const ScoreField &field : ScoreFields(QString(), TTestFile()))
        names.append(field.name);
    return names;
}

QList<ScoreField> ScoreFields(const QString &file, const TTestFile &scored)
{
    const TTestInfo &info = scored.Info;
    const TCulcResult &result = scored.CulcResult;
    QList<ScoreField> fields{
        textField(u"file"_s, file),
        textField(u"Kensabangou"_s, info.Kensabangou),
        textField(u"Kensanichiji"_s, info.Kensanichiji),
        textField(u"Shimei1"_s, info.Shimei1),
        textField(u"Shimei2"_s, info.Shimei2),
        textField(u"Seinengappi1"_s, info.Seinengappi1),
        textField(u"Seinengappi2"_s, info.Seinengappi2),
        textField(u"Seinengappi3"_s, info.Seinengappi3),
        textField(u"Seibetsu"_s, info.Seibetsu),
        intField(u"RoundCount"_s, scored.RoundCount),
    };
    for (const ConditionColumn &column : ExportOrder) {
        const QString prefix = QString::fromUtf16(column.letter) + u'_';
        for (const KindColumn &kind : ExportedKinds)
            fields.append(intField(prefix + QString::fromUtf16(kind.name), result.Count[column.condition][kind.kind]));
        fields.append(rtField(prefix + u"MeanRT"_s, result.MeanRT[column.condition]));
        fields.append(rtField(prefix + u"SDRT"_s, result.SDRT[column.condition]));
    }
    // The signal-detection and time-on-task measures come after every column above, which keep their places.
    const std::array<TConditionMeasures, ConditionCount> measures = Measures(scored);
    for (const ConditionColumn &column : ExportOrder) {
        const QString prefix = QString::fromUtf16(column.letter) + u'_';
        const TConditionMeasures &m = measures[column.condition];
        fields.append(measureField(prefix + u"dprime"_s, m.DPrime));
        fields.append(measureField(prefix + u"beta"_s, m.Beta));
        for (int q = 0; q < 4; ++q) {
            const QString quarter = prefix + u"Q%1_"_s.arg(q + 1);
            fields.append(measureField(quarter + u"MeanRT"_s, m.QuarterMeanRT[q]));
            fields.append(intField(quarter + u"E_OMI"_s, m.QuarterOmissions[q]));
            fields.append(intField(quarter + u"E_COM"_s, m.QuarterCommissions[q]));
        }
        fields.append(measureField(prefix + u"RTSlope"_s, m.RTSlope));
        fields.append(measureField(prefix + u"COM_MeanRT"_s, m.CommissionMeanRT));
        fields.append(measureField(prefix + u"CV"_s, m.CV));
    }
    return fields;
}

QList<ScoreField> HitRTFields(const TTestFile &scored)
{
    QList<ScoreField> fields;
    for (const ConditionColumn &column : ExportOrder) {
        QStringList values;
        for (double x : scored.CulcResult.HitRT[column.condition])
            values.append(jsonNumber(x));
        fields.append({QString::fromUtf16(column.letter) + u"_HitRT"_s, QString(), u'[' + values.join(u", "_s) + u']'});
    }
    return fields;
}

QList<ScoreField> TimingFields(const QString &testFilePath)
{
    const std::optional<TTimingSummary> timing = ReadTimingSummary(TimingFilePathBeside(testFilePath));
    if (!timing)
        return {};
    QStringList rounds;
    for (int round : timing->DisturbedRounds)
        rounds.append(QString::number(round));
    const QList<ScoreField> members{
        {u"ticks"_s, QString(), QString::number(timing->Ticks)},
        {u"median_late_ms"_s, QString(), jsonNumber(timing->MedianLateMs)},
        {u"p99_late_ms"_s, QString(), jsonNumber(timing->P99LateMs)},
        {u"max_late_ms"_s, QString(), jsonNumber(timing->MaxLateMs)},
        {u"skipped_ticks"_s, QString(), QString::number(timing->SkippedTicks)},
        {u"slipped_ms"_s, QString(), jsonNumber(timing->SlippedMs)},
        {u"slowest_tick_ms"_s, QString(), jsonNumber(timing->SlowestTickMs)},
        {u"presses"_s, QString(), QString::number(timing->Presses)},
        {u"slowest_press_ms"_s, QString(), jsonNumber(timing->SlowestPressMs)},
        {u"event_timed_presses"_s, QString(), QString::number(timing->EventTimedPresses)},
        {u"max_event_gap_ms"_s, QString(), QString::number(timing->MaxEventGapMs)},
        {u"disturbed_rounds"_s, QString(), u'[' + rounds.join(u", "_s) + u']'},
        {u"disturbed"_s, QString(), timing->Disturbed() ? u"true"_s : u"false"_s},
        // What the two threads obtained; null in a summary written before it was recorded.
        {u"ui_priority"_s, QString(), timing->UiPriority.isEmpty() ? u"null"_s : JsonString(timing->UiPriority)},
        {u"tick_priority"_s, QString(), timing->TickPriority.isEmpty() ? u"null"_s : JsonString(timing->TickPriority)},
    };
    return {{u"timing"_s, QString(), JsonObject(members)}};
}

QString CsvRecord(const QStringList &fields)
{
    QStringList quoted;
    quoted.reserve(fields.size());
    for (const QString &field : fields) {
        const bool needsQuotes =
            field.contains(u',') || field.contains(u'"') || field.contains(u'\r') || field.contains(u'\n');
        if (needsQuotes)
            quoted.append(u'"' + QString(field).replace(u"\""_s, u"\"\""_s) + u'"');
        else
            quoted.append(field);
    }
    return quoted.join(u',') + u"\r\n"_s;
}

QString JsonString(const QString &text)
{
    QString out = u"\""_s;
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'"':
            out += u"\\\""_s;
            break;
        case u'\\':
            out += u"\\\\"_s;
            break;
        case u'\n':
            out += u"\\n"_s;
            break;
        case u'\r':
            out += u"\\r"_s;
            break;
        case u'\t':
            out += u"\\t"_s;
            break;
        default:
            if (c.unicode() < 0x20)
                out += u"\\u%1"_s.arg(static_cast<uint>(c.unicode()), 4, 16, QChar(u'0'));
            else
                out += c;
        }
    }
    return out + u'"';
}

QString JsonObject(const QList<ScoreField> &fields)
{
    QStringList members;
    members.reserve(fields.size());
    for (const ScoreField &field : fields)
        members.append(JsonString(field.name) + u": "_s + field.json);
    return u"{"_s + members.join(u", "_s) + u'}';
}

QString ResultsTableText(const TTestFile &scored)
{
    constexpr int HeadWidth = 14;
    constexpr int CellWidth = 18;
    const TCulcResult &result = scored.CulcResult;

    QString text = padRight(QString(), HeadWidth);
    for (const ConditionColumn &column : TableOrder)
        text += padLeft(QString::fromUtf16(column.heading), CellWidth);
    text += u'\n';

    auto row = [&](const QString &heading, auto cell) {
        text += padRight(heading, HeadWidth);
        for (const ConditionColumn &column : TableOrder)
            text += padLeft(cell(column.condition), CellWidth);
        text += u'\n';
    };
    auto errorRow = [&](const QString &heading, TResultKind kind) {
        row(heading, [&](TCondition c) {
            const int count = result.Count[c][kind];
            const QString percent = FormatPercent(count, result.Count[c][Total]);
            return percent.isEmpty() ? QString::number(count) : QString::number(count) + u' ' + percent;
        });
    };

    row(u"試行"_s, [&](TCondition c) { return QString::number(result.Count[c][Total]); });
    errorRow(u"無反応エラー"_s, E_OMI);
    errorRow(u"誤反応エラー"_s, E_COM);
    errorRow(u"多発反応エラー"_s, E_MUL);
    errorRow(u"予期反応エラー"_s, E_INV);
    row(u"平均反応時間"_s, [&](TCondition c) { return FormatRT(result.MeanRT[c]); });
    row(u"反応時間 SD"_s, [&](TCondition c) { return FormatRT(result.SDRT[c]); });
    return text;
}

} // namespace vigix
