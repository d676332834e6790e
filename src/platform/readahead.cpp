#include "readahead.h"

#include "diskexecutor.h"

#include <QFile>

void ReadAhead::start(const FileSys &fs, const Path &bookFolder, const Path &marksFile)
{
    m_state = std::make_shared<State>();
    m_state->fs = fs;
    m_state->bookFolder = bookFolder;
    m_state->marksFile = marksFile;
    DiskExecutor::shared().run(bookFolder.bytes(), [state = m_state] { run(*state); });
}

void ReadAhead::run(State &s)
{
    const FileStamp stamp = s.fs.stamp(s.marksFile);
    std::optional<QByteArray> bytes;
    QFile marks(QFile::decodeName(s.marksFile.bytes()));
    if (marks.open(QIODevice::ReadOnly)) {
        QByteArray read = marks.readAll();
        if (marks.error() == QFileDevice::NoError)
            bytes = std::move(read);
    }
    {
        const std::lock_guard hold(s.lock);
        s.marks = std::move(bytes);
        s.marksStamp = stamp;
        s.marksRead = true;
    }
    s.ready.notify_all();
    QString error;
    NameList shelves = s.fs.folderAt(s.bookFolder).folderNames(&error);
    const bool shelvesRead = error.isEmpty();
    Names books;
    if (shelvesRead && !shelves.empty()) {
        const Path first = s.bookFolder / shelves.bytesAt(0);
        NameList names = s.fs.folderAt(first).fileNames(&error);
        if (error.isEmpty()) {
            (void)names.at(0); // puts the first pages in order
            books = {first, std::move(names)};
        }
    }
    {
        const std::lock_guard hold(s.lock);
        if (shelvesRead)
            s.shelves = {s.bookFolder, std::move(shelves)};
        s.books = std::move(books);
        s.foldersRead = true;
    }
    s.ready.notify_all();
}

std::optional<NameList> ReadAhead::take(Names State::*from, const Path &folder)
{
    if (!m_state)
        return std::nullopt;
    State &s = *m_state;
    std::unique_lock hold(s.lock);
    s.ready.wait(hold, [&s] { return s.foldersRead; });
    Names &names = s.*from;
    std::optional<NameList> taken;
    if (names.names && names.folder == folder)
        taken.swap(names.names);
    names = {};
    return taken;
}

std::optional<NameList> ReadAhead::takeFolderNames(const Path &folder)
{
    return take(&State::shelves, folder);
}

std::optional<NameList> ReadAhead::takeFileNames(const Path &folder)
{
    return take(&State::books, folder);
}

std::optional<QByteArray> ReadAhead::takeFile(const Path &path, FileStamp *stamp)
{
    if (!m_state)
        return std::nullopt;
    State &s = *m_state;
    std::unique_lock hold(s.lock);
    s.ready.wait(hold, [&s] { return s.marksRead; });
    std::optional<QByteArray> bytes;
    if (path == s.marksFile)
        bytes.swap(s.marks);
    if (bytes && stamp)
        *stamp = s.marksStamp;
    s.marks.reset();
    return bytes;
}
