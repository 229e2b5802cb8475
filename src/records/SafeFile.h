#pragma once

#include <QByteArray>
#include <QString>

class QFile;
class QIODevice;

namespace vigix {

// What a write or an open does with a link standing at the path's last step.
enum class TLinks {
    Refuse, // every file of the data folder: a link there may be another user's way to steer the write
    Follow, // a file the examiner chose in a dialog
};

// The examiner's reason for a system error number, with the system's own text after it for the technician:
// "ディスクの空き容量が足りません (No space left on device)".
QString SystemErrorReason(int error);
// The same for a failed call of a Qt file or device: from errno, when that is what Qt reported (Qt's own text
// names the same error), otherwise from the kind of failure, with Qt's text after it.
QString DeviceErrorReason(const QIODevice &device, int error);

// Whether anything at all stands at path: a file, a folder, a pipe, or a link, even one that leads nowhere.
bool EntryExists(const QString &path);
// Renames an entry (a link itself, never what it points to) unless the new name is taken. Raises EInOutError
// with the reason in Japanese.
void RenameWithoutReplacing(const QString &from, const QString &to);

// Replaces the file at path with bytes. The old file stays whole until the new one is complete and on the disk:
// the bytes go to a temporary file beside it, which is synced and then renamed over it. The new file is
// owner-only. Raises EInOutError naming the file and the reason; nothing is left behind then.
void SaveFileSafely(const QString &path, const QByteArray &bytes, TLinks links = TLinks::Refuse);

// Opens a regular file for reading, never through a link and never a pipe or a device (reading one could wait
// for ever). Raises EInOutError naming the file and the reason.
void OpenForReading(QFile &file, const QString &path);

// Writes all of bytes to an open file, going on after a short write. 0, or the errno of the failure.
int WriteAll(int fd, const QByteArray &bytes);

// Brings what was written to an open file to the disk, not only to a cache. 0, or the errno of the failure.
int SyncFile(int fd);

// Brings a folder's entries (a file created, renamed or removed in it) to the disk. False when it could not.
bool SyncFolder(const QString &folder);

} // namespace vigix
