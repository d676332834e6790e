// Fuzzes the parsing of what books bring to find their cover: the container and package
// documents of an EPUB, the pages whose first image is looked for, hrefs, FB2 books and the
// choice of a comic's first image; and the details a book gives of itself. None may crash or hang,
// and no path found leaves the book.
#include "bookdetails.h"
#include "coverparse.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    auto inside = [](const QString &path) {
        if (path.startsWith(u'/') || path.split(u'/').contains(QStringLiteral("..")))
            std::abort();
    };
    inside(epubPackagePath(bytes));
    inside(epubCoverPath(bytes, QStringLiteral("OEBPS/content.opf"),
                         [&](const QString &) { return bytes; }));
    inside(firstImageOf(bytes, QStringLiteral("OEBPS/text/page.xhtml")));
    inside(resolveHref(QStringLiteral("a/b/page.xhtml"), QString::fromUtf8(bytes)));
    (void)fb2Cover(bytes);
    // What a book says of itself, and the helper's lines of it.
    for (const BookDetails &d : {epubDetails(bytes), fb2Details(bytes), comicInfoDetails(bytes),
                                 BookDetails::fromLines(bytes)})
        (void)BookDetails::fromLines(d.toLines());
    const QStringList names = QString::fromUtf8(bytes).split(u'\n');
    const QString first = firstComicImage(names);
    if (!first.isEmpty() && !names.contains(first))
        std::abort();
    return 0;
}
