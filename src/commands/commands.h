#pragma once

#include <QString>

struct GlobalState;
class frmShelf;

// The commands of the book and shelf pop-up menus. Each acts on the book or shelf recorded when
// its menu opened, works through FileSys, and then has the shelf window rebuild what changed.
class Commands
{
public:
    Commands(GlobalState &g, frmShelf &shelf)
        : g(g)
        , m_shelf(shelf)
    { }

    // Marks the pop-up's book with colour Index (1 to 6), or removes its mark.
    void mnuMarkBook_Click(int Index);
    void mnuUnmark_Click();

    void mnuBookRename_Click();
    void mnuBookDelete_Click();
    void cmdShelfRename_Click();
    void mnuShelfDelete_Click();

    // Puts a file from another folder onto the pop-up's shelf, by copy or by move.
    void addOutsideBook(const QString &folder, const QString &fileName, bool move);

private:
    void rebuildBooks();
    void report(const QString &title, const QString &what, const QString &error);
    bool isDisplayedShelf() const;
    // Asks whether `name` is to be deleted for good; true for Yes.
    bool confirmDelete(const QString &title, const QString &name);
    // Gives the pop-up's book label the colour of a mark number (black for 0).
    void colourBookLabel(int colour);

    GlobalState &g;
    frmShelf &m_shelf;
};
