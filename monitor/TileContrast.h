#pragma once
// Text colours that stay readable on the tile they are painted on: the contrast ratio of
// two colours as WCAG 2 defines it, and the nearest colour to a wished one that reaches a
// ratio on a given background. The alarm tiles take every text colour from here.

#include <QColor>

// The WCAG AA minimum for normal text.
constexpr double kReadableContrast = 4.5;

// The relative luminance of an opaque colour, 0 (black) .. 1 (white).
double RelativeLuminance(const QColor& c);
// (lighter + 0.05) / (darker + 0.05): 1 for equal colours, 21 for black on white.
double ContrastRatio(const QColor& a, const QColor& b);

// `wished` itself when it reaches `ratio` on `background`; otherwise `wished` moved towards
// black or white (whichever the background lets go further) just far enough to reach it.
QColor ReadableOn(const QColor& wished, const QColor& background, double ratio = kReadableContrast);

// Every colour of text on a tile with an alarm, each readable on what it is drawn on.
struct TAlarmTileText {
    QColor text;      // name, fuel, temperature, net litres, the "Edit" link
    QColor dimText;   // fuel and temperature of a reading that is too old
    QColor note;      // "no reading for 7 min"
    QColor word;      // LOW, HIGH, NO SIGNAL, LOSS
    QColor link;      // "Edit"
    QColor gaugeText; // the percentage on the gauge's white box or its fill
};

// The colours for a tile whose background is `background` (the alarm colour while the alarm
// waits for acknowledgement, else the window or focus colour), wishing for `windowText` on
// the window, white on the alarm colour, and the usual colours of dimmed text and notes.
TAlarmTileText AlarmTileText(const QColor& background, const QColor& windowText, bool alarming);
