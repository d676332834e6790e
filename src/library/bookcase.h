#pragma once

#include "commandqueue.h"
#include "filesys.h"
#include "librarywatcher.h"
#include "naturalsort.h"
#include "pager.h"
#include "readerfolder.h"

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <array>
#include <functional>
#include <vector>

struct GlobalState;
class ReadAhead;

// A book as it travels in a drag: the shelf it lies on and its file name, as bytes.
struct BookRef
{
    QByteArray shelf;
    QByteArray file;
};

// What one slot of a page shows; an empty name is a hidden slot.
struct ShelfSlot
{
    QByteArray name;
    bool current = false; // drawn as the current shelf
};

struct BookSlot
{
    QByteArray file;
    QByteArray shelf;
    int colour = 0; // mark colour number, 0 for none
};

// The book or shelf that the pop-up commands act on, set in one call when a pop-up opens. A
// shelf's pop-up leaves the book fields as they were.
struct PopUpTarget
{
    QByteArray BookName;
    int BookNumber = -1; // the book's slot
    QByteArray ShelfName;
    int ShelfIndex = -1; // the shelf's slot (for a book, the current shelf's)
};

enum class Grid { Shelves, Books };

// The bookcase as the shelf window shows it, without a widget: the shelves of the Main Book
// Folder and the books of the current shelf, each grid paged by a Pager, what each shown slot
// holds, the pop-up target, and what each click, drop and command does to them. Every
// operation ends with one signal for each grid it changed, sent once the pages are complete;
// the window draws on them and hands its input here. Names are the bytes the file system gave.
class Bookcase : public QObject
{
    Q_OBJECT
public:
    static constexpr int ShelfSlots = ShelfGrid.slotCount();
    static constexpr int BookSlots = BookGrid.slotCount();

    explicit Bookcase(GlobalState &g, QObject *parent = nullptr);

    // Reads the marks, then shows the library from its first page, its first shelf current.
    void load();
    void showLibrary();
    // Reads the shelf names from the Main Book Folder; the page stays where it can.
    void CreateShelves();
    // Fills the page of shelves the shelf position shows, marking the current shelf's slot.
    void FillShelves();
    // Reads the books of the current shelf.
    void CreateBooks();
    // Fills the page of books the book position shows, with their mark colours.
    void FillBooks();
    // Reads both lists afresh from their first pages; the current shelf stays current when
    // it is on the first page, else the first shelf becomes current.
    void refresh();
    // Makes the shelf of a slot current and lists its books, then goes on with then.
    void chooseShelf(int slot, std::function<void()> then = {});

    // Paging and the keyboard's place in each grid. A scroll to a position, or by rows (the
    // wheel), stays within the list; a list that fits its page does not scroll.
    void scroll(Grid grid, int position);
    void scrollBy(Grid grid, int rows) { scroll(grid, pager(grid).position() + rows); }
    void scrollShelves(int position) { scroll(Grid::Shelves, position); }
    void scrollBooks(int position) { scroll(Grid::Books, position); }
    void moveFocus(Grid grid, FocusMove move);
    // Puts a grid's focus on a list position (a click puts it on the slot clicked).
    void focusOn(Grid grid, int index);
    const Pager &pager(Grid grid) const { return grid == Grid::Books ? m_bookPager : m_shelfPager; }

    const NameList &ShelfList() const { return m_shelves; }
    const NameList &BookList() const { return m_books; }
    int BookCount() const { return m_books.size(); }
    // The slot of the current shelf, when the page shows it (else where it last was).
    int SelectedShelf() const { return m_selectedShelf; }
    const QByteArray &currentShelf() const { return m_current; }
    int shelfPosition() const { return m_shelfPager.position(); }
    int bookPosition() const { return m_bookPager.position(); }
    int shelfFocusSlot() const { return m_shelfPager.focusSlot(); }
    int bookFocusSlot() const { return m_bookPager.focusSlot(); }
    const ShelfSlot &shelfSlot(int slot) const;
    const BookSlot &bookSlot(int slot) const;

