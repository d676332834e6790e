#include "bookcase.h"

#include "bookname.h"
#include "desktop.h"
#include "diskexecutor.h"
#include "globalstate.h"
#include "marks.h"
#include "prompter.h"
#include "readahead.h"
#include "volumes.h"

#include <QFile>
#include <QSet>

// One operation's changes, told when the outermost operation ends.
class Bookcase::Change
{
public:
    explicit Change(Bookcase &b)
        : m_b(b)
    {
        m_b.begin();
    }
    ~Change() { m_b.end(); }
    Change(const Change &) = delete;
    Change &operator=(const Change &) = delete;

private:
    Bookcase &m_b;
};

Bookcase::Bookcase(GlobalState &state, QObject *parent)
    : QObject(parent)
    , g(state)
    , m_queue(state)
    , m_reader(state, m_queue)
{
    connect(&m_watcher, &LibraryWatcher::changed, this, &Bookcase::followDisk);
    connect(&m_watcher, &LibraryWatcher::pollDue, this, &Bookcase::poll);
    // A listing that has not come for three seconds: the folder is not answering.
    m_patience.setSingleShot(true);
    m_patience.setInterval(3000);
    connect(&m_patience, &QTimer::timeout, this, [this] {
        const Change change(*this);
        m_notAnswering = true;
        touched(Grid::Shelves);
        touched(Grid::Books);
    });
    connect(&m_reader, &ReaderFolder::reported, this, &Bookcase::report);
    connect(&m_queue, &CommandQueue::reported, this, &Bookcase::report);
    // What a stopped command did after all shows once it is done.
    connect(&m_queue, &CommandQueue::endedLate, this, &Bookcase::followDisk);
}

void Bookcase::runCommand(CommandQueue::Command command)
{
    // What the command changes is told once, when it has ended. Stopped, it changed nothing
    // yet (what a call in the system's hands does shows when it ends): the view stays.
    command.then = [this, then = std::move(command.then)](Job::Outcome outcome) {
        const Change change(*this);
        if (then && outcome != Job::Outcome::Stopped)
            then(outcome);
    };
    m_queue.run(std::move(command));
}

void Bookcase::stopCommands()
{
    m_queue.stopAll();
}

void Bookcase::end()
{
    if (--m_changing > 0)
        return;
    const bool shelves = std::exchange(m_shelvesDirty, false);
    const bool books = std::exchange(m_booksDirty, false);
    const bool library = std::exchange(m_libraryDirty, false);
    const std::vector<int> colours = std::exchange(m_colourSlots, {});
    if (shelves)
        emit shelvesChanged();
    if (books)
        emit booksChanged();
    for (const int slot : colours) {
        if (!books) // else the whole grid was drawn with its colours
            emit bookColourChanged(slot);
    }
    if (library)
        emit libraryChanged();
}

void Bookcase::followDisk()
{
    if (m_commands > 0 || m_queue.busy()) {
        m_watcher.later(); // after the command, which reads the lists itself
        return;
    }
    const Change change(*this);
    const QByteArray focusedShelf = m_shelves.bytesAt(m_shelfPager.focus());
    const QByteArray focusedBook = m_books.bytesAt(m_bookPager.focus());
    listShelves(
        [this, focusedShelf, focusedBook] {
            if (!m_renamed.isEmpty())
                m_current = m_renamed;
            int index = 0;
            while (index < m_shelves.size() && m_shelves.bytesAt(index) != m_current)
                ++index;
            if (index == m_shelves.size()) { // the current shelf went
                showFirstShelf();
                return;
            }
            for (int i = 0; i < m_shelves.size(); ++i) {
                if (m_shelves.bytesAt(i) == focusedShelf)
                    m_shelfPager.setFocus(i);
            }
            FillShelves();
            listBooks([this, focusedBook] {
                for (int i = 0; i < m_books.size(); ++i) {
                    if (m_books.bytesAt(i) == focusedBook) {
                        m_bookPager.setFocus(i);
                        break;
                    }
                }
                FillBooks();
            });
            markCurrentSlot();
            m_libraryDirty = true;
        },
        true);
}

template<class T>
void Bookcase::ask(Grid grid, std::function<T()> work, std::function<void(T)> done)
{
    int &asked = grid == Grid::Books ? m_bookAsk : m_shelfAsk;
    const int question = ++asked;
    auto answer = [this, grid, question, done = std::move(done)](T result) {
        if (question != (grid == Grid::Books ? m_bookAsk : m_shelfAsk))
            return; // a later question was asked: this answer came too late
        const Change change(*this);
        setReading(grid, false);
        done(std::move(result));
    };
    if (!g.offThread)
        return answer(work());
    const Change change(*this);
    setReading(grid, true);
    DiskExecutor::shared().ask<T>(QFile::encodeName(g.BookFolder), this, std::move(work),
                                  std::move(answer));
}

