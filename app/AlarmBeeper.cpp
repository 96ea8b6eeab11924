#include "AlarmBeeper.h"

#include "OperatorMessages.h"
#include "TileAlarms.h"

AlarmBeeper::AlarmBeeper(const TileAlarms& alarms, LinkTimer& timer, OperatorMessages& messages)
    : alarms_(alarms), timer_(timer), messages_(messages) {
    timer_.onTimeout = [this] { Timeout(); };
}

void AlarmBeeper::Update() {
    const bool wanted = alarms_.AnyUnacknowledged();
    if (wanted == timer_.Enabled())
        return;
    if (!wanted) {
        timer_.SetEnabled(false);
        return;
    }
    messages_.Beep();
    timer_.Start(kAlarmBeepIntervalMs);
}

void AlarmBeeper::Timeout() {
    if (alarms_.AnyUnacknowledged())
        messages_.Beep();
    else
        timer_.SetEnabled(false);
}
