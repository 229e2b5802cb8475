#pragma once

#include "TestFile.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace vigix {

// One column of a scored test as the scorer exports it: its name, its CSV text and its JSON literal.
struct ScoreField
{
    QString name;
    QString csv;
    QString json;
};

// The columns of one scored test (Culc must have run), in export order. The order and the names are a
// stable interface: researchers' scripts read them.
QList<ScoreField> ScoreFields(const QString &file, const TTestFile &scored);
// The four lists of hit reaction times (T_HitRT, N_HitRT, A_HitRT, V_HitRT), for JSON only.
QList<ScoreField> HitRTFields(const TTestFile &scored);
// The timing summary stored beside the test file, as one JSON field "timing"; nothing when there is none.
QList<ScoreField> TimingFields(const QString &testFilePath);
// The column names alone, for the CSV header.
QStringList ScoreFieldNames();

// One CSV record with RFC 4180 quoting, ending in CR LF.
QString CsvRecord(const QStringList &fields);
// One JSON object of the fields, on one line.
QString JsonObject(const QList<ScoreField> &fields);
// A JSON string literal.
QString JsonString(const QString &text);

// The results table as text: rows 試行 .. 反応時間 SD, columns ノイズなし .. 総計.
QString ResultsTableText(const TTestFile &scored);

} // namespace vigix
