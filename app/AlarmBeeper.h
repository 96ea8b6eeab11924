#pragma once
// The beep of unacknowledged alarms: once when the first one appears, then every 30 s until
// none is left unacknowledged. Time comes from a LinkTimer, so tests drive it by hand.

#include "LinkTimer.h"

class OperatorMessages;
class TileAlarms;

inline constexpr int kAlarmBeepIntervalMs = 30000;

class AlarmBeeper {
public:
    AlarmBeeper(const TileAlarms& alarms, LinkTimer& timer, OperatorMessages& messages);
    // Call after every change of the alarms (raised, acknowledged, cleared).
    void Update();

private:
    void Timeout();

    const TileAlarms& alarms_;
    LinkTimer& timer_;
    OperatorMessages& messages_;
};
