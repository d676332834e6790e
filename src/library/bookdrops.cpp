// The bookcase's books on their way: a drop on a shelf, files from outside, a copy sent to the
// reader folder, a book opened with the desktop's program.
#include "bookcase.h"
#include "bookname.h"
#include "desktop.h"
#include "globalstate.h"
#include "prompter.h"
#include "transfer.h"

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
    const TransferOutcome moved = transferBook(g.FileSys, *g.prompter, toShelf(P, S, m_moveOnDrop));
    report(moved.failure);
    if (moved.result != TransferResult::Declined)
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
    report(transferBooks(g.FileSys, *g.prompter, batch).failure);
    if (S == m_current || move) // a book cut from the shown shelf has left it
        reloadBooks();
    m_libraryDirty = true;
}

void Bookcase::sendToReader(const BookRef &book)
{
    const CommandScope command(*this);
    // The book as it was dropped, even if the folders are changed while they are asked for.
    if (!book.file.isEmpty()
        && m_reader.send(bookPath(book.shelf, book.file)) == TransferResult::Failed)
        reloadBooks();
}

void Bookcase::openBook(int slot)
{
    const BookSlot &book = bookSlot(slot);
    if (book.file.isEmpty())
        return;
    const QString name = shownName(book.file);
    const QString path = shownName(bookPath(book.shelf, book.file).bytes());
    Desktop::open(this, opener, bookUrl(slot), [this, name, path] {
        report({QStringLiteral("Cannot Open Book"),
                QStringLiteral("'%1' could not be opened: no program of this desktop opens "
                               "it.\r\n\r\n%2")
                    .arg(name, path)});
    });
}
