// What only the windows show or do: start-up and the ways out, the menus and pop-ups, the drag
// start and drops, access keys, the real message boxes, the dialogs, paging by wheel and keys.
#include "appfolder.h"
#include "bookdrag.h"
#include "coverqueue.h"
#include "diskexecutor.h"
#include "frmabout.h"
#include "frmdirselect.h"
#include "frmfileloc.h"
#include "frmfind.h"
#include "frmmain.h"
#include "frmshelf.h"
#include "frmsplash.h"
#include "job.h"
#include "modmain.h"
#include "support.h"
#include "widgetprompter.h"
#include "widgets.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextDocumentFragment>
#include <QThread>
#include <QTimer>
#include <csignal>

using Strings = QStringList;

namespace {

// The index-th control of that object name (a slot of a grid), or the only one.
template<typename T = QWidget> T *child(const QObject *w, const char *name, int index = 0)
{
    return w->findChildren<T *>(QLatin1String(name)).value(index);
}

// The text of labels or text boxes, joined.
QString text(const QWidget *w, std::initializer_list<const char *> names)
{
    QString out;
    for (const char *name : names)
        out += child<QLineEdit>(w, name) ? child<QLineEdit>(w, name)->text()
                                         : child<QLabel>(w, name)->text();
    return out;
}

// What the user reads of a text that Qt may take for markup (tooltips, labels of automatic
// format) or for a mnemonic (menu items).
QString seen(const QString &text, Qt::TextFormat format = Qt::AutoText)
{
    if (format == Qt::RichText || (format == Qt::AutoText && Qt::mightBeRichText(text)))
        return QTextDocumentFragment::fromHtml(text).toPlainText();
    return text;
}

QString seenInMenu(QString text)
{
    return text.replace(QRegularExpression("&(.)"), "\\1");
}

// What a screen reader says of a control with the focus: a grid names its focused item (a
// book or shelf), with what it says of it.
QString heard(const QWidget *w)
{
    QAccessibleInterface *a = QAccessible::queryAccessibleInterface(const_cast<QWidget *>(w));
    QAccessibleInterface *item = qobject_cast<const PictureBox *>(w) ? a->focusChild() : nullptr;
    if (!item)
        return a->text(QAccessible::Name);
    const QString description = item->text(QAccessible::Description);
    return item->text(QAccessible::Name) + (description.isEmpty() ? "" : ": " + description);
}

// Sends a real drag-enter and drop of `data` to a control; true when the control took it.
bool dropOn(QWidget *target, QMimeData *data)
{
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, {});
    return enter.isAccepted() && QApplication::sendEvent(target, &drop) && drop.isAccepted();
}

// An app folder naming a library of Classics (empty) and Fiction, and the program on them.
// Runs fn once the window shows: for a dialog that looks at a folder before it opens.
void whenShown(const QWidget *window, std::function<void()> fn)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, window = QPointer(window), fn] {
        if (window && !window->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        fn();
    });
    poll->start(10);
}

// Boxes answered from the script; jobs followed in their windows, as in the program.
struct WindowPrompter : ScriptedPrompter
{
    void watch(Job &job) override { WidgetPrompter().watch(job); }
};

struct Program
{
    TempTree tree;
    WindowPrompter prompter;
    std::unique_ptr<modMain> program;
    int ended = 0;

    explicit Program(const QString &book = "lib") // a null book: no config.ini at all
    {
        tree.write("lib/Fiction/Moby Dick.pdf", "whale");
        tree.mkdir("lib/Classics");
        if (!book.isNull())
            tree.write("app/config.ini", ("book=" + tree.path(book) + "\r\nread=\r\n").toUtf8());
        AppFolder::setOverride(tree.mkdir("app"));
        program = std::make_unique<modMain>(prompter); // the disk asked as users get it
        program->endProgram = [this] { ++ended; };
    }
    frmShelf *w() const { return program->shelfWindow; }
    // Every listing has come and every command has ended.
    bool idle() const
    {
        Bookcase &m = w()->model();
        return !m.reading(Grid::Shelves) && !m.reading(Grid::Books) && !m.commands().busy();
    }
    // A book found elsewhere, shown: whether it was there.
    bool show(const BookRef &book)
    {
        std::optional<bool> shown;
        w()->showBook(book, [&](bool found) { shown = found; });
        return QTest::qWaitFor([&] { return shown.has_value(); }) && *shown && idle();
    }
    frmMain *m() const { return program->mainWindow; }
    QAction *action(const QString &name, int i = 0) const
    {
        return child<QAction>(m(), qPrintable(name), i);
    }
    bool start() // and make the window active: keys reach the active window only
    {
        const bool started = program->Main();
        QApplication::setActiveWindow(m());
        return started && QTest::qWaitForWindowActive(m())
            && QTest::qWaitFor([this] { return idle(); });
    }
};

} // namespace

class TestWindows : public QObject
{
    Q_OBJECT
private slots:
    void startUp_data();
    void startUp();
    void waysOut_data();
    void waysOut();
    void menuItems_data();
    void menuItems();
    void popUpsAtThePointer();
    void dragAndDrop();
    void accessKeysAndPaging();
    void keys_data();
    void keys();
    void progressKeepsItsSize();
    void realMessageBoxGivesTheSafeAnswer();
    void layout();
    void fileLocationsDialog();
    void addingBooksThroughThePicker();
    void findingByKeyboard();
    void namesShowAsText_data();
    void namesShowAsText();
    void goneBooksLeaveThePane();
    void followingTheDisk();
    void coversInTheGrid();
    void aShareThatStopsAnswering();
};

void TestWindows::startUp_data()
{
    QTest::addColumn<QString>("book"); // what config.ini names
    QTest::addColumn<int>("asked"); // the messages before the library shows
    row("configured", "lib", 0);
    row("first run, aborted twice", QString(), 3);
    row("missing folder", "gone", 1);
    row("a file", "lib/Fiction/Moby Dick.pdf", 1);
}

