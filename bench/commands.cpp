#include "bench.h"

#include <QElapsedTimer>
#include <cstdio>

void commandsGroup(Bench &b)
{
    // P23: Rename Book on a local disk, through its job, to the book grid painted anew; against
    // rename(2) and a listing of that shelf.
    GlobalState g;
    // A shelf of 10,000 books, as a large library has; the baseline's as large, of its own.
    const QString library = b.root + QStringLiteral("/rename");
    const int books = 10000;
    makeBooks(library + QStringLiteral("/Shelf 0"), books);
    openLibrary(g, b, library);
    g.offThread = true; // as the program asks the disk
    struct Typist : SilentPrompter
    {
        int typed = 0;
        QString input(const QString &, const QString &, const QString &) override
        {
            return typed++ % 2 ? QStringLiteral("Moved") : QStringLiteral("Renamed");
        }
    } typist;
    g.prompter = &typist;
    const QString shelf = library + QStringLiteral("/Shelf 0");
    touch(shelf + QStringLiteral("/Moved.txt"));
    // The baseline renames on a shelf of its own, as large: the window follows only its own.
    const QString other = b.root + QStringLiteral("/baseline shelf");
    makeBooks(other, books);
    touch(other + QStringLiteral("/Moved.txt"));
    Bookcase model(g);
    Commands commands(g, model);
    frmShelf w(model);
    w.Form_Load();
    w.show();
    auto idle = [&] {
        while (model.commands().busy() || model.reading(Grid::Books)
               || model.reading(Grid::Shelves))
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    };
    idle();
    auto slotOf = [&](const QByteArray &name) {
        for (int i = 0; i < Bookcase::BookSlots; ++i) {
            if (model.bookSlot(i).file == name)
                return i;
        }
        return 0;
    };
    model.scrollBooks(model.pager(Grid::Books).maximum()); // the last page: "Moved" lies there
    const QByteArray dir = QFile::encodeName(other);
    int renames = 0, baselines = 0;
    b.compare(
        QStringLiteral("P23"),
        QStringLiteral("Rename Book on a %1-book shelf, to the grid painted").arg(books), 1.3,
        b.reps,
        [&] {
            model.aimAtBook(slotOf(renames % 2 ? "Renamed.txt" : "Moved.txt"));
            commands.mnuBookRename_Click();
            idle();
            QCoreApplication::processEvents(); // what changed is painted, as the window does
            ++renames;
        },
        [&] {
            const QByteArray from = dir + (baselines % 2 ? "/Renamed.txt" : "/Moved.txt");
            const QByteArray to = dir + (baselines % 2 ? "/Moved.txt" : "/Renamed.txt");
            ::rename(from.constData(), to.constData());
            const NameList names = FileSys().folderAt(dir).fileNames();
            (void)names.bytesAt(names.size() - 1); // in natural order to the last page
            ++baselines;
        },
        QStringLiteral("rename(2) and the listing of that shelf in natural order, "
                       "on this thread"),
        [&] { // the window follows the disk a moment after the change: before the next run
            QElapsedTimer settle;
            settle.start();
            while (settle.elapsed() < 400)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            idle();
        });
}
