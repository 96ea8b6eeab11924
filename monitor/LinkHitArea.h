#pragma once
// Where a click or the mouse counts as being on a tile's "Edit" link. The area is fixed
// relative to the list's right edge and the tile's top; it does not follow the drawn text.

struct TLinkHitQuery {
    int listWidth = 0;      // W, the whole list control
    int scrollBarWidth = 0; // S, 0 when no vertical scroll bar shows
    int tileTop = 0;        // T, in list coordinates
    bool active = false;    // the tank's Act
    int x = 0, y = 0;       // the mouse, in list coordinates
};

// W - 41 - S < x < W - 16 - S, and T + 16 < y < T + 29 (active) or T + 3 < y < T + 16.
bool InLinkHitArea(const TLinkHitQuery& q);

// S: the scroll bar's width when the content is taller than the list, otherwise 0.
int ScrollBarAllowance(int contentHeight, int listHeight, int scrollBarExtent);
