// The layers below the windows: the file-system object, the bookcase model and the pop-up
// commands; every way a book travels in every situation that can meet it, with one outcome
// check; and a randomized run of operations against a model of the folders and the marks.
#include "appfolder.h"
#include "bookdrag.h"
#include "bookname.h"
#include "configuration.h"
#include "detailscache.h"
#include "diskexecutor.h"
#include "finder.h"
#include "marks.h"
#include "readahead.h"
#include "support.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QThread>
#include <QUrl>
#include <condition_variable>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>

using Strings = QStringList;
using Answer = Prompter::Answer;
// clang-format off
struct PageRow { int shelves, books, shelfMax, bookMax; }; // a maximum of 0: no scroll bar
// A command (rename or delete a book, rename or delete a shelf, a new shelf) on a book of Shelf
// 1 or on a shelf ("*": chosen first; "?" stands for a byte that is not UTF-8), what is typed
// (for a shelf to delete: what it holds) and answered, the titles of the boxes after the
// first, and the result: the file that then holds the book, or the shelves ("S1": "Shelf 1").
struct CommandRow { QString command, on, typed; Answer answer; QString titles, result; };
// What marked.dat holds, or where it links to ("/": it is a folder), and what it holds after a
// book is marked ("": it was not read and is left as it was).
struct MarksFileRow { QByteArray content, link, saved; };
struct FoldersRow { QString book, read, title; }; // title "" when saved
struct ProposalRow { QString title, author; QByteArray file; QString renamed; };
struct StopRow { QString command; QByteArray call; QString said, after; };
// clang-format on
Q_DECLARE_METATYPE(PageRow)
Q_DECLARE_METATYPE(CommandRow)
Q_DECLARE_METATYPE(MarksFileRow)
Q_DECLARE_METATYPE(FoldersRow)
Q_DECLARE_METATYPE(ProposalRow)
Q_DECLARE_METATYPE(StopRow)

namespace {

QList<int> currentSlots(const Library &v)
{
    QList<int> out;
    for (int i = 0; i < Bookcase::ShelfSlots; ++i) {
        if (v.model->shelfSlot(i).current)
            out << i;
    }
    return out;
}

QString shelfAt(const Library &v, int slot)
{
    return QString::fromUtf8(v.model->shelfSlot(slot).name);
}

// Answers as another kind of file system would: one that ignores letter case (FAT, exFAT: a
// name finds the entry that differs from it only in case, and renaming an entry to another case
// of its own name does nothing), one without the no-replace rename, or without hard links too.
// It records the renames and flushes by the last part of the name ("temp": a temporary file).
class OtherFileSystem : public SysCalls
{
public:
    bool ignoresCase = false, noNoReplace = false, noLink = false;
    mutable Strings calls;
    static QString name(const QByteArray &path)
    {
        return path.contains("/.quillrack") ? "temp" : QString::fromUtf8(lastPathPart(path));
    }
    int fsync(int fd) const override
    {
        calls << "fsync "
                + name(QFile::symLinkTarget(QStringLiteral("/proc/self/fd/%1").arg(fd)).toUtf8());
        return ::fsync(fd);
    }
    QByteArray actual(const char *path) const
    {
        const QByteArray p(path), folder = parentPath(p);
        for (const QString &entry :
             QDir(QFile::decodeName(ignoresCase ? folder : "")).entryList()) {
            if (ignoresCase
                && !entry.compare(QString::fromUtf8(lastPathPart(p)), Qt::CaseInsensitive))
                return folder + '/' + entry.toUtf8();
        }
        return p;
    }
    int stat(const char *path, struct stat *st) const override { return ::stat(actual(path), st); }
    int lstat(const char *path, struct stat *st) const override
    {
        return ::lstat(actual(path), st);
    }
    int renameNoReplace(const char *from, const char *to) const override
    {
        struct stat st;
        if (noNoReplace || lstat(to, &st) == 0)
            return errno = noNoReplace ? EINVAL : EEXIST, -1;
        return ::rename(actual(from), to);
    }
    int rename(const char *from, const char *to) const override
    {
        calls << "rename " + name(to);
        return actual(from) == actual(to) ? 0 : ::rename(actual(from), to);
    }
    int link(const char *from, const char *to) const override
    {
        return noLink ? (errno = EPERM, -1) : ::link(from, to);
    }
};

// clang-format off
enum Op { MoveDrop, CopyDrop, Reader, FileManager, AddCopy, AddMove };
enum Situation { New, Across, Cancel, Overwrite, SameFolder, SameFile, Appears, OldAppears,
                 Vanished, PartWay, HalfWay, ReadOnly };
const char *const OpNames[] = {"move drop", "copy drop", "reader", "file manager", "add copy", "add move"};
const char *const SituationNames[] = {"new", "across file systems", "exists, Cancel", "exists, OK",
    "the same folder", "a hard link", "target appears",
    "target appears, no no-replace rename nor links", "source vanished", "copy fails part-way",
    "move across file systems fails", "read-only target"};
// clang-format on

using Folder = std::map<QString, QByteArray>; // file name to content

// File names without a dot, with a trailing dot, with a comma, and differing only in case.
QString poolName(QRandomGenerator &rng)
{
    const QString forms[] = {"Book %1",     "Book %1.",    "Smith, Book %1.txt",
                             "BOOK %1.txt", "Book %1.txt", "Book %1.epub"};
    return forms[rng.bounded(6)].arg(rng.bounded(40));
}

// Why a folder does not hold exactly the files expected, or nothing.
QString differs(const QString &path, const Folder &files, int &checked)
{
    if (QDir(path).entryList(QDir::Files | QDir::Hidden).size() != qsizetype(files.size()))
        return path + QStringLiteral(" holds other files than expected");
    for (const auto &[name, content] : files) {
        QFile f(path + u'/' + name);
        if (!f.open(QIODevice::ReadOnly) || f.readAll() != content)
            return QStringLiteral("%1/%2 is missing or changed").arg(path, name);
        ++checked;
    }
    return {};
}

} // namespace

class TestModel : public QObject
{
    Q_OBJECT
private slots:
    void fileSysRules();
    void renamingFromDetails();
    void proposedNamesRenameAndMark_data();
    void proposedNamesRenameAndMark();
    void readAheadHandsOutOnlyWhatItRead();
    void firstPage_data();
    void firstPage();
    void pagingAndChoosing();
    void refresh();
    void oneChangePerOperation_data();
    void oneChangePerOperation();
    void dragAndClipboardData_data();
    void dragAndClipboardData();
    void followingTheDisk();
    void marking();
    void commands_data();
    void commands();
    void caseOnlyRenameWhereCaseIsIgnored();
    void readerChecks();
    void marksFile_data();
    void marksFile();
    void folderLocations_data();
    void folderLocations();
    void faults_data();
    void faults();
    void transfers_data();
    void transfers();
    void randomOperationsLoseNothing();
    void findingInTheLibrary();
    void findingByWhatBooksSay();
    void twoCopiesKeepEachOthersMarks();
    void appFolderIsChosenOnce();
    void longCopiesStopCleanly();
    void aShareThatStopsAnswering();
    void stopAtEachStep_data();
    void stopAtEachStep();
    void racesWithTheWindow();
    void batches_data();
    void batches();
    void cleanupTestCase();
};

void TestModel::firstPage_data()
{
    TABLE(PageRow);
    row("no shelves", PageRow {0, 0, 0, 0});
    row("27 shelves, 19 books", PageRow {27, 19, 0, 0});
    row("28 shelves, 20 books", PageRow {28, 20, 1, 1});
    row("29 shelves, 21 books", PageRow {29, 21, 2, 2});
}

void TestModel::firstPage()
{
    FETCH(PageRow);
    Library v(r.shelves, r.books);
    v.tree.write("lib/loose book.txt"); // a file in the Main Book Folder is no shelf,
    v.tree.write("lib/.Trash-1000/Shelf 1/x"); // nor is a hidden folder a shelf
    if (r.shelves) // or a hidden file a book
        v.tree.write("lib/Shelf 1/.hidden");
    v.load();
    QCOMPARE(v.model->currentShelf(), r.shelves ? QByteArray("Shelf 1") : QByteArray());
    QCOMPARE(currentSlots(v), r.shelves ? QList<int> {0} : QList<int> {});
    QCOMPARE(shelfAt(v, qMin(r.shelves, 28) - 1),
             r.shelves ? QStringLiteral("Shelf %1").arg(qMin(r.shelves, 28)) : "");
    QCOMPARE(shelfAt(v, 28), QString());
    QCOMPARE(v.page().size(), qMin(r.books, 20));
    QCOMPARE(QList<int>(
                 {v.model->pager(Grid::Shelves).maximum(), v.model->pager(Grid::Books).maximum()}),
             QList<int>({r.shelfMax, r.bookMax}));
    QCOMPARE(v.model->BookCount(), r.books);
}

void TestModel::pagingAndChoosing()
{
    Library v(29, 301, "-x.txt,2,\r\n"); // enough books to be put in order a page at a time
    v.tree.write("lib/Shelf 2/x.txt");
    v.load();
    v.model->scrollShelves(2); // one row of four further
    QCOMPARE(shelfAt(v, 0) + shelfAt(v, 24) + shelfAt(v, 25), QStringLiteral("Shelf 5Shelf 29"));
    QCOMPARE(currentSlots(v), QList<int> {}); // the current shelf has left the page
    QCOMPARE(v.page().mid(9, 2), (Strings {"Book 9.txt", "Book 10.txt"}));
    v.model->scrollBooks(58);
    QCOMPARE(v.page().first() + "|" + QString::number(v.page().size()), "Book 285.txt|16");
    v.model->scrollBooks(99); // beyond the end: the last page
    QCOMPARE(v.model->bookPosition(), 58);
    // Choosing a shelf: it is current, its slot alone drawn so, its books listed with their
    // shelf and colour; a shelf of few books starts from its first slot with the bar hidden.
    v.model->scrollShelves(1);
    v.model->chooseShelf(5);
    v.model->chooseShelf(1);
    QCOMPARE(v.model->currentShelf(), QByteArray("Shelf 2"));
    QCOMPARE(currentSlots(v), QList<int> {1});
    QCOMPARE(v.model->SelectedShelf(), 1);
    QCOMPARE(v.model->bookPosition() + v.model->pager(Grid::Books).maximum(), 1);
    QCOMPARE(v.model->bookSlot(0).file + v.model->bookSlot(0).shelf, QByteArray("x.txtShelf 2"));
    QCOMPARE(v.model->bookSlot(0).colour, 2);
    // A book's pop-up aims at it and the current shelf; a shelf's changes only the shelf.
    v.model->aimAtBook(0);
    v.model->aimAtShelf(5);
    const PopUpTarget &t = v.model->target();
    QCOMPARE(t.BookName + t.ShelfName, QByteArray("x.txtShelf 6"));
    QCOMPARE(QList<int>({t.BookNumber, t.ShelfIndex}), QList<int>({0, 5}));
    QCOMPARE(v.model->currentShelf(), QByteArray("Shelf 2"));
    // Choosing it again reads its folder again; a hidden slot chooses nothing.
    v.tree.write("lib/Shelf 2/Added outside.txt");
    v.model->chooseShelf(1);
    v.model->chooseShelf(29);
    QCOMPARE(v.model->BookList().toStringList(), (Strings {"Added outside.txt", "x.txt"}));
    QDir(v.tree.path("lib/Shelf 2")).removeRecursively(); // a vanished shelf shows empty
    v.model->reloadBooks();
    QCOMPARE(v.model->BookCount(), 0);
}

