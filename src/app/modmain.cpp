#include "modmain.h"

#include "appfolder.h"
#include "bookcase.h"
#include "bookname.h"
#include "commands.h"
#include "configuration.h"
#include "coverqueue.h"
#include "frmabout.h"
#include "frmdirselect.h"
#include "frmfileloc.h"
#include "frmfind.h"
#include "frmmain.h"
#include "frmshelf.h"
#include "frmsplash.h"
#include "marks.h"
#include "prompter.h"
#include "readerdevices.h"
#include "udisks.h"

#include <QApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>

modMain::modMain(Prompter &prompter)
{
    g.prompter = &prompter;
    g.offThread = true; // the library's disk is asked off the window's thread, never waited for
    endProgram = [] { QCoreApplication::exit(0); };
}

modMain::~modMain()
{
    delete splash;
    delete mainWindow; // owns the shelf window and the dialogs
    commands.reset();
    bookcase.reset();
}

void modMain::ensureDialogs()
{
    // Made when first needed: the first screen does not wait for them.
    if (fileLoc)
        return;
    dirSelect = new frmDirSelect(g, mainWindow);
    fileLoc = new frmFileLoc(g, *dirSelect, mainWindow);
    connect(fileLoc, &frmFileLoc::bookFolderChanged, this, &modMain::reopenLibrary);
    connect(fileLoc, &frmFileLoc::readerFolderChanged, this, [this] {
        if (readers)
            readers->look(); // a volume may be a reader by the folder now
    });
    // The picker's Copy and Move put the selected files on the shelf pop-up's shelf.
    connect(dirSelect, &frmDirSelect::booksChosen, this,
            [this](const QString &folder, const QList<QByteArray> &names, bool move) {
                if (commands) // the moved books leave the picker's list when they have gone
                    commands->addOutsideBooks(folder, names, move,
                                              [this] { dirSelect->File1->Refresh(); });
            });
}

bool modMain::showModal(FormDialog *dialog)
{
    dialog->showModal();
    return !m_ended;
}

bool modMain::Main()
{
    // With the library known at once, its first view is read on a second thread while the
    // windows are built.
    const QString ini = AppFolder::file(QStringLiteral("config.ini"));
    QString problem;
    bool haveConfig = g.FileSys.FileExists(ini);
    bool configured = haveConfig && readConfig(g, &problem);
    if (configured) {
        m_readAhead.start(g.FileSys, Path(g.BookFolder),
                          AppFolder::file(QStringLiteral("marked.dat")));
        g.readAhead = &m_readAhead;
    }

    mainWindow = new frmMain;
    mainWindow->onClose = [this] { Shutdown(); };
    connect(mainWindow->mnuExit, &QAction::triggered, this, &modMain::Shutdown);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &modMain::Shutdown);
    connect(mainWindow->mnuHelp, &QAction::triggered, this, [] { openHelpPage(); });
    connect(mainWindow->mnuAbout, &QAction::triggered, this, &modMain::mnuAbout_Click);
    connect(mainWindow->mnuFind, &QAction::triggered, this, &modMain::mnuFind_Click);
    connect(mainWindow->mnuFileLoc, &QAction::triggered, this, &modMain::showFileLocations);
    // The whole bookcase where the screen has room for it; else the area scrolls.
    QSize size(tw(15240) + 40, tw(10560) + mainWindow->menuBar()->sizeHint().height() + 40);
    if (const QScreen *screen = mainWindow->screen())
        size = size.boundedTo(screen->availableGeometry().size() - QSize(16, 48));
    mainWindow->resize(size);
    mainWindow->show();

    // The splash lies over the main window while the library loads: one window less to make
    // keeps start-up quick.
    splash = new frmSplash(mainWindow);
    splash->show();

    while (!configured) {
        if (m_ended)
            return false;
        // The splash stands aside while the user is asked, so it never covers a question.
        if (splash)
            splash->hide();
        if (haveConfig)
            g.prompter->message(QStringLiteral("Main Book Folder cannot be opened."),
                                problem
                                    + QStringLiteral("\r\nPlease choose the Main Book Folder. "
                                                     "Click 'OK' to continue."));
        else
            g.prompter->message(QStringLiteral("Main Book Folder not identified."),
                                QStringLiteral("You must indicate the location of the Main Book "
                                               "Folder.\r\nClick 'OK' to continue."));
        if (m_ended)
            return false;
        ensureDialogs();
        if (!showModal(fileLoc))
            return false;
        problem.clear();
        haveConfig = g.FileSys.FileExists(ini);
        configured = haveConfig && readConfig(g, &problem);
    }

    if (splash) {
        splash->show();
        splash->raise();
        splash->repaint();
    }

    bookcase = std::make_unique<Bookcase>(g);
    // The model tells of failures; the window shows them.
    connect(bookcase.get(), &Bookcase::reported, this,
            [this](const Notice &n) { g.prompter->message(n.title, n.text); });
    bookcase->reader().askForFolders = [this] {
        ensureDialogs();
        return showModal(fileLoc);
    };
    finder = std::make_unique<Finder>(g);
    connect(bookcase.get(), &Bookcase::libraryChanged, finder.get(), &Finder::forget);
    shelfWindow = new frmShelf(*bookcase);
    shelfWindow->setHost(this);
    connect(shelfWindow, &frmShelf::exitRequested, this, &modMain::Shutdown);
    connect(shelfWindow, &frmShelf::ringMoved, mainWindow, &frmMain::scrollIntoView);
    shelfWindow->Form_Load();
    g.readAhead = nullptr; // read once, for the first view only
    connectCommands();

    delete splash;

    QMdiSubWindow *sub = mainWindow->mdiArea->addSubWindow(shelfWindow, Qt::FramelessWindowHint);
    sub->setObjectName(QStringLiteral("shelfSubWindow"));
    sub->setGeometry(0, 0, shelfWindow->width(), shelfWindow->height());
    shelfWindow->show();
    shelfWindow->setFocus();
    mainWindow->activateWindow(); // the keyboard reaches the bookcase at once
    // Covers once the first screen is painted: start-up does not wait for them.
    connect(shelfWindow, &frmShelf::firstPainted, shelfWindow, [this] {
        if (!shelfWindow->covers()) // one queue, set up once
            shelfWindow->setCovers(new CoverQueue(shelfWindow));
        followReaders();
    });
    mainWindow->setMinimumSize(320, 240);
    return !m_ended;
}

