#include "CsvExportCommand.h"

#include "Errors.h"
#include "MessageBox.h"
#include "ScoreCsv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QProgressDialog>
#include <QStandardPaths>

#include <utility>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {
QString nextFileName;
} // namespace

void TCsvExportCommand::SetNextFileName(const QString &path)
{
    nextFileName = path;
}

int TCsvExportCommand::Run(QWidget *parent, const QStringList &testPaths, const TTestReader &read)
{
    QString path = std::exchange(nextFileName, QString());
    if (path.isEmpty()) {
        const QString suggested =
            QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)).filePath(u"vigix-scores.csv"_s);
        path = QFileDialog::getSaveFileName(parent, u"CSV出力（%1 件）"_s.arg(testPaths.size()), suggested,
                                            u"CSV ファイル (*.csv)"_s);
        if (path.isEmpty())
            return -1;
    }

    QProgressDialog progress(u"検査結果を出力しています…"_s, u"ｷｬﾝｾﾙ"_s, 0, static_cast<int>(testPaths.size()), parent);
    progress.setWindowTitle(u"CSV出力"_s);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500); // a few tests go by without it
    int written = -1;
    TMessageBox::Run(parent, [&] {
        const TScoreCsvResult result = ExportScoresCsv(path, testPaths, [&progress](int done) {
            progress.setValue(done);
            QCoreApplication::processEvents();
            return !progress.wasCanceled();
        }, read);
        progress.reset();
        if (result.Cancelled)
            return; // nothing is left behind
        written = result.Written;
        if (!result.Failures.isEmpty())
            TMessageBox::Warning(parent,
                                 u"%1 件を出力しました。次の %2 件は読めなかったため出力していません:\n%3"_s.arg(
                                     QString::number(result.Written), QString::number(result.Failures.size()),
                                     result.Failures.join(u'\n')));
    });
    return written;
}

} // namespace vigix
