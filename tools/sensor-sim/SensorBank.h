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

    // The tank behind `address` holds `code` now and its sensor reads `temp`.
    void StartAt(int address, double code, int temp);

    // Plays the given scenarios from `startSeconds` on.
    void SetScenarios(ScenarioSet scenarios, double startSeconds);

    // Moves every tank on to `seconds` since the start; earlier times change nothing.
    void AdvanceTo(double seconds);
    // A sensor whose scenario has it silent just now.
    bool DroppedOut(int address) const;
    Frames::DataReading Reading(int address);
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
    ScenarioSet scenarios_;
    double scenarioStart_ = 0;
    // The share of [from, to] that falls in the scenario window [start + after, + length].
    double Overlap(double from, double to, double after, double length) const;
    bool Playing(Scenario s) const { return scenarios_.test(static_cast<std::size_t>(s)); }
    double Uniform(double from, double to);
    void Step(Tank& t, double dt);
};
