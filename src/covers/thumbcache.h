#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// The desktop's shared thumbnail cache, as file managers keep it: $XDG_CACHE_HOME/thumbnails/
// normal (128 px) and large (256 px), each thumbnail a PNG named by the MD5 of the file's URI
// that records the URI, the file's modification time and size; files whose thumbnail could
// not be made are recorded under fail/quillrack-<version>/.
namespace Thumbnails {

// The form of this program's thumbnails, recorded in each as "Software": thumbnails of an
// earlier form are made again once, and fail records of one form are kept apart from others'.
inline constexpr int Format = 2;

// A picture in 8-bit colour channels, with alpha only where it has any: how thumbnails are
// stored, since other programs read them as 8-bit RGB or RGBA.
inline QImage inColour(const QImage &image)
{
    if (image.isNull())
        return image;
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                         : QImage::Format_RGB32);
}

// Where a URI's thumbnail lies: large (256 px) or normal (128 px); and its fail record.
QString pathFor(const QByteArray &uri, bool large);
QString failPathFor(const QByteArray &uri);
// A stored thumbnail that shows the file as it is now (the same modification time), or null.
QImage readFresh(const QString &path, qint64 mtime);
// True when a fail record says that this very version of the file has no cover.
bool failedBefore(const QString &failPath, qint64 mtime);
// Stores a thumbnail, or a fail record (a null image), in one step: mode 0600 in a folder of
// mode 0700. False when it cannot be written.
bool store(const QString &path, const QImage &image, const QByteArray &uri, qint64 mtime,
           qint64 size);

} // namespace Thumbnails
