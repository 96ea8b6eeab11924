// Any 30 pairs of texts into the calibration build: never a crash, and a build that is
// accepted always leaves a table that keeps its promises.
#include "Calibration.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Texts are separated by newlines: code, litres, code, litres, ...
    TCalRows rows{};
    std::string cur;
    int field = 0;
    for (size_t i = 0; i < size && field < 60; ++i) {
        if (data[i] == '\n') {
            (field % 2 ? rows[field / 2].second : rows[field / 2].first) = cur;
            cur.clear();
            ++field;
        } else {
            cur += static_cast<char>(data[i]);
        }
    }
    if (field < 60)
        (field % 2 ? rows[field / 2].second : rows[field / 2].first) = cur;

    TItemNode node;
    node.FLC = size > 0 ? static_cast<uint16_t>(data[0] * 257) : 0;
    TCalibrationResult r = BuildCalibration(node, rows);
    if (!r.ok)
        return 0;
    const size_t n = r.points.size() - 1;
    if (n < 5 || n > 30)
        std::abort();
    for (int k = 1; k < kClbEntryCount; ++k)
        if (node.ClbArray[k] < node.ClbArray[k - 1])
            std::abort();
    for (size_t i = 0; i < n; ++i)
        if (node.ClbArray[node.FTable[i].Code] != static_cast<float>(node.FTable[i].Litres))
            std::abort();
    if (node.FL != LitresForCode(node, node.FLC))
        std::abort();
    return 0;
}
