#pragma once

#include "naturalsort.h"
#include "result.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

struct stat;

// A path as the bytes the system takes: made from text (written as UTF-8) or from the bytes a
// listing gave, which reach the very file listed even when they are not valid UTF-8. Shown to
// the user as text.
class Path
{
public:
    Path() = default;
    Path(const QByteArray &bytes)
        : m_bytes(bytes)
    { }
    Path(const QString &text)
        : m_bytes(text.toUtf8())
    { }
    Path(const char *text)
        : m_bytes(text)
    { }
    const QByteArray &bytes() const { return m_bytes; }
    const char *c_str() const { return m_bytes.constData(); }
    bool isEmpty() const { return m_bytes.isEmpty(); }
    QString shown() const { return QString::fromUtf8(m_bytes); }
    // This path and a name inside it, joined with one "/".
    Path operator/(const QByteArray &name) const { return Path(m_bytes + '/' + name); }
    bool operator==(const Path &other) const { return m_bytes == other.m_bytes; }

private:
    QByteArray m_bytes;
};

// The last part of a path, with trailing separators ignored.
QByteArray lastPathPart(const QByteArray &path);
// The folder part of a path ("." for a bare name).
QByteArray parentPath(const QByteArray &path);

// What tells one version of a file from the next: a file replaced in one step gets a new
// inode. A missing file has the default stamp.
struct FileStamp
{
    quint64 device = 0, inode = 0;
    qint64 size = -1, modifiedNs = 0;
    bool operator==(const FileStamp &) const = default;
};

// Holds an exclusive lock on a folder between running programs for its lifetime (flock, which
// the system drops with the process); without effect where the folder cannot be opened.
class FolderLock
{
public:
    explicit FolderLock(const Path &folder);
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

private:
    int m_fd;
};

// What a folder holds: files (books on a shelf), hidden files, and folders of any name.
struct FolderContents
{
    int files = 0, hiddenFiles = 0, folders = 0;
    bool empty() const { return files == 0 && hiddenFiles == 0 && folders == 0; }
    // "2 books, 1 hidden file and 3 folders", naming only what there is.
    QString described() const;
};

// Every call the file-system object makes to the system goes through here, so that tests can
// answer as another kind of file system would (one that ignores letter case, has no no-replace
// rename, answers slowly or not at all).
class SysCalls
{
public:
    virtual ~SysCalls() = default;
    virtual int stat(const char *path, struct stat *st) const;
    virtual int lstat(const char *path, struct stat *st) const;
    virtual int access(const char *path, int mode) const;
    // Renames without replacing: fails with EEXIST when the target name is taken.
    virtual int renameNoReplace(const char *from, const char *to) const;
    virtual int rename(const char *from, const char *to) const;
    virtual int link(const char *from, const char *to) const;
    virtual int unlink(const char *path) const;
    virtual int mkdir(const char *path) const;
    virtual int rmdir(const char *path) const;
    // Opens a folder for reading its entries (or for a flush); -1 with errno on failure.
    virtual int openFolder(const char *path) const;
    // Reads a batch of a folder's entries as getdents64 writes them; 0 at the end.
    virtual long readEntries(int fd, char *buffer, size_t size) const;
    // Flushes an open file, or a folder opened for the purpose, to the device.
    virtual int fsync(int fd) const;
    // Copies up to length bytes from one open file to another, at their offsets.
    virtual ssize_t copyRange(int from, int to, size_t length) const;

    // The system's own calls.
    static const SysCalls &system();
};

// Whether a name is taken in its folder (by anything, a dangling link too), free, or cannot be
// told (the folder cannot be looked at).
enum class NameState { Free, Taken, Unknown };

// Told how far a copy has come, and asked whether it may go on.
class CopyProgress
{
public:
    virtual ~CopyProgress() = default;
    // The bytes of the file that have reached the device; false stops the copy.
    virtual bool advance(qint64 flushed) = 0;
    // A step that cannot be stopped once begun (putting the copy in place, the rename of a
    // move, removing a moved book's original) is to begin: false stops it before it does.
    virtual bool changeBegins() { return true; }
    // That step has ended.
    virtual void changeEnded() { }
};

