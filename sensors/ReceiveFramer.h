#pragma once
// Cuts reply frames from the received bytes without ever blocking: a read takes at most 14
// bytes and ends when it has them or when no byte has come for 200 ms. Bytes beyond the
// frame stay queued and lead the next read. Pure: it is fed bytes and times (ms, any
// monotonic origin) and tells when it must be looked at again.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

class ReceiveFramer {
public:
    static constexpr int64_t kGapMs = 200;
    static constexpr std::size_t kMaxFrame = 14;

    // Bytes that arrived at nowMs.
    void Feed(const uint8_t* bytes, std::size_t count, int64_t nowMs);
    // Bytes waiting that no read has taken yet (the receive event's Count).
    std::size_t Waiting() const { return queue_.size(); }
    bool Reading() const { return reading_; }

    // Begins one read (the receive handler saw enough bytes waiting). No effect while a
    // read is already running.
    void StartRead(int64_t nowMs);
    // Ends a running read whose gap has passed by nowMs.
    void Advance(int64_t nowMs);
    // When the running read ends unless another byte comes; none when no read runs.
    std::optional<int64_t> GapDeadline() const;

    // Takes the oldest finished frame; false when there is none.
    bool TakeFrame(std::vector<uint8_t>& frame);
    // The port was closed: everything received is discarded.
    void Clear();

private:
    void TakeQueued();
    void Finish();

    std::deque<uint8_t> queue_;
    std::vector<uint8_t> frame_;
    std::deque<std::vector<uint8_t>> done_;
    bool reading_ = false;
    int64_t lastArrival_ = 0;
};
