#pragma once
// The alarm states of one tank: low and high fuel, a silent sensor, losses, and what the
// book against the gauge found (a short delivery, a run of days out of tolerance, a change
// of trend: the reconciliation's alarms, stored by whoever reconciled). Fed the
// readings, the silent cycles and the losses the detector finds, each with its time as data;
// returns the transitions, which the station stores in EVENTS and writes to the Errors log.
// Pure: no Qt, no clock.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class AlarmKind { Low, High, Silent, Loss, Leak, Reconciliation };
inline constexpr std::array<AlarmKind, 6> kAlarmKinds = {
    AlarmKind::Low,  AlarmKind::High, AlarmKind::Silent,
    AlarmKind::Loss, AlarmKind::Leak, AlarmKind::Reconciliation};
enum class AlarmState { Cleared, Unacknowledged, Acknowledged };

// The word a tile shows: "LOW", "HIGH", "NO SIGNAL", "LOSS", "LEAK", "VARIANCE".
const char* AlarmWord(AlarmKind kind);
// The EVENTS kind: "low", "high", "silent", "loss", "leak", "reconciliation".
const char* AlarmEventKind(AlarmKind kind);

// The tank's alarm levels (TANKS lfuel and ofuel, 0 disabled) and its capacity.
struct AlarmLimits {
    int32_t low = 0;
    int32_t high = 0;
    int32_t capacity = 0;
};

struct AlarmTransition {
    AlarmKind kind = AlarmKind::Low;
    AlarmState from = AlarmState::Cleared;
    AlarmState to = AlarmState::Cleared;
    double utc = 0;
    std::optional<int32_t> litres; // the level that caused it, for level alarms
};

class TankAlarms {
public:
    static constexpr int kReadingsToRaise = 2;  // level alarms: readings in a row
    static constexpr double kClearShare = 0.01; // back inside the limit by 1 % of capacity
    static constexpr int kSilentCycles = 3;

    // A reading of gross litres. A level alarm starts after kReadingsToRaise readings in a
    // row at or beyond its limit, and clears on a reading kClearShare of capacity back
    // inside it (a level hovering at the limit gives one alarm). A disabled limit (0)
    // clears its alarm. Any reading clears a silent alarm.
    std::vector<AlarmTransition> TakeReading(double utc, int32_t litres, const AlarmLimits& limits);
    // One cycle without an answer; kSilentCycles in a row raise the silent alarm.
    std::vector<AlarmTransition> TakeSilence(double utc);
    // A loss found (raised afresh, also when an earlier one was acknowledged) and a loss
    // that is over. An acknowledged loss clears when it is over; an unacknowledged one stays
    // until acknowledged.
    std::vector<AlarmTransition> LossFound(double utc);
    std::vector<AlarmTransition> LossOver(double utc);
    // The day's leak test failed, or passed. A failed test raises the leak alarm unless it
    // is raised already (the same leak failing day after day is one alarm). A pass ends its
    // cause: acknowledged, it clears; unacknowledged, it stays until acknowledged. An
    // inconclusive test changes nothing.
    std::vector<AlarmTransition> LeakFailed(double utc);
    std::vector<AlarmTransition> LeakPassed(double utc);
    // A reconciliation alarm not yet shown. What it tells of is past: acknowledging it
    // clears it.
    std::vector<AlarmTransition> ReconciliationFound(double utc);

    // Acknowledges every unacknowledged alarm of the tank, or one kind. An alarm whose
    // cause is already gone (a loss that is over) clears at once.
    std::vector<AlarmTransition> Acknowledge(double utc);
    std::vector<AlarmTransition> Acknowledge(AlarmKind kind, double utc);

    AlarmState State(AlarmKind kind) const { return state_[Index(kind)]; }
    bool AnyUnacknowledged() const;
    // What the tile shows: an unacknowledged alarm before an acknowledged one; among
    // them loss, leak, low, high, silent, reconciliation. None when every alarm is cleared.
    std::optional<AlarmKind> Shown() const;

    // Puts back a state read from EVENTS at start-up; no transition. Counts start afresh,
    // so the next readings derive the state again without storing an active alarm twice.
    // `causeOver` tells of a loss or leak whether its cause is gone.
    void Restore(AlarmKind kind, AlarmState state, bool causeOver = true);

private:
    std::array<AlarmState, kAlarmKinds.size()> state_{};
    int lowCount_ = 0, highCount_ = 0, silentCount_ = 0;
    bool lossOver_ = true;
    bool leakOver_ = true;
    static int Index(AlarmKind k) { return static_cast<int>(k); }
    void Move(AlarmKind kind, AlarmState to, double utc, std::optional<int32_t> litres,
              std::vector<AlarmTransition>& out);
};

// The Errors log line of a transition: "dd/mm/yyyy hh:mm:ss   LOW alarm raised: "Name"
// (Address n), 1480 l" and likewise "acknowledged" and "cleared", CR LF at the end.
std::string AlarmLogLine(double local, const std::string& tankName, int address,
                         const AlarmTransition& t);
