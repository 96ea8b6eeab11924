#pragma once
// Measuring and painting one tank tile. Works on any painter, so a tile can be painted
// into an image and checked pixel by pixel without a window.

#include "TItemNode.h"
#include "TileFreshness.h"

#include <QColor>
#include <QRect>
#include <QString>

#include <optional>
#include <string>

class QFont;
class QPainter;
class TGaugePanels;
class TTilePictures;

constexpr int kActiveTileHeight = 71;
constexpr int kInactiveTileHeight = 20;

inline QColor TileLineColor() {
    return QColor(127, 157, 185);
}
inline QColor FocusTopColor() {
    return QColor(217, 226, 234);
}
inline QColor FocusBottomColor() {
    return QColor(183, 200, 215);
}
inline QColor InactiveTextColor() {
    return QColor(160, 160, 164);
}
inline QColor LinkColor() {
    return QColor(0, 0, 255);
}
inline QColor StaleNoteColor() {
    return QColor(176, 40, 40);
}

// The tile's height, grid line included.
int VTMeasureItem(const TItemNode& node);

QString FuelLine(const TItemNode& node);
QString TempLine(const TItemNode& node);

// The net line beside the fuel line: "Net 15 °C: %d l." (the degree sign U+00B0).
QString NetLine(int32_t litres);

inline QColor AlarmColor() {
    return QColor(204, 0, 0);
}

// What a tile shows beyond its record: its alarm (a word such as LOW, empty when none, and
// whether the operator has yet to acknowledge it) and the net litres at 15 °C where known.
struct TTileExtras {
    std::string alarmWord;
    bool unacknowledged = false;
    std::optional<int32_t> netLitres;
    TTileFreshness freshness;
};

struct TTileColors {
    QColor window;     // background of an unfocused tile
    QColor windowText; // name, fuel and temperature of an active tile
};

class TTilePainter {
public:
    TTilePainter(TGaugePanels& gauge, TTilePictures& pictures)
        : gauge_(gauge), pictures_(pictures) {}

    // Paints the whole tile into r, using the painter's font at the start as the list's font.
    // A stale reading is drawn dimmed, with its age under the "Edit" link.
    // An unacknowledged alarm paints the whole tile in the alarm colour with its word in
    // white; an acknowledged one keeps the usual background and shows the word in that colour.
    // Every text of a tile with an alarm is drawn readable on its background.
    void VTDrawNode(QPainter& canvas, const TItemNode& node, const QRect& r, bool focused,
                    const TTileColors& colors, const TTileExtras& extras = {}) const;

private:
    void FillBackground(QPainter& canvas, const QRect& r, bool focused,
                        const TTileColors& colors) const;
    void DrawActive(QPainter& canvas, const TItemNode& node, const QRect& r, bool focused,
                    const TTileColors& colors, const TTileExtras& extras) const;
    void DrawAlarmWord(QPainter& canvas, const QRect& r, const TTileExtras& extras,
                       const QFont& listFont, const QColor& color) const;
    void DrawInactive(QPainter& canvas, const TItemNode& node, const QRect& r) const;
    void DrawPicture(QPainter& canvas, const TItemNode& node, QPoint at, bool focused) const;

    TGaugePanels& gauge_;
    TTilePictures& pictures_;
};
