#include "frmshelf.h"

#include "bookdrag.h"
#include "bookname.h"
#include "coverqueue.h"
#include "widgets.h"

#include <QAccessible>
#include <QGraphicsDropShadowEffect>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QScrollBar>

namespace {

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
    QString shown = text;
    if (!fits(text)) {
        int low = 0, high = int(text.size()); // the most characters kept that still fit
        while (low < high) {
            const int kept = (low + high + 1) / 2;
            fits(middle(kept)) ? low = kept : high = kept - 1;
        }
        shown = middle(low);
    }
    if (label->text() != shown) // an unchanged label is not painted again
        label->setText(shown);
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
    // While the Main Book Folder is not there, or does not answer, a word in place of the grids.
    const bool waiting = m_model.notAnswering();
    const bool missing = m_model.libraryMissing() || waiting;
    QWidget *focus = focusWidget();
    const bool focusHidden = focus
        && (missing ? !fraMissing->isAncestorOf(focus) && (focus == Picture1 || focus == Picture2)
                    : fraMissing->isAncestorOf(focus));
    for (QWidget *w : std::initializer_list<QWidget *> {Picture1, Picture2})
        w->setVisible(!missing);
    if (missing) {
        VScroll1->hide();
        VScroll2->hide();
    }
    fraMissing->setVisible(missing);
    cmdKeepWaiting->setVisible(waiting);
    if (focusHidden) // the keys go on where the eye goes
        (missing ? (waiting ? cmdKeepWaiting
                            : fraMissing->findChild<QWidget *>(QStringLiteral("cmdFileLocations")))
                 : Picture1)
            ->setFocus();
    QString path = m_model.libraryFolder();
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    lblMissing->setText(
        waiting ? QStringLiteral("The Main Book Folder is not answering:\n%1\n\nIf it lies on a "
                                 "network share or a disk that sleeps, it may answer again. Keep "
                                 "waiting, or choose another folder.")
                      .arg(lblMissing->fontMetrics().elidedText(path, Qt::ElideMiddle, 700))
                : QStringLiteral("The Main Book Folder is not there:\n%1\n\nIf it lies on a "
                                 "disk, plug the disk in and press Refresh, or choose another "
                                 "folder.")
                      .arg(path));
    showHeading();
    if (!drawReading(Grid::Shelves))
        return;
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
    Picture1->setDropRing(lit ? slotRect(Grid::Shelves, i).adjusted(-4, -4, 4, 4) : QRect());
}

bool frmShelf::drawReading(Grid grid)
{
    if (m_model.reading(grid)) {
        if (!m_readingShown.isActive() && !lblReading[grid == Grid::Books]->isVisible())
            m_readingShown.start();
        return false;
    }
    lblReading[grid == Grid::Books]->hide();
    return true;
}

QString frmShelf::bookTip(const QByteArray &path, const QByteArray &file) const
{
    // What the book says of itself, whether it is on the reader, then its file name as the
    // grid shows it.
    const BookDetails *details = m_details.object(path);
    QString said = details ? details->tipLines() : QString();
    if (const QString reader = m_onReader.value(path); !reader.isEmpty())
        said += (said.isEmpty() ? QString() : QStringLiteral("\n")) + reader;
    return said.isEmpty() ? nameTip(file, true) : asPlainText(said) + nameTip(file, true);
}

void frmShelf::drawBooks()
{
    showHeading();
    if (!drawReading(Grid::Books))
        return;
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
        const QString tip = bookTip(m_slotPaths[size_t(i)], slot.file);
        Book[i]->setToolTip(tip);
        drawCover(i);
        Book[i]->show();
        lblBook[i]->setToolTip(tip);
        showFitted(lblBook[i], splitBookName(shownName(slot.file)).title);
        drawColour(i);
        lblBook[i]->show();
    }
    wantReaderSigns();
    drawReaderSigns();
    drawRings();
}

void frmShelf::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    if (!std::exchange(m_painted, true))
        QMetaObject::invokeMethod(this, &frmShelf::firstPainted, Qt::QueuedConnection);
}

void frmShelf::drawColour(int slot)
{
    // Only what changed is set: an unchanged label is not painted again.
    const BookSlot &book = m_model.bookSlot(slot);
    QPalette pal = lblBook[slot]->palette();
    if (pal.color(QPalette::WindowText) != markColour(book.colour)) {
        pal.setColor(QPalette::WindowText, markColour(book.colour));
        lblBook[slot]->setPalette(pal);
    }
    // White and yellow would vanish on the light background: a thin dark outline keeps them.
    const bool outlined = book.colour == 4 || book.colour == 5;
    if (outlined == bool(lblBook[slot]->graphicsEffect()))
        return;
    if (outlined) {
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
                             slotRect(grid, i)});
        } else if (grid == Grid::Books && !m_model.bookSlot(i).file.isEmpty()) {
            const BookSlot &book = m_model.bookSlot(i);
            const QString reader = onReader(i);
            items.push_back({shownName(book.file),
                             QStringLiteral("on %1").arg(shownName(book.shelf))
                                 + (book.colour ? QStringLiteral(", marked %1")
                                                      .arg(QLatin1String(ColourNames[book.colour]))
                                                : QString())
                                 + (reader.isEmpty() ? QString() : QStringLiteral(", ") + reader),
                             slotRect(grid, i)});
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

QRect frmShelf::slotRect(Grid grid, int slot) const
{
    return grid == Grid::Books ? Book[slot]->geometry().united(lblBook[slot]->geometry())
                               : imgShelf[slot]->geometry().united(lblShelf[slot]->geometry());
}

void frmShelf::drawRings()
{
    // The focused slot of each grid: a ring around its picture and label, and the item a
    // screen reader names.
    for (const Grid grid : {Grid::Shelves, Grid::Books}) {
        PictureBox *box = grid == Grid::Books ? Picture2 : Picture1;
        const int slot = m_model.pager(grid).focusSlot();
        box->setRing(slot < 0 ? QRect() : slotRect(grid, slot).adjusted(-3, -3, 3, 3));
        if (slot < 0 || !box->hasFocus())
            continue;
        emit ringMoved(box, box->ring());
        QAccessibleEvent moved(box, QAccessible::Focus);
        moved.setChild(slot);
        QAccessible::updateAccessibility(&moved);
    }
}

void frmShelf::clearDetails()
{
    if (m_dragging)
        return; // the pane shows the book being dragged
    m_pane = {};
    imgBookImage->setPixmap(fitted(ImageList1::picture(5), imgBookImage->size()));
    for (QLineEdit *t : {txtTitle, txtAuthor, txtFormat, txtDetails})
        t->clear();
    txtTitle->setToolTip(QString());
    txtDetails->setToolTip(QString());
}

void frmShelf::showBook(const BookRef &book, std::function<void(bool found)> shown)
{
    // Nothing of the shelf shown before stays in the pane; the book shows once its shelf has
    // answered.
    clearDetails();
    m_model.showBook(book, [this, shown](bool found) {
        if (found) {
            Picture2->setFocus();
            Book_MouseMove(m_model.bookFocusSlot());
        }
        if (shown)
            shown(found);
    });
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
    showPaneDetails();
}
