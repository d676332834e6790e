#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

class QObject;

// The little the bookcase asks of the desktop around it.
namespace Desktop {

// The file URL of a path, carrying its very bytes, also where they are not valid UTF-8; a
// relative path counts from the working folder.
QByteArray fileUrl(const QByteArray &path);
// True when the folder lies on a FAT or exFAT volume (a reader device), which refuses some names.
bool onFatVolume(const QString &folder);
struct Volume
{
    QString root; // where it is mounted
    QString label; // the disk's own name, when it has one
};
// The mounted volumes that hold files, in order of their mount points, read from the system's
// table without touching any of them: a share that does not answer is listed all the same.
QList<Volume> mountedVolumes();
// Opens a URL with the desktop's opener program, without waiting; failed runs when nothing
// opens it. The process belongs to owner.
void open(QObject *owner, const QString &opener, const QByteArray &url,
          const std::function<void()> &failed);

} // namespace Desktop
