#pragma once
// The beep of unacknowledged alarms: once when the first one appears, then every 30 s until
// none is left unacknowledged. Time comes from a LinkTimer, so tests drive it by hand.

#include "LinkTimer.h"

#include <functional>

class OperatorMessages;

inline constexpr int kAlarmBeepIntervalMs = 30000;

class AlarmBeeper {
public:
    // `anyUnacknowledged` says whether some tank has an alarm not yet acknowledged.
    AlarmBeeper(std::function<bool()> anyUnacknowledged, LinkTimer& timer,
                OperatorMessages& messages);
    // Call after every change of the alarms (raised, acknowledged, cleared).
    void Update();

private:
    void Timeout();

    std::function<bool()> anyUnacknowledged_;
    LinkTimer& timer_;
    OperatorMessages& messages_;
};
