// vigix-score: scores stored test files and prints their results, for researchers who score many at once.

#include "Errors.h"
#include "ScoreExport.h"
#include "TestFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace vigix;

namespace {

enum class Format { Table, Csv, Json };

void print(std::FILE *stream, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    std::fwrite(utf8.constData(), 1, static_cast<std::size_t>(utf8.size()), stream);
}

// A file name or a damaged file's text in a message must not steer the terminal: every control code
// (C0, DEL, C1) is shown as \xNN instead. Line ends are ours alone.
QString visible(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F))
            shown += u"\\x"_s + QString::number(u, 16).toUpper().rightJustified(2, u'0');
        else
            shown += c;
    }
    return shown;
}

const QString Usage =
    u"usage: vigix-score [--csv | --json] FILE...\n"
    u"Scores VIGIX test files and prints their results (UTF-8).\n"
    u"  (default)  the results table of each file\n"
    u"  --csv      one header row and one row per file\n"
    u"  --json     an array with one object per file, with the hit reaction times and, where one was\n"
    u"             stored beside the test, its timing summary\n"_s;

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    Format format = Format::Table;
    QStringList files;
    bool optionsEnded = false;
    for (const QString &argument : app.arguments().mid(1)) {
        if (optionsEnded || !argument.startsWith(u'-') || argument == u"-"_s) {
            files.append(argument);
        } else if (argument == u"--"_s) {
            optionsEnded = true;
        } else if (argument == u"--csv"_s || argument == u"--json"_s) {
            const Format chosen = argument == u"--csv"_s ? Format::Csv : Format::Json;
            if (format != Format::Table && format != chosen) {
                print(stderr, u"vigix-score: --csv and --json exclude each other\n"_s + Usage);
                return 2;
            }
            format = chosen;
        } else if (argument == u"--help"_s || argument == u"-h"_s) {
            print(stdout, Usage);
            return 0;
        } else {
            print(stderr, u"vigix-score: unknown option %1\n"_s.arg(visible(argument)) + Usage);
            return 2;
        }
    }
    if (files.isEmpty()) {
        print(stderr, Usage);
        return 2;
    }

    int status = 0;
    bool firstJson = true;
    if (format == Format::Csv)
        print(stdout, CsvRecord(ScoreFieldNames()));
    if (format == Format::Json)
        print(stdout, u"["_s);

    for (const QString &path : files) {
        TTestFile test;
        try {
            // A file named on the command line is the researcher's own choice: a link there is followed.
            const QString resolved = QFileInfo(path).canonicalFilePath();
            // An empty or binary file, or some other text, is no test with 0 rounds: it would be a row of zeros.
            test.ReadCheckedFileFromPath(resolved.isEmpty() ? path : resolved);
            test.Culc();
        } catch (const EVigixError &error) {
            // One damaged file must not keep the others from being scored.
            print(stderr, u"vigix-score: %1\n"_s.arg(visible(error.message())));
            status = 1;
            continue;
        }
        switch (format) {
        case Format::Table:
            print(stdout, u"%1\n検査番号 %2  %3 %4  検査日時 %5  試行数 %6\n%7\n"_s.arg(
                              visible(QDir::toNativeSeparators(path)), test.Info.Kensabangou, test.Info.Shimei1,
                              test.Info.Shimei2, test.Info.Kensanichiji, QString::number(test.RoundCount),
                              ResultsTableText(test)));
            break;
        case Format::Csv: {
            QStringList values;
            for (const ScoreField &field : ScoreFields(path, test))
                values.append(field.csv);
            print(stdout, CsvRecord(values));
            break;
        }
        case Format::Json:
            print(stdout, (firstJson ? u"\n  "_s : u",\n  "_s) +
                              JsonObject(ScoreFields(path, test) + HitRTFields(test) + TimingFields(path)));
            firstJson = false;
            break;
        }
    }
    if (format == Format::Json)
        print(stdout, firstJson ? u"]\n"_s : u"\n]\n"_s);
    return status;
}
