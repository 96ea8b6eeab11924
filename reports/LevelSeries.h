#pragma once
// The level line of a report as points: samples become normal, red and gap points by the
// start, gap and end rules; the points are then split into the blue and the red polylines
// that the chart draws. Plain code, no Qt.

#include <cstdint>
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
    bool operator==(const LevelPoint&) const = default;
};

// Seconds as a fraction of a day.
inline constexpr double Seconds(double s) {
    return s / 86400.0;
}

// The points of Series1 for the samples (in the order the rows came) over the period S..E.
// Empty when there is no sample.
std::vector<LevelPoint> BuildLevelSeries(const std::vector<fdata>& samples, double S, double E);

// Orders points by x; points with equal x keep the order they were added in.
void SortForDrawing(std::vector<LevelPoint>& points);

// A polyline vertex; y is NaN where the line breaks.
struct LineVertex {
    double x;
    double y;
};

struct ColouredLines {
    std::vector<LineVertex> blue; // segments whose later point is a normal point
    std::vector<LineVertex> red;  // segments whose later point is red
};

// Applies the drawing rule to points in drawing order: each segment in the colour of its
// later point, no segment touching a gap point.
ColouredLines SplitByColour(const std::vector<LevelPoint>& sorted);
