// The bookcase's books on their way: a drop on a shelf, files from outside, a copy sent to the
// reader folder, a book opened with the desktop's program. Each takes its targets at the drop.
#include "bookcase.h"
#include "bookname.h"
#include "desktop.h"
#include "globalstate.h"
#include "transfer.h"

#include <memory>

void Bookcase::dropBook(int shelfSlot, const BookRef &book)
{
    // The shelf the slot shows now, whatever the grid shows by the time the disk answers.
    const QByteArray shelf = this->shelfSlot(shelfSlot).name;
    if (shelf.isEmpty() || book.shelf.isEmpty() || book.file.isEmpty() || shelf == book.shelf)
        return;
    const Transfer t
        = toShelf(bookPath(book.shelf, book.file), bookPath(shelf), shelf, m_moveOnDrop);
    auto outcome = std::make_shared<TransferOutcome>();
    runCommand({bookPath(shelf).shown(),
                bookPath(shelf).bytes(),
                {t.source.bytes(), t.target.bytes()},
                [fs = g.FileSys, t, outcome](Job::Context &job) {
                    *outcome = transferBooks(fs, job, {t});
                    return outcome->failure;
                },
                [this, outcome, book, move = t.move](Job::Outcome) {
                    // A book moved away leaves its shelf at once; a failure reads it again.
                    if (outcome->result == TransferResult::Done && move)
                        booksChangedBy(book.shelf, book.file);
                    else if (outcome->result == TransferResult::Failed)
                        reloadBooks();
                    else if (outcome->result == TransferResult::Done)
                        m_libraryDirty = true; // a copy: another shelf holds one more
                }});
}

void Bookcase::dropFiles(int shelfSlot, const QList<QByteArray> &paths, bool move,
                         std::function<void(const TransferOutcome &)> done)
{
    const QByteArray shelf = this->shelfSlot(shelfSlot).name;
    if (shelf.isEmpty() || paths.isEmpty())
        return;
    std::vector<Transfer> batch;
    QList<QByteArray> holds {bookPath(shelf).bytes()};
    for (const QByteArray &source : paths) {
        batch.push_back(toShelf(source, bookPath(shelf), shelf, move));
        holds << source;
    }
    auto outcome = std::make_shared<TransferOutcome>();
    runCommand({bookPath(shelf).shown(), bookPath(shelf).bytes(), holds,
                [fs = g.FileSys, batch, outcome](Job::Context &job) {
                    // Folders and files gone meanwhile are not books.
                    std::vector<Transfer> books;
                    for (const Transfer &t : batch) {
                        if (!job.stopped() && fs.FileExists(t.source))
                            books.push_back(t);
                    }
                    *outcome = transferBooks(fs, job, books);
                    return outcome->failure;
                },
                [this, shelf, move, outcome, done](Job::Outcome ended) {
                    if (ended == Job::Outcome::Stopped)
                        return; // the work may still run: its outcome is not looked at
                    if (shelf == m_current || move) // a book cut from the shown shelf has left it
                        reloadBooks();
                    m_libraryDirty = true;
                    if (done)
                        done(*outcome);
                }});
}

void Bookcase::sendToReader(const BookRef &book)
{
    // The book as it was dropped, even if the folders are changed while the reader is asked.
    if (!book.file.isEmpty())
        m_reader.send(bookPath(book.shelf, book.file), [this](TransferResult result) {
            if (result == TransferResult::Failed)
                reloadBooks();
        });
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