void TestWindows::startUp()
{
    QFETCH(QString, book);
    QFETCH(int, asked);
    Program p(book);
    for (int i = 1; i <= asked; ++i) // each message leads to the File Locations dialog
        p.prompter.onMessage.push_back([&p, i, asked] {
            later([&p, i, asked] {
                p.program->fileLoc->txtBook->setText(p.tree.path("lib"));
                (i < asked ? p.program->fileLoc->cmdAbort : p.program->fileLoc->cmdSave)->click();
            });
        });
    QVERIFY(p.start());
    QCOMPARE(p.prompter.asked.size(), asked);
    QVERIFY(!asked || p.prompter.told(book.isNull() ? "You must indicate" : p.tree.path(book)));
    QVERIFY(p.program->splash.isNull() && p.w()->isVisible());
    QCOMPARE(text(p.w(), {"lblWhichShelf"}) + "|" + p.m()->windowTitle(), "Classics|Quillrack");
    QCOMPARE(p.tree.read("app/config.ini"),
             "book=" + QFile::encodeName(p.tree.path("lib")) + "\r\nread=\r\n");
}

void TestWindows::waysOut_data()
{
    QTest::addColumn<int>("way");
    int way = 0;
    for (const char *name :
         {"menu Exit", "Exit button", "window closed", "session ends", "closed during start-up"})
        QTest::newRow(name) << way++;
}

void TestWindows::waysOut()
{
    QFETCH(int, way);
    Program p(way == 4 ? QString() : "lib");
    p.tree.write("app/marked.dat", "-Old.txt,1,\r\n");
    auto leave = [&](int how) {
        if (how == 0)
            p.action("mnuExit")->trigger();
        else if (how == 1)
            child<QAbstractButton>(p.w(), "cmdExit")->click();
        else if (how == 3)
            QMetaObject::invokeMethod(qApp, "aboutToQuit", Qt::DirectConnection);
        else
            p.m()->close();
    };
    if (way == 4) // the window is closed while the first-run message is up
        p.prompter.onMessage.push_back([&] { leave(2); });
    QCOMPARE(p.program->Main(), way != 4);
    if (way != 4)
        p.program->g.Marks.appendEntry("Moby Dick.pdf", 6), leave(way);
    QCOMPARE(p.tree.read("app/marked.dat"),
             way == 4 ? "-Old.txt,1,\r\n" : "-Old.txt,1,-Moby Dick.pdf,6,\r\n");
    p.tree.write("app/marked.dat", "changed"); // a second way out writes nothing more
    leave(way == 0 ? 1 : 0);
    QCOMPARE(p.tree.read("app/marked.dat"), QByteArray("changed"));
    QCOMPARE(p.ended + p.program->shutdownCount(), 2);
}

void TestWindows::menuItems_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<int>("index"); // of the Mark Book items
    QTest::addColumn<QString>("effect"); // the title asked, or the window shown
    for (int i = 0; i < 6; ++i)
        QTest::addRow("mark %d", i + 1) << "mnuMarkBook" << i << "";
    row("unmark", "mnuUnmark", 0, "");
    row("add books", "mnuAddOutside", 0, "frmDirSelect");
    row("file location", "mnuFileLoc", 0, "frmFileLoc");
    row("about", "mnuAbout", 0, "frmAbout");
    row("help", "mnuHelp", 0, ""); // no help page beside the test: nothing at all
}

void TestWindows::menuItems()
{
    QFETCH(QString, item);
    QFETCH(int, index);
    QFETCH(QString, effect);
    Program p;
    QVERIFY(p.start());
    p.w()->imgShelf_Click(1); // Fiction, its book marked magenta; the pop-ups aimed at them
    QTRY_VERIFY(p.idle());
    p.w()->model().aimAtBook(0);
    p.w()->model().aimAtShelf(1);
    p.program->commands->mnuMarkBook_Click(3);
    QString shown;
    later([&] {
        if (QWidget *picker = QApplication::activeModalWidget())
            shown = picker->objectName(), picker->hide();
    });
    p.action(item, index)->trigger();
    for (const char *name : {"frmFileLoc", "frmAbout"})
        shown
            += child<QWidget>(p.m(), name) && child<QWidget>(p.m(), name)->isVisible() ? name : "";
    QCOMPARE(shown + p.prompter.titles().join(','), effect);
    const int mark = item == u"mnuMarkBook" ? index + 1 : item == u"mnuUnmark" ? 0 : 3;
    QCOMPARE(child<QLabel>(p.w(), "lblBook")->palette().color(QPalette::WindowText),
             markColour(mark));
}

void TestWindows::popUpsAtThePointer()
{
    Program p;
    p.tree.write("lib/Classics/Emma.txt");
    p.tree.write("lib/Classics/Odes.txt");
    QVERIFY(p.start());
    Strings seen;
    for (const auto &[slot, menu, index] :
         {std::tuple("lblShelf", "mnuShelfPopUp", 1), std::tuple("Book", "mnuBookPopUp", 0)}) {
        later([&, menu] {
            auto *popUp = child<QMenu>(p.m(), menu);
            seen << popUp->actions().first()->text()
                    + (popUp->pos() == QCursor::pos() ? " at the pointer" : "");
            popUp->close();
        });
        QCursor::setPos(child(p.w(), slot, index)->mapToGlobal(QPoint(5, 5)));
        QTest::mouseClick(child(p.w(), slot, index), Qt::RightButton, {}, QPoint(5, 5));
    }
    QCOMPARE(seen, (Strings {"Fiction at the pointer", "Emma at the pointer"}));
    QCOMPARE(text(p.w(), {"lblWhichShelf"}) + p.w()->model().target().BookName, "ClassicsEmma.txt");
}

void TestWindows::dragAndDrop()
{
    Program p;
    p.tree.write("lib/Fiction/Emma.txt");
    p.tree.write("downloads/New.epub", "new");
    QVERIFY(p.start());
    frmShelf *w = p.w();
    QTest::mouseClick(child(w, "lblShelf", 1), Qt::LeftButton); // Fiction, chosen by its label
    QTRY_VERIFY(p.idle());
    int drags = 0;
    w->startDrag = [&](int slot) {
        ++drags; // whatever the pointer crosses meanwhile, the pane keeps the dragged book
        QTest::mouseMove(child(w, "Book", 0));
        QTest::mouseMove(child(w, "Picture2"), QPoint(5, 400));
        QCOMPARE(text(w, {"txtTitle"}), QStringLiteral("Moby Dick"));
        std::unique_ptr<QMimeData> data(w->dragData(slot));
        QVERIFY(dropOn(child(w, "lblShelf", 0), data.get())); // onto Classics
    };
    QTest::mouseClick(child(w, "lblBook", 1), Qt::LeftButton); // a label starts no drag
    QCOMPARE(w->focusWidget(), child(w, "Picture2")); // but gives its grid the focus
    QTest::mouseClick(child(w, "Book", 1), Qt::LeftButton);
    QCOMPARE(drags, 1);
    QTRY_COMPARE(p.tree.read("lib/Classics/Moby Dick.pdf") + text(w, {"lblHowMany"}).toUtf8(),
                 "whaleBooks: 1\r\n");
    // Pointing shows a book's details; the empty background clears them.
    QTest::mouseMove(child(w, "lblBook"));
    QTRY_COMPARE(text(w, {"txtTitle", "txtAuthor", "txtFormat"}), "EmmaFictiontxt");
    QTest::mouseMove(child(w, "Picture2"), QPoint(5, 400));
    QTRY_COMPARE(text(w, {"txtTitle", "txtAuthor", "txtFormat"}), QString());
    // Files from a file manager are copied (what else a drop carries: the model's table).
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(p.tree.path("downloads/New.epub")),
                   QUrl::fromLocalFile(p.tree.path("downloads"))}); // a folder is no book
    QVERIFY(dropOn(child(w, "imgShelf", 1), &files));
    QTRY_COMPARE(p.tree.entries("lib/Fiction"), (Strings {"Emma.txt", "New.epub"}));
}