    void aimAtShelf(int slot);
    void aimAtBook(int slot);
    const PopUpTarget &target() const { return m_target; }

    // Whether a book dropped on a shelf moves (else it is copied).
    void setMoveOnDrop(bool move) { m_moveOnDrop = move; }
    // A book dropped on a shelf slot: moved or copied to the shelf the slot shows at the drop,
    // then the books read again.
    void dropBook(int shelfSlot, const BookRef &book);
    // Files dropped from a file manager (copied), or pasted (copied, or moved when cut), on the
    // shelf a slot shows now: the same transfer as a drop there; done is told how it ended.
    void dropFiles(int shelfSlot, const QList<QByteArray> &paths, bool move = false,
                   std::function<void(const TransferOutcome &)> done = {});
    // A book dropped on the reader picture (or sent from its pop-up): a copy into the eBook
    // Reader Content Folder.
    void sendToReader(const BookRef &book);
    ReaderFolder &reader() { return m_reader; }

    // Runs a command as a job (the pop-up commands' way to the disk); see CommandQueue.
    void runCommand(CommandQueue::Command command);
    CommandQueue &commands() { return m_queue; }
    // The program ends: every command stops, and nothing it would do after is done.
    void stopCommands();

    // Opens the book of a slot with the desktop's program for its type, without waiting; says
    // so when nothing opens it.
    void openBook(int slot);
    QString opener = QStringLiteral("xdg-open"); // the desktop's opener; tests give another

    // Tells the window of a failure (nothing when the notice is empty).
    void report(const Notice &notice)
    {
        if (notice)
            emit reported(notice);
    }

    // A shelf's books as a listing read them (off the window's thread).
    struct BookListing
    {
        QByteArray shelf;
        NameList names;
        FileStamp id; // the shelf's folder as the system knows it
    };
    static BookListing readBooks(const FileSys &fs, const Path &library, const QByteArray &shelf,
                                 ReadAhead *ahead = nullptr);

    // What the commands change, and nothing else of the window.
    void reloadShelves();
    void reloadBooks();
    // What a command did to the books of a shelf (a name gone, a name come), shown at once
    // without a listing: the watcher reads the shelf again a moment later all the same.
    void booksChangedBy(const QByteArray &shelf, const QByteArray &gone,
                        const QByteArray &come = {});
    void redrawShelves();
    void showColour(int slot, int colour);
    void currentShelfRenamed(const QByteArray &name);
    void showFirstShelf();

    // Makes a book's shelf current and pages both grids to it, the book grid's focus on the
    // book, once the shelf's books have been read; says so when the shelf or the book is not
    // there (any more). shown is told which.
    void showBook(const BookRef &book, std::function<void(bool found)> shown = {});

    // Reads both lists again after another program changed the folders, keeping the current
    // shelf, both pages and both focuses wherever they still are; a current shelf that is gone
    // gives way to the first one. Runs by itself shortly after the folders change, never while
    // a command asks or works.
    void followDisk();
    const LibraryWatcher &watcher() const { return m_watcher; }
    // True while the Main Book Folder is not there (a disk unplugged); Refresh looks again.
    bool libraryMissing() const { return m_missing; }

    // With the library read off the window's thread (the program does; tests may), a grid
    // whose listing has not come yet is reading; its page stays as it was until the answer.
    bool reading(Grid grid) const
    {
        return grid == Grid::Books ? m_readingBooks : m_readingShelves;
    }
    // True once a listing has not come for three seconds: the folder is not answering.
    bool notAnswering() const { return m_notAnswering; }
    // Waits three seconds more before saying so again.
    void keepWaiting();