void Bookcase::setReading(Grid grid, bool reading)
{
    (grid == Grid::Books ? m_readingBooks : m_readingShelves) = reading;
    touched(grid);
    if (m_readingBooks || m_readingShelves) {
        if (!m_patience.isActive() && !m_notAnswering)
            m_patience.start();
        return;
    }
    m_patience.stop();
    if (std::exchange(m_notAnswering, false)) {
        touched(Grid::Shelves);
        touched(Grid::Books);
    }
}

void Bookcase::keepWaiting()
{
    const Change change(*this);
    m_notAnswering = false;
    touched(Grid::Shelves);
    touched(Grid::Books);
    if (m_readingBooks || m_readingShelves)
        m_patience.start();
}

void Bookcase::poll()
{
    if (m_polling || m_commands > 0 || m_queue.busy() || m_readingBooks || m_readingShelves)
        return;
    m_polling = true;
    struct Seen
    {
        bool missing;
        quint64 shelves, books;
    };
    const QString root = g.BookFolder;
    const Path books = bookPath(m_booksShelf);
    const bool hasBooks = !m_booksShelf.isEmpty();
    const FileSys fs = g.FileSys;
    DiskExecutor::shared().ask<Seen>(
        QFile::encodeName(root), this,
        [root, books, hasBooks, fs]() -> Seen {
            const Result<FileSys::Folder> folder = fs.GetFolder(root);
            if (!folder)
                return {true, 0, 0};
            return {false, folder->folderNames().digest(),
                    hasBooks ? fs.folderAt(books).fileNames().digest() : 0};
        },
        [this](Seen seen) {
            m_polling = false;
            if (seen.missing != m_missing || seen.shelves != m_shelfDigest
                || seen.books != m_bookDigest)
                followDisk();
        });
}

const QString &Bookcase::libraryFolder() const
{
    return g.BookFolder;
}

Path Bookcase::bookPath(const QByteArray &shelf, const QByteArray &file) const
{
    const Path folder = Path(g.BookFolder) / shelf;
    return file.isNull() ? folder : folder / file;
}

bool Bookcase::bookGone(const BookRef &book) const
{
    if (book.shelf != m_booksShelf || m_readingBooks)
        return false;
    for (int i = 0; i < m_books.size(); ++i) {
        if (m_books.bytesAt(i) == book.file)
            return false;
    }
    return true;
}

QByteArray Bookcase::bookUrl(int slot) const
{
    const BookSlot &book = bookSlot(slot);
    return Desktop::fileUrl(bookPath(book.shelf, book.file).bytes());
}

void Bookcase::load()
{
    report(LoadMarks(g));
    showLibrary();
}

void Bookcase::showLibrary()
{
    const Change change(*this);
    m_current.clear(); // a shelf of the same name in another library is not current
    m_shelfPager.reset();
    m_bookPager.reset();
    listShelves([this] {
        // With no shelf at all nothing is current, and the book grid stays empty.
        m_current = m_shelfSlots[0].name;
        listBooks();
        markCurrentSlot();
        m_libraryDirty = true;
    });
}

void Bookcase::scroll(Grid grid, int position)
{
    const Change change(*this);
    if ((grid == Grid::Books ? m_bookPager : m_shelfPager).scrollTo(position))
        fill(grid);
}

void Bookcase::moveFocus(Grid grid, FocusMove move)
{
    const Change change(*this);
    touched(grid); // the ring moved
    if ((grid == Grid::Books ? m_bookPager : m_shelfPager).move(move))
        fill(grid);
}

void Bookcase::focusOn(Grid grid, int index)
{
    const Change change(*this);
    touched(grid);
    if ((grid == Grid::Books ? m_bookPager : m_shelfPager).focusOn(index))
        fill(grid);
}

void Bookcase::CreateShelves()
{
    listShelves();
}