void TestWindows::accessKeysAndPaging()
{
    Program p;
    for (int i = 0; i < 40; ++i)
        p.tree.mkdir(QStringLiteral("lib/Shelf %1").arg(i));
    for (int i = 0; i < 59; ++i)
        p.tree.write(QStringLiteral("lib/Classics/Book %1.txt").arg(i));
    QVERIFY(p.start());
    // The wheel, and Page Down / Page Up with the keyboard elsewhere, page the grid under the
    // pointer one row at a time.
    child(p.w(), "txtTitle")->setFocus();
    for (const char *box : {"Picture1", "Picture2"}) {
        QWidget *grid = child(p.w(), box);
        const QPoint in(5, grid->height() - 5);
        QCursor::setPos(grid->mapToGlobal(in));
        QWheelEvent notch(in, grid->mapToGlobal(in), {}, {0, -120}, {}, {}, Qt::NoScrollPhase,
                          false);
        QApplication::sendEvent(grid, &notch);
        for (const Qt::Key key : {Qt::Key_PageDown, Qt::Key_PageDown, Qt::Key_PageUp})
            QTest::keyClick(p.w(), key);
    }
    QCOMPARE(child<QScrollBar>(p.w(), "VScroll1")->value() * 10
                 + child<QScrollBar>(p.w(), "VScroll2")->value(),
             33);
    QCOMPARE(text(p.w(), {"lblShelf", "lblBook"}), QStringLiteral("Shelf 6Book 10"));
    // In a grid with the keyboard, they move the focus a whole page and the grid with it.
    Strings pages;
    child(p.w(), "Picture2")->setFocus();
    for (const Qt::Key key : {Qt::Key_Home, Qt::Key_PageDown, Qt::Key_PageDown, Qt::Key_PageUp}) {
        QTest::keyClick(p.w()->focusWidget(), key);
        pages << heard(p.w()->focusWidget()).section(':', 0, 0) + " at "
                + QString::number(child<QScrollBar>(p.w(), "VScroll2")->value());
    }
    QCOMPARE(
        pages,
        (Strings {"Book 0.txt at 1", "Book 20.txt at 5", "Book 40.txt at 9", "Book 20.txt at 5"}));
    // While a book is dragged, the shelf under it is lit, and the pointer held at the shelf
    // grid's lower edge pages the grid (the drag takes the wheel).
    auto *shelves = child<PictureBox>(p.w(), "Picture1");
    int paged = 0;
    QRect lit;
    p.w()->startDrag = [&](int slot) {
        std::unique_ptr<QMimeData> data(p.w()->dragData(slot));
        QWidget *label = child(p.w(), "lblShelf", 2);
        QDragEnterEvent enter(label->rect().center(), Qt::MoveAction, data.get(), Qt::LeftButton,
                              {});
        QApplication::sendEvent(label, &enter);
        lit = shelves->dropRing();
        QDragLeaveEvent leave;
        QApplication::sendEvent(label, &leave);
        const int before = child<QScrollBar>(p.w(), "VScroll1")->value();
        QCursor::setPos(shelves->mapToGlobal(QPoint(40, shelves->height() - 8)));
        QTest::qWait(1000);
        paged = child<QScrollBar>(p.w(), "VScroll1")->value() - before;
    };
    QTest::mousePress(child(p.w(), "Book"), Qt::LeftButton);
    QVERIFY(lit.contains(child(p.w(), "lblShelf", 2)->geometry()) && shelves->dropRing().isNull());
    QVERIFY2(paged >= 1, qPrintable(QString::number(paged)));
    // Access keys: New Shelf, Refresh, and Exit, which the menu bar's Exit shares.
    QTest::keyClick(p.m(), Qt::Key_N, Qt::AltModifier);
    QTRY_COMPARE(p.prompter.titles(), Strings {"New Shelf"});
    p.tree.write("lib/Classics/Emma.txt");
    QTest::keyClick(p.m(), Qt::Key_R, Qt::AltModifier); // the grids back at their first rows
    QTRY_COMPARE(text(p.w(), {"lblHowMany"})
                     + QString::number(child<QScrollBar>(p.w(), "VScroll2")->value()),
                 QStringLiteral("Books: 60\r\n1"));
    p.tree.write("lib/Classics/Odes.txt");
    QTest::keyClick(p.w()->focusWidget(), Qt::Key_F5); // so does F5
    QTRY_COMPARE(text(p.w(), {"lblHowMany"}), QStringLiteral("Books: 61\r\n"));
    QTest::keyClick(p.m(), Qt::Key_X, Qt::AltModifier);
    QTRY_COMPARE(p.ended, 1);
}

