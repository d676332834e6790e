// quillrack-thumbnailer [--details] [-s SIZE] INPUT OUTPUT
// quillrack-thumbnailer --details INPUT
// quillrack-thumbnailer --batch
// Writes the cover of the book INPUT (a path or a file:// URI), at most SIZE pixels on its
// longer side (128 when not given), to OUTPUT as a PNG, in one step. The desktop's file
// managers run it for one book at a time. Exits 0 when a cover was written, 1 when the book
// shows none, 2 when the arguments, the output or opening the book failed.
// With --details it prints what the book says of itself (title, authors, series, year,
// publisher, language) as `key=value` lines too, or only those when no OUTPUT is given.
// A book on a network share is read into memory once, in large reads (see BookFile).
// With --batch it answers many books, one request a line on its standard input: INPUT for the
// details alone, or INPUT, SIZE and OUTPUT separated by tabs for the cover too (a path with a
// tab or a line break goes as a file:// URI). Each answer is the details' lines, then
// `cover=0|1|2` as the exit codes above when a cover was asked for, then an empty line; the
// answers are written out together at least every 20 ms.
#include "readers.h"
#include "thumbcache.h"

#include <QCoreApplication>
#include <QFile>
#include <QImageWriter>
#include <QSaveFile>
#include <atomic>
#include <cstdio>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

QByteArray pathOf(const QByteArray &input)
{
    return input.startsWith("file://") ? QByteArray::fromPercentEncoding(input.mid(7)) : input;
}

// The cover of the book written to output: 0 written, 1 none, 2 failed.
int writeCover(const BookFile &book, int size, const QByteArray &output)
{
    const QImage cover = readCover(book, size);
    if (cover.isNull())
        return 1;
    QSaveFile out(QFile::decodeName(output));
    if (!out.open(QIODevice::WriteOnly))
        return 2;
    QImageWriter writer(&out, "png");
    return writer.write(Thumbnails::inColour(cover)) && out.commit() ? 0 : 2; // 8-bit RGB(A)
}

int sizeOf(const QByteArray &text)
{
    bool ok = false;
    const int size = text.toInt(&ok);
    return ok && size >= 1 && size <= 4096 ? size : 0;
}

void print(const QByteArray &text)
{
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fflush(stdout);
}

int batch()
{
    // Answers go out together, every 20 ms or when the buffer fills, rather than one write
    // each; so the answers of books done before one that hangs reach the caller all the same.
    static char buffer[1 << 16];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    std::atomic<bool> ended = false;
    std::thread flusher([&ended] {
        while (!ended) {
            ::usleep(20000);
            std::fflush(stdout); // stdio locks the stream: safe beside the writer
        }
    });
    char *line = nullptr;
    size_t room = 0;
    ssize_t read;
    while ((read = ::getline(&line, &room, stdin)) > 0) {
        QByteArray text(line, read);
        if (text.endsWith('\n'))
            text.chop(1);
        const QList<QByteArray> request = text.split('\t');
        const BookFile book(pathOf(request[0])); // opened once for both
        QByteArray answer = book.isOpen() ? readDetails(book).toLines() : QByteArray();
        if (request.size() == 3) {
            const int size = sizeOf(request[1]);
            answer += "cover="
                + QByteArray::number(book.isOpen() && size ? writeCover(book, size, request[2]) : 2)
                + '\n';
        }
        answer += '\n';
        std::fwrite(answer.constData(), 1, size_t(answer.size()), stdout);
    }
    std::free(line);
    ended = true;
    flusher.join();
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The arguments as bytes: a book's name need not be valid text.
    std::vector<QByteArray> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "--batch")
        return batch();
    const bool details = !args.empty() && args[0] == "--details";
    if (details)
        args.erase(args.begin());
    int size = 128;
    if (args.size() == 4 && args[0] == "-s") {
        size = sizeOf(args[1]);
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty() || args.size() > 2 || (args.size() == 1 && !details) || size == 0) {
        std::fprintf(stderr,
                     "usage: quillrack-thumbnailer [--details] [-s SIZE] INPUT OUTPUT\n"
                     "       quillrack-thumbnailer --details INPUT\n"
                     "       quillrack-thumbnailer --batch\n");
        return 2;
    }
    // A book that cannot be opened now (gone, or not readable) is no answer about its cover.
    const BookFile book(pathOf(args[0]));
    if (!book.isOpen())
        return 2;
    if (details)
        print(readDetails(book).toLines());
    return args.size() == 2 ? writeCover(book, size, args[1]) : 0;
}
