#pragma once

#include "bookcase.h"

#include <QList>
#include <optional>

class QMimeData;
class QUrl;

// What a drag or the clipboard carries, in one place: a book dragged inside the program, files
// for a file manager (cut or copied), and what a drop or a paste brings back.
namespace BookDrag {

// The mime type of a book dragged from the book grid: "shelf/file", the name's bytes.
inline constexpr const char *MimeType = "application/x-quillrack-book";

// A book dragged from the book grid.
QMimeData *bookData(const BookRef &book);
// Files put on the clipboard, to be moved (cut) or copied, as file managers read them.
QMimeData *clipboardData(const QList<QByteArray> &urls, bool cut);

// What a drop or a paste brings: this program's book, or files with their paths as bytes, and
// whether they were cut.
struct Dropped
{
    std::optional<BookRef> book;
    QList<QByteArray> paths;
    bool cut = false;
};
Dropped decode(const QMimeData *data);

// Whether a shelf takes the data: this program's book only while its own drag is under way (a
// drag from another program could name a book of another library), files only from this
// computer.
bool shelfTakes(const QMimeData *data, bool ownDrag);
// Whether the reader picture takes it: this program's own book drag alone.
bool readerTakes(const QMimeData *data, bool ownDrag);

} // namespace BookDrag
