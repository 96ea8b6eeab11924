#include "AlarmBeeper.h"

#include "Clock.h"
#include "DayNumbers.h"
#include "OperatorMessages.h"

#include <cmath>

AlarmBeeper::AlarmBeeper(std::function<int()> unacknowledgedTanks, LinkTimer& timer,
                         OperatorMessages& messages, const Clock& clock)
    : unacknowledgedTanks_(std::move(unacknowledgedTanks)), timer_(timer), messages_(messages),
      clock_(clock) {
    timer_.onTimeout = [this] { Timeout(); };
}

void AlarmBeeper::Update() {
    const int waiting = unacknowledgedTanks_();
    const bool more = waiting > waiting_;
    waiting_ = waiting;
    if (waiting == 0) {
        timer_.SetEnabled(false);
        return;
    }
    // A tank newly waiting is announced at once, and the rhythm counts from that beep, so
    // that beeps never bunch up or leave a gap longer than the interval.
    const bool justBeeped = lastBeep_ &&
                            std::abs(clock_.UtcNow() - *lastBeep_) < 1.0 / kSecondsPerDay &&
                            timer_.Enabled();
    if ((more && !justBeeped) || !timer_.Enabled()) {
        Beep();
        timer_.Start(kAlarmBeepIntervalMs);
    }
}

void AlarmBeeper::Beep() {
    messages_.Beep();
    lastBeep_ = clock_.UtcNow();
}

void AlarmBeeper::Timeout() {
    waiting_ = unacknowledgedTanks_();
    if (waiting_ > 0)
        Beep();
    else
        timer_.SetEnabled(false);
}
