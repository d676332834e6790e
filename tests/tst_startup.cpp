#include "appfolder.h"
#include "frmdirselect.h"
#include "frmfileloc.h"
#include "frmmain.h"
#include "frmshelf.h"
#include "frmsplash.h"
#include "modmain.h"
#include "testsupport.h"
#include "widgets.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const QString NoFolderTitle = QStringLiteral("Main Book Folder not identified.");

// An app folder and a library of two shelves, and the program on them.
struct Program
{
    TempTree tree;
    ScriptedPrompter prompter;
    std::unique_ptr<modMain> program;
    int ended = 0;

    Program()
    {
        tree.write("lib/Fiction/Moby Dick.pdf");
        tree.mkdir("lib/Classics");
        tree.mkdir("reader");
        tree.mkdir("app");
        AppFolder::setOverride(tree.path("app"));
        program = std::make_unique<modMain>(prompter);
        program->endProgram = [this] { ++ended; };
    }
    void writeConfig(const QString &book, const QString &read = QString())
    {
        tree.write("app/config.ini", ("book=" + book + "\r\nread=" + read + "\r\n").toUtf8());
    }
    // When the next message box is answered, the File Locations dialog comes up: do `fn` there.
    void thenInDialog(std::function<void(frmFileLoc *)> fn)
    {
        prompter.onMessage.push_back([this, fn] { later([this, fn] { fn(program->fileLoc); }); });
    }
    int count(const QString &title) const
    {
        int n = 0;
        for (const auto &a : prompter.asked)
            n += a.title == title;
        return n;
    }
};

QStringList captions(const QList<QAction *> &actions)
{
    QStringList out;
    for (QAction *a : actions)
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void existingConfigOpensViewWithoutMessage();
    void laterViewsReadTheDiskAgain();
    void firstRunAsksUntilSaved();
    void unopenableBookFolderLeadsToDialog_data();
    void unopenableBookFolderLeadsToDialog();
    void saveChecks_data();
    void saveChecks();
    void saveWritesConfigAndBackup();
    void failedSaveKeepsOldConfig();
    void readOnlyAppFolderFailsVisibly();
    void pickerDriveThatCannotOpenSnapsBack();
    void saveFromMenuShowsNewLibrary();
    void modalRequestUsesTheOpenDialog();
    void browsePicksFolder();
    void exitPathsSaveMarksOnce_data();
    void exitPathsSaveMarksOnce();
    void exitDuringStartUpKeepsMarks();
    void menuTree();
    void popUpsOpenTitled();
    void marksSurviveRestart();
    void splashClosesOnlyFromItsFrame();
    void addBooksThroughPicker();
};

void TestStartup::existingConfigOpensViewWithoutMessage()
{
    Program p;
    p.writeConfig(p.tree.path("lib"));
    QVERIFY(p.program->Main());
    QVERIFY(p.prompter.asked.isEmpty());
    QVERIFY(p.program->splash.isNull());
    QCOMPARE(p.program->shelfWindow->lblWhichShelf->text(), QStringLiteral("Classics"));
    QVERIFY(p.program->shelfWindow->isVisible());
    QCOMPARE(p.program->mainWindow->windowTitle(), QStringLiteral("Quillrack"));
}

void TestStartup::laterViewsReadTheDiskAgain()
{
    Program p;
    p.writeConfig(p.tree.path("lib"));
    p.tree.write("app/marked.dat", "-Moby Dick.pdf,6,\r\n");
    QVERIFY(p.program->Main());
    frmShelf *w = p.program->shelfWindow;
    QCOMPARE(w->ShelfList().toStringList(), (QStringList {"Classics", "Fiction"}));
    QCOMPARE(w->BookList().size(), 0);
    QVERIFY(p.program->g.MarksLoaded);
    QCOMPARE(p.program->g.Marks.colourOf(QStringLiteral("Moby Dick.pdf")), 6);
    // What changed on disk after start-up shows at the next refresh.
    p.tree.mkdir("lib/Atlases");
    p.tree.write("lib/Classics/Emma.epub");
    w->cmdRefresh->click();
    QCOMPARE(w->ShelfList().toStringList(), (QStringList {"Atlases", "Classics", "Fiction"}));
    w->lblWhichShelf->setText(QStringLiteral("Classics"));
    w->CreateBooks(0);
    QCOMPARE(w->BookList().toStringList(), QStringList {"Emma.epub"});
}

