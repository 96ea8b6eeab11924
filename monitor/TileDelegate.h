#pragma once
// Paints and measures the tiles of the tile list. The focused tile is the view's current
// row; the toolkit's own selection and focus marks are never drawn.

#include "TilePainter.h"

#include <QAbstractItemDelegate>

#include <functional>

class TTileDelegate : public QAbstractItemDelegate {
    Q_OBJECT
public:
    TTileDelegate(TGaugePanels& gauge, TTilePictures& pictures, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The tile's own rectangle inside its row: the row minus the grid line at its bottom.
    static QRect TileRect(const QRect& row);

    // Whether a tile's reading is shown as live; none: every reading is.
    std::function<TTileFreshness(const TItemNode&)> freshness;

private:
    TTilePainter painter_;
};
