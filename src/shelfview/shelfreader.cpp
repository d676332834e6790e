// The reader device in the shelf window: its name and free space at its picture, a sign on the
// slots of the books that are on it (and how far each was read), its books' listing and the
// pop-ups of the picture and the listing.
#include "bookname.h"
#include "frmshelf.h"
#include "globalstate.h"
#include "readerdevices.h"

#include <QAccessible>
#include <QListWidget>
#include <QMenu>

namespace {

const QString ClosedListingText = QStringLiteral(
    "Drag Book Here ------------------------> to Send to your eBook Reader Content Folder. "
    "Click for list.");
const QString OpenListingText = QStringLiteral(
    "Drag Book Here ------------------------> to Send to your eBook Reader Content Folder. "
    "Click to close.");

} // namespace

void frmShelf::setReaders(Readers *readers)
{
    m_readers = readers;
    connect(readers, &Readers::changed, this, &frmShelf::readersChanged);
    readersChanged();
}

void frmShelf::readersChanged()
{
    const QString line = m_readers ? m_readers->line() : QString();
    lblReader->setText(line);
    imgToReader->setAccessibleDescription(line);
    m_onReader.clear();
    wantReaderSigns();
    drawReaderSigns(true);
    m_model.reader().readAgain(); // an open listing shows the reader as it is now
}

void frmShelf::wantReaderSigns()
{
    // A book is on the reader when a file of its name and size is: the name is known at once,
    // the sizes of the page's books that share a name with one on the reader are looked at
    // beside the window.
    if (!m_readers || m_readers->contents().books.empty())
        return;
    std::vector<QByteArray> candidates;
    for (int i = 0; i < Bookcase::BookSlots; ++i) {
        const QByteArray &path = m_slotPaths[size_t(i)];
        if (!path.isEmpty() && !m_onReader.contains(path)
            && m_readers->contents().holdsName(m_model.bookSlot(i).file))
            candidates.push_back(path);
    }
    const int asked = ++m_signsAsked;
    m_readers->whichAreOn(candidates, this, [this, asked, candidates](std::vector<QString> said) {
        if (asked != m_signsAsked)
            return;
        for (size_t i = 0; i < candidates.size(); ++i)
            m_onReader.insert(candidates[i], said[i]);
        drawReaderSigns(true);
    });
}

QString frmShelf::onReader(int slot) const
{
    return m_onReader.value(m_slotPaths[size_t(slot)]);
}

void frmShelf::drawReaderSigns(bool tips)
{
    for (int i = 0; i < Bookcase::BookSlots; ++i) {
        const bool on = !Book[i]->isHidden() && !onReader(i).isEmpty();
        imgOnReader[i]->setVisible(on);
        if (on) {
            const QRect picture = Book[i]->geometry();
            imgOnReader[i]->move(picture.right() - imgOnReader[i]->width(),
                                 picture.bottom() - imgOnReader[i]->height());
            imgOnReader[i]->raise();
        }
        if (!tips || m_model.bookSlot(i).file.isEmpty())
            continue;
        const QString tip = bookTip(m_slotPaths[size_t(i)], m_model.bookSlot(i).file);
        if (Book[i]->toolTip() != tip) {
            Book[i]->setToolTip(tip);
            lblBook[i]->setToolTip(tip);
        }
    }
    showPaneDetails();
    QAccessibleEvent changed(Picture2, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
}

void frmShelf::showListing()
{
    const std::optional<QList<QByteArray>> &paths = m_model.reader().shownListing();
    // The caption says what a click does: open the listing, or close the one shown.
    File1->clear();
    File1->setVisible(paths.has_value());
    Label4->setText(paths ? OpenListingText : ClosedListingText);
    if (!paths)
        return;
    for (const QByteArray &path : *paths) // each item carries its path's bytes
        (new QListWidgetItem(shownName(path), File1))->setData(Qt::UserRole, path);
    File1->raise();
}

void frmShelf::listingPopUp(const QPoint &at)
{
    const QListWidgetItem *item = File1->currentItem();
    if (!item)
        return;
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("mnuListingPopUp"));
    QAction *remove = menu.addAction(QStringLiteral("&Delete from Reader"));
    remove->setObjectName(QStringLiteral("mnuDeleteFromReader"));
    const QByteArray path = item->data(Qt::UserRole).toByteArray();
    if (menu.exec(at) == remove)
        m_model.reader().deleteBook(path);
}
