#include "TileList.h"

#include "LinkHitArea.h"
#include "OperatorMessages.h"
#include "TileDelegate.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>

TTileList::TTileList(TGaugePanels& gauge, OperatorMessages& messages, QWidget* parent)
    : QTreeView(parent), messages_(messages), model_(new TTileModel(this)),
      delegate_(new TTileDelegate(gauge, pictures_, this)) {
    setModel(model_);
    setItemDelegate(delegate_);
    setHeaderHidden(true);
    header()->setStretchLastSection(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setIndentation(0);
    setUniformRowHeights(false);
    setFrameShape(QFrame::NoFrame);
    setSelectionMode(QAbstractItemView::NoSelection);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAllColumnsShowFocus(false);
    viewport()->setMouseTracking(true);
}

void TTileList::SetFreshness(std::function<TTileFreshness(const TItemNode&)> judge) {
    delegate_->freshness = std::move(judge);
    viewport()->update();
}

QPoint TTileList::ToList(QPoint viewportPos) const {
    return viewport()->mapTo(this, viewportPos);
}

QPoint TTileList::ToViewport(QPoint listPos) const {
    return viewport()->mapFrom(this, listPos);
}

int TTileList::HitAreaScrollBarWidth() const {
    const QScrollBar* bar = verticalScrollBar();
    const int contentHeight = bar->maximum() + viewport()->height();
    const int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, bar);
    return ScrollBarAllowance(contentHeight, height(), extent);
}

int TTileList::LinkRowAt(QPoint listPos) const {
    const QPoint at = ToViewport(listPos);
    const QModelIndex index = indexAt(at);
    const TItemNode* node = model_->NodeAt(index);
    if (!node)
        return -1;
    TLinkHitQuery q;
    q.listWidth = width();
    q.scrollBarWidth = HitAreaScrollBarWidth();
    q.tileTop = ToList(visualRect(index).topLeft()).y();
    q.active = node->Act;
    q.x = listPos.x();
    q.y = listPos.y();
    return InLinkHitArea(q) ? index.row() : -1;
}

void TTileList::VTGetCursor(QPoint listPos) {
    if (!model_->NodeAt(indexAt(ToViewport(listPos))))
        return;
    if (LinkRowAt(listPos) >= 0)
        viewport()->setCursor(Qt::PointingHandCursor);
    else
        viewport()->unsetCursor();
}

void TTileList::VTClick(QPoint listPos) {
    const int row = LinkRowAt(listPos);
    if (row < 0)
        return;
    Guarded(messages_, [&] {
        if (opener_ && opener_(model_->Tank(row)))
            model_->ResetTank(row);
    });
}

void TTileList::mouseMoveEvent(QMouseEvent* event) {
    VTGetCursor(ToList(event->position().toPoint()));
    QTreeView::mouseMoveEvent(event);
}

void TTileList::mousePressEvent(QMouseEvent* event) {
    pressedRow_ = indexAt(event->position().toPoint()).row();
    QTreeView::mousePressEvent(event);
}

void TTileList::mouseReleaseEvent(QMouseEvent* event) {
    QTreeView::mouseReleaseEvent(event);
    const QPoint at = event->position().toPoint();
    const bool click =
        event->button() == Qt::LeftButton && pressedRow_ >= 0 && indexAt(at).row() == pressedRow_;
    pressedRow_ = -1;
    if (click)
        VTClick(ToList(at));
}