void TestWindows::keys_data()
{
    // Keys from the shelf grid (Tab: on to the book grid), and what then differs from the start:
    // what a screen reader says of the focused control, the paging, the shelf shown, the
    // details pane, the boxes and pop-ups shown, and the books of Fiction and Classics.
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("seen");
    // clang-format off
    row("shelves: Right", "Right", "Fiction");
    row("shelves: Left at the first", "Left", "Classics: the shelf shown");
    row("shelves: Down", "Down", "S03");
    row("shelves: past the last row", "Down Down Down Down Down Down Down", "S27; shelves at 2");
    row("shelves: End", "End", "S30; shelves at 2");
    row("shelves: Home", "End Home", "Classics: the shelf shown");
    row("shelves: Space chooses", "Right Space", "Fiction: the shelf shown; shelf Fiction");
    row("shelves: Enter chooses", "Right Return", "Fiction: the shelf shown; shelf Fiction");
    row("shelves: Menu", "Right Menu", "Fiction; menu Fiction");
    row("shelves: Shift+F10", "Right Shift+F10", "Fiction; menu Fiction");
    row("shelves: F2 renames", "Right F2", "Fiction; asked Rename Shelf");
    row("shelves: Delete", "Right Del", "Fiction; asked Cannot Delete Shelf");
    row("books: Tab", "Tab", "B01.txt: on Classics");
    row("books: then the reader picture", "Tab Tab", "eBook Reader Content Folder");
    row("books: then the other controls", "Tab Tab Tab", "Title");
    row("reader: Space lists its folder", "Tab Tab Space", "eBook Reader Content Folder; listing Sent.txt");
    row("reader: Enter closes the listing", "Tab Tab Return Return", "eBook Reader Content Folder");
    row("reader: Menu", "Tab Tab Menu", "eBook Reader Content Folder; menu Show the Reader's &Books");
    row("reader: Shift+F10", "Tab Tab Shift+F10", "eBook Reader Content Folder; menu Show the Reader's &Books");
    row("books: Ctrl+E sends the book", "Tab Ctrl+E Tab Space", "eBook Reader Content Folder; listing B01.txt,Sent.txt");
    row("books: Right, a marked book", "Tab Right", "B02.txt: on Classics, marked red");
    row("books: Down", "Tab Down", "B06.txt: on Classics");
    row("books: End", "Tab End", "B24.txt: on Classics; books at 2");
    row("books: Space shows", "Tab Space", "B01.txt: on Classics; title B01");
    row("books: Enter opens", "Tab Return", "B01.txt: on Classics; asked Cannot Open Book");
    row("books: Menu", "Tab Menu", "B01.txt: on Classics; menu B01");
    row("books: Shift+F10", "Tab Shift+F10", "B01.txt: on Classics; menu B01");
    row("books: F2 renames", "Tab F2", "B01.txt: on Classics; asked Rename Book");
    row("books: Delete", "Tab Del", "B01.txt: on Classics; asked Delete Book");
    row("books: no paste", "Tab Ctrl+C Ctrl+V", "B01.txt: on Classics");
    row("cut, paste: moved", "Tab Ctrl+X Backtab Right Ctrl+V", "Fiction; Fiction B01.txt,Moby Dick.pdf; Books: 23");
    row("copy, paste: copied", "Tab Ctrl+C Backtab Right Ctrl+V", "Fiction; Fiction B01.txt,Moby Dick.pdf");
    row("paste onto its own shelf", "Tab Ctrl+X Backtab Ctrl+V", "Classics: the shelf shown");
    // clang-format on
}

void TestWindows::keys()
{
    QFETCH(QString, keys);
    QFETCH(QString, seen);
    Program p;
    for (int i = 1; i <= 30; ++i)
        p.tree.mkdir(QStringLiteral("lib/S%1").arg(i, 2, 10, QChar(u'0')));
    for (int i = 1; i <= 24; ++i)
        p.tree.write(QStringLiteral("lib/Classics/B%1.txt").arg(i, 2, 10, QChar(u'0')));
    p.tree.write("app/marked.dat", "-B02.txt,6,\r\n");
    p.tree.write("reader/Sent.txt");
    QVERIFY(p.start());
    p.w()->model().opener = "false"; // a desktop that opens nothing
    p.program->g.ReaderFolder = p.tree.path("reader");
    QString menu;
    later([&] {
        if (auto *popUp = qobject_cast<QMenu *>(QApplication::activePopupWidget()))
            menu = "menu " + popUp->actions().first()->text(), popUp->close();
    });
    for (const QString &key : keys.split(u' '))
        QTest::keySequence(p.w()->focusWidget(), QKeySequence(key));
    auto state = [&] {
        const QWidget *focus = p.w()->focusWidget();
        const QString shelf = text(p.w(), {"lblWhichShelf"}), title = text(p.w(), {"txtTitle"});
        const Strings fiction = p.tree.entries("lib/Fiction");
        const auto *listing = child<QListWidget>(p.w(), "File1");
        Strings listed;
        for (int i = 0; i < listing->count(); ++i)
            listed << listing->item(i)->text();
        const int at[] = {child<QScrollBar>(p.w(), "VScroll1")->value(),
                          child<QScrollBar>(p.w(), "VScroll2")->value()};
        const std::pair<bool, QString> facts[]
            = {{at[0] > 1, QStringLiteral("; shelves at %1").arg(at[0])},
               {at[1] > 1, QStringLiteral("; books at %1").arg(at[1])},
               {shelf != "Classics", "; shelf " + shelf},
               {!title.isEmpty(), "; title " + title},
               {!p.prompter.asked.isEmpty(), "; asked " + p.prompter.titles().join(',')},
               {!menu.isEmpty(), "; " + menu},
               {fiction.size() > 1, "; Fiction " + fiction.join(',')},
               {listing->isVisibleTo(p.w()), "; listing " + listed.join(',')},
               {p.tree.entries("lib/Classics").size() < 24,
                "; " + text(p.w(), {"lblHowMany"}).trimmed()}};
        QString s = heard(focus);
        for (const auto &[shown, fact] : facts)
            s += shown ? fact : "";
        return s;
    };
    QTRY_COMPARE(state(), seen);
}

