#include "IdleHours.h"

#include "DayNumbers.h"

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
        stillSum *= keep;
    }
    seen += 1;
    active += drawn ? 1 : 0;
    sum += litres;
    sum2 += litres * litres;
    stillSum += drawn ? 0 : litres;
}

void IdleHours::Learn(double local, double litres, bool drawn) {
    // Signed: a still hour's noise then averages out, where counting rises as nothing
    // would make every idle hour seem to give out some litres.
    week_[HourOfWeek(local)].Add(litres, drawn);
    day_[HourOfDay(local)].Add(litres, drawn);
}

bool InQuietHours(std::optional<int> from, std::optional<int> to, double local) {
    if (!from || !to || *from == *to)
        return false;
    const double minute = (local - std::floor(local)) * kMinutesPerDay;
    return *from < *to ? minute >= *from && minute < *to : minute >= *from || minute < *to;
}

const IdleHours::Bin* IdleHours::Pick(double local) const {
    const Bin& w = week_[HourOfWeek(local)];
    if (w.seen >= kWeekSeen - 1e-9)
        return &w;
    const Bin& d = day_[HourOfDay(local)];
    return d.seen >= kMinSeen - 1e-9 ? &d : nullptr;
}

bool IdleHours::Idle(double local, double daysSeen) const {
    const Bin* b = Pick(local);
    const Bin& d = day_[HourOfDay(local)];
    // Judged from few days, a busy hour now and then shows no draw in one of them: until
    // the hour of the week counts alone, every day seen must have been still, but for one
    // in a week once a week has been seen: a theft one night must not make that hour busy
    // for the next weeks, and let a theft at the same hour a week later pass by the busy
    // rules. A busy hour still on six days of seven is far rarer than one theft.
    const double allowed =
        b == &d ? std::max(0.5, kDayTheftShare * d.seen) : kActiveShare * (b ? b->seen : 0);
    if (!b || b->active > allowed + 1e-9 || (b == &d && d.seen < daysSeen - 1e-9))
        return false;
    // A closed day: the hour of the week and those around it long still, but for one week
    // in about seven (a theft), whatever the other days do.
    auto weekStill = [this](double at) {
        const Bin& w = week_[HourOfWeek(at)];
        return w.seen >= kKeepWeeks - 1e-9 && w.active <= kDayTheftShare * w.seen + 1e-9;
    };
    if (b != &d && Run(local, weekStill) >= kBreakRun)
        return true;
    // Else a few weeks of a busy hour of the week pass without a draw now and then: the same
    // hour of every day must be quiet at least half the time too. And a still hour or two
    // between busy ones are far likelier busy hours whose few trucks came elsewhere those
    // days than a break (a year has hundreds of busy hours): only hours among three or more
    // not busy are idle.
    if (b != &d && d.active > kDayActiveShare * d.seen + 1e-9)
        return false;
    return Run(local, [this](double at) { return !DayBusy(at); }) >= kBreakRun;
}

template <class Still> int IdleHours::Run(double local, Still still) const {
    if (!still(local))
        return 0;
    int run = 1;
    for (int side : {-1, 1})
        for (int k = 1; k < kBreakRun && still(local + side * k / 24.0); ++k)
            ++run;
    return run;
}

bool IdleHours::DayBusy(double local) const {
    const Bin& d = day_[HourOfDay(local)];
    // drawn from on most days: a night's theft does not make an hour busy
    return d.seen >= kMinSeen - 1e-9 && d.active > kDayActiveShare * d.seen + 1e-9;
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
    const double mean = std::max(0.0, b->sum / b->seen);
    const Bin& d = day_[HourOfDay(local)];
    double sd = spread(*b);
    if (d.seen >= kMinSeen - 1e-9)
        sd = std::max(sd, spread(d));
    // Two or three days give a mean and spread too loose to set how much more than normal
    // a busy hour's fall must be: such an hour is judged as one not learned yet.
    const bool enough = b != &d || d.seen >= kDrawSeen - 1e-9;
    const double still = b->seen - b->active;
    return {mean, std::max(sd, std::sqrt(mean * typicalDraw)), enough,
            still > 0.5 ? std::max(0.0, b->stillSum / still) : 0.0};
}
