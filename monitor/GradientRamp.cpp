#include "GradientRamp.h"

#include <stdexcept>

namespace {

void RequireLength(int n) {
    if (n < 1)
        throw std::logic_error("Assertion failure");
}

int RampChannel(int a, int z, int i, int n) {
    const int delta = z - a;
    if (n == 1)
        return a + delta / 2;
    const int d = n - 1;
    const int half = d / 2;
    return a + (delta * i + half) / d; // C++ division truncates toward zero, as intended
}

} // namespace

ColorRamp BuildRamp(int n, ColorRef first, ColorRef last) {
    RequireLength(n);
    ColorRamp ramp(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        ramp[i] = MakeColorRef(RampChannel(RedOf(first), RedOf(last), i, n),
                               RampChannel(GreenOf(first), GreenOf(last), i, n),
                               RampChannel(BlueOf(first), BlueOf(last), i, n));
    }
    return ramp;
}

const ColorRamp& RampCache::Get(int n, ColorRef first, ColorRef last) {
    RequireLength(n);
    for (int slot = kSlots - 1; slot >= 0; --slot) {
        const ColorRamp& r = slots_[slot];
        if (static_cast<int>(r.size()) == n && r.front() == first && r.back() == last)
            return r;
    }
    ColorRamp& target = slots_[cursor_];
    target = BuildRamp(n, first, last);
    ++builds_;
    cursor_ = (cursor_ + 1) % kSlots;
    return target;
}

RampCache& SharedRampCache() {
    static RampCache cache;
    return cache;
}

StripRange ComputeStripRange(int rStart, int rEnd, int clipStart, int clipEnd) {
    StripRange range;
    range.length = rEnd - rStart;
    if (range.length < 1)
        return range;
    range.first = rStart < clipStart ? clipStart - rStart : 0;
    range.last = clipEnd < rEnd ? clipEnd - rStart - 1 : range.length - 1;
    return range;
}
