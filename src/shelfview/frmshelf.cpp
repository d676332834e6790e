#include "frmshelf.h"

#include "bookdrag.h"
#include "bookname.h"
#include "coverqueue.h"
#include "widgets.h"

#include <QAccessible>
#include <QClipboard>
#include <QCursor>
#include <QDrag>
#include <QDropEvent>
#include <QGraphicsDropShadowEffect>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>

namespace {

const QString ClosedListingText = QStringLiteral(
    "Drag Book Here ------------------------> to Send to your eBook Reader Content Folder. "
    "Click for list.");
const QString OpenListingText = QStringLiteral(
    "Drag Book Here ------------------------> to Send to your eBook Reader Content Folder. "
    "Click to close.");

const char *const ColourNames[] = {"", "green", "blue", "magenta", "white", "yellow", "red"};

// Shows a name in a word-wrapped label. When even wrapped it does not fit, its middle gives way
// to "…", so that the start and the end of the title stay visible.
void showFitted(QLabel *label, const QString &text)
{
    const QFontMetrics metrics(label->font());
    const QRect room = label->contentsRect();
    auto fits = [&](const QString &t) {
        const QRect used = metrics.boundingRect(QRect(0, 0, room.width(), 1 << 16),
                                                int(label->alignment()) | Qt::TextWordWrap, t);
        return used.width() <= room.width() && used.height() <= room.height();
    };
    auto middle = [&](int kept) { return text.left((kept + 1) / 2) + u'…' + text.right(kept / 2); };
    if (fits(text)) {
        label->setText(text);
        return;
    }
    int low = 0, high = int(text.size()); // the most characters kept that still fit
    while (low < high) {
        const int kept = (low + high + 1) / 2;
        fits(middle(kept)) ? low = kept : high = kept - 1;
    }
    label->setText(middle(low));
}

// The tooltip of a name: the name in full, and how to mend one that is not readable text.
QString nameTip(const QByteArray &name, bool book)
{
    const QString shown = shownName(name);
    if (readableName(name))
        return asPlainText(shown);
    return asPlainText(
        shown
        + (book ? QStringLiteral("\nThis file name is not readable text. Renaming the book gives "
                                 "it a readable title; the part after the first dot is kept.")
                : QStringLiteral("\nThis folder name is not readable text. Renaming the shelf "
                                 "gives it a readable name.")));
}

// A grid's scroll bar at the model's position; hidden while the model has no last position.
void showBar(QScrollBar *bar, int maximum, int position)
{
    const QSignalBlocker blocker(bar); // the model knows already
    bar->setMaximum(qMax(1, maximum));
    bar->setValue(position);
    bar->setVisible(maximum > 0);
}

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

frmShelf::frmShelf(Bookcase &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
{
    setObjectName(QStringLiteral("frmShelf"));
    buildLayout();
    connect(&m_model, &Bookcase::shelvesChanged, this, &frmShelf::drawShelves);
    connect(&m_model, &Bookcase::booksChanged, this, &frmShelf::drawBooks);
    connect(&m_model, &Bookcase::bookColourChanged, this, &frmShelf::drawColour);
}

void frmShelf::buildLayout()
{
    setFixedSize(tw(15240), tw(10560));
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
    auto *column = new QVBoxLayout(fraMissing);
    column->addStretch();
    column->addWidget(lblMissing);
    column->addWidget(choose, 0, Qt::AlignCenter);
    column->addStretch();
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
    QWidget *order[] = {Picture1,    Picture2,   imgToReader, txtTitle, txtAuthor, txtFormat,
                        cmdNewShelf, cmdRefresh, optMove,     optCopy,  cmdExit};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    startDrag = [this](int slot) { dragBook(slot); };
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
    // A book deleted, renamed or moved away leaves the details pane.
    connect(&m_model, &Bookcase::libraryChanged, this, [this] {
        if (!m_pane.file.isEmpty() && !m_model.bookExists(m_pane))
            clearDetails();
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
    // The reader picture takes the keyboard too: Enter or Space lists the folder as a click does.
    imgToReader->setFocusPolicy(Qt::StrongFocus);
    for (const QKeySequence key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        auto *shortcut = new QShortcut(key, imgToReader, nullptr, nullptr, Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this, &frmShelf::imgToReader_Click);
    }
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
    }
}

void frmShelf::buildDetailsPane()
{
    Picture3 = place(new PictureBox(this), "Picture3", 180, 9180, 5505, 1185);
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
    Label4->setText(ClosedListingText);
    Label4->setWordWrap(true);
    Label4->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont small = font();
    small.setPointSizeF(7);
    Label4->setFont(small);
    imgToReader = place(new ClickLabel(this), "imgToReader", 14130, 9180, 1200, 1200);
    imgToReader->setAlignment(Qt::AlignCenter);
    imgToReader->setAccessibleName(QStringLiteral("eBook Reader Content Folder"));
    imgToReader->setToolTip(QStringLiteral("Drop a book here to send a copy to your eBook reader "
                                           "folder; click to list that folder"));
}

void frmShelf::Form_Load()
{
    optMove->setChecked(true);
    m_model.setMoveOnDrop(true);
    imgBookImage->setPixmap(fitted(ImageList1::picture(5), imgBookImage->size()));
    imgToReader->setPixmap(ImageList1::picture(2));
    m_model.load();
}

void frmShelf::cmdNewShelf_Click()
{
    if (m_host)
        m_host->run(ShelfHost::Command::NewShelf);
}

void frmShelf::CreateBooks(int ShelfNumber)
{
    Q_UNUSED(ShelfNumber) // the shelf listed is always the current one
    m_model.CreateBooks();
}

void frmShelf::drawShelves()
{
    const bool missing = m_model.libraryMissing();
    if (missing != fraMissing->isVisible()) {
        for (QWidget *w : std::initializer_list<QWidget *> {Picture1, Picture2, VScroll1, VScroll2})
            w->setVisible(!missing);
        fraMissing->setVisible(missing);
        lblMissing->setText(
            QStringLiteral("The Main Book Folder is not there:\n%1\n\nIf it lies on a "
                           "disk, plug the disk in and press Refresh, or choose "
                           "another folder.")
                .arg(m_model.bookPath(QByteArray()).shown()));
    }
    showHeading();
    showBar(VScroll1, m_model.pager(Grid::Shelves).maximum(), m_model.shelfPosition());
    const QPixmap shelf = ImageList1::picture(3), current = ImageList1::picture(4);
    for (int i = 0; i < Bookcase::ShelfSlots; ++i) {
        const ShelfSlot &slot = m_model.shelfSlot(i);
        if (slot.name.isEmpty()) {
            imgShelf[i]->hide();
            lblShelf[i]->hide();
            continue;
        }
        imgShelf[i]->setPixmap(slot.current ? current : shelf);
        for (QLabel *l : {static_cast<QLabel *>(imgShelf[i]), static_cast<QLabel *>(lblShelf[i])})
            l->setToolTip(nameTip(slot.name, false));
        showFitted(lblShelf[i], shownName(slot.name));
        imgShelf[i]->show();
        lblShelf[i]->show();
    }
    drawRings();
    drawDropRing();
}

void frmShelf::drawDropRing()
{
    // A slot paged empty under a waiting drag takes nothing.
    const int i = m_dropSlot;
    const bool lit = i >= 0 && !m_model.shelfSlot(i).name.isEmpty();
    Picture1->setDropRing(
        lit ? imgShelf[i]->geometry().united(lblShelf[i]->geometry()).adjusted(-4, -4, 4, 4)
            : QRect());
}

void frmShelf::drawBooks()
{
    showHeading();
    showBar(VScroll2, m_model.pager(Grid::Books).maximum(), m_model.bookPosition());
    lblHowMany->setText(QStringLiteral("Books: %1\r\n").arg(m_model.BookCount()));
    for (int i = 0; i < Bookcase::BookSlots; ++i) {
        const BookSlot &slot = m_model.bookSlot(i);
        m_slotPaths[size_t(i)]
            = slot.file.isEmpty() ? QByteArray() : m_model.bookPath(slot.shelf, slot.file).bytes();
    }
    wantCovers(); // read while the page is drawn
    for (int i = 0; i < Bookcase::BookSlots; ++i) {
        const BookSlot &slot = m_model.bookSlot(i);
        if (slot.file.isEmpty()) {
            Book[i]->hide();
            lblBook[i]->hide();
            continue;
        }
        Book[i]->setToolTip(nameTip(slot.file, true));
        drawCover(i);
        Book[i]->show();
        lblBook[i]->setToolTip(nameTip(slot.file, true));
        showFitted(lblBook[i], splitBookName(shownName(slot.file)).title);
        drawColour(i);
        lblBook[i]->show();
    }
    drawRings();
}

QPixmap frmShelf::fitted(const QPixmap &picture, const QSize &box) const
{
    // Scaled to fit with its proportions kept, sharp on a screen of any pixel ratio.
    const qreal ratio = devicePixelRatioF();
    QPixmap out = picture.scaled(box * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    out.setDevicePixelRatio(ratio);
    return out;
}

void frmShelf::wantCovers()
{
    // The covers the page lacks, at the slots' size in device pixels.
    if (!m_covers)
        return;
    QList<QByteArray> wanted;
    for (const QByteArray &path : m_slotPaths) {
        if (!path.isEmpty() && !m_coverCache.contains(path))
            wanted << path;
    }
    m_covers->want(wanted, Book[0]->size() * devicePixelRatioF());
}

void frmShelf::drawCover(int slot)
{
    const QPixmap *cover = m_coverCache.object(m_slotPaths[size_t(slot)]);
    Book[slot]->setPixmap(cover && !cover->isNull() ? *cover : ImageList1::picture(5));
}

void frmShelf::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    if (!std::exchange(m_painted, true))
        QMetaObject::invokeMethod(this, &frmShelf::firstPainted, Qt::QueuedConnection);
}

void frmShelf::setCovers(CoverQueue *covers)
{
    m_covers = covers;
    connect(covers, &CoverQueue::ready, this, &frmShelf::coverReady);
    drawBooks();
}

void frmShelf::coverReady(const QByteArray &path, const QImage &cover)
{
    // It comes scaled to fit a book slot, in device pixels.
    QPixmap picture = QPixmap::fromImage(cover);
    picture.setDevicePixelRatio(devicePixelRatioF());
    m_coverCache.insert(path, new QPixmap(picture),
                        qMax<int>(1, picture.width() * picture.height() * 4 / 1024));
    for (int i = 0; i < Bookcase::BookSlots; ++i) {
        if (m_slotPaths[size_t(i)] == path)
            drawCover(i);
    }
    if (!picture.isNull() && m_model.bookPath(m_pane.shelf, m_pane.file).bytes() == path)
        imgBookImage->setPixmap(fitted(picture, imgBookImage->size()));
}

void frmShelf::drawColour(int slot)
{
    const BookSlot &book = m_model.bookSlot(slot);
    QPalette pal = lblBook[slot]->palette();
    pal.setColor(QPalette::WindowText, markColour(book.colour));
    lblBook[slot]->setPalette(pal);
    // White and yellow would vanish on the light background: a thin dark outline keeps them.
    if (book.colour == 4 || book.colour == 5) {
        auto *outline = new QGraphicsDropShadowEffect;
        outline->setOffset(0);
        outline->setBlurRadius(3);
        outline->setColor(Qt::black);
        lblBook[slot]->setGraphicsEffect(outline);
    } else {
        lblBook[slot]->setGraphicsEffect(nullptr);
    }
}

std::vector<GridItem> frmShelf::gridItems(Grid grid) const
{
    // What a screen reader hears of each shown slot: its name, and its shelf and mark colour.
    std::vector<GridItem> items;
    for (int i = 0; i < (grid == Grid::Books ? Bookcase::BookSlots : Bookcase::ShelfSlots); ++i) {
        if (grid == Grid::Shelves && !m_model.shelfSlot(i).name.isEmpty()) {
            const ShelfSlot &slot = m_model.shelfSlot(i);
            items.push_back({shownName(slot.name),
                             slot.current ? QStringLiteral("the shelf shown") : QString(),
                             imgShelf[i]->geometry().united(lblShelf[i]->geometry())});
        } else if (grid == Grid::Books && !m_model.bookSlot(i).file.isEmpty()) {
            const BookSlot &book = m_model.bookSlot(i);
            items.push_back({shownName(book.file),
                             QStringLiteral("on %1").arg(shownName(book.shelf))
                                 + (book.colour ? QStringLiteral(", marked %1")
                                                      .arg(QLatin1String(ColourNames[book.colour]))
                                                : QString()),
                             Book[i]->geometry().united(lblBook[i]->geometry())});
        }
    }
    return items;
}

void frmShelf::showHeading()
{
    const QString name = shownName(m_model.currentShelf());
    lblWhichShelf->setText(QFontMetrics(lblWhichShelf->font())
                               .elidedText(name, Qt::ElideMiddle, lblWhichShelf->width()));
    lblWhichShelf->setToolTip(nameTip(m_model.currentShelf(), false));
}

void frmShelf::drawRings()
{
    // The focused slot of each grid: its picture and label, and what a screen reader says.
    const std::pair<PictureBox *, std::pair<QLabel *, QLabel *>> grids[]
        = {{Picture1,
            {m_model.shelfFocusSlot() < 0 ? nullptr : imgShelf[m_model.shelfFocusSlot()],
             m_model.shelfFocusSlot() < 0 ? nullptr : lblShelf[m_model.shelfFocusSlot()]}},
           {Picture2,
            {m_model.bookFocusSlot() < 0 ? nullptr : Book[m_model.bookFocusSlot()],
             m_model.bookFocusSlot() < 0 ? nullptr : lblBook[m_model.bookFocusSlot()]}}};
    for (const auto &[grid, slot] : grids) {
        const auto [picture, label] = slot;
        const bool shown = picture && picture->isVisibleTo(grid);
        grid->setRing(shown ? picture->geometry().united(label->geometry()).adjusted(-3, -3, 3, 3)
                            : QRect());
        if (!shown || !grid->hasFocus())
            continue;
        emit ringMoved(grid, grid->ring());
        // The focus moves to an item of the grid: the screen reader names that book or shelf.
        QAccessibleEvent moved(grid, QAccessible::Focus);
        moved.setChild(grid->focusedItem());
        QAccessible::updateAccessibility(&moved);
    }
}

void frmShelf::clearDetails()
{
    if (m_dragging)
        return; // the pane shows the book being dragged
    m_pane = {};
    imgBookImage->setPixmap(fitted(ImageList1::picture(5), imgBookImage->size()));
    for (QLineEdit *t : {txtTitle, txtAuthor, txtFormat})
        t->clear();
    txtTitle->setToolTip(QString());
}

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
    m_model.dropFiles(shelfSlot, pasted.paths, pasted.cut);
    // What was cut is moved once: gone from where it was, it leaves the clipboard; a move
    // declined or failed keeps it there for another try.
    if (pasted.cut
        && std::none_of(pasted.paths.begin(), pasted.paths.end(),
                        [this](const QByteArray &p) { return m_model.fileExists(p); }))
        QGuiApplication::clipboard()->clear();
}

bool frmShelf::showBook(const BookRef &book)
{
    if (!m_model.showBook(book))
        return false;
    Picture2->setFocus();
    Book_MouseMove(m_model.bookFocusSlot());
    return true;
}

void frmShelf::Book_MouseMove(int Index)
{
    const BookSlot &slot = m_model.bookSlot(Index);
    if (m_dragging || slot.file.isEmpty())
        return;
    const QString name = shownName(slot.file);
    const BookName parts = splitBookName(name);
    m_pane = {slot.shelf, slot.file};
    const QPixmap *cover = m_coverCache.object(m_model.bookPath(slot.shelf, slot.file).bytes());
    imgBookImage->setPixmap(
        fitted(cover && !cover->isNull() ? *cover : ImageList1::picture(5), imgBookImage->size()));
    txtTitle->setText(parts.title);
    txtTitle->setToolTip(asPlainText(name));
    txtAuthor->setText(shownName(slot.shelf));
    txtFormat->setText(parts.format);
    for (QLineEdit *t : {txtTitle, txtAuthor, txtFormat})
        t->setCursorPosition(0); // show the start of a long text
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

void frmShelf::showListing()
{
    const std::optional<QStringList> &names = m_model.reader().shownListing();
    // The caption says what a click does: open the listing, or close the one shown.
    File1->clear();
    File1->setVisible(names.has_value());
    Label4->setText(names ? OpenListingText : ClosedListingText);
    if (!names)
        return;
    File1->addItems(*names);
    File1->raise();
}