void Bookcase::listShelves(std::function<void()> then, bool followRename)
{
    struct Answer
    {
        bool missing = false, onShare = false;
        NameList names;
        QByteArray renamed;
    };
    const QString root = g.BookFolder;
    const std::optional<FileSys::Folder> folder = g.ShelfFolders;
    const FileSys fs = g.FileSys;
    ReadAhead *const ahead = g.readAhead;
    QSet<QByteArray> before;
    for (int i = 0; followRename && i < m_shelves.size(); ++i)
        before.insert(m_shelves.bytesAt(i));
    const QByteArray current = m_current;
    const FileStamp currentId = m_currentId;
    ask<Answer>(
        Grid::Shelves,
        [=]() -> Answer {
            Answer a;
            a.missing = !root.isEmpty() && !fs.FolderExists(root);
            if (folder) {
                std::optional<NameList> read
                    = ahead ? ahead->takeFolderNames(folder->path()) : std::nullopt;
                a.names = read ? std::move(*read) : folder->folderNames();
            }
            const auto volume = a.missing || root.isEmpty()
                ? std::nullopt
                : Volumes::of(QFile::encodeName(root), fs.sys());
            a.onShare = volume && volume->isShare();
            // The current shelf renamed by another program is followed to its new name: the
            // same folder, found among the names that are new.
            bool gone = followRename && !current.isEmpty();
            for (int i = 0; gone && i < a.names.size(); ++i)
                gone = a.names.bytesAt(i) != current;
            for (int i = 0; gone && i < a.names.size(); ++i) {
                const QByteArray name = a.names.bytesAt(i);
                const FileStamp id
                    = before.contains(name) ? FileStamp() : fs.stamp(Path(root) / name);
                if (id.inode != 0 && id.device == currentId.device && id.inode == currentId.inode)
                    a.renamed = name, gone = false;
            }
            return a;
        },
        [this, then = std::move(then)](Answer a) {
            m_missing = a.missing;
            m_onShare = a.onShare;
            m_shelfDigest = a.onShare ? a.names.digest() : 0;
            m_shelves = std::move(a.names);
            m_renamed = a.renamed;
            m_shelfPager.setCount(m_shelves.size());
            m_selectedShelf = 0;
            m_shelvesDirty = true;
            FillShelves();
            if (then)
                then();
        });
}

void Bookcase::FillShelves()
{
    const Change change(*this);
    for (int i = 0; i < ShelfSlots; ++i) {
        const int k = m_shelfPager.indexAt(i);
        ShelfSlot &slot = m_shelfSlots[size_t(i)];
        slot.name = k >= 0 ? m_shelves.bytesAt(k) : QByteArray();
        slot.current = !slot.name.isEmpty() && slot.name == m_current;
        if (slot.current)
            m_selectedShelf = i;
    }
    m_shelvesDirty = true;
}

void Bookcase::CreateBooks()
{
    listBooks();
}

Bookcase::BookListing Bookcase::readBooks(const FileSys &fs, const Path &library,
                                          const QByteArray &shelf, ReadAhead *ahead)
{
    BookListing a {shelf, {}, {}};
    if (shelf.isEmpty())
        return a;
    const Path path = Path(library) / shelf;
    std::optional<NameList> read = ahead ? ahead->takeFileNames(path) : std::nullopt;
    a.id = fs.stamp(path);
    if (read)
        a.names = std::move(*read);
    else if (a.id.size >= 0) // the shelf is there: one call fewer on a slow share
        a.names = fs.folderAt(path).fileNames(nullptr, true); // a crash's leftovers go
    return a;
}

void Bookcase::listBooks(std::function<void()> then)
{
    ask<BookListing>(
        Grid::Books,
        [shelf = m_current, library = Path(g.BookFolder), fs = g.FileSys, ahead = g.readAhead] {
            return readBooks(fs, library, shelf, ahead);
        },
        [this, then = std::move(then)](BookListing a) {
            takeBooks(std::move(a));
            if (then)
                then();
        });
}

void Bookcase::takeBooks(BookListing a)
{
    const Change change(*this);
    m_bookDigest = m_onShare ? a.names.digest() : 0;
    m_books = std::move(a.names);
    m_booksShelf = a.shelf;
    m_currentId = a.id;
    m_bookPager.setCount(m_books.size());
    m_booksDirty = true;
    follow();
    FillBooks();
}

void Bookcase::booksChangedBy(const QByteArray &shelf, const QByteArray &gone,
                              const QByteArray &come)
{
    const Change change(*this);
    m_libraryDirty = true;
    if (shelf != m_booksShelf)
        return; // not shown
    if (m_readingBooks) // a listing under way may have read the shelf before the change
        return listBooks();
    const auto view = [](const QByteArray &name) {
        return std::string_view(name.constData(), size_t(name.size()));
    };
    if (!gone.isEmpty())
        m_books.remove(view(gone));
    if (!come.isEmpty()) {
        m_books.remove(view(come)); // a book it replaced
        m_books.insert(view(come));
    }
    m_bookPager.setCount(m_books.size());
    FillBooks();
}

