#pragma once
// The inventory balance of one tank: per day (or per shift) the opening and closing volume,
// what was delivered, lost and consumed, and how complete the readings were; the days left
// until the tank is empty; the depot's totals. Plain C++ on values already read, so it is
// tested and benchmarked without a file, and reads no clock.
//
// Volumes at a boundary are the median of the readings of the kBoundaryWindowDays around
// it (at least three; else the last reading before it): never one reading, so a spike just
// before midnight is not the day's closing. A delivery or loss still open counts as far as
// the last readings show it has gone. A delivery or loss that runs
// across a boundary is split there by the level the tank had reached, so a delivery that
// went on past midnight counts partly on each day and consumption stays near the truth.
//
// consumed = opening − closing + delivered − lost, for gross litres and, where the tank has
// a density, for net litres at 15 °C.

#include "DayNumbers.h"
#include "EventTables.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One DATA row of a tank.
struct StoredReading {
    double utc = 0;
    int32_t gross = 0;
    int32_t code = 0;
    int32_t temp = 0;
};

struct BalanceRow {
    double start = 0, stop = 0; // local day numbers, [start, stop)
    std::optional<int64_t> openGross, closeGross, openNet, closeNet;
    double delivered = 0, lost = 0; // gross litres, both >= 0
    std::optional<double> deliveredNet, lostNet;
    std::optional<double> consumed, consumedNet; // none without both levels
    int64_t readings = 0;
    double completeness = 0; // 0..1, the share of the time covered by readings
    bool complete = false;
};

// A gap between readings longer than this (days) counts as time without readings; a poll
// cycle of fourteen tanks takes under two minutes.
inline constexpr double kReadingGapDays = 5.0 / kMinutesPerDay;
// The readings a boundary's level is the median of: the quarter of an hour around it.
inline constexpr double kBoundaryWindowDays = 15.0 / kMinutesPerDay;
// A row is complete once it has ended and its readings cover this share of it.
inline constexpr double kCompleteShare = 0.95;

// The boundaries of days (or shifts) covering the local days `firstDay` .. `lastDay`
// (whole day numbers, inclusive). `shiftStarts` are minutes after midnight, ascending; empty
// or {0} means one row per calendar day. With shifts the first row starts at the first
// shift start of `firstDay`, the last ends at the first shift start after `lastDay`.
std::vector<double> BalanceBoundaries(double firstDay, double lastDay,
                                      const std::vector<int>& shiftStarts = {});

struct BalanceInput {
    // The tank's readings in time order (UTC); the last reading before the first boundary,
    // when there is one, first of all.
    const std::vector<StoredReading>* readings = nullptr;
    // Deliveries and losses (other kinds are ignored); an event without an end counts as
    // nothing yet.
    const std::vector<EventRow>* events = nullptr;
    std::optional<double> density; // kg/m³ at 15 °C
    double offset = 0;             // local minus UTC, days
    double nowLocal = 0;           // rows ending later are never complete
};

// One row per pair of neighbouring boundaries (local day numbers).
std::vector<BalanceRow> DailyBalance(const BalanceInput& in, const std::vector<double>& bounds);

// The rows added up into one spanning them all: opening of the first, closing of the last,
// sums of the flows, completeness weighted by length. Complete when every row is.
BalanceRow SumBalance(const std::vector<BalanceRow>& rows);

// Per row, the mean daily consumption (net or gross litres) over the complete rows up to it,
// going back until they span `days` days; none where they span fewer than 3 days.
std::vector<std::optional<double>> MeanConsumption(const std::vector<BalanceRow>& rows,
                                                   int days = 14, bool net = false);

struct DaysToEmpty {
    double days = 0; // >= 0, finite
    double date = 0; // local day number
};
// Volume above the low level (`low` 0: above zero) divided by the mean daily consumption of
// the last 14 complete rows. None with fewer than 3 complete rows, no consumption or a
// negative one, or more than ten years to go. A tank at or below the low level gives 0 days.
// `volumeNow` and the mean are net litres when `net`, else gross.
std::optional<DaysToEmpty> EstimateDaysToEmpty(const std::vector<BalanceRow>& rows,
                                               double volumeNow, double low, double nowLocal,
                                               bool net);

// The depot summary: one summed row per tank, totals by fuel type.
struct TankBalance {
    int adr = 0;
    std::string name, fuelType; // as stored
    BalanceRow total;
    std::optional<DaysToEmpty> toEmpty;
};
struct FuelTotal {
    std::string fuelType;
    int tanks = 0;
    BalanceRow total; // net values only when every tank of the type has them
};
std::vector<FuelTotal> TotalsByFuel(const std::vector<TankBalance>& tanks);
