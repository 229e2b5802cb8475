#include "FuzzSupport.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace vigix::fuzz {

namespace {

// Failures of the harness itself (not of the code under test): no input is to blame, so say so and stop.
[[noreturn]] void harnessBroken(const char *what, const QString &path)
{
    const int error = errno;
    std::fprintf(stderr, "fuzz harness: %s %s: %s\n", what, qPrintable(path), std::strerror(error));
    std::abort();
}

class TPrivateFolder
{
public:
    TPrivateFolder()
    {
        std::string pattern = QFile::encodeName(QDir::tempPath()).toStdString() + "/vigix-fuzz-XXXXXX";
        // mkdtemp makes the folder 0700, so the data folder is as private as the program keeps its own.
        if (::mkdtemp(pattern.data()) == nullptr)
            harnessBroken("cannot create a folder from", QFile::decodeName(pattern.c_str()));
        m_native = pattern;
        m_path = QFile::decodeName(pattern.c_str()) + u'/';
    }
    TPrivateFolder(const TPrivateFolder &) = delete;
    TPrivateFolder &operator=(const TPrivateFolder &) = delete;
    ~TPrivateFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_native, ignored);
    }

    const QString &path() const { return m_path; }

private:
    std::string m_native;
    QString m_path;
};

} // namespace

const QString &DataFolder()
{
    static const TPrivateFolder folder;
    return folder.path();
}

void EmptyFolder(const QString &folder)
{
    const std::filesystem::path native(QFile::encodeName(folder).toStdString());
    std::error_code error;
    for (std::filesystem::directory_iterator entry(native, error), end; !error && entry != end;
         entry.increment(error)) {
        std::filesystem::remove_all(entry->path(), error);
        if (error)
            break;
    }
    if (error) {
        errno = error.value();
        harnessBroken("cannot empty", folder);
    }
}

void MakeOwnerOnlyFolder(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    // chmod as well: the umask may have taken bits from mkdir's mode, and the folder must be exactly 0700.
    if (::mkdir(native.constData(), 0700) != 0 || ::chmod(native.constData(), 0700) != 0)
        harnessBroken("cannot create the folder", path);
}

void WriteOwnerOnlyFile(const QString &path, QByteArrayView bytes)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0 || ::fchmod(fd, 0600) != 0)
        harnessBroken("cannot create the file", path);
    const char *data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<std::size_t>(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            harnessBroken("cannot write", path);
        data += written;
        left -= written;
    }
    ::close(fd);
}

bool SameRoundReadBack(const TRoundInfo &written, const TRoundInfo &readBack)
{
    return written == readBack;
}

void Fail(const char *invariant, const char *file, int line)
{
    std::fprintf(stderr, "fuzz invariant broken at %s:%d: %s\n", file, line, invariant);
    std::abort();
}

} // namespace vigix::fuzz
