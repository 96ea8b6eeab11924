#pragma once
// Stored readings made up for the demo, the tests and the benchmark: tanks drawn off
// slowly, warming by day and cooling by night, with deliveries, thefts and silent stretches
// placed where the caller says. What each event truly moved is known, so what the station
// finds in these readings can be checked against it.

#include "EventTables.h"

#include <cstdint>
#include <functional>
#include <vector>

class TSQLiteDatabase;

struct SynthTank {
    int adr = 1;
    int32_t capacity = 20000;
    double density = 840;    // kg/m³ at 15 °C
    double startNet = 10000; // litres at 15 °C
    double usePerHour = 0;   // drawn off steadily
    double noise = 0;        // each reading off by up to this many litres either way
    double tempMean = 12;    // °C
    double tempSwing = 0;    // half the day's range; warmest at 17:00, coldest at 05:00 local
};

// A delivery (litres > 0) or a theft (litres < 0), net at 15 °C, spread evenly over its
// minutes; optionally paused once for `pauseMinutes` after `pauseAfter` of them.
struct SynthEvent {
    int adr = 1;
    double utcStart = 0;
    double minutes = 20;
    double litres = 0;
    double pauseAfter = -1;
    double pauseMinutes = 0;
};

// No readings of a tank (adr 0: of every tank) in [utcFrom, utcTo).
struct SynthGap {
    int adr = 0;
    double utcFrom = 0, utcTo = 0;
};

struct SynthPlan {
    std::vector<SynthTank> tanks;
    std::vector<SynthEvent> events;
    std::vector<SynthGap> gaps;
    double utcFrom = 0;
    double days = 1;
    double cycleSeconds = 60; // one reading of every tank per cycle
    double localOffset = 0;   // days, local minus UTC
    uint32_t seed = 1;
};

// Calls `row` for every reading, in time order (rowid counts from 1).
void SynthesizeHistory(const SynthPlan& plan, const std::function<void(const DataRow&)>& row);

// Appends the readings to DATA, a transaction per 100000 rows.
void WriteHistory(TSQLiteDatabase& db, const SynthPlan& plan);
