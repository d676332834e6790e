// The shelf window's controls, laid out as the form places them, and their wiring to the model.
#include "bookdrag.h"
#include "frmshelf.h"

#include <QCursor>
#include <QDropEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>

namespace {

QFont sansFont(qreal points, bool bold)
{
    QFont f;
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

template<typename W> W *place(W *w, const char *name, int left, int top, int width, int height)
{
    w->setObjectName(QLatin1String(name));
    w->setGeometry(tw(left), tw(top), tw(width), tw(height));
    return w;
}

QScrollBar *pagingBar(QWidget *parent, const char *name, int left, int top, int height)
{
    auto *bar = place(new QScrollBar(Qt::Vertical, parent), name, left, top, 195, height);
    bar->setRange(1, 1);
    bar->setSingleStep(1);
    bar->setPageStep(1);
    bar->setTracking(false); // the grid follows when the thumb is released, not while dragged
    bar->setMinimumWidth(tw(195));
    bar->hide();
    return bar;
}

} // namespace

void frmShelf::buildLayout()
{
    setFixedSize(tw(15240), tw(10800));
    setFont(sansFont(8.25, false));

    Label5 = place(new QLabel(QStringLiteral("Shelves"), this), "Label5", 270, 0, 1455, 465);
    Label5->setFont(sansFont(18, true));
    fitWidth(Label5);
    lblWhichShelf = place(new QLabel(this), "lblWhichShelf", 7110, 0, 7845, 480);
    lblWhichShelf->setFont(sansFont(18, true));
    lblWhichShelf->setTextFormat(Qt::PlainText);

    Picture1 = place(new PictureBox(this), "Picture1", 180, 540, 6450, 8385);
    VScroll1 = pagingBar(this, "VScroll1", 6570, 540, 8385);
    Picture2 = place(new PictureBox(this), "Picture2", 7020, 540, 8025, 8385);
    VScroll2 = pagingBar(this, "VScroll2", 14850, 540, 8385);
    // In place of the grids while the Main Book Folder is not there.
    fraMissing = place(new QFrame(this), "fraMissing", 180, 540, 14865, 8385);
    fraMissing->setFrameShape(QFrame::StyledPanel);
    lblMissing = new QLabel(fraMissing);
    lblMissing->setObjectName(QStringLiteral("lblMissing"));
    lblMissing->setTextFormat(Qt::PlainText);
    lblMissing->setWordWrap(true);
    lblMissing->setAlignment(Qt::AlignCenter);
    auto *choose = new QPushButton(QStringLiteral("File &Locations..."), fraMissing);
    choose->setObjectName(QStringLiteral("cmdFileLocations"));
    cmdKeepWaiting = new QPushButton(QStringLiteral("&Keep Waiting"), fraMissing);
    cmdKeepWaiting->setObjectName(QStringLiteral("cmdKeepWaiting"));
    connect(cmdKeepWaiting, &QPushButton::clicked, &m_model, &Bookcase::keepWaiting);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdKeepWaiting);
    buttons->addWidget(choose);
    buttons->addStretch();
    auto *column = new QVBoxLayout(fraMissing);
    column->addStretch();
    column->addWidget(lblMissing);
    column->addLayout(buttons);
    column->addStretch();
    // A grid whose listing has not come says so, once it has waited a moment.
    for (PictureBox *box : {Picture1, Picture2}) {
        auto *reading = new QLabel(QStringLiteral("Reading…"), box);
        reading->setObjectName(box == Picture1 ? "lblReading1" : "lblReading2");
        reading->setAlignment(Qt::AlignCenter);
        reading->setAutoFillBackground(true);
        reading->setGeometry(box->rect().adjusted(2, 2, -2, -2));
        reading->hide();
        lblReading[box == Picture2] = reading;
    }
    m_readingShown.setSingleShot(true);
    m_readingShown.setInterval(200);
    connect(&m_readingShown, &QTimer::timeout, this, [this] {
        for (const Grid grid : {Grid::Shelves, Grid::Books}) {
            QLabel *label = lblReading[grid == Grid::Books];
            label->setVisible(m_model.reading(grid));
            label->raise();
        }
    });
    connect(choose, &QPushButton::clicked, this, [this] {
        if (m_host)
            m_host->showFileLocations();
    });
    fraMissing->hide();
    connect(VScroll1, &QScrollBar::valueChanged, &m_model, &Bookcase::scrollShelves);
    connect(VScroll2, &QScrollBar::valueChanged, &m_model, &Bookcase::scrollBooks);
    connect(Picture2, &PictureBox::moved, this, [this] { clearDetails(); });
    // The wheel and Page Up / Page Down page the grid under the pointer one row at a time.
    connect(Picture1, &PictureBox::wheelStep, this,
            [this](int rows) { m_model.scrollBy(Grid::Shelves, rows); });
    connect(Picture2, &PictureBox::wheelStep, this,
            [this](int rows) { m_model.scrollBy(Grid::Books, rows); });
    auto pageKey = [this](QKeySequence key, int rows) {
        auto *shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, this, [this, rows] {
            // With the keyboard in a grid, its focus moves a page; else the grid under the
            // pointer pages one row.
            const QPoint pointer = mapFromGlobal(QCursor::pos());
            for (const auto &[box, grid] :
                 {std::pair(Picture1, Grid::Shelves), std::pair(Picture2, Grid::Books)}) {
                if (box->hasFocus())
                    m_model.moveFocus(grid, rows < 0 ? FocusMove::PageUp : FocusMove::PageDown);
                else if (!Picture1->hasFocus() && !Picture2->hasFocus()
                         && box->geometry().contains(pointer))
                    m_model.scrollBy(grid, rows);
            }
        });
    };
    pageKey(QKeySequence(Qt::Key_PageUp), -1);
    pageKey(QKeySequence(Qt::Key_PageDown), 1);
    connect(new QShortcut(QKeySequence(Qt::Key_F5), this), &QShortcut::activated, this,
            &frmShelf::cmdRefresh_Click);
    // The two grids take the keyboard focus, first in the tab order.
    for (PictureBox *grid : {Picture1, Picture2}) {
        grid->setFocusPolicy(Qt::StrongFocus);
        grid->onKey = [this, grid](QKeyEvent *e) { return gridKey(grid == Picture2, e); };
    }
    setFocusProxy(Picture1); // the keyboard starts in the shelf grid
    // Screen readers see each grid as a list of the slots it shows (set up before anything can
    // ask for the grid's interface, which is then kept).
    installGridAccessibility();
    Picture1->items = [this] { return gridItems(Grid::Shelves); };
    Picture1->focusedItem = [this] { return m_model.shelfFocusSlot(); };
    Picture2->items = [this] { return gridItems(Grid::Books); };
    Picture2->focusedItem = [this] { return m_model.bookFocusSlot(); };
    Picture1->setAccessibleName(QStringLiteral("Shelves"));
    Picture2->setAccessibleName(QStringLiteral("Books"));

    buildShelfSlots();
    buildBookSlots();
    buildDetailsPane();
    buildBottomControls();
    connectSlots();
    QWidget *order[] = {Picture1,   Picture2,    imgToReader, txtTitle, txtAuthor, txtFormat,
                        txtDetails, cmdNewShelf, cmdRefresh,  optMove,  optCopy,   cmdExit};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    startDrag = [this](int slot) { dragBook(slot); };
    showListing(); // the reader caption as the listing stands
    // A drag swallows the wheel: the pointer held at the shelf grid's upper or lower edge
    // pages it a row at a time instead.
    m_dragScroll.setInterval(400);
    connect(&m_dragScroll, &QTimer::timeout, this, [this] {
        constexpr int Edge = 20;
        const QPoint at = Picture1->mapFromGlobal(QCursor::pos());
        if (at.x() < 0 || at.x() >= Picture1->width())
            return;
        const int rows = at.y() >= -Edge && at.y() < Edge                               ? -1
            : at.y() >= Picture1->height() - Edge && at.y() < Picture1->height() + Edge ? 1
                                                                                        : 0;
        if (rows)
            m_model.scrollShelves(m_model.shelfPosition() + rows);
    });
}

