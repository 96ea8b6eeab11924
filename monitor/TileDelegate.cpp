#include "TileDelegate.h"

#include "TileModel.h"

#include <QAbstractItemView>
#include <QPainter>

TTileDelegate::TTileDelegate(TGaugePanels& gauge, TTilePictures& pictures, QObject* parent)
    : QAbstractItemDelegate(parent), painter_(gauge, pictures) {}

QRect TTileDelegate::TileRect(const QRect& row) {
    return row.adjusted(0, 0, 0, -1);
}

namespace {

const TItemNode* NodeOf(const QModelIndex& index) {
    const auto* model = qobject_cast<const TTileModel*>(index.model());
    return model ? model->NodeAt(index) : nullptr;
}

bool IsFocused(const QStyleOptionViewItem& option, const QModelIndex& index) {
    const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
    return view && view->currentIndex() == index;
}

} // namespace

void TTileDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    const TItemNode* node = NodeOf(index);
    if (!node)
        return;
    painter->save();
    painter->setFont(option.font);
    const QRect tile = TileRect(option.rect);
    const TTileColors colors{option.palette.color(QPalette::Base),
                             option.palette.color(QPalette::Text)};
    TTileExtras extras;
    if (const auto* model = qobject_cast<const TTileModel*>(index.model()))
        extras = model->Extras(node->id);
    painter_.VTDrawNode(*painter, *node, tile, IsFocused(option, index), colors, extras);
    const int gridY = option.rect.y() + option.rect.height() - 1;
    painter->fillRect(QRect(option.rect.x(), gridY, option.rect.width(), 1), TileLineColor());
    painter->restore();
}

QSize TTileDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const TItemNode* node = NodeOf(index);
    return QSize(option.rect.width(), node ? VTMeasureItem(*node) : kInactiveTileHeight);
}