// The file-system object through which every folder and file operation goes.
class FileSys
{
public:
    class Folder
    {
    public:
        explicit Folder(const Path &path, const SysCalls *sys = &SysCalls::system())
            : m_path(path)
            , m_sys(sys)
        { }
        const Path &path() const { return m_path; }
        // Each call reads the folder as it is on disk at that moment, put in order only as far
        // as the names are looked at. Hidden names (a leading ".") are left out; names that are
        // not valid UTF-8 are kept, as bytes that reach exactly that file.
        NameList folderNames(QString *error = nullptr) const;
        // With removeLeftovers, the temporary files that a crash left behind (unlocked and
        // unchanged for an hour) are removed as they are met.
        NameList fileNames(QString *error = nullptr, bool removeLeftovers = false) const;
        // The same names, in the folder's own order, each handed to fn: for a walk over a
        // whole library; false when the folder cannot be read.
        bool eachFileName(const std::function<void(std::string_view)> &fn,
                          QString *error = nullptr) const;
        // Every file and folder, hidden ones too, each handed to fn with whether it is a
        // folder, in one reading: for a walk through a tree (a reader's books).
        bool eachEntry(const std::function<void(std::string_view name, bool folder)> &fn) const;
        // What lies in the folder, hidden or not; all -1 when it cannot be read.
        FolderContents contents() const;

    private:
        Path m_path;
        const SysCalls *m_sys;
    };

    // The calls are the system's own unless a test gives others (which must outlive this and
    // every folder it opened); null gives the system's back.
    void setSysCalls(const SysCalls *calls);
    const SysCalls &sys() const { return *m_sys; }

    // The folder at path, or why it cannot be opened.
    Result<Folder> GetFolder(const Path &path) const;
    // The folder at path, not looked at: reading one that is not there reads nothing. One call
    // fewer than GetFolder, for a listing on a slow share.
    Folder folderAt(const Path &path) const { return Folder(path, m_sys); }
    bool FileExists(const Path &path) const;
    FileStamp stamp(const Path &path) const;
    bool FolderExists(const Path &path) const;
    NameState nameState(const Path &path) const;
    // True when both paths name one existing file (same path, a hard link, a case variant on a
    // file system that ignores case).
    bool sameFile(const Path &a, const Path &b) const;

    // Copies a file, a few MiB at a time, each written to the device as it goes, into a
    // temporary name beside the target. With overwrite, an existing target is replaced only
    // once the copy is complete; without it, a target that exists, or appears meanwhile, is
    // never replaced. A progress that says stop ends it (ECANCELED); the temporary file is
    // removed whenever the copy does not complete.
    Result<> CopyFile(const Path &source, const Path &target, bool overwrite = false,
                      CopyProgress *progress = nullptr) const;
    // Moves a file: a rename within one file system; across file systems it copies, checks the
    // copy, and only then removes the source. The overwrite rules are those of CopyFile.
    Result<> MoveFile(const Path &source, const Path &target, bool overwrite = false,
                      CopyProgress *progress = nullptr) const;
    // Renames a file within its folder. A name that differs only in letter case renames the
    // file even where the file system ignores case; other rules are those of MoveFile.
    Result<> RenameFile(const Path &source, const Path &target, bool overwrite) const;
    Result<> DeleteFile(const Path &path) const;
    Result<> CreateFolder(const Path &path) const;
    // Renames a folder; an existing other target is an error, a case variant of the folder
    // itself is not.
    Result<> MoveFolder(const Path &source, const Path &target) const;
    // Removes an empty folder; a folder with anything in it is refused.
    Result<> DeleteFolder(const Path &path) const;
    // Writes bytes, and a tail after them (no copy of a long content is made), into a new file
    // that replaces path in one step, flushed with its folder: a failure, a crash or a power
    // cut leaves the old file or the new one.
    Result<> writeFileAtomically(const Path &path, QByteArrayView content,
                                 QByteArrayView tail = {}) const;
    // Every file and folder under a folder and its sub-folders, each handed to fn with its path
    // from the folder; fn's answer for a folder says whether to go into it. Hidden names are
    // left out, and a temporary file that a copy which did not end left behind (a reader
    // pulled out) is removed, whatever its age, once no one holds it: for local volumes, where
    // locks hold. A tree deeper or larger than any reader's is read only so far.
    void walk(const Path &folder,
              const std::function<bool(const QByteArray &path, bool folder)> &fn) const;
    // The whole file, at most maxBytes of it, or why it cannot be read.
    Result<QByteArray> readFile(const Path &path, qint64 maxBytes) const;

private:
    bool statPath(const Path &path, struct stat *st) const;
    // Puts a finished temporary file in place under target.
    int place(const QByteArray &temp, const Path &target, bool overwrite) const;
    Result<> renameCase(const Path &source, const Path &target) const;

    const SysCalls *m_sys = &SysCalls::system();
};