void Bookcase::follow()
{
    // On a network share nothing tells of other computers' changes: it is looked at instead.
    m_watcher.poll(m_onShare);
    // The folder that holds the Main Book Folder too: the library renamed, moved away or
    // back again shows there, not in the library's own folder.
    QStringList followed;
    if (!g.BookFolder.isEmpty() && !m_onShare)
        followed << QFile::decodeName(parentPath(QFile::encodeName(g.BookFolder)));
    if (!m_missing && !m_onShare)
        followed << g.BookFolder;
    if (!m_missing && !m_onShare && !m_booksShelf.isEmpty())
        followed << QFile::decodeName(bookPath(m_booksShelf).bytes());
    m_watcher.follow(followed);
}

void Bookcase::FillBooks()
{
    const Change change(*this);
    std::vector<QByteArray> names;
    names.reserve(BookSlots);
    for (int i = 0; i < BookSlots && m_bookPager.indexAt(i) >= 0; ++i)
        names.push_back(m_books.bytesAt(m_bookPager.indexAt(i)));
    const std::vector<int> colours = g.Marks.coloursOf(names);
    for (size_t i = 0; i < size_t(BookSlots); ++i) {
        m_bookSlots[i]
            = i < names.size() ? BookSlot {names[i], m_booksShelf, colours[i]} : BookSlot {};
    }
    m_booksDirty = true;
}

void Bookcase::markCurrentSlot()
{
    for (ShelfSlot &slot : m_shelfSlots)
        slot.current = !slot.name.isEmpty() && slot.name == m_current;
    m_shelvesDirty = true;
}

void Bookcase::refresh()
{
    const Change change(*this);
    m_shelfPager.scrollTo(1);
    listShelves([this] {
        // The current shelf stays current when the first page shows it; else the first one is.
        m_current = m_shelfSlots[size_t(m_selectedShelf)].name;
        m_shelfPager.setFocus(m_selectedShelf);
        m_bookPager.reset();
        listBooks();
        markCurrentSlot();
        m_libraryDirty = true;
    });
}

void Bookcase::chooseShelf(int slot, std::function<void()> then)
{
    if (shelfSlot(slot).name.isEmpty())
        return;
    const Change change(*this);
    m_current = shelfSlot(slot).name;
    m_selectedShelf = slot;
    m_shelfPager.setFocus(m_shelfPager.indexAt(slot));
    m_bookPager.setFocus(0); // a shelf's books start at its first
    markCurrentSlot();
    listBooks(std::move(then));
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

void Bookcase::reloadShelves()
{
    const Change change(*this);
    listShelves();
    m_libraryDirty = true;
}

void Bookcase::reloadBooks()
{
    const Change change(*this);
    listBooks();
    m_libraryDirty = true;
}

void Bookcase::redrawShelves()
{
    const Change change(*this);
    FillShelves();
    m_libraryDirty = true; // a book was added to a shelf
}

void Bookcase::showColour(int slot, int colour)
{
    if (bookSlot(slot).file.isEmpty())
        return;
    const Change change(*this);
    m_bookSlots[size_t(slot)].colour = colour;
    m_colourSlots.push_back(slot);
}

void Bookcase::currentShelfRenamed(const QByteArray &name)
{
    // The books stay on screen, now known under their shelf's new name.
    const Change change(*this);
    if (m_booksShelf == m_current)
        m_booksShelf = name;
    m_current = name;
    FillBooks();
    markCurrentSlot();
}

void Bookcase::showBook(const BookRef &book, std::function<void(bool found)> shown)
{
    const Change change(*this);
    // Its shelf is looked for in the shelves as the disk holds them now, then its books.
    listShelves([this, book, shown = std::move(shown)] {
        int shelf = 0;
        while (shelf < m_shelves.size() && m_shelves.bytesAt(shelf) != book.shelf)
            ++shelf;
        auto gone = [this, book, shown] {
            report({QStringLiteral("Book Not Found"),
                    QStringLiteral("'%1' is no longer on the shelf %2. Refresh shows the library "
                                   "as it is now.")
                        .arg(shownName(book.file), shownName(book.shelf))});
            if (shown)
                shown(false);
        };
        if (shelf == m_shelves.size())
            return gone();
        focusOn(Grid::Shelves, shelf);
        chooseShelf(shelfFocusSlot(), [this, book, shown, gone] {
            int i = 0;
            while (i < m_books.size() && m_books.bytesAt(i) != book.file)
                ++i;
            if (i == m_books.size() || m_current != book.shelf)
                return gone();
            focusOn(Grid::Books, i);
            if (shown)
                shown(true);
        });
    });
}

void Bookcase::showFirstShelf()
{
    m_selectedShelf = 0;
    refresh();
}
