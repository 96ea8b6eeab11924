#pragma once
// The sensors' side of the line as a timetable: answers wait for their start time and for
// the line to be free, and then leave one byte per character time (10 bits at 19200 baud).
// Times are milliseconds on any steady scale the caller picks.

#include "Responder.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

inline constexpr double kByteMs = 10 * 1000.0 / 19200; // about 0.52 ms

class PacedLine {
public:
    explicit PacedLine(double byteMs = kByteMs) : byteMs_(byteMs) {}

    // The answer starts at nowMs + its delay, or when the line is free, if later. Two
    // answers never interleave: the later one waits for the end of the earlier.
    void Queue(double nowMs, const Transmission& t);
    // Every byte whose character time has ended by nowMs, in line order.
    std::vector<uint8_t> Take(double nowMs);
    // When the next byte is due; none when nothing waits.
    std::optional<double> NextDueMs() const;
    bool Idle() const { return !NextDueMs(); }

private:
    struct Pending {
        double startMs;
        std::vector<Segment> segments;
    };
    double byteMs_;
    std::deque<Pending> waiting_; // in start order
    std::vector<Segment> current_;
    std::size_t segment_ = 0;
    std::size_t index_ = 0;
    double nextAt_ = 0; // end of the current byte's character time
    double freeAt_ = 0; // when the line's last byte has gone
    bool busy_ = false;
    void Start();
    void SkipEmptySegments();
};
