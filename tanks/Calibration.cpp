#include "Calibration.h"

#include <charconv>

bool ParseInt32(const std::string& text, int32_t& out) {
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+')
        ++first;
    if (first == last)
        return false;
    int32_t v = 0;
    auto [end, ec] = std::from_chars(first, last, v);
    if (ec != std::errc() || end != last)
        return false;
    out = v;
    return true;
}

namespace {

// Reads the grid's complete rows into FTable as they come, up to the first incomplete one. Returns
// false when a text is not an integer, or a code lies outside the table (it would index past
// ClbArray).
bool ReadRows(TItemNode& node, const TCalRows& rows, int& n) {
    n = 0;
    for (int r = 0; r < kCalPointCount; ++r) {
        const auto& [codeText, litresText] = rows[r];
        if (codeText.empty() || litresText.empty())
            return true;
        int32_t code = 0, litres = 0;
        if (!ParseInt32(codeText, code) || code < 0 || code >= kClbEntryCount)
            return false;
        node.FTable[r].Code = static_cast<uint16_t>(code);
        if (!ParseInt32(litresText, litres))
            return false;
        node.FTable[r].Litres = static_cast<uint32_t>(litres);
        n = r + 1;
    }
    return true;
}

bool HasStrayRows(const TCalRows& rows, int n) {
    for (int r = n; r < kCalPointCount; ++r)
        if (!rows[r].first.empty() || !rows[r].second.empty())
            return true;
    return false;
}

bool RisesStrictly(const TFTable& t, int n) {
    for (int i = 1; i < n; ++i)
        if (t[i - 1].Code >= t[i].Code || t[i - 1].Litres >= t[i].Litres)
            return false;
    return true;
}

void BuildTable(TItemNode& node, int n) {
    int64_t cp = 0;
    int64_t lp = 0;
    for (int i = 0; i < n; ++i) {
        const int64_t ci = node.FTable[i].Code;
        const int64_t li = node.FTable[i].Litres;
        if (ci != cp) {
            for (int64_t k = cp; k <= ci; ++k) {
                // Exact 64-bit product, then one rounding to single precision on store.
                const int64_t product = (k - cp) * (li - lp);
                const double v = static_cast<double>(lp) +
                                 static_cast<double>(product) / static_cast<double>(ci - cp);
                node.ClbArray[k] = static_cast<float>(v);
            }
        }
        cp = ci;
        lp = li;
    }
    for (int64_t k = cp; k < kClbEntryCount; ++k)
        node.ClbArray[k] = static_cast<float>(lp);
}

} // namespace

TCalibrationResult BuildCalibration(TItemNode& node, const TCalRows& rows) {
    TCalibrationResult result;
    int n = 0;
    const bool readable = ReadRows(node, rows, n);
    if (!readable || HasStrayRows(rows, n)) {
        result.message = kMsgSomethingWrong;
        return result;
    }
    if (n < 5) {
        result.message = kMsgNotEnough;
        return result;
    }
    if (!RisesStrictly(node.FTable, n)) {
        result.message = kMsgRecheck;
        return result;
    }
    result.points.push_back({0, 0});
    for (int i = 0; i < n; ++i)
        result.points.push_back(
            {static_cast<double>(node.FTable[i].Code), static_cast<double>(node.FTable[i].Litres)});
    BuildTable(node, n);
    node.Capacity = LitresForCode(node, kClbEntryCount - 1);
    node.FL = LitresForCode(node, node.FLC);
    result.ok = true;
    return result;
}
