#pragma once
// The per-tank detector of deliveries and losses. It is fed the tank's readings one by one,
// each with its time as data; it reads no clock, so the very same code examines live
// readings and years of stored history, and a detector whose state was saved and restored
// goes on exactly as if it had never stopped.
//
// How it decides (litres are net at 15 °C when the density is known, else gross):
// - The temperature that turns gross into net litres is the mean of the sensor's whole
//   degrees over the last 30 minutes: a tank's fuel warms and cools slowly, and the mean
//   keeps a reading that flips between 12 and 13 °C from making steps of net litres.
// - Detection runs on the running median of the last 5 readings; the volumes reported are
//   medians of the 5 raw readings just before the start and just after the end.
// - A delivery starts on a rise of at least the delivery threshold within 10 minutes and ends
//   once the level has moved less than 0.2 % of capacity over 10 minutes; a new rise less
//   than 30 minutes after that end belongs to the same delivery (hose change, second
//   compartment).
// - A loss starts on a fall of at least the loss threshold within 15 minutes, outside a
//   delivery, and ends like a delivery; falls less than 30 minutes apart are one loss.
// - With quiet hours set, a net fall of at least the loss threshold between the first and
//   the last reading of a quiet period is a loss, unless a delivery or loss was already found
//   in that period.
// - A window always reaches back to the reading before it at least, however old: readings on
//   either side of a silent line or a station that was off still count, so a delivery made
//   while nothing was read is found, spanning the gap.

#include "EventRecords.h"
#include "TItemNode.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// One reading as the detector takes it.
struct LevelSample {
    double utc = 0;   // day number; orders the readings
    double local = 0; // the same moment in local time, for quiet hours
    int32_t gross = 0;
    int temp = 0; // °C
};

// Everything the detector needs to know about its tank, defaults already applied.
struct DetectorConfig {
    int32_t capacity = 0;
    std::optional<double> density; // kg/m³ at 15 °C; none: work on gross litres
    double deliveryLitres = 50;
    double lossLitres = 50;
    std::optional<int> quietFrom, quietTo; // minutes after local midnight, [from, to)
};

// The defaults: thresholds max(50 l, 1 % of capacity); density from the setting, else from
// the fuel type text.
DetectorConfig ResolveDetectorConfig(const TItemNode& tank, const TankEventSettings& settings);

enum class FuelEventKind { Delivery, Loss };

// Litres and temperature at one end of an event.
struct EventLevels {
    int32_t gross = 0;
    std::optional<int32_t> net;
    int temp = 0;
};

// A delivery or loss as far as it is known. The detector reports it whole each time it
// changes: when it is found (no end yet), when it ends for the time being (end and `after`
// set), when it goes on after a pause (end cleared again) and when it is final (`closed`:
// the pause that could have continued it is over). (tank, kind, tstart) never changes and
// identifies it.
struct FuelEvent {
    FuelEventKind kind = FuelEventKind::Delivery;
    double tstart = 0;
    std::optional<double> tend;
    EventLevels before;
    std::optional<EventLevels> after;
    bool closed = false;
    bool quiet = false; // found as a net fall over quiet hours
    // after minus before, on the litres the detector works on; 0 without an end
    double Amount(bool net) const;
};

class FuelEventDetector {
public:
    static constexpr double kDeliveryWindowMin = 10;
    static constexpr double kLossWindowMin = 15;
    static constexpr double kSettleWindowMin = 10;
    static constexpr double kSettleShare = 0.002; // of capacity
    static constexpr double kMergePauseMin = 30;
    static constexpr int kMedianOf = 5;
    static constexpr double kTempMeanMin = 30;

    explicit FuelEventDetector(const DetectorConfig& config = {});

    // New thresholds or density from the operator; what was fed so far stays.
    void SetConfig(const DetectorConfig& config);
    const DetectorConfig& Config() const { return config_; }

    // Feeds one reading and returns the events it found, changed or closed (usually none).
    // A reading not later than the last one fed is ignored: history examined again and
    // live readings never count twice.
    std::vector<FuelEvent> Feed(const LevelSample& sample);

    // UTC of the last reading fed; 0 before the first.
    double LastTime() const { return lastUtc_; }
    // The event going on or waiting out its pause, if any.
    std::optional<FuelEvent> OpenEvent() const;

    // The whole state as text, and back. Restore refuses (returns false, state unchanged)
    // a text it did not write.
    std::string SaveState() const;
    bool RestoreState(const std::string& text);

private:
    struct Raw {
        double utc = 0;
        double local = 0;
        double value = 0; // the litres detection works on
        int32_t gross = 0;
        std::optional<int32_t> net;
        int temp = 0;
    };
    struct Median {
        double utc = 0; // the time of the middle one of its five readings
        double local = 0;
        double value = 0;
        int64_t rawIndex = 0; // the index of that middle reading
    };
    enum class Phase { Idle, Rising, Falling, Paused };
    // A quiet period being watched: its first and latest median.
    struct QuietWatch {
        int64_t period = -1; // the local day it began on; -1 when none is watched
        double startUtc = 0, lastUtc = 0;
        double startValue = 0, lastValue = 0;
        EventLevels startLevels, lastLevels;
        bool touched = false; // a delivery or loss was going on in it
    };

    DetectorConfig config_;
    double lastUtc_ = 0;
    int64_t fed_ = 0;        // readings fed so far; raw_.back() has index fed_ - 1
    std::deque<Raw> raw_;    // recent readings
    std::deque<Median> med_; // recent medians
    Phase phase_ = Phase::Idle;
    std::optional<FuelEvent> open_;
    QuietWatch quiet_;
    std::deque<std::pair<double, int>> temps_; // (utc, °C) of the last kTempMeanMin
    int64_t tempSum_ = 0;

    double MeanTemp(double utc, int temp);
    const Raw* RawAt(int64_t index) const;
    EventLevels LevelsOf(int64_t first, int64_t last) const;
    double SettleLitres() const;
    void Trim();
    void Detect(const Median& m, std::vector<FuelEvent>& out);
    const Median* Extreme(const Median& m, double minutes, bool lowest) const;
    bool FindRise(const Median& m, const Median*& low) const;
    bool FindFall(const Median& m, const Median*& high) const;
    void Begin(FuelEventKind kind, const Median& from, std::vector<FuelEvent>& out);
    bool Settled(const Median& m, const Median*& ref) const;
    void WatchQuiet(const Median& m, std::vector<FuelEvent>& out);
    int64_t QuietPeriod(double local) const;
};
