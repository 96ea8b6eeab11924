#include "ReconnectPolicy.h"

#include <algorithm>

void ReconnectPolicy::Lost(int64_t nowMs) {
    if (lostAt_)
        return;
    lostAt_ = nowMs;
    lastWait_ = kFirstWaitMs;
    tries_ = 0;
}

int64_t ReconnectPolicy::Failed(int64_t nowMs) {
    if (!lostAt_)
        Lost(nowMs);
    ++tries_;
    if (nowMs - *lostAt_ < kQuickPhaseMs)
        lastWait_ = kFirstWaitMs;
    else
        lastWait_ = std::min(kLongestWaitMs, lastWait_ * 2);
    return lastWait_;
}

void ReconnectPolicy::Stop() {
    lostAt_.reset();
    lastWait_ = 0;
    tries_ = 0;
}