void TestModel::refresh()
{
    // The current shelf stays current when the first page shows it; else the first shelf is.
    for (auto [page, slot, current] : {std::tuple(3, 20, "Shelf 1"), std::tuple(1, 4, "Shelf 5")}) {
        Library v(33, 2);
        v.load();
        v.model->scrollShelves(page);
        v.model->chooseShelf(slot);
        v.tree.write("lib/Shelf 1/Added outside.txt");
        v.model->refresh();
        QCOMPARE(v.model->shelfPosition(), 1);
        QCOMPARE(v.model->currentShelf(), QByteArray(current));
        QCOMPARE(currentSlots(v), QList<int> {v.model->SelectedShelf()});
        QCOMPARE(v.model->BookCount(), v.model->SelectedShelf() ? 0 : 3);
    }
}

void TestModel::oneChangePerOperation_data()
{
    // Signals of the shelf grid, the book grid, a book's colour and the library, in that order.
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("told");
    // clang-format off
    row("choose a shelf", "choose", "1 1 0 0");
    row("scroll the shelves", "scroll shelves", "1 0 0 0");
    row("scroll the books", "scroll books", "0 1 0 0");
    row("a focus move that pages", "focus", "0 1 0 0");
    row("a page of focus", "page", "0 1 0 0");
    row("refresh", "refresh", "1 1 0 1");
    row("the library shown afresh", "show", "1 1 0 1");
    row("a drop", "drop", "0 1 0 1");
    row("a command", "rename", "0 1 0 1");
    row("a new shelf", "new shelf", "1 0 0 1");
    row("a mark", "mark", "0 0 1 0");
    row("a burst from the disk", "disk", "1 1 0 1");
    // clang-format on
}

void TestModel::oneChangePerOperation()
{
    QFETCH(QString, operation);
    QFETCH(QString, told);
    Library v(40, 30);
    v.load();
    Bookcase &m = *v.model;
    QSignalSpy shelves(&m, &Bookcase::shelvesChanged), books(&m, &Bookcase::booksChanged),
        colour(&m, &Bookcase::bookColourChanged), library(&m, &Bookcase::libraryChanged);
    // Each grid is told once its page is complete: the slots show the list at the position.
    bool complete = true;
    connect(&m, &Bookcase::booksChanged, [&] {
        const int first = m.pager(Grid::Books).indexAt(0);
        complete = complete && m.bookSlot(0).file == m.BookList().bytesAt(first)
            && (first < 0 || m.bookSlot(0).shelf == m.currentShelf());
    });
    connect(&m, &Bookcase::shelvesChanged, [&] {
        complete = complete
            && m.shelfSlot(0).name == m.ShelfList().bytesAt(m.pager(Grid::Shelves).indexAt(0));
    });
    v.prompter.inputs = {"Renamed"};
    if (operation == u"choose")
        m.chooseShelf(1);
    else if (operation.startsWith(u"scroll"))
        m.scroll(operation.endsWith(u"books") ? Grid::Books : Grid::Shelves, 3);
    else if (operation == u"focus")
        m.focusOn(Grid::Books, 25);
    else if (operation == u"page")
        m.moveFocus(Grid::Books, FocusMove::PageDown);
    else if (operation == u"refresh")
        m.refresh();
    else if (operation == u"show")
        m.showLibrary();
    else if (operation == u"drop")
        m.dropBook(1, {"Shelf 1", "Book 0.txt"});
    else if (operation == u"rename")
        v.onBook("Book 1.txt"), v.commands->mnuBookRename_Click();
    else if (operation == u"new shelf")
        v.commands->cmdNewShelf_Click();
    else if (operation == u"mark")
        v.onBook("Book 1.txt"), v.commands->mnuMarkBook_Click(2);
    else
        v.tree.write("lib/Shelf 1/New.txt"), v.tree.mkdir("lib/Shelf 0"), m.followDisk();
    QCOMPARE(QString("%1 %2 %3 %4")
                 .arg(shelves.size())
                 .arg(books.size())
                 .arg(colour.size())
                 .arg(library.size()),
             told);
    QVERIFY(complete);
}

void TestModel::renamingFromDetails()
{
    Library v(1, 0);
    v.tree.write("lib/Shelf 1/9780141439518.epub", "the book");
    v.load();
    v.onBook("9780141439518.epub");
    v.commands->mnuMarkBook_Click(3);
    // Not read yet: said so, and nothing changes.
    v.onBook("9780141439518.epub");
    v.commands->mnuRenameFromDetails_Click();
    QVERIFY(v.prompter.told("not been read yet"));
    // Proposed from the details, the format part kept; marks as Rename Book leaves them.
    BookDetails emma;
    emma.title = "Emma. A Novel", emma.authors = QStringList {"Jane Austen"};
    v.commands->detailsOf = [&](const QByteArray &) { return std::optional(emma); };
    v.prompter.inputs = {"Jane Austen - Emma A Novel"};
    v.onBook("9780141439518.epub");
    v.commands->mnuRenameFromDetails_Click();
    QCOMPARE(v.prompter.asked.last(),
             std::pair(QString("Rename from Details"),
                       QString("Rename '9780141439518' to ... [Jane Austen - Emma A Novel]")));
    QCOMPARE(v.tree.read("lib/Shelf 1/Jane Austen - Emma A Novel.epub"), "the book");
    QCOMPARE(v.g.Marks.bytes(), QByteArray("-9780141439518.epub,3,"));
}

void TestModel::proposedNamesRenameAndMark_data()
{
    // A proposal taken as it is renames without a word, and the book can be marked.
    TABLE(ProposalRow);
    const QString longWords = QStringList(40, "Longword").join(' '); // 359 bytes
    // clang-format off
    row("a comma before a number", ProposalRow {"Tales,3 Stories", "Comma Writer", "1.epub", "Comma Writer - Tales 3 Stories.epub"});
    row("signs a reader refuses", ProposalRow {"AC/DC: Live", "", "2.pdf", "AC DC Live.pdf"});
    row("a long title, cut at a word", ProposalRow {longWords, "A. Writer", "3.epub", "A Writer - " + QStringList(26, "Longword").join(' ') + ".epub"});
    row("120 Japanese letters", ProposalRow {QString(120, QChar(0x3053)), "夏目漱石", "4.epub", "夏目漱石 - " + QString(78, QChar(0x3053)) + ".epub"});
    row("a long author too", ProposalRow {"T", QStringList(40, "Author").join(' '), "5.txt", QStringList(17, "Author").join(' ') + " - T.txt"});
    // clang-format on
}

void TestModel::proposedNamesRenameAndMark()
{
    FETCH(ProposalRow);
    Library v(1, 0);
    v.tree.write("lib/Shelf 1/" + r.file, "the book");
    v.load();
    BookDetails said;
    said.title = r.title, said.authors = r.author.isEmpty() ? Strings() : Strings {r.author};
    v.commands->detailsOf = [&](const QByteArray &) { return std::optional(said); };
    v.prompter.inputs = {ScriptedPrompter::Proposed};
    v.onBook(r.file);
    v.commands->mnuRenameFromDetails_Click();
    QCOMPARE(v.page(), Strings {r.renamed});
    v.onBook(r.renamed.toUtf8());
    v.commands->mnuMarkBook_Click(2);
    QCOMPARE(v.prompter.titles(), Strings {"Rename from Details"});
    QCOMPARE(v.g.Marks.colourOf(r.renamed.toUtf8()), 2);
}

void TestModel::dragAndClipboardData_data()
{
    // What a drop or a paste brings back, and whether a shelf and the reader take it during
    // this program's own drag and otherwise.
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("seen");
    // clang-format off
    row("a book", "book", "book Fiction/Emma.txt; shelf 10; reader 10");
    row("a book named not as text", "odd book", "book Fiction/caf\uFFFD.txt; shelf 10; reader 10");
    row("a book cut for a file manager", "cut", "files /lib/Emma.txt cut; shelf 11; reader 00");
    row("a book copied", "copied", "files /lib/Emma.txt; shelf 11; reader 00");
    row("a file manager's cut", "kde cut", "files /a b.txt,/c.txt cut; shelf 11; reader 00");
    row("another computer's file", "remote", "files; shelf 00; reader 00");
    row("text", "text", "files; shelf 00; reader 00");
    row("a book with no shelf", "no shelf", "files; shelf 10; reader 10");
    // clang-format on
}

void TestModel::dragAndClipboardData()
{
    QFETCH(QString, data);
    QFETCH(QString, seen);
    std::unique_ptr<QMimeData> d(new QMimeData);
    const QByteArray url = "file:///lib/Emma.txt";
    if (data.endsWith(u"book"))
        d.reset(BookDrag::bookData({"Fiction", data == u"book" ? "Emma.txt" : "caf\xe9.txt"}));
    else if (data == u"cut" || data == u"copied")
        d.reset(BookDrag::clipboardData({url}, data == u"cut"));
    else if (data == u"kde cut")
        d->setUrls({QUrl::fromLocalFile("/a b.txt"), QUrl::fromLocalFile("/c.txt")}),
            d->setData("application/x-kde-cutselection", "1");
    else if (data == u"remote")
        d->setUrls({QUrl("https://example.org/Emma.txt")});
    else if (data == u"text")
        d->setText("/lib/Emma.txt");
    else
        d->setData(BookDrag::MimeType, "Emma.txt");
    const BookDrag::Dropped got = BookDrag::decode(d.get());
    QStringList paths;
    for (const QByteArray &p : got.paths)
        paths << QString::fromUtf8(p);
    const QString brought = got.book
        ? "book " + QString::fromUtf8(got.book->shelf + '/' + got.book->file)
        : "files" + (paths.isEmpty() ? "" : " " + paths.join(',')) + (got.cut ? " cut" : "");
    QCOMPARE(QString("%1; shelf %2%3; reader %4%5")
                 .arg(brought)
                 .arg(BookDrag::shelfTakes(d.get(), true))
                 .arg(BookDrag::shelfTakes(d.get(), false))
                 .arg(BookDrag::readerTakes(d.get(), true))
                 .arg(BookDrag::readerTakes(d.get(), false)),
             seen);
}

void TestModel::followingTheDisk()
{
    // The Main Book Folder moved away is a folder that is not there, and comes back by itself.
    Library v(2, 0);
    v.load();
    QTRY_COMPARE(v.model->watcher().followed().size(), 3); // the library, its folder, a shelf
    QVERIFY(QDir().rename(v.tree.path("lib"), v.tree.path("lib-away")));
    QTRY_VERIFY(v.model->libraryMissing() && v.model->ShelfList().empty());
    QVERIFY(QDir().rename(v.tree.path("lib-away"), v.tree.path("lib")));
    QTRY_COMPARE(v.shelves(), (Strings {"Shelf 1", "Shelf 2"}));
    QVERIFY(!v.model->libraryMissing());
}

