#pragma once

#include "filesys.h"
#include "transfer.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <optional>

struct GlobalState;
class CommandQueue;

// A reader device attached, as sending to it needs to know it.
struct ReaderDevice
{
    QString name; // "Kobo eReader"
    QByteArray root; // where it is mounted
    QByteArray books; // where its books go
    QByteArray type; // its file system: "vfat" (FAT32) holds no file of 4 GiB or more
    quint64 device = 0; // the device number of its root when it was looked at
};

// Where books are sent: the reader device attached, else the eBook Reader Content Folder;
// sending a copy of a book there, deleting one, and the listing of its books (sub-folders
// too), which the window shows open or closed. While the listing is open, a book sent or
// deleted shows in it at once.
class ReaderFolder : public QObject
{
    Q_OBJECT
public:
    ReaderFolder(GlobalState &g, CommandQueue &commands, QObject *parent = nullptr);

    // The reader device attached and chosen, if any (the program follows the devices).
    std::function<std::optional<ReaderDevice>()> device;

    // Asks for the folders (the File Locations dialog) until a reader folder is set; false
    // when the user gave up or the program is ending. Not needed while a device is attached.
    bool ensureFolder();
    std::function<bool()> askForFolders;

    // Copies the book at a path to the reader, after the checks a reader device needs (room,
    // the size a FAT32 reader holds, the names a FAT reader takes), as a command; sent is told
    // how it ended (not when it was stopped).
    void send(const Path &book, std::function<void(TransferResult)> sent = {});
    // Deletes a book of the listing (its path from the book folder) and its sidecar folder,
    // once the user agrees.
    void deleteBook(const QByteArray &path);
    // Opens the listing the window shows (read off the window's thread) or closes it. A
    // folder that cannot be read is told of.
    void toggleListing();
    // An open listing is read again (another reader was chosen, one came or went).
    void readAgain()
    {
        if (m_listing)
            readListing();
    }
    // The books listed, by their paths from the book folder, in natural order.
    const std::optional<QList<QByteArray>> &shownListing() const { return m_listing; }
    // The listing is being read to be opened.
    bool reading() const { return m_opening; }

signals:
    void listingChanged();
    // A send or a delete changed what the reader holds.
    void readerChanged();
    // A failure the user must know of (the window shows it).
    void reported(const Notice &notice);

private:
    // The folder books go to now: the device's, or the configured one (empty: none set).
    QByteArray folder() const;
    // Reads the listing again, and shows it when it comes (if it is still open then).
    void readListing();

    GlobalState &g;
    CommandQueue &m_commands;
    std::optional<QList<QByteArray>> m_listing;
    bool m_opening = false;
};
