#include "commands.h"
#include "testsupport.h"

#include <QDir>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>

namespace {

QColor colourOf(QLabel *label)
{
    return label->palette().color(QPalette::WindowText);
}

// A shelf window with its commands, and the pop-up opened on a book or a shelf.
struct Fixture : ShelfFixture
{
    std::unique_ptr<Commands> c;
    Fixture(int shelves, int books, const QByteArray &marks = QByteArray())
        : ShelfFixture(shelves, books, marks)
    { }
    void start()
    {
        load();
        c = std::make_unique<Commands>(g, *w);
    }
    void onBook(const QString &fileName)
    {
        w->lblBook_MouseDown(slotOf(fileName), Qt::RightButton);
    }
    void onShelf(int slot) { w->imgShelf_MouseDown(slot, Qt::RightButton); }
    QStringList titles() const
    {
        QStringList out;
        for (const auto &a : prompter.asked)
            out << a.title;
        return out;
    }
};

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT
private slots:
    void marking();
    void markingRefusesLineBreakNames();
    void newShelf_data();
    void newShelf();
    void newShelfShowsScrollBarAt28();
    void refreshAfterOutsideChanges();
    void renameBook_data();
    void renameBook();
    void renameOntoAnotherBook_data();
    void renameOntoAnotherBook();
    void deleteBook_data();
    void deleteBook();
    void renameShelf_data();
    void renameShelf();
    void renameDisplayedShelfKeepsItsBooks();
    void deleteShelf_data();
    void deleteShelf();
    void addFromOutside_data();
    void addFromOutside();
    void addFromAnotherFileSystem();
};

void TestCommands::marking()
{
    Fixture v(1, 0, "-Old.txt,1,\r\n");
    v.tree.write("lib/Shelf 1/Moby Dick.pdf");
    v.tree.write("lib/Shelf 1/Emma.txt");
    v.start();
    const int moby = v.slotOf("Moby Dick.pdf");
    v.onBook("Moby Dick.pdf");
    v.c->mnuMarkBook_Click(2);
    QCOMPARE(colourOf(v.w->lblBook[moby]), QColor(0, 0, 255));
    v.onBook("Emma.txt");
    v.c->mnuMarkBook_Click(5);
    v.onBook("Moby Dick.pdf");
    v.c->mnuMarkBook_Click(6); // re-marked: one entry, moved to the end
    QCOMPARE(v.g.Marks.line(), QStringLiteral("-Old.txt,1,-Emma.txt,5,-Moby Dick.pdf,6,"));
    QCOMPARE(colourOf(v.w->lblBook[moby]), QColor(255, 0, 0));
    v.c->mnuUnmark_Click();
    QCOMPARE(v.g.Marks.line(), QStringLiteral("-Old.txt,1,-Emma.txt,5,"));
    QCOMPARE(colourOf(v.w->lblBook[moby]), QColor(Qt::black));
    v.c->mnuUnmark_Click(); // no entry: nothing changes
    QCOMPARE(v.g.Marks.line(), QStringLiteral("-Old.txt,1,-Emma.txt,5,"));
    // The colours survive a new listing of the shelf.
    v.w->CreateBooks(0);
    v.w->FillBooks();
    QCOMPARE(colourOf(v.w->lblBook[v.slotOf("Emma.txt")]), QColor(255, 255, 0));
}

void TestCommands::markingRefusesLineBreakNames()
{
    Fixture v(1, 0);
    v.tree.write("lib/Shelf 1/two\nlines.txt");
    v.start();
    v.onBook("two\nlines.txt");
    v.c->mnuMarkBook_Click(3);
    QCOMPARE(v.titles(), QStringList {"Cannot Mark Book"});
    QCOMPARE(v.g.Marks.line(), QString());
}