void TestWindows::progressKeepsItsSize()
{
    // A job's window shows after half a second, keeps one size whatever it names (a press on
    // its button lands where the button was), says after three seconds without a step which
    // folder does not answer, whole; Esc stops the job at once, and its late end is told.
    WidgetPrompter prompter;
    Job job("/mnt/share/" + QString(120, u'f') + "/Fiction", prompter);
    auto gate = std::make_shared<std::atomic<bool>>(false);
    QSignalSpy finished(&job, &Job::finished), late(&job, &Job::endedLate);
    auto dialog = [&]() -> QDialog * {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->objectName() == "dlgJob" && w->isVisible())
                return qobject_cast<QDialog *>(w);
        return nullptr;
    };
    job.start("/", [gate](Job::Context &c) {
        c.progress("Emma.txt", 10, 100);
        QThread::msleep(800);
        c.progress(QString(400, u'x') + ".epub", 50, 100);
        while (!*gate)
            QThread::msleep(10);
        return Notice();
    });
    QSet<QSize> sizes;
    QString shown;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 4500 && finished.isEmpty()) {
        QTest::qWait(20);
        if (QDialog *d = dialog())
            sizes << d->size(), shown = child<QLabel>(d, "lblJob")->text();
        if (clock.elapsed() > 1100 && clock.elapsed() < 1300)
            QVERIFY(shown.contains(u'…') && shown.section(u'\n', 0, 0).endsWith(".epub"));
    }
    QCOMPARE(sizes.size(), 1);
    QVERIFY(shown.startsWith("The folder is not answering:\n/mnt/share/")
            && shown.remove(QChar(0x200B)).contains(QString(120, u'f') + "/Fiction"));
    QTest::keyClick(dialog(), Qt::Key_Escape);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished[0][0].value<Job::Outcome>(), Job::Outcome::Stopped);
    *gate = true;
    QVERIFY(late.wait());
    // A job that ends by itself: what it says is told once its window has gone.
    Job failing("/mnt/share/Fiction", prompter);
    bool goneFirst = false;
    QObject::connect(&failing, &Job::finished, [&] { goneFirst = !dialog(); });
    failing.start("/", [](Job::Context &) { return QThread::msleep(800), Notice {"Failed", "x"}; });
    QTRY_VERIFY(goneFirst);
}

void TestWindows::realMessageBoxGivesTheSafeAnswer()
{
    using B = Prompter::Buttons;
    using A = Prompter::Answer;
    for (const auto &[buttons, safe] :
         {std::pair(B::Ok, A::Ok), std::pair(B::OkCancel, A::Cancel), std::pair(B::YesNo, A::No)}) {
        for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_unknown}) {
            QString seen; // exactly the title given, and at most a few hundred characters a line
            later([&] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                seen = box->windowTitle() + QString::number(box->text().size() < 400);
                key == Qt::Key_unknown ? (void)box->close() : QTest::keyClick(box, key);
            });
            const QString path(3 << 20, u'x'); // from a damaged config.ini
            QCOMPARE(WidgetPrompter().message("File Exists", path + "\nOverwrite?", buttons), safe);
            QCOMPARE(seen, QStringLiteral("File Exists1"));
        }
    }
    later([] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
    QCOMPARE(WidgetPrompter().input("Name?", "New Shelf"), QString());
}

void TestWindows::layout()
{
    Program p;
    const QString shelf = "A Shelf Whose Name Is Far Too Long For The Heading Above Its Books";
    const QString book = "The Remarkable and Very Long Story of a Whale, Told Once Again.pdf";
    p.tree.write("lib/" + shelf + "/" + book);
    p.tree.writeBytes("lib/" + shelf.toUtf8() + "/caf\xe9.txt", "x");
    p.tree.write("app/marked.dat", "-" + book.toUtf8() + ",4,\r\n");
    QVERIFY(p.start());
    // A long name gives way in its middle; a white mark is outlined; a name that is not
    // readable text says how to mend it.
    const QLabel *label = child<QLabel>(p.w(), "lblBook", 1),
                 *heading = child<QLabel>(p.w(), "lblWhichShelf");
    QVERIFY(label->text().startsWith("The Rem") && label->text().contains(u'…')
            && label->text().endsWith("Again"));
    QVERIFY(heading->text().startsWith("A Shelf") && heading->text().contains(u'…')
            && heading->text().endsWith("Its Books"));
    QVERIFY(label->graphicsEffect() && !child(p.w(), "lblBook", 0)->graphicsEffect());
    QVERIFY(child(p.w(), "lblBook", 0)->toolTip().contains("not readable text"));
    // On a small screen the window stays on it, and a control that takes the focus out of view
    // is scrolled into it.
    QVERIFY(p.m()->screen()->availableGeometry().contains(p.m()->frameGeometry()));
    QWidget *exit = child(p.w(), "cmdExit"), *view = child<QMdiArea>(p.m(), "mdiArea")->viewport();
    exit->setFocus();
    QVERIFY(view->rect().contains(QRect(exit->mapTo(view, QPoint()), exit->size())));
    p.program->ensureDialogs();
    frmSplash splash;
    // Every caption shows whole in the desktop's font.
    for (const QWidget *window :
         std::initializer_list<const QWidget *> {p.w(), p.program->fileLoc, &splash}) {
        for (const QWidget *c : window->findChildren<QWidget *>()) {
            auto *label = qobject_cast<const QLabel *>(c);
            auto *button = qobject_cast<const QAbstractButton *>(c);
            QString caption = label && !label->wordWrap() ? label->text()
                : button                                  ? button->text()
                                                          : "";
            const int room = c->contentsRect().width() - (button ? 6 : 0);
            QVERIFY2(c->fontMetrics().horizontalAdvance(caption.remove('&')) <= room,
                     qPrintable(caption));
        }
    }
    // Screen readers hear each grid by its own name, as a list of what it shows; System Info
    // without such a program says so.
    Strings lists;
    for (const char *box : {"Picture1", "Picture2"}) {
        QAccessibleInterface *grid = QAccessible::queryAccessibleInterface(child(p.w(), box));
        lists << grid->text(QAccessible::Name)
                + (grid->role() == QAccessible::List ? " list:" : ":");
        for (int i = 0; i < grid->childCount(); ++i)
            lists.last() += " " + grid->child(i)->text(QAccessible::Name) + " ("
                + grid->child(i)->text(QAccessible::Description) + ")";
    }
    QCOMPARE(lists,
             (Strings {"Shelves list: " + shelf + " (the shelf shown) Classics () Fiction ()",
                       "Books list: caf\uFFFD.txt (on " + shelf + ") " + book + " (on " + shelf
                           + ", marked white)"}));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "");
    frmAbout(p.prompter).cmdSysInfo->click();
    qputenv("PATH", path);
    QCOMPARE(p.prompter.asked.value(0).second, "System Information Is Unavailable At This Time");
}

