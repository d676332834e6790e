#pragma once

#include "filesys.h"
#include "naturalsort.h"
#include "paging.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <array>
#include <functional>
#include <optional>

struct GlobalState;
struct Transfer;

// A book as it travels in a drag: the shelf it lies on and its file name, as bytes.
struct BookRef
{
    QByteArray shelf;
    QByteArray file;
    // "shelf/file": a shelf name never holds a "/".
    QByteArray encode() const { return shelf + '/' + file; }
    static BookRef decode(const QByteArray &data);
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

// The bookcase as the shelf window shows it, without a widget: the shelves of the Main Book
// Folder and the books of the current shelf, both paged, what each shown slot holds, the
// pop-up target, and what each click, drop and command does to them. The window draws it on
// the change signals and hands its input here. Names are the bytes the file system gave.
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
    // Makes the shelf of a slot current and lists its books.
    void chooseShelf(int slot);
    void scrollShelves(int position);
    void scrollBooks(int position);

    const NameList &ShelfList() const { return m_shelves; }
    const NameList &BookList() const { return m_books; }
    int BookCount() const { return m_books.size(); }
    // The slot of the current shelf, when the page shows it (else where it last was).
    int SelectedShelf() const { return m_selectedShelf; }
    const QByteArray &currentShelf() const { return m_current; }
    int shelfPosition() const { return m_shelfPosition; }
    int bookPosition() const { return m_bookPosition; }
    // The last position of a grid's scroll bar, or 0 while the bar is hidden.
    int shelfMaximum() const;
    int bookMaximum() const;
    const ShelfSlot &shelfSlot(int slot) const;
    const BookSlot &bookSlot(int slot) const;

    // The keyboard's place in each grid, as a position in its list (-1 for an empty list), and
    // the slot that shows it (-1 when the page does not). Moving it pages the grid one row at a
    // time as far as needed to show it; a click puts it on the slot clicked.
    int shelfFocus() const { return m_shelfFocus; }
    int bookFocus() const { return m_bookFocus; }
    int shelfFocusSlot() const;
    int bookFocusSlot() const;
    void focusShelf(int index);
    void focusBook(int index);
    // Moves a grid's focus by whole pages, the grid flipping with it.
    void pageFocus(bool books, int pages);

    void aimAtShelf(int slot);
    void aimAtBook(int slot);
    const PopUpTarget &target() const { return m_target; }

    // Whether a book dropped on a shelf moves (else it is copied).
    bool moveOnDrop() const { return m_moveOnDrop; }
    void setMoveOnDrop(bool move) { m_moveOnDrop = move; }
    // A book dropped on a shelf slot: moved or copied there, then the books read again.
    void dropBook(int shelfSlot, const BookRef &book);
    // Files dropped from a file manager (copied), or pasted (copied, or moved when cut): the
    // same transfer as a drop on that shelf.
    void dropFiles(int shelfSlot, const QList<QByteArray> &paths, bool move = false);
    // A book dropped on the reader picture: copied into the eBook Reader Content Folder.
    void sendToReader(const BookRef &book);
    // The files of the reader folder, for its listing; nothing when no folder is set or it
    // cannot be read (the user is told).
    std::optional<QStringList> readerListing();
    // The listing of the reader folder as the window shows it: opened (read now) or closed.
    // While it is open, a book sent is listed at once.
    void toggleReaderListing();
    const std::optional<QStringList> &shownListing() const { return m_listing; }
    // Asks for a name and creates that shelf.
    void newShelf();
    // Why a shelf cannot take the name of a file that lies in the Main Book Folder.
    QString fileTakesName(const QString &name) const;
    // Opens the book of a slot with the desktop's program for its type, without waiting; says
    // so when nothing opens it.
    void openBook(int slot);
    QString opener = QStringLiteral("xdg-open"); // the desktop's opener; tests give another

    // Asks for the folders (the File Locations dialog) until a reader folder is set; false
    // when the user gave up or the program is ending.
    bool ensureReaderFolder();
    std::function<bool()> askForFolders;

    // What the commands change, and nothing else of the window.
    void reloadShelves();
    void reloadBooks();
    void redrawShelves();
    void showColour(int slot, int colour);
    void currentShelfRenamed(const QByteArray &name);
    void showFirstShelf();

    // Makes a book's shelf current and pages both grids to it, the book grid's focus on the
    // book; false when the shelf or the book is not there (any more).
    bool showBook(const BookRef &book);

    // Reads both lists again after another program changed the folders, keeping the current
    // shelf, both pages and both focuses wherever they still are; a current shelf that is gone
    // gives way to the first one. Runs by itself shortly after the folders change, never while
    // a command asks or works.
    void followDisk();
    // True while the Main Book Folder is not there (a disk unplugged); Refresh looks again.
    bool libraryMissing() const { return m_missing; }

    // True while a book's file, or a file at a path, is there.
    bool bookExists(const BookRef &book) const;
    bool fileExists(const Path &path) const;
    // BookFolder/shelf/file as a path.
    Path bookPath(const QByteArray &shelf, const QByteArray &file = QByteArray()) const;
    // The file URL of a slot's book, carrying its name's very bytes.
    QByteArray bookUrl(int slot) const;

signals:
    // The shelf grid, its scroll bar or the current shelf changed.
    void shelvesChanged();
    // The book grid, its scroll bar or the book count changed.
    void booksChanged();
    // One book's mark colour changed.
    void bookColourChanged(int slot);
    // Books or shelves changed on disk through the program, or the library was read afresh.
    void libraryChanged();
    // The reader folder's listing was opened, closed or read again.
    void listingChanged();

private:
    friend class CommandScope;
    void markCurrentSlot();
    void watch();
    void watchSoon();
    // Moves a grid's focus to a list position and pages the grid to show it.
    void focus(int &focus, int &position, const NameList &list, GridShape grid, int index);
    Transfer toShelf(const Path &source, const QByteArray &shelf, bool move) const;

    GlobalState &g;
    NameList m_shelves;
    NameList m_books;
    QByteArray m_current;
    int m_selectedShelf = 0;
    int m_shelfPosition = 1;
    int m_bookPosition = 1;
    int m_shelfFocus = -1;
    int m_bookFocus = -1;
    std::array<ShelfSlot, ShelfSlots> m_shelfSlots;
    std::array<BookSlot, BookSlots> m_bookSlots;
    PopUpTarget m_target;
    std::optional<QStringList> m_listing;
    bool m_moveOnDrop = true;
    bool m_missing = false;
    int m_commands = 0; // commands under way: the disk is followed once they end
    QFileSystemWatcher m_watcher;
    QTimer m_follow;
    QTimer m_watchSoon;
};

// Holds back following the disk while a command asks and works.
class CommandScope
{
public:
    explicit CommandScope(Bookcase &bookcase)
        : m_bookcase(bookcase)
    {
        ++m_bookcase.m_commands;
    }
    ~CommandScope() { --m_bookcase.m_commands; }
    CommandScope(const CommandScope &) = delete;
    CommandScope &operator=(const CommandScope &) = delete;

private:
    Bookcase &m_bookcase;
};