void TestCommands::newShelf_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message"); // title of the message, or "" for none
    QTest::addColumn<bool>("created");
    QTest::newRow("plain") << "Poetry"
                           << "" << true;
    QTest::newRow("blanks kept") << " Spaced "
                                 << "" << true;
    QTest::newRow("cancel") << ""
                            << "" << false;
    QTest::newRow("slash") << "a/b"
                           << "Name Not Allowed" << false;
    QTest::newRow("dot") << "."
                         << "Name Not Allowed" << false;
    QTest::newRow("dotdot") << ".."
                            << "Name Not Allowed" << false;
    QTest::newRow("line break") << "a\nb"
                                << "Name Not Allowed" << false;
    QTest::newRow("too long") << QString(256, u'x') << "Name Not Allowed" << false;
    QTest::newRow("exists") << "Shelf 1"
                            << "Shelf Exists" << false;
}

void TestCommands::newShelf()
{
    QFETCH(QString, typed);
    QFETCH(QString, message);
    QFETCH(bool, created);
    Fixture v(1, 1);
    v.start();
    const QStringList before
        = QDir(v.tree.path("lib")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    v.prompter.inputs.push_back(typed);
    v.w->cmdNewShelf_Click();
    QCOMPARE(v.prompter.asked[0].title, QStringLiteral("New Shelf"));
    QCOMPARE(v.prompter.asked[0].text, QStringLiteral("Please enter the name of the new Shelf"));
    QCOMPARE(v.titles().mid(1), message.isEmpty() ? QStringList() : QStringList {message});
    const QStringList after
        = QDir(v.tree.path("lib")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    QCOMPARE(after.size(), before.size() + (created ? 1 : 0));
    if (created) {
        QVERIFY(QFileInfo(v.tree.path("lib/" + typed)).isDir());
        QCOMPARE(v.shownShelves(), 2);
    }
    QCOMPARE(v.w->lblWhichShelf->text(), QStringLiteral("Shelf 1"));
    QCOMPARE(v.w->BookCount(), 1);
}

void TestCommands::newShelfShowsScrollBarAt28()
{
    Fixture v(27, 0);
    v.start();
    QVERIFY(!v.w->VScroll1->isVisible());
    v.prompter.inputs = {"Zeta 28", "Zeta 29"};
    v.w->cmdNewShelf_Click();
    QVERIFY(v.w->VScroll1->isVisible());
    QCOMPARE(v.w->VScroll1->maximum(), 1);
    v.w->cmdNewShelf_Click();
    QCOMPARE(v.w->VScroll1->maximum(), 2);
}

void TestCommands::refreshAfterOutsideChanges()
{
    Fixture v(33, 2);
    v.start();
    v.w->VScroll1->setValue(3);
    v.w->imgShelf_Click(20); // slot 20 of the third page: the 29th shelf
    const QString current = v.w->lblWhichShelf->text();
    QCOMPARE(current, QStringLiteral("Shelf 29"));
    v.tree.write("lib/Shelf 1/Added outside.txt");
    v.w->cmdRefresh_Click();
    // The current shelf lay beyond the first page: the first shelf is current now.
    QCOMPARE(v.w->VScroll1->value(), 1);
    QCOMPARE(v.w->lblWhichShelf->text(), QStringLiteral("Shelf 1"));
    QCOMPARE(v.w->lblHowMany->text(), QStringLiteral("Books: 3\r\n"));
    QCOMPARE(v.w->imgShelf[0]->pixmap().toImage(), ImageList1::picture(4).toImage());
    // A current shelf on the first page stays current.
    v.w->imgShelf_Click(4);
    v.w->cmdRefresh_Click();
    QCOMPARE(v.w->lblWhichShelf->text(), QStringLiteral("Shelf 5"));
}

void TestCommands::renameBook_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("prompt");
    QTest::addColumn<QString>("result"); // the file afterwards, or the message title
    QTest::newRow("keeps format") << "Moby Dick.pdf"
                                  << "Ahab"
                                  << "Rename 'Moby Dick' to ..."
                                  << "Ahab.pdf";
    QTest::newRow("first dot") << "a.b.pdf"
                               << "c"
                               << "Rename 'a' to ..."
                               << "c.b.pdf";
    QTest::newRow("dots typed") << "Moby Dick.pdf"
                                << "x.y"
                                << "Rename 'Moby Dick' to ..."
                                << "x.y.pdf";
    QTest::newRow("same") << "Moby Dick.pdf"
                          << "Moby Dick"
                          << "Rename 'Moby Dick' to ..."
                          << "Same Name";
    QTest::newRow("other case") << "Moby Dick.pdf"
                                << "MOBY DICK"
                                << "Rename 'Moby Dick' to ..."
                                << "MOBY DICK.pdf";
    QTest::newRow("no dot") << "README"
                            << "READ ME"
                            << "Rename README to ..."
                            << "READ ME";
    QTest::newRow("no dot, same") << "README"
                                  << "README"
                                  << "Rename README to ..."
                                  << "Same Name";
    QTest::newRow("leading dot, cancel") << ".profile"
                                         << ""
                                         << "Rename '' to ..."
                                         << "Same Name";
    QTest::newRow("slash") << "Moby Dick.pdf"
                           << "../x"
                           << "Rename 'Moby Dick' to ..."
                           << "Name Not Allowed";
}

void TestCommands::renameBook()
{
    QFETCH(QString, file);
    QFETCH(QString, typed);
    QFETCH(QString, prompt);
    QFETCH(QString, result);
    Fixture v(1, 0);
    v.tree.write("lib/Shelf 1/" + file, "the book");
    v.start();
    v.onBook(file);
    v.prompter.inputs.push_back(typed);
    v.c->mnuBookRename_Click();
    QCOMPARE(v.prompter.asked[0].text, prompt);
    QCOMPARE(v.prompter.asked[0].title, QStringLiteral("Rename Book"));
    const bool renamed = result.contains(u'.') || result == u"READ ME";
    if (renamed) {
        QCOMPARE(v.tree.read("lib/Shelf 1/" + result), QByteArray("the book"));
        QCOMPARE(v.bookNames(), QStringList {result});
    } else {
        QCOMPARE(v.titles().last(), result);
        QCOMPARE(v.tree.read("lib/Shelf 1/" + file), QByteArray("the book"));
    }
    QCOMPARE(QDir(v.tree.path("lib/Shelf 1")).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

void TestCommands::renameOntoAnotherBook_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("OK") << int(Prompter::Answer::Ok);
    QTest::newRow("Cancel") << int(Prompter::Answer::Cancel);
}

void TestCommands::renameOntoAnotherBook()
{
    QFETCH(int, answer);
    Fixture v(1, 0);
    v.tree.write("lib/Shelf 1/Moby Dick.pdf", "whale");
    v.tree.write("lib/Shelf 1/Ahab.pdf", "captain");
    v.start();
    v.onBook("Moby Dick.pdf");
    v.prompter.inputs.push_back("Ahab");
    v.prompter.answers.push_back(Prompter::Answer(answer));
    v.c->mnuBookRename_Click();
    QCOMPARE(v.prompter.asked[1].text, QStringLiteral("Book Exists. Do you wish to overwrite?"));
    const bool ok = answer == int(Prompter::Answer::Ok);
    QCOMPARE(v.tree.read("lib/Shelf 1/Ahab.pdf"), QByteArray(ok ? "whale" : "captain"));
    QCOMPARE(v.tree.exists("lib/Shelf 1/Moby Dick.pdf"), !ok);
}

void TestCommands::deleteBook_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("Yes") << int(Prompter::Answer::Yes);
    QTest::newRow("No") << int(Prompter::Answer::No);
}

void TestCommands::deleteBook()
{
    QFETCH(int, answer);
    Fixture v(1, 2);
    v.start();
    v.onBook("Book 1.txt");
    v.prompter.answers.push_back(Prompter::Answer(answer));
    v.c->mnuBookDelete_Click();
    QCOMPARE(v.prompter.asked[0].title, QStringLiteral("Delete Book"));
    QCOMPARE(v.prompter.asked[0].text,
             QStringLiteral("'Book 1.txt' will be permanently deleted.\r\n\r\n"
                            "Are you sure you want to delete Book 1.txt?"));
    const bool yes = answer == int(Prompter::Answer::Yes);
    QCOMPARE(v.tree.exists("lib/Shelf 1/Book 1.txt"), !yes);
    QCOMPARE(v.w->BookCount(), yes ? 1 : 2);
}

void TestCommands::renameShelf_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("shelves");
    QTest::newRow("renamed") << "Fiction"
                             << "" << QStringList {"Fiction", "Shelf 1", "Shelf 3"};
    QTest::newRow("onto another") << "Shelf 3"
                                  << "Shelf Exists"
                                  << QStringList {"Shelf 1", "Shelf 2", "Shelf 3"};
    QTest::newRow("same") << "Shelf 2"
                          << "Same Name" << QStringList {"Shelf 1", "Shelf 2", "Shelf 3"};
    QTest::newRow("case only") << "SHELF 2"
                               << "" << QStringList {"Shelf 1", "SHELF 2", "Shelf 3"};
    QTest::newRow("cancel") << ""
                            << "" << QStringList {"Shelf 1", "Shelf 2", "Shelf 3"};
    QTest::newRow("outside the library")
        << "../Elsewhere"
        << "Name Not Allowed" << QStringList {"Shelf 1", "Shelf 2", "Shelf 3"};
}

