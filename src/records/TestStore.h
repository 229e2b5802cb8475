#pragma once

#include "TestInfo.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

namespace vigix {

class TTestFile;
struct TTimingSummary;

// One row of the list of stored tests.
struct TStoredTest
{
    QString Number; // the file's name without ".txt"
    TTestInfo Info; // its subject record, when it could be read
    QString Error;  // why it cannot be read (no access, not a file, not a test); empty when it can

    bool Readable() const { return Error.isEmpty(); }
};

// The data folder and the tests in it: the one owner of where tests live. It holds the folder open and does
// every create, rename, read and delete relative to it, so that a link swapped into the folder (a shared folder
// that other accounts can write) never steers a write or a read elsewhere. A new test never replaces another:
// it is created under its number only if no entry of that name exists at that moment, whichever computer or
// account stores at the same time; otherwise it takes the next free number.
//
// Files are owner-only, except in a folder that a clinic shares with a group (setgid and group-writable): there
// they are group-readable and group-writable, and take the folder's group, so that every examiner of the group
// can read every test.
//
// Windows ask the store for the folder and the list, and listen to its signals; none keeps a copy of the path.
class TTestStore : public QObject
{
    Q_OBJECT
public:
    explicit TTestStore(QObject *parent = nullptr);
    ~TTestStore() override;

    // The folder in use, ending in the separator; empty before the first Open.
    QString Folder() const { return m_folder; }
    // Whether the folder could be reached when it was last opened or used.
    bool IsReachable() const { return m_fd >= 0; }

    // Makes folder the data folder and lists it. When it cannot be reached (a share offline, a folder removed)
    // the folder stays the store's, with an empty list, and EInOutError says why: no other folder takes its place.
    // Every later operation tries to reach it again.
    void Open(const QString &folder);
    // Makes folder the data folder only if it can be reached and a test can be stored in it; raises
    // EInOutError and changes nothing otherwise.
    void ChangeFolder(const QString &folder);
    // The examiner's choice: ChangeFolder, and the folder kept in the settings file (vigix.ini, [Data] Folder) for
    // the next start. Checked before it is kept: a folder that cannot take a test changes neither.
    void ChooseFolder(const QString &folder, const QString &settingsPath);
    // Raises EInOutError, with the reason and what to do, when a new test could not be stored in the folder now
    // (it cannot be reached, is read-only, or this account may not create files in it).
    void CheckWritable();

    // The stored tests, in the order of their numbers; unreadable ones are rows with Error.
    const QList<TStoredTest> &Tests() const { return m_tests; }
    // Why the folder could not be listed at the last refresh; empty when it could.
    QString ListError() const { return m_listError; }
    // Lists the folder again and signals ListChanged. Never raises: a folder that cannot be listed gives an
    // empty list and ListError.
    void Refresh();

    // The smallest number from 1001 up that no entry of the folder uses as "N.txt" or "N.del". Not reserved:
    // until its file is created, the same number is offered again. Raises EInOutError.
    int NextTestNumber();
    // Whether the folder holds no entry of any kind (a link that leads nowhere too) under number's test name.
    bool TestNumberFree(const QString &number);

    // Stores a new test under file.Info.Kensabangou, or, when that number is taken by then, under the next free
    // one; sets Kensabangou to the number used and returns it. Never replaces any entry. Raises EConvertError
    // for content the file cannot hold and EInOutError when the file cannot be created; nothing is left then.
    QString StoreNewTest(TTestFile &file);
    // Replaces the stored test of number with file (a correction of its subject record). The old file stays
    // whole until the new one is complete. Raises like StoreNewTest.
    void ReplaceTest(const TTestFile &file, const QString &number);
    // Renames number's test to "N.del", never over an entry of that name; the number stays taken.
    void DeleteTest(const QString &number);

    // Reads the whole test, or its subject record only. Raises EInOutError or EConvertError naming the file.
    void ReadTest(TTestFile &file, const QString &number);
    void ReadInfo(TTestFile &file, const QString &number);

    // The timing summary beside a test: written, replacing an older one; and read, empty when there is none
    // or it cannot be read.
    void StoreTimingSummary(const QString &number, const TTimingSummary &summary);
    std::optional<TTimingSummary> TimingSummary(const QString &number);

    // The path of number's test file, for messages and for programs given paths.
    QString TestFilePath(const QString &number) const;

signals:
    void FolderChanged(const QString &folder);
    void ListChanged();

private:
    // The open folder, reopened when the folder at the path is no longer the one held (removed, replaced,
    // back online). Raises EInOutError when it cannot be reached.
    int folderFd();
    void openFolder(const QString &folder);
    void closeFolder();
    // Removes a temporary or trial file of the store's that a killed copy left, a day after.
    void removeIfAbandoned(const QByteArray &name);
    // The names of every entry of the folder. Raises EInOutError.
    QList<QByteArray> entryNames();
    // The bytes of the regular file name (never through a link, never a pipe): all of them, at most limit, or
    // from the start to the first line end. Raises EInOutError naming the file.
    QByteArray readEntry(const QString &name, qint64 limit = -1, bool firstLine = false);
    // Writes bytes to a new hidden file in the folder, synced, with the folder's mode and group. Returns its name.
    QString writeTemporary(const QByteArray &bytes, const QString &forName);
    // Creates a new file name in the folder, never through a link nor over an entry, with the folder's mode:
    // 0660 in a group's folder, else 0600. The descriptor, or -1 with errno.
    int createFile(const QByteArray &name);
    // Writes bytes, syncs them and closes the file. 0, or the errno of the failure.
    static int writeAndClose(int file, const QByteArray &bytes);
    // A folder as the store holds it: links resolved once, ending in the separator.
    static QString folderPath(const QString &folder);
    // Gives the temporary file its final name unless an entry of that name exists (then false).
    bool placeWithoutReplacing(const QString &temporary, const QString &name, const QByteArray &bytes);
    // Replaces the regular file name (or creates it) with bytes, once they are whole on the disk.
    void replaceEntry(const QString &name, const QByteArray &bytes);
    // number's test file name; raises EConvertError for a number that is no file name.
    static QString testName(const QString &number);
    QString label(const QString &name) const;

    QString m_folder;
    int m_fd = -1;
    QList<TStoredTest> m_tests;
    QString m_listError;
};

} // namespace vigix