void TestStartup::firstRunAsksUntilSaved()
{
    Program p;
    const QString lib = p.tree.path("lib");
    const QString reader = p.tree.path("reader");
    p.thenInDialog([](frmFileLoc *d) { d->cmdAbort->click(); });
    p.thenInDialog([](frmFileLoc *d) { d->cmdAbort->click(); });
    p.thenInDialog([&](frmFileLoc *d) {
        d->txtBook->setText(lib);
        d->txtRead->setText(reader);
        d->cmdSave->click();
    });
    QVERIFY(p.program->Main());
    QCOMPARE(p.count(NoFolderTitle), 3);
    QCOMPARE(p.prompter.asked.first().text,
             QStringLiteral("You must indicate the location of the Main Book Folder.\r\n"
                            "Click 'OK' to continue."));
    QCOMPARE(p.tree.read("app/config.ini"),
             ("book=" + lib + "\r\nread=" + reader + "\r\n").toUtf8());
    QVERIFY(!p.tree.exists("app/config.bak"));
    QCOMPARE(p.program->g.BookFolder, lib);
    QCOMPARE(p.program->g.ReaderFolder, reader);
    QCOMPARE(p.program->shelfWindow->lblWhichShelf->text(), QStringLiteral("Classics"));
}

void TestStartup::unopenableBookFolderLeadsToDialog_data()
{
    QTest::addColumn<QString>("book"); // relative to the temporary folder; "" for no book line
    QTest::newRow("missing folder") << "gone";
    QTest::newRow("a file") << "lib/Fiction/Moby Dick.pdf";
    QTest::newRow("no book line") << "";
}

void TestStartup::unopenableBookFolderLeadsToDialog()
{
    QFETCH(QString, book);
    Program p;
    if (book.isEmpty())
        p.tree.write("app/config.ini", "read=\r\n");
    else
        p.writeConfig(p.tree.path(book));
    const QString lib = p.tree.path("lib");
    p.thenInDialog([&](frmFileLoc *d) {
        d->txtBook->setText(lib);
        d->cmdSave->click();
    });
    QVERIFY(p.program->Main());
    QCOMPARE(p.prompter.asked.size(), 1);
    if (!book.isEmpty())
        QVERIFY2(p.prompter.asked[0].text.contains(p.tree.path(book)),
                 qPrintable(p.prompter.asked[0].text));
    QCOMPARE(p.program->g.BookFolder, lib);
    QCOMPARE(p.program->shelfWindow->lblShelf[1]->text(), QStringLiteral("Fiction"));
}

void TestStartup::saveChecks_data()
{
    QTest::addColumn<QString>("book");
    QTest::addColumn<QString>("read");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("firstLine");
    QTest::newRow("both empty") << ""
                                << "" << NoFolderTitle
                                << "You must indicate the location of the Main Book Folder.";
    QTest::newRow("book missing") << "nowhere"
                                  << ""
                                  << "Folder Does Not Exist."
                                  << "nowhere";
    QTest::newRow("reader missing") << "lib"
                                    << "noreader"
                                    << "Folder Does Not Exist."
                                    << "noreader";
}