void TestModel::marking()
{
    Library v(2, 0, "-Odd,2.5,-Emma.txt,7,-Old.txt,1\r\n"); // hand-edited: no final comma
    for (const char *name : {"Moby Dick.pdf", "Emma.txt", "Odd", "two\nlines.txt", "caf\xe9.txt",
                             "Vol,3 Part.txt", "a,3,-b.txt"})
        v.tree.writeBytes(QByteArray("lib/Shelf 1/") + name, "x");
    v.load();
    auto colour = [&](const char *file) { return v.model->bookSlot(v.slotOf(file)).colour; };
    QCOMPARE(colour("Emma.txt") * 10 + colour("Odd"), 2); // colour 7 is no mark; 2.5 rounds to 2
    auto mark = [&](const char *file, int colour) {
        v.onBook(file), v.commands->mnuMarkBook_Click(colour);
    };
    mark("Moby Dick.pdf", 2);
    mark("Emma.txt", 5);
    mark("Moby Dick.pdf", 6); // re-marked: one entry, moved to the end
    QCOMPARE(v.g.Marks.bytes(), QByteArray("-Odd,2.5,-Old.txt,1,-Emma.txt,5,-Moby Dick.pdf,6,"));
    v.commands->mnuUnmark_Click();
    v.commands->mnuUnmark_Click(); // no entry: nothing changes
    QCOMPARE(v.g.Marks.bytes(), QByteArray("-Odd,2.5,-Old.txt,1,-Emma.txt,5,"));
    QCOMPARE(colour("Moby Dick.pdf"), 0);
    // The marks file is one line of text: a name with a line break, one that is not readable
    // text, or one that would read back as another name or colour cannot be marked.
    for (const char *name : {"two\nlines.txt", "caf\xe9.txt", "Vol,3 Part.txt", "a,3,-b.txt"})
        mark(name, 3);
    QCOMPARE(v.prompter.titles(), Strings(4, "Cannot Mark Book"));
    QCOMPARE(v.g.Marks.bytes(), QByteArray("-Odd,2.5,-Old.txt,1,-Emma.txt,5,"));
    // A mark reaches the device at once: the new file, its name, then its folder; a process
    // killed right after a mark keeps it.
    if (const pid_t child = ::fork(); child == 0)
        mark("Emma.txt", 1), ::raise(SIGKILL);
    else
        ::waitpid(child, nullptr, 0);
    QVERIFY(v.tree.read("app/marked.dat").endsWith("-Emma.txt,1,\r\n"));
    OtherFileSystem flushes;
    v.g.FileSys.setSysCalls(&flushes);
    mark("Emma.txt", 4);
    QCOMPARE(flushes.calls, (Strings {"fsync temp", "rename marked.dat", "fsync app"}));
    // A marks file that cannot be written is told once, and written at the next change.
    FileSizeLimit {0}, mark("Odd", 1), mark("Odd", 2); // the limit lasts for both marks
    mark("Odd", 3);
    QCOMPARE(v.prompter.titles(), Strings(4, "Cannot Mark Book") << "Marks Not Saved");
    QVERIFY(v.tree.read("app/marked.dat").endsWith("-Emma.txt,4,-Odd,3,\r\n"));
    // Damaged entries of a name give way to its next mark, and go with an unmark; names that
    // hold commas keep theirs (how the line reads them is the marks table's).
    Library w(1, 0, "-Emma.txt,red,-Smith, John - Emma.txt,3,-a,-b.txt,4,-Emma.txt,,\r\n");
    w.tree.write("lib/Shelf 1/Emma.txt");
    w.load();
    w.onBook("Emma.txt"), w.commands->mnuMarkBook_Click(2);
    QCOMPARE(w.g.Marks.bytes(), QByteArray("-Smith, John - Emma.txt,3,-a,-b.txt,4,-Emma.txt,2,"));
    QCOMPARE(w.model->bookSlot(0).colour, 2);
    w.commands->mnuUnmark_Click();
    QCOMPARE(w.g.Marks.bytes() + char('0' + w.model->bookSlot(0).colour),
             QByteArray("-Smith, John - Emma.txt,3,-a,-b.txt,4,0"));
}

void TestModel::commands_data()
{
    TABLE(CommandRow);
    const Answer ok = Answer::Ok, no = Answer::No, yes = Answer::Yes, cancel = Answer::Cancel;
    using C = CommandRow;
    // clang-format off
    row("book keeps its format", C {"rb", "Moby Dick.pdf", "Ahab", ok, "", "Ahab.pdf"});
    row("book, first dot", C {"rb", "a.b.pdf", "c", ok, "", "c.b.pdf"});
    row("book, dots typed", C {"rb", "Moby Dick.pdf", "x.y", ok, "", "x.y.pdf"});
    row("book, same", C {"rb", "Moby Dick.pdf", "Moby Dick", ok, "Same Name", "Moby Dick.pdf"});
    row("book, other case", C {"rb", "Moby Dick.pdf", "MOBY DICK", ok, "", "MOBY DICK.pdf"});
    row("book, no dot", C {"rb", "README", "READ ME", ok, "", "READ ME"});
    row("book, no dot, same", C {"rb", "README", "README", ok, "Same Name", "README"});
    row("book, name not UTF-8", C {"rb", "caf?.pdf", "Cafe", ok, "", "Cafe.pdf"});
    row("book, name not UTF-8, deleted", C {"db", "caf?.pdf", "", yes, "", ""});
    row("book onto another, OK", C {"rb", "a.pdf", "Other", ok, "Book Exists", "Other.pdf"});
    row("book onto another, Cancel", C {"rb", "a.pdf", "Other", cancel, "Book Exists", "a.pdf"});
    row("book deleted, Yes", C {"db", "a.pdf", "", yes, "", ""});
    row("book deleted, No", C {"db", "a.pdf", "", no, "", "a.pdf"});
    row("shelf renamed", C {"rs", "Shelf 2", "Fiction", ok, "", "Fiction,S1,S3"});
    row("shelf onto another", C {"rs", "Shelf 2", "Shelf 3", ok, "Shelf Exists", "S1,S2,S3"});
    row("shelf, same", C {"rs", "Shelf 2", "Shelf 2", ok, "Same Name", "S1,S2,S3"});
    row("shelf, case only", C {"rs", "Shelf 2", "SHELF 2", ok, "", "S1,SHELF 2,S3"});
    row("shelf, cancel", C {"rs", "Shelf 2", "", ok, "", "S1,S2,S3"});
    row("displayed shelf renamed", C {"rs", "Shelf 1", "Classics", ok, "", "Classics,S2,S3"});
    row("shelf, name not UTF-8", C {"rs", "?", "Fixed", ok, "", "Fixed,S1,S2,S3"});
    row("shelf, name not UTF-8, deleted", C {"ds", "?", "", yes, "Delete Shelf", "S1,S2,S3"});
    row("empty shelf deleted, Yes", C {"ds", "Shelf 2", "", yes, "Delete Shelf", "S1,S3"});
    row("empty shelf deleted, No", C {"ds", "Shelf 2", "", no, "Delete Shelf", "S1,S2,S3"});
    row("shelf with a book", C {"ds", "Shelf 2", "book.txt", yes, "Cannot Delete Shelf", "S1,S2,S3"});
    row("shelf with a hidden file", C {"ds", "Shelf 2", ".hidden", yes, "Cannot Delete Shelf", "S1,S2,S3"});
    row("shelf with a sub-folder", C {"ds", "Shelf 2", "sub/", yes, "Cannot Delete Shelf", "S1,S2,S3"});
    row("shelf with a name not UTF-8", C {"ds", "Shelf 2", "\xe9", yes, "Cannot Delete Shelf", "S1,S2,S3"});
    row("displayed shelf deleted, No", C {"ds", "*Shelf 2", "", no, "Delete Shelf", "S1,S2,S3"});
    row("displayed shelf deleted, Yes", C {"ds", "*Shelf 2", "", yes, "Delete Shelf", "S1,S3"});
    row("new shelf", C {"ns", "", "Poetry", ok, "", "Poetry,S1,S2,S3"});
    row("new shelf, blanks kept", C {"ns", "", " Spaced ", ok, "", " Spaced ,S1,S2,S3"});
    row("new shelf, cancel", C {"ns", "", "", ok, "", "S1,S2,S3"});
    row("new shelf that exists", C {"ns", "", "Shelf 1", ok, "Shelf Exists", "S1,S2,S3"});
    row("new shelf named as a file", C {"ns", "", "loose.txt", ok, "Name Taken by a File", "S1,S2,S3"});
    row("shelf renamed as a file", C {"rs", "Shelf 2", "loose.txt", ok, "Name Taken by a File", "S1,S2,S3"});
    // clang-format on
    // Typed names that could reach outside the library or break a file are refused.
    const QString refused = "Name Not Allowed";
    // A name that starts with "." would be hidden, and vanish from the bookcase.
    for (const QString &name : Strings {"/", "a/b", "..", ".", ".hidden", "x\ny", "x\ry",
                                        QString::fromUtf8("x\0y", 3), QString(256, 'n')}) {
        const QByteArray tag = name.toUtf8().toPercentEncoding().left(12);
        QTest::addRow("new shelf %s", tag.data()) << C {"ns", "", name, ok, refused, "S1,S2,S3"};
        QTest::addRow("shelf %s", tag.data()) << C {"rs", "Shelf 2", name, ok, refused, "S1,S2,S3"};
        QTest::addRow("book %s", tag.data()) << C {"rb", "a.pdf", name, ok, refused, "a.pdf"};
    }
}

