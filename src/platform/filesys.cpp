#include "filesys.h"

#include "naturalsort.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// File names are UTF-8 on the Linux desktop.
QByteArray encoded(const QString &path)
{
    return path.toUtf8();
}

QString reason(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

FsResult failed(const QString &path, int err)
{
    return FsResult::failure(QStringLiteral("%1\n%2").arg(path, reason(err)));
}

FsResult failed(const QString &path, const QString &why)
{
    return FsResult::failure(QStringLiteral("%1\n%2").arg(path, why));
}

// False for a name that is not valid UTF-8: such a name could not be written back byte for
// byte, so an operation on it might reach another file.
bool validName(const char *raw, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(raw[i]) >= 0x80) {
            // Decoding may drop or replace bytes (a leading byte-order mark, broken sequences):
            // only a name that comes back byte for byte names this file and no other.
            return QString::fromUtf8(raw, qsizetype(length)).toUtf8()
                == QByteArrayView(raw, qsizetype(length));
        }
    }
    return true;
}

// The prefix of the temporary files a copy or a save writes before renaming them into place;
// one left behind by a crash is no book.
constexpr char TempPrefix[] = ".quillrack-";

enum class Kind { Folder, File, Other };

Kind kindOf(int dirFd, const dirent *e)
{
    switch (e->d_type) {
    case DT_DIR:
        return Kind::Folder;
    case DT_REG:
        return Kind::File;
    case DT_LNK:
    case DT_UNKNOWN: {
        // Only links and file systems without types in their listing need a stat.
        struct stat st;
        if (fstatat(dirFd, e->d_name, &st, 0) != 0)
            return Kind::Other;
        if (S_ISDIR(st.st_mode))
            return Kind::Folder;
        return S_ISREG(st.st_mode) ? Kind::File : Kind::Other;
    }
    default:
        return Kind::Other;
    }
}

// Reads a folder once; *error gets the reason when it cannot be read.
NameList listNames(const QString &path, Kind wanted, QString *error, bool stopAtFirst = false)
{
    NameList names;
    DIR *dir = opendir(encoded(path).constData());
    if (!dir) {
        if (error)
            *error = failed(path, errno).error;
        return names;
    }
    const int fd = dirfd(dir);
    // A folder's size on disk grows with its entries: room for them all at once spares the
    // copies of a list that keeps outgrowing itself (too much room is never touched).
    struct stat st;
    if (!stopAtFirst && ::fstat(fd, &st) == 0 && st.st_size > 0) {
        const size_t bytes = size_t(std::min<off_t>(st.st_size, off_t(1) << 26));
        names.reserve(bytes / 24, bytes);
    }
    while (const dirent *e = readdir(dir)) {
        const char *n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        if (kindOf(fd, e) != wanted)
            continue;
        const size_t length = std::strlen(n);
        if (!validName(n, length) || std::strncmp(n, TempPrefix, sizeof TempPrefix - 1) == 0)
            continue;
        names.add(std::string_view(n, length));
        if (stopAtFirst)
            break;
    }
    closedir(dir);
    return names;
}

Listing listFolder(const QString &path, Kind wanted, bool stopAtFirst = false)
{
    Listing result;
    const NameList names = listNames(path, wanted, &result.error, stopAtFirst);
    result.ok = result.error.isEmpty();
    result.names.reserve(size_t(names.size()));
    for (int i = 0; i < names.size(); ++i)
        result.names.push_back(names.at(i));
    return result;
}

