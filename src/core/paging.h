#pragma once

// Paging arithmetic of the two grids: a page of `rows` rows of `perRow` slots, paged one row
// at a time by a scroll bar whose positions start at 1.
struct GridShape
{
    int perRow;
    int rows;
    constexpr int slotCount() const { return perRow * rows; }
};

inline constexpr GridShape ShelfGrid {4, 7};
inline constexpr GridShape BookGrid {5, 4};

// The scroll bar is shown once the list fills the page (and then has at least one position).
inline bool scrollBarShown(GridShape g, int count)
{
    return count >= g.slotCount();
}

// Last position: the one that shows the last `rows` rows.
inline int scrollMaximum(GridShape g, int count)
{
    const int rowCount = count / g.perRow + (count % g.perRow > 0 ? 1 : 0);
    return rowCount - (g.rows - 1);
}

// Index into the list shown by slot `slot` when the bar stands at `position`.
inline int listIndex(GridShape g, int position, int slot)
{
    return (position - 1) * g.perRow + slot;
}
