#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QIODevice;

namespace vigix {

// The outcome of writing the scores of many tests.
struct TScoreCsvResult
{
    bool Cancelled = false;
    int Written = 0;
    QStringList Failures; // one message per test that could not be read; the others are written
};

class TTestFile;

// Reads test number `index` of the export into test; null: from its path. Raises the records' EVigixError.
using TTestReader = std::function<void(TTestFile &test, qsizetype index)>;

// Writes the scores of the test files as vigix-score --csv does (header, then one record per test), in
// UTF-8 with a byte-order mark so that spreadsheet programs read the Japanese. After each test, progress is
// told the count done; returning false cancels. Raises EInOutError when the device cannot be written.
TScoreCsvResult WriteScoresCsv(QIODevice &device, const QStringList &testPaths,
                               const std::function<bool(int done)> &progress = {}, const TTestReader &read = {});

// WriteScoresCsv into the file at path, which is replaced only once the export is whole, and then owner-only
// (it holds every child's name and birth date). A cancelled export leaves the file as it was. Raises EInOutError.
TScoreCsvResult ExportScoresCsv(const QString &path, const QStringList &testPaths,
                                const std::function<bool(int done)> &progress = {}, const TTestReader &read = {});

} // namespace vigix
