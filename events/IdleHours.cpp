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
    if (w.seen >= kMinSeen - 1e-9)
        return &w;
    const Bin& d = day_[HourOfDay(local)];
    return d.seen >= kMinSeen - 1e-9 ? &d : nullptr;
}

bool IdleHours::Idle(double local) const {
    const Bin* b = Pick(local);
    return b && b->active <= kActiveShare * b->seen + 1e-9;
}

HourDraw IdleHours::Draw(double local) const {
    const Bin* b = Pick(local);
    if (!b)
        return {};
    const double mean = b->sum / b->seen;
    return {mean, std::sqrt(std::max(0.0, b->sum2 / b->seen - mean * mean))};
}
