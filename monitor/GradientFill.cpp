#include "GradientFill.h"

#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>

ColorRef ToColorRef(const QColor& c) {
    const QColor rgb = c.toRgb();
    return MakeColorRef(rgb.red(), rgb.green(), rgb.blue());
}

QColor FromColorRef(ColorRef c) {
    return QColor(RedOf(c), GreenOf(c), BlueOf(c));
}

QRect ClipBox(const QPainter& painter) {
    const QPaintDevice* device = painter.device();
    if (!device)
        return {};
    bool invertible = false;
    const QTransform worldToLogical = painter.worldTransform().inverted(&invertible);
    QRect box(0, 0, device->width(), device->height());
    if (invertible)
        box = worldToLogical.mapRect(box);
    // The paint event's region lives in the engine's own device coordinates.
    if (const QPaintEngine* engine = painter.paintEngine()) {
        const QRegion system = engine->systemClip();
        const QTransform deviceToLogical = painter.deviceTransform().inverted(&invertible);
        if (!system.isEmpty() && invertible)
            box &= deviceToLogical.mapRect(system.boundingRect());
    }
    if (painter.hasClipping())
        box &= painter.clipBoundingRect().toAlignedRect();
    return box;
}

namespace {

// Exclusive ends, as the strip arithmetic expects.
int EndX(const QRect& r) {
    return r.x() + r.width();
}
int EndY(const QRect& r) {
    return r.y() + r.height();
}

} // namespace

std::vector<TGradientStrip> GradientStrips(const QRect& r, const QRect& clip, const QColor& first,
                                           const QColor& last, GradientDirection direction,
                                           RampCache& cache) {
    std::vector<TGradientStrip> strips;
    if (!clip.intersects(r))
        return strips;
    const bool vertical = direction == GradientDirection::Vertical;
    const StripRange range = vertical ? ComputeStripRange(r.y(), EndY(r), clip.y(), EndY(clip))
                                      : ComputeStripRange(r.x(), EndX(r), clip.x(), EndX(clip));
    if (range.Empty())
        return strips;
    const ColorRamp& ramp = cache.Get(range.length, ToColorRef(first), ToColorRef(last));
    strips.reserve(static_cast<std::size_t>(range.last - range.first + 1));
    for (int i = range.first; i <= range.last; ++i) {
        const QRect strip = vertical ? QRect(r.x(), r.y() + i, r.width(), 1)
                                     : QRect(r.x() + i, r.y(), 1, r.height());
        strips.push_back({strip, FromColorRef(ramp[i])});
    }
    return strips;
}

void GradientFill(QPainter& painter, const QRect& r, const QColor& first, const QColor& last,
                  GradientDirection direction, RampCache& cache) {
    // One solid brush per strip, only where the clip lets paint through.
    for (const TGradientStrip& strip :
         GradientStrips(r, ClipBox(painter), first, last, direction, cache))
        painter.fillRect(strip.rect, strip.colour);
}