void TestCommands::renameShelf()
{
    QFETCH(QString, typed);
    QFETCH(QString, message);
    QFETCH(QStringList, shelves);
    Fixture v(3, 1);
    v.start();
    v.onShelf(1);
    v.prompter.inputs.push_back(typed);
    v.c->cmdShelfRename_Click();
    QCOMPARE(v.prompter.asked[0].text, QStringLiteral("Rename 'Shelf 2' to ..."));
    QCOMPARE(v.titles().mid(1), message.isEmpty() ? QStringList() : QStringList {message});
    QCOMPARE(v.w->ShelfList().toStringList(), shelves);
    QCOMPARE(v.w->lblWhichShelf->text(), QStringLiteral("Shelf 1"));
}

void TestCommands::renameDisplayedShelfKeepsItsBooks()
{
    Fixture v(2, 3);
    v.start();
    v.onShelf(0);
    v.prompter.inputs.push_back("Classics");
    v.c->cmdShelfRename_Click();
    QCOMPARE(v.w->lblWhichShelf->text(), QStringLiteral("Classics"));
    QCOMPARE(v.shownBooks(), 3);
    QCOMPARE(v.w->Book[0]->property("Tag").toString(), QStringLiteral("Classics"));
    QCOMPARE(v.w->imgShelf[0]->pixmap().toImage(), ImageList1::picture(4).toImage());
    // A book of it can still be dragged away: its shelf is known under the new name.
    v.w->Book_MouseMove(0);
    QCOMPARE(v.w->txtAuthor->text(), QStringLiteral("Classics"));
}

