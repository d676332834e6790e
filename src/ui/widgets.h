#pragma once

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <functional>
#include <vector>

class QMimeData;

// Twips (1/1440 inch) to pixels at 100% scale; Qt scales the pixels on high-DPI screens.
constexpr int tw(int twips)
{
    return (twips * 2 + 15) / 30;
}

// A caption label is never narrower than its text in the desktop's font.
inline QLabel *fitWidth(QLabel *label)
{
    label->resize(qMax(label->width(), label->sizeHint().width()), label->height());
    return label;
}

// A label or picture that reports presses, completed clicks and pointer moves, like the
// controls of a form: a click is a left press and release over the same control.
class ClickLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ClickLabel(QWidget *parent = nullptr);

    // Set to take drops: says which dragged data this control accepts.
    std::function<bool(const QDropEvent *)> acceptsDrop;

signals:
    void pressed(Qt::MouseButton button);
    void clicked();
    void doubleClicked();
    void moved();
    void dropped(const QMimeData *data);
    // A drag this control takes came over it (true) or left it, dropped or not (false).
    void dragHovered(bool over);

protected:
    void paintEvent(QPaintEvent *event) override; // a focus ring, where it takes the focus
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    bool m_leftDown = false;
};

// A button whose access key clicks it even when another control shares the key (the shelf
// window's Exit button and the menu bar's Exit item both answer Alt+X, and both end the program).
class AccessKeyButton : public QPushButton
{
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    bool event(QEvent *event) override;
};

// A shown slot of a grid as a screen reader sees it: its name, what else it says (shelf, mark),
// and where it lies in the grid.
struct GridItem
{
    QString name, description;
    QRect rect;
};

// Makes screen readers see each PictureBox that lists items as a list of those items.
void installGridAccessibility();

// A picture box: a plain panel with a background colour that reports pointer moves over its
// own background (not over its children). A grid of slots can take the keyboard focus: it
// hands its keys on and, while it has the focus, draws a ring around its focused slot.
class PictureBox : public QFrame
{
    Q_OBJECT
public:
    explicit PictureBox(QWidget *parent = nullptr);
    // Makes the box a grid that takes the focus and hands its keys to onKey (true: taken).
    std::function<bool(QKeyEvent *)> onKey;
    void setRing(const QRect &ring);
    QRect ring() const { return m_ring; }
    // A grid's slots for screen readers, and which of them has the focus ring (-1: none).
    std::function<std::vector<GridItem>()> items;
    std::function<int()> focusedItem;
    // Where a dragged book would land: drawn while a drag is over it, focus or not.
    void setDropRing(const QRect &ring);
    QRect dropRing() const { return m_dropRing; }

signals:
    void moved();
    // One notch of the wheel: -1 up, +1 down.
    void wheelStep(int rows);

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    int m_wheelAngle = 0;
    QRect m_ring;
    QRect m_dropRing;
};

// The text colour of a book's label for a mark colour number: black for anything but 1 to 6.
QColor markColour(int number);

// The program's five pictures, by position 1 to 5: icon, reader, shelf, current shelf, book.
namespace ImageList1 {
QPixmap picture(int position);
QString path(int position);
} // namespace ImageList1

// A window that is hidden, never destroyed, when it closes, so it keeps its contents between
// showings. It can be shown modally (the caller waits until it is hidden) or not.
class FormDialog : public QDialog
{
    Q_OBJECT
public:
    explicit FormDialog(QWidget *parent = nullptr);

    // Shows the window and waits until it is hidden. When it is already open without a modal
    // wait, the one window, with what was typed into it, is waited for.
    void showModal();
    void showNonModal();

protected:
    void closeEvent(QCloseEvent *event) override; // no close box: only its own buttons close it
    void reject() override; // Esc does what the window's cancel button does, if it has one
    virtual void escapePressed() { }
};
