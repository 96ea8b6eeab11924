#include "SensorBank.h"

#include <algorithm>
#include <cmath>

SensorBank::SensorBank(uint32_t seed, double fallPerMinute)
    : rng_(seed), still_(fallPerMinute <= 0) {
    for (int a = kFirstAddress; a <= kLastAddress; ++a) {
        Tank& t = tanks_[a];
        t.code = Uniform(0.4, 0.95) * kFullCode;
        t.fallPerSecond = fallPerMinute / 60.0 * Uniform(0.5, 1.5);
        // Spread over outdoor and indoor tanks, some below freezing.
        t.baseTemp = -6 + (a * 7) % 27;
        t.phase = Uniform(0, 6.283);
    }
}

double SensorBank::Uniform(double from, double to) {
    return std::uniform_real_distribution<double>(from, to)(rng_);
}

void SensorBank::Step(Tank& t, double dt) {
    if (t.fallPerSecond <= 0)
        return; // a tank nobody draws from is never refilled either
    t.code -= t.fallPerSecond * dt;
    bool delivery = Uniform(0, 1) < kDeliveryPerHour * dt / 3600.0;
    if (t.code < kLowCode) {
        t.code = kFullCode - Uniform(0, 300);
        ++t.refills;
    } else if (delivery) {
        t.code = std::min(kFullCode, t.code + Uniform(500, 1500));
        ++t.refills;
    }
}

void SensorBank::AdvanceTo(double seconds) {
    if (seconds <= now_)
        return;
    double dt = seconds - now_;
    now_ = seconds;
    for (int a = kFirstAddress; a <= kLastAddress; ++a)
        Step(tanks_[a], dt);
}

Frames::DataReading SensorBank::Reading(int address) const {
    const Tank& t = tanks_.at(address);
    Frames::DataReading r;
    r.flc = static_cast<uint16_t>(std::lround(std::clamp(t.code, 0.0, 4095.0)));
    // A slow swing of a few degrees, about an hour long.
    double temp = t.baseTemp + (still_ ? 0 : 3 * std::sin(now_ / 600.0 + t.phase));
    r.temp = static_cast<int8_t>(std::lround(temp));
    // The sensor's second reading: its raw oscillator count, which tracks the level.
    r.flfr = static_cast<uint16_t>(20000 + 4 * r.flc);
    return r;
}
