#include "bookcase.h"

#include "bookname.h"
#include "globalstate.h"
#include "marks.h"
#include "prompter.h"
#include "readahead.h"
#include "transfer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStorageInfo>

namespace {

bool onFatVolume(const QString &folder)
{
    const QByteArray type = QStorageInfo(folder).fileSystemType().toLower();
    return type == "vfat" || type == "msdos" || type == "fat" || type == "exfat"
        || type == "fuseblk";
}

// Where a grid's position may stand for a list of count names: 1 while the bar is hidden (a
// hidden bar pages nothing, so no name is out of reach), at most the last position.
int clampPosition(GridShape grid, int count, int position)
{
    if (!scrollBarShown(grid, count))
        return 1;
    return qBound(1, position, scrollMaximum(grid, count));
}

// Sets a position; false when it stands there already.
bool moveTo(int &position, int to)
{
    const bool moved = position != to;
    position = to;
    return moved;
}

} // namespace

BookRef BookRef::decode(const QByteArray &data)
{
    const qsizetype slash = data.indexOf('/');
    if (slash <= 0)
        return {};
    return {data.left(slash), data.mid(slash + 1)};
}

Bookcase::Bookcase(GlobalState &state, QObject *parent)
    : QObject(parent)
    , g(state)
{
    // Changes by other programs come in bursts (a thousand files copied in): one reading
    // follows each burst, within a second.
    m_follow.setSingleShot(true);
    m_follow.setInterval(300);
    connect(&m_follow, &QTimer::timeout, this, &Bookcase::followDisk);
    m_watchSoon.setSingleShot(true);
    m_watchSoon.setInterval(0);
    connect(&m_watchSoon, &QTimer::timeout, this, &Bookcase::watch);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        if (!m_follow.isActive())
            m_follow.start();
    });
}

void Bookcase::watchSoon()
{
    // Once the event loop turns: the first screen does not wait for the watcher.
    if (!m_watchSoon.isActive())
        m_watchSoon.start();
}

void Bookcase::watch()
{
    // The Main Book Folder and the current shelf; a folder removed drops out by itself.
    QStringList wanted {g.BookFolder};
    if (!m_current.isEmpty())
        wanted << QFile::decodeName(bookPath(m_current).bytes());
    const QStringList watched = m_watcher.directories();
    for (const QString &path : watched) {
        if (!wanted.contains(path))
            m_watcher.removePath(path);
    }
    for (const QString &path : wanted) {
        if (!watched.contains(path) && !m_missing && QFileInfo(path).isDir())
            m_watcher.addPath(path);
    }
}

void Bookcase::followDisk()
{
    if (m_commands > 0) {
        m_follow.start(); // after the command, which reads the lists itself
        return;
    }
    const QByteArray focusedShelf = m_shelves.bytesAt(m_shelfFocus);
    const QByteArray focusedBook = m_books.bytesAt(m_bookFocus);
    CreateShelves();
    int index = 0;
    while (index < m_shelves.size() && m_shelves.bytesAt(index) != m_current)
        ++index;
    if (index == m_shelves.size()) { // the current shelf went (or was renamed)
        showFirstShelf();
        return;
    }
    for (int i = 0; i < m_shelves.size(); ++i) {
        if (m_shelves.bytesAt(i) == focusedShelf)
            m_shelfFocus = i;
    }
    FillShelves();
    CreateBooks();
    for (int i = 0; i < m_books.size(); ++i) {
        if (m_books.bytesAt(i) == focusedBook) {
            m_bookFocus = i;
            break;
        }
    }
    FillBooks();
    markCurrentSlot();
    emit libraryChanged();
}

void Bookcase::pageFocus(bool books, int pages)
{
    const GridShape grid = books ? BookGrid : ShelfGrid;
    int &position = books ? m_bookPosition : m_shelfPosition;
    const NameList &list = books ? m_books : m_shelves;
    position = clampPosition(grid, list.size(), position + pages * grid.rows);
    if (books) {
        focusBook(m_bookFocus + pages * grid.slotCount());
        FillBooks();
    } else {
        focusShelf(m_shelfFocus + pages * grid.slotCount());
        FillShelves();
    }
}