void TestStartup::saveChecks()
{
    QFETCH(QString, book);
    QFETCH(QString, read);
    QFETCH(QString, title);
    QFETCH(QString, firstLine);
    Program p;
    p.writeConfig(p.tree.path("lib"));
    QVERIFY(p.program->Main());
    const QByteArray before = p.tree.read("app/config.ini");
    auto expand = [&](const QString &s) { return s.isEmpty() ? s : p.tree.path(s); };
    p.program->ensureDialogs();
    frmFileLoc *d = p.program->fileLoc;
    d->showNonModal();
    d->txtBook->setText(expand(book));
    d->txtRead->setText(expand(read));
    d->cmdSave->click();
    QCOMPARE(p.prompter.asked.size(), 1);
    QCOMPARE(p.prompter.asked[0].title, title);
    const QString expectedFirst = firstLine.contains(u' ') ? firstLine : expand(firstLine);
    QCOMPARE(p.prompter.asked[0].text.split(QStringLiteral("\r\n")).first(), expectedFirst);
    QVERIFY(d->isVisible()); // the dialog stays open for a correction
    QCOMPARE(p.tree.read("app/config.ini"), before);
    QVERIFY(!p.tree.exists("app/config.bak"));
}

void TestStartup::saveWritesConfigAndBackup()
{
    Program p;
    p.writeConfig(p.tree.path("lib"), p.tree.path("reader"));
    QVERIFY(p.program->Main());
    const QByteArray first = p.tree.read("app/config.ini");
    p.program->ensureDialogs();
    frmFileLoc *d = p.program->fileLoc;
    d->showNonModal();
    // A typed trailing slash is kept; an empty reader path is written as "read=".
    d->txtBook->setText(p.tree.path("lib") + u'/');
    d->txtRead->setText(QString());
    d->cmdSave->click();
    QVERIFY(!d->isVisible());
    QCOMPARE(p.tree.read("app/config.bak"), first);
    QCOMPARE(p.tree.read("app/config.ini"),
             ("book=" + p.tree.path("lib") + "/\r\nread=\r\n").toUtf8());
    QCOMPARE(p.program->g.ReaderFolder, QString());
    // Abort puts back what was saved last.
    d->showNonModal();
    d->txtBook->setText("edited");
    d->txtRead->setText("edited too");
    d->cmdAbort->click();
    QCOMPARE(d->txtBook->text(), p.tree.path("lib") + u'/');
    QCOMPARE(d->txtRead->text(), QString());
}

void TestStartup::failedSaveKeepsOldConfig()
{
    Program p;
    p.writeConfig(p.tree.path("lib"));
    QVERIFY(p.program->Main());
    const QByteArray before = p.tree.read("app/config.ini");
    p.program->ensureDialogs();
    frmFileLoc *d = p.program->fileLoc;
    d->showNonModal();
    d->txtRead->setText(p.tree.path("reader"));
    {
        // Writing fails as on a full disk.
        FileSizeLimit limit {0};
        d->cmdSave->click();
    }
    QCOMPARE(p.prompter.asked.size(), 1);
    QVERIFY(p.prompter.asked[0].text.contains(AppFolder::path()));
    QCOMPARE(p.tree.read("app/config.ini"), before);
    QVERIFY(d->isVisible());
    QCOMPARE(p.program->g.ReaderFolder, QString());
}

