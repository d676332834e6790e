#pragma once

#include "bookcase.h"
#include "bookdetails.h"
#include "widgets.h"

#include <QCache>
#include <QHash>
#include <QList>
#include <QPixmap>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <array>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QGroupBox;
class QFrame;
class QScrollBar;
class QListWidget;
class QMimeData;
class CoverQueue;
class Readers;
struct ReadStatus;

// What the shelf window asks of the program around it.
class ShelfHost
{
public:
    enum class Command { RenameBook, DeleteBook, RenameShelf, DeleteShelf, SendToReader, NewShelf };
    virtual ~ShelfHost() = default;
    // Pops up the shelf or book menu, titled, at a point of the screen; returns when it closes.
    virtual void showShelfPopUp(const QString &title, const QPoint &at) = 0;
    virtual void showBookPopUp(const QString &title, const QPoint &at) = 0;
    // Runs a pop-up command on the pop-up target, as its menu item does.
    virtual void run(Command command) = 0;
    // Shows the File Locations dialog.
    virtual void showFileLocations() = 0;
    // Pops up the reader picture's menu at a point of the screen.
    virtual void showReaderPopUp(const QPoint &at) = 0;
};

// The bookcase window: a page of shelves on the left, the books of the current shelf on the
// right, the details of the book under the pointer below. It draws the bookcase model on its
// change signals and hands every click, drop and key to it; it decides nothing itself. Its
// controls are its own; tests find them by object name.
class frmShelf : public QWidget
{
    Q_OBJECT
public:
    explicit frmShelf(Bookcase &model, QWidget *parent = nullptr);

    Bookcase &model() { return m_model; }
    void setHost(ShelfHost *host) { m_host = host; }

    // Reads the marks, the shelves and the first shelf's books, and shows them.
    void Form_Load();

    // The procedures and handlers of the window, as its controls call them.
    void CreateShelves() { m_model.CreateShelves(); }
    void FillShelves() { m_model.FillShelves(); }
    void CreateBooks(int ShelfNumber);
    void FillBooks() { m_model.FillBooks(); }
    void cmdNewShelf_Click();
    void cmdRefresh_Click() { m_model.refresh(); }
    void imgShelf_Click(int Index) { m_model.chooseShelf(Index); }
    void imgShelf_MouseDown(int Index, Qt::MouseButton Button);
    void Book_MouseMove(int Index);
    void Book_MouseDown(int Index, Qt::MouseButton Button);
    void lblBook_MouseDown(int Index, Qt::MouseButton Button);
    void imgShelf_DragDrop(int Index, const QMimeData *data);
    void imgToReader_DragDrop(const QMimeData *data);
    void imgToReader_Click();
    // Puts the book of a slot on the clipboard as a file, to be moved (cut) or copied; pastes
    // the clipboard's files onto the shelf of a slot.
    void copyBook(int slot, bool cut);
    void paste(int shelfSlot);
    // Shows a book found elsewhere: its shelf current, the book grid's focus on it, its
    // details in the pane, once its shelf has answered; shown is told whether it was there.
    void showBook(const BookRef &book, std::function<void(bool found)> shown = {});
    // From now on the book pictures show each book's cover where one can be had.
    void setCovers(CoverQueue *covers);
    // From now on the window shows the reader attached, and the books that are on it.
    void setReaders(Readers *readers);
    CoverQueue *covers() const { return m_covers; }
    // What a book says of itself, when it has been read.
    std::optional<BookDetails> knownDetails(const QByteArray &path) const
    {
        const BookDetails *details = m_details.object(path);
        return details ? std::optional(*details) : std::nullopt;
    }

    // Starts dragging the book of a slot; tests replace it, since a real drag waits for the
    // mouse button to be released.
    std::function<void(int)> startDrag;
    // The drag data of a book slot.
    QMimeData *dragData(int slot) const;

signals:
    // The shelf window's "E&xit" button.
    void exitRequested();
    // The focus ring of a grid that has the focus moved to a part of it.
    void ringMoved(QWidget *grid, const QRect &ring);
    // The window has been painted for the first time.
    void firstPainted();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void buildLayout();
    void buildShelfSlots();
    void buildBookSlots();
    void buildDetailsPane();
    void buildBottomControls();
    void connectSlots();
    void drawShelves();
    void drawBooks();
    // False while the grid's listing has not come: its page stays until "Reading…" shows.
    bool drawReading(Grid grid);
    void drawColour(int slot);
    void wantCovers();
    void drawCover(int slot);
    void coverReady(const QByteArray &path, const QImage &cover);
    QPixmap fitted(const QPixmap &picture, const QSize &box) const;
    void drawRings();
    // Where a slot's picture and label lie in their grid.
    QRect slotRect(Grid grid, int slot) const;
    std::vector<GridItem> gridItems(Grid grid) const;
    void drawDropRing();
    void showHeading();
    bool gridKey(bool books, QKeyEvent *event);
    void popUp(bool books, int slot, const QPoint &at);
    void clearDetails();
    void showListing();
    void dragBook(int slot);

    Bookcase &m_model;
    ShelfHost *m_host = nullptr;
    bool m_dragging = false;
    QTimer m_dragScroll; // pages the shelf grid while a drag waits at its edge
    int m_dropSlot = -1; // the shelf slot a drag is over
    bool m_painted = false;
    BookRef m_pane; // the book the details pane shows
    CoverQueue *m_covers = nullptr;
    std::array<QByteArray, Bookcase::BookSlots> m_slotPaths; // the path each book slot shows
    // Covers as made for a slot, by book path (a null one: the book has none); bounded, so a
    // walk through thousands of books keeps only the latest.
    QCache<QByteArray, QPixmap> m_coverCache {16 * 1024};
    // What books say of themselves, by book path, as the cover queue tells it.
    QCache<QByteArray, BookDetails> m_details {20000};
    void detailsReady(const QByteArray &path, const BookDetails &details);
    QString bookTip(const QByteArray &path, const QByteArray &file) const;
    void showPaneDetails();
    // The reader: its line, and which books of the page are on it (by name, then by size,
    // looked at off the window's thread).
    Readers *m_readers = nullptr;
    QHash<QByteArray, QString> m_onReader; // book path: "on the reader, 45% read"
    int m_signsAsked = 0;
    void readersChanged();
    void wantReaderSigns();
    void drawReaderSigns(bool tips = false); // with tips: the tooltips too
    QString onReader(int slot) const;
    void listingPopUp(const QPoint &at);

    QLabel *Label5;
    QFrame *fraMissing;
    QLabel *lblMissing;
    QPushButton *cmdKeepWaiting;
    std::array<QLabel *, 2> lblReading; // over the shelf grid, over the book grid
    QTimer m_readingShown;
    QLabel *lblWhichShelf;
    PictureBox *Picture1;
    QScrollBar *VScroll1;
    PictureBox *Picture2;
    QScrollBar *VScroll2;
    PictureBox *Picture3;
    QLineEdit *txtTitle;
    QLineEdit *txtAuthor;
    QLineEdit *txtFormat;
    QLineEdit *txtDetails; // authors, series and year, from the book itself
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
    QLabel *lblReader; // the reader attached and its free space
    std::array<QLabel *, Bookcase::BookSlots> imgOnReader; // the sign of a book on the reader
    std::array<ClickLabel *, Bookcase::ShelfSlots> imgShelf;
    std::array<ClickLabel *, Bookcase::ShelfSlots> lblShelf;
    std::array<ClickLabel *, Bookcase::BookSlots> Book;
    std::array<ClickLabel *, Bookcase::BookSlots> lblBook;
};
