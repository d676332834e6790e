// Small files saved in one step (config.ini, marked.dat), read back whole, and the lock that
// running copies of the program share.
#include "fsdetail.h"

#include <QFile>
#include <algorithm>
#include <sys/file.h>
#include <sys/syscall.h>

using namespace fsdetail;

namespace {

bool writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

} // namespace

FolderLock::FolderLock(const Path &folder)
    : m_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
{
    while (m_fd >= 0 && ::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) { }
}

FolderLock::~FolderLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // and with it the lock
}

Result<> FileSys::writeFileAtomically(const Path &path, QByteArrayView content,
                                      QByteArrayView tail) const
{
    TempFile tmp(sys(), path);
    if (tmp.fd() < 0)
        return failed(path, tmp.error());
    // Keep the permissions of the file being replaced.
    struct stat st;
    ::fchmod(tmp.fd(), statPath(path, &st) ? (st.st_mode & 07777) : 0644);
    const SysCalls &sys = this->sys();
    if (!writeAll(tmp.fd(), content.data(), size_t(content.size()))
        || !writeAll(tmp.fd(), tail.data(), size_t(tail.size())))
        return failed(path, errno);
    if (!tmp.finish())
        return failed(path, errno);
    if (place(tmp.name(), path, true) != 0)
        return failed(path, errno);
    tmp.placed();
    // The new name is safe only once the folder that holds it is on the device too; the file is
    // in place already, so a folder that cannot be flushed does not make the save a failure.
    const QByteArray folder = parentPath(path.bytes());
    Fd dir(sys.openFolder(folder.constData()));
    if (dir.get() >= 0)
        sys.fsync(dir.get());
    return Result<>::success();
}

Result<QByteArray> FileSys::readFile(const Path &path, qint64 maxBytes) const
{
    QFile f(QFile::decodeName(path.bytes()));
    if (!f.open(QIODevice::ReadOnly))
        return Result<QByteArray>::failure(
            QStringLiteral("%1\n%2").arg(path.shown(), f.errorString()));
    return f.read(maxBytes);
}
