#pragma once

#include "paging.h"

// How a key moves the keyboard's place in a grid. Here brings a place that was paged away back
// into view.
enum class FocusMove { Left, Right, Up, Down, Home, End, PageUp, PageDown, Here };

// One grid over a list of names: the row its page starts at (the scroll bar's position, from 1)
// and the keyboard's place in the list (-1 while the list is empty). Both stay in range as the
// list changes. The same rules serve the shelf grid and the book grid.
class Pager
{
public:
    explicit Pager(GridShape shape)
        : m_shape(shape)
    { }

    GridShape shape() const { return m_shape; }
    int count() const { return m_count; }
    int position() const { return m_position; }
    int focus() const { return m_focus; }
    // The last position, or 0 while the list fits on one page (the scroll bar is hidden).
    int maximum() const;
    // The list position a slot shows, or -1 when the slot is empty.
    int indexAt(int slot) const;
    // The slot that shows the focus, or -1 when the page does not.
    int focusSlot() const;

    // A list of a new length: position and focus stay where they can.
    void setCount(int count);
    // Back to the first page, the focus on the first name.
    void reset();
    // Each returns true when the page moved.
    bool scrollTo(int position);
    // Puts the focus on a list position and pages as far as needed to show it.
    bool focusOn(int index);
    // Puts the focus on a list position and leaves the page where it stands.
    void setFocus(int index);
    bool move(FocusMove move);

private:
    int clamped(int position) const;

    GridShape m_shape;
    int m_count = 0;
    int m_position = 1;
    int m_focus = -1;
};