Path Bookcase::bookPath(const QByteArray &shelf, const QByteArray &file) const
{
    const Path folder = Path(g.BookFolder) / shelf;
    return file.isNull() ? folder : folder / file;
}

bool Bookcase::bookExists(const BookRef &book) const
{
    return fileExists(bookPath(book.shelf, book.file));
}

bool Bookcase::fileExists(const Path &path) const
{
    return g.FileSys.FileExists(path);
}

QByteArray Bookcase::bookUrl(int slot) const
{
    const BookSlot &book = bookSlot(slot);
    QByteArray path = bookPath(book.shelf, book.file).bytes();
    if (!path.startsWith('/'))
        path = QFile::encodeName(QDir::currentPath()) + '/' + path;
    return "file://" + path.toPercentEncoding("/"); // the very bytes, also where not UTF-8
}

void Bookcase::load()
{
    LoadMarks(g);
    showLibrary();
}

void Bookcase::showLibrary()
{
    m_current.clear(); // a shelf of the same name in another library is not current
    m_shelfPosition = 1;
    m_shelfFocus = m_bookFocus = 0;
    CreateShelves();
    FillShelves();
    // With no shelf at all nothing is current, and the book grid stays empty.
    m_current = m_shelfSlots[0].name;
    m_bookPosition = 1;
    CreateBooks();
    FillBooks();
    markCurrentSlot();
    emit libraryChanged();
}

void Bookcase::focus(int &focus, int &position, const NameList &list, GridShape grid, int index)
{
    focus = list.empty() ? -1 : qBound(0, index, list.size() - 1);
    const int row = qMax(focus, 0) / grid.perRow, first = position - 1;
    int to = position;
    if (row < first)
        to = row + 1;
    else if (row >= first + grid.rows)
        to = row - grid.rows + 2;
    if (moveTo(position, clampPosition(grid, list.size(), to)))
        &list == &m_books ? FillBooks() : FillShelves();
    else
        &list == &m_books ? emit booksChanged() : emit shelvesChanged();
}

void Bookcase::focusShelf(int index)
{
    focus(m_shelfFocus, m_shelfPosition, m_shelves, ShelfGrid, index);
}

void Bookcase::focusBook(int index)
{
    focus(m_bookFocus, m_bookPosition, m_books, BookGrid, index);
}

int Bookcase::shelfFocusSlot() const
{
    const int slot = m_shelfFocus - listIndex(ShelfGrid, m_shelfPosition, 0);
    return m_shelfFocus >= 0 && slot >= 0 && slot < ShelfSlots ? slot : -1;
}

int Bookcase::bookFocusSlot() const
{
    const int slot = m_bookFocus - listIndex(BookGrid, m_bookPosition, 0);
    return m_bookFocus >= 0 && slot >= 0 && slot < BookSlots ? slot : -1;
}

void Bookcase::CreateShelves()
{
    m_missing = !g.BookFolder.isEmpty() && !g.FileSys.FolderExists(g.BookFolder);
    m_shelves.clear();
    if (g.ShelfFolders) {
        const Path &folder = g.ShelfFolders->path();
        std::optional<NameList> ahead
            = g.readAhead ? g.readAhead->takeFolderNames(folder) : std::nullopt;
        m_shelves = ahead ? std::move(*ahead) : g.ShelfFolders->folderNames();
    }
    m_shelfPosition = clampPosition(ShelfGrid, m_shelves.size(), m_shelfPosition);
    m_shelfFocus = m_shelves.empty() ? -1 : qBound(0, m_shelfFocus, m_shelves.size() - 1);
    m_selectedShelf = 0;
    emit shelvesChanged();
}

void Bookcase::FillShelves()
{
    for (int i = 0; i < ShelfSlots; ++i) {
        const int k = listIndex(ShelfGrid, m_shelfPosition, i);
        ShelfSlot &slot = m_shelfSlots[size_t(i)];
        slot.name = k < m_shelves.size() ? m_shelves.bytesAt(k) : QByteArray();
        slot.current = !slot.name.isEmpty() && slot.name == m_current;
        if (slot.current)
            m_selectedShelf = i;
    }
    emit shelvesChanged();
}

