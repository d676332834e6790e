#include "filesys.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

int SysCalls::stat(const char *path, struct stat *st) const
{
    return ::stat(path, st);
}

int SysCalls::lstat(const char *path, struct stat *st) const
{
    return ::lstat(path, st);
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

namespace {

const SysCalls systemCalls;

QString reason(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

FsResult failed(const Path &path, int err)
{
    return FsResult::failure(QStringLiteral("%1\n%2").arg(path.shown(), reason(err)));
}

FsResult failed(const Path &path, const QString &why)
{
    return FsResult::failure(QStringLiteral("%1\n%2").arg(path.shown(), why));
}

// False for a name that is not valid UTF-8: such a name could not be shown or typed back byte
// for byte, so an operation on it might reach another file.
bool validName(const char *raw, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(raw[i]) >= 0x80) {
            // Decoding may drop or replace bytes (a leading byte-order mark, broken sequences):
            // only a name that comes back byte for byte is kept.
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

Kind kindOf(int dirFd, const char *name, unsigned char type)
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

bool dotOrDotDot(const char *n)
{
    return n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0));
}

// An entry as getdents64 writes it.
struct LinuxDirent64
{
    quint64 ino;
    qint64 off;
    unsigned short reclen;
    unsigned char type;
    char name[1];
};

// Reads a folder once, with the cheapest call that gives names and types, and calls fn with
// each name of the kind wanted; false, with the reason in *error, when it cannot be read. For
// the bookcase (shown) hidden names are left out and every other name is kept as its bytes;
// for a list of text, names that are not valid UTF-8 are left out. fn may first get the
// folder's size on disk, which grows with its entries.
bool eachName(const Path &path, Kind wanted, const std::function<void(std::string_view)> &fn,
              QString *error, bool shown = true, const std::function<void(off_t)> &sized = {})
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = failed(path, errno).error;
        return false;
    }
    struct stat st;
    if (sized && ::fstat(fd, &st) == 0 && st.st_size > 0)
        sized(st.st_size);
    thread_local std::vector<char> buffer(size_t(1) << 16);
    long n;
    while ((n = ::syscall(SYS_getdents64, fd, buffer.data(), buffer.size())) > 0) {
        for (long at = 0; at < n;) {
            const auto *e = reinterpret_cast<const LinuxDirent64 *>(buffer.data() + at);
            at += e->reclen;
            const char *name = e->name;
            if (dotOrDotDot(name) || kindOf(fd, name, e->type) != wanted)
                continue;
            const size_t length = std::strlen(name);
            if (shown ? name[0] == '.'
                      : !validName(name, length)
                        || std::strncmp(name, TempPrefix, sizeof TempPrefix - 1) == 0)
                continue;
            fn(std::string_view(name, length));
        }
    }
    const int err = n < 0 ? errno : 0;
    ::close(fd);
    if (err && error)
        *error = failed(path, err).error;
    return err == 0;
}

NameList listNames(const Path &path, Kind wanted, QString *error, bool shown = true)
{
    NameList names;
    // Room for every entry at once spares the copies of a list that keeps outgrowing itself
    // (too much room is never touched).
    eachName(
        path, wanted, [&](std::string_view name) { names.add(name); }, error, shown,
        [&](off_t size) {
            const size_t bytes = size_t(std::min<off_t>(size, off_t(1) << 26));
            names.reserve(bytes / 24, bytes);
        });
    return names;
}

