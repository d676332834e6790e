#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

class QObject;

// The little the bookcase asks of the desktop around it.
namespace Desktop {

// The file URL of a path, carrying its very bytes, also where they are not valid UTF-8; a
// relative path counts from the working folder.
QByteArray fileUrl(const QByteArray &path);
// Opens a URL with the desktop's opener program, without waiting; failed runs when nothing
// opens it. The process belongs to owner.
void open(QObject *owner, const QString &opener, const QByteArray &url,
          const std::function<void()> &failed);

} // namespace Desktop