void Bookcase::CreateBooks()
{
    m_books.clear();
    if (!m_current.isEmpty()) {
        const Path path = bookPath(m_current);
        std::optional<NameList> ahead
            = g.readAhead ? g.readAhead->takeFileNames(path) : std::nullopt;
        if (ahead)
            m_books = std::move(*ahead);
        else if (const std::optional<FileSys::Folder> folder = g.FileSys.GetFolder(path))
            m_books = folder->fileNames();
    }
    m_bookPosition = clampPosition(BookGrid, m_books.size(), m_bookPosition);
    m_bookFocus = m_books.empty() ? -1 : qBound(0, m_bookFocus, m_books.size() - 1);
    watchSoon();
    emit booksChanged();
}

void Bookcase::FillBooks()
{
    std::vector<QByteArray> names;
    names.reserve(BookSlots);
    for (int i = 0; i < BookSlots; ++i) {
        const int k = listIndex(BookGrid, m_bookPosition, i);
        if (k < m_books.size())
            names.push_back(m_books.bytesAt(k));
    }
    const std::vector<int> colours = g.Marks.coloursOf(names);
    for (size_t i = 0; i < size_t(BookSlots); ++i) {
        m_bookSlots[i]
            = i < names.size() ? BookSlot {names[i], m_current, colours[i]} : BookSlot {};
    }
    emit booksChanged();
}

void Bookcase::markCurrentSlot()
{
    for (ShelfSlot &slot : m_shelfSlots)
        slot.current = !slot.name.isEmpty() && slot.name == m_current;
    emit shelvesChanged();
}

void Bookcase::refresh()
{
    m_shelfPosition = 1;
    CreateShelves();
    FillShelves();
    // The current shelf stays current when the first page shows it; else the first shelf is.
    m_current = m_shelfSlots[size_t(m_selectedShelf)].name;
    m_shelfFocus = m_selectedShelf;
    m_bookPosition = 1;
    m_bookFocus = 0;
    CreateBooks();
    FillBooks();
    markCurrentSlot();
    emit libraryChanged();
}

void Bookcase::chooseShelf(int slot)
{
    if (shelfSlot(slot).name.isEmpty())
        return;
    m_current = shelfSlot(slot).name;
    m_selectedShelf = slot;
    m_shelfFocus = listIndex(ShelfGrid, m_shelfPosition, slot);
    m_bookFocus = 0; // a shelf's books start at its first
    markCurrentSlot();
    CreateBooks();
    FillBooks();
}

void Bookcase::scrollShelves(int position)
{
    if (moveTo(m_shelfPosition, clampPosition(ShelfGrid, m_shelves.size(), position)))
        FillShelves();
}

void Bookcase::scrollBooks(int position)
{
    if (moveTo(m_bookPosition, clampPosition(BookGrid, m_books.size(), position)))
        FillBooks();
}

int Bookcase::shelfMaximum() const
{
    const int n = m_shelves.size();
    return scrollBarShown(ShelfGrid, n) ? scrollMaximum(ShelfGrid, n) : 0;
}

int Bookcase::bookMaximum() const
{
    const int n = m_books.size();
    return scrollBarShown(BookGrid, n) ? scrollMaximum(BookGrid, n) : 0;
}

const ShelfSlot &Bookcase::shelfSlot(int slot) const
{
    static const ShelfSlot none;
    return slot >= 0 && slot < ShelfSlots ? m_shelfSlots[size_t(slot)] : none;
}

const BookSlot &Bookcase::bookSlot(int slot) const
{
    static const BookSlot none;
    return slot >= 0 && slot < BookSlots ? m_bookSlots[size_t(slot)] : none;
}

void Bookcase::aimAtShelf(int slot)
{
    m_target.ShelfIndex = slot;
    m_target.ShelfName = shelfSlot(slot).name;
}

void Bookcase::aimAtBook(int slot)
{
    const BookSlot &book = bookSlot(slot);
    m_target = {book.file, slot, book.shelf, m_selectedShelf};
}

QString Bookcase::fileTakesName(const QString &name) const
{
    return QStringLiteral("A file named '%1' lies in the Main Book Folder (%2), so no shelf can "
                          "take that name.")
        .arg(name, g.BookFolder);
}

