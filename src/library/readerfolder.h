#pragma once

#include "filesys.h"
#include "transfer.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <optional>

struct GlobalState;
class CommandQueue;

// The eBook Reader Content Folder: sending a copy of a book there, and its listing, which the
// window shows open or closed. While the listing is open, a book sent shows in it at once.
class ReaderFolder : public QObject
{
    Q_OBJECT
public:
    ReaderFolder(GlobalState &g, CommandQueue &commands, QObject *parent = nullptr);

    // Asks for the folders (the File Locations dialog) until a reader folder is set; false
    // when the user gave up or the program is ending.
    bool ensureFolder();
    std::function<bool()> askForFolders;

    // Copies the book at a path into the reader folder, after the checks a reader device needs,
    // as a command; sent is told how it ended (not when it was stopped).
    void send(const Path &book, std::function<void(TransferResult)> sent = {});
    // Opens the listing the window shows (read off the window's thread: the folder's files,
    // listed as a shelf is) or closes it. A folder that cannot be read is told of.
    void toggleListing();
    const std::optional<QStringList> &shownListing() const { return m_listing; }
    // The listing is being read to be opened.
    bool reading() const { return m_opening; }

signals:
    void listingChanged();
    // A failure the user must know of (the window shows it).
    void reported(const Notice &notice);

private:
    // Reads the listing again, and shows it when it comes (if it is still open then).
    void readListing();

    GlobalState &g;
    CommandQueue &m_commands;
    std::optional<QStringList> m_listing;
    bool m_opening = false;
};
