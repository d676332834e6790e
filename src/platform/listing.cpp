// Listing a folder: once, with the cheapest call that gives names and kinds, hidden names left
// out in one place.
#include "fsdetail.h"

#include <QFile>
#include <algorithm>
#include <sys/file.h>
#include <sys/syscall.h>

using namespace fsdetail;

namespace {

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
// each name of the kind wanted (any kind: each name with its kind); false, with the reason in
// *error, when it cannot be read. Hidden names (a leading ".", the temporary files of a copy
// too) are left out here, and only here, unless asked for; every other name is kept as its
// bytes. fn may first get the folder's size on disk, which grows with its entries.
bool eachName(const SysCalls &sys, const Path &path, std::optional<Kind> wanted,
              const std::function<void(std::string_view, Kind)> &fn, QString *error,
              bool hidden = false, const std::function<void(off_t)> &sized = {})
{
    const int fd = sys.openFolder(path.c_str());
    if (fd < 0) {
        if (error)
            *error = failed(path, errno).error();
        return false;
    }
    struct stat st;
    if (sized && ::fstat(fd, &st) == 0 && st.st_size > 0)
        sized(st.st_size);
    thread_local std::vector<char> buffer(size_t(1) << 16);
    long n;
    while ((n = sys.readEntries(fd, buffer.data(), buffer.size())) > 0) {
        for (long at = 0; at < n;) {
            const auto *e = reinterpret_cast<const LinuxDirent64 *>(buffer.data() + at);
            at += e->reclen;
            const char *name = e->name;
            if (dotOrDotDot(name) || (name[0] == '.' && !hidden))
                continue;
            const Kind kind = kindOf(fd, name, e->type);
            if (!wanted || kind == *wanted)
                fn(std::string_view(name, std::strlen(name)), kind);
        }
    }
    const int err = n < 0 ? errno : 0;
    ::close(fd);
    if (err && error)
        *error = failed(path, err).error();
    return err == 0;
}

// A temporary file of a copy or a save that a crash left behind: no one holds its lock (a copy
// under way holds it, in this program or in another running copy) and it has not changed for an
// hour (or at all, where locks are sure to hold). Such a file is removed.
void removeIfLeftover(const SysCalls &sys, const QByteArray &path, bool anyAge = false)
{
    const Fd fd(::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    // Any age: still not an empty file of the last minute, which a copy may have made a moment
    // ago and not yet taken hold of.
    const auto age = [&] { return ::time(nullptr) - st.st_mtime; };
    if (fd.get() >= 0 && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0 && ::fstat(fd.get(), &st) == 0
        && S_ISREG(st.st_mode) && (anyAge ? st.st_size > 0 || age() > 60 : age() > 3600))
        sys.unlink(path.constData());
}

NameList listNames(const SysCalls &sys, const Path &path, Kind wanted, QString *error,
                   bool removeLeftovers = false)
{
    NameList names;
    std::vector<QByteArray> leftovers;
    // Room for every entry at once spares the copies of a list that keeps outgrowing itself
    // (too much room is never touched).
    eachName(
        sys, path, wanted,
        [&](std::string_view name, Kind) {
            if (name[0] != '.')
                names.add(name);
            else if (name.substr(0, sizeof TempPrefix - 1) == TempPrefix)
                leftovers.push_back(path.bytes() + '/'
                                    + QByteArray(name.data(), qsizetype(name.size())));
        },
        error, removeLeftovers,
        [&](off_t size) {
            const size_t bytes = size_t(std::min<off_t>(size, off_t(1) << 26));
            names.reserve(bytes / 24, bytes);
        });
    for (const QByteArray &leftover : leftovers)
        removeIfLeftover(sys, leftover);
    return names;
}

} // namespace

NameList FileSys::Folder::folderNames(QString *error) const
{
    return listNames(*m_sys, m_path, Kind::Folder, error);
}

NameList FileSys::Folder::fileNames(QString *error, bool removeLeftovers) const
{
    return listNames(*m_sys, m_path, Kind::File, error, removeLeftovers);
}

bool FileSys::Folder::eachFileName(const std::function<void(std::string_view)> &fn,
                                   QString *error) const
{
    return eachName(
        *m_sys, m_path, Kind::File, [&](std::string_view name, Kind) { fn(name); }, error);
}

bool FileSys::Folder::eachEntry(
    const std::function<void(std::string_view name, bool folder)> &fn) const
{
    return eachName(
        *m_sys, m_path, std::nullopt,
        [&](std::string_view name, Kind kind) {
            if (kind != Kind::Other)
                fn(name, kind == Kind::Folder);
        },
        nullptr, true);
}

void FileSys::walk(const Path &folder,
                   const std::function<bool(const QByteArray &path, bool folder)> &fn) const
{
    constexpr size_t MostFolders = 10000, MostEntries = 200000;
    std::vector<QByteArray> folders {QByteArray()};
    size_t entries = 0;
    for (size_t f = 0; f < folders.size() && f < MostFolders && entries < MostEntries; ++f) {
        const QByteArray prefix = folders[f].isEmpty() ? QByteArray() : folders[f] + '/';
        const Path dir = folders[f].isEmpty() ? folder : folder / folders[f];
        eachName(
            sys(), dir, std::nullopt,
            [&](std::string_view entry, Kind kind) {
                const QByteArray name(entry.data(), qsizetype(entry.size()));
                ++entries;
                if (name.startsWith(TempPrefix) && kind == Kind::File)
                    removeIfLeftover(sys(), (dir / name).bytes(), true);
                if (name.startsWith('.') || kind == Kind::Other)
                    return;
                const bool isFolder = kind == Kind::Folder;
                if (fn(prefix + name, isFolder) && isFolder)
                    folders.push_back(prefix + name);
            },
            nullptr, true);
    }
}

FolderContents FileSys::Folder::contents() const
{
    FolderContents c;
    const bool read = eachName(
        *m_sys, m_path, std::nullopt,
        [&](std::string_view name, Kind kind) {
            ++(kind == Kind::Folder ? c.folders : name[0] == '.' ? c.hiddenFiles : c.files);
        },
        nullptr, true);
    return read ? c : FolderContents {-1, -1, -1};
}