void frmShelf::connectSlots()
{
    // A book deleted, renamed or moved away leaves the details pane once its shelf's books,
    // read again, lack it.
    connect(&m_model, &Bookcase::booksChanged, this, [this] {
        if (!m_pane.file.isEmpty() && m_model.bookGone(m_pane))
            clearDetails();
    });
    connect(&m_model, &Bookcase::libraryChanged, this, [this] {
        // A book may have been replaced under its name: the covers held in memory are looked
        // up again, and the page shows them until the answers come.
        m_coverCache.clear();
        wantCovers();
    });
    auto shelfDrop
        = [this](const QDropEvent *e) { return BookDrag::shelfTakes(e->mimeData(), m_dragging); };
    for (int i = 0; i < Bookcase::ShelfSlots; ++i) {
        for (ClickLabel *c : {imgShelf[i], lblShelf[i]}) {
            connect(c, &ClickLabel::clicked, this, [this, i] { imgShelf_Click(i); });
            connect(c, &ClickLabel::pressed, this, [this, i](Qt::MouseButton b) {
                Picture1->setFocus(Qt::MouseFocusReason);
                m_model.focusOn(Grid::Shelves, m_model.pager(Grid::Shelves).indexAt(i));
                imgShelf_MouseDown(i, b);
            });
            c->setAcceptDrops(true);
            c->acceptsDrop = shelfDrop;
            connect(c, &ClickLabel::dropped, this,
                    [this, i](const QMimeData *data) { imgShelf_DragDrop(i, data); });
            // The shelf a book would land on is lit while the drag is over it.
            connect(c, &ClickLabel::dragHovered, this, [this, i](bool over) {
                m_dropSlot = over ? i : -1;
                drawDropRing();
            });
        }
    }
    for (int i = 0; i < Bookcase::BookSlots; ++i) {
        for (ClickLabel *c : {Book[i], lblBook[i]})
            connect(c, &ClickLabel::moved, this, [this, i] { Book_MouseMove(i); });
        connect(Book[i], &ClickLabel::pressed, this,
                [this, i](Qt::MouseButton b) { Book_MouseDown(i, b); });
        connect(lblBook[i], &ClickLabel::pressed, this,
                [this, i](Qt::MouseButton b) { lblBook_MouseDown(i, b); });
        connect(lblBook[i], &ClickLabel::doubleClicked, this, [this, i] { m_model.openBook(i); });
        for (ClickLabel *c : {Book[i], lblBook[i]}) // a click in a grid gives it the focus
            connect(c, &ClickLabel::pressed, this, [this, i] {
                Picture2->setFocus(Qt::MouseFocusReason);
                m_model.focusOn(Grid::Books, m_model.pager(Grid::Books).indexAt(i));
            });
    }
    imgToReader->setAcceptDrops(true);
    imgToReader->acceptsDrop
        = [this](const QDropEvent *e) { return BookDrag::readerTakes(e->mimeData(), m_dragging); };
    connect(imgToReader, &ClickLabel::dropped, this, &frmShelf::imgToReader_DragDrop);
    connect(imgToReader, &ClickLabel::clicked, this, &frmShelf::imgToReader_Click);
    connect(&m_model.reader(), &ReaderFolder::listingChanged, this, &frmShelf::showListing);
    // The reader picture takes the keyboard too: Enter or Space lists the folder as a click does,
    // the Menu key and Shift+F10 pop up its menu, as a right click does.
    imgToReader->setFocusPolicy(Qt::StrongFocus);
    for (const QKeySequence key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        auto *shortcut = new QShortcut(key, imgToReader, nullptr, nullptr, Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this, &frmShelf::imgToReader_Click);
    }
    auto readerMenu = [this](const QPoint &at) {
        if (m_host)
            m_host->showReaderPopUp(at);
    };
    connect(imgToReader, &ClickLabel::pressed, this, [readerMenu](Qt::MouseButton b) {
        if (b == Qt::RightButton)
            readerMenu(QCursor::pos());
    });
    // The listing's books: a right click, the Menu key or Shift+F10 pops up their menu, and
    // Delete deletes one from the reader.
    File1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(File1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { listingPopUp(File1->viewport()->mapToGlobal(at)); });
    for (const QKeySequence &key :
         {QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)}) {
        connect(new QShortcut(key, imgToReader, nullptr, nullptr, Qt::WidgetShortcut),
                &QShortcut::activated, this, [this, readerMenu] {
                    readerMenu(imgToReader->mapToGlobal(imgToReader->rect().center()));
                });
        connect(new QShortcut(key, File1, nullptr, nullptr, Qt::WidgetShortcut),
                &QShortcut::activated, this, [this] {
                    const QRect item = File1->visualItemRect(File1->currentItem());
                    listingPopUp(File1->viewport()->mapToGlobal(item.center()));
                });
    }
    connect(new QShortcut(QKeySequence::Delete, File1, nullptr, nullptr, Qt::WidgetShortcut),
            &QShortcut::activated, this, [this] {
                if (const QListWidgetItem *item = File1->currentItem())
                    m_model.reader().deleteBook(item->data(Qt::UserRole).toByteArray());
            });
    connect(optMove, &QRadioButton::toggled, &m_model, &Bookcase::setMoveOnDrop);
}

