#include "bookdrag.h"

#include <QMimeData>
#include <QUrl>

namespace BookDrag {

namespace {

const QString UriList = QStringLiteral("text/uri-list");
const QString GnomeCopied = QStringLiteral("x-special/gnome-copied-files");
const QString KdeCut = QStringLiteral("application/x-kde-cutselection");

// A file URL's path as the bytes of the file's name, also where they are not valid UTF-8.
QByteArray localPath(const QUrl &url)
{
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
}

} // namespace

QMimeData *bookData(const BookRef &book)
{
    auto *data = new QMimeData;
    data->setData(QLatin1String(MimeType), book.shelf + '/' + book.file);
    return data;
}

QMimeData *clipboardData(const QList<QByteArray> &urls, bool cut)
{
    auto *data = new QMimeData;
    data->setData(UriList, urls.join("\r\n") + "\r\n");
    // What file managers read to tell a cut from a copy.
    data->setData(GnomeCopied, (cut ? "cut\n" : "copy\n") + urls.join('\n'));
    data->setData(KdeCut, cut ? "1" : "0");
    return data;
}

Dropped decode(const QMimeData *data)
{
    Dropped d;
    if (!data)
        return d;
    if (data->hasFormat(QLatin1String(MimeType))) {
        // "shelf/file": a shelf name never holds a "/".
        const QByteArray bytes = data->data(QLatin1String(MimeType));
        const qsizetype slash = bytes.indexOf('/');
        if (slash > 0 && slash + 1 < bytes.size())
            d.book = BookRef {bytes.left(slash), bytes.mid(slash + 1)};
        return d;
    }
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile())
            d.paths << localPath(url);
    }
    d.cut = data->data(KdeCut) == "1"
        || data->data(GnomeCopied).split('\n').value(0).trimmed() == "cut";
    return d;
}

bool shelfTakes(const QMimeData *data, bool ownDrag)
{
    if (data->hasFormat(QLatin1String(MimeType)))
        return ownDrag;
    const QList<QUrl> urls = data->urls();
    return !urls.isEmpty()
        && std::all_of(urls.begin(), urls.end(), [](const QUrl &u) { return u.isLocalFile(); });
}

bool readerTakes(const QMimeData *data, bool ownDrag)
{
    return ownDrag && data->hasFormat(QLatin1String(MimeType));
}

} // namespace BookDrag