bool statPath(const QString &path, struct stat *st)
{
    return !path.isEmpty() && ::stat(encoded(path).constData(), st) == 0;
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
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

// A temporary file beside the target, removed again unless it was renamed into place.
class TempFile
{
public:
    explicit TempFile(const QString &target)
    {
        QByteArray dir = encoded(parentPath(target));
        m_name = dir + '/' + TempPrefix + "XXXXXX";
        m_fd = ::mkstemp(m_name.data());
        m_err = m_fd < 0 ? errno : 0;
    }
    ~TempFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_placed && m_err == 0)
            ::unlink(m_name.constData());
    }
    int fd() const { return m_fd; }
    int error() const { return m_err; }
    // Flushes the data to disk and closes; false (with errno) when any of it failed.
    bool finish()
    {
        const int fd = m_fd;
        m_fd = -1;
        const bool synced = ::fsync(fd) == 0;
        const int syncErr = errno;
        const bool closed = ::close(fd) == 0;
        if (!synced)
            errno = syncErr;
        return synced && closed;
    }
    // Renames the finished file over the target (or, without overwrite, only where none is).
    bool place(const QString &target, bool overwrite)
    {
        const QByteArray to = encoded(target);
        int rc;
        if (overwrite) {
            rc = ::rename(m_name.constData(), to.constData());
        } else {
            rc = ::renameat2(AT_FDCWD, m_name.constData(), AT_FDCWD, to.constData(),
                             RENAME_NOREPLACE);
            if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
                // A file system without the no-replace rename: link() also refuses to replace.
                rc = ::link(m_name.constData(), to.constData());
                if (rc == 0) {
                    ::unlink(m_name.constData());
                } else if (errno == EPERM || errno == ENOTSUP || errno == ENOSYS) {
                    // Nor hard links (exFAT, a reader device over MTP): check, then rename.
                    struct stat st;
                    if (::stat(to.constData(), &st) == 0) {
                        errno = EEXIST;
                    } else {
                        rc = ::rename(m_name.constData(), to.constData());
                    }
                }
            }
        }
        if (rc == 0)
            m_placed = true;
        return rc == 0;
    }

private:
    QByteArray m_name;
    int m_fd = -1;
    int m_err = 0;
    bool m_placed = false;
};

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

// Copies the content of one open file into another; false with errno on failure.
bool copyData(int from, int to, off_t expected)
{
    off_t copied = 0;
    while (true) {
        const ssize_t n = ::copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0);
        if (n > 0) {
            copied += n;
            continue;
        }
        if (n == 0)
            break;
        if (errno == EINTR)
            continue;
        if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            return false;
        // No kernel copy between these files: copy through a buffer from where it stopped.
        std::unique_ptr<char[]> buf(new char[1 << 16]);
        while (true) {
            const ssize_t r = ::read(from, buf.get(), 1 << 16);
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            if (r == 0)
                break;
            if (!writeAll(to, buf.get(), size_t(r)))
                return false;
            copied += r;
        }
        break;
    }
    if (copied != expected) {
        errno = EIO; // the source changed size while it was copied
        return false;
    }
    return true;
}

} // namespace

// Renames one file or folder to a name that differs only in letter case, through a temporary
// name beside it, so that it works also where the file system ignores case.
static FsResult renameCase(const QString &source, const QString &target)
{
    const QByteArray from = encoded(source);
    const QByteArray to = encoded(target);
    const QByteArray middle = encoded(parentPath(target)) + '/' + TempPrefix + "rename-"
        + QByteArray::number(qint64(::getpid()));
    if (::rename(from.constData(), middle.constData()) != 0)
        return failed(source, errno);
    if (::rename(middle.constData(), to.constData()) != 0) {
        const int err = errno;
        ::rename(middle.constData(), from.constData()); // put it back as it was
        return failed(target, err);
    }
    return FsResult::success();
}

QString lastPathPart(const QString &path)
{
    qsizetype end = path.size();
    while (end > 1 && path.at(end - 1) == u'/')
        --end;
    const qsizetype slash = path.lastIndexOf(u'/', end - 1);
    return path.mid(slash + 1, end - slash - 1);
}

QString parentPath(const QString &path)
{
    qsizetype end = path.size();
    while (end > 1 && path.at(end - 1) == u'/')
        --end;
    const qsizetype slash = path.lastIndexOf(u'/', end - 1);
    if (slash < 0)
        return QStringLiteral(".");
    if (slash == 0)
        return QStringLiteral("/");
    return path.left(slash);
}