void frmShelf::buildShelfSlots()
{
    const QFont font = sansFont(8.25, true);
    for (int i = 0; i < Bookcase::ShelfSlots; ++i) {
        const int row = i / 4, column = i % 4;
        const int left = i == 24 ? 360 : 270 + 1530 * column;
        imgShelf[i] = place(new ClickLabel(Picture1), "imgShelf", left, 90 + 1170 * row, 1050, 705);
        imgShelf[i]->setAlignment(Qt::AlignCenter);
        lblShelf[i] = place(new ClickLabel(Picture1), "lblShelf", 180 + 1530 * column,
                            810 + 1170 * row, 1275, 400);
        lblShelf[i]->setText(QStringLiteral("Name"));
        lblShelf[i]->setTextFormat(Qt::PlainText);
        lblShelf[i]->setFont(font);
        lblShelf[i]->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        lblShelf[i]->setWordWrap(true);
    }
}

void frmShelf::buildBookSlots()
{
    static const int lefts[] = {270, 1785, 3315, 4845, 6375};
    static const int firstRowLefts[] = {195, 1710, 3240, 4770, 6300};
    const QFont font = sansFont(8.25, true);
    for (int i = 0; i < Bookcase::BookSlots; ++i) {
        const int row = i / 5, column = i % 5;
        const int left = row == 0 ? firstRowLefts[column] : lefts[column];
        const int top = 270 + 1980 * row;
        Book[i] = place(new ClickLabel(Picture2), "Book", left, top, 1200, 975);
        Book[i]->setAlignment(Qt::AlignCenter);
        lblBook[i] = place(new ClickLabel(Picture2), "lblBook", left + 90, top + 990,
                           column == 4 ? 1185 : 1275, 815);
        lblBook[i]->setText(QStringLiteral("Name"));
        lblBook[i]->setTextFormat(Qt::PlainText);
        lblBook[i]->setFont(font);
        lblBook[i]->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        lblBook[i]->setWordWrap(true);
        // A small reader over the picture's corner: the book is on the reader.
        imgOnReader[i] = new QLabel(Picture2);
        imgOnReader[i]->setObjectName(QStringLiteral("imgOnReader"));
        imgOnReader[i]->setPixmap(
            ImageList1::picture(2).scaledToHeight(tw(360), Qt::SmoothTransformation));
        imgOnReader[i]->adjustSize();
        imgOnReader[i]->setAttribute(Qt::WA_TransparentForMouseEvents);
        imgOnReader[i]->hide();
    }
}

