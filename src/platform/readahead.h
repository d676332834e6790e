#pragma once

#include "filesys.h"
#include "naturalsort.h"

#include <QByteArray>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

// Reads what the first view of a library shows (the marks file, its shelves and the books of
// the first shelf) on a second thread while the windows are being built. Each result is handed
// out once and only for the very path it was read from; whatever could not be read is not
// handed out at all, so the caller reads it again itself and reports the failure as usual. The
// work runs on the disk executor: one stuck on a folder that does not answer is left to it.
class ReadAhead
{
public:
    ReadAhead() = default;
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    // marksFile, then bookFolder's shelves and the books of its first shelf in natural order,
    // through fs, on the disk executor.
    void start(const FileSys &fs, const Path &bookFolder, const Path &marksFile);

    // The listings wait for the reading of the folders; take them off the window's thread.
    std::optional<NameList> takeFolderNames(const Path &folder);
    std::optional<NameList> takeFileNames(const Path &folder);
    // The file's bytes, waiting for the marks file alone; *stamp gets the stamp it had before
    // it was read (never a newer one).
    std::optional<QByteArray> takeFile(const Path &path, FileStamp *stamp = nullptr);

private:
    struct Names
    {
        Path folder;
        std::optional<NameList> names;
    };
    struct State
    {
        std::mutex lock;
        std::condition_variable ready;
        bool marksRead = false, foldersRead = false;
        FileSys fs;
        Path bookFolder, marksFile;
        Names shelves, books;
        std::optional<QByteArray> marks;
        FileStamp marksStamp;
    };
    static void run(State &s);
    std::optional<NameList> take(Names State::*from, const Path &folder);

    std::shared_ptr<State> m_state;
};