void TestCommands::deleteShelf_data()
{
    QTest::addColumn<QString>("content"); // what the shelf holds
    QTest::addColumn<bool>("displayed");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("deleted");
    QTest::newRow("empty, Yes") << "" << false << int(Prompter::Answer::Yes) << "Delete Shelf"
                                << true;
    QTest::newRow("empty, No") << "" << false << int(Prompter::Answer::No) << "Delete Shelf"
                               << false;
    QTest::newRow("a book") << "book.txt" << false << 0 << "Cannot Delete Shelf" << false;
    QTest::newRow("only a sub-folder") << "sub/" << false << 0 << "Cannot Delete Shelf" << false;
    QTest::newRow("displayed, No")
        << "" << true << int(Prompter::Answer::No) << "Delete Shelf" << false;
    QTest::newRow("displayed, Yes")
        << "" << true << int(Prompter::Answer::Yes) << "Delete Shelf" << true;
}

void TestCommands::deleteShelf()
{
    QFETCH(QString, content);
    QFETCH(bool, displayed);
    QFETCH(int, answer);
    QFETCH(QString, message);
    QFETCH(bool, deleted);
    Fixture v(3, 1);
    if (content.endsWith(u'/'))
        v.tree.mkdir("lib/Shelf 2/" + content);
    else if (!content.isEmpty())
        v.tree.write("lib/Shelf 2/" + content);
    v.start();
    if (displayed)
        v.w->imgShelf_Click(1);
    v.onShelf(1);
    v.prompter.answers.push_back(Prompter::Answer(answer));
    v.c->mnuShelfDelete_Click();
    QCOMPARE(v.titles(), QStringList {message});
    if (message == u"Cannot Delete Shelf")
        QCOMPARE(v.prompter.asked[0].text, QStringLiteral("Shelf 2 is not empty. Cannot delete."));
    QCOMPARE(QFileInfo::exists(v.tree.path("lib/Shelf 2")), !deleted);
    QCOMPARE(v.w->ShelfList().size(), deleted ? 2 : 3);
    if (displayed) {
        // The view is refreshed: the shelf still there stays current, a deleted one gives way
        // to the first shelf.
        QCOMPARE(v.w->lblWhichShelf->text(),
                 deleted ? QStringLiteral("Shelf 1") : QStringLiteral("Shelf 2"));
        QCOMPARE(v.w->imgShelf[v.w->SelectedShelf]->pixmap().toImage(),
                 ImageList1::picture(4).toImage());
    }
}

