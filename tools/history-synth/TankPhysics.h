#pragma once
// One tank's readings made from the physics of a depot, for the detection benchmarks and
// tests: net litres at 15 °C drawn off by trucks that fill 40-80 l in 2-4 minutes at random
// in the busy hours, deliveries that slosh as they end, thefts at a given pace, a steady
// leak; the fuel warming by day and cooling by night; a sensor that reads the gross litres
// with Gaussian noise through 12-bit codes and whole degrees, with spikes and silences.
// What each event truly moved is known.

#include "EventTables.h"

#include <cstdint>
#include <functional>
#include <vector>

struct PhysicsTank {
    int adr = 1;
    int32_t capacity = 20000;
    double density = 840;                // diesel
    double startNet = 12000;             // litres at 15 °C
    double noise = 20;                   // σ of one reading, litres
    double tempMean = 15, tempSwing = 7; // °C; warmest at 15:00 local
    double spikeEvery = 500;             // one reading in this many is off by up to ±5 %
    int busyFrom = 6, busyTo = 22;       // local hours of truck fills
    double fillsPerHour = 2;
    double leakPerHour = 0;
};

// A delivery (litres > 0) or a theft (litres < 0) at `perMinute` litres a minute.
struct PhysicsEvent {
    double utcStart = 0;
    double litres = 0;
    double perMinute = 200;
    double Minutes() const;
};

struct PhysicsPlan {
    PhysicsTank tank;
    std::vector<PhysicsEvent> events;
    std::vector<std::pair<double, double>> silences; // [from, to) UTC without readings
    double utcFrom = 0;
    double days = 1;
    double localOffset = 0; // local minus UTC, days
    uint32_t seed = 1;
};

// Calls `row` for each reading (one a minute), in time order.
void SynthesizePhysics(const PhysicsPlan& plan, const std::function<void(const DataRow&)>& row);
