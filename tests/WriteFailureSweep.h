#pragma once

#include "Errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <csignal>
#include <functional>

#include <sys/resource.h>

namespace vigix::testing {

// Limits the size of files this process may write, as a full disk would, and restores the limit on leaving.
// Writing past it fails with EFBIG instead of ending the process.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_ok = ::getrlimit(RLIMIT_FSIZE, &m_old) == 0;
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        m_ok = m_ok && m_oldHandler != SIG_ERR && ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool ok() const { return m_ok; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = SIG_DFL;
    bool m_ok = false;
};

// Every offset in an ordinary build. Under AddressSanitizer every write and copy costs several times as much, and
// that run looks for memory errors rather than damaged files: every 16th offset (and the last) then.
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 SweepStride = 16;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr qint64 SweepStride = 16;
#else
constexpr qint64 SweepStride = 1;
#endif
#else
constexpr qint64 SweepStride = 1;
#endif

struct TSweepResult
{
    qint64 Offsets = 0; // limits below the new file's size that were tried
    qint64 Damaged = 0; // of them, those after which the save did not fail cleanly
    QStringList Faults; // the first few faults, described
    QByteArray Written; // the new file, as the unhindered save wrote it
};

// Replays a save that replaces the file at path with the write failing at every byte offset of the new file
// (and at every step-th offset and the last when step > 1). After each, the save must have raised EInOutError naming
// the file and why ("ファイルが大きすぎます"), the old file must be byte for byte what it was, and its folder must hold
// exactly the entries it held (no temporary file left behind). Once the limit is the new file's size, the
// save must succeed. The old file is put back after each damaged attempt, so that one fault is counted once.
inline TSweepResult SweepWriteFailures(const QString &path, const std::function<void()> &save,
                                       qint64 step = SweepStride)
{
    using namespace Qt::StringLiterals;
    const auto readAll = [](const QString &file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const auto putBack = [](const QString &file, const QByteArray &bytes) {
        QFile f(file);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(bytes);
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    };
    QDir folder = QFileInfo(path).dir();
    const auto entries = [&folder] {
        return folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    };

    TSweepResult result;
    const QByteArray old = readAll(path);
    save();
    result.Written = readAll(path);
    putBack(path, old);
    const QStringList before = entries();

    bool damaged = false;
    const auto fault = [&result, &damaged](const QString &what) {
        damaged = true;
        if (result.Faults.size() < 5)
            result.Faults.append(what);
    };
    QList<qint64> limits;
    for (qint64 limit = 0; limit < result.Written.size(); limit += step)
        limits.append(limit);
    if (!limits.isEmpty() && limits.last() != result.Written.size() - 1)
        limits.append(result.Written.size() - 1);
    for (const qint64 limit : limits) {
        ++result.Offsets;
        damaged = false;
        QString message;
        bool raised = false;
        {
            FileSizeLimit full{rlim_t(limit)};
            if (!full.ok()) {
                fault(u"no file size limit can be set"_s);
                break;
            }
            try {
                save();
            } catch (const EInOutError &error) {
                raised = true;
                message = error.message();
            } catch (const EVigixError &error) {
                message = error.message();
            }
        }
        const QString at = u"at %1 of %2 bytes: "_s.arg(limit).arg(result.Written.size());
        if (!raised)
            fault(at + u"the save reported success"_s + (message.isEmpty() ? QString() : u" ("_s + message + u')'));
        else if (!message.contains(QDir::toNativeSeparators(path)) || !message.contains(u"ファイルが大きすぎます"_s))
            fault(at + u"the message does not name the file and the reason: "_s + message);
        if (readAll(path) != old) {
            fault(at + u"the old file changed"_s);
            putBack(path, old);
        }
        if (const QStringList after = entries(); after != before) {
            fault(at + u"the folder holds "_s + after.join(u", "_s));
            for (const QString &name : after)
                if (!before.contains(name))
                    folder.remove(name);
        }
        result.Damaged += damaged ? 1 : 0;
    }

    // With room for the whole file the same save succeeds.
    damaged = false;
    {
        FileSizeLimit room{rlim_t(result.Written.size())};
        try {
            save();
        } catch (const EVigixError &error) {
            fault(u"with room for the whole file: "_s + error.message());
        }
    }
    if (readAll(path).size() != result.Written.size())
        fault(u"with room for the whole file, the file is not whole"_s);
    result.Damaged += damaged ? 1 : 0;
    return result;
}

} // namespace vigix::testing
