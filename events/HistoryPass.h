#pragma once
// Examining stored readings: DATA rows are fed, in the order they were stored, to the
// detector of their tank, skipping every row already examined (tstamp not after the tank's
// mark). The events found are kept by their key, each in its latest form, for storing in
// one go afterwards. Plain C++: the worker thread and the benchmark drive it alike.

#include "EventRecords.h"
#include "FuelEventDetector.h"

#include <functional>
#include <map>
#include <tuple>
#include <vector>

// A found event with the tank it belongs to.
struct TankFuelEvent {
    int adr = 0;
    FuelEvent event;
};

class HistoryPass {
public:
    // The local day number of a UTC day number (quiet hours are local).
    using LocalOf = std::function<double(double utc)>;

    // Detectors for the tanks to examine, each already restored from its mark (or fresh
    // with `examined` 0). Rows of other addresses are skipped.
    HistoryPass(std::map<int, FuelEventDetector> detectors, LocalOf localOf);

    void Feed(const std::vector<DataRow>& rows);
    void Feed(const DataRow& row);

    // The events found or changed, in the order they were first found.
    std::vector<TankFuelEvent> Events() const;
    std::map<int, FuelEventDetector>& Detectors() { return detectors_; }
    int64_t LastRowid() const { return lastRowid_; }
    int64_t RowsFed() const { return fed_; }

private:
    std::map<int, FuelEventDetector> detectors_;
    LocalOf localOf_;
    // keyed by (adr, kind, tstart), with the order of finding
    std::map<std::tuple<int, int, double>, std::size_t> index_;
    std::vector<TankFuelEvent> events_;
    int64_t lastRowid_ = 0;
    int64_t fed_ = 0;
};

// Turns a delivery or loss into its EVENTS row (tend, vafter... NULL while unknown).
EventRow ToEventRow(int adr, const FuelEvent& e);
