#pragma once
// When to try a lost sensor line again. The first minute after the loss is tried every 5 s,
// since an adapter that was only jolted comes back within seconds; after that each wait is
// twice the one before, up to one try a minute. Pure: the caller gives the time (ms, any
// monotonic origin).

#include <cstdint>
#include <optional>

class ReconnectPolicy {
public:
    static constexpr int64_t kFirstWaitMs = 5000;
    static constexpr int64_t kQuickPhaseMs = 60000; // tried every kFirstWaitMs for this long
    static constexpr int64_t kLongestWaitMs = 60000;

    // The line was lost at nowMs; a loss while already retrying keeps the first one.
    void Lost(int64_t nowMs);
    // The try made at nowMs failed: returns the wait until the next one.
    int64_t Failed(int64_t nowMs);
    // The line is back, or another port was chosen: no more tries.
    void Stop();

    bool Retrying() const { return lostAt_.has_value(); }
    std::optional<int64_t> LostAt() const { return lostAt_; }
    int Tries() const { return tries_; }
    // The wait before the first try.
    int64_t FirstWait() const { return kFirstWaitMs; }

private:
    std::optional<int64_t> lostAt_;
    int64_t lastWait_ = 0;
    int tries_ = 0;
};
