// The shelf window's input: pop-ups, the grids' keys, drags, drops and the clipboard, each
// handed to the model (or the program around the window) at once.
#include "bookdrag.h"
#include "bookname.h"
#include "frmshelf.h"

#include <QClipboard>
#include <QCursor>
#include <QDrag>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>

void frmShelf::imgShelf_MouseDown(int Index, Qt::MouseButton Button)
{
    if (Button == Qt::RightButton)
        popUp(false, Index, QCursor::pos());
}

void frmShelf::popUp(bool books, int slot, const QPoint &at)
{
    if (books ? m_model.bookSlot(slot).file.isEmpty() : m_model.shelfSlot(slot).name.isEmpty())
        return;
    books ? m_model.aimAtBook(slot) : m_model.aimAtShelf(slot);
    if (!m_host)
        return;
    const CommandScope command(m_model); // the slots stay as aimed at while the menu is open
    if (books)
        m_host->showBookPopUp(splitBookName(shownName(m_model.bookSlot(slot).file)).title, at);
    else
        m_host->showShelfPopUp(shownName(m_model.shelfSlot(slot).name), at);
}

bool frmShelf::gridKey(bool books, QKeyEvent *event)
{
    const Grid grid = books ? Grid::Books : Grid::Shelves;
    if (m_model.pager(grid).count() == 0)
        return false;
    static const std::pair<int, FocusMove> moves[]
        = {{Qt::Key_Left, FocusMove::Left}, {Qt::Key_Right, FocusMove::Right},
           {Qt::Key_Up, FocusMove::Up},     {Qt::Key_Down, FocusMove::Down},
           {Qt::Key_Home, FocusMove::Home}, {Qt::Key_End, FocusMove::End}};
    const int key = event->key();
    for (const auto &[k, move] : moves) {
        if (key == k) {
            m_model.moveFocus(grid, move);
            return true;
        }
    }
    m_model.moveFocus(grid, FocusMove::Here); // a place paged away comes back before acting
    const int slot = m_model.pager(grid).focusSlot();
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    QWidget *picture = books ? static_cast<QWidget *>(Book[slot]) : imgShelf[slot];
    using C = ShelfHost::Command;
    auto run = [&](C command) {
        books ? m_model.aimAtBook(slot) : m_model.aimAtShelf(slot);
        if (m_host)
            m_host->run(command);
    };
    if (key == Qt::Key_Menu || (key == Qt::Key_F10 && event->modifiers() & Qt::ShiftModifier)) {
        popUp(books, slot, picture->mapToGlobal(picture->rect().center()));
    } else if (key == Qt::Key_F2 || key == Qt::Key_Delete) {
        const bool rename = key == Qt::Key_F2;
        run(books ? (rename ? C::RenameBook : C::DeleteBook)
                  : (rename ? C::RenameShelf : C::DeleteShelf));
    } else if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (!books)
            imgShelf_Click(slot);
        else if (key == Qt::Key_Space)
            Book_MouseMove(slot);
        else
            m_model.openBook(slot);
    } else if (ctrl && key == Qt::Key_E && books) {
        run(C::SendToReader);
    } else if (ctrl && (key == Qt::Key_X || key == Qt::Key_C) && books) {
        copyBook(slot, key == Qt::Key_X);
    } else if (ctrl && key == Qt::Key_V) {
        if (!books)
            paste(slot);
    } else {
        return false;
    }
    return true;
}

void frmShelf::copyBook(int slot, bool cut)
{
    QGuiApplication::clipboard()->setMimeData(
        BookDrag::clipboardData({m_model.bookUrl(slot)}, cut));
}

void frmShelf::paste(int shelfSlot)
{
    const BookDrag::Dropped pasted = BookDrag::decode(QGuiApplication::clipboard()->mimeData());
    if (pasted.paths.isEmpty())
        return;
    // What was cut is moved once: when every book has left where it was, it leaves the
    // clipboard (unless something else was put there meanwhile); a move declined, failed or
    // stopped keeps it there for another try.
    m_model.dropFiles(shelfSlot, pasted.paths, pasted.cut, [pasted](const TransferOutcome &o) {
        const BookDrag::Dropped now = BookDrag::decode(QGuiApplication::clipboard()->mimeData());
        if (pasted.cut && now.cut && now.paths == pasted.paths
            && std::all_of(pasted.paths.begin(), pasted.paths.end(), [&](const QByteArray &p) {
                   return std::any_of(o.arrived.begin(), o.arrived.end(),
                                      [&](const Path &a) { return a.bytes() == p; });
               }))
            QGuiApplication::clipboard()->clear();
    });
}

void frmShelf::Book_MouseDown(int Index, Qt::MouseButton Button)
{
    if (Button == Qt::LeftButton) {
        // The press itself starts the drag, with the pane showing this book throughout.
        Book_MouseMove(Index);
        m_dragging = true;
        m_dragScroll.start();
        if (startDrag)
            startDrag(Index);
        m_dragScroll.stop();
        m_dropSlot = -1;
        drawDropRing();
        m_dragging = false;
        return;
    }
    lblBook_MouseDown(Index, Button);
}

void frmShelf::lblBook_MouseDown(int Index, Qt::MouseButton Button)
{
    if (Button == Qt::RightButton)
        popUp(true, Index, QCursor::pos());
}

QMimeData *frmShelf::dragData(int slot) const
{
    const BookSlot &book = m_model.bookSlot(slot);
    return BookDrag::bookData({book.shelf, book.file});
}

void frmShelf::dragBook(int slot)
{
    auto *drag = new QDrag(Book[slot]);
    drag->setMimeData(dragData(slot));
    drag->setPixmap(Book[slot]->pixmap());
    drag->setHotSpot(QPoint(drag->pixmap().width() / 2, drag->pixmap().height() / 2));
    drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
}

void frmShelf::imgShelf_DragDrop(int Index, const QMimeData *data)
{
    const BookDrag::Dropped dropped = BookDrag::decode(data);
    if (dropped.book)
        m_model.dropBook(Index, *dropped.book);
    else
        m_model.dropFiles(Index, dropped.paths);
}

void frmShelf::imgToReader_DragDrop(const QMimeData *data)
{
    if (const BookDrag::Dropped dropped = BookDrag::decode(data); dropped.book)
        m_model.sendToReader(*dropped.book);
}

void frmShelf::imgToReader_Click()
{
    m_model.reader().toggleListing();
}
