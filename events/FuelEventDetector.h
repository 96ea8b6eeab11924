#pragma once
// The per-tank detector of deliveries and losses. It is fed the tank's readings one by one,
// each with its time as data; it reads no clock, so the very same code examines live
// readings and years of stored history, and a detector whose state was saved and restored
// goes on exactly as if it had never stopped.
//
// How it decides (litres are net at 15 °C when the density is known, else gross):
// - The temperature that turns gross into net litres is the straight line through the
//   sensor's whole degrees of the last two hours, at the reading's time: a tank's fuel warms
//   and cools slowly, and the line keeps a reading that flips between 12 and 13 °C from
//   making steps of net litres without lagging behind the fuel as a mean would. Where no
//   line fits (the first hour, a delivery of warmer fuel) it is the mean of the last 30
//   minutes.
// - Deliveries are found on the running median of the last 5 readings: a rise of at least
//   the delivery threshold within 10 minutes starts one, and it ends once the level has
//   moved less than 0.2 % of capacity over 10 minutes; a new rise less than 30 minutes
//   after that end belongs to the same delivery (hose change, second compartment). Its
//   volumes are medians of the 5 raw readings just before the start and after the end.
// - Losses are found on the level: the mean of the last 15 minutes' readings, those further
//   than four noise widths from their median left out (spikes). The noise is estimated from
//   the readings themselves. Each local hour without an event teaches the tank's idle hours
//   (IdleHours); quiet hours, when set, are idle too.
// - In an idle hour, a fall of the level below the still level it had before by more than
//   max(half the smallest theft to find, 4.5 noise widths of the difference of two levels)
//   is a loss, whatever its pace; the smallest theft to find is max(100 l, 0.5 % of
//   capacity).
// - In a busy hour, a fall over 15, 60 or 180 minutes is a loss when it is clearly more
//   than that hour's normal draw: above the hour's mean draw for that time by 6 of its
//   spreads (the draw of trucks that come at random grows in spread with the square root of
//   the time), and by the loss threshold at least, plus the noise allowance.
// - A loss ends when the level has been still (busy: falling no faster than normally) for
//   20 minutes; its start and end are where the level left and reached its still values,
//   its volumes the still level before and the mean of the readings after. A loss found in
//   a busy hour does not count the hour's normal draw over its duration. A new fall less
//   than 30 minutes after the end continues it; a still level of 30 minutes or more makes
//   two losses.
// - A window always reaches back to the reading before it at least, however old: readings on
//   either side of a silent line or a station that was off still count, so a delivery made
//   while nothing was read is found, spanning the gap.

#include "EventRecords.h"
#include "IdleHours.h"
#include "TItemNode.h"
#include "TempLine.h"

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
    bool quiet = false; // found in the quiet hours the operator set
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
    static constexpr double kTempFitMin = 120;
    static constexpr double kTempFitSpread = 0.6; // °C

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

    // The tank's noise (one reading's standard deviation, litres) as estimated so far.
    double Noise() const { return noise_; }
    // Whether the hour around `local` is idle: in quiet hours, or learned so.
    bool IdleAt(double local) const;
    // The normal draw learned for the hour around `local`.
    HourDraw DrawAt(double local) const;

    // The smallest theft the idle rule is built to find: max(100 l, 0.5 % of capacity).
    double SmallestTheft() const;
    static constexpr double kLevelWindowMin = 15;
    static constexpr double kEdgeMin = 3; // an hour's end levels: readings this near it
    static constexpr double kStillWindowMin = 20;
    static constexpr double kReanchorMin = 60;
    static constexpr double kBusyZ = 6;
    static constexpr double kRawKeepMin = 70;
    static constexpr double kLevelKeepMin = 200;
    static constexpr double kRecentDrawMin = 180; // the draw before, where an hour's is unknown
    static constexpr double kStillBeforeMin = 60; // idle: the still level before a loss, at most
    // Days an hour must have been seen still before a loss in it is judged by the idle rule:
    // a busy hour of few trucks passes three days in a row without one far more often than
    // four, and its next truck would be taken for a theft.
    static constexpr double kIdleDaysSeen = 4;

