#pragma once
// The beep of unacknowledged alarms: at once whenever a tank's alarm comes to wait for the
// operator (the first one, one more, or one that came back), then every 30 s from that beep
// until none is left unacknowledged; alarms raised within the same second share one beep.
// Time comes from a LinkTimer and a Clock, so tests drive it by hand.

#include "LinkTimer.h"

#include <functional>
#include <optional>

class Clock;
class OperatorMessages;

inline constexpr int kAlarmBeepIntervalMs = 30000;

class AlarmBeeper {
public:
    // `unacknowledgedTanks` counts the tanks with an alarm not yet acknowledged.
    AlarmBeeper(std::function<int()> unacknowledgedTanks, LinkTimer& timer,
                OperatorMessages& messages, const Clock& clock);
    // Call after every change of the alarms (raised, acknowledged, cleared).
    void Update();

private:
    void Timeout();
    void Beep();

    std::function<int()> unacknowledgedTanks_;
    LinkTimer& timer_;
    OperatorMessages& messages_;
    const Clock& clock_;
    int waiting_ = 0;                // tanks counted at the last look
    std::optional<double> lastBeep_; // UTC day number
};
