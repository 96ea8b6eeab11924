#include "GaugeSetup.h"

#include <algorithm>

TGaugeSetup SetupGauge(int32_t fl, int32_t capacity) {
    TGaugeSetup g;
    if (capacity != 0) {
        // 64-bit products: a large reading must not overflow; the quotients truncate.
        const int64_t height = int64_t{kGaugeHeight} * fl / capacity;
        const int64_t percent = int64_t{fl} * 100 / capacity;
        g.fillHeight = static_cast<int>(std::clamp<int64_t>(height, INT32_MIN, INT32_MAX));
        g.percent = static_cast<uint8_t>(percent & 0xFF);
    }
    const std::string text = std::to_string(g.percent) + "%";
    if (g.percent > kGaugeCaptionThreshold)
        g.fillCaption = text;
    else
        g.gaugeCaption = text;
    return g;
}

int VisibleFillHeight(int fillHeight, int boxHeight) {
    return std::clamp(fillHeight, 0, std::max(boxHeight, 0));
}
