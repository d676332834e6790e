// quillrack-thumbnailer [-s SIZE] INPUT OUTPUT
// Writes the cover of the book INPUT (a path or a file:// URI), at most SIZE pixels on its
// longer side (128 when not given), to OUTPUT as a PNG, in one step. The window's program and
// the desktop's file managers run it for one book at a time. Exits 0 when a cover was written,
// 1 when the book shows none, 2 when the arguments or the output are at fault.
#include "readers.h"

#include <QCoreApplication>
#include <QImageWriter>
#include <QSaveFile>
#include <QUrl>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int size = 128;
    if (args.size() == 4 && args[0] == u"-s") {
        bool ok = false;
        size = args[1].toInt(&ok);
        if (!ok || size < 1 || size > 4096)
            size = 0;
        args = args.mid(2);
    }
    if (args.size() != 2 || size == 0) {
        std::fprintf(stderr, "usage: quillrack-thumbnailer [-s SIZE] INPUT OUTPUT\n");
        return 2;
    }
    const QUrl url(args[0]);
    const QString input = url.isLocalFile() ? url.toLocalFile() : args[0];
    const QImage cover = readCover(input, size);
    if (cover.isNull())
        return 1;
    QSaveFile out(args[1]);
    if (!out.open(QIODevice::WriteOnly))
        return 2;
    QImageWriter writer(&out, "png");
    return writer.write(cover) && out.commit() ? 0 : 2;
}