QString FileSys::Folder::Name() const
{
    return lastPathPart(m_path);
}

Listing FileSys::Folder::SubFolders() const
{
    return listFolder(m_path, Kind::Folder);
}

NameList FileSys::Folder::folderNames(QString *error) const
{
    return listNames(m_path, Kind::Folder, error);
}

NameList FileSys::Folder::fileNames(QString *error) const
{
    return listNames(m_path, Kind::File, error);
}

Listing FileSys::Folder::Files() const
{
    return listFolder(m_path, Kind::File);
}

bool FileSys::Folder::hasAnyFile() const
{
    const Listing l = listFolder(m_path, Kind::File, true);
    return !l.ok || !l.names.empty();
}

bool FileSys::Folder::isEmpty() const
{
    DIR *dir = opendir(encoded(m_path).constData());
    if (!dir)
        return false;
    bool empty = true;
    while (const dirent *e = readdir(dir)) {
        const char *n = e->d_name;
        if (!(n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))) {
            empty = false;
            break;
        }
    }
    closedir(dir);
    return empty;
}

std::optional<FileSys::Folder> FileSys::GetFolder(const QString &path, QString *error) const
{
    struct stat st;
    if (path.isEmpty()) {
        if (error)
            *error = QStringLiteral("No folder is named.");
        return std::nullopt;
    }
    if (!statPath(path, &st)) {
        if (error)
            *error = failed(path, errno).error;
        return std::nullopt;
    }
    if (!S_ISDIR(st.st_mode)) {
        if (error)
            *error = failed(path, ENOTDIR).error;
        return std::nullopt;
    }
    if (::access(encoded(path).constData(), R_OK | X_OK) != 0) {
        if (error)
            *error = failed(path, errno).error;
        return std::nullopt;
    }
    return Folder(path);
}

bool FileSys::FileExists(const QString &path) const
{
    struct stat st;
    return statPath(path, &st) && !S_ISDIR(st.st_mode);
}

bool FileSys::FolderExists(const QString &path) const
{
    struct stat st;
    return statPath(path, &st) && S_ISDIR(st.st_mode);
}

