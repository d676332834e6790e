#include "readahead.h"

#include <QFile>

ReadAhead::~ReadAhead()
{
    wait();
}

void ReadAhead::start(const Path &bookFolder, const Path &marksFile)
{
    wait();
    m_bookFolder = bookFolder;
    m_marksFile = marksFile;
    m_shelves = {};
    m_books = {};
    m_marks.reset();
    m_thread = std::thread([this] { run(); });
}

void ReadAhead::run()
{
    m_marksStamp = FileSys().stamp(m_marksFile);
    QFile marks(QFile::decodeName(m_marksFile.bytes()));
    if (marks.open(QIODevice::ReadOnly)) {
        QByteArray bytes = marks.readAll();
        if (marks.error() == QFileDevice::NoError)
            m_marks = std::move(bytes);
    }
    QString error;
    NameList shelves = FileSys::Folder(m_bookFolder).folderNames(&error);
    if (!error.isEmpty())
        return;
    if (!shelves.empty()) {
        const Path first = m_bookFolder / shelves.bytesAt(0);
        NameList books = FileSys::Folder(first).fileNames(&error);
        if (error.isEmpty()) {
            (void)books.at(0); // puts the first pages in order
            m_books = {first, std::move(books)};
        }
    }
    m_shelves = {m_bookFolder, std::move(shelves)};
}

void ReadAhead::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

std::optional<NameList> ReadAhead::take(Names &from, const Path &folder)
{
    std::optional<NameList> names;
    if (from.names && from.folder == folder)
        names.swap(from.names);
    from = {};
    return names;
}

std::optional<NameList> ReadAhead::takeFolderNames(const Path &folder)
{
    wait();
    return take(m_shelves, folder);
}

std::optional<NameList> ReadAhead::takeFileNames(const Path &folder)
{
    wait();
    return take(m_books, folder);
}

std::optional<QByteArray> ReadAhead::takeFile(const Path &path, FileStamp *stamp)
{
    wait();
    std::optional<QByteArray> bytes;
    if (path == m_marksFile)
        bytes.swap(m_marks);
    if (bytes && stamp)
        *stamp = m_marksStamp;
    m_marks.reset();
    return bytes;
}
