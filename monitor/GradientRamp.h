#pragma once
// Colour ramps for the focused tile's gradient, and the cache that keeps the last sixteen.
// Plain C++: the arithmetic and the cache are tested without any painting.

#include <array>
#include <cstdint>
#include <vector>

// A colour as 0x00BBGGRR: red in the lowest byte.
using ColorRef = uint32_t;
using ColorRamp = std::vector<ColorRef>;

constexpr ColorRef MakeColorRef(int r, int g, int b) {
    return static_cast<ColorRef>(r & 0xFF) | static_cast<ColorRef>(g & 0xFF) << 8 |
           static_cast<ColorRef>(b & 0xFF) << 16;
}
constexpr int RedOf(ColorRef c) {
    return static_cast<int>(c & 0xFF);
}
constexpr int GreenOf(ColorRef c) {
    return static_cast<int>((c >> 8) & 0xFF);
}
constexpr int BlueOf(ColorRef c) {
    return static_cast<int>((c >> 16) & 0xFF);
}

// n entries from `first` to `last`, per channel a + (delta * i + half) / d with truncating
// division, so a falling channel stops one step short of its end. Throws std::logic_error
// ("Assertion failure") when n < 1.
ColorRamp BuildRamp(int n, ColorRef first, ColorRef last);

class RampCache {
public:
    static constexpr int kSlots = 16;

    // The ramp whose length and end entries match, searching from slot 15 down to 0;
    // otherwise a new one built into the slot under the cursor, which then moves on.
    // The reference stays valid until the next call. Throws like BuildRamp when n < 1.
    const ColorRamp& Get(int n, ColorRef first, ColorRef last);

    int Cursor() const { return cursor_; }
    // The ramp held in a slot; empty when the slot was never filled.
    const ColorRamp& Slot(int index) const { return slots_.at(index); }
    int BuildCount() const { return builds_; }

private:
    std::array<ColorRamp, kSlots> slots_{};
    int cursor_ = 0;
    int builds_ = 0;
};

// The one cache shared by every gradient of the run (event-loop thread only).
RampCache& SharedRampCache();

// Which strips of a gradient of length rEnd - rStart fall inside the clip [clipStart, clipEnd).
// Edges are exclusive at the end, as rectangles on a device context are. Nothing is painted
// when last < first.
struct StripRange {
    int length = 0; // N, the ramp length
    int first = 0;  // s
    int last = -1;  // e
    bool Empty() const { return length < 1 || last < first; }
};
StripRange ComputeStripRange(int rStart, int rEnd, int clipStart, int clipEnd);