Listing listFolder(const Path &path, Kind wanted)
{
    Listing result;
    const NameList names = listNames(path, wanted, &result.error, false);
    result.ok = result.error.isEmpty();
    result.names.reserve(size_t(names.size()));
    for (int i = 0; i < names.size(); ++i)
        result.names.push_back(names.at(i));
    return result;
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
    explicit TempFile(const Path &target)
    {
        m_name = parentPath(target.bytes()) + '/' + TempPrefix + "XXXXXX";
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
    const QByteArray &name() const { return m_name; }
    void placed() { m_placed = true; }
    // Flushes the data to disk and closes; false (with errno) when any of it failed.
    bool finish(const SysCalls &sys)
    {
        const int fd = m_fd;
        m_fd = -1;
        const bool synced = sys.fsync(fd) == 0;
        const int syncErr = errno;
        const bool closed = ::close(fd) == 0;
        if (!synced)
            errno = syncErr;
        return synced && closed;
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

// Copies the content of one open file into another, a chunk at a time; false with errno on
// failure, ECANCELED when the progress said stop.
bool copyData(const SysCalls &sys, int from, int to, off_t expected, CopyProgress *progress)
{
    constexpr size_t Chunk = 8 << 20;
    constexpr off_t InFlight = 4 * Chunk;
    off_t copied = 0, flushed = 0;
    while (true) {
        const ssize_t n = sys.copyRange(from, to, Chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        // Each chunk is sent to the device at once, and what lies more than a few chunks
        // behind is waited for: the device always has work, the progress counts bytes on the
        // device, and a cancel never waits behind more than those few chunks.
        ::sync_file_range(to, copied, n, SYNC_FILE_RANGE_WRITE);
        copied += n;
        if (copied - flushed > InFlight) {
            ::sync_file_range(to, flushed, copied - InFlight - flushed,
                              SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE
                                  | SYNC_FILE_RANGE_WAIT_AFTER);
            flushed = copied - InFlight;
        }
        if (progress && !progress->advance(flushed)) {
            errno = ECANCELED;
            return false;
        }
    }
    if (copied != expected) {
        errno = EIO; // the source changed size while it was copied
        return false;
    }
    return true;
}

bool caseVariants(const QByteArray &a, const QByteArray &b)
{
    return a != b
        && QString::fromUtf8(lastPathPart(a))
               .compare(QString::fromUtf8(lastPathPart(b)), Qt::CaseInsensitive)
        == 0
        && parentPath(a) == parentPath(b);
}

} // namespace

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

NameList FileSys::Folder::folderNames(QString *error) const
{
    return listNames(m_path, Kind::Folder, error);
}

NameList FileSys::Folder::fileNames(QString *error) const
{
    return listNames(m_path, Kind::File, error);
}

bool FileSys::Folder::eachFileName(const std::function<void(std::string_view)> &fn,
                                   QString *error) const
{
    return eachName(m_path, Kind::File, fn, error);
}

Listing FileSys::Folder::SubFolders() const
{
    return listFolder(m_path, Kind::Folder);
}

Listing FileSys::Folder::Files() const
{
    return listFolder(m_path, Kind::File);
}

FolderContents FileSys::Folder::contents() const
{
    FolderContents c;
    DIR *dir = opendir(m_path.c_str());
    if (!dir)
        return {-1, -1, -1};
    while (const dirent *e = readdir(dir)) {
        if (dotOrDotDot(e->d_name))
            continue;
        if (kindOf(dirfd(dir), e->d_name, e->d_type) == Kind::Folder)
            ++c.folders;
        else
            ++(e->d_name[0] == '.' ? c.hiddenFiles : c.files);
    }
    closedir(dir);
    return c;
}

void FileSys::setSysCalls(const SysCalls *calls)
{
    m_sys = calls;
}

bool FileSys::statPath(const Path &path, struct stat *st) const
{
    return !path.isEmpty() && (m_sys ? m_sys : &systemCalls)->stat(path.c_str(), st) == 0;
}

std::optional<FileSys::Folder> FileSys::GetFolder(const Path &path, QString *error) const
{
    auto fail = [&](const QString &why) -> std::optional<Folder> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    struct stat st;
    if (path.isEmpty())
        return fail(QStringLiteral("No folder is named."));
    if (!statPath(path, &st))
        return fail(failed(path, errno).error);
    if (!S_ISDIR(st.st_mode))
        return fail(failed(path, ENOTDIR).error);
    if (::access(path.c_str(), R_OK | X_OK) != 0)
        return fail(failed(path, errno).error);
    return Folder(path);
}

FileStamp FileSys::stamp(const Path &path) const
{
    struct stat st;
    if (!statPath(path, &st)) // a file that cannot be looked at is not taken for missing
        return errno == ENOENT ? FileStamp() : FileStamp {~0ull, ~0ull, -1, -1};
    return {quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
            qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

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

bool FileSys::anythingAt(const Path &path) const
{
    struct stat st;
    return !path.isEmpty() && (m_sys ? m_sys : &systemCalls)->lstat(path.c_str(), &st) == 0;
}

bool FileSys::missing(const Path &path) const
{
    struct stat st;
    return (m_sys ? m_sys : &systemCalls)->lstat(path.c_str(), &st) != 0 && errno == ENOENT;
}

bool FileSys::sameFile(const Path &a, const Path &b) const
{
    struct stat sa, sb;
    return statPath(a, &sa) && statPath(b, &sb) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

int FileSys::place(const QByteArray &temp, const Path &target, bool overwrite) const
{
    const SysCalls &sys = m_sys ? *m_sys : systemCalls;
    if (overwrite)
        return sys.rename(temp.constData(), target.c_str());
    int rc = sys.renameNoReplace(temp.constData(), target.c_str());
    if (rc == 0 || (errno != EINVAL && errno != ENOSYS))
        return rc;
    // A file system without the no-replace rename: link() also refuses to replace.
    rc = sys.link(temp.constData(), target.c_str());
    if (rc == 0) {
        ::unlink(temp.constData());
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != ENOSYS)
        return rc;
    // Nor hard links (exFAT, a reader device over MTP): look, then rename. Anything at the
    // name, a dangling link too, counts as taken.
    if (anythingAt(target)) {
        errno = EEXIST;
        return -1;
    }
    return sys.rename(temp.constData(), target.c_str());
}

FsResult FileSys::CopyFile(const Path &source, const Path &target, bool overwrite,
                           CopyProgress *progress) const
{
    if (sameFile(source, target))
        return failed(target, QStringLiteral("The source and the target are the same file."));
    Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
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
    const SysCalls &sys = m_sys ? *m_sys : systemCalls;
    if (!copyData(sys, in.get(), tmp.fd(), st.st_size, progress))
        return failed(target, errno);
    ::fchmod(tmp.fd(), st.st_mode & 07777);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(tmp.fd(), times);
    if (!tmp.finish(sys))
        return failed(target, errno);
    if (progress && !progress->advance(st.st_size)) {
        errno = ECANCELED; // the last moment to stop: nothing is in place yet
        return failed(target, errno);
    }
    if (place(tmp.name(), target, overwrite) != 0)
        return failed(target, errno);
    tmp.placed();
    return FsResult::success();
}

FsResult FileSys::MoveFile(const Path &source, const Path &target, bool overwrite,
                           CopyProgress *progress) const
{
    if (sameFile(source, target))
        return failed(target, QStringLiteral("The source and the target are the same file."));
    const SysCalls &sys = m_sys ? *m_sys : systemCalls;
    struct stat st;
    if (sys.lstat(source.c_str(), &st) != 0)
        return failed(source, errno);
    if (S_ISDIR(st.st_mode))
        return failed(source, EISDIR);
    int rc = overwrite ? sys.rename(source.c_str(), target.c_str())
                       : sys.renameNoReplace(source.c_str(), target.c_str());
    if (rc != 0 && !overwrite && (errno == EINVAL || errno == ENOSYS)) {
        // No no-replace rename on this file system: a plain one where nothing is in the way.
        if (anythingAt(target)) {
            errno = EEXIST;
        } else {
            rc = sys.rename(source.c_str(), target.c_str());
        }
    }
    if (rc == 0)
        return FsResult::success();
    if (errno == EEXIST)
        return failed(target, EEXIST);
    if (errno != EXDEV) {
        // Either end may be at fault (a missing source, a read-only target folder): name both.
        const int err = errno;
        return failed(Path(source.bytes() + '\n' + target.bytes()), err);
    }
    // Another file system: copy completely, then remove the source.
    const FsResult copied = CopyFile(source, target, overwrite, progress);
    if (!copied)
        return copied;
    if (::unlink(source.c_str()) != 0) {
        const int err = errno;
        return failed(source,
                      QStringLiteral("The book was copied, but the original could not be "
                                     "removed: %1")
                          .arg(reason(err)));
    }
    return FsResult::success();
}

// Renames one file or folder to a name that differs only in letter case, through a temporary
// name beside it, so that it works also where the file system ignores case.
FsResult FileSys::renameCase(const Path &source, const Path &target) const
{
    const SysCalls &sys = m_sys ? *m_sys : systemCalls;
    const QByteArray middle = parentPath(target.bytes()) + '/' + TempPrefix + "rename-"
        + QByteArray::number(qint64(::getpid()));
    if (sys.rename(source.c_str(), middle.constData()) != 0)
        return failed(source, errno);
    if (sys.rename(middle.constData(), target.c_str()) != 0) {
        const int err = errno;
        sys.rename(middle.constData(), source.c_str()); // put it back as it was
        return failed(target, err);
    }
    return FsResult::success();
}

FsResult FileSys::RenameFile(const Path &source, const Path &target, bool overwrite) const
{
    // The same file under a name of other letter case: on a file system that ignores case a
    // plain rename would change nothing, so go through a temporary name.
    if (caseVariants(source.bytes(), target.bytes()) && sameFile(source, target))
        return renameCase(source, target);
    return MoveFile(source, target, overwrite);
}

FsResult FileSys::DeleteFile(const Path &path) const
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return failed(path, errno);
    if (S_ISDIR(st.st_mode))
        return failed(path, EISDIR);
    if (::unlink(path.c_str()) != 0)
        return failed(path, errno);
    return FsResult::success();
}

FsResult FileSys::CreateFolder(const Path &path) const
{
    if (::mkdir(path.c_str(), 0777) != 0)
        return failed(path, errno);
    return FsResult::success();
}

FsResult FileSys::MoveFolder(const Path &source, const Path &target) const
{
    const SysCalls &sys = m_sys ? *m_sys : systemCalls;
    if (sys.renameNoReplace(source.c_str(), target.c_str()) == 0)
        return FsResult::success();
    const int err = errno;
    // A name that differs only in letter case names the folder itself where the file system
    // ignores case: the no-replace rename answers "exists", or refuses to run at all.
    if ((err == EEXIST || err == EINVAL || err == ENOSYS)
        && caseVariants(source.bytes(), target.bytes()) && sameFile(source, target))
        return renameCase(source, target);
    if (err == EEXIST || ((err == EINVAL || err == ENOSYS) && anythingAt(target)))
        return failed(target, EEXIST);
    if (err != EINVAL && err != ENOSYS)
        return failed(source, err);
    if (sys.rename(source.c_str(), target.c_str()) != 0)
        return failed(source, errno);
    return FsResult::success();
}

FsResult FileSys::DeleteFolder(const Path &path) const
{
    if (::rmdir(path.c_str()) != 0)
        return failed(path, errno);
    return FsResult::success();
}

FsResult FileSys::CreateTextFile(const Path &path, const QStringList &lines) const
{
    QByteArray content;
    for (const QString &line : lines)
        content += line.toUtf8() + "\r\n";
    return writeFileAtomically(path, content);
}

FsResult FileSys::writeFileAtomically(const Path &path, QByteArrayView content,
                                      QByteArrayView tail) const
{
    TempFile tmp(path);
    if (tmp.fd() < 0)
        return failed(path, tmp.error());
    // Keep the permissions of the file being replaced.
    struct stat st;
    ::fchmod(tmp.fd(), statPath(path, &st) ? (st.st_mode & 07777) : 0644);
    const SysCalls &sys = m_sys ? *m_sys : systemCalls;
    if (!writeAll(tmp.fd(), content.data(), size_t(content.size()))
        || !writeAll(tmp.fd(), tail.data(), size_t(tail.size())))
        return failed(path, errno);
    if (!tmp.finish(sys))
        return failed(path, errno);
    if (place(tmp.name(), path, true) != 0)
        return failed(path, errno);
    tmp.placed();
    // The new name is safe only once the folder that holds it is on the device too; the file is
    // in place already, so a folder that cannot be flushed does not make the save a failure.
    const QByteArray folder = parentPath(path.bytes());
    Fd dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        sys.fsync(dir.get());
    return FsResult::success();
}

std::optional<QByteArray> FileSys::readFile(const Path &path, qint64 maxBytes, QString *error) const
{
    QFile f(QFile::decodeName(path.bytes()));
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1\n%2").arg(path.shown(), f.errorString());
        return std::nullopt;
    }
    return f.read(maxBytes);
}
