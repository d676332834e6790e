#include "frmmain.h"

#include "versioninfo.h"
#include "widgets.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMdiArea>
#include <QMenuBar>
#include <QScrollBar>

namespace {

QAction *item(QMenu *menu, const QString &caption, const char *name)
{
    QAction *a = menu->addAction(caption);
    a->setObjectName(QLatin1String(name));
    return a;
}

void separator(QMenu *menu, const char *name)
{
    menu->addSeparator()->setObjectName(QLatin1String(name));
}

} // namespace

frmMain::frmMain(QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QLatin1String(VersionInfo::Title));
    setWindowIcon(QIcon(ImageList1::path(1)));
    mdiArea = new QMdiArea(this);
    mdiArea->setObjectName(QStringLiteral("mdiArea"));
    mdiArea->setBackground(palette().window());
    // On a screen too small for the bookcase the area scrolls, so no control is out of reach.
    mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdiArea);
    // ... and a control that takes the focus out of view (of a grid, its ring) is scrolled
    // into it.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        auto *grid = qobject_cast<PictureBox *>(now);
        if (now)
            scrollIntoView(now, grid && !grid->ring().isNull() ? grid->ring() : now->rect());
    });
    buildMenuBar();
    buildBookPopUp();
    buildShelfPopUp();
}

void frmMain::scrollIntoView(QWidget *control, const QRect &part)
{
    QWidget *view = mdiArea->viewport();
    if (!view->isAncestorOf(control))
        return;
    const QRect r = part.translated(control->mapTo(view, QPoint()));
    auto follow = [](QScrollBar *bar, int low, int high, int room) {
        bar->setValue(bar->value() + (high > room ? qMin(high - room, low) : qMin(low, 0)));
    };
    follow(mdiArea->horizontalScrollBar(), r.left(), r.right() + 1, view->width());
    follow(mdiArea->verticalScrollBar(), r.top(), r.bottom() + 1, view->height());
}

void frmMain::buildMenuBar()
{
    QMenuBar *bar = menuBar();
    mnuFileLoc = bar->addAction(QStringLiteral("&File Location"));
    mnuFileLoc->setObjectName(QStringLiteral("mnuFileLoc"));
    mnuFind = bar->addAction(QStringLiteral("F&ind"));
    mnuFind->setObjectName(QStringLiteral("mnuFind"));
    mnuFind->setShortcut(QKeySequence::Find);
    mnuAboutMain = bar->addMenu(QStringLiteral("About"));
    mnuAboutMain->setObjectName(QStringLiteral("mnuAboutMain"));
    mnuAbout = item(mnuAboutMain, QStringLiteral("About the Quillrack"), "mnuAbout");
    mnuHelp = bar->addAction(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuExit = bar->addAction(QStringLiteral("E&xit"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
}

void frmMain::buildBookPopUp()
{
    // Not on the menu bar: it opens only as a pop-up over a book.
    mnuBookPopUp = new QMenu(QStringLiteral("BookPopUp"), this);
    mnuBookPopUp->setObjectName(QStringLiteral("mnuBookPopUp"));
    QMenu *m = mnuBookPopUp;
    mnuBookName = item(m, QStringLiteral("Name"), "mnuBookName");
    mnuBookName->setEnabled(false);
    separator(m, "mnuBookSep1");
    static const char *const colours[] = {"Green", "Blue", "Magenta", "White", "Yellow", "Red"};
    for (int i = 1; i <= 6; ++i) {
        mnuMarkBook[i] = item(m, QStringLiteral("Mark Book %1").arg(QLatin1String(colours[i - 1])),
                              "mnuMarkBook");
        mnuMarkBook[i]->setData(i);
    }
    separator(m, "mnuBookSep2");
    mnuUnmark = item(m, QStringLiteral("Unmark Book"), "mnuUnmark");
    separator(m, "mnuBookSep3");
    // The key is the book grid's own (Ctrl+E there): shown here, never a shortcut of the menu,
    // which would act on whatever book the menu last opened over.
    mnuSendToReader = item(m, QStringLiteral("Send to eBook Reader\tCtrl+E"), "mnuSendToReader");
    separator(m, "mnuBookSepReader");
    mnuBookRename = item(m, QStringLiteral("Rename Book"), "mnuBookRename");
    mnuRenameFromDetails = item(m, QStringLiteral("Rename from Details…"), "mnuRenameFromDetails");
    separator(m, "mnuBookSep4");
    mnuBookDelete = item(m, QStringLiteral("Delete Book"), "mnuBookDelete");
}

void frmMain::buildShelfPopUp()
{
    mnuShelfPopUp = new QMenu(QStringLiteral("ShelfPopUp"), this);
    mnuShelfPopUp->setObjectName(QStringLiteral("mnuShelfPopUp"));
    QMenu *m = mnuShelfPopUp;
    mnuShelfName = item(m, QStringLiteral("Name"), "mnuShelfName");
    mnuShelfName->setEnabled(false);
    separator(m, "mnuShelfSep1");
    mnuAddOutside
        = item(m, QStringLiteral("Add Book(s) from Outside Folder to this Shelf"), "mnuAddOutside");
    separator(m, "mnuShelfSep2");
    cmdShelfRename = item(m, QStringLiteral("Rename Shelf"), "cmdShelfRename");
    separator(m, "mnuShelfSep3");
    mnuShelfDelete = item(m, QStringLiteral("Delete Shelf"), "mnuShelfDelete");
}

void frmMain::closeEvent(QCloseEvent *event)
{
    // The close is never refused and nothing is asked.
    event->accept();
    if (onClose)
        onClose();
}
