#include "TilePainter.h"

#include "GaugePanels.h"
#include "GradientFill.h"
#include "StoredText.h"
#include "TileContrast.h"
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

QString NetLine(int32_t litres) {
    return QStringLiteral("Net 15 ") + QChar(0x00B0) + QStringLiteral("C: ") +
           QString::number(litres) + QStringLiteral(" l.");
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
                              const TTileColors& colors, const TTileExtras& extras) const {
    canvas.save();
    const bool alarming = node.Act && !extras.alarmWord.empty() && extras.unacknowledged;
    if (alarming)
        canvas.fillRect(r, AlarmColor());
    else
        FillBackground(canvas, r, focused, colors);
    if (node.Act) {
        DrawActive(canvas, node, r, focused, colors, extras);
    } else {
        DrawInactive(canvas, node, r);
    }
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
                              const TTileColors& colors, const TTileExtras& extras) const {
    const QFont listFont = canvas.font();
    const QFontMetrics metrics(listFont);
    const int h = metrics.height();
    const int w = metrics.horizontalAdvance(QStringLiteral("Edit"));
    const int l = r.x(), t = r.y();
    // A tile with an alarm is the one that must be read at a glance: each of its texts in a
    // colour readable on its background (the focus gradient's darker end where focused).
    const bool alarmTile = !extras.alarmWord.empty();
    const bool alarming = alarmTile && extras.unacknowledged;
    const TAlarmTileText alarm = AlarmTileText(alarming  ? AlarmColor()
                                               : focused ? FocusBottomColor()
                                                         : colors.window,
                                               colors.windowText, alarming);

    canvas.setFont(Bold(listFont));
    canvas.setPen(alarmTile ? alarm.text : colors.windowText);
    NameAt(canvas, l + 150, t + 4, Right(r) - 16 - w, node);
    if (extras.freshness.stale)
        canvas.setPen(alarmTile ? alarm.dimText : InactiveTextColor());
    TextAt(canvas, l + 150, Bottom(r) - 2 * h - 5, FuelLine(node));
    TextAt(canvas, l + 150, Bottom(r) - h - 5, TempLine(node));
    if (extras.netLitres) {
        // Beside the gross litres, so that nothing the tile showed before moves.
        const int after = QFontMetrics(Bold(listFont)).horizontalAdvance(FuelLine(node));
        canvas.setFont(listFont);
        TextAt(canvas, l + 150 + after + 12, Bottom(r) - 2 * h - 5, NetLine(*extras.netLitres));
    }
    if (alarmTile)
        DrawAlarmWord(canvas, r, extras, listFont, alarm.word);
    if (extras.freshness.stale) {
        const QString note = QString::fromStdString(extras.freshness.note);
        canvas.setFont(listFont);
        canvas.setPen(alarmTile ? alarm.note : StaleNoteColor());
        TextAt(canvas, Right(r) - 16 - metrics.horizontalAdvance(note), Bottom(r) - h - 5, note);
    }

    canvas.setFont(Underlined(listFont));
    canvas.setPen(alarmTile ? alarm.link : LinkColor());
    TextAt(canvas, Right(r) - 16 - w, t + h, QStringLiteral("Edit"));

    DrawPicture(canvas, node, QPoint(l + 16, t + 3), focused);

    gauge_.Setup(SetupGauge(node.FL, node.Capacity));
    // Faded over the alarm colour, the gauge's box and text would blur into it: an alarm
    // tile says the reading is old by its note alone.
    if (extras.freshness.stale && !alarming)
        canvas.setOpacity(0.4);
    gauge_.Paint(canvas, QPoint(l + 96, t + 3), listFont,
                 alarmTile ? alarm.gaugeText : colors.windowText);
}

void TTilePainter::DrawAlarmWord(QPainter& canvas, const QRect& r, const TTileExtras& extras,
                                 const QFont& listFont, const QColor& color) const {
    // Large enough to read from across the room; right-aligned below the "Edit" link.
    QFont big = Bold(listFont);
    big.setPixelSize(std::max(18, QFontMetrics(listFont).height() * 3 / 2));
    canvas.setFont(big);
    canvas.setPen(color);
    const QString words = QString::fromStdString(extras.alarmWord);
    const QRect place(r.x() + 150, r.y() + QFontMetrics(listFont).height() + 4, r.width() - 166,
                      r.height() - QFontMetrics(listFont).height() - 8);
    canvas.drawText(place, int(Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine), words);
    if (!extras.unacknowledged)
        canvas.fillRect(QRect(r.x(), r.y(), 6, r.height()), AlarmColor());
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