void frmShelf::buildDetailsPane()
{
    Picture3 = place(new PictureBox(this), "Picture3", 180, 9180, 5505, 1425);
    const QFont font = sansFont(8.25, true);
    auto field = [&](const char *name, int left, int top, int width) {
        auto *t = place(new QLineEdit(Picture3), name, left, top, width, 285);
        t->setReadOnly(true);
        t->setFont(font);
        t->setFrame(true);
        return t;
    };
    fitWidth(place(new QLabel(QStringLiteral("Title:"), Picture3), "Label1", 180, 45, 915, 195));
    txtTitle = field("txtTitle", 180, 225, 4065);
    fitWidth(place(new QLabel(QStringLiteral("Shelf:"), Picture3), "Label2", 180, 585, 1275, 195));
    txtAuthor = field("txtAuthor", 180, 765, 4065);
    fitWidth(place(new QLabel(QStringLiteral("Format:"), Picture3), "Label3", 4410, 45, 555, 195));
    txtFormat = field("txtFormat", 4410, 225, 915);
    imgBookImage = place(new QLabel(Picture3), "imgBookImage", 4590, 585, 585, 495);
    imgBookImage->setAlignment(Qt::AlignCenter);
    txtTitle->setAccessibleName(QStringLiteral("Title"));
    txtAuthor->setAccessibleName(QStringLiteral("Shelf"));
    txtFormat->setAccessibleName(QStringLiteral("Format"));
    // A line below the boxes for what the book says of itself.
    txtDetails = field("txtDetails", 180, 1095, 5145);
    txtDetails->setFrame(false);
    txtDetails->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));
    txtDetails->setFont(sansFont(8.25, false));
    txtDetails->setAccessibleName(QStringLiteral("Author, series and year"));
}

