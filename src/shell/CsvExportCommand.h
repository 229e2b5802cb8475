#pragma once

#include "ScoreCsv.h"

#include <QString>
#include <QStringList>

class QWidget;

namespace vigix {

// "CSV出力": the scores of the given tests into a CSV file the examiner chooses, with a progress bar that
// can cancel when there are many. A cancelled or failed export leaves no file behind.
class TCsvExportCommand
{
public:
    // The number of tests written, or -1 when no file was written (cancelled, failed, no file chosen).
    // read: how test `index` of testPaths is read (the data folder's store); null: from its path.
    static int Run(QWidget *parent, const QStringList &testPaths, const TTestReader &read = {});
    // Tests: the file the next export writes, instead of asking.
    static void SetNextFileName(const QString &path);
};

} // namespace vigix