void TestCommands::addFromOutside_data()
{
    QTest::addColumn<bool>("move");
    QTest::addColumn<QString>("folder"); // the picker's folder
    QTest::addColumn<bool>("exists");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QByteArray>("onShelf");
    QTest::addColumn<bool>("sourceStays");
    QTest::newRow("copy") << false << "outside" << false << 0 << QByteArray("new") << true;
    QTest::newRow("move") << true << "outside" << false << 0 << QByteArray("new") << false;
    QTest::newRow("exists, Cancel")
        << false << "outside" << true << int(Prompter::Answer::Cancel) << QByteArray("old") << true;
    QTest::newRow("exists, OK, move")
        << true << "outside" << true << int(Prompter::Answer::Ok) << QByteArray("new") << false;
    QTest::newRow("the shelf's own file")
        << true << "lib/Shelf 1" << true << 0 << QByteArray("old") << true;
}

void TestCommands::addFromOutside()
{
    QFETCH(bool, move);
    QFETCH(QString, folder);
    QFETCH(bool, exists);
    QFETCH(int, answer);
    QFETCH(QByteArray, onShelf);
    QFETCH(bool, sourceStays);
    Fixture v(2, 0);
    if (folder == u"outside")
        v.tree.write("outside/Emma.txt", "new");
    if (exists)
        v.tree.write("lib/Shelf 1/Emma.txt", "old");
    v.start();
    v.onShelf(0);
    v.prompter.answers.push_back(Prompter::Answer(answer));
    v.c->addOutsideBook(v.tree.path(folder), "Emma.txt", move);
    QCOMPARE(v.tree.read("lib/Shelf 1/Emma.txt"), onShelf);
    if (folder == u"outside")
        QCOMPARE(v.tree.exists("outside/Emma.txt"), sourceStays);
    else
        QVERIFY(v.prompter.asked.isEmpty()); // the same file: no question at all
    QCOMPARE(v.w->BookCount(), 1); // the displayed shelf shows it at once
    // Nothing selected: nothing happens.
    v.c->addOutsideBook(v.tree.path(folder), QString(), move);
}

void TestCommands::addFromAnotherFileSystem()
{
    if (!QFileInfo(QStringLiteral("/dev/shm")).isDir())
        QSKIP("no /dev/shm here");
    Fixture v(1, 0);
    QTemporaryDir stick(QStringLiteral("/dev/shm/quillrack-stick-XXXXXX"));
    const QByteArray content(300 * 1024, 's');
    QFile f(stick.path() + "/Big.epub");
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();
    v.start();
    v.onShelf(0);
    v.c->addOutsideBook(stick.path(), "Big.epub", true);
    QCOMPARE(v.tree.read("lib/Shelf 1/Big.epub"), content);
    QVERIFY(!QFile::exists(stick.path() + "/Big.epub"));
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
