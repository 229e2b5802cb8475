// Feeds arbitrary bytes to the recovery of abandoned tests as the journal "1001-1.journal": in the program's own
// folder of journals after the line naming the data folder, or in the data folder's folder of earlier versions.
//
// The first byte of the input chooses what else happens; the rest is the journal's test lines:
//   bit 0: the test of the journal's number is already stored: its test file begins with the journal's test lines
//          (only for a number that is a plain file name stem);
//   bit 1: every abandoned test found is stored as a test file, then read back;
//   bit 2: the journal is in the data folder's folder of earlier versions, without the data-folder line (a line
//          of that form in the input is skipped there, and never followed).
// The checks are what RoundJournal.h promises: the subject line read as a test file reads it, then only whole
// round lines (ended by CR LF), in order, at most 500, up to the first one that does not read as a round.

#include "Errors.h"
#include "FuzzSupport.h"
#include "RoundJournal.h"
#include "TestFile.h"
#include "TestStore.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QFileInfo>
#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>

using namespace Qt::StringLiterals;
using namespace vigix;

namespace {

const QByteArray LineEnd = QByteArrayLiteral("\r\n");

const QByteArray DataFolderKey = QByteArrayLiteral("#data-folder=");
const QByteArray ReplacementKey = QByteArrayLiteral("#round=");

enum : std::uint8_t { StoredAlready = 0x01, StoreFound = 0x02, EarlierVersion = 0x04 };

// A journal of an earlier version's folder is read from after a data-folder line of its own, if it has one.
QByteArrayView withoutDataFolderLine(QByteArrayView journal)
{
    const qsizetype end = journal.indexOf(LineEnd);
    return end >= 0 && journal.startsWith(DataFolderKey) ? journal.sliced(end + LineEnd.size()) : journal;
}

// Only a number that stays a file name inside the data folder is used to name a file here: the fuzzer must
// never write outside its own folder.
bool plainNumber(const QString &number)
{
    if (number.isEmpty() || number.size() > 20)
        return false;
    for (const QChar c : number) {
        if (!(c.unicode() < 0x80 && c.isLetterOrNumber()))
            return false;
    }
    return true;
}

// The whole lines of the journal after its subject line, each without its CR LF; what follows the last CR LF is
// torn and not a line.
QList<QByteArrayView> wholeRoundLines(QByteArrayView journal)
{
    QList<QByteArrayView> lines;
    qsizetype start = journal.indexOf(LineEnd);
    if (start < 0)
        return lines;
    start += LineEnd.size();
    for (qsizetype end; (end = journal.indexOf(LineEnd, start)) >= 0; start = end + LineEnd.size())
        lines.append(journal.sliced(start, end - start));
    return lines;
}

void checkFound(const TAbandonedTest &test, QByteArrayView journal)
{
    const qsizetype subjectEnd = journal.indexOf(LineEnd);
    // Only a journal without a whole subject line has no subject record; an unreadable file would too, but
    // this one is ours and readable.
    FUZZ_CHECK(test.Error.isEmpty() == (subjectEnd >= 0));
    if (!test.Error.isEmpty()) {
        FUZZ_CHECK(test.Rounds.isEmpty());
        return;
    }
    FUZZ_CHECK(test.Info == TTestFile::DecodeInfoLine(journal.first(subjectEnd)));

    // The rounds as the lines give them: each plain line is the next round, a line "#round=<n>,<line>" replaces
    // round n, already read. Reading stops at the first line that is neither, or does not read as a round.
    const QList<QByteArrayView> lines = wholeRoundLines(journal);
    QList<TRoundInfo> expected;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArrayView line = lines[i];
        qsizetype round = expected.size() + 1;
        if (line.startsWith(ReplacementKey)) {
            const qsizetype comma = line.indexOf(',');
            bool ok = false;
            round = comma < 0 ? 0 : line.sliced(ReplacementKey.size(), comma - ReplacementKey.size()).toInt(&ok);
            if (!ok || round < 1 || round > expected.size())
                break;
            line = line.sliced(comma + 1);
        } else if (round > TTestFile::TestRounds) {
            break;
        }
        try {
            const TRoundInfo contents = TTestFile::DecodeRoundLine(line, test.JournalPath, int(round) + 1);
            if (round > expected.size())
                expected.append(contents);
            else
                expected[round - 1] = contents;
        } catch (const EConvertError &) {
            break;
        }
    }
    FUZZ_CHECK(test.RoundCount() <= TTestFile::TestRounds);
    FUZZ_CHECK(test.Rounds == expected);
    for (const TRoundInfo &round : test.Rounds) {
        // The text fields come from between commas, with every quote dropped.
        for (const QString *text : {&round.Target, &round.Noise})
            FUZZ_CHECK(!text->contains(u',') && !text->contains(u'"'));
    }
}

