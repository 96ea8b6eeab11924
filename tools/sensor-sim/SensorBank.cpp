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

namespace {
// Where each scenario plays: its tank, its delay after the scenario start, its length (s).
constexpr int kDeliveryTank = 1, kTheftTank = 2, kDropoutTank = 4, kCoolTank = 5, kNoiseTank = 6;
constexpr double kDeliveryCodes = 1500, kDeliveryS = 600;
constexpr double kTheftCodes = 300, kTheftAfterS = 60, kTheftS = 300;
constexpr double kDropoutAfterS = 120, kDropoutS = 300;
constexpr double kCoolDegrees = 15, kCoolS = 1200;
constexpr double kShrinkPerDegree = 0.0009; // kerosene-like
constexpr double kNoiseCodes = 0.005 * 4095;
} // namespace

void SensorBank::StartAt(int address, double code, int temp) {
    Tank& t = tanks_.at(address);
    t.code = code;
    // Reading() adds the slow swing to the base: the first reading shows `temp` itself.
    t.baseTemp = temp - (still_ ? 0 : 3 * std::sin(now_ / 600.0 + t.phase));
}

void SensorBank::SetScenarios(ScenarioSet scenarios, double startSeconds) {
    scenarios_ = scenarios;
    scenarioStart_ = startSeconds;
}

double SensorBank::Overlap(double from, double to, double after, double length) const {
    const double a = scenarioStart_ + after, b = a + length;
    return std::max(0.0, std::min(to, b) - std::max(from, a)) / length;
}

bool SensorBank::DroppedOut(int address) const {
    return Playing(Scenario::Dropout) && address == kDropoutTank &&
           Overlap(now_, now_ + 1e-9, kDropoutAfterS, kDropoutS) > 0;
}

void SensorBank::AdvanceTo(double seconds) {
    if (seconds <= now_)
        return;
    double dt = seconds - now_;
    const double from = now_;
    now_ = seconds;
    for (int a = kFirstAddress; a <= kLastAddress; ++a)
        Step(tanks_[a], dt);
    if (Playing(Scenario::Delivery)) {
        double& code = tanks_[kDeliveryTank].code;
        code = std::min(4095.0, code + kDeliveryCodes * Overlap(from, now_, 0, kDeliveryS));
    }
    if (Playing(Scenario::Theft)) {
        double& code = tanks_[kTheftTank].code;
        code = std::max(0.0, code - kTheftCodes * Overlap(from, now_, kTheftAfterS, kTheftS));
    }
    if (Playing(Scenario::CoolDown)) {
        // The same fuel takes less room when cold: the level falls with the temperature.
        Tank& t = tanks_[kCoolTank];
        const double degrees = kCoolDegrees * Overlap(from, now_, 0, kCoolS);
        t.baseTemp -= degrees;
        t.code *= 1 - kShrinkPerDegree * degrees;
    }
}

Frames::DataReading SensorBank::Reading(int address) {
    const Tank& t = tanks_.at(address);
    Frames::DataReading r;
    double code = t.code;
    if (Playing(Scenario::Noise) && address == kNoiseTank)
        code += Uniform(-kNoiseCodes, kNoiseCodes);
    r.flc = static_cast<uint16_t>(std::lround(std::clamp(code, 0.0, 4095.0)));
    // A slow swing of a few degrees, about an hour long.
    double temp = t.baseTemp + (still_ ? 0 : 3 * std::sin(now_ / 600.0 + t.phase));
    r.temp = static_cast<int8_t>(std::lround(temp));
    // The sensor's second reading: its raw oscillator count, which tracks the level.
    r.flfr = static_cast<uint16_t>(20000 + 4 * r.flc);
    return r;
}