bool FileSys::sameFile(const QString &a, const QString &b) const
{
    struct stat sa, sb;
    return statPath(a, &sa) && statPath(b, &sb) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

FsResult FileSys::CopyFile(const QString &source, const QString &target, bool overwrite) const
{
    if (sameFile(source, target))
        return failed(target, QStringLiteral("The source and the target are the same file."));
    Fd in(::open(encoded(source).constData(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        return failed(source, errno);
    struct stat st;
    if (::fstat(in.get(), &st) != 0)
        return failed(source, errno);
    if (!S_ISREG(st.st_mode))
        return failed(source, QStringLiteral("Not a regular file."));
    if (!overwrite && FileExists(target))
        return failed(target, EEXIST);
    TempFile tmp(target);
    if (tmp.fd() < 0)
        return failed(target, tmp.error());
    if (!copyData(in.get(), tmp.fd(), st.st_size))
        return failed(target, errno);
    ::fchmod(tmp.fd(), st.st_mode & 07777);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(tmp.fd(), times);
    if (!tmp.finish())
        return failed(target, errno);
    if (!tmp.place(target, overwrite))
        return failed(target, errno);
    return FsResult::success();
}

FsResult FileSys::MoveFile(const QString &source, const QString &target, bool overwrite) const
{
    if (sameFile(source, target))
        return failed(target, QStringLiteral("The source and the target are the same file."));
    struct stat st;
    if (::lstat(encoded(source).constData(), &st) != 0)
        return failed(source, errno);
    if (S_ISDIR(st.st_mode))
        return failed(source, EISDIR);
    const QByteArray from = encoded(source);
    const QByteArray to = encoded(target);
    int rc;
    if (overwrite)
        rc = ::rename(from.constData(), to.constData());
    else
        rc = ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
    if (rc == 0)
        return FsResult::success();
    if (errno == EEXIST)
        return failed(target, EEXIST);
    if (errno != EXDEV && !(errno == EINVAL && !overwrite)) {
        // Either end may be at fault (a missing source, a read-only target folder): name both.
        const int err = errno;
        return failed(QStringLiteral("%1\n%2").arg(source, target), err);
    }
    if (errno == EINVAL && !overwrite && !FileExists(target)) {
        // No no-replace rename on this file system: fall back to a plain one.
        if (::rename(from.constData(), to.constData()) == 0)
            return FsResult::success();
        if (errno != EXDEV)
            return failed(source, errno);
    }
    // Another file system: copy completely, then remove the source.
    const FsResult copied = CopyFile(source, target, overwrite);
    if (!copied)
        return copied;
    if (::unlink(from.constData()) != 0) {
        const int err = errno;
        return failed(source,
                      QStringLiteral("The book was copied, but the original could not be "
                                     "removed: %1")
                          .arg(reason(err)));
    }
    return FsResult::success();
}

FsResult FileSys::RenameFile(const QString &source, const QString &target, bool overwrite) const
{
    if (source != target && sameFile(source, target)
        && lastPathPart(source).compare(lastPathPart(target), Qt::CaseInsensitive) == 0) {
        // The same file under a name of other letter case: on a file system that ignores case
        // a plain rename would change nothing, so go through a temporary name.
        return renameCase(source, target);
    }
    return MoveFile(source, target, overwrite);
}

FsResult FileSys::DeleteFile(const QString &path) const
{
    struct stat st;
    if (::lstat(encoded(path).constData(), &st) != 0)
        return failed(path, errno);
    if (S_ISDIR(st.st_mode))
        return failed(path, EISDIR);
    if (::unlink(encoded(path).constData()) != 0)
        return failed(path, errno);
    return FsResult::success();
}

FsResult FileSys::CreateFolder(const QString &path) const
{
    if (::mkdir(encoded(path).constData(), 0777) != 0)
        return failed(path, errno);
    return FsResult::success();
}

FsResult FileSys::MoveFolder(const QString &source, const QString &target) const
{
    const QByteArray from = encoded(source);
    const QByteArray to = encoded(target);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return FsResult::success();
    if (errno != EINVAL && errno != ENOSYS)
        return failed(errno == EEXIST ? target : source, errno);
    // Renaming to a name that differs only in case on a case-insensitive file system names the
    // folder itself; an existing other folder is refused first.
    if (FolderExists(target) && !sameFile(source, target))
        return failed(target, EEXIST);
    if (FolderExists(target))
        return renameCase(source, target);
    if (::rename(from.constData(), to.constData()) != 0)
        return failed(source, errno);
    return FsResult::success();
}

FsResult FileSys::DeleteFolder(const QString &path) const
{
    if (::rmdir(encoded(path).constData()) != 0)
        return failed(path, errno);
    return FsResult::success();
}

FsResult FileSys::CreateTextFile(const QString &path, const QStringList &lines) const
{
    QByteArray content;
    for (const QString &line : lines)
        content += line.toUtf8() + "\r\n";
    return writeFileAtomically(path, content);
}

FsResult FileSys::writeFileAtomically(const QString &path, const QByteArray &content) const
{
    TempFile tmp(path);
    if (tmp.fd() < 0)
        return failed(path, tmp.error());
    // Keep the permissions of the file being replaced.
    struct stat st;
    ::fchmod(tmp.fd(), statPath(path, &st) ? (st.st_mode & 07777) : 0644);
    if (!writeAll(tmp.fd(), content.constData(), size_t(content.size())))
        return failed(path, errno);
    if (!tmp.finish())
        return failed(path, errno);
    if (!tmp.place(path, true))
        return failed(path, errno);
    return FsResult::success();
}

std::optional<QByteArray> FileSys::readFile(const QString &path, qint64 maxBytes,
                                            QString *error) const
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1\n%2").arg(path, f.errorString());
        return std::nullopt;
    }
    return f.read(maxBytes);
}