// Stores the test as the recovery offer does, then reads the file it wrote: it must hold the subject record
// (under the number used) and every round found, and the journal must be gone.
void storeAndReadBack(const QString &folder, const TAbandonedTest &test)
{
    QString number;
    try {
        TTestStore store;
        store.Open(folder);
        number = StoreAbandonedTest(test, store);
    } catch (const EConvertError &) {
        // Text the test file cannot hold: the journal stays for the examiner to discard.
        FUZZ_CHECK(QFileInfo::exists(test.JournalPath));
        return;
    }
    FUZZ_CHECK(!QFileInfo::exists(test.JournalPath));
    // Whatever the journal's number, the test went into the data folder (a "../x" goes to the next free number).
    FUZZ_CHECK(TTestFile::IsFileNameNumber(number) && QFileInfo::exists(TTestFile::TestFilePath(folder, number)));
    auto stored = std::make_unique<TTestFile>();
    stored->ReadFile(folder, number);
    TTestInfo expected = test.Info;
    expected.Kensabangou = number;
    FUZZ_CHECK(stored->Info == expected);
    FUZZ_CHECK(stored->RoundCount == test.RoundCount());
    for (int i = 1; i <= stored->RoundCount; ++i)
        FUZZ_CHECK(fuzz::SameRoundReadBack(test.Rounds[i - 1], stored->Rounds[i]));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t mode = data[0];
    const QByteArrayView input(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1));

    const QString &folder = fuzz::DataFolder();
    fuzz::EmptyFolder(folder);
    const QString ownJournals = folder + u"journals/"_s;
    const bool earlier = mode & EarlierVersion;
    const QString recovery = earlier ? TRoundJournal::RecoveryFolder(folder) : ownJournals;
    fuzz::MakeOwnerOnlyFolder(recovery);
    const QString journalPath = recovery + u"1001-1.journal"_s;
    if (earlier)
        fuzz::WriteOwnerOnlyFile(journalPath, input);
    else
        fuzz::WriteOwnerOnlyFile(journalPath, TRoundJournal::DataFolderLine(folder) + input.toByteArray());
    // What the recovery reads as the test file's lines.
    const QByteArrayView journal = earlier ? withoutDataFolderLine(input) : input;

    // The test saved, then the program stopped before removing its journal: the test file of its number
    // begins with every byte of the journal (and so with its whole lines).
    bool expectRemoved = false;
    if (mode & StoredAlready) {
        const qsizetype subjectEnd = journal.indexOf(LineEnd);
        if (subjectEnd >= 0) {
            const QString number = TTestFile::DecodeInfoLine(journal.first(subjectEnd)).Kensabangou;
            if (plainNumber(number)) {
                QByteArray file = journal.toByteArray();
                file += QByteArrayLiteral("\"T\",\"N\",0,15,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\r\n");
                fuzz::WriteOwnerOnlyFile(TTestFile::TestFilePath(folder, number), file);
                expectRemoved = true;
            }
        }
    }

    const QList<TAbandonedTest> found = FindAbandonedTests(ownJournals, folder);
    FUZZ_CHECK(found.size() <= 1);
    if (expectRemoved) {
        FUZZ_CHECK(found.isEmpty());
        FUZZ_CHECK(!QFileInfo::exists(journalPath));
        return 0;
    }
    // Nobody else holds the journal and it is not stored: it must be offered.
    FUZZ_CHECK(found.size() == 1);
    const TAbandonedTest &test = found.first();
    FUZZ_CHECK(test.JournalPath == journalPath);
    FUZZ_CHECK(test.DataFolder == folder);
    checkFound(test, journal);

    if ((mode & StoreFound) && test.Error.isEmpty())
        storeAndReadBack(folder, test);
    return 0;
}
