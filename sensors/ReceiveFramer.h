#pragma once
// Cuts reply frames from the received bytes without ever blocking: a read takes at most 14
// bytes and ends when it has them or when no byte has come for 200 ms. Bytes beyond the
// frame stay queued and lead the next read. Pure: it is fed bytes and times (ms, any
// monotonic origin) and tells when it must be looked at again.
//
// The input queue holds at most 1024 bytes, as a serial port's does: bytes that come while
// it is full are discarded and counted, so a babbling device cannot fill the memory.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

class ReceiveFramer {
public:
    static constexpr int64_t kGapMs = 200;
    static constexpr std::size_t kMaxFrame = 14;
    static constexpr std::size_t kQueueLimit = 1024;

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

    // Takes the oldest finished frame; false when there is none. `lastByteMs`, when given,
    // receives the arrival time of the frame's last byte.
    bool TakeFrame(std::vector<uint8_t>& frame, int64_t* lastByteMs = nullptr);
    // Bytes discarded because the queue was full, since the last call.
    std::size_t TakeDiscarded();
    // The port was closed: everything received is discarded.
    void Clear();
    // A request is about to go out: bytes that wait without a read (fewer than a reply,
    // noise that came while nothing was asked) are discarded so they never lead the next
    // reply. A running read is left to end on its gap: it may be a late reply.
    void DropIdle();
    // A frame refused for its CRC may be noise run in front of a reply: its bytes from the
    // next start byte on go back to lead the queue and are read again, before those of a
    // read that began meanwhile. False when it holds no later start byte.
    bool Resync(const std::vector<uint8_t>& refused, uint8_t startByte);
    // Bytes cut off a frame (what followed a whole reply in the same read) lead the queue
    // again, before those of a read that began meanwhile.
    void PutBack(const std::vector<uint8_t>& bytes);

private:
    void TakeQueued();
    void Finish();

    std::deque<uint8_t> queue_;
    std::vector<uint8_t> frame_;
    std::deque<std::vector<uint8_t>> done_;
    std::deque<int64_t> doneAt_;
    bool reading_ = false;
    int64_t lastArrival_ = 0;
    int64_t frameLastAt_ = 0;
    std::size_t discarded_ = 0;
};
