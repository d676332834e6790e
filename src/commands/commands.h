#pragma once

#include "bookdetails.h"
#include "filesys.h"
#include "marks.h"

#include <QString>
#include <functional>
#include <optional>

struct GlobalState;
class Bookcase;

// The commands of the book and shelf pop-up menus. Each acts on the bookcase's pop-up target as
// it is when the user acts: what it asks first (a name, whether to delete) is asked then, and
// its disk work is a job that holds its own paths (see CommandQueue); then it has the bookcase
// show what changed through its small API (current shelf, reload books or shelves, a slot's
// colour, the first shelf). No widget here.
class Commands
{
public:
    Commands(GlobalState &g, Bookcase &bookcase)
        : g(g)
        , m_bookcase(bookcase)
    { }

    // Marks the target book with colour Index (1 to 6), or removes its mark.
    void mnuMarkBook_Click(int Index);
    void mnuUnmark_Click();

    // Sends a copy of the target book to the eBook Reader Content Folder.
    void mnuSendToReader_Click();
    void mnuBookRename_Click();
    // Renames the target book to the name its details propose, which the user may change.
    void mnuRenameFromDetails_Click();
    // What a book says of itself, as far as the window knows it (by the book's path).
    std::function<std::optional<BookDetails>(const QByteArray &path)> detailsOf;
    void mnuBookDelete_Click();
    // Asks for a name and creates that shelf.
    void cmdNewShelf_Click();
    void cmdShelfRename_Click();
    void mnuShelfDelete_Click();

    // Puts files from another folder onto the target shelf, by copy or by move; done runs
    // when they have gone.
    void addOutsideBooks(const Path &folder, const QList<QByteArray> &fileNames, bool move,
                         std::function<void()> done = {});

private:
    void showSaved(const MarksSaved &saved);
    // Asks whether `name` is to be deleted for good; true for Yes.
    bool confirmDelete(const QString &title, const QString &name);
    static QString deleteQuestion(const QString &name);
    // Asks for the target book's new title (proposing one, or not) and renames it, its format
    // part kept.
    void renameBook(const QString &title, const QString &proposed);
    // Shows what a command did to a shelf's books, by whether it was done.
    void showChange(std::optional<bool> done, const QByteArray &shelf, const QByteArray &gone,
                    const QByteArray &come = {});

    GlobalState &g;
    Bookcase &m_bookcase;
};