void modMain::connectCommands()
{
    commands = std::make_unique<Commands>(g, *bookcase);
    Commands *c = commands.get();
    frmMain *m = mainWindow;
    for (int i = 1; i <= 6; ++i)
        connect(m->mnuMarkBook[i], &QAction::triggered, this, [c, i] { c->mnuMarkBook_Click(i); });
    connect(m->mnuUnmark, &QAction::triggered, this, [c] { c->mnuUnmark_Click(); });
    connect(m->mnuSendToReader, &QAction::triggered, this, [c] { c->mnuSendToReader_Click(); });
    connect(m->mnuBookRename, &QAction::triggered, this, [c] { c->mnuBookRename_Click(); });
    connect(m->mnuRenameFromDetails, &QAction::triggered, this,
            [c] { c->mnuRenameFromDetails_Click(); });
    c->detailsOf = [this](const QByteArray &path) { return shelfWindow->knownDetails(path); };
    connect(m->mnuBookDelete, &QAction::triggered, this, [c] { c->mnuBookDelete_Click(); });
    connect(m->cmdShelfRename, &QAction::triggered, this, [c] { c->cmdShelfRename_Click(); });
    connect(m->mnuShelfDelete, &QAction::triggered, this, [c] { c->mnuShelfDelete_Click(); });
    connect(m->mnuAddOutside, &QAction::triggered, this, &modMain::mnuAddOutside_Click);
}

void modMain::followReaders()
{
    if (readers)
        return;
    udisks = new UDisks(QDBusConnection::systemBus(), this);
    readers = new Readers(g, *udisks, this);
    readers->follow(*bookcase);
    shelfWindow->setReaders(readers);
}

void modMain::showReaderPopUp(const QPoint &at)
{
    QMenu menu(mainWindow);
    menu.setObjectName(QStringLiteral("mnuReaderPopUp"));
    QAction *books = menu.addAction(QStringLiteral("Show the Reader's &Books"));
    books->setObjectName(QStringLiteral("mnuReaderBooks"));
    connect(books, &QAction::triggered, shelfWindow, &frmShelf::imgToReader_Click);
    const Reader *current = readers ? readers->current() : nullptr;
    if (current) {
        QAction *eject = menu.addAction(QStringLiteral("&Eject Reader"));
        eject->setObjectName(QStringLiteral("mnuEjectReader"));
        connect(eject, &QAction::triggered, this, &modMain::ejectReader);
    }
    // Two readers or more: which one books go to.
    if (readers && readers->attached().size() > 1) {
        menu.addSeparator();
        for (size_t i = 0; i < readers->attached().size(); ++i) {
            const Reader &r = readers->attached()[i];
            QAction *item = menu.addAction(QStringLiteral("Send to %1 (%2)")
                                               .arg(r.name, QFile::decodeName(r.volume.mountPoint))
                                               .replace(u'&', QStringLiteral("&&")));
            item->setCheckable(true);
            item->setChecked(&r == current);
            connect(item, &QAction::triggered, this, [this, i] { readers->choose(int(i)); });
        }
    }
    menu.exec(at);
}

