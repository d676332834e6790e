#pragma once

#include "filesys.h"
#include "naturalsort.h"

#include <QByteArray>
#include <optional>
#include <thread>

// Reads what the first view of a library shows (its shelves, the books of the first shelf and
// the marks file) on a second thread while the windows are being built. Each result is handed
// out once and only for the very path it was read from; whatever could not be read is not
// handed out at all, so the caller reads it again itself and reports the failure as usual.
class ReadAhead
{
public:
    ReadAhead() = default;
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;
    ~ReadAhead();

    // bookFolder's shelves, the books of its first shelf in natural order, and marksFile.
    void start(const Path &bookFolder, const Path &marksFile);

    // Each waits for the reading to finish.
    std::optional<NameList> takeFolderNames(const Path &folder);
    std::optional<NameList> takeFileNames(const Path &folder);
    // The file's bytes; *stamp gets the stamp it had before it was read (never a newer one).
    std::optional<QByteArray> takeFile(const Path &path, FileStamp *stamp = nullptr);

private:
    struct Names
    {
        Path folder;
        std::optional<NameList> names;
    };
    void run();
    void wait();
    static std::optional<NameList> take(Names &from, const Path &folder);

    std::thread m_thread;
    Path m_bookFolder;
    Path m_marksFile;
    Names m_shelves;
    Names m_books;
    std::optional<QByteArray> m_marks;
    FileStamp m_marksStamp;
};
