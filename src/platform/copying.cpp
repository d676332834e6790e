// Copying, moving and renaming files and folders so that no book is ever lost: a copy goes to a
// temporary name and is put in place only once it is complete and on the device.
#include "fsdetail.h"

#include <QFile>
#include <algorithm>
#include <sys/file.h>
#include <sys/syscall.h>

using namespace fsdetail;

namespace {

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

} // namespace

int FileSys::place(const QByteArray &temp, const Path &target, bool overwrite) const
{
    const SysCalls &sys = this->sys();
    if (overwrite)
        return sys.rename(temp.constData(), target.c_str());
    int rc = sys.renameNoReplace(temp.constData(), target.c_str());
    if (rc == 0 || (errno != EINVAL && errno != ENOSYS))
        return rc;
    // A file system without the no-replace rename: link() also refuses to replace.
    rc = sys.link(temp.constData(), target.c_str());
    if (rc == 0) {
        sys.unlink(temp.constData());
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != ENOSYS)
        return rc;
    // Nor hard links (exFAT, a reader device over MTP): look, then rename. Anything at the
    // name, a dangling link too, counts as taken.
    if (nameState(target) == NameState::Taken) {
        errno = EEXIST;
        return -1;
    }
    return sys.rename(temp.constData(), target.c_str());
}

Result<> FileSys::CopyFile(const Path &source, const Path &target, bool overwrite,
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
    TempFile tmp(sys(), target);
    if (tmp.fd() < 0)
        return failed(target, tmp.error());
    const SysCalls &sys = this->sys();
    if (!copyData(sys, in.get(), tmp.fd(), st.st_size, progress))
        return failed(target, errno);
    ::fchmod(tmp.fd(), st.st_mode & 07777);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(tmp.fd(), times);
    if (!tmp.finish())
        return failed(target, errno);
    if (progress && !progress->advance(st.st_size)) {
        errno = ECANCELED; // the last moment to stop: nothing is in place yet
        return failed(target, errno);
    }
    if (progress && !progress->changeBegins()) {
        errno = ECANCELED; // nothing is in place yet
        return failed(target, errno);
    }
    const int placed = place(tmp.name(), target, overwrite);
    const int err = errno;
    if (progress)
        progress->changeEnded();
    if (placed != 0)
        return failed(target, err);
    tmp.placed();
    return Result<>::success();
}

Result<> FileSys::MoveFile(const Path &source, const Path &target, bool overwrite,
                           CopyProgress *progress) const
{
    if (sameFile(source, target))
        return failed(target, QStringLiteral("The source and the target are the same file."));
    const SysCalls &sys = this->sys();
    struct stat st;
    if (sys.lstat(source.c_str(), &st) != 0)
        return failed(source, errno);
    if (S_ISDIR(st.st_mode))
        return failed(source, EISDIR);
    if (progress && !progress->changeBegins())
        return failed(source, ECANCELED);
    int rc = overwrite ? sys.rename(source.c_str(), target.c_str())
                       : sys.renameNoReplace(source.c_str(), target.c_str());
    if (rc != 0 && !overwrite && (errno == EINVAL || errno == ENOSYS)) {
        // No no-replace rename on this file system: a plain one where nothing is in the way.
        if (nameState(target) == NameState::Taken) {
            errno = EEXIST;
        } else {
            rc = sys.rename(source.c_str(), target.c_str());
        }
    }
    const int renameErr = errno;
    if (progress)
        progress->changeEnded();
    errno = renameErr;
    if (rc == 0)
        return Result<>::success();
    if (errno == EEXIST)
        return failed(target, EEXIST);
    if (errno != EXDEV) {
        // Either end may be at fault (a missing source, a read-only target folder): name both.
        const int err = errno;
        return failed(Path(source.bytes() + '\n' + target.bytes()), err);
    }
    // Another file system: copy completely, then remove the source.
    const Result<> copied = CopyFile(source, target, overwrite, progress);
    if (!copied)
        return copied;
    // The original goes now whatever happens: a book is in one place only.
    if (progress)
        progress->changeBegins();
    const int removed = sys.unlink(source.c_str());
    const int err = errno;
    if (progress)
        progress->changeEnded();
    if (removed != 0) {
        return failed(source,
                      QStringLiteral("The book was copied, but the original could not be "
                                     "removed: %1")
                          .arg(reason(err)));
    }
    return Result<>::success();
}

// Renames one file or folder to a name that differs only in letter case, through a temporary
// name beside it, so that it works also where the file system ignores case.
Result<> FileSys::renameCase(const Path &source, const Path &target) const
{
    const SysCalls &sys = this->sys();
    const QByteArray middle = parentPath(target.bytes()) + '/' + TempPrefix + "rename-"
        + QByteArray::number(qint64(::getpid()));
    if (sys.rename(source.c_str(), middle.constData()) != 0)
        return failed(source, errno);
    if (sys.rename(middle.constData(), target.c_str()) != 0) {
        const int err = errno;
        sys.rename(middle.constData(), source.c_str()); // put it back as it was
        return failed(target, err);
    }
    return Result<>::success();
}

Result<> FileSys::RenameFile(const Path &source, const Path &target, bool overwrite) const
{
    // The same file under a name of other letter case: on a file system that ignores case a
    // plain rename would change nothing, so go through a temporary name.
    if (caseVariants(source.bytes(), target.bytes()) && sameFile(source, target))
        return renameCase(source, target);
    return MoveFile(source, target, overwrite);
}

Result<> FileSys::MoveFolder(const Path &source, const Path &target) const
{
    const SysCalls &sys = this->sys();
    if (sys.renameNoReplace(source.c_str(), target.c_str()) == 0)
        return Result<>::success();
    const int err = errno;
    // A name that differs only in letter case names the folder itself where the file system
    // ignores case: the no-replace rename answers "exists", or refuses to run at all.
    if ((err == EEXIST || err == EINVAL || err == ENOSYS)
        && caseVariants(source.bytes(), target.bytes()) && sameFile(source, target))
        return renameCase(source, target);
    if (err == EEXIST
        || ((err == EINVAL || err == ENOSYS) && nameState(target) == NameState::Taken))
        return failed(target, EEXIST);
    if (err != EINVAL && err != ENOSYS)
        return failed(source, err);
    if (sys.rename(source.c_str(), target.c_str()) != 0)
        return failed(source, errno);
    return Result<>::success();
}
