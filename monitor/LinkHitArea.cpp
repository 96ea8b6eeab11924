#include "LinkHitArea.h"

bool InLinkHitArea(const TLinkHitQuery& q) {
    const int right = q.listWidth - q.scrollBarWidth;
    if (!(right - 41 < q.x && q.x < right - 16))
        return false;
    const int top = q.tileTop + (q.active ? 16 : 3);
    const int bottom = q.tileTop + (q.active ? 29 : 16);
    return top < q.y && q.y < bottom;
}

int ScrollBarAllowance(int contentHeight, int listHeight, int scrollBarExtent) {
    return contentHeight > listHeight ? scrollBarExtent : 0;
}
