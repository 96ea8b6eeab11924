#pragma once
// What the fill gauge of an active tile shows: plain arithmetic, no painting.

#include <cstdint>
#include <string>

constexpr int kGaugeWidth = 40;
constexpr int kGaugeHeight = 64;
constexpr int kGaugeCaptionThreshold = 20; // above it the percentage stands on the fill

struct TGaugeSetup {
    int fillHeight = 0;       // 64 x FL div Capacity; may be negative or exceed the box
    uint8_t percent = 0;      // FL x 100 div Capacity, kept in 8 bits (300 % reads 44 %)
    std::string fillCaption;  // shown centred on the coloured fill
    std::string gaugeCaption; // shown centred on the white box
};

// Capacity 0 gives no fill and 0 %.
TGaugeSetup SetupGauge(int32_t fl, int32_t capacity);

// The rows of the fill that can show inside a box of this height: a fill higher than the
// box fills it, a negative one shows nothing.
int VisibleFillHeight(int fillHeight, int boxHeight);
