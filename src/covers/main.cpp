// quillrack-thumbnailer [-s SIZE] INPUT OUTPUT
// quillrack-thumbnailer --details INPUT
// Writes the cover of the book INPUT (a path or a file:// URI), at most SIZE pixels on its
// longer side (128 when not given), to OUTPUT as a PNG, in one step. The window's program and
// the desktop's file managers run it for one book at a time. Exits 0 when a cover was written,
// 1 when the book shows none, 2 when the arguments, the output or opening the book failed.
// With --details it prints what the book says of itself (title, authors, series, year,
// publisher, language) as `key=value` lines instead, and writes nothing.
#include "readers.h"
#include "thumbcache.h"

#include <QCoreApplication>
#include <QFile>
#include <QImageWriter>
#include <QSaveFile>
#include <cstdio>
#include <unistd.h>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The arguments as bytes: a book's name need not be valid text.
    std::vector<QByteArray> args(argv + 1, argv + argc);
    int size = 128;
    if (args.size() == 4 && args[0] == "-s") {
        bool ok = false;
        size = args[1].toInt(&ok);
        if (!ok || size < 1 || size > 4096)
            size = 0;
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.size() != 2 || size == 0) {
        std::fprintf(stderr,
                     "usage: quillrack-thumbnailer [-s SIZE] INPUT OUTPUT\n"
                     "       quillrack-thumbnailer --details INPUT\n");
        return 2;
    }
    const bool details = args.size() == 2 && args[0] == "--details";
    if (details)
        args.erase(args.begin());
    const QByteArray input
        = args[0].startsWith("file://") ? QByteArray::fromPercentEncoding(args[0].mid(7)) : args[0];
    // A book that cannot be opened now (gone, or not readable) is no answer about its cover.
    if (::access(input.constData(), R_OK) != 0)
        return 2;
    if (details) {
        const QByteArray lines = readDetails(input).toLines();
        std::fwrite(lines.constData(), 1, size_t(lines.size()), stdout);
        return 0;
    }
    const QImage cover = readCover(input, size);
    if (cover.isNull())
        return 1;
    QSaveFile out(QFile::decodeName(args[1]));
    if (!out.open(QIODevice::WriteOnly))
        return 2;
    QImageWriter writer(&out, "png");
    return writer.write(Thumbnails::inColour(cover)) && out.commit() ? 0 : 2; // 8-bit RGB(A)
}