void TestModel::commands()
{
    FETCH(CommandRow);
    Library v(3, 0);
    const QByteArray on = r.on.toUtf8().replace('?', "\xe9").replace('*', "");
    v.tree.write("lib/loose.txt");
    v.tree.write("lib/Shelf 1/Other.pdf", "other");
    const bool book = r.command.endsWith('b');
    if (book)
        v.tree.writeBytes("lib/Shelf 1/" + on, "the book");
    const QByteArray shelf = QFile::encodeName(v.tree.path("lib/")) + on;
    if (r.on == u"?")
        ::mkdir(shelf.constData(), 0755);
    const QByteArray content = shelf + '/' + r.typed.toLatin1();
    if (r.command == u"ds" && r.typed.endsWith('/'))
        ::mkdir(content.constData(), 0755);
    else if (r.command == u"ds" && !r.typed.isEmpty())
        ::close(::open(content.constData(), O_CREAT | O_WRONLY, 0644));
    v.load();
    if (r.on.startsWith('*'))
        v.model->chooseShelf(1);
    v.prompter.inputs = {r.typed};
    v.prompter.answers = {r.answer};
    book ? v.onBook(on)
         : v.model->aimAtShelf(v.model->ShelfList().toStringList().indexOf(QString::fromUtf8(on)));
    if (r.command == u"rb")
        v.commands->mnuBookRename_Click();
    else if (r.command == u"db")
        v.commands->mnuBookDelete_Click();
    else if (r.command == u"rs")
        v.commands->cmdShelfRename_Click();
    else if (r.command == u"ds")
        v.commands->mnuShelfDelete_Click();
    else
        v.commands->cmdNewShelf_Click();
    QCOMPARE(v.prompter.titles().mid(r.command == u"ds" ? 0 : 1).join(','), r.titles);
    // A shelf that cannot be deleted says what it holds, hidden things too.
    if (r.titles == u"Cannot Delete Shelf")
        QVERIFY(v.prompter.told(r.typed.startsWith('.')     ? "It holds 1 hidden file."
                                    : r.typed.endsWith('/') ? "It holds 1 folder."
                                                            : "It holds 1 book."));
    if (book) { // the book is where the result says, and nowhere else; the grid shows it so
        QCOMPARE(v.tree.readBytes("lib/Shelf 1/" + r.result.toUtf8().replace('?', "\xe9")),
                 r.result.isEmpty() ? "<missing>" : "the book");
        QCOMPARE(v.tree.entries("lib/Shelf 1").size(),
                 r.result.isEmpty() || r.result == u"Other.pdf" ? 1 : 2);
        QCOMPARE(v.model->BookCount(), v.tree.entries("lib/Shelf 1").size());
    } else {
        QCOMPARE(v.shelves().join(',').replace("Shelf ", "S"), r.result);
    }
    // The displayed shelf stays current (under its new name when renamed); a deleted one
    // gives way to the first shelf.
    const QString displayed = r.on.startsWith('*') ? "Shelf 2" : "Shelf 1";
    const QString current = v.shelves().contains(displayed) ? displayed
        : r.on == u"Shelf 1"                                ? r.typed
                                                            : "Shelf 1";
    QCOMPARE(QString::fromUtf8(v.model->currentShelf()), current);
    QCOMPARE(currentSlots(v), QList<int> {v.model->SelectedShelf()});
    if (v.model->BookCount())
        QCOMPARE(v.model->bookSlot(0).shelf, v.model->currentShelf());
}

void TestModel::caseOnlyRenameWhereCaseIsIgnored()
{
    for (const bool shelf : {true, false}) {
        Library v(2, 0);
        v.tree.write("lib/Shelf 1/moby.pdf", "the book");
        OtherFileSystem fat;
        fat.ignoresCase = true;
        v.g.FileSys.setSysCalls(&fat);
        v.load();
        v.prompter.inputs.push_back(shelf ? "SHELF 1" : "Moby");
        if (shelf)
            v.model->aimAtShelf(0), v.commands->cmdShelfRename_Click();
        else
            v.onBook("moby.pdf"), v.commands->mnuBookRename_Click();
        QCOMPARE(v.prompter.titles().mid(1), Strings {});
        QCOMPARE(v.tree.read(shelf ? "lib/SHELF 1/moby.pdf" : "lib/Shelf 1/Moby.pdf"),
                 QByteArray("the book"));
    }
}

void TestModel::readerChecks()
{
    Library v(1, 0);
    v.tree.write("lib/Shelf 1/Why? Because.txt", "the book");
    v.tree.write("reader/B 10.epub");
    v.tree.write("reader/.hidden");
    v.tree.writeBytes("reader/caf\xe9.txt", "x"); // listed, as the book grid lists it
    v.tree.write("reader/Sub/Odes.fb2"); // sub-folders listed, sidecar folders not
    v.tree.write("reader/B 10.sdr/metadata.epub.lua");
    v.load();
    int asked = 0;
    v.model->reader().askForFolders = [&] {
        // The first time the dialog is aborted, the second time a folder is saved.
        if (++asked == 2)
            v.g.ReaderFolder = v.tree.path("reader");
        return true;
    };
    // A name that a FAT reader refuses: the user is asked, and Cancel copies nothing.
    v.model->sendToReader({"Shelf 1", "Why? Because.txt"});
    QCOMPARE(asked, 2);
    QCOMPARE(v.prompter.titles().join(','),
             "Main Book Folder not identified.,Main Book Folder not "
             "identified.,Name Not Accepted by the Reader");
    v.model->reader().toggleListing();
    QCOMPARE(*v.model->reader().shownListing(),
             (QList<QByteArray> {"B 10.epub", "caf\xe9.txt", "Sub/Odes.fb2"}));
    v.model->reader().toggleListing(); // closed
    v.g.ReaderFolder.clear();
    v.model->reader().askForFolders = [] { return false; }; // the program ends meanwhile
    v.model->reader().toggleListing();
    QVERIFY(!v.model->reader().shownListing());
}

void TestModel::marksFile_data()
{
    TABLE(MarksFileRow);
    const QByteArray mark = "-Book 0.txt,4,", added = "-new.txt,2,\r\n";
    // clang-format off
    row("a file", MarksFileRow {mark + "\r\nsecond line\r\n", "", mark + added});
    row("missing", MarksFileRow {{}, "", added});
    row("garbage, no line end", MarksFileRow {"\x01\xff," + mark + "-y", "", "\x01\xff," + mark + "-y," + added});
    row("a dangling link", MarksFileRow {{}, "nowhere", ""});
    row("a folder", MarksFileRow {{}, "/", ""});
    row("failing while read", MarksFileRow {{}, "/proc/self/mem", ""}); // opens, then fails
    // clang-format on
}

void TestModel::marksFile()
{
    FETCH(MarksFileRow);
    Library v(1, 1);
    if (r.link == "/")
        v.tree.mkdir("app/marked.dat");
    else if (!r.link.isEmpty())
        ::symlink(r.link.constData(), QFile::encodeName(v.tree.path("app/marked.dat")).constData());
    else if (!r.content.isNull())
        v.tree.write("app/marked.dat", r.content);
    v.load();
    QCOMPARE(v.g.MarksLoaded, !r.saved.isEmpty());
    QCOMPARE(v.prompter.titles(), r.saved.isEmpty() ? Strings {"Marks Not Read"} : Strings {});
    QCOMPARE(v.model->bookSlot(0).colour, r.content.contains("Book 0.txt,4") ? 4 : 0);
    v.g.Marks.appendEntry("new.txt", 2);
    QVERIFY(bool(SaveMarks(v.g)));
    // Marks that could not be read are never saved over.
    if (r.saved.isEmpty())
        QVERIFY(QFileInfo(v.tree.path("app/marked.dat")).isSymLink() || r.link == "/");
    else
        QCOMPARE(v.tree.read("app/marked.dat"), r.saved);
}

void TestModel::folderLocations_data()
{
    TABLE(FoldersRow);
    row("both empty", FoldersRow {"", "", "Main Book Folder not identified."});
    row("book missing", FoldersRow {"nowhere", "", "Folder Does Not Exist."});
    row("reader missing", FoldersRow {"lib", "noreader", "Folder Does Not Exist."});
    row("LF in the book folder", FoldersRow {"lib\nx", "", "Folder Not Allowed"});
    row("CR in the reader folder", FoldersRow {"lib", "reader\r", "Folder Not Allowed"});
    row("saved", FoldersRow {"lib", "reader", ""});
    row("saved, no reader", FoldersRow {"lib", "", ""});
    row("relative book folder", FoldersRow {"=.", "", "Folder Not Allowed"}); // "=": as typed
    row("relative reader folder", FoldersRow {"lib", "=.", "Folder Not Allowed"});
    row("relative, missing", FoldersRow {"lib", "=./nowhere", "Folder Does Not Exist."});
    row("empty book, relative reader",
        FoldersRow {"", "=./reader", "Main Book Folder not identified."});
    row("home folder", FoldersRow {"=~/lib", "=~/reader", ""});
}

void TestModel::folderLocations()
{
    FETCH(FoldersRow);
    Library v;
    v.tree.write("app/config.ini", "old");
    v.tree.mkdir("lib\nx");
    v.tree.mkdir("reader\r");
    auto full = [&](const QString &s) {
        return s.isEmpty() ? s : v.tree.path(s.startsWith("=~/") ? s.mid(3) : s);
    };
    QString book = r.book.startsWith('=') ? r.book.mid(1) : full(r.book);
    QString read = r.read.startsWith('=') ? r.read.mid(1) : full(r.read);
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(v.tree.path()));
    if (const Notice refused = checkFolders(v.g.FileSys, book, read))
        v.prompter.message(refused.title, refused.text, Prompter::Buttons::Ok);
    else
        QVERIFY(saveConfig(v.g.FileSys, book, read));
    qputenv("HOME", home);
    QCOMPARE(v.prompter.titles(), r.title.isEmpty() ? Strings {} : Strings {r.title});
    const QString saved = "book=" + full(r.book) + "\r\nread=" + full(r.read) + "\r\n";
    QCOMPARE(v.tree.read("app/config.ini"), r.title.isEmpty() ? saved.toUtf8() : QByteArray("old"));
    QCOMPARE(v.tree.read("app/config.bak"), r.title.isEmpty() ? "old" : "<missing>");
    // A save that fails, as on a full disk, leaves the old file and says where.
    const QByteArray before = v.tree.read("app/config.ini");
    FileSizeLimit fsize {0};
    const Result<> failed = saveConfig(v.g.FileSys, v.tree.path("lib"), QString());
    QVERIFY(!failed && failed.error().contains(AppFolder::path()));
    QCOMPARE(v.tree.read("app/config.ini"), before);
}

void TestModel::faults_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("vanished"); // the book is gone, else its shelf is read-only
    for (const char *command : {"rename", "delete", "list"}) {
        for (const bool vanished : {false, true})
            QTest::addRow("%s, %s", command, vanished ? "vanished" : "read-only")
                << QString(command) << vanished;
    }
}

