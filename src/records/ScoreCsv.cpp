#include "ScoreCsv.h"

#include "Errors.h"
#include "SafeFile.h"
#include "ScoreExport.h"
#include "TestFile.h"

#include <QBuffer>
#include <QIODevice>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

void write(QIODevice &device, const QByteArray &bytes)
{
    errno = 0;
    if (device.write(bytes) != bytes.size())
        throw EInOutError(u"CSV ファイルに書き込めません: %1"_s.arg(DeviceErrorReason(device, errno)));
}

} // namespace

TScoreCsvResult WriteScoresCsv(QIODevice &device, const QStringList &testPaths,
                               const std::function<bool(int done)> &progress, const TTestReader &read)
{
    TScoreCsvResult result;
    write(device, QByteArray("\xEF\xBB\xBF") + CsvRecord(ScoreFieldNames()).toUtf8());
    TTestFile test;
    for (qsizetype i = 0; i < testPaths.size(); ++i) {
        const QString &path = testPaths[i];
        // A test that cannot be read is named and the others are written; a device that cannot be written
        // ends the export.
        bool done = false;
        try {
            if (read)
                read(test, i);
            else
                test.ReadFileFromPath(path);
            test.Culc();
            done = true;
        } catch (const EVigixError &error) {
            result.Failures.append(error.message());
        }
        if (done) {
            QStringList values;
            for (const ScoreField &field : ScoreFields(path, test))
                values.append(field.csv);
            write(device, CsvRecord(values).toUtf8());
            ++result.Written;
        }
        if (progress && !progress(static_cast<int>(i + 1))) {
            result.Cancelled = true;
            break;
        }
    }
    return result;
}

TScoreCsvResult ExportScoresCsv(const QString &path, const QStringList &testPaths,
                                const std::function<bool(int done)> &progress, const TTestReader &read)
{
    // Made whole in memory first (a few megabytes for ten thousand tests), so that the file is written by the
    // one safe save: the old file stays until the new one is complete, and a cancelled export leaves nothing.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    TScoreCsvResult result = WriteScoresCsv(buffer, testPaths, progress, read);
    if (!result.Cancelled)
        SaveFileSafely(path, buffer.data(), TLinks::Follow); // the examiner chose the file
    return result;
}

} // namespace vigix
