// Covers in the book grid and the details pane: asked of the cover queue for each page drawn,
// kept for a while by book path, drawn as they come.
#include "bookname.h"
#include "coverqueue.h"
#include "frmshelf.h"

#include <QLineEdit>

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
    const QPixmap &shown = cover && !cover->isNull() ? *cover : ImageList1::picture(5);
    if (Book[slot]->pixmap().cacheKey() != shown.cacheKey()) // unchanged: not painted again
        Book[slot]->setPixmap(shown);
}

void frmShelf::setCovers(CoverQueue *covers)
{
    m_covers = covers;
    connect(covers, &CoverQueue::ready, this, &frmShelf::coverReady);
    connect(covers, &CoverQueue::detailsReady, this, &frmShelf::detailsReady);
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

void frmShelf::detailsReady(const QByteArray &path, const BookDetails &details)
{
    m_details.insert(path, new BookDetails(details));
    for (int i = 0; i < Bookcase::BookSlots; ++i) {
        if (m_slotPaths[size_t(i)] == path) {
            const QString tip = bookTip(path, m_model.bookSlot(i).file);
            Book[i]->setToolTip(tip);
            lblBook[i]->setToolTip(tip);
        }
    }
    showPaneDetails();
}

void frmShelf::showPaneDetails()
{
    const BookDetails *details = m_pane.file.isEmpty()
        ? nullptr
        : m_details.object(m_model.bookPath(m_pane.shelf, m_pane.file).bytes());
    // What the book says of itself, then whether it is on the reader and how far it was read.
    QString line = details ? details->summary() : QString();
    const QString reader = m_pane.file.isEmpty()
        ? QString()
        : m_onReader.value(m_model.bookPath(m_pane.shelf, m_pane.file).bytes());
    if (!reader.isEmpty())
        line += (line.isEmpty() ? QString() : QStringLiteral(" · ")) + reader;
    if (txtDetails->text() != line) {
        txtDetails->setText(line);
        txtDetails->setCursorPosition(0);
    }
    txtDetails->setToolTip(line.isEmpty() ? QString() : asPlainText(line));
}
