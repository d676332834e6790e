#include "volumes.h"

#include "filesys.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace Volumes {

namespace {

// A name from the mount table or the label folder, its escapes (\040, \x20) written out.
QByteArray unescaped(const QByteArray &text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool octal
            = text[i] == '\\' && i + 3 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '3';
        const bool hex = text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x';
        bool ok = false;
        const int value = octal ? text.mid(i + 1, 3).toInt(&ok, 8)
            : hex               ? text.mid(i + 2, 2).toInt(&ok, 16)
                                : 0;
        out += ok ? char(value) : text[i];
        if (ok)
            i += 3;
    }
    return out;
}

// Every line of the mount table: id parent major:minor root mount-point options [optional...]
// - type source super-options. Read again at most every second: it is asked for each job.
QList<Volume> table()
{
    // Never destroyed: a thread that the program left in a call may look here at its end.
    struct Kept
    {
        QMutex lock;
        QList<Volume> volumes;
        QElapsedTimer read;
    };
    static Kept *const kept = new Kept;
    const QMutexLocker hold(&kept->lock);
    if (kept->read.isValid() && kept->read.elapsed() < 1000)
        return kept->volumes;
    kept->read.start();
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    QList<Volume> &volumes = kept->volumes;
    volumes.clear();
    if (!file.open(QIODevice::ReadOnly))
        return volumes;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        const qsizetype dash = f.indexOf("-");
        if (f.size() < 5 || dash < 0 || dash + 2 >= f.size())
            continue;
        const QList<QByteArray> number = f[2].split(':');
        Volume v;
        v.root = unescaped(f[4]);
        v.type = f[dash + 1];
        v.source = unescaped(f[dash + 2]);
        v.device = makedev(number.value(0).toUInt(), number.value(1).toUInt());
        volumes.append(v);
    }
    return volumes;
}

bool under(const QByteArray &path, const QByteArray &root)
{
    return root == "/" || path == root || path.startsWith(root + '/');
}

} // namespace

bool Volume::isShare() const
{
    static const QSet<QByteArray> shares {"nfs",  "nfs4", "cifs", "smb3", "smbfs",
                                          "fuse", "9p",   "ceph", "afs",  "davfs"};
    return shares.contains(type) || (type.startsWith("fuse.") && type != "fuse.portal");
}

bool Volume::isFat() const
{
    static const QSet<QByteArray> fat {"vfat", "msdos", "fat", "exfat", "fuseblk"};
    return fat.contains(type);
}

QList<Volume> mounted()
{
    // Labels, from the device folder: a symbolic link per label, read without touching a disk.
    QHash<QByteArray, QString> labels;
    for (QDirIterator it(QStringLiteral("/dev/disk/by-label"), QDir::System | QDir::Files);
         it.hasNext();) {
        it.next();
        labels.insert(QFile::encodeName(it.fileInfo().symLinkTarget()),
                      QString::fromUtf8(unescaped(it.fileName().toUtf8())));
    }
    // Pseudo file systems and the system's own folders hold no books.
    static const QSet<QByteArray> pseudo {
        "autofs", "binfmt_misc", "bpf",        "cgroup",     "cgroup2",   "configfs", "debugfs",
        "devpts", "devtmpfs",    "efivarfs",   "fusectl",    "hugetlbfs", "mqueue",   "nsfs",
        "proc",   "pstore",      "rpc_pipefs", "securityfs", "selinuxfs", "sysfs",    "tracefs"};
    QList<Volume> volumes;
    QSet<QByteArray> seen;
    for (Volume &v : table()) {
        const QByteArray &root = v.root;
        const bool system = root.startsWith("/proc") || root.startsWith("/sys")
            || root.startsWith("/dev")
            || (root.startsWith("/run") && !root.startsWith("/run/media"));
        if (system || pseudo.contains(v.type) || seen.contains(root))
            continue;
        seen.insert(root);
        v.label = labels.value(v.source);
        volumes.append(v);
    }
    std::sort(volumes.begin(), volumes.end(),
              [](const Volume &a, const Volume &b) { return a.root < b.root; });
    return volumes;
}

Volume holding(const QByteArray &path)
{
    // The last mount on the longest mount point wins: it hides those below it.
    Volume best;
    for (const Volume &v : table()) {
        if (under(path, v.root) && v.root.size() >= best.root.size())
            best = v;
    }
    return best;
}

std::optional<Volume> of(const QByteArray &path, const SysCalls &sys)
{
    struct stat st;
    if (sys.stat(path.constData(), &st) != 0)
        return std::nullopt;
    std::optional<Volume> found;
    for (const Volume &v : table()) {
        if (v.device == st.st_dev && (!found || under(path, v.root)))
            found = v;
    }
    // A volume the table does not show by its number (a subvolume): the one the name lies on.
    return found ? found : std::optional(holding(path));
}

} // namespace Volumes
