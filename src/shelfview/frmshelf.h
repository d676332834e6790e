#pragma once

#include "naturalsort.h"

#include <QList>
#include <QUrl>
#include <QWidget>
#include <array>
#include <functional>
#include <vector>

class ClickLabel;
class PictureBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QGroupBox;
class QScrollBar;
class QListWidget;
struct GlobalState;
class QMimeData;

// What the shelf window asks of the program around it.
class ShelfHost
{
public:
    virtual ~ShelfHost() = default;
    // Pops up the shelf or book menu at the pointer, titled, and returns when it closes.
    virtual void showShelfPopUp(const QString &title) = 0;
    virtual void showBookPopUp(const QString &title) = 0;
    // Shows the File Locations dialog modally; false when the program is ending meanwhile.
    virtual bool askForFolders() = 0;
};

// The mime type of a book dragged from the book grid.
inline constexpr const char *BookMimeType = "application/x-quillrack-book";

// The bookcase: a page of shelves on the left, the books of the current shelf on the right,
// the details of the book under the pointer below. The current shelf is the one the heading
// lblWhichShelf names.
class frmShelf : public QWidget
{
    Q_OBJECT
public:
    static constexpr int ShelfSlots = 28;
    static constexpr int BookSlots = 20;

    explicit frmShelf(GlobalState &g, QWidget *parent = nullptr);

    // Builds the shelves and the first shelf's books, with the marks read from marked.dat.
    void Form_Load();
    // Shows the library afresh from its first page, its first shelf current.
    void showLibrary();

    // Reads the shelf names from the Main Book Folder.
    void CreateShelves();
    // Shows the page of shelves the shelf scroll bar stands at.
    void FillShelves();
    // Reads the book names of the shelf the heading names.
    void CreateBooks(int ShelfNumber);
    // Shows the page of books the book scroll bar stands at, with their mark colours.
    void FillBooks();

    void setHost(ShelfHost *host) { m_host = host; }

    // Asks for a name and creates that shelf.
    void cmdNewShelf_Click();
    // Reads both grids afresh from the disk, from their first pages.
    void cmdRefresh_Click();

    // Mouse and drop handlers of the grids, as the controls call them.
    void imgShelf_Click(int Index);
    void imgShelf_MouseDown(int Index, Qt::MouseButton Button);
    void Book_MouseMove(int Index);
    void Book_MouseDown(int Index, Qt::MouseButton Button);
    void lblBook_MouseDown(int Index, Qt::MouseButton Button);
    void imgShelf_DragDrop(int Index);
    void filesDropped(int Index, const QList<QUrl> &urls);
    void imgToReader_DragDrop();
    void imgToReader_Click();

    // Starts dragging the book of a slot; tests replace it, since a real drag waits for the
    // mouse button to be released.
    std::function<void(int)> startDrag;
    bool dragging() const { return m_dragging; }

    int SelectedShelf = 0;
    const NameList &ShelfList() const { return m_shelfList; }
    const NameList &BookList() const { return m_bookList; }
    int BookCount() const { return m_bookCount; }

    // Controls, named as other windows and the tests know them.
    QLabel *Label5;
    QLabel *lblWhichShelf;
    PictureBox *Picture1;
    QScrollBar *VScroll1;
    PictureBox *Picture2;
    QScrollBar *VScroll2;
    PictureBox *Picture3;
    QLineEdit *txtTitle;
    QLineEdit *txtAuthor;
    QLineEdit *txtFormat;
    QLabel *imgBookImage;
    QPushButton *cmdNewShelf;
    QPushButton *cmdRefresh;
    QGroupBox *Frame1;
    QRadioButton *optMove;
    QRadioButton *optCopy;
    QLabel *lblHowMany;
    QPushButton *cmdExit;
    QListWidget *File1;
    ClickLabel *Label4;
    ClickLabel *imgToReader;
    std::array<ClickLabel *, ShelfSlots> imgShelf;
    std::array<ClickLabel *, ShelfSlots> lblShelf;
    std::array<ClickLabel *, BookSlots> Book;
    std::array<ClickLabel *, BookSlots> lblBook;

signals:
    // The shelf window's "E&xit" button.
    void exitRequested();

private:
    void buildLayout();
    void buildShelfSlots();
    void buildBookSlots();
    void buildDetailsPane();
    void buildBottomControls();
    void setShelfPicture(int slot, int position);
    void clearDetails();
    void connectSlots();
    void dragBook(int slot);
    bool ensureReaderFolder();
    // Asks "File Exists. Do you wish to overwrite?"; true for OK.
    bool confirmOverwrite();
    void reportFailure(const QString &title, const QString &what, const QString &error);
    void rebuildBooks();
    bool acceptsShelfDrop(const QDropEvent *event) const;

    GlobalState &g;
    ShelfHost *m_host = nullptr;
    bool m_dragging = false;
    QString m_paneFileName; // the full file name of the book the details pane shows
    NameList m_shelfList;
    NameList m_bookList;
    int m_bookCount = 0;
};
