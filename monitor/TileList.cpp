#include "TileList.h"

#include "LinkHitArea.h"
#include "OperatorMessages.h"
#include "TileDelegate.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
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
    if (row >= 0)
        OpenEditorAt(row);
}

void TTileList::OpenEditorAt(int row) {
    if (row < 0 || row >= model_->TankCount())
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

void TTileList::mouseDoubleClickEvent(QMouseEvent* event) {
    const int row = indexAt(event->position().toPoint()).row();
    // The first click of a double-click on the link has opened the editor already.
    if (event->button() == Qt::LeftButton && row >= 0 &&
        LinkRowAt(ToList(event->position().toPoint())) < 0)
        OpenEditorAt(row);
    else
        QTreeView::mouseDoubleClickEvent(event);
}

void TTileList::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && event->modifiers() == Qt::NoModifier && currentIndex().isValid()) {
        OpenEditorAt(currentIndex().row());
        return;
    }
    QTreeView::keyPressEvent(event);
}

void TTileList::paintEvent(QPaintEvent* event) {
    QTreeView::paintEvent(event);
    if (model_->AnyActive())
        return;
    // Below the last tile, or from the top when there is none.
    int top = 0;
    if (const int count = model_->rowCount(); count > 0)
        top = visualRect(model_->index(count - 1)).bottom() + 1;
    const QRect room = viewport()->rect().adjusted(16, top + 16, -16, -16);
    if (room.height() <= 0)
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(room, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                     QString::fromLatin1(kMsgNoActiveTank));
}