void TestWindows::fileLocationsDialog()
{
    Program p;
    p.tree.write("lib2/Poetry/Odes.txt");
    QVERIFY(p.start());
    p.action("mnuFileLoc")->trigger();
    frmFileLoc *d = p.program->fileLoc;
    QVERIFY(d->isVisible() && !d->isModal());
    // A folder that does not exist is refused and the dialog stays open for a correction.
    d->txtBook->setText(p.tree.path("nowhere"));
    d->cmdSave->click();
    QTRY_COMPARE(p.prompter.titles(), Strings {"Folder Does Not Exist."});
    QVERIFY(d->isVisible());
    // A modal request (a drop needs the reader folder) takes the dialog as it is.
    QString seen;
    later([&] {
        seen = d->txtBook->text();
        d->cmdAbort->click(); // Abort puts back what was saved
    });
    d->showModal();
    QCOMPARE(seen + "|" + d->txtBook->text(), p.tree.path("nowhere") + "|" + p.tree.path("lib"));
    // Browse opens the picker on the box's folder; Cancel keeps the box, OK takes the folder.
    d->showNonModal();
    frmDirSelect *picker = p.program->dirSelect;
    for (const bool ok : {false, true}) {
        whenShown(picker, [&] {
            QTRY_COMPARE(picker->Dir1->Path(), p.tree.path("lib"));
            picker->Dir1->setPath(p.tree.path("lib2"));
            QTRY_COMPARE(picker->Dir1->Path(), p.tree.path("lib2"));
            (ok ? picker->cmdOK : picker->cmdCancel)->click();
        });
        d->cmdBrowseBook->click();
        QCOMPARE(d->txtBook->text(), p.tree.path(ok ? "lib2" : "lib"));
    }
    d->cmdSave->click(); // a new library shows at once
    QTRY_VERIFY(!d->isVisible() && p.idle());
    QCOMPARE(p.prompter.titles(), Strings {"Folder Does Not Exist."});
    QTRY_COMPARE(text(p.w(), {"lblWhichShelf", "lblBook"}), QStringLiteral("PoetryOdes"));
    QCOMPARE(p.tree.read("app/config.bak"),
             "book=" + QFile::encodeName(p.tree.path("lib")) + "\r\nread=\r\n");
}

