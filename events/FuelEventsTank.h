#pragma once
// What FuelEvents keeps per tank; shared by the files FuelEvents is written in.

#include "FuelEvents.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>

// The EVENTS id of an alarm row. A row inserted through the write queue gets its id only
// when it is stored; the writes queued after it (its end, its acknowledgement) read it then.
class EventRowId {
public:
    EventRowId() = default;
    EventRowId& operator=(int64_t id) {
        cell_ = std::make_shared<int64_t>(id);
        return *this;
    }
    int64_t Get() const { return *cell_; }
    void Set(int64_t id) const { *cell_ = id; }

private:
    std::shared_ptr<int64_t> cell_ = std::make_shared<int64_t>(0);
};

struct FuelEvents::Tank {
    FuelEventDetector detector;
    TankAlarms alarms;
    std::map<AlarmKind, EventRowId> openRows; // EVENTS ids of the open low, high, silent rows
    std::optional<int32_t> net;
    double lossStart = -1;               // tstart of the last loss the alarms were told of
    std::optional<FuelEvent> newestLoss; // as last reported, live or found in history
    int64_t reconShown = 0;              // the newest reconciliation row the alarms were told of
    bool live = false;                   // the history is examined: readings go to the detector
    std::string leakMemo;                // why the leak alarm about to be raised is raised

    // Keeps a loss as the newest if it is.
    void SeeLoss(const FuelEvent& e) {
        if (!newestLoss || e.tstart >= newestLoss->tstart)
            newestLoss = e;
    }
};
