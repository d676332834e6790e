#include "widgets.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

ClickLabel::ClickLabel(QWidget *parent)
    : QLabel(parent)
{
    setMouseTracking(true);
}

void ClickLabel::mousePressEvent(QMouseEvent *event)
{
    m_leftDown = event->button() == Qt::LeftButton;
    event->accept();
    emit pressed(event->button());
}

void ClickLabel::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
}

void ClickLabel::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    const bool click = m_leftDown && event->button() == Qt::LeftButton
        && rect().contains(event->position().toPoint());
    m_leftDown = false;
    if (click)
        emit clicked();
}

void ClickLabel::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
    emit moved();
}

void ClickLabel::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    if (!hasFocus() || focusPolicy() == Qt::NoFocus)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 4, 4);
}

void ClickLabel::dragEnterEvent(QDragEnterEvent *event)
{
    if (acceptsDrop && acceptsDrop(event)) {
        event->acceptProposedAction();
        emit dragHovered(true);
    } else {
        event->ignore();
    }
}

void ClickLabel::dragLeaveEvent(QDragLeaveEvent *event)
{
    QLabel::dragLeaveEvent(event);
    emit dragHovered(false);
}

void ClickLabel::dragMoveEvent(QDragMoveEvent *event)
{
    if (acceptsDrop && acceptsDrop(event))
        event->acceptProposedAction();
    else
        event->ignore();
}

void ClickLabel::dropEvent(QDropEvent *event)
{
    emit dragHovered(false);
    if (!acceptsDrop || !acceptsDrop(event)) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit dropped(event->mimeData());
}

bool AccessKeyButton::event(QEvent *event)
{
    if (event->type() == QEvent::Shortcut) {
        animateClick();
        return true;
    }
    return QPushButton::event(event);
}

PictureBox::PictureBox(QWidget *parent)
    : QFrame(parent)
{
    setMouseTracking(true);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(216, 208, 200));
    setPalette(pal);
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
}

void PictureBox::setRing(const QRect &ring)
{
    // Only where the ring was and where it goes is painted again, not the whole grid.
    if (ring != m_ring) {
        update(m_ring.adjusted(-2, -2, 2, 2));
        m_ring = ring;
        update(m_ring.adjusted(-2, -2, 2, 2));
    }
}

void PictureBox::setDropRing(const QRect &ring)
{
    if (ring != m_dropRing) {
        update(m_dropRing.adjusted(-2, -2, 2, 2));
        m_dropRing = ring;
        update(m_dropRing.adjusted(-2, -2, 2, 2));
    }
}

void PictureBox::keyPressEvent(QKeyEvent *event)
{
    if (!onKey || !onKey(event))
        QFrame::keyPressEvent(event);
}

void PictureBox::focusInEvent(QFocusEvent *event)
{
    QFrame::focusInEvent(event);
    update(); // the ring shows only while the grid has the focus
}

void PictureBox::focusOutEvent(QFocusEvent *event)
{
    QFrame::focusOutEvent(event);
    update();
}

void PictureBox::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ringColour = palette().color(QPalette::Highlight);
    if (!m_dropRing.isNull()) { // the drop target: filled, so it differs from the focus ring
        QColor fill = ringColour;
        fill.setAlpha(60);
        painter.setPen(QPen(ringColour, 3));
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(m_dropRing).adjusted(1.5, 1.5, -1.5, -1.5), 5, 5);
        painter.setBrush(Qt::NoBrush);
    }
    if (!hasFocus() || m_ring.isNull())
        return;
    painter.setPen(QPen(ringColour, 2));
    painter.drawRoundedRect(QRectF(m_ring).adjusted(1, 1, -1, -1), 4, 4);
}

void PictureBox::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
    emit moved();
}

void PictureBox::wheelEvent(QWheelEvent *event)
{
    // A notch is 120 eighths of a degree; fine-grained wheels add up to one.
    m_wheelAngle += event->angleDelta().y();
    while (m_wheelAngle >= 120) {
        m_wheelAngle -= 120;
        emit wheelStep(-1);
    }
    while (m_wheelAngle <= -120) {
        m_wheelAngle += 120;
        emit wheelStep(1);
    }
    event->accept();
}

QColor markColour(int number)
{
    static const QColor colours[]
        = {QColor(0, 0, 0),       QColor(0, 255, 0),   QColor(0, 0, 255), QColor(255, 0, 255),
           QColor(255, 255, 255), QColor(255, 255, 0), QColor(255, 0, 0)};
    return number >= 1 && number <= 6 ? colours[number] : colours[0];
}

namespace ImageList1 {

QPixmap load(int position);

QString path(int position)
{
    static const char *const names[] = {"icon", "reader", "shelf", "shelf_current", "book"};
    if (position < 1 || position > 5)
        return {};
    return QStringLiteral(":/images/%1.png").arg(QLatin1String(names[position - 1]));
}

QPixmap picture(int position)
{
    // Made once: each slot of a page shows the same picture, unchanged.
    static QPixmap made[2][6];
    const bool big = qApp && qApp->devicePixelRatio() > 1.0;
    QPixmap &kept = made[big][qBound(0, position, 5)];
    if (kept.isNull())
        kept = load(position);
    return kept;
}

QPixmap load(int position)
{
    // On a high-DPI screen the double-size drawing keeps the picture sharp.
    if (qApp && qApp->devicePixelRatio() > 1.0) {
        QString big = path(position);
        big.insert(big.size() - 4, QStringLiteral("@2x"));
        QPixmap pixmap(big);
        if (!pixmap.isNull()) {
            pixmap.setDevicePixelRatio(2.0);
            return pixmap;
        }
    }
    return QPixmap(path(position));
}

} // namespace ImageList1

FormDialog::FormDialog(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{ }

void FormDialog::showModal()
{
    // exec() makes a window modal only as it shows it: one already open from the menu, not
    // modal, is hidden first (its contents stay as they are) and so shown again modally.
    if (isVisible() && !isModal())
        hide();
    exec();
}

void FormDialog::showNonModal()
{
    if (!isVisible()) {
        setWindowModality(Qt::NonModal);
        show();
    }
    raise();
    activateWindow();
}

void FormDialog::closeEvent(QCloseEvent *event)
{
    event->ignore();
}

void FormDialog::reject()
{
    escapePressed();
}
