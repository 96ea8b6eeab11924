#include "TankAlarms.h"

#include "TextFormats.h"

const char* AlarmWord(AlarmKind kind) {
    switch (kind) {
    case AlarmKind::Low:
        return "LOW";
    case AlarmKind::High:
        return "HIGH";
    case AlarmKind::Silent:
        return "NO SIGNAL";
    case AlarmKind::Loss:
        return "LOSS";
    case AlarmKind::Leak:
        return "LEAK";
    case AlarmKind::Reconciliation:
        return "VARIANCE";
    }
    return "";
}

const char* AlarmEventKind(AlarmKind kind) {
    switch (kind) {
    case AlarmKind::Low:
        return "low";
    case AlarmKind::High:
        return "high";
    case AlarmKind::Silent:
        return "silent";
    case AlarmKind::Loss:
        return "loss";
    case AlarmKind::Leak:
        return "leak";
    case AlarmKind::Reconciliation:
        return "reconciliation";
    }
    return "";
}

void TankAlarms::Move(AlarmKind kind, AlarmState to, double utc, std::optional<int32_t> litres,
                      std::vector<AlarmTransition>& out) {
    AlarmState& s = state_[Index(kind)];
    if (s == to)
        return;
    out.push_back({kind, s, to, utc, litres});
    s = to;
}

std::vector<AlarmTransition> TankAlarms::TakeReading(double utc, int32_t litres,
                                                     const AlarmLimits& limits) {
    std::vector<AlarmTransition> out;
    const double margin = kClearShare * limits.capacity;
    auto level = [&](AlarmKind kind, int& count, bool beyond, bool backInside) {
        const bool active = State(kind) != AlarmState::Cleared;
        count = beyond ? count + 1 : 0;
        if (!active && count >= kReadingsToRaise)
            Move(kind, AlarmState::Unacknowledged, utc, litres, out);
        else if (active && backInside)
            Move(kind, AlarmState::Cleared, utc, litres, out);
    };
    const bool lowOn = limits.low > 0, highOn = limits.high > 0;
    level(AlarmKind::Low, lowCount_, lowOn && litres <= limits.low,
          !lowOn || litres > limits.low + margin);
    level(AlarmKind::High, highCount_, highOn && litres >= limits.high,
          !highOn || litres < limits.high - margin);
    silentCount_ = 0;
    Move(AlarmKind::Silent, AlarmState::Cleared, utc, litres, out);
    return out;
}

std::vector<AlarmTransition> TankAlarms::TakeSilence(double utc) {
    std::vector<AlarmTransition> out;
    if (++silentCount_ >= kSilentCycles && State(AlarmKind::Silent) == AlarmState::Cleared)
        Move(AlarmKind::Silent, AlarmState::Unacknowledged, utc, std::nullopt, out);
    return out;
}

std::vector<AlarmTransition> TankAlarms::LossFound(double utc) {
    std::vector<AlarmTransition> out;
    lossOver_ = false;
    Move(AlarmKind::Loss, AlarmState::Unacknowledged, utc, std::nullopt, out);
    return out;
}

std::vector<AlarmTransition> TankAlarms::LossOver(double utc) {
    std::vector<AlarmTransition> out;
    lossOver_ = true;
    if (State(AlarmKind::Loss) == AlarmState::Acknowledged)
        Move(AlarmKind::Loss, AlarmState::Cleared, utc, std::nullopt, out);
    return out;
}

std::vector<AlarmTransition> TankAlarms::LeakFailed(double utc) {
    std::vector<AlarmTransition> out;
    leakOver_ = false;
    if (State(AlarmKind::Leak) == AlarmState::Cleared)
        Move(AlarmKind::Leak, AlarmState::Unacknowledged, utc, std::nullopt, out);
    return out;
}

std::vector<AlarmTransition> TankAlarms::LeakPassed(double utc) {
    std::vector<AlarmTransition> out;
    leakOver_ = true;
    if (State(AlarmKind::Leak) == AlarmState::Acknowledged)
        Move(AlarmKind::Leak, AlarmState::Cleared, utc, std::nullopt, out);
    return out;
}

std::vector<AlarmTransition> TankAlarms::ReconciliationFound(double utc) {
    std::vector<AlarmTransition> out;
    Move(AlarmKind::Reconciliation, AlarmState::Unacknowledged, utc, std::nullopt, out);
    return out;
}

std::vector<AlarmTransition> TankAlarms::Acknowledge(AlarmKind kind, double utc) {
    std::vector<AlarmTransition> out;
    if (State(kind) != AlarmState::Unacknowledged)
        return out;
    Move(kind, AlarmState::Acknowledged, utc, std::nullopt, out);
    if ((kind == AlarmKind::Loss && lossOver_) || (kind == AlarmKind::Leak && leakOver_) ||
        kind == AlarmKind::Reconciliation)
        Move(kind, AlarmState::Cleared, utc, std::nullopt, out);
    return out;
}

std::vector<AlarmTransition> TankAlarms::Acknowledge(double utc) {
    std::vector<AlarmTransition> out;
    for (AlarmKind k : kAlarmKinds)
        for (const AlarmTransition& t : Acknowledge(k, utc))
            out.push_back(t);
    return out;
}

bool TankAlarms::AnyUnacknowledged() const {
    for (AlarmState s : state_)
        if (s == AlarmState::Unacknowledged)
            return true;
    return false;
}

std::optional<AlarmKind> TankAlarms::Shown() const {
    static constexpr AlarmKind order[] = {AlarmKind::Loss,   AlarmKind::Leak,
                                          AlarmKind::Low,    AlarmKind::High,
                                          AlarmKind::Silent, AlarmKind::Reconciliation};
    for (AlarmState wanted : {AlarmState::Unacknowledged, AlarmState::Acknowledged})
        for (AlarmKind k : order)
            if (State(k) == wanted)
                return k;
    return std::nullopt;
}

void TankAlarms::Restore(AlarmKind kind, AlarmState state, bool causeOver) {
    state_[Index(kind)] = state;
    if (kind == AlarmKind::Loss)
        lossOver_ = causeOver;
    if (kind == AlarmKind::Leak)
        leakOver_ = causeOver;
}

std::string AlarmLogLine(double local, const std::string& tankName, int address,
                         const AlarmTransition& t) {
    const char* what = t.to == AlarmState::Unacknowledged ? "raised"
                       : t.to == AlarmState::Acknowledged ? "acknowledged"
                                                          : "cleared";
    std::string line = TextFormats::DateTime(local) + "   " + AlarmWord(t.kind) + " alarm " + what +
                       ": \"" + tankName + "\" (Address " + TextFormats::Int(address) + ")";
    if (t.litres && t.to == AlarmState::Unacknowledged)
        line += ", " + TextFormats::Int(*t.litres) + " l";
    return line + "\r\n";
}
