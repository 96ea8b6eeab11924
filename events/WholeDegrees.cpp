#include "WholeDegrees.h"

#include <algorithm>
#include <cstddef>

namespace {
// A stay shorter than this between two changes across the same half degree is the sensor
// wavering about it, not a turn of the temperature.
constexpr double kMinTurnDays = 1.0 / 24;
} // namespace

std::vector<double> WholeDegreeTemps(const std::vector<double>& utc, const std::vector<int>& temp) {
    const std::size_t n = std::min(utc.size(), temp.size());
    struct Knot {
        double t, v;
    };
    std::vector<Knot> knots;
    for (std::size_t i = 1; i < n; ++i) {
        if (temp[i] == temp[i - 1])
            continue;
        const Knot k{(utc[i - 1] + utc[i]) / 2, (temp[i - 1] + temp[i]) / 2.0};
        // Back across the half degree it crossed last: a turn inside the degree held.
        if (!knots.empty() && k.v == knots.back().v && k.t - knots.back().t >= kMinTurnDays)
            knots.push_back({(knots.back().t + k.t) / 2, double(temp[i - 1])});
        knots.push_back(k);
    }
    std::vector<double> out(n);
    std::size_t k = 0;
    for (std::size_t i = 0; i < n; ++i) {
        while (k < knots.size() && knots[k].t <= utc[i])
            ++k;
        if (k == 0 || k == knots.size()) {
            out[i] = temp[i];
            continue;
        }
        const Knot& a = knots[k - 1];
        const Knot& b = knots[k];
        out[i] = b.t > a.t ? a.v + (b.v - a.v) * (utc[i] - a.t) / (b.t - a.t) : a.v;
    }
    return out;
}
