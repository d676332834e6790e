#pragma once

#include "diskexecutor.h"
#include "filesys.h"
#include "marksline.h"

#include <QString>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

class Prompter;
class ReadAhead;

// The state that all windows share, one instance per run, owned by Main and handed to the
// windows by reference.
struct GlobalState
{
    ::FileSys FileSys;
    QString BookFolder; // the Main Book Folder, exactly as configured
    QString ReaderFolder; // the eBook Reader Content Folder; may be empty
    std::optional<FileSys::Folder> RootFolder; // the Main Book Folder, opened at start-up
    // Its shelves: each walk lists them as they are on disk at that moment.
    std::optional<FileSys::Folder> ShelfFolders;
    MarksLine Marks;
    bool MarksLoaded = false; // marks are saved only once they were read
    bool MarksSaveFailed = false; // the last save failed, and the user was told
    // Another copy of the program may write marked.dat too: the file as this copy last read or
    // wrote it, and this copy's changes not yet in it (a name and its colour, 0 for none).
    FileStamp MarksStamp;
    std::vector<std::pair<QByteArray, int>> MarksPending;

    Prompter *prompter = nullptr;
    // The first view's listings and marks, read ahead on a second thread; may be null.
    ReadAhead *readAhead = nullptr;
    // The library's disk is asked off the window's thread, on the disk executor, its answers
    // taken as they come (the program); else here and now (tests of the rules, unless they ask).
    bool offThread = false;

    // Asks the disk: done gets the answer on the window's thread while receiver lives.
    template<class T>
    void askDisk(const QByteArray &path, QObject *receiver, std::function<T()> work,
                 std::function<void(T)> done) const
    {
        if (!offThread)
            return done(work());
        DiskExecutor::shared().ask<T>(path, receiver, std::move(work), std::move(done));
    }
};
