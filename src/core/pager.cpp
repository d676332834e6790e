#include "pager.h"

#include <algorithm>

int Pager::clamped(int position) const
{
    // A hidden bar pages nothing, so no name is out of reach at position 1.
    return scrollBarShown(m_shape, m_count)
        ? std::clamp(position, 1, scrollMaximum(m_shape, m_count))
        : 1;
}

int Pager::maximum() const
{
    return scrollBarShown(m_shape, m_count) ? scrollMaximum(m_shape, m_count) : 0;
}

int Pager::indexAt(int slot) const
{
    const int index = listIndex(m_shape, m_position, slot);
    return slot >= 0 && slot < m_shape.slotCount() && index < m_count ? index : -1;
}

int Pager::focusSlot() const
{
    const int slot = m_focus - listIndex(m_shape, m_position, 0);
    return m_focus >= 0 && slot >= 0 && slot < m_shape.slotCount() ? slot : -1;
}

void Pager::setCount(int count)
{
    m_count = std::max(0, count);
    m_position = clamped(m_position);
    m_focus = m_count == 0 ? -1 : std::clamp(m_focus, 0, m_count - 1);
}

void Pager::reset()
{
    m_position = 1;
    m_focus = m_count == 0 ? -1 : 0;
}

bool Pager::scrollTo(int position)
{
    const int to = clamped(position);
    const bool moved = to != m_position;
    m_position = to;
    return moved;
}

void Pager::setFocus(int index)
{
    m_focus = m_count == 0 ? -1 : std::clamp(index, 0, m_count - 1);
}

bool Pager::focusOn(int index)
{
    setFocus(index);
    const int row = std::max(m_focus, 0) / m_shape.perRow, first = m_position - 1;
    if (row < first)
        return scrollTo(row + 1);
    if (row >= first + m_shape.rows)
        return scrollTo(row - m_shape.rows + 2);
    return scrollTo(m_position);
}

bool Pager::move(FocusMove move)
{
    if (m_count == 0)
        return false;
    const int perRow = m_shape.perRow;
    switch (move) {
    case FocusMove::Left:
        return focusOn(m_focus - 1);
    case FocusMove::Right:
        return focusOn(m_focus + 1);
    case FocusMove::Up:
    case FocusMove::Down: {
        // Past the first or last row the focus stays: an arrow never jumps to the other end.
        const int to = m_focus + (move == FocusMove::Up ? -perRow : perRow);
        return focusOn(to >= 0 && to < m_count ? to : m_focus);
    }
    case FocusMove::Home:
        return focusOn(0);
    case FocusMove::End:
        return focusOn(m_count - 1);
    case FocusMove::PageUp:
    case FocusMove::PageDown: {
        // The grid flips a page and the focus with it.
        const int pages = move == FocusMove::PageUp ? -1 : 1;
        const bool scrolled = scrollTo(m_position + pages * m_shape.rows);
        return focusOn(m_focus + pages * m_shape.slotCount()) || scrolled;
    }
    case FocusMove::Here:
        return focusOn(m_focus);
    }
    return false;
}
