#pragma once
// Paints a gradient one pixel strip at a time with a cached ramp.

#include "GradientRamp.h"

#include <QColor>
#include <QRect>

#include <vector>

class QPainter;

enum class GradientDirection { Vertical, Horizontal };

ColorRef ToColorRef(const QColor& c);
QColor FromColorRef(ColorRef c);

struct TGradientStrip {
    QRect rect;
    QColor colour;
};

// The strips of r that fall inside `clip`, each one pixel high (vertical) or wide, with the
// colour the ramp over the whole of r gives it. None when r does not meet the clip.
std::vector<TGradientStrip> GradientStrips(const QRect& r, const QRect& clip, const QColor& first,
                                           const QColor& last, GradientDirection direction,
                                           RampCache& cache = SharedRampCache());

// Fills r from `first` (top row or left column) to `last` (bottom row or right column).
// Only the strips inside the painter's clip box are painted; the ramp always spans all of r.
void GradientFill(QPainter& painter, const QRect& r, const QColor& first, const QColor& last,
                  GradientDirection direction, RampCache& cache = SharedRampCache());

// The box that painting on this painter can reach, in its logical coordinates: the device,
// cut by the paint event's region and by any clip the painter has.
QRect ClipBox(const QPainter& painter);
