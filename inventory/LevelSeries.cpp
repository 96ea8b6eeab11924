#include "LevelSeries.h"

#include <algorithm>
#include <cmath>

namespace {

// Timestamps carry milliseconds; comparing whole milliseconds keeps "exactly 120 s later"
// exact whatever rounding the day-number arithmetic left behind.
int64_t Ms(double dayNumber) {
    return std::llround(dayNumber * kMsPerDay);
}

constexpr int64_t k120s = 120000;
constexpr int64_t k240s = 240000;

struct Builder {
    std::vector<LevelPoint>& out;
    void Reading(const fdata& s) { out.push_back({s.x, s.y, PointKind::Normal, true}); }
    void Add(double x, int32_t y) { out.push_back({x, y, PointKind::Normal}); }
    void Red(double x, int32_t y) { out.push_back({x, y, PointKind::Red}); }
    void Gap(double x, int32_t y) { out.push_back({x, y, PointKind::Gap}); }
};

void StartRule(Builder& b, const fdata& first, double S) {
    if (Ms(S) + k120s > Ms(first.x)) {
        b.Reading(first);
        return;
    }
    b.Add(S, 0);
    b.Red(first.x, 0);
    b.Gap(first.x, 0);
}

void GapRule(Builder& b, const fdata& prev, const fdata& cur) {
    if (Ms(prev.x) + k240s >= Ms(cur.x)) {
        b.Reading(cur);
        return;
    }
    b.Gap(prev.x, 0);
    b.Red(prev.x, 0);
    b.Red(cur.x, 0);
    b.Gap(cur.x, 0);
}

void EndRule(Builder& b, const fdata& last, double E) {
    if (Ms(last.x) > Ms(E) - k120s) {
        b.Reading(last);
        return;
    }
    b.Gap(last.x, 0);
    b.Add(last.x, 0);
    b.Red(E, 0);
}

} // namespace

std::vector<LevelPoint> BuildLevelSeries(const std::vector<fdata>& s, double S, double E) {
    std::vector<LevelPoint> points;
    BuildLevelSeries(s, S, E, points);
    return points;
}

void BuildLevelSeries(const std::vector<fdata>& s, double S, double E,
                      std::vector<LevelPoint>& points) {
    points.clear();
    const std::size_t n = s.size();
    if (n == 0)
        return;
    points.reserve(n + 8);
    Builder b{points};
    StartRule(b, s[0], S);
    for (std::size_t i = 1; i + 1 < n; ++i)
        GapRule(b, s[i - 1], s[i]);
    EndRule(b, s[n - 1], E);
}

void SortForDrawing(std::vector<LevelPoint>& points) {
    auto byX = [](const LevelPoint& a, const LevelPoint& b) { return a.x < b.x; };
    if (!std::is_sorted(points.begin(), points.end(), byX))
        std::stable_sort(points.begin(), points.end(), byX);
}

LevelPicture DrawLevelPicture(const std::vector<LevelPoint>& p) {
    LevelPicture picture;
    ForEachDrawnPart(
        p,
        [&](double x, double y) {
            picture.line.push_back({x, y});
        },
        [&](double from, double to) {
            picture.silences.push_back({from, to});
        });
    return picture;
}