void TestModel::faults()
{
    QFETCH(QString, command);
    QFETCH(bool, vanished);
    if (!vanished && runningAsRoot())
        QSKIP("root ignores permissions: CTest runs this row as another user");
    Library v(2, 0);
    v.tree.write("lib/Shelf 1/a.txt", "the book");
    v.tree.write("lib/Shelf 1/b.txt", "another");
    v.load();
    const QString folder = v.tree.path("lib/Shelf 1");
    if (vanished)
        QFile::remove(folder + "/a.txt");
    else // unreadable for "list", else read-only
        QFile::setPermissions(
            folder, command == u"list" ? QFile::Permissions() : QFile::ReadUser | QFile::ExeUser);
    v.prompter.inputs = {"c"};
    v.prompter.answers = {Answer::Yes};
    v.onBook("a.txt");
    if (command == u"rename")
        v.commands->mnuBookRename_Click();
    else if (command == u"delete")
        v.commands->mnuBookDelete_Click();
    else
        v.model->chooseShelf(0);
    QFile::setPermissions(folder, QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
    // The user is told which file and why; the grid shows the disk; nothing else is touched.
    if (command != u"list")
        QVERIFY2(v.prompter.told(folder + "/a.txt")
                     && v.prompter.told(strerror(vanished ? ENOENT : EACCES)),
                 qPrintable(v.prompter.titles().join(',')));
    QCOMPARE(v.model->BookCount(), command == u"list" && !vanished ? 0 : vanished ? 1 : 2);
    QCOMPARE(v.tree.read("lib/Shelf 1/a.txt"), vanished ? "<missing>" : "the book");
    QCOMPARE(v.tree.read("lib/Shelf 1/b.txt"), QByteArray("another"));
}

void TestModel::transfers_data()
{
    QTest::addColumn<int>("op");
    QTest::addColumn<int>("situation");
    QTest::addColumn<QByteArray>("name"); // the book's, also one that is not UTF-8
    for (int op = MoveDrop; op <= AddMove; ++op) {
        for (int s = New; s <= ReadOnly; ++s) {
            const bool move = op == MoveDrop || op == AddMove;
            if ((s == PartWay && move) || ((s == HalfWay || s == Across) && !move))
                continue; // a move within one file system writes nothing; a copy never moves
            for (const char *name : {"big.epub", "caf\xe9.epub"})
                QTest::addRow("%s, %s, %s", OpNames[op], SituationNames[s], name)
                    << op << s << QByteArray(name);
        }
    }
}

void TestModel::transfers()
{
    QFETCH(int, op);
    QFETCH(int, situation);
    QFETCH(QByteArray, name);
    if (situation == ReadOnly && runningAsRoot())
        QSKIP("root ignores permissions: CTest runs this row as another user");
    const bool move = op == MoveDrop || op == AddMove;
    const bool outside = op == FileManager || op == AddCopy || op == AddMove;
    const QByteArray book(64 * 1024, 'B');
    Library v(2, 0);
    const TempTree stick(QStringLiteral("/dev/shm/quillrack-stick-XXXXXX")); // another file system
    const QByteArray source = (outside ? "outside/" : "lib/Shelf 1/") + name;
    const QString targetDir = op == Reader ? "reader" : "lib/Shelf 2";
    const QByteArray target = targetDir.toUtf8() + '/' + name;
    auto raw = [&](const QByteArray &relative) {
        return QFile::encodeName(v.tree.path()) + '/' + relative;
    };
    if (situation == HalfWay || situation == Across) {
        QVERIFY(QFileInfo(stick.path()).isDir());
        const QString dir = v.tree.path(outside ? "outside" : "lib/Shelf 2");
        QVERIFY(QDir().rmdir(dir) || !QFileInfo::exists(dir));
        QVERIFY(QFile::link(stick.path(), dir));
    }
    v.tree.mkdir("outside");
    v.tree.writeBytes(source, book);
    v.tree.write("lib/Shelf 1/other.txt", "another book");
    if (situation == Cancel || situation == Overwrite || situation == PartWay)
        v.tree.writeBytes(target, "old");
    OtherFileSystem old; // where the no-replace rename and hard links are missing
    old.noNoReplace = old.noLink = true;
    if (situation == OldAppears)
        v.g.FileSys.setSysCalls(&old);
    if (situation == Appears || situation == OldAppears) // a link to nothing: no question
        ::symlink("nowhere", raw(target).constData());
    // The target is the source under a second name: its folder reached another way (a linked
    // shelf, a path through "." and ".."), or a hard link.
    QString sourceDir = v.tree.path(outside ? "outside" : "lib/Shelf 1");
    if (situation == SameFile)
        ::link(raw(source).constData(), raw(target).constData());
    if (situation == SameFolder && outside) {
        v.tree.writeBytes(target, book); // the shelf's own book
        sourceDir = v.tree.path("lib/Shelf 1/../Shelf 2/.");
    }
    if (situation == SameFolder && !outside && op != Reader)
        QVERIFY(QFile::link(v.tree.path("lib/Shelf 1"), v.tree.path("lib/A link")));
    v.load();
    v.g.ReaderFolder = v.tree.path(situation == SameFolder ? "lib/Shelf 2/../Shelf 1" : "reader");
    if (situation == ReadOnly)
        QFile::setPermissions(v.tree.path(targetDir), QFile::ReadOwner | QFile::ExeOwner);
    if (situation == Vanished)
        ::unlink(raw(source).constData());
    v.prompter.answers = {situation == Cancel ? Prompter::Answer::Cancel : Prompter::Answer::Ok};
    const int shelf = situation == SameFolder ? 0 : 1; // "A link" sorts first
    {
        FileSizeLimit fsize {situation == PartWay || situation == HalfWay ? 4096ul : ~0ul};
        v.model->setMoveOnDrop(move);
        v.model->aimAtShelf(1);
        if (op == MoveDrop || op == CopyDrop)
            v.model->dropBook(shelf, {"Shelf 1", name});
        else if (op == Reader)
            v.model->sendToReader({"Shelf 1", name});
        else if (op == FileManager)
            v.model->dropFiles(1, {QFile::encodeName(sourceDir) + '/' + name});
        else
            v.commands->addOutsideBooks(sourceDir, {name}, move);
    }
    QFile::setPermissions(v.tree.path(targetDir),
                          QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
    const bool same = situation == SameFolder || situation == SameFile;
    const bool done = situation == New || situation == Across || situation == Overwrite;
    const QString failure = move ? "Cannot Move Book" : "Cannot Copy Book";
    QStringList titles;
    if (situation == Cancel || situation == Overwrite || situation == PartWay)
        titles << "File Exists";
    if (same && op == Reader)
        titles << "Same Folder";
    if ((situation >= Appears && !(situation == Vanished && op == FileManager)))
        titles << failure;
    QCOMPARE(v.prompter.titles(), titles);
    if (titles.endsWith(failure)) {
        const int err[] = {EEXIST, EEXIST, ENOENT, EFBIG, EFBIG, EACCES};
        QVERIFY2(v.prompter.told(strerror(err[situation - Appears])),
                 qPrintable(v.prompter.asked.last().second));
        QVERIFY(v.prompter.told(QString::fromUtf8(name)));
    }
    // Where the book's bytes are now.
    QCOMPARE(v.tree.readBytes(source),
             situation == Vanished || (done && move) ? QByteArray("<missing>") : book);
    const QByteArray expected = done || same
        ? book
        : QByteArray(situation == Cancel || situation == PartWay ? "old" : "<missing>");
    if (!(situation == SameFolder && !outside))
        QCOMPARE(v.tree.readBytes(target), expected);
    QCOMPARE(std::filesystem::is_symlink(raw(target).toStdString()),
             situation == Appears || situation == OldAppears);
    for (const QString &name : v.tree.entries(targetDir) + v.tree.entries("lib/Shelf 1"))
        QVERIFY2(!name.startsWith(".quillrack"), qPrintable(name)); // nothing half-copied left
    QCOMPARE(v.tree.read("lib/Shelf 1/other.txt"), QByteArray("another book"));
    // The grid shows the disk as it is.
    if (!outside && !same && situation != Cancel)
        QCOMPARE(v.model->BookCount(), v.tree.entries("lib/Shelf 1").size());
}

void TestModel::fileSysRules()
{
    TempTree t;
    for (const char *dir : {"lib/Shelf 10", "lib/Shelf 2", "lib/.hidden shelf", "lib/Shelf 2/sub"})
        t.mkdir(dir);
    for (const char *file : {"lib/loose.txt", "lib/Shelf 2/b.txt", "lib/Shelf 2/.dotfile",
                             "lib/Shelf 2/.quillrack-XXab12", "lib/Shelf 2/café.txt"})
        t.write(file);
    ::symlink("Shelf 10", QFile::encodeName(t.path("lib/link")).constData());
    t.writeBytes("lib/Shelf 2/caf\xe9.txt", "x");
    // A crash's temporary file goes when its folder is listed; one that a copy under way holds,
    // or that changed within the hour, stays.
    for (const char *name : {"old", "new", "held"})
        t.write(QString("lib/Shelf 10/.quillrack-") + name);
    const auto temp = [&](const char *name) {
        return QFile::encodeName(t.path(QString("lib/Shelf 10/.quillrack-") + name));
    };
    const struct timeval hoursAgo[2] = {{::time(nullptr) - 7200, 0}, {::time(nullptr) - 7200, 0}};
    ::utimes(temp("old"), hoursAgo), ::utimes(temp("held"), hoursAgo);
    const int held = ::open(temp("held"), O_RDONLY);
    ::flock(held, LOCK_EX);
    FileSys::Folder(t.path("lib/Shelf 10")).fileNames(nullptr, true);
    ::close(held);
    QCOMPARE(t.entries("lib/Shelf 10"), (QStringList {".quillrack-held", ".quillrack-new"}));
    // A listing leaves hidden names out and keeps the bytes of one that is not UTF-8.
    const auto root = FileSys().GetFolder(t.path("lib"));
    QVERIFY(root && !FileSys().GetFolder(t.path("lib/loose.txt")));
    QCOMPARE(root->folderNames().toStringList(), (QStringList {"link", "Shelf 2", "Shelf 10"}));
    const NameList books = FileSys::Folder(t.path("lib/Shelf 2")).fileNames();
    QCOMPARE(books.toStringList() + QStringList {books.bytesAt(2)},
             (QStringList {"b.txt", "café.txt", "caf\uFFFD.txt", "caf\uFFFD.txt"}));
    QCOMPARE(books.bytesAt(2), QByteArray("caf\xe9.txt"));
    // A folder is deleted only when nothing at all lies in it.
    for (const QString content : {"", "book.txt", ".hidden", "sub/"}) {
        TempTree t;
        const QString shelf = t.mkdir("Shelf");
        if (content.endsWith(u'/'))
            t.mkdir("Shelf/" + content);
        else if (!content.isEmpty())
            t.write("Shelf/" + content);
        QCOMPARE(FileSys().DeleteFolder(shelf).operator bool(), content.isEmpty());
        QCOMPARE(t.entries("Shelf"),
                 content.isEmpty() ? QStringList() : QStringList {content.section('/', 0, 0)});
    }
    // Old size, new size, bytes that may be written: nothing at all, part of a small file, part
    // of one past the 16 KiB that a buffered writer keeps, and a new file smaller than the old.
    // clang-format off
    for (auto [oldSize, newSize, limit] : std::initializer_list<std::tuple<int, int, int>> {
             {12, 20, 0}, {100, 16 * 1024 - 1, 4096}, {100, 40 * 1024, 16 * 1024}, {30000, 10, 5}}) {
        // clang-format on
        TempTree t;
        const QByteArray old(oldSize, 'o');
        const QString path = t.write("app/marked.dat", old);
        Result<> r;
        {
            FileSizeLimit fsize {(unsigned long)limit};
            r = FileSys().writeFileAtomically(path, QByteArray(newSize, 'n'));
        }
        QVERIFY(!r && r.error().contains(path));
        QCOMPARE(t.read("app/marked.dat"), old);
        QCOMPARE(t.entries("app").size(), 1);
    }
}

void TestModel::readAheadHandsOutOnlyWhatItRead()
{
    // The folder read ahead, the one asked for then, whether marked.dat can be read, and
    // whether the listings are handed out.
    for (auto [library, asked, marksReadable, handedOut] :
         {std::tuple("lib", "lib", true, true), std::tuple("lib", "lib/Shelf 2", true, false),
          std::tuple("gone", "gone", true, false), std::tuple("lib", "lib", false, true)}) {
        TempTree t;
        t.write("lib/Shelf 2/A 10.txt");
        t.write("lib/Shelf 2/a 9.txt");
        t.mkdir("lib/shelf 10");
        marksReadable ? (void)t.write("marked.dat") : (void)t.mkdir("marked.dat");
        ReadAhead ahead;
        ahead.start(FileSys(), t.path(library), t.path("marked.dat"));
        const std::optional<NameList> s = ahead.takeFolderNames(t.path(asked));
        const std::optional<NameList> b = ahead.takeFileNames(t.path(asked) + "/Shelf 2");
        QCOMPARE(s.has_value() && b.has_value(), handedOut);
        if (handedOut)
            QCOMPARE(s->toStringList() + b->toStringList(),
                     (QStringList {"Shelf 2", "shelf 10", "a 9.txt", "A 10.txt"}));
        QCOMPARE(ahead.takeFile(t.path("marked.dat")).has_value(), marksReadable);
        // Each is handed out once: the next look reads the disk as it is then.
        QVERIFY(!ahead.takeFolderNames(t.path(asked)) && !ahead.takeFile(t.path("marked.dat")));
    }
}

void TestModel::randomOperationsLoseNothing()
{
    bool set = false;
    const int start = qEnvironmentVariableIntValue("QUILLRACK_RANDOM_START", &set);
    QRandomGenerator rng(set ? quint32(start) : 20261206u);
    const int operations = qEnvironmentVariableIntValue("QUILLRACK_RANDOM_OPERATIONS", &set);
    QVERIFY(!set || operations > 0);
    Library v(0, 0);
    std::map<QString, Folder> model; // shelf name to its books
    Folder reader, outside;
    std::map<QString, int> marks;
    const QString shelves[] = {"Fiction", "Classics", "Poetry", "Science", "To Read"};
    for (int i = 0; i < 240; ++i) {
        const QString shelf = shelves[rng.bounded(5)], name = poolName(rng), other = poolName(rng);
        v.tree.write("lib/" + shelf + u'/' + name,
                     model[shelf][name] = (name + QString::number(i)).toUtf8());
        v.tree.write("outside/" + other, outside[other] = QByteArray::number(i) + " outside");
    }
    v.g.ReaderFolder = v.tree.mkdir("reader");
    v.load();
    Bookcase &m = *v.model;
    int checked = 0;
    auto shelfOf = [&](int slot) { return QString::fromUtf8(m.shelfSlot(slot).name); };
    auto fileOf = [&](int slot) { return QString::fromUtf8(m.bookSlot(slot).file); };
    // Copies or moves a book within the model, as a transfer with that answer must.
    auto carry = [&](Folder &from, Folder &to, const QString &name, bool move, bool overwrite) {
        if (&from != &to && (!to.count(name) || overwrite)) {
            to[name] = from[name];
            if (move)
                from.erase(name);
        }
    };
    const int total = set ? operations : 2000;
    for (int done = 0; done < total; ++done) {
        const int count = qMin(int(model.size()), Bookcase::ShelfSlots);
        const int shelfSlot = count ? int(rng.bounded(count)) : 0;
        const QString target = shelfOf(shelfSlot), shelf = QString::fromUtf8(m.currentShelf());
        const int shown = int(v.page().size()), op = int(rng.bounded(14));
        const int slot = shown ? int(rng.bounded(shown)) : -1;
        const QString book = fileOf(slot);
        const bool yes = rng.bounded(2);
        if (slot < 0 && op >= 1 && op <= 6)
            continue;
        v.prompter.answers = {yes ? Prompter::Answer::Ok : Prompter::Answer::Cancel};
        v.prompter.inputs.clear();
        if (op == 0) {
            m.chooseShelf(shelfSlot);
        } else if (op <= 2) { // drag onto a shelf, maybe its own, moving or copying
            m.setMoveOnDrop(op == 1);
            m.dropBook(shelfSlot, {m.currentShelf(), book.toUtf8()});
            carry(model[shelf], model[target], book, op == 1, yes);
        } else if (op == 3) { // rename, maybe onto another book
            const QString stem = poolName(rng).section(u'.', 0, 0);
            const QString renamed
                = book.contains(u'.') ? stem + book.mid(book.indexOf(u'.')) : stem;
            v.onBook(book.toUtf8());
            v.prompter.inputs = {stem};
            v.commands->mnuBookRename_Click();
            if (renamed != book && (!model[shelf].count(renamed) || yes)) {
                model[shelf][renamed] = model[shelf][book];
                model[shelf].erase(book);
            }
        } else if (op == 4) { // delete, or change one's mind
            v.onBook(book.toUtf8());
            v.prompter.answers = {yes ? Prompter::Answer::Yes : Prompter::Answer::No};
            v.commands->mnuBookDelete_Click();
            if (yes)
                model[shelf].erase(book);
        } else if (op == 5) { // mark or unmark
            v.onBook(book.toUtf8());
            yes ? (void)(marks[book] = 1 + int(rng.bounded(6))) : (void)marks.erase(book);
            yes ? v.commands->mnuMarkBook_Click(marks[book]) : v.commands->mnuUnmark_Click();
        } else if (op == 6) { // send a copy to the reader; a name a FAT reader refuses anyway
            if (fatRejectsName(book))
                v.prompter.answers.push_front(Prompter::Answer::Ok);
            m.sendToReader({m.currentShelf(), book.toUtf8()});
            carry(model[shelf], reader, book, false, yes);
        } else if (op == 7) { // a new shelf, sometimes one that exists
            v.prompter.inputs = {QStringLiteral("Shelf %1").arg(rng.bounded(6))};
            model[v.prompter.inputs.front()];
            v.commands->cmdNewShelf_Click();
        } else if (op == 8 || op == 9) { // rename a shelf, maybe onto another; delete one
            const QString name = QStringLiteral("Renamed %1").arg(rng.bounded(4));
            const bool free = !model.count(name);
            m.aimAtShelf(shelfSlot);
            v.prompter.inputs = {name};
            v.prompter.answers = {Prompter::Answer::Yes};
            op == 8 ? v.commands->cmdShelfRename_Click() : v.commands->mnuShelfDelete_Click();
            if (count && op == 8 && free)
                model[name] = model[target];
            if (count && ((op == 8 && free) || (op == 9 && model[target].empty())))
                model.erase(target);
        } else if (op == 10 || op == 11) { // dropped from a file manager, or added by copy or move
            const QString name
                = std::next(outside.begin(), rng.bounded(int(outside.size())))->first;
            const bool move = op == 11 && rng.bounded(2);
            m.aimAtShelf(shelfSlot);
            op == 10 ? m.dropFiles(shelfSlot, {QFile::encodeName(v.tree.path("outside/" + name))})
                     : v.commands->addOutsideBooks(v.tree.path("outside"), {name.toUtf8()}, move);
            if (count)
                carry(outside, model[target], name, move, yes);
            if (outside.empty())
                v.tree.write("outside/refill.txt", outside["refill.txt"] = "refill");
        } else if (op == 12) {
            m.scrollBooks(1 + int(rng.bounded(qMax(1, m.pager(Grid::Books).maximum()))));
        } else {
            m.refresh();
        }
        QString why = differs(v.tree.path("reader"), reader, checked)
            + differs(v.tree.path("outside"), outside, checked);
        for (const auto &[name, books] : model)
            why += differs(v.tree.path("lib/" + name), books, checked);
        if (v.tree.entries("lib").size() != qsizetype(model.size()))
            why += QStringLiteral("shelves on disk: %1").arg(v.tree.entries("lib").join(','));
        if (!m.currentShelf().isEmpty()
            && m.BookCount() != int(model[QString::fromUtf8(m.currentShelf())].size()))
            why += QStringLiteral("the grid counts %1 books").arg(m.BookCount());
        for (int i = 0; i < Bookcase::BookSlots; ++i) {
            if (!fileOf(i).isEmpty()
                && m.bookSlot(i).colour != (marks.count(fileOf(i)) ? marks[fileOf(i)] : 0))
                why += fileOf(i) + QStringLiteral(" shows the wrong colour");
        }
        QVERIFY2(why.isEmpty(), qPrintable(why + QStringLiteral(" (operation %1)").arg(done)));
    }
    std::printf("randomized run: %d operations, %d books checked, lost: 0\n", total, checked);
    std::fflush(stdout);
}

void TestModel::findingInTheLibrary()
{
    Library v(30, 1); // the last shelf is on the sixth page; its 26th book on the second page
    for (int i = 0; i < 25; ++i)
        v.tree.write(QStringLiteral("lib/Shelf 30/Book %1.txt").arg(i));
    v.tree.write("lib/Shelf 30/Wanted.epub");
    v.tree.write("lib/Shelf 12/Wanted too.pdf");
    if (!runningAsRoot()) // an unreadable shelf is skipped and named
        QFile::setPermissions(v.tree.path("lib/Shelf 3"), QFile::Permissions());
    v.load();
    Finder finder(v.g);
    QObject::connect(v.model.get(), &Bookcase::libraryChanged, &finder, &Finder::forget);
    FindResults results(finder);
    auto found = [&](const QString &query) -> QString {
        results.setQuery(query);
        finder.read();
        if (!QTest::qWaitFor([&] { return !finder.reading(); })) // shelves come over as it goes
            return "still reading";
        Strings rows;
        for (int i = 0; i < results.rowCount(); ++i)
            rows << results.data(results.index(i)).toString();
        return rows.join(',');
    };
    QCOMPARE(found("WANTED"), "Wanted too — Shelf 12 — pdf,Wanted — Shelf 30 — epub");
    QFile::setPermissions(v.tree.path("lib/Shelf 3"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(finder.unreadable(), runningAsRoot() ? Strings() : Strings {"Shelf 3"});
    // A result shows its book: the shelf current and paged to, the book grid's focus on it.
    std::optional<bool> shown;
    v.model->showBook(results.book(1), [&](bool found) { shown = found; });
    QVERIFY(shown == true);
    QCOMPARE(v.model->currentShelf() + '/' + v.model->bookSlot(v.model->bookFocusSlot()).file,
             "Shelf 30/Wanted.epub");
    QCOMPARE(currentSlots(v), QList<int> {v.model->shelfFocusSlot()});
    QVERIFY(v.model->shelfPosition() > 1 && v.model->bookPosition() > 1);
    // What another program writes and deletes is found, and no longer found, by a check (as
    // the window makes when it is shown); a check that finds no change keeps the list.
    QSignalSpy replaced(&finder, &Finder::replaced);
    finder.check();
    QVERIFY(QTest::qWaitFor([&] { return !finder.checking(); }) && replaced.isEmpty());
    v.tree.write("lib/Shelf 2/Found elsewhere.txt");
    QFile::remove(v.tree.path("lib/Shelf 12/Wanted too.pdf"));
    QCOMPARE(found("found"), "");
    finder.check();
    QVERIFY(replaced.wait() && replaced.size() == 1);
    QCOMPARE(found("wanted"), "Wanted — Shelf 30 — epub");
    QCOMPARE(found("found"), "Found elsewhere — Shelf 2 — txt");
    v.model->showBook(results.book(0));
    v.prompter.inputs = {"Found again"};
    v.onBook("Found elsewhere.txt");
    v.commands->mnuBookRename_Click();
    QCOMPARE(found("found"), "Found again — Shelf 2 — txt");
    v.model->showBook({"Shelf 2", "Gone.txt"}, [&](bool found) { shown = found; });
    QVERIFY(shown == false && v.prompter.titles().contains("Book Not Found"));
}

void TestModel::findingByWhatBooksSay()
{
    Library v(2, 0);
    v.tree.write("lib/Shelf 1/9780141439518.epub", "a");
    v.tree.write("lib/Shelf 2/B00X1234.azw3", "b");
    const QByteArray cacheHome = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(v.tree.path("cache")));
    // One book known to the cache, and the row of a book that is gone; the other book is read
    // by a helper that says every book is Persuasion.
    // A third book's row was read by readers that knew less: it is read again.
    const QByteArray lib = QFile::encodeName(v.tree.path("lib")),
                     known = lib + "/Shelf 1/9780141439518.epub",
                     older = QFile::encodeName(v.tree.write("lib/Shelf 2/Old.pdf", "c"));
    BookDetails emma;
    emma.title = "Emma", emma.authors = Strings {"Jane Austen"}, emma.authorSorts = Strings {""};
    DetailsCache(DetailsCache::defaultFile())
        .store({{fileUri(known), DetailsCache::stampOf(known), emma},
                {fileUri(older), DetailsCache::stampOf(older), {}, DetailsReaderVersion - 1},
                {fileUri(lib + "/Shelf 1/Gone.epub"), {1, 1}, emma}});
    const QString helper
        = v.tree.write("helper.sh",
                       "#!/bin/sh\nwhile read -r uri; do printf 'title=Persuasion\\nauthor=Jane "
                       "Austen\\n\\n'; done\n");
    QFile::setPermissions(helper, QFile::ReadOwner | QFile::ExeOwner);
    v.load();
    Finder finder(v.g);
    finder.detailsReader().helper = helper;
    FindResults results(finder);
    results.setQuery("austen persuasion");
    finder.read();
    QVERIFY(QTest::qWaitFor([&] { return results.rowCount() == 2 && !finder.readingDetails(); }));
    // A row shows the book's own title where it gives one.
    QCOMPARE(results.data(results.index(0)).toString(),
             "Persuasion · Jane Austen — Shelf 2 — azw3");
    results.setQuery("emma");
    QCOMPARE(results.data(results.index(0)).toString(), "Emma · Jane Austen — Shelf 1 — epub");
    // What was read is kept; the row of the book that is gone is dropped.
    QCOMPARE(DetailsCache(DetailsCache::defaultFile()).under(fileUri(lib + '/')).size(), size_t(3));
    qputenv("XDG_CACHE_HOME", cacheHome);
}

void TestModel::twoCopiesKeepEachOthersMarks()
{
    // Run again by the test itself, as one of the two copies: it marks the books of its shelf
    // three times over.
    if (const QByteArray copy = qgetenv("QUILLRACK_COPY"); !copy.isEmpty()) {
        GlobalState g;
        ScriptedPrompter prompter;
        g.prompter = &prompter;
        AppFolder::setOverride(qEnvironmentVariable("QUILLRACK_TREE") + "/app");
        g.BookFolder = qEnvironmentVariable("QUILLRACK_TREE") + "/lib";
        g.ShelfFolders = g.RootFolder = g.FileSys.GetFolder(g.BookFolder);
        Bookcase model(g);
        Commands commands(g, model);
        model.load();
        model.chooseShelf(copy.toInt());
        for (int round = 1; round <= 3; ++round) {
            for (int slot = 0; slot < 20; ++slot)
                model.aimAtBook(slot), commands.mnuMarkBook_Click(round + copy.toInt());
        }
        QVERIFY(prompter.asked.isEmpty());
        return;
    }
    Library v(2, 0, "-Kept.txt,5,\r\n");
    for (int i = 0; i < 20; ++i) {
        v.tree.write(QStringLiteral("lib/Shelf 1/A %1.txt").arg(i));
        v.tree.write(QStringLiteral("lib/Shelf 2/B %1.txt").arg(i));
    }
    QProcess copies[2];
    for (int copy : {0, 1}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUILLRACK_COPY", QString::number(copy));
        env.insert("QUILLRACK_TREE", v.tree.path());
        copies[copy].setProcessEnvironment(env);
        copies[copy].start(QCoreApplication::applicationFilePath(),
                           {"twoCopiesKeepEachOthersMarks"});
    }
    for (QProcess &copy : copies)
        QVERIFY(copy.waitForFinished(60000) && copy.exitCode() == 0);
    const QByteArray marks = v.tree.read("app/marked.dat");
    QVERIFY(marks.startsWith("-Kept.txt,5,"));
    for (int i = 0; i < 20; ++i) // every last mark of both copies
        QVERIFY2(marks.contains(QStringLiteral("-A %1.txt,3,").arg(i).toUtf8())
                     && marks.contains(QStringLiteral("-B %1.txt,4,").arg(i).toUtf8()),
                 marks.constData());
    // Marks read ahead at start-up, then saved by another copy before this one takes them:
    // read again at this copy's first save.
    ReadAhead ahead;
    ahead.start(FileSys(), v.tree.path("lib"), v.tree.path("app/marked.dat"));
    (void)ahead.takeFolderNames(v.tree.path("lib")); // the reading is done
    v.tree.write("app/marked.dat", "-Late.txt,6,\r\n");
    v.g.readAhead = &ahead;
    v.load();
    v.g.readAhead = nullptr;
    changeMark(v.g, "Mine.txt", 1);
    QCOMPARE(v.tree.read("app/marked.dat"), QByteArray("-Late.txt,6,-Mine.txt,1,\r\n"));
}

void TestModel::appFolderIsChosenOnce()
{
    // Beside the program where it can write, or where its config.ini lies even when it cannot
    // (read-only media); else, and always when installed, in the user's config folder.
    TempTree t;
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(t.path("home")));
    for (const auto &[exe, holdsConfig, writable, beside] :
         {std::tuple("portable", false, true, true), std::tuple("read-only", true, false, true),
          std::tuple("bare", false, false, false), std::tuple("prefix/bin", false, true, false)}) {
        t.mkdir("prefix/share/quillrack");
        if (holdsConfig)
            t.write(QStringLiteral("%1/config.ini").arg(exe));
        t.mkdir(exe);
        if (!writable && runningAsRoot())
            continue; // root writes anywhere: CTest runs this again as another user
        QFile::setPermissions(t.path(exe),
                              writable ? QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                       : QFile::ReadOwner | QFile::ExeOwner);
        QCOMPARE(QFileInfo(AppFolder::choose(t.path(exe))).fileName(),
                 beside ? QFileInfo(t.path(exe)).fileName() : QCoreApplication::applicationName());
    }
    qputenv("XDG_CONFIG_HOME", config);
}

void TestModel::longCopiesStopCleanly()
{
    // A copy goes a chunk at a time: stopped by the user, or failing as on a full disk, after
    // its first chunk, it goes no further and leaves nothing, no temporary file either.
    class Disk : public SysCalls
    {
    public:
        mutable int chunks = 0;
        int fullAt = 0;
        ssize_t copyRange(int from, int to, size_t length) const override
        {
            return ++chunks == fullAt ? (errno = ENOSPC, -1)
                                      : SysCalls::copyRange(from, to, length);
        }
    };
    class StopAt : public CopyProgress
    {
    public:
        int reports = 0, stopAt = 0;
        bool advance(qint64) override { return ++reports != stopAt; }
    };
    for (const bool cancel : {true, false}) {
        TempTree t;
        const QString book = t.write("a/big.pdf", QByteArray(20 << 20, 'b'));
        t.mkdir("b");
        Disk disk;
        disk.fullAt = cancel ? 0 : 2;
        FileSys fs;
        fs.setSysCalls(&disk);
        StopAt progress;
        progress.stopAt = cancel ? 2 : 0;
        const Result<> r = fs.CopyFile(book, t.path("b/big.pdf"), false, &progress);
        QVERIFY(!r && r.error().contains(strerror(cancel ? ECANCELED : ENOSPC)));
        QCOMPARE(t.entries("b"), Strings());
        QCOMPARE(disk.chunks, 2);
        // A move across file systems copies: stopped or failed, the book stays where it was.
        const TempTree stick(QStringLiteral("/dev/shm/quillrack-stick-XXXXXX"));
        disk.chunks = progress.reports = 0;
        QVERIFY(!fs.MoveFile(book, stick.path("big.pdf"), false, &progress));
        QCOMPARE(QDir(stick.path()).entryList(QDir::Files | QDir::Hidden), Strings());
        QCOMPARE(t.read("a/big.pdf").size(), 20 << 20);
    }
}

namespace {

// A network share through the seam: its calls wait while its gate is closed (it stopped
// answering), or fail with the reason a network gives. It stops by itself at the first call of
// a kind (the step of a command to stop at).
class Share : public SysCalls
{
public:
    ~Share() override // the work a test leaves behind ends before the share goes
    {
        gate(false);
        QVERIFY(QTest::qWaitFor([] { return DiskExecutor::shared().busy() == 0; }, 5000));
    }
    int fails = 0; // what opening a folder fails with; 0: nothing
    void gate(bool close)
    {
        const std::lock_guard hold(m_lock);
        m_closed = close;
        m_open.notify_all();
    }
    void stopAt(const QByteArray &call)
    {
        const std::lock_guard hold(m_lock);
        m_stopAt = call;
    }
    bool held() const // a call waits at the gate
    {
        const std::lock_guard hold(m_lock);
        return m_held > 0;
    }
    int openFolder(const char *path) const override
    {
        pass("openFolder");
        return fails ? (errno = fails, -1) : SysCalls::openFolder(path);
    }
    // clang-format off
    int stat(const char *p, struct stat *st) const override { pass("stat"); return SysCalls::stat(p, st); }
    int lstat(const char *p, struct stat *st) const override { pass("lstat"); return SysCalls::lstat(p, st); }
    int renameNoReplace(const char *a, const char *b) const override { pass("rename"); return SysCalls::renameNoReplace(a, b); }
    int unlink(const char *p) const override { pass("unlink"); return SysCalls::unlink(p); }
    int mkdir(const char *p) const override { pass("mkdir"); return SysCalls::mkdir(p); }
    ssize_t copyRange(int a, int b, size_t n) const override { pass("copyRange"); return SysCalls::copyRange(a, b, n); }
    // clang-format on

private:
    void pass(const char *call) const
    {
        std::unique_lock hold(m_lock);
        if (m_stopAt == call)
            m_closed = true, m_stopAt.clear();
        ++m_held;
        m_open.wait(hold, [this] { return !m_closed; });
        --m_held;
    }
    mutable std::mutex m_lock;
    mutable std::condition_variable m_open;
    mutable bool m_closed = false;
    mutable QByteArray m_stopAt;
    mutable int m_held = 0;
};

// The library as the disk holds it: each shelf and the reader folder with their files.
QString onDisk(const Library &v)
{
    Strings folders;
    for (const char *folder : {"lib/Shelf 1", "lib/Shelf 2", "lib/New", "reader"}) {
        if (QFileInfo::exists(v.tree.path(folder)))
            folders << QString(folder).remove("lib/") + ": " + v.tree.entries(folder).join(',');
    }
    return folders.join("; ");
}

} // namespace

void TestModel::stopAtEachStep_data()
{
    // A command's share stops at one of its calls and the user presses Stop: what Stop says,
    // and what the disk holds once the share answers again and the call has ended.
    TABLE(StopRow);
    const QString none = "Shelf 1: Book 0.txt,Book 1.txt; Shelf 2: ; reader: ";
    const QString mayStill = "Stopped: '%1' may still be %2 when the folder answers again.";
    // clang-format off
    row("drop, looking", StopRow {"drop", "stat", "", none});
    row("drop, moving", StopRow {"drop", "rename", mayStill.arg("Book 0.txt", "moved"), "Shelf 1: Book 1.txt; Shelf 2: Book 0.txt; reader: "});
    row("paste, looking", StopRow {"paste", "stat", "", none});
    row("paste, moving", StopRow {"paste", "rename", mayStill.arg("Book 0.txt", "moved"), "Shelf 1: Book 1.txt; Shelf 2: Book 0.txt; reader: "});
    row("rename, looking", StopRow {"rename", "stat", "", none});
    row("rename, renaming", StopRow {"rename", "rename", mayStill.arg("Book 0.txt", "renamed"), "Shelf 1: Book 1.txt,Renamed.txt; Shelf 2: ; reader: "});
    row("delete, deleting", StopRow {"delete", "unlink", mayStill.arg("Book 0.txt", "deleted"), "Shelf 1: Book 1.txt; Shelf 2: ; reader: "});
    row("new shelf, looking", StopRow {"new shelf", "stat", "", none});
    row("new shelf, creating", StopRow {"new shelf", "mkdir", "Stopped: The shelf 'New' may still be created when the folder answers again.", "Shelf 1: Book 0.txt,Book 1.txt; Shelf 2: ; New: ; reader: "});
    row("send, looking", StopRow {"send", "stat", "", none});
    row("send, copying: nothing is left", StopRow {"send", "copyRange", "", none});
    // clang-format on
}

void TestModel::stopAtEachStep()
{
    FETCH(StopRow);
    Library v(2, 2);
    v.g.ReaderFolder = v.tree.mkdir("reader");
    v.load();
    Share share;
    v.g.FileSys.setSysCalls(&share);
    v.g.offThread = true;
    v.prompter.inputs = {r.command == "rename" ? "Renamed" : "New"};
    v.prompter.answers = {Answer::Yes};
    share.stopAt(r.call);
    v.onBook("Book 0.txt");
    const QByteArray book = QFile::encodeName(v.tree.path("lib/Shelf 1/Book 0.txt"));
    if (r.command == "drop")
        v.model->dropBook(1, {"Shelf 1", "Book 0.txt"});
    else if (r.command == "paste")
        v.model->dropFiles(1, {book}, true);
    else if (r.command == "rename")
        v.commands->mnuBookRename_Click();
    else if (r.command == "delete")
        v.commands->mnuBookDelete_Click();
    else if (r.command == "new shelf")
        v.commands->cmdNewShelf_Click();
    else
        v.model->sendToReader({"Shelf 1", "Book 0.txt"});
    QTRY_VERIFY(share.held());
    const qsizetype asked = v.prompter.asked.size();
    QCOMPARE(v.model->commands().jobs().size(), size_t(1));
    Job *job = v.model->commands().jobs().front();
    QSignalSpy late(job, &Job::endedLate);
    job->stop(); // at once: the command is over
    QVERIFY(!v.model->commands().busy());
    const auto said = v.prompter.asked.mid(asked);
    QCOMPARE(said.isEmpty() ? QString() : said[0].first + ": " + said[0].second, r.said);
    share.gate(false);
    QVERIFY(late.wait()); // the call's late end, and no later step, nor any question
    QCOMPARE(onDisk(v), r.after);
    QCOMPARE(v.prompter.asked.size(), asked + said.size());
}

void TestModel::racesWithTheWindow()
{
    // A drop takes the shelf its slot shows when the book is dropped, whatever the grid shows
    // while the share makes the drop wait (it pages, a listing answer lands); Find's Enter on a
    // slow shelf shows that very book once the shelf has answered; a program that ends while
    // a call is stuck ends at once, and the call's late end finds nothing to act on.
    auto v = std::make_unique<Library>(30, 2);
    v->load();
    Share share;
    v->g.FileSys.setSysCalls(&share);
    v->g.ShelfFolders = FileSys::Folder(v->g.BookFolder, &share);
    v->g.offThread = true;
    share.stopAt("stat");
    v->model->dropBook(1, {"Shelf 1", "Book 0.txt"}); // onto Shelf 2
    QTRY_VERIFY(share.held());
    v->model->scrollShelves(3); // another shelf in slot 1
    share.gate(false);
    v->model->refresh(); // a listing answer lands meanwhile
    QTRY_VERIFY(!v->model->commands().busy() && !v->model->reading(Grid::Books));
    QCOMPARE(v->tree.entries("lib/Shelf 2"), Strings {"Book 0.txt"});
    std::optional<bool> shown;
    share.stopAt("openFolder");
    v->model->showBook({"Shelf 1", "Book 1.txt"}, [&](bool found) { shown = found; });
    QTRY_VERIFY(share.held());
    QTest::qWait(50);
    QVERIFY(!shown); // nothing of the shelf shown before is taken for the book meanwhile
    share.gate(false);
    QTRY_VERIFY(shown == true);
    QCOMPARE(v->model->currentShelf() + '/' + v->model->bookSlot(v->model->bookFocusSlot()).file,
             "Shelf 1/Book 1.txt");
    share.stopAt("rename");
    v->prompter.inputs = {"Stuck"};
    v->onBook("Book 1.txt");
    v->commands->mnuBookRename_Click();
    QTRY_VERIFY(share.held());
    v->model->stopCommands(); // the program ends: nothing waits for the call
    v.reset();
    share.gate(false);
    QTRY_COMPARE(DiskExecutor::shared().busy(), 0);
}

void TestModel::aShareThatStopsAnswering()
{
    // Read off the window's thread, a stopped share holds nothing back: the grid reads, then
    // says the folder is not answering; only the answer to the latest question is taken.
    Library v(3, 2);
    v.load();
    Share share;
    v.g.FileSys.setSysCalls(&share);
    v.g.ShelfFolders = FileSys::Folder(v.g.BookFolder, &share);
    v.g.offThread = true;
    QSignalSpy books(v.model.get(), &Bookcase::booksChanged);
    share.gate(true);
    v.model->chooseShelf(1);
    QVERIFY(v.model->reading(Grid::Books) && !v.model->reading(Grid::Shelves));
    QCOMPARE(books.count(), 1);
    QCOMPARE(v.page(), Strings({"Book 0.txt", "Book 1.txt"})); // until the answer
    v.model->chooseShelf(2);
    QTRY_VERIFY_WITH_TIMEOUT(v.model->notAnswering(), 4000);
    v.model->keepWaiting();
    QVERIFY(!v.model->notAnswering() && v.model->reading(Grid::Books));
    v.tree.write("lib/Shelf 3/New.txt");
    share.gate(false);
    QTRY_VERIFY(!v.model->reading(Grid::Books));
    QTest::qWait(50); // the first answer, come too late, is dropped
    QCOMPARE(v.model->currentShelf() + "|" + v.page().join(","), "Shelf 3|New.txt");
    QVERIFY(!v.model->notAnswering());
    for (const int err : {ENOTCONN, EIO}) { // a share that fails reads as an empty one
        share.fails = err;
        v.model->refresh();
        QTRY_VERIFY(!v.model->reading(Grid::Shelves) && !v.model->reading(Grid::Books));
        QCOMPARE(v.shelves(), Strings());
        share.fails = 0;
    }
}

void TestModel::batches_data()
{
    QTest::addColumn<QString>("answers"); // to each "File Exists" asked, in turn
    QTest::addColumn<bool>("full"); // the disk fills up at the third book
    QTest::addColumn<QString>("after"); // a, b, c (there before), d: new, old, missing
    row("Cancel skips one", "Cancel Ok Ok", false, "old new new new");
    row("No to All", "Ok NoToAll", false, "new old old new");
    row("Yes to All", "YesToAll", false, "new new new new");
    row("a failure stops the batch", "YesToAll", true, "new new old missing");
}

void TestModel::batches()
{
    QFETCH(QString, answers);
    QFETCH(bool, full);
    QFETCH(QString, after);
    Library v(2, 0);
    QList<QByteArray> files;
    for (const char *name : {"a.txt", "b.txt", "c.txt", "d.txt"}) {
        files << QFile::encodeName(v.tree.write(QStringLiteral("outside/%1").arg(name),
                                                QByteArray(name[0] == 'c' ? 9000 : 3, 'n')));
        if (name[0] != 'd')
            v.tree.write(QStringLiteral("lib/Shelf 2/%1").arg(name), "old");
    }
    v.load();
    const Answer kinds[] = {Answer::Ok, Answer::Cancel, Answer::YesToAll, Answer::NoToAll};
    const Strings names {"Ok", "Cancel", "YesToAll", "NoToAll"};
    for (const QString &a : answers.split(' '))
        v.prompter.answers.push_back(kinds[names.indexOf(a)]);
    {
        FileSizeLimit fsize {full ? 4096ul : ~0ul};
        v.model->dropFiles(1, files); // a drop of four files from a file manager
    }
    Strings seen;
    for (const char *name : {"a.txt", "b.txt", "c.txt", "d.txt"}) {
        const QByteArray content = v.tree.read(QStringLiteral("lib/Shelf 2/%1").arg(name));
        seen << (content == "old" ? "old" : content == "<missing>" ? "missing" : "new");
    }
    QCOMPARE(seen.join(' '), after);
    QCOMPARE(v.prompter.titles().count("File Exists"), answers.count(' ') + 1);
    QCOMPARE(v.prompter.told("These arrived before it: a.txt, b.txt."), full);
}

void TestModel::cleanupTestCase()
{
    // The program's end: every disk thread has ended, with its own data, before the program's
    // globals are taken down under it.
    static std::atomic<int> made = 0, gone = 0;
    struct ThreadData
    {
        ThreadData() { ++made; }
        ~ThreadData() { ++gone; }
    };
    for (int i = 0; i < 8; ++i)
        DiskExecutor::shared().run(
            QDir::tempPath().toLocal8Bit(),
            [] {
                thread_local ThreadData mine;
                QThread::msleep(20);
            },
            DiskExecutor::Lane(i % 2));
    QTRY_COMPARE(DiskExecutor::shared().busy(), 0);
    DiskExecutor::shared().end();
    QVERIFY(DiskExecutor::shared().waitForThreads(std::chrono::seconds(5)));
    QVERIFY(made > 1);
    QCOMPARE(gone, made);
}

QTEST_GUILESS_MAIN(TestModel)
#include "tst_model.moc"