void modMain::ejectReader()
{
    if (const Reader *current = readers ? readers->current() : nullptr)
        readers->eject(*current,
                       [this](const Notice &said) { g.prompter->message(said.title, said.text); });
}

void modMain::mnuAddOutside_Click()
{
    ensureDialogs();
    dirSelect->useForAddingBooks(QStringLiteral("Select Book to Add"));
    showModal(dirSelect);
}

void modMain::showFileLocations()
{
    ensureDialogs();
    fileLoc->showNonModal();
}

void modMain::mnuFind_Click()
{
    if (!shelfWindow)
        return; // no library shown yet
    if (!findWindow) {
        findWindow = new frmFind(*finder, mainWindow);
        connect(findWindow, &frmFind::chosen, this, [this](const BookRef &book) {
            shelfWindow->showBook(book, [this](bool found) {
                if (!found) {
                    finder->check(); // it said the book is gone: the list follows
                } else if (findWindow) {
                    findWindow->hide(); // out of the way of the book; Ctrl+F brings it back
                    mainWindow->activateWindow();
                }
            });
        });
    }
    findWindow->showFind();
}

void modMain::mnuAbout_Click()
{
    if (!about)
        about = new frmAbout(*g.prompter, mainWindow);
    about->show();
    about->raise();
    about->activateWindow();
}

void modMain::reopenLibrary()
{
    // Taken as it is: the bookcase says when it is not there or does not answer, and a folder
    // that cannot be opened is told of when the disk answers.
    g.ShelfFolders = g.RootFolder = g.FileSys.folderAt(g.BookFolder);
    if (!shelfWindow)
        return;
    const QString folder = g.BookFolder;
    g.askDisk<QString>(
        QFile::encodeName(folder), this,
        [fs = g.FileSys, folder] {
            const Result<FileSys::Folder> root = fs.GetFolder(folder);
            return root ? QString() : root.error();
        },
        [this, folder](QString error) {
            if (!error.isEmpty() && folder == g.BookFolder && !m_ended)
                g.prompter->message(QStringLiteral("Main Book Folder cannot be opened."), error);
        });
    bookcase->showLibrary();
}

void modMain::Shutdown()
{
    if (m_ended)
        return;
    m_ended = true;
    ++m_shutdowns;
    // Every command stops at once: none asks anything more, and what a call already in the
    // system's hands does is left to it.
    if (bookcase)
        bookcase->stopCommands();
    if (const Notice failed = SaveMarksAndTell(g).failure)
        g.prompter->message(failed.title, failed.text);
    if (mainWindow)
        mainWindow->onClose = nullptr;
    if (endProgram)
        endProgram();
}

void modMain::showShelfPopUp(const QString &title, const QPoint &at)
{
    QString caption = title;
    mainWindow->mnuShelfName->setText(caption.replace(u'&', QStringLiteral("&&")));
    mainWindow->mnuShelfPopUp->exec(at);
}

void modMain::showBookPopUp(const QString &title, const QPoint &at)
{
    QString caption = title;
    mainWindow->mnuBookName->setText(caption.replace(u'&', QStringLiteral("&&")));
    mainWindow->mnuBookPopUp->exec(at);
}

void modMain::run(Command command)
{
    // The same commands as the pop-up's items.
    switch (command) {
    case Command::RenameBook:
        return commands->mnuBookRename_Click();
    case Command::DeleteBook:
        return commands->mnuBookDelete_Click();
    case Command::RenameShelf:
        return commands->cmdShelfRename_Click();
    case Command::DeleteShelf:
        return commands->mnuShelfDelete_Click();
    case Command::SendToReader:
        return commands->mnuSendToReader_Click();
    case Command::NewShelf:
        return commands->cmdNewShelf_Click();
    }
}
