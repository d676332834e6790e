#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

class SysCalls;

// The mounted volumes, from the system's mount table, which is read without touching any of
// them: a share that does not answer is listed all the same. The one place that tells what
// kind of volume a folder lies on.
namespace Volumes {

struct Volume
{
    QByteArray root; // where it is mounted
    QByteArray type; // as the system names it: "ext4", "nfs4", "fuse.sshfs", "vfat"
    QByteArray source; // the device or the share
    QString label; // the disk's own name, when it has one
    quint64 device = 0; // as stat() gives it for the files on it

    // A network share (NFS, SMB, FUSE such as sshfs, but not a local disk through FUSE): the
    // system does not tell of changes that other computers make on it.
    bool isShare() const;
    // FAT or exFAT (a reader device): it refuses some names.
    bool isFat() const;
};

// The volumes that hold files, in order of their mount points.
QList<Volume> mounted();
// The volume whose mount point a path lies under, by the path's name alone: never waits.
Volume holding(const QByteArray &path);
// The volume a path lies on, as the system tells it (a stat of the path, which may wait on the
// disk): nothing when the path cannot be looked at.
std::optional<Volume> of(const QByteArray &path, const SysCalls &sys);

} // namespace Volumes
