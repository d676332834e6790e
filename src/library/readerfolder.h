#pragma once

#include "filesys.h"
#include "transfer.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <optional>

struct GlobalState;

// The eBook Reader Content Folder: sending a copy of a book there, and its listing, which the
// window shows open or closed. While the listing is open, a book sent shows in it at once.
class ReaderFolder : public QObject
{
    Q_OBJECT
public:
    explicit ReaderFolder(GlobalState &g, QObject *parent = nullptr);

    // Asks for the folders (the File Locations dialog) until a reader folder is set; false
    // when the user gave up or the program is ending.
    bool ensureFolder();
    std::function<bool()> askForFolders;

    // Copies the book at a path into the reader folder, after the checks a reader device needs.
    TransferResult send(const Path &book);
    // The files of the folder, listed as a shelf is (hidden names left out, every other one
    // shown); nothing when no folder is set or it cannot be read (the user is told).
    std::optional<QStringList> listing();
    // Opens (reads) or closes the listing the window shows.
    void toggleListing();
    const std::optional<QStringList> &shownListing() const { return m_listing; }

signals:
    void listingChanged();
    // A failure the user must know of (the window shows it).
    void reported(const Notice &notice);

private:
    GlobalState &g;
    std::optional<QStringList> m_listing;
};
