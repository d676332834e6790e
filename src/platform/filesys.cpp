// The file-system object: the seam every system call goes through, looking up paths, and
// creating and removing what the bookcase names.
#include "fsdetail.h"

#include <QFile>
#include <algorithm>
#include <sys/file.h>
#include <sys/syscall.h>

using namespace fsdetail;

int SysCalls::stat(const char *path, struct stat *st) const
{
    return ::stat(path, st);
}

int SysCalls::lstat(const char *path, struct stat *st) const
{
    return ::lstat(path, st);
}

int SysCalls::access(const char *path, int mode) const
{
    return ::access(path, mode);
}

int SysCalls::renameNoReplace(const char *from, const char *to) const
{
    return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
}

int SysCalls::rename(const char *from, const char *to) const
{
    return ::rename(from, to);
}

int SysCalls::link(const char *from, const char *to) const
{
    return ::link(from, to);
}

int SysCalls::fsync(int fd) const
{
    return ::fsync(fd);
}

ssize_t SysCalls::copyRange(int from, int to, size_t length) const
{
    const ssize_t n = ::copy_file_range(from, nullptr, to, nullptr, length, 0);
    if (n >= 0 || (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP))
        return n;
    // No kernel copy between these files: through a buffer.
    thread_local std::vector<char> buffer;
    buffer.resize(length);
    const ssize_t r = ::read(from, buffer.data(), length);
    if (r <= 0)
        return r;
    for (ssize_t done = 0; done < r;) {
        const ssize_t w = ::write(to, buffer.data() + done, size_t(r - done));
        if (w < 0 && errno != EINTR)
            return -1;
        done += qMax<ssize_t>(w, 0);
    }
    return r;
}

int SysCalls::mkdir(const char *path) const
{
    return ::mkdir(path, 0777);
}

int SysCalls::rmdir(const char *path) const
{
    return ::rmdir(path);
}

int SysCalls::unlink(const char *path) const
{
    return ::unlink(path);
}

int SysCalls::openFolder(const char *path) const
{
    return ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

long SysCalls::readEntries(int fd, char *buffer, size_t size) const
{
    return ::syscall(SYS_getdents64, fd, buffer, size);
}

const SysCalls &SysCalls::system()
{
    static const SysCalls calls;
    return calls;
}

QString FolderContents::described() const
{
    QStringList parts;
    const std::pair<int, const char *> counts[]
        = {{files, "book"}, {hiddenFiles, "hidden file"}, {folders, "folder"}};
    for (const auto &[n, what] : counts) {
        if (n > 0)
            parts
                << QStringLiteral("%1 %2%3").arg(n).arg(QLatin1String(what)).arg(n > 1 ? "s" : "");
    }
    const QString last = parts.isEmpty() ? QString() : parts.takeLast();
    return parts.isEmpty() ? last
                           : parts.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

QByteArray lastPathPart(const QByteArray &path)
{
    qsizetype end = path.size();
    while (end > 1 && path.at(end - 1) == '/')
        --end;
    const qsizetype slash = path.lastIndexOf('/', end - 1);
    return path.mid(slash + 1, end - slash - 1);
}

QByteArray parentPath(const QByteArray &path)
{
    qsizetype end = path.size();
    while (end > 1 && path.at(end - 1) == '/')
        --end;
    const qsizetype slash = path.lastIndexOf('/', end - 1);
    if (slash < 0)
        return ".";
    if (slash == 0)
        return "/";
    return path.left(slash);
}

void FileSys::setSysCalls(const SysCalls *calls)
{
    m_sys = calls ? calls : &SysCalls::system();
}

bool FileSys::statPath(const Path &path, struct stat *st) const
{
    return !path.isEmpty() && sys().stat(path.c_str(), st) == 0;
}

Result<FileSys::Folder> FileSys::GetFolder(const Path &path) const
{
    using R = Result<Folder>;
    struct stat st;
    if (path.isEmpty())
        return R::failure(QStringLiteral("No folder is named."));
    if (!statPath(path, &st))
        return R::failure(failed(path, errno).error());
    if (!S_ISDIR(st.st_mode))
        return R::failure(failed(path, ENOTDIR).error());
    if (sys().access(path.c_str(), R_OK | X_OK) != 0)
        return R::failure(failed(path, errno).error());
    Folder folder(path, m_sys);
    return folder;
}

FileStamp FileSys::stamp(const Path &path) const
{
    struct stat st;
    if (!statPath(path, &st)) // a file that cannot be looked at is not taken for missing
        return errno == ENOENT ? FileStamp() : FileStamp {~0ull, ~0ull, -1, -1};
    return {quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
            qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

bool FileSys::FileExists(const Path &path) const
{
    struct stat st;
    return statPath(path, &st) && !S_ISDIR(st.st_mode);
}

bool FileSys::FolderExists(const Path &path) const
{
    struct stat st;
    return statPath(path, &st) && S_ISDIR(st.st_mode);
}

NameState FileSys::nameState(const Path &path) const
{
    struct stat st;
    if (!path.isEmpty() && sys().lstat(path.c_str(), &st) == 0)
        return NameState::Taken;
    return errno == ENOENT ? NameState::Free : NameState::Unknown;
}

bool FileSys::sameFile(const Path &a, const Path &b) const
{
    struct stat sa, sb;
    return statPath(a, &sa) && statPath(b, &sb) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

Result<> FileSys::DeleteFile(const Path &path) const
{
    struct stat st;
    if (sys().lstat(path.c_str(), &st) != 0)
        return failed(path, errno);
    if (S_ISDIR(st.st_mode))
        return failed(path, EISDIR);
    if (sys().unlink(path.c_str()) != 0)
        return failed(path, errno);
    return Result<>::success();
}

Result<> FileSys::CreateFolder(const Path &path) const
{
    if (sys().mkdir(path.c_str()) != 0)
        return failed(path, errno);
    return Result<>::success();
}

Result<> FileSys::DeleteFolder(const Path &path) const
{
    if (sys().rmdir(path.c_str()) != 0)
        return failed(path, errno);
    return Result<>::success();
}