void frmShelf::buildBottomControls()
{
    const QFont buttonFont = sansFont(9.75, true);
    auto button = [&](const QString &text, const char *name, int left, int top) {
        auto *b = place(new AccessKeyButton(text, this), name, left, top, 1275, 465);
        b->setFont(buttonFont);
        b->setAutoDefault(false);
        return b;
    };
    cmdNewShelf = button(QStringLiteral("&New Shelf"), "cmdNewShelf", 5850, 9180);
    cmdRefresh = button(QStringLiteral("&Refresh"), "cmdRefresh", 5850, 9900);

    Frame1 = place(new QGroupBox(QStringLiteral("Drag Book to:"), this), "Frame1", 7470, 9270, 1275,
                   1005);
    optMove
        = place(new QRadioButton(QStringLiteral("Move"), Frame1), "optMove", 90, 270, 1095, 285);
    optCopy
        = place(new QRadioButton(QStringLiteral("Copy"), Frame1), "optCopy", 90, 630, 1095, 285);

    lblHowMany = place(new QLabel(this), "lblHowMany", 9090, 9270, 2175, 1095);
    lblHowMany->setFont(sansFont(8.25, true));
    lblHowMany->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    cmdExit = button(QStringLiteral("E&xit"), "cmdExit", 11610, 9540);
    connect(cmdExit, &QPushButton::clicked, this, &frmShelf::exitRequested);
    connect(cmdNewShelf, &QPushButton::clicked, this, &frmShelf::cmdNewShelf_Click);
    connect(cmdRefresh, &QPushButton::clicked, this, &frmShelf::cmdRefresh_Click);

    File1 = place(new QListWidget(this), "File1", 11430, 540, 3615, 8475);
    File1->hide();
    Label4 = place(new ClickLabel(this), "Label4", 13140, 9180, 1185, 1185);
    Label4->setWordWrap(true);
    Label4->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont small = font();
    small.setPointSizeF(7);
    Label4->setFont(small);
    imgToReader = place(new ClickLabel(this), "imgToReader", 14130, 9180, 1200, 1200);
    imgToReader->setAlignment(Qt::AlignCenter);
    imgToReader->setAccessibleName(QStringLiteral("eBook Reader Content Folder"));
    lblReader = place(new QLabel(this), "lblReader", 11430, 10395, 3810, 375);
    lblReader->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblReader->setTextFormat(Qt::PlainText); // the drive names itself
    lblReader->setFont(small);
    imgToReader->setToolTip(QStringLiteral("Drop a book here to send a copy to your eBook reader "
                                           "folder; click to list that folder"));
}