Transfer Bookcase::toShelf(const Path &source, const QByteArray &shelf, bool move) const
{
    const QByteArray name = lastPathPart(source.bytes());
    return {source, bookPath(shelf, name), move,
            move ? QStringLiteral("Cannot Move Book") : QStringLiteral("Cannot Copy Book"),
            QStringLiteral("'%1' could not be %2 to the shelf %3.")
                .arg(shownName(name), move ? QStringLiteral("moved") : QStringLiteral("copied"),
                     shownName(shelf))};
}

void Bookcase::dropBook(int shelfSlot, const BookRef &book)
{
    const CommandScope command(*this);
    const QByteArray &S = this->shelfSlot(shelfSlot).name;
    if (S.isEmpty() || book.shelf.isEmpty() || book.file.isEmpty())
        return;
    const Path P = bookPath(book.shelf, book.file);
    // Dropped where it already lies: nothing to do, and nothing may be overwritten.
    if (S == book.shelf || g.FileSys.sameFile(P, bookPath(S, book.file)))
        return;
    if (transferBook(g.FileSys, *g.prompter, toShelf(P, S, m_moveOnDrop))
        != TransferResult::Declined)
        reloadBooks();
}

void Bookcase::dropFiles(int shelfSlot, const QList<QByteArray> &paths, bool move)
{
    const CommandScope command(*this);
    const QByteArray S = this->shelfSlot(shelfSlot).name;
    if (S.isEmpty())
        return;
    std::vector<Transfer> batch;
    for (const QByteArray &source : paths) {
        if (g.FileSys.FileExists(source)) // folders and vanished files are not books
            batch.push_back(toShelf(source, S, move));
    }
    transferBooks(g.FileSys, *g.prompter, batch);
    if (S == m_current || move) // a book cut from the shown shelf has left it
        reloadBooks();
    emit libraryChanged();
}

bool Bookcase::ensureReaderFolder()
{
    while (g.ReaderFolder.isEmpty()) {
        g.prompter->message(QStringLiteral("Main Book Folder not identified."),
                            QStringLiteral("You must indicate the location of the eBook Reader "
                                           "Content Folder.\r\nPress 'OK' to continue."));
        if (!askForFolders || !askForFolders())
            return false;
    }
    return true;
}

void Bookcase::sendToReader(const BookRef &book)
{
    const CommandScope command(*this);
    // The book as it was dropped, even if the folders are changed while they are asked for.
    const Path P = bookPath(book.shelf, book.file);
    if (!ensureReaderFolder() || book.file.isEmpty())
        return;
    const QString name = shownName(book.file);
    const Path R = Path(g.ReaderFolder) / book.file;
    if (g.FileSys.sameFile(P, R)) {
        g.prompter->message(QStringLiteral("Same Folder"),
                            QStringLiteral("'%1' already lies in the eBook Reader Content Folder: "
                                           "that folder is the folder of its shelf. Nothing was "
                                           "copied.")
                                .arg(name));
        return;
    }
    if (fatRejectsName(name)) {
        const QString why
            = QStringLiteral("'%1' cannot be stored on a reader device formatted with FAT or "
                             "exFAT: such devices refuse the characters : * ? \" < > | \\ "
                             "and a name ending in a dot or a blank.")
                  .arg(name);
        const QString title = QStringLiteral("Name Not Accepted by the Reader");
        if (onFatVolume(g.ReaderFolder)) {
            g.prompter->message(title,
                                why + QStringLiteral("\r\nRename the book, then send it again."));
            return;
        }
        if (!g.prompter->agrees(title, why + QStringLiteral("\r\nCopy it anyway?"),
                                Prompter::Buttons::OkCancel))
            return;
    }
    const TransferResult result
        = transferBook(g.FileSys, *g.prompter,
                       {P, R, false, QStringLiteral("Cannot Copy Book"),
                        QStringLiteral("'%1' could not be copied to the eBook Reader Content "
                                       "Folder.")
                            .arg(name)});
    if (result == TransferResult::Failed)
        reloadBooks();
    if (m_listing) { // an open listing shows the folder as it is now
        m_listing = readerListing();
        emit listingChanged();
    }
}

void Bookcase::toggleReaderListing()
{
    m_listing = m_listing ? std::nullopt : readerListing();
    emit listingChanged();
}

