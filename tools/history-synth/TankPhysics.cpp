#include "TankPhysics.h"

#include "DayNumbers.h"
#include "NetVolume.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace {
constexpr double kMinute = 1.0 / kMinutesPerDay;
}

double PhysicsEvent::Minutes() const {
    return std::abs(litres) / std::max(perMinute, 1e-6);
}

void SynthesizePhysics(const PhysicsPlan& plan, const std::function<void(const DataRow&)>& row) {
    const PhysicsTank& t = plan.tank;
    std::mt19937_64 rng(plan.seed);
    std::normal_distribution<double> gauss(0, 1);
    std::uniform_real_distribution<double> unit(0, 1);
    const int64_t minutes = static_cast<int64_t>(plan.days * kMinutesPerDay);
    double net = t.startNet;
    // the truck filling now: litres left and litres a minute
    double fillLeft = 0, fillRate = 0;
    int64_t rowid = 0;
    for (int64_t m = 0; m < minutes; ++m) {
        const double utc = plan.utcFrom + m * kMinute;
        const double local = utc + plan.localOffset;
        const double hour = (local - std::floor(local)) * 24;
        if (hour >= t.busyFrom && hour < t.busyTo && fillLeft <= 0 &&
            unit(rng) < t.fillsPerHour / 60.0) {
            fillLeft = 40 + 40 * unit(rng);
            fillRate = fillLeft / (2 + 2 * unit(rng));
        }
        if (fillLeft > 0) {
            const double d = std::min(fillLeft, fillRate);
            net -= d;
            fillLeft -= d;
        }
        net -= t.leakPerHour / 60.0;
        double slosh = 0;
        for (const PhysicsEvent& e : plan.events) {
            const double since = (utc - e.utcStart) / kMinute;
            const double length = e.Minutes();
            // what flowed in the minute up to this reading, wherever in it the event began
            // or ended, so that an event of any length moves all its litres
            const double flowed = std::min(since, length) - std::max(since - 1.0, 0.0);
            if (flowed > 0)
                net += e.litres * flowed / std::max(length, 1e-9);
            if (e.litres > 0 && since >= length && since < length + 20)
                slosh += 0.004 * e.litres * std::exp(-(since - length) / 5) *
                         std::sin(2 * M_PI * (since - length) / 1.5);
        }
        net = std::clamp(net, 0.0, double(t.capacity));
        bool silent = false;
        for (const auto& [from, to] : plan.silences)
            silent = silent || (utc >= from && utc < to);
        const double temp = t.tempMean + t.tempSwing * std::cos((hour - 15.0) / 24.0 * 2 * M_PI);
        const double spikeDraw = unit(rng), spikeSize = unit(rng), noise = gauss(rng);
        if (silent)
            continue;
        const double vcf = NetVolume::Vcf(t.density, temp).value_or(1.0);
        double gross = net / vcf + slosh + t.noise * noise;
        if (spikeDraw < 1.0 / t.spikeEvery)
            gross *= 1 + (spikeSize < 0.5 ? -0.05 : 0.05);
        const int64_t code = std::clamp<int64_t>(std::llround(gross / t.capacity * 4095), 0, 4095);
        DataRow r;
        r.rowid = ++rowid;
        r.tstamp = utc;
        r.adr = t.adr;
        r.flevel = static_cast<int32_t>(std::lround(double(code) * t.capacity / 4095));
        r.temp = static_cast<int32_t>(std::lround(temp));
        row(r);
    }
}
