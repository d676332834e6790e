#include "thumbcache.h"

#include "versioninfo.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <QStandardPaths>

namespace Thumbnails {

namespace {

QString root()
{
    // Looked up again only when the environment that decides it changes.
    thread_local QByteArray decidedBy;
    thread_local QString folder;
    const QByteArray now = qgetenv("XDG_CACHE_HOME") + '\n' + qgetenv("HOME");
    if (folder.isEmpty() || now != decidedBy) {
        decidedBy = now;
        folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
            + QStringLiteral("/thumbnails");
    }
    return folder;
}

QString nameFor(const QByteArray &uri)
{
    return QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex())
        + QStringLiteral(".png");
}

} // namespace

QByteArray uriOf(const QByteArray &path)
{
    // Letters, digits and the characters a path may keep unescaped; every other byte, those of
    // letters beyond ASCII too, as %XX.
    return "file://" + path.toPercentEncoding("!$&'()*+,-./:=@_~");
}

QString pathFor(const QByteArray &uri, bool large)
{
    return root() + (large ? QStringLiteral("/large/") : QStringLiteral("/normal/")) + nameFor(uri);
}

QString failPathFor(const QByteArray &uri)
{
    return root() + QStringLiteral("/fail/quillrack-") + QLatin1String(VersionInfo::Version) + u'/'
        + nameFor(uri);
}

QImage readFresh(const QString &path, qint64 mtime)
{
    // The keys hold "::", which the reader's own list of texts cannot carry: read whole.
    QImageReader reader(path, "png");
    reader.setAllocationLimit(16);
    const QImage image = reader.read();
    return image.text(QStringLiteral("Thumb::MTime")) == QString::number(mtime) ? image : QImage();
}

bool failedBefore(const QString &failPath, qint64 mtime)
{
    return !readFresh(failPath, mtime).isNull();
}

bool store(const QString &path, const QImage &image, const QByteArray &uri, qint64 mtime,
           qint64 size)
{
    const QString folder = path.left(path.lastIndexOf(u'/'));
    if (!QDir().mkpath(folder))
        return false;
    // The cache's folders are the user's alone, from the thumbnails folder down.
    const QString top = root();
    for (QString f = folder; f == top || f.startsWith(top + u'/'); f.truncate(f.lastIndexOf(u'/')))
        QFile::setPermissions(f, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QImage out = image.isNull() ? QImage(1, 1, QImage::Format_ARGB32) : image;
    if (image.isNull())
        out.fill(Qt::transparent);
    out.setText(QStringLiteral("Thumb::URI"), QString::fromLatin1(uri));
    out.setText(QStringLiteral("Thumb::MTime"), QString::number(mtime));
    out.setText(QStringLiteral("Thumb::Size"), QString::number(size));
    out.setText(QStringLiteral("Software"), QStringLiteral("Quillrack"));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    QImageWriter writer(&file, "png");
    return writer.write(out) && file.commit();
}

} // namespace Thumbnails
