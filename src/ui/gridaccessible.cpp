#include "widgets.h"

#include <QAccessibleWidget>
#include <QPointer>

namespace {

class GridAccessible;

// One shown slot of a grid, as a screen reader sees it: a list item named by its file or shelf.
class GridItemAccessible : public QAccessibleInterface
{
public:
    GridItemAccessible(GridAccessible *grid, int index)
        : m_grid(grid)
        , m_index(index)
    { }
    bool isValid() const override;
    QObject *object() const override { return nullptr; }
    QWindow *window() const override;
    QAccessibleInterface *parent() const override;
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString &) override { }
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override;

private:
    GridItem item() const;
    GridAccessible *m_grid;
    int m_index;
};

// A grid of slots: a list with its own name ("Shelves", "Books") whose items are the slots it
// shows, the focused one reported as focused.
class GridAccessible : public QAccessibleWidget
{
public:
    explicit GridAccessible(PictureBox *box)
        : QAccessibleWidget(box, QAccessible::List)
    { }
    ~GridAccessible() override
    {
        for (QAccessibleInterface *item : m_items)
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(item));
    }
    PictureBox *box() const { return static_cast<PictureBox *>(widget()); }
    std::vector<GridItem> items() const
    {
        return box()->items ? box()->items() : std::vector<GridItem>();
    }
    int childCount() const override { return int(items().size()); }
    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        while (int(m_items.size()) <= index) {
            auto *item
                = new GridItemAccessible(const_cast<GridAccessible *>(this), int(m_items.size()));
            QAccessible::registerAccessibleInterface(item);
            m_items.push_back(item);
        }
        return m_items[size_t(index)];
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        const auto it = std::find(m_items.begin(), m_items.end(), child);
        return it == m_items.end() || it - m_items.begin() >= childCount()
            ? -1
            : int(it - m_items.begin());
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        const QPoint at = box()->mapFromGlobal(QPoint(x, y));
        const std::vector<GridItem> shown = items();
        for (size_t i = 0; i < shown.size(); ++i) {
            if (shown[i].rect.contains(at))
                return child(int(i));
        }
        return nullptr;
    }
    QAccessibleInterface *focusChild() const override
    {
        const int focused = box()->focusedItem ? box()->focusedItem() : -1;
        return focused >= 0 ? child(focused) : nullptr; // the ring's item, as Tab finds it
    }

private:
    mutable std::vector<QAccessibleInterface *> m_items;
};

bool GridItemAccessible::isValid() const
{
    return m_grid->isValid() && m_index < m_grid->childCount();
}

QWindow *GridItemAccessible::window() const
{
    return m_grid->window();
}

QAccessibleInterface *GridItemAccessible::parent() const
{
    return m_grid;
}

GridItem GridItemAccessible::item() const
{
    const std::vector<GridItem> shown = m_grid->items();
    return m_index < int(shown.size()) ? shown[size_t(m_index)] : GridItem();
}

QString GridItemAccessible::text(QAccessible::Text t) const
{
    return t == QAccessible::Name       ? item().name
        : t == QAccessible::Description ? item().description
                                        : QString();
}

QRect GridItemAccessible::rect() const
{
    const QRect r = item().rect;
    return QRect(m_grid->box()->mapToGlobal(r.topLeft()), r.size());
}

QAccessible::State GridItemAccessible::state() const
{
    QAccessible::State s;
    s.focusable = s.selectable = true;
    const PictureBox *box = m_grid->box();
    s.focused = s.selected = box->hasFocus() && box->focusedItem && box->focusedItem() == m_index;
    return s;
}

QAccessibleInterface *gridFactory(const QString &, QObject *object)
{
    auto *box = qobject_cast<PictureBox *>(object);
    return box && box->items ? new GridAccessible(box) : nullptr;
}

} // namespace

void installGridAccessibility()
{
    static const bool installed = (QAccessible::installFactory(gridFactory), true);
    Q_UNUSED(installed)
}