private:
    struct Raw {
        double utc = 0;
        double local = 0;
        double value = 0; // the litres detection works on
        int32_t gross = 0;
        std::optional<int32_t> net;
        int temp = 0;
        template <class Ar> void Fields(Ar& ar) { ar(utc, local, value, gross, net, temp); }
    };
    struct Median {
        double utc = 0; // the time of the middle one of its five readings
        double local = 0;
        double value = 0;
        int64_t rawIndex = 0; // the index of that middle reading
        template <class Ar> void Fields(Ar& ar) { ar(utc, local, value, rawIndex); }
    };
    // The level: a spike-free mean of the last kLevelWindowMin minutes, dated at the middle.
    struct Level {
        double utc = 0;
        double value = 0;
        double gross = 0;
        std::optional<double> net;
        int temp = 0;
        template <class Ar> void Fields(Ar& ar) { ar(utc, value, gross, net, temp); }
    };
    enum class Phase { Idle, Rising, Falling, Paused };
    // The loss going on: how it was found and what its end is measured from.
    struct LossWatch {
        bool anchored = false;
        Level anchor;             // the still level a fall in idle hours is measured from
        int falling = 0;          // levels in a row beyond the threshold
        double drawPerDay = 0;    // normal draw not counted in the loss (busy hours)
        double afterFrom = 0;     // readings after this time give the level after
        double beforeUtc = 0;     // the time the level before is dated at
        double lastEnd = 0;       // the end of the last event: busy falls start after it
        double hourKey = -1;      // the local hour being learned (whole hours), -1 none
        double hourStart = 0;     // the level at its start
        bool hourStarted = false; // and whether there was one
        bool hourTouched = false; // a delivery went on in it
        double idleSince = -1;    // when the idle hours began, -1 in a busy hour
        Level fallFrom;           // where the fall being watched was first seen from
        template <class Ar> void Fields(Ar& ar) {
            ar(anchored, anchor, falling, drawPerDay, afterFrom, beforeUtc, lastEnd, hourKey,
               hourStart, hourStarted, hourTouched, idleSince, fallFrom);
        }
    };

    DetectorConfig config_;
    double lastUtc_ = 0;
    int64_t fed_ = 0;        // readings fed so far; raw_.back() has index fed_ - 1
    std::deque<Raw> raw_;    // recent readings
    std::deque<Median> med_; // recent medians
    std::deque<Level> levels_;
    Phase phase_ = Phase::Idle;
    std::optional<FuelEvent> open_;
    std::deque<std::pair<double, int>> temps_; // (utc, °C) of the last kTempFitMin
    int64_t tempSum_ = 0;
    double noise_ = 0; // litres, one reading's standard deviation
    int64_t noiseCount_ = 0;
    LossWatch loss_;
    IdleHours hours_;
    mutable std::vector<double> scratch_; // not state: spares an allocation a reading
    TempLine line_;                       // not state: the sums of temps_, made again from it

    template <class Ar> void Fields(Ar& ar);
    double TempNow(double utc, int temp);
    const Raw* RawAt(int64_t index) const;
    EventLevels LevelsOf(int64_t first, int64_t last) const;
    double SettleLitres() const;
    void Trim();
    void Detect(const Median& m, std::vector<FuelEvent>& out);
    const Median* Extreme(const Median& m, double minutes, bool lowest) const;
    bool FindRise(const Median& m, const Median*& low) const;
    void Begin(FuelEventKind kind, const Median& from, std::vector<FuelEvent>& out);
    bool Settled(const Median& m, const Median*& ref) const;
    void CloseOpen(std::vector<FuelEvent>& out);
    // ---- the level and idle hours (FuelEventLevels.cpp); losses (FuelEventLosses.cpp) ----
    bool InQuiet(double local) const;
    void UpdateNoise(const Raw& r);
    std::optional<Level> LevelNow();
    void LearnHours(double local);
    int SpikeFreeMean(std::size_t first, std::size_t last, Level& l,
                      double* median = nullptr) const;
    std::optional<double> EdgeLevel(double hourStart) const;
    void WatchLoss(const Level& level, double local, std::vector<FuelEvent>& out);
    const Level* LevelAt(double utc) const;
    double LevelNoise() const;
    double MeanNoise(double readings) const;
    double NormalDraw(const HourDraw& draw, bool idle) const;
    double IdleThreshold() const;
    HourDraw DrawBetween(double fromLocal, double toLocal) const;
    HourDraw RecentDraw(const Level& now, double minutes) const;
    double BusyThreshold(const HourDraw& span) const;
    void BeginLoss(const Level& from, double local, double drawPerDay, std::vector<FuelEvent>& out);
    void EndLoss(const Level& now, std::vector<FuelEvent>& out);
    EventLevels AfterLevels(double to) const;
    double StillAfter(double limit) const;
    static EventLevels ToLevels(const Level& l);
    Level FromLevels(const EventLevels& l, double utc) const;
    double LossStart(const Level& from, double perDay) const;
    Level StillBefore(const Level& last, double perDay) const;
};
