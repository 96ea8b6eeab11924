#include "IdleHours.h"

#include <algorithm>
#include <cmath>

namespace {

int HourOfDay(double local) {
    const double day = std::floor(local);
    return std::clamp(static_cast<int>((local - day) * 24.0 + 1e-7), 0, 23);
}

int HourOfWeek(double local) {
    const auto day = static_cast<int64_t>(std::floor(local));
    return static_cast<int>(((day % 7) + 7) % 7) * 24 + HourOfDay(local);
}

} // namespace

void IdleHours::Bin::Add(double litres, bool drawn) {
    if (seen >= kKeepWeeks) {
        const double keep = (kKeepWeeks - 1) / kKeepWeeks;
        seen *= keep;
        active *= keep;
        sum *= keep;
        sum2 *= keep;
    }
    seen += 1;
    active += drawn ? 1 : 0;
    sum += litres;
    sum2 += litres * litres;
}

void IdleHours::Learn(double local, double litres, double activeLitres) {
    const double drawn = std::max(0.0, litres);
    const bool active = drawn > activeLitres;
    week_[HourOfWeek(local)].Add(drawn, active);
    day_[HourOfDay(local)].Add(drawn, active);
}

const IdleHours::Bin* IdleHours::Pick(double local) const {
    const Bin& w = week_[HourOfWeek(local)];
    if (w.seen >= kWeekSeen - 1e-9)
        return &w;
    const Bin& d = day_[HourOfDay(local)];
    return d.seen >= kMinSeen - 1e-9 ? &d : nullptr;
}

bool IdleHours::Idle(double local) const {
    const Bin* b = Pick(local);
    return b && b->active <= kActiveShare * b->seen + 1e-9;
}

HourDraw IdleHours::Draw(double local, double typicalDraw) const {
    const Bin* b = Pick(local);
    if (!b)
        return {};
    // A spread from few weeks is itself uncertain: the hour of the day's, taken over every
    // day, is used where larger, and draws of about `typicalDraw` litres at random times
    // give at least sqrt(mean · typicalDraw).
    auto spread = [](const Bin& x) {
        const double mean = x.sum / x.seen;
        return std::sqrt(std::max(0.0, x.sum2 / x.seen - mean * mean));
    };
    const double mean = b->sum / b->seen;
    const Bin& d = day_[HourOfDay(local)];
    double sd = spread(*b);
    if (d.seen >= kMinSeen - 1e-9)
        sd = std::max(sd, spread(d));
    return {mean, std::max(sd, std::sqrt(mean * typicalDraw)), true};
}
