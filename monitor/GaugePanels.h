#pragma once
// The fill gauge painted into every active tile: a white box with a border (GaugePanel)
// and a coloured fill aligned to its bottom (FillPanel). One pair serves all tiles; it is
// reconfigured before each tile is painted and so holds the values of the tile painted last.

#include "GaugeSetup.h"

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QString>

class QFont;
class QPainter;

class TGaugePanels {
public:
    static QColor BoxColor() { return QColor(255, 255, 255); }
    static QColor FillColor() { return QColor(166, 202, 240); }
    static QColor BorderColor() { return QColor(128, 128, 128); }
    static constexpr int kBorder = 1;

    // Sets the fill height and both captions.
    void Setup(const TGaugeSetup& setup);
    // Paints the box with its fill, top-left corner at `topLeft`, captions in `font`.
    void Paint(QPainter& painter, QPoint topLeft, const QFont& font, const QColor& textColor) const;

    int FillHeight() const { return fillHeight_; }
    QString FillCaption() const { return fillCaption_; }
    QString GaugeCaption() const { return gaugeCaption_; }

    // Inside the border, relative to the box's top-left corner.
    static QRect ClientRect();
    // The part of the client area the fill covers, relative to the box's top-left corner.
    QRect FillRect() const;

private:
    int fillHeight_ = 0;
    QString fillCaption_;
    QString gaugeCaption_;
};
