#include "TilePainter.h"

#include "GaugePanels.h"
#include "GradientFill.h"
#include "StoredText.h"
#include "TilePictures.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

int VTMeasureItem(const TItemNode& node) {
    return node.Act ? kActiveTileHeight : kInactiveTileHeight;
}

QString FuelLine(const TItemNode& node) {
    return QStringLiteral("Fuel:    ") + QString::number(node.FL) + QStringLiteral(" l. of ") +
           QString::number(node.Capacity) + QStringLiteral(" l. (") + QString::number(node.FLC) +
           QStringLiteral(")");
}

QString TempLine(const TItemNode& node) {
    // The degree sign is the masculine ordinal U+00BA, built from its code point so that the
    // encoding of this file cannot change it.
    return QStringLiteral("Temp: ") + QString::number(static_cast<int>(node.Temp)) +
           QLatin1Char(' ') + QChar(0x00BA) + QStringLiteral("C.");
}

namespace {

// Text at a top-left point, on a transparent background.
void TextAt(QPainter& canvas, int x, int y, const QString& text) {
    canvas.drawText(QPoint(x, y + canvas.fontMetrics().ascent()), text);
}

QFont Bold(QFont f) {
    f.setBold(true);
    return f;
}

QFont Underlined(QFont f) {
    f.setUnderline(true);
    return f;
}

int Right(const QRect& r) {
    return r.x() + r.width();
}
int Bottom(const QRect& r) {
    return r.y() + r.height();
}

// The name from x to a gap before the "Edit" link at linkLeft, cut with an ellipsis when
// longer (the tile's tooltip shows it whole). The painter holds the name's font.
void NameAt(QPainter& canvas, int x, int y, int linkLeft, const TItemNode& node) {
    constexpr int kGapBeforeLink = 8;
    const int room = std::max(0, linkLeft - kGapBeforeLink - x);
    TextAt(
        canvas, x, y,
        canvas.fontMetrics().elidedText(StoredText::FromStored(node.Name), Qt::ElideRight, room));
}

} // namespace

void TTilePainter::VTDrawNode(QPainter& canvas, const TItemNode& node, const QRect& r, bool focused,
                              const TTileColors& colors) const {
    canvas.save();
    FillBackground(canvas, r, focused, colors);
    if (node.Act)
        DrawActive(canvas, node, r, focused, colors);
    else
        DrawInactive(canvas, node, r);
    canvas.restore();
}

void TTilePainter::FillBackground(QPainter& canvas, const QRect& r, bool focused,
                                  const TTileColors& colors) const {
    if (focused)
        GradientFill(canvas, r, FocusTopColor(), FocusBottomColor(), GradientDirection::Vertical);
    else
        canvas.fillRect(r, colors.window);
}

void TTilePainter::DrawActive(QPainter& canvas, const TItemNode& node, const QRect& r, bool focused,
                              const TTileColors& colors) const {
    const QFont listFont = canvas.font();
    const QFontMetrics metrics(listFont);
    const int h = metrics.height();
    const int w = metrics.horizontalAdvance(QStringLiteral("Edit"));
    const int l = r.x(), t = r.y();

    canvas.setFont(Bold(listFont));
    canvas.setPen(colors.windowText);
    NameAt(canvas, l + 150, t + 4, Right(r) - 16 - w, node);
    TextAt(canvas, l + 150, Bottom(r) - 2 * h - 5, FuelLine(node));
    TextAt(canvas, l + 150, Bottom(r) - h - 5, TempLine(node));

    canvas.setFont(Underlined(listFont));
    canvas.setPen(LinkColor());
    TextAt(canvas, Right(r) - 16 - w, t + h, QStringLiteral("Edit"));

    DrawPicture(canvas, node, QPoint(l + 16, t + 3), focused);

    gauge_.Setup(SetupGauge(node.FL, node.Capacity));
    gauge_.Paint(canvas, QPoint(l + 96, t + 3), listFont, colors.windowText);
}

void TTilePainter::DrawInactive(QPainter& canvas, const TItemNode& node, const QRect& r) const {
    const QFont listFont = canvas.font();
    const int w = QFontMetrics(listFont).horizontalAdvance(QStringLiteral("Edit"));
    canvas.setPen(InactiveTextColor());
    canvas.setFont(Bold(listFont));
    NameAt(canvas, r.x() + 150, r.y() + 3, Right(r) - 16 - w, node);
    canvas.setFont(Underlined(listFont));
    TextAt(canvas, Right(r) - 16 - w, r.y() + 3, QStringLiteral("Edit"));
}

void TTilePainter::DrawPicture(QPainter& canvas, const TItemNode& node, QPoint at,
                               bool focused) const {
    const QImage* picture = pictures_.Picture(node);
    if (!picture)
        return; // no bytes, or bytes that are not a bitmap: the tile shows no picture
    canvas.drawImage(at, *picture);
    if (!focused)
        return;
    canvas.setPen(QPen(TileLineColor(), 2));
    canvas.setBrush(Qt::NoBrush);
    canvas.drawRect(QRect(at, picture->size()));
}
