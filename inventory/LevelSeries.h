#pragma once
// The level line of a report as points: samples become normal, red and gap points by the
// start, gap and end rules. From the points comes what the chart shows, by the drawing rule
// (each segment takes the kind of its later point, none touches a gap point): the level
// only where a sensor reported it, the stretches without readings as bands along the time
// axis. Plain code, no Qt.

#include "DayNumbers.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

// One sample of the level: local time of the reading and litres.
struct fdata {
    double x;
    int32_t y;
};

enum class PointKind : uint8_t { Normal, Red, Gap };

// A point of Series1: a gap point is never drawn, nor is any segment touching it.
struct LevelPoint {
    double x;
    int32_t y;
    PointKind kind;
    // True for a point that carries a stored reading's level. The rules also add normal
    // points at 0 l where nothing was read (the period's start before a late first reading,
    // the last reading of a period that ends in silence): those are never drawn as a level.
    bool reading = false;
    // Equal as points of the series: place, level and colour.
    bool operator==(const LevelPoint& o) const { return x == o.x && y == o.y && kind == o.kind; }
};

// Seconds as a fraction of a day.
inline constexpr double Seconds(double s) {
    return s / kSecondsPerDay;
}

// The points of Series1 for the samples (in the order the rows came) over the period S..E.
// Empty when there is no sample.
std::vector<LevelPoint> BuildLevelSeries(const std::vector<fdata>& samples, double S, double E);
// The same into a buffer kept between reports (its capacity is reused).
void BuildLevelSeries(const std::vector<fdata>& samples, double S, double E,
                      std::vector<LevelPoint>& points);

// Orders points by x; points with equal x keep the order they were added in.
void SortForDrawing(std::vector<LevelPoint>& points);

// A polyline vertex; y is NaN where the line breaks.
struct LineVertex {
    double x;
    double y;
};

// A stretch of time in day numbers.
struct TimeSpan {
    double from;
    double to;
    bool operator==(const TimeSpan&) const = default;
};

// What the chart draws of the points in drawing order. The segments into a normal point that
// join two readings make the level line; the segments into a red point, which stand for
// time without readings and lie at a level nobody measured, become spans along the time
// axis instead.
struct LevelPicture {
    std::vector<LineVertex> line; // y NaN where the line breaks
    std::vector<TimeSpan> silences;
};
LevelPicture DrawLevelPicture(const std::vector<LevelPoint>& sorted);

// The same, handing each line vertex and each silence to a callback as it is found.
template <class Line, class Silence>
void ForEachDrawnPart(const std::vector<LevelPoint>& p, Line&& line, Silence&& silence);

// ---------------------------------------------------------------------------------------

namespace level_series_detail {
template <class Emit> struct Polyline {
    Emit& out;
    bool any = false;
    const LevelPoint* end = nullptr;
    void Segment(const LevelPoint& a, const LevelPoint& b) {
        if (end != &a) {
            if (any)
                out(a.x, std::numeric_limits<double>::quiet_NaN());
            out(a.x, static_cast<double>(a.y));
        }
        out(b.x, static_cast<double>(b.y));
        any = true;
        end = &b;
    }
};
} // namespace level_series_detail

template <class Line, class Silence>
void ForEachDrawnPart(const std::vector<LevelPoint>& p, Line&& line, Silence&& silence) {
    level_series_detail::Polyline<Line> l{line};
    for (std::size_t i = 1; i < p.size(); ++i) {
        const LevelPoint& from = p[i - 1];
        const LevelPoint& to = p[i];
        if (from.kind == PointKind::Gap || to.kind == PointKind::Gap)
            continue;
        if (to.kind == PointKind::Red)
            silence(from.x, to.x);
        else if (from.reading && to.reading)
            l.Segment(from, to);
    }
}
