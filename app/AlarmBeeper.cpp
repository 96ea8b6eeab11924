#include "AlarmBeeper.h"

#include "OperatorMessages.h"

AlarmBeeper::AlarmBeeper(std::function<bool()> anyUnacknowledged, LinkTimer& timer,
                         OperatorMessages& messages)
    : anyUnacknowledged_(std::move(anyUnacknowledged)), timer_(timer), messages_(messages) {
    timer_.onTimeout = [this] { Timeout(); };
}

void AlarmBeeper::Update() {
    const bool wanted = anyUnacknowledged_();
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
    if (anyUnacknowledged_())
        messages_.Beep();
    else
        timer_.SetEnabled(false);
}
