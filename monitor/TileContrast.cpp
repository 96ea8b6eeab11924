#include "TileContrast.h"

#include "GaugePanels.h"
#include "TilePainter.h"

#include <algorithm>
#include <cmath>

namespace {

double Linear(int channel) {
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

QColor Mix(const QColor& from, const QColor& to, double t) {
    const auto mix = [t](int a, int b) { return int(std::lround(a + (b - a) * t)); };
    return QColor(mix(from.red(), to.red()), mix(from.green(), to.green()),
                  mix(from.blue(), to.blue()));
}

} // namespace

double RelativeLuminance(const QColor& c) {
    const QColor rgb = c.toRgb();
    return 0.2126 * Linear(rgb.red()) + 0.7152 * Linear(rgb.green()) + 0.0722 * Linear(rgb.blue());
}

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = RelativeLuminance(a), lb = RelativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ReadableOn(const QColor& wished, const QColor& background, double ratio) {
    if (ContrastRatio(wished, background) >= ratio)
        return wished;
    const QColor target =
        ContrastRatio(Qt::black, background) >= ContrastRatio(Qt::white, background)
            ? QColor(Qt::black)
            : QColor(Qt::white);
    // The smallest step towards the target that reaches the ratio; the target itself when
    // nothing short of it does.
    for (int step = 1; step < 20; ++step) {
        const QColor c = Mix(wished.toRgb(), target, step / 20.0);
        if (ContrastRatio(c, background) >= ratio)
            return c;
    }
    return target;
}

TAlarmTileText AlarmTileText(const QColor& background, const QColor& windowText, bool alarming) {
    TAlarmTileText t;
    t.text = ReadableOn(alarming ? QColor(Qt::white) : windowText, background);
    t.dimText = ReadableOn(InactiveTextColor(), background);
    t.note = alarming ? t.text : ReadableOn(StaleNoteColor(), background);
    t.word = alarming ? t.text : ReadableOn(AlarmColor(), background);
    // Blue on the alarm colour cannot be read; the link takes the tile's text colour there.
    t.link = alarming ? t.text : ReadableOn(LinkColor(), background);
    // The gauge keeps its own white box and light fill on every tile; the fill is the darker.
    t.gaugeText = ReadableOn(windowText, TGaugePanels::FillColor());
    return t;
}
