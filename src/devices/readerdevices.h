#pragma once

#include "filesys.h"
#include "readstatus.h"
#include "udisks.h"

#include <QHash>
#include <QObject>
#include <functional>
#include <vector>

struct GlobalState;
class Bookcase;

// A reader device that is attached: a mounted removable volume that is a Kobo (a `.kobo`
// folder at its root; books go to the root), a Kindle (`documents` and `system` at its root;
// books go to `documents`), or the volume on which the configured eBook Reader Content Folder
// lies (books go there).
struct Reader
{
    enum class Kind { Kobo, Kindle, Folder };
    Kind kind = Kind::Folder;
    QString name; // "Kobo eReader": the drive's vendor and model, else what kind it is
    QByteArray books; // where its books go
    UDisks::Volume volume;
    quint64 device = 0; // the device number of its root
    bool operator==(const Reader &) const = default;
};

// What is on a reader: its books with their sizes and how far each was read, and its free space.
struct ReaderContents
{
    struct Book
    {
        QByteArray path; // from the reader's book folder: "Tales/Emma.epub"
        qint64 size = 0;
        ReadStatus status;
    };
    std::vector<Book> books;
    qint64 freeBytes = -1;

    // The reader's copy of a library book, by its file name and size; null when it holds none.
    const Book *find(const QByteArray &fileName, qint64 size) const;
    bool holdsName(const QByteArray &fileName) const { return m_byName.contains(fileName); }
    void index(); // after the books are set

private:
    QHash<QByteArray, std::vector<size_t>> m_byName;
};

// What kind of reader a mounted volume is, if it is one (looked at through the seam: it may
// wait on the device); configured is the eBook Reader Content Folder.
std::optional<Reader> readerOn(const FileSys &fs, const UDisks::Volume &volume,
                               const QByteArray &configured);
// Everything under a reader's book folder (hidden folders left out), read in one walk: each
// book with its size, what KOReader's sidecar folders (`<book>.sdr`) and a Kobo's database
// say of how far it was read, the free space; temporary files of copies that did not end (a
// reader pulled out) are removed as they are met.
ReaderContents readContents(const FileSys &fs, const Reader &reader);

// The readers attached now, followed through UDisks2; what the chosen one holds, read off the
// window's thread when it is attached and again after each send or delete.
class Readers : public QObject
{
    Q_OBJECT
public:
    Readers(GlobalState &g, UDisks &udisks, QObject *parent = nullptr);
    // From now on the library's books are sent to the reader chosen, each send or delete has
    // the reader's books read again, and an eject waits for the library's commands on the reader.
    void follow(Bookcase &bookcase);

    const std::vector<Reader> &attached() const { return m_readers; }
    // Where books go: the reader chosen, else the first; null without one (then the configured
    // folder, as a folder).
    const Reader *current() const;
    void choose(int index);
    const ReaderContents &contents() const { return m_contents; }
    bool reading() const { return m_reading; }
    // Looks at the mounted volumes again (the configured folder changed).
    void look();
    // Which of the library's books (their paths) are on the current reader: a file of the
    // same name and size. Their sizes are looked at off the window's thread; done gets what
    // the window says of each ("on the reader, 45% read"; empty: not on it).
    void whichAreOn(const std::vector<QByteArray> &books, QObject *receiver,
                    std::function<void(std::vector<QString>)> done);
    // Reads the current reader's books and free space again.
    void readAgain();
    // "Kobo eReader · 3.2 GB free" while a reader is attached; empty without one.
    QString line() const;
    // Once the commands on the reader have ended: flushes it, unmounts it and powers it off;
    // done is told what to say (not when the user stopped the wait).
    void eject(const Reader &reader, std::function<void(const Notice &)> done);

signals:
    // Readers came or went, or what the current one holds was read.
    void changed();

private:
    GlobalState &g;
    UDisks &m_udisks;
    Bookcase *m_bookcase = nullptr;
    std::vector<Reader> m_readers;
    QByteArray m_chosen; // the chosen reader's mount point
    ReaderContents m_contents;
    bool m_reading = false;
    int m_looks = 0, m_reads = 0; // the latest question of each kind
};