std::optional<QStringList> Bookcase::readerListing()
{
    if (!ensureReaderFolder())
        return std::nullopt;
    // Listed as the book grid lists a shelf: hidden names left out, every other one shown,
    // also one that is not valid text.
    QString error;
    const auto folder = g.FileSys.GetFolder(g.ReaderFolder, &error);
    const NameList names = folder ? folder->fileNames(&error) : NameList();
    if (!error.isEmpty()) {
        g.prompter->message(QStringLiteral("Cannot List Reader Folder"),
                            QStringLiteral("The eBook Reader Content Folder cannot be read.")
                                + QStringLiteral("\r\n\r\n") + error);
        return std::nullopt;
    }
    return names.toStringList();
}

void Bookcase::newShelf()
{
    const CommandScope command(*this);
    const QString name = g.prompter->input(QStringLiteral("Please enter the name of the new Shelf"),
                                           QStringLiteral("New Shelf"));
    if (name.isEmpty() || !acceptTypedName(*g.prompter, name))
        return;
    const Path path = bookPath(name.toUtf8());
    if (g.FileSys.FolderExists(path)) {
        g.prompter->message(QStringLiteral("Shelf Exists"),
                            QStringLiteral("'%1' already exists. Cannot create it.").arg(name));
        return;
    }
    if (g.FileSys.anythingAt(path)) { // a file the bookcase never shows
        g.prompter->message(QStringLiteral("Name Taken by a File"),
                            fileTakesName(name) + QStringLiteral(" Cannot create it."));
        return;
    }
    const FsResult result = g.FileSys.CreateFolder(path);
    if (!result)
        g.prompter->message(QStringLiteral("Cannot Create Shelf"),
                            QStringLiteral("The shelf '%1' could not be created.\r\n\r\n%2")
                                .arg(name, result.error));
    reloadShelves();
}

void Bookcase::openBook(int slot)
{
    const BookSlot &book = bookSlot(slot);
    if (book.file.isEmpty())
        return;
    const QByteArray path = bookPath(book.shelf, book.file).bytes();
    const QByteArray absolute
        = path.startsWith('/') ? path : QFile::encodeName(QDir::currentPath()) + '/' + path;
    const QString name = shownName(book.file);
    auto *process = new QProcess(this);
    auto fail = [this, name, path] {
        g.prompter->message(QStringLiteral("Cannot Open Book"),
                            QStringLiteral("'%1' could not be opened: no program of this desktop "
                                           "opens it.\r\n\r\n%2")
                                .arg(name, shownName(path)));
    };
    connect(process, &QProcess::errorOccurred, this, [process, fail](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) {
            fail();
            process->deleteLater();
        }
    });
    connect(process, &QProcess::finished, this, [process, fail](int code, QProcess::ExitStatus s) {
        if (code != 0 || s != QProcess::NormalExit)
            fail();
        process->deleteLater();
    });
    process->start(opener, {QString::fromLatin1(bookUrl(slot))});
}

void Bookcase::reloadShelves()
{
    CreateShelves();
    FillShelves();
    emit libraryChanged();
}

void Bookcase::reloadBooks()
{
    CreateBooks();
    FillBooks();
    emit libraryChanged();
}

void Bookcase::redrawShelves()
{
    FillShelves();
    emit libraryChanged(); // a book was added to a shelf
}

void Bookcase::showColour(int slot, int colour)
{
    if (bookSlot(slot).file.isEmpty())
        return;
    m_bookSlots[size_t(slot)].colour = colour;
    emit bookColourChanged(slot);
}

void Bookcase::currentShelfRenamed(const QByteArray &name)
{
    // The books stay on screen, now known under their shelf's new name.
    m_current = name;
    FillBooks();
    markCurrentSlot();
}

bool Bookcase::showBook(const BookRef &book)
{
    int shelf = 0;
    while (shelf < m_shelves.size() && m_shelves.bytesAt(shelf) != book.shelf)
        ++shelf;
    if (shelf == m_shelves.size())
        return false;
    focusShelf(shelf);
    chooseShelf(shelfFocusSlot());
    for (int i = 0; i < m_books.size(); ++i) {
        if (m_books.bytesAt(i) == book.file) {
            focusBook(i);
            return true;
        }
    }
    return false;
}

void Bookcase::showFirstShelf()
{
    m_selectedShelf = 0;
    refresh();
}