    // True when the book list read last is of the book's shelf and lacks it.
    bool bookGone(const BookRef &book) const;
    // The Main Book Folder as configured.
    const QString &libraryFolder() const;
    // BookFolder/shelf/file as a path.
    Path bookPath(const QByteArray &shelf, const QByteArray &file = QByteArray()) const;
    // The file URL of a slot's book, carrying its name's very bytes.
    QByteArray bookUrl(int slot) const;

signals:
    // The shelf grid, its scroll bar or focus, or the current shelf changed.
    void shelvesChanged();
    // The book grid, its scroll bar or focus, or the book count changed.
    void booksChanged();
    // One book's mark colour changed (and nothing else of the book grid).
    void bookColourChanged(int slot);
    // Something failed that the user must know of; the window shows it.
    void reported(const Notice &notice);
    // Books or shelves changed on disk through the program, or the library was read afresh.
    void libraryChanged();

private:
    friend class CommandScope;
    class Change;
    void begin() { ++m_changing; }
    void end();
    void markCurrentSlot();
    void fill(Grid grid) { grid == Grid::Books ? FillBooks() : FillShelves(); }
    void touched(Grid grid) { (grid == Grid::Books ? m_booksDirty : m_shelvesDirty) = true; }
    // Asks the disk for a grid's listing: here and now in tests, else on the disk executor;
    // only the answer to the latest question of the grid is taken.
    template<class T> void ask(Grid grid, std::function<T()> work, std::function<void(T)> done);
    void setReading(Grid grid, bool reading);
    // Reads the shelves, then fills their page and goes on with then; followRename looks for
    // a current shelf that another program renamed.
    void listShelves(std::function<void()> then = {}, bool followRename = false);
    void listBooks(std::function<void()> then = {});
    void takeBooks(BookListing listing);
    // Follows the folders shown for changes by other programs.
    void follow();
    // Looks at a library on a network share for changes now and then.
    void poll();

    GlobalState &g;
    NameList m_shelves;
    NameList m_books;
    QByteArray m_current;
    QByteArray m_booksShelf; // the shelf the book list was read from
    QByteArray m_renamed; // the current shelf's new name, when another program renamed it
    FileStamp m_currentId; // the current shelf's folder as the system knows it (its inode)
    int m_selectedShelf = 0;
    Pager m_shelfPager {ShelfGrid};
    Pager m_bookPager {BookGrid};
    std::array<ShelfSlot, ShelfSlots> m_shelfSlots;
    std::array<BookSlot, BookSlots> m_bookSlots;
    PopUpTarget m_target;
    bool m_moveOnDrop = true;
    bool m_missing = false;
    int m_shelfAsk = 0, m_bookAsk = 0; // the latest question of each grid
    bool m_readingShelves = false, m_readingBooks = false, m_notAnswering = false;
    QTimer m_patience;
    // A library on a network share is looked at now and then: what it held when last read.
    bool m_onShare = false, m_polling = false;
    quint64 m_shelfDigest = 0, m_bookDigest = 0;
    int m_commands = 0; // commands asking: the disk is followed once they and the queue end
    // What the operation under way changed, told when the outermost one ends.
    int m_changing = 0;
    bool m_shelvesDirty = false, m_booksDirty = false, m_libraryDirty = false;
    std::vector<int> m_colourSlots;
    LibraryWatcher m_watcher;
    CommandQueue m_queue;
    ReaderFolder m_reader;
};

// A command that asks (or a pop-up menu open): following the disk is held back meanwhile, and
// what it changes is told once, when it ends.
class CommandScope
{
public:
    explicit CommandScope(Bookcase &bookcase)
        : m_bookcase(bookcase)
    {
        ++m_bookcase.m_commands;
        m_bookcase.begin();
    }
    ~CommandScope()
    {
        m_bookcase.end();
        --m_bookcase.m_commands;
    }
    CommandScope(const CommandScope &) = delete;
    CommandScope &operator=(const CommandScope &) = delete;

private:
    Bookcase &m_bookcase;
};
