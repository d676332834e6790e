// Renders each window of the program to a PNG, offscreen, for a look at its layout.
// Usage: shots OUTDIR LIBRARY
#include "appfolder.h"
#include "frmdirselect.h"
#include "frmfileloc.h"
#include "frmsplash.h"
#include "globalstate.h"
#include "widgetprompter.h"

#include <QApplication>
#include <QDir>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString out = argc > 1 ? argv[1] : QStringLiteral(".");
    const QString lib = argc > 2 ? argv[2] : QDir::currentPath();
    WidgetPrompter prompter;
    GlobalState g;
    g.prompter = &prompter;
    g.BookFolder = lib;
    frmSplash splash;
    splash.show();
    splash.grab().save(out + "/splash.png");
    frmDirSelect picker;
    picker.useForChoosingFolder(QStringLiteral("Select Main Book Folder"));
    picker.pointAt(lib);
    picker.show();
    picker.grab().save(out + "/dirselect-folder.png");
    picker.useForAddingBooks(QStringLiteral("Select Book to Add"));
    picker.pointAt(lib + "/Classics");
    picker.grab().save(out + "/dirselect-add.png");
    frmFileLoc fileLoc(g, picker);
    fileLoc.show();
    fileLoc.grab().save(out + "/fileloc.png");
    return 0;
}
