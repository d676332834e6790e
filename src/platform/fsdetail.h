#pragma once

// What the parts of the file-system object share: the seam's helpers, errors worded for the
// user, the temporary files of copies and saves, and the kinds a listing tells apart.
#include "filesys.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fsdetail {

inline QString reason(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

inline Result<> failed(const Path &path, int err)
{
    return Result<>::failure(QStringLiteral("%1\n%2").arg(path.shown(), reason(err)));
}

inline Result<> failed(const Path &path, const QString &why)
{
    return Result<>::failure(QStringLiteral("%1\n%2").arg(path.shown(), why));
}

// The prefix of the temporary files a copy or a save writes before renaming them into place;
// one left behind by a crash is no book.
inline constexpr char TempPrefix[] = ".quillrack-";

enum class Kind { Folder, File, Other };

inline Kind kindOf(int dirFd, const char *name, unsigned char type)
{
    switch (type) {
    case DT_DIR:
        return Kind::Folder;
    case DT_REG:
        return Kind::File;
    case DT_LNK:
    case DT_UNKNOWN: {
        // Only links and file systems without types in their listing need a stat.
        struct stat st;
        if (fstatat(dirFd, name, &st, 0) != 0)
            return Kind::Other;
        if (S_ISDIR(st.st_mode))
            return Kind::Folder;
        return S_ISREG(st.st_mode) ? Kind::File : Kind::Other;
    }
    default:
        return Kind::Other;
    }
}

inline bool dotOrDotDot(const char *n)
{
    return n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0));
}

class Fd
{
public:
    explicit Fd(int fd = -1)
        : m_fd(fd)
    { }
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// A temporary file beside the target, removed again unless it was renamed into place.
class TempFile
{
public:
    TempFile(const SysCalls &sys, const Path &target)
        : m_sys(sys)
    {
        m_name = parentPath(target.bytes()) + '/' + TempPrefix + "XXXXXX";
        m_fd = ::mkstemp(m_name.data());
        m_err = m_fd < 0 ? errno : 0;
        // Held while it is written: a running copy's file is never taken for a crash's leftover.
        if (m_fd >= 0)
            ::flock(m_fd, LOCK_EX);
    }
    ~TempFile()
    {
        // Removed while still held: a listing never takes it for another's leftover.
        if (!m_placed && m_err == 0)
            m_sys.unlink(m_name.constData());
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int fd() const { return m_fd; }
    int error() const { return m_err; }
    const QByteArray &name() const { return m_name; }
    void placed() { m_placed = true; }
    // Flushes the data to disk; false (with errno) when that failed. The file stays open, and
    // held, until it is in place.
    bool finish() { return m_sys.fsync(m_fd) == 0; }

private:
    const SysCalls &m_sys;
    QByteArray m_name;
    int m_fd = -1;
    int m_err = 0;
    bool m_placed = false;
};

inline bool caseVariants(const QByteArray &a, const QByteArray &b)
{
    return a != b
        && QString::fromUtf8(lastPathPart(a))
               .compare(QString::fromUtf8(lastPathPart(b)), Qt::CaseInsensitive)
        == 0
        && parentPath(a) == parentPath(b);
}

} // namespace fsdetail