void TestWindows::addingBooksThroughThePicker()
{
    Program p;
    p.tree.write("outside/Emma.txt", "emma");
    p.tree.write("outside/Odes.txt", "odes");
    p.tree.write("outside/Poem.txt", "poem");
    QVERIFY(p.start());
    p.program->ensureDialogs();
    frmDirSelect *picker = p.program->dirSelect;
    later([&] {
        QCOMPARE(picker->windowTitle(), QStringLiteral("Select Book to Add"));
        picker->pointAt(p.tree.path("outside"));
        QTRY_COMPARE(picker->File1->list()->count(), 3);
        picker->cmdCopy->click(); // nothing selected: nothing happens
        QTest::keyClick(picker->File1->list(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(picker->File1->FileNames().size(), 3);
        picker->File1->setFileNames({"Emma.txt", "Odes.txt"}); // several at once
        picker->cmdCopy->click();
        QCOMPARE(picker->File1->FileNames(),
                 (QList<QByteArray> {"Emma.txt", "Odes.txt"})); // stay selected
        picker->File1->setFileNames({"Poem.txt"});
        picker->cmdMove->click();
        QTRY_COMPARE(picker->File1->list()->count(), 2); // the moved file left the list
        picker->cmdDone->click();
    });
    p.w()->model().aimAtShelf(1);
    p.action("mnuAddOutside")->trigger();
    QTRY_VERIFY(p.idle());
    QCOMPARE(
        p.tree.entries("lib/Fiction") + p.tree.entries("outside"),
        (Strings {"Emma.txt", "Moby Dick.pdf", "Odes.txt", "Poem.txt", "Emma.txt", "Odes.txt"}));
    QVERIFY(p.prompter.asked.isEmpty());
}

void TestWindows::findingByKeyboard()
{
    Program p;
    p.tree.write("lib/Fiction/Emma.txt");
    QVERIFY(p.start());
    QTest::keyClick(p.m(), Qt::Key_F, Qt::ControlModifier);
    auto *find = child<frmFind>(p.m(), "frmFind");
    QVERIFY(find && find->isVisible());
    QTRY_VERIFY(find->txtFind->hasFocus());
    QTest::keyClicks(find->txtFind, "dick");
    QTRY_COMPARE(find->lblCount->text(), QStringLiteral("1 book found"));
    QTest::keyClick(find->txtFind, Qt::Key_Return); // no row chosen: nothing happens
    QVERIFY(find->isVisible());
    QTest::keyClick(find->txtFind, Qt::Key_Down);
    QTest::keyClick(find->txtFind, Qt::Key_Return);
    // The book is shown, the keyboard on it in the book grid; the window steps aside.
    QTRY_COMPARE(text(p.w(), {"lblWhichShelf", "txtTitle"}) + "|" + heard(p.w()->focusWidget()),
                 "FictionMoby Dick|Moby Dick.pdf: on Fiction");
    QVERIFY(!find->isVisible());
    QApplication::setActiveWindow(p.m()); // as the window system would
    QTest::keyClick(p.m(), Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(find->txtFind->selectedText(), QStringLiteral("dick")); // as it was
    QTest::keyClick(find, Qt::Key_Escape);
    QVERIFY(!find->isVisible());
}

void TestWindows::namesShowAsText_data()
{
    QTest::addColumn<QString>("name"); // of a shelf, and of a book on it
    for (const char *name : {"<h1>Big.txt", "a & b.txt", "&x.txt", "<img src=x>.txt"})
        QTest::newRow(name) << QString(name);
}

void TestWindows::namesShowAsText()
{
    QFETCH(QString, name);
    Program p;
    p.tree.write("lib/" + name + "/" + name);
    QVERIFY(p.start());
    QVERIFY(p.show({name.toUtf8(), name.toUtf8()}));
    const int book = p.w()->model().bookFocusSlot(), shelf = p.w()->model().shelfFocusSlot();
    const QString title = name.section('.', 0, 0);
    Strings menus;
    for (const char *key : {"Menu", "Shift+Tab Menu"}) {
        later([&] {
            auto *popUp = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            menus << seenInMenu(popUp->actions().first()->text());
            popUp->close();
        });
        for (const QString &k : QString(key).split(' '))
            QTest::keySequence(p.w()->focusWidget(), QKeySequence(k));
    }
    QString prompt;
    later([&] {
        prompt = seen(QApplication::activeModalWidget()->findChild<QLabel *>()->text());
        QApplication::activeModalWidget()->close();
    });
    WidgetPrompter().input("Rename '" + title + "' to ...", "Rename Book");
    auto *find = new frmFind(*p.program->finder, p.m());
    find->showFind();
    find->txtFind->setText(name);
    QTRY_COMPARE(find->lstFound->model()->rowCount(), 1);
    const QModelIndex row = find->lstFound->model()->index(0, 0);
    QCOMPARE(Strings({seen(child(p.w(), "Book", book)->toolTip()),
                      seen(child(p.w(), "lblBook", book)->toolTip()),
                      child<QLabel>(p.w(), "lblBook", book)->text(),
                      seen(child(p.w(), "imgShelf", shelf)->toolTip()),
                      child<QLabel>(p.w(), "lblShelf", shelf)->text(),
                      child<QLabel>(p.w(), "lblWhichShelf")->text(),
                      seen(child(p.w(), "lblWhichShelf")->toolTip()),
                      seen(child(p.w(), "txtTitle")->toolTip()), menus.join('|'), prompt,
                      seen(row.data(Qt::ToolTipRole).toString())}),
             Strings({name, name, title, name, name, name, name, name, title + '|' + name,
                      "Rename '" + title + "' to ...", name + "\non " + name}));
}

void TestWindows::goneBooksLeaveThePane()
{
    Program p;
    p.tree.write("lib/Fiction/Emma.txt");
    QVERIFY(p.start());
    // A book shown in the pane and then renamed, moved away or deleted leaves it.
    for (const char *command : {"rename", "move", "delete"}) {
        QVERIFY(p.show({"Fiction", "Emma.txt"}));
        p.w()->model().aimAtBook(p.w()->model().bookFocusSlot());
        p.prompter.inputs = {"Emma 2"};
        p.prompter.answers = {Prompter::Answer::Yes};
        if (QString(command) == "move")
            p.w()->model().dropBook(0, {"Fiction", "Emma.txt"});
        else
            p.action(command == QString("rename") ? "mnuBookRename" : "mnuBookDelete")->trigger();
        QTRY_VERIFY2(text(p.w(), {"txtTitle", "txtAuthor", "txtFormat"}).isEmpty(), command);
        p.tree.write("lib/Fiction/Emma.txt");
        p.w()->cmdRefresh_Click();
        QTRY_VERIFY(p.idle());
    }
    // The reader caption says what a click does, also when the listing cannot be read.
    Strings captions;
    for (const char *reader : {"no reader", "reader", "reader"}) {
        p.program->g.ReaderFolder = p.tree.mkdir(reader).replace("no reader", "gone");
        QTest::mouseClick(child(p.w(), "imgToReader"), Qt::LeftButton);
        QTRY_VERIFY(!p.w()->model().reader().reading()); // read off the window's thread
        captions << text(p.w(), {"Label4"}).section(". ", -1)
                + (child(p.w(), "File1")->isVisible() ? " shown" : "");
    }
    QCOMPARE(captions, (Strings {"Click for list.", "Click to close. shown", "Click for list."}));
    QCOMPARE(p.prompter.titles().last(), QStringLiteral("Cannot List Reader Folder"));
}

void TestWindows::followingTheDisk()
{
    Program p;
    for (int i = 0; i < 30; ++i)
        p.tree.write(QStringLiteral("lib/Fiction/Book %1.txt").arg(i));
    QVERIFY(p.start());
    Bookcase &m = p.w()->model();
    m.chooseShelf(1); // not the first shelf, and a later page of its books
    QTRY_VERIFY(p.idle() && m.watcher().followed().contains(p.tree.path("lib/Fiction")));
    m.focusOn(Grid::Books, 29);
    auto shown = [&] {
        return QStringLiteral("%1 %2 at %3, %4")
            .arg(text(p.w(), {"lblWhichShelf"}), m.bookSlot(m.bookFocusSlot()).file)
            .arg(m.bookPosition())
            .arg(m.ShelfList().size());
    };
    QCOMPARE(shown(), "Fiction Book 29.txt at 3, 2");
    // Another program adds a shelf, adds a book and removes one: both grids stay where they were.
    p.tree.mkdir("lib/Poetry");
    p.tree.write("lib/Fiction/Added.txt");
    QFile::remove(p.tree.path("lib/Fiction/Book 0.txt"));
    QTRY_COMPARE(shown(), "Fiction Book 29.txt at 3, 3");
    QCOMPARE(text(p.w(), {"lblHowMany"}), QStringLiteral("Books: 31\r\n"));
    // The current shelf renamed is followed to its new name; when it goes, the first shelf
    // becomes current.
    QDir().rename(p.tree.path("lib/Fiction"), p.tree.path("lib/Novels"));
    QTRY_COMPARE(text(p.w(), {"lblWhichShelf"}), QStringLiteral("Novels"));
    QDir(p.tree.path("lib/Novels")).removeRecursively();
    QTRY_COMPARE(text(p.w(), {"lblWhichShelf"}), QStringLiteral("Classics"));
    // The Main Book Folder goes: the window says so in place of the grids; Refresh brings it back.
    QVERIFY(QDir(p.tree.path("lib")).removeRecursively());
    QTRY_VERIFY(child(p.w(), "fraMissing")->isVisible() && !child(p.w(), "Picture1")->isVisible());
    QVERIFY(text(p.w(), {"lblMissing"}).contains(":\n" + p.tree.path("lib") + "\n"));
    for (const char *shelf : {"lib/Classics", "lib/Novels", "lib/Poetry"})
        p.tree.mkdir(shelf);
    p.w()->cmdRefresh_Click();
    QTRY_VERIFY(!child(p.w(), "fraMissing")->isVisible() && child(p.w(), "Picture1")->isVisible());
    QCOMPARE(m.ShelfList().size(), 3);
}

void TestWindows::coversInTheGrid()
{
    Program p;
    // A book with a red cover, then replaced under its name by one with a blue cover.
    auto bookIn = [&](const QColor &colour, int minutes) {
        QImage cover(60, 90, QImage::Format_RGB32);
        cover.fill(colour);
        QBuffer png;
        png.open(QIODevice::WriteOnly);
        cover.save(&png, "png");
        QFile book(p.tree.write(
            "lib/Classics/Cover.fb2",
            "<FictionBook xmlns:l=\"http://www.w3.org/1999/xlink\"><description><title-info>"
            "<author><first-name>Ann</first-name><last-name>Lee</last-name></author><sequence "
            "name=\"Tides\" number=\"2\"/><coverpage><image l:href=\"#c\"/></coverpage>"
            "</title-info></description><binary id=\"c\">"
                + png.data().toBase64() + "</binary></FictionBook>"));
        QVERIFY(book.open(QIODevice::ReadWrite)
                && book.setFileTime(QDateTime::currentDateTime().addSecs(60 * minutes),
                                    QFileDevice::FileModificationTime));
    };
    bookIn(Qt::red, 0);
    QVERIFY(p.start());
    auto *covers = new CoverQueue(p.w()); // with the helper of this build
    covers->helper = QStringLiteral(QUILLRACK_THUMBNAILER);
    p.w()->setCovers(covers);
    // The book picture shows the cover, scaled to fit its slot; after a refresh, the new one.
    auto *book = child<QLabel>(p.w(), "Book");
    auto shown = [&] {
        const QImage picture = book->pixmap().toImage();
        return picture.pixelColor(picture.width() / 2, picture.height() / 2);
    };
    QTRY_COMPARE(shown(), QColor(Qt::red));
    QVERIFY(book->pixmap().height() <= book->height() * book->devicePixelRatioF());
    // What the book says of itself, read in the same run: a line of the pane, and its tooltip.
    QTest::mouseMove(child(p.w(), "Picture2"), QPoint(5, 400)); // from elsewhere
    QTest::mouseMove(book);
    QTRY_COMPARE(text(p.w(), {"txtDetails"}), QStringLiteral("Ann Lee · Tides 2"));
    QVERIFY(book->toolTip().contains("Author: Ann Lee") && book->toolTip().contains("Cover.fb2"));
    bookIn(Qt::blue, 2);
    QTest::keyClick(p.w()->focusWidget(), Qt::Key_F5);
    QTRY_COMPARE(shown(), QColor(Qt::blue));
}

void TestWindows::aShareThatStopsAnswering()
{
    // The library on a real share (a FUSE file system of our own) that stops answering: the
    // window goes on, says so, ends at Exit, and shows the library again when the share is back.
    Program p("share");
    p.program->g.offThread = true;
    p.tree.write("lib/Fiction/Second.epub");
    QProcess share;
    share.start(QUILLRACK_SLOWFS, {p.tree.path("lib"), p.tree.mkdir("share"), "5", "-f"});
    auto mounted = [&] {
        QFile table("/proc/self/mountinfo");
        return table.open(QIODevice::ReadOnly)
            && table.readAll().contains(QFile::encodeName(p.tree.path("share")) + ' ');
    };
    if (!QTest::qWaitFor(mounted, 3000))
        QSKIP("a FUSE file system cannot be mounted here (/dev/fuse or fusermount3)");
    const auto unmount = qScopeGuard([&] {
        ::kill(pid_t(share.processId()), SIGUSR2);
        (void)QTest::qWaitFor([] { return DiskExecutor::shared().busy() == 0; }, 5000);
        p.program.reset();
        QProcess::execute("fusermount3", {"-u", "-z", p.tree.path("share")});
        share.waitForFinished(3000);
    });
    QVERIFY(p.start());
    Bookcase &m = p.w()->model();
    QTRY_COMPARE(m.ShelfList().size(), 2);
    m.chooseShelf(1);
    QTRY_COMPARE(text(p.w(), {"lblWhichShelf", "lblHowMany"}), "FictionBooks: 2\r\n");
    // A drop, and a cut pasted, while the share is stopped: the job's window names the shelf's
    // folder, and Stop (Esc) ends the command at once, the book where it was and the cut still
    // on the clipboard; pasted again once the share answers, the book moves and the cut goes.
    auto *grid = child(p.w(), "Picture2");
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_X, Qt::ControlModifier);
    ::kill(pid_t(share.processId()), SIGUSR1);
    p.w()->startDrag = [&](int slot) {
        std::unique_ptr<QMimeData> data(p.w()->dragData(slot));
        QVERIFY(dropOn(child(p.w(), "lblShelf", 0), data.get()));
    };
    auto stopped = [&] {
        QDialog *d = nullptr;
        QTRY_VERIFY((d = child<QDialog>(p.m(), "dlgJob")) && d->isVisible());
        QCOMPARE(child<QLabel>(d, "lblJob")->text().section(u'\n', 1, 1),
                 p.tree.path("share/Classics"));
        QTest::keyClick(d, Qt::Key_Escape);
        QVERIFY(!m.commands().busy() && !d->isVisible());
    };
    QTest::mouseClick(child(p.w(), "Book", 1), Qt::LeftButton);
    stopped();
    child(p.w(), "Picture1")->setFocus();
    QTest::keyClick(child(p.w(), "Picture1"), Qt::Key_Left); // from Fiction to Classics
    QTest::keyClick(child(p.w(), "Picture1"), Qt::Key_V, Qt::ControlModifier);
    stopped();
    QVERIFY(BookDrag::decode(QGuiApplication::clipboard()->mimeData()).cut);
    ::kill(pid_t(share.processId()), SIGUSR2);
    QTest::keyClick(child(p.w(), "Picture1"), Qt::Key_V, Qt::ControlModifier);
    QTRY_VERIFY_WITH_TIMEOUT(p.tree.entries("lib/Classics") == Strings {"Moby Dick.pdf"}, 8000);
    QTRY_VERIFY(BookDrag::decode(QGuiApplication::clipboard()->mimeData()).paths.isEmpty());
    QVERIFY(p.prompter.asked.isEmpty()); // no later dialog
    QTRY_VERIFY_WITH_TIMEOUT(p.idle(), 8000);
    ::kill(pid_t(share.processId()), SIGUSR1); // the share stops
    p.w()->cmdRefresh_Click();
    QTRY_VERIFY_WITH_TIMEOUT(child(p.w(), "cmdKeepWaiting")->isVisible(), 6000);
    m.chooseShelf(0); // asked, not waited for
    ::kill(pid_t(share.processId()), SIGUSR2); // and is back
    QTRY_VERIFY_WITH_TIMEOUT(child(p.w(), "Picture1")->isVisible(), 6000);
    QTRY_COMPARE(text(p.w(), {"lblWhichShelf"}), "Classics");
    ::kill(pid_t(share.processId()), SIGUSR1);
    p.w()->cmdRefresh_Click();
    p.program->Shutdown(); // Exit while the share is stopped: marks saved, the end not held
    QCOMPARE(p.ended, 1);
    QVERIFY(QFile::exists(p.tree.path("app/marked.dat")));
    QCOMPARE(QDir(p.tree.path("lib/Fiction")).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
