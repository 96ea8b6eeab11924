#pragma once
// The simulated tanks behind the sensors: fuel that is drawn off slowly, deliveries now
// and then, and a temperature that drifts. Time is given by the caller, in seconds.

#include "Frames.h"
#include "SimOptions.h"

#include <array>
#include <cstdint>
#include <random>

class SensorBank {
public:
    static constexpr double kFullCode = 3900;
    static constexpr double kLowCode = 300;         // a tank this low is refilled
    static constexpr double kDeliveryPerHour = 0.5; // chance of a top-up per hour

    // A fall of 0 holds every reading still, for tests that predict values.
    SensorBank(uint32_t seed, double fallPerMinute);

    // Moves every tank on to `seconds` since the start; earlier times change nothing.
    void AdvanceTo(double seconds);
    Frames::DataReading Reading(int address) const;
    int Refills(int address) const { return tanks_.at(address).refills; }

private:
    struct Tank {
        double code = 0;
        double fallPerSecond = 0;
        double baseTemp = 0;
        double phase = 0;
        int refills = 0;
    };
    std::mt19937 rng_;
    std::array<Tank, kLastAddress + 1> tanks_{};
    double now_ = 0;
    bool still_; // no fall, no drift: every reading holds
    double Uniform(double from, double to);
    void Step(Tank& t, double dt);
};
