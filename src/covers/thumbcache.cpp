#include "thumbcache.h"

#include "fileuri.h"
#include "versioninfo.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QSaveFile>
#include <QStandardPaths>
#include <csetjmp>
#include <cstdio>
#include <png.h>
#include <vector>

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

// libpng reports a damaged file by a long jump: each step that may fail has a function of its own
// that holds plain values alone.
bool readHeader(png_structp png, png_infop info, FILE *file, png_uint_32 *width,
                png_uint_32 *height, bool *alpha)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_init_io(png, file);
    png_set_user_limits(png, 4096, 4096);
    png_read_info(png, info);
    *width = png_get_image_width(png, info);
    *height = png_get_image_height(png, info);
    *alpha = (png_get_color_type(png, info) & PNG_COLOR_MASK_ALPHA)
        || png_get_valid(png, info, PNG_INFO_tRNS);
    // Into the layout of a 32-bit QImage pixel.
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    png_set_bgr(png);
    if (!*alpha)
        png_set_filler(png, 0xff, PNG_FILLER_AFTER);
#else
    png_set_swap_alpha(png);
    if (!*alpha)
        png_set_filler(png, 0xff, PNG_FILLER_BEFORE);
#endif
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return png_get_rowbytes(png, info) == size_t(*width) * 4;
}

bool readRows(png_structp png, png_infop info, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_image(png, rows);
    png_read_end(png, info); // texts may follow the picture
    return true;
}

// What this program writes as a thumbnail's "Software".
QByteArray software()
{
    return "Quillrack thumbnail " + QByteArray::number(Format);
}

QString nameFor(const QByteArray &uri)
{
    return QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex())
        + QStringLiteral(".png");
}

} // namespace

QString pathFor(const QByteArray &uri, bool large)
{
    return root() + (large ? QStringLiteral("/large/") : QStringLiteral("/normal/")) + nameFor(uri);
}

QString failPathFor(const QByteArray &uri)
{
    return root()
        + QStringLiteral("/fail/quillrack-%1-%2/")
              .arg(QLatin1String(VersionInfo::Version))
              .arg(Format)
        + nameFor(uri);
}

QImage readFresh(const QString &path, qint64 mtime)
{
    // Read with libpng itself: the keys hold "::", which the toolkit's reader cannot look up
    // without decoding the picture anyway, and a page of small pictures is read at half the cost.
    FILE *file = std::fopen(QFile::encodeName(path).constData(), "rbe");
    if (!file)
        return {};
    png_structp png = png_create_read_struct(
        PNG_LIBPNG_VER_STRING, nullptr, [](png_structp p, png_const_charp) { png_longjmp(p, 1); },
        [](png_structp, png_const_charp) {});
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    png_uint_32 width = 0, height = 0;
    bool alpha = false;
    QImage image;
    if (info && readHeader(png, info, file, &width, &height, &alpha)) {
        image
            = QImage(int(width), int(height), alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        std::vector<png_bytep> rows(height);
        for (png_uint_32 y = 0; y < height && !image.isNull(); ++y)
            rows[y] = image.scanLine(int(y));
        png_textp texts = nullptr;
        int count = 0;
        bool fresh = false, earlierForm = false;
        if (!image.isNull() && readRows(png, info, rows.data())) {
            png_get_text(png, info, &texts, &count);
            for (int i = 0; i < count; ++i) {
                const QByteArrayView key(texts[i].key), text(texts[i].text);
                fresh = fresh || (key == "Thumb::MTime" && text == QByteArray::number(mtime));
                // One of ours of an earlier form may be drawn wrongly: it is made again.
                earlierForm = earlierForm
                    || (key == "Software" && text.startsWith("Quillrack") && text != software());
            }
        }
        if (earlierForm)
            fresh = false;
        if (!fresh)
            image = QImage();
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return image;
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
    QImage out = image.isNull() ? QImage(1, 1, QImage::Format_ARGB32) : inColour(image);
    if (image.isNull())
        out.fill(Qt::transparent);
    out.setText(QStringLiteral("Thumb::URI"), QString::fromLatin1(uri));
    out.setText(QStringLiteral("Thumb::MTime"), QString::number(mtime));
    out.setText(QStringLiteral("Thumb::Size"), QString::number(size));
    out.setText(QStringLiteral("Software"), QString::fromLatin1(software()));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    QImageWriter writer(&file, "png");
    return writer.write(out) && file.commit();
}

} // namespace Thumbnails
