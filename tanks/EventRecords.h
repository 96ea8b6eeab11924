#pragma once
// The plain records of fuel events that storage reads and writes and the detector works on:
// an EVENTS row, a tank's event settings and a DATA row as the examination reads it. No
// storage here, so the detector links the tank model alone.

#include <cstdint>
#include <optional>
#include <string>

// One EVENTS row. `kind` is "delivery", "loss", "low", "high" or "silent".
struct EventRow {
    int64_t id = 0; // 0 before it is stored
    int adr = 0;
    std::string kind;
    double tstart = 0;
    std::optional<double> tend;             // NULL while a delivery, loss or alarm is going on
    std::optional<int64_t> vbefore, vafter; // gross litres
    std::optional<int64_t> nbefore, nafter; // net litres at 15 °C, NULL where unknown
    std::optional<int64_t> tbefore, tafter; // °C
    std::optional<double> acked;            // NULL until acknowledged
    std::string memo;
};

// What the operator set for a tank's events; an unset value takes the station's default.
struct TankEventSettings {
    int adr = 0;
    std::optional<double> density;         // kg/m³ at 15 °C; unset: from the fuel type text
    std::optional<int64_t> deliveryLitres; // unset: max(50 l, 1 % of capacity)
    std::optional<int64_t> lossLitres;     // unset: max(50 l, 1 % of capacity)
    // Quiet hours as minutes after local midnight, [from, to), may wrap past midnight
    // (22:00-06:00 is 1320, 360). Both unset: no quiet hours.
    std::optional<int64_t> quietFrom, quietTo;
    bool operator==(const TankEventSettings&) const = default;
};

// A DATA row as the examination of stored readings reads it.
struct DataRow {
    int64_t rowid = 0;
    double tstamp = 0;
    int adr = 0;
    int32_t flevel = 0;
    int32_t temp = 0;
};
