#pragma once

#include "bookdetails.h"

#include <QByteArray>
#include <QImage>

// A book file opened for its readers: only a regular file, opened without waiting (a named pipe
// would). One on a network share (NFS, SMB, FUSE) is read into memory first, in large reads,
// when it is not too large: its readers look at it many times over, and each look at the share
// waits for the network. The path is the name's bytes: a name need not be valid text.
class BookFile
{
public:
    explicit BookFile(const QByteArray &path);
    ~BookFile();
    BookFile(const BookFile &) = delete;
    BookFile &operator=(const BookFile &) = delete;
    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    // A path that opens the same bytes (for readers that take a path).
    QByteArray path() const;
    const QString &name() const { return m_name; }

private:
    QByteArray m_path;
    QString m_name;
    int m_fd = -1;
    bool m_inMemory = false;
};

// The cover of a book, at most `size` pixels on its longer side, or a null image when the file
// shows none that can be read: EPUB, PDF, comic archives (CBZ, CB7, CBR, CBT), FB2 (also
// zipped), MOBI/AZW3 and DjVu. Pictures and archive members are read up to fixed limits. Runs
// only in the helper program: the readers parse what any file brings.
QImage readCover(const BookFile &book, int size);
QImage readCover(const QByteArray &path, int size);
// What the book says of itself (title, authors, series, year, publisher, language): EPUB, PDF,
// FB2 (also zipped), MOBI/AZW3, DjVu and comic archives with a ComicInfo.xml; nothing for
// others. Runs only in the helper program, with the same limits as the covers.
BookDetails readDetails(const BookFile &book);
BookDetails readDetails(const QByteArray &path);
