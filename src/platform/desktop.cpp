#include "desktop.h"

#include "diskjobs.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QSet>
#include <QStorageInfo>

namespace Desktop {

QByteArray fileUrl(const QByteArray &path)
{
    const QByteArray absolute
        = path.startsWith('/') ? path : QFile::encodeName(QDir::currentPath()) + '/' + path;
    return "file://" + absolute.toPercentEncoding("/");
}

bool onFatVolume(const QString &folder)
{
    // A volume that does not answer at once is taken as it is: the copy then waits for it.
    const QByteArray type = DiskJobs::within<QByteArray>(150, [folder] {
                                return QStorageInfo(folder).fileSystemType().toLower();
                            }).value_or(QByteArray());
    return type == "vfat" || type == "msdos" || type == "fat" || type == "exfat"
        || type == "fuseblk";
}

namespace {

// A name from the mount table or the label folder, its escapes (\040, \x20) written out.
QString unescaped(const QByteArray &text)
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
    return QString::fromUtf8(out);
}

} // namespace

QList<Volume> mountedVolumes()
{
    // Labels, from the device folder: a symbolic link per label, read without touching a disk.
    QHash<QString, QString> labels;
    for (QDirIterator it(QStringLiteral("/dev/disk/by-label"), QDir::System | QDir::Files);
         it.hasNext();) {
        it.next();
        labels.insert(it.fileInfo().symLinkTarget(), unescaped(it.fileName().toUtf8()));
    }
    // Pseudo file systems and the system's own folders hold no books.
    static const QSet<QByteArray> pseudo {
        "autofs", "binfmt_misc", "bpf",        "cgroup",     "cgroup2",   "configfs", "debugfs",
        "devpts", "devtmpfs",    "efivarfs",   "fusectl",    "hugetlbfs", "mqueue",   "nsfs",
        "proc",   "pstore",      "rpc_pipefs", "securityfs", "selinuxfs", "sysfs",    "tracefs"};
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    QList<Volume> volumes;
    QSet<QString> seen;
    if (!table.open(QIODevice::ReadOnly))
        return volumes;
    for (const QByteArray &line : table.readAll().split('\n')) {
        // id parent dev root mount-point options [optional...] - type source super-options
        const QList<QByteArray> f = line.split(' ');
        const qsizetype dash = f.indexOf("-");
        if (f.size() < 5 || dash < 0 || dash + 2 >= f.size() || pseudo.contains(f[dash + 1]))
            continue;
        const QString root = unescaped(f[4]);
        const bool system = root.startsWith(QStringLiteral("/proc"))
            || root.startsWith(QStringLiteral("/sys")) || root.startsWith(QStringLiteral("/dev"))
            || (root.startsWith(QStringLiteral("/run"))
                && !root.startsWith(QStringLiteral("/run/media")));
        if (system || seen.contains(root))
            continue;
        seen.insert(root);
        volumes.append({root, labels.value(unescaped(f[dash + 2]))});
    }
    std::sort(volumes.begin(), volumes.end(),
              [](const Volume &a, const Volume &b) { return a.root < b.root; });
    return volumes;
}

void open(QObject *owner, const QString &opener, const QByteArray &url,
          const std::function<void()> &failed)
{
    auto *process = new QProcess(owner);
    QObject::connect(process, &QProcess::errorOccurred, owner,
                     [process, failed](QProcess::ProcessError e) {
                         if (e == QProcess::FailedToStart) {
                             failed();
                             process->deleteLater();
                         }
                     });
    QObject::connect(process, &QProcess::finished, owner,
                     [process, failed](int code, QProcess::ExitStatus status) {
                         if (code != 0 || status != QProcess::NormalExit)
                             failed();
                         process->deleteLater();
                     });
    process->start(opener, {QString::fromLatin1(url)});
}

} // namespace Desktop