void TestStartup::readOnlyAppFolderFailsVisibly()
{
    if (::geteuid() == 0)
        QSKIP("root writes into read-only folders; the file-size limit test covers the failure");
    Program p;
    p.writeConfig(p.tree.path("lib"));
    QVERIFY(p.program->Main());
    const QByteArray before = p.tree.read("app/config.ini");
    QFile::setPermissions(p.tree.path("app"), QFile::ReadOwner | QFile::ExeOwner);
    p.program->ensureDialogs();
    frmFileLoc *d = p.program->fileLoc;
    d->showNonModal();
    d->txtRead->setText(p.tree.path("reader"));
    d->cmdSave->click();
    QFile::setPermissions(p.tree.path("app"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(p.prompter.asked.size(), 1);
    QCOMPARE(p.tree.read("app/config.ini"), before);
    QVERIFY(d->isVisible());
}

void TestStartup::pickerDriveThatCannotOpenSnapsBack()
{
    Program p;
    p.writeConfig(p.tree.path("lib"));
    QVERIFY(p.program->Main());
    p.program->ensureDialogs();
    frmDirSelect *picker = p.program->dirSelect;
    picker->pointAt(p.tree.path("lib"));
    const int before = picker->Drive1->currentIndex();
    picker->Drive1->addItem(QStringLiteral("/no-such-volume"), QStringLiteral("/no-such-volume"));
    picker->Drive1->setCurrentIndex(picker->Drive1->count() - 1);
    emit picker->Drive1->activated(picker->Drive1->count() - 1);
    QCOMPARE(picker->Dir1->Path(), p.tree.path("lib"));
    QCOMPARE(picker->Drive1->currentIndex(), before);
    QVERIFY(p.prompter.asked.isEmpty());
}

void TestStartup::saveFromMenuShowsNewLibrary()
{
    Program p;
    p.writeConfig(p.tree.path("lib"));
    QVERIFY(p.program->Main());
    p.tree.write("lib2/Poetry/Odes.txt");
    p.program->mainWindow->mnuFileLoc->trigger();
    p.program->ensureDialogs();
    frmFileLoc *d = p.program->fileLoc;
    QVERIFY(d->isVisible());
    QVERIFY(!d->isModal());
    d->txtBook->setText(p.tree.path("lib2"));
    d->cmdSave->click();
    frmShelf *s = p.program->shelfWindow;
    QCOMPARE(s->lblWhichShelf->text(), QStringLiteral("Poetry"));
    QCOMPARE(s->lblBook[0]->text(), QStringLiteral("Odes"));
    QVERIFY(!s->lblShelf[1]->isVisible());
}

void TestStartup::modalRequestUsesTheOpenDialog()
{
    Program p;
    p.writeConfig(p.tree.path("lib"));
    QVERIFY(p.program->Main());
    p.program->mainWindow->mnuFileLoc->trigger();
    p.program->fileLoc->txtRead->setText("typed, not saved");
    bool sawSameText = false;
    later([&] {
        sawSameText = p.program->fileLoc->txtRead->text() == u"typed, not saved";
        p.program->fileLoc->cmdAbort->click();
    });
    p.program->fileLoc->showModal();
    QVERIFY(sawSameText);
    QCOMPARE(p.program->mainWindow->findChildren<frmFileLoc *>().size(), 1);
}

void TestStartup::browsePicksFolder()
{
    Program p;
    p.writeConfig(p.tree.path("lib"));
    QVERIFY(p.program->Main());
    p.program->ensureDialogs();
    frmFileLoc *d = p.program->fileLoc;
    frmDirSelect *picker = p.program->dirSelect;
    d->showNonModal();
    // The picker opens on the folder in the text box; OK takes the folder it shows.
    later([&] {
        QCOMPARE(picker->windowTitle(), QStringLiteral("Select Main Book Folder"));
        QCOMPARE(picker->Dir1->Path(), p.tree.path("lib"));
        QVERIFY(picker->cmdOK->isVisible() && !picker->cmdCopy->isVisible());
        picker->Dir1->setPath(p.tree.path("lib/Fiction"));
        QCOMPARE(picker->File1->list()->count(), 1);
        picker->cmdOK->click();
    });
    d->cmdBrowseBook->click();
    QCOMPARE(d->txtBook->text(), p.tree.path("lib/Fiction"));
    // Cancel leaves the text box as it was; an empty box opens where the picker was left.
    d->txtRead->setText(QString());
    later([&] {
        QCOMPARE(picker->windowTitle(), QStringLiteral("Select Reader Content Folder"));
        QCOMPARE(picker->Dir1->Path(), p.tree.path("lib/Fiction"));
        picker->cmdCancel->click();
    });
    d->cmdBrowseReader->click();
    QCOMPARE(d->txtRead->text(), QString());
    QCOMPARE(p.program->g.PickedFolder, QString());
}

void TestStartup::exitPathsSaveMarksOnce_data()
{
    QTest::addColumn<int>("path");
    QTest::newRow("menu Exit") << 0;
    QTest::newRow("shelf window Exit button") << 1;
    QTest::newRow("main window closed") << 2;
    QTest::newRow("session ends") << 3;
}

void TestStartup::exitPathsSaveMarksOnce()
{
    QFETCH(int, path);
    Program p;
    p.writeConfig(p.tree.path("lib"));
    p.tree.write("app/marked.dat", "-Old.txt,1,\r\n");
    QVERIFY(p.program->Main());
    p.program->g.Marks.appendEntry(QStringLiteral("Moby Dick.pdf"), 6);
    auto trigger = [&](int which) {
        switch (which) {
        case 0:
            p.program->mainWindow->mnuExit->trigger();
            break;
        case 1:
            p.program->shelfWindow->cmdExit->click();
            break;
        case 2:
            p.program->mainWindow->close();
            break;
        case 3:
            QMetaObject::invokeMethod(qApp, "aboutToQuit", Qt::DirectConnection);
            break;
        }
    };
    trigger(path);
    QCOMPARE(p.tree.read("app/marked.dat"), QByteArray("-Old.txt,1,-Moby Dick.pdf,6,\r\n"));
    QCOMPARE(p.ended, 1);
    // A second way out after the first writes nothing more.
    p.tree.write("app/marked.dat", "changed");
    trigger((path + 1) % 4);
    QCOMPARE(p.tree.read("app/marked.dat"), QByteArray("changed"));
    QCOMPARE(p.program->shutdownCount(), 1);
    QVERIFY(p.prompter.asked.isEmpty());
}

void TestStartup::exitDuringStartUpKeepsMarks()
{
    Program p;
    p.tree.write("app/marked.dat", "-Kept.txt,2,\r\n");
    // No config.ini: the window is closed while the first-run message is up.
    p.prompter.onMessage.push_back([&] { p.program->mainWindow->close(); });
    QVERIFY(!p.program->Main());
    QCOMPARE(p.tree.read("app/marked.dat"), QByteArray("-Kept.txt,2,\r\n"));
    QCOMPARE(p.ended, 1);
}

void TestStartup::menuTree()
{
    frmMain m;
    QCOMPARE(captions(m.menuBar()->actions()),
             (QStringList {"&File Location", "About", "&Help", "E&xit"}));
    QCOMPARE(captions(m.mnuAboutMain->actions()), QStringList {"About the Quillrack"});
    QCOMPARE(captions(m.mnuBookPopUp->actions()),
             (QStringList {"Name", "-", "Mark Book Green", "Mark Book Blue", "Mark Book Magenta",
                           "Mark Book White", "Mark Book Yellow", "Mark Book Red", "-",
                           "Unmark Book", "-", "Rename Book", "-", "Delete Book"}));
    QCOMPARE(captions(m.mnuShelfPopUp->actions()),
             (QStringList {"Name", "-", "Add Book(s) from Outside Folder to this Shelf", "-",
                           "Rename Shelf", "-", "Delete Shelf"}));
    QVERIFY(!m.mnuBookName->isEnabled());
    QVERIFY(!m.mnuShelfName->isEnabled());
    QCOMPARE(m.mnuMarkBook[6]->data().toInt(), 6);
    QCOMPARE(m.mnuMarkBook[6]->text(), QStringLiteral("Mark Book Red"));
}

void TestStartup::popUpsOpenTitled()
{
    Program p;
    p.writeConfig(p.tree.path("lib"));
    QVERIFY(p.program->Main());
    frmMain *m = p.program->mainWindow;
    QString shelfTitle, bookTitle;
    later([&] {
        shelfTitle = m->mnuShelfPopUp->isVisible() ? m->mnuShelfName->text() : QString();
        m->mnuShelfPopUp->close();
    });
    QTest::mouseClick(p.program->shelfWindow->lblShelf[1], Qt::RightButton);
    QCOMPARE(shelfTitle, QStringLiteral("Fiction"));
    QTest::mouseClick(p.program->shelfWindow->imgShelf[1], Qt::LeftButton);
    later([&] {
        bookTitle = m->mnuBookPopUp->isVisible() ? m->mnuBookName->text() : QString();
        m->mnuBookPopUp->close();
    });
    QTest::mouseClick(p.program->shelfWindow->Book[0], Qt::RightButton);
    QCOMPARE(bookTitle, QStringLiteral("Moby Dick"));
    QCOMPARE(p.program->g.BookName, QStringLiteral("Moby Dick.pdf"));
}

void TestStartup::splashClosesOnlyFromItsFrame()
{
    QPointer<frmSplash> splash = new frmSplash;
    splash->show();
    QTest::mouseClick(splash->lblVersion, Qt::LeftButton);
    QTest::mouseClick(splash->imgLogo, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(splash);
    QTest::mouseClick(splash->Frame1, Qt::LeftButton, {}, QPoint(4, 4));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!splash);
}

void TestStartup::marksSurviveRestart()
{
    Program p;
    p.writeConfig(p.tree.path("lib"));
    QVERIFY(p.program->Main());
    frmShelf *s = p.program->shelfWindow;
    QTest::mouseClick(s->imgShelf[1], Qt::LeftButton); // Fiction
    later([&] { p.program->mainWindow->mnuMarkBook[3]->trigger(); });
    later([&] { p.program->mainWindow->mnuBookPopUp->close(); });
    QTest::mouseClick(s->Book[0], Qt::RightButton);
    QCOMPARE(s->lblBook[0]->palette().color(QPalette::WindowText), QColor(255, 0, 255));
    p.program->mainWindow->mnuExit->trigger();
    QCOMPARE(p.tree.read("app/marked.dat"), QByteArray("-Moby Dick.pdf,3,\r\n"));

    modMain again(p.prompter);
    again.endProgram = [] {};
    QVERIFY(again.Main());
    QTest::mouseClick(again.shelfWindow->imgShelf[1], Qt::LeftButton);
    QCOMPARE(again.shelfWindow->lblBook[0]->palette().color(QPalette::WindowText),
             QColor(255, 0, 255));
}

void TestStartup::addBooksThroughPicker()
{
    Program p;
    p.writeConfig(p.tree.path("lib"));
    p.tree.write("outside/Emma.txt", "emma");
    p.tree.write("outside/Odes.txt", "odes");
    QVERIFY(p.program->Main());
    p.program->ensureDialogs();
    frmDirSelect *picker = p.program->dirSelect;
    auto inPicker = [&] {
        QCOMPARE(picker->windowTitle(), QStringLiteral("Select Book to Add"));
        QVERIFY(picker->cmdCopy->isVisible() && !picker->cmdOK->isVisible());
        picker->pointAt(p.tree.path("outside"));
        picker->cmdCopy->click(); // nothing selected: nothing happens
        picker->File1->setFileName("Emma.txt");
        picker->cmdCopy->click();
        QCOMPARE(picker->File1->FileName(), QStringLiteral("Emma.txt")); // stays selected
        picker->File1->setFileName("Odes.txt");
        picker->cmdMove->click();
        QCOMPARE(picker->File1->list()->count(), 1); // the moved file left the list
        picker->cmdDone->click();
    };
    later([&] {
        later(inPicker);
        p.program->mainWindow->mnuAddOutside->trigger();
    });
    later([&] { p.program->mainWindow->mnuShelfPopUp->close(); });
    QTest::mouseClick(p.program->shelfWindow->imgShelf[1], Qt::RightButton);
    QCOMPARE(p.tree.read("lib/Fiction/Emma.txt"), QByteArray("emma"));
    QCOMPARE(p.tree.read("lib/Fiction/Odes.txt"), QByteArray("odes"));
    QVERIFY(p.tree.exists("outside/Emma.txt"));
    QVERIFY(!p.tree.exists("outside/Odes.txt"));
    QVERIFY(p.prompter.asked.isEmpty());
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
