#pragma once
// The calibration build run by the tank editor's "Calculate".

#include "TItemNode.h"

#include <array>
#include <string>
#include <utility>
#include <vector>

// One grid row: the code text and the litres text.
using TCalRowTexts = std::pair<std::string, std::string>;
using TCalRows = std::array<TCalRowTexts, kCalPointCount>;

struct TChartPoint {
    double x = 0; // code
    double y = 0; // litres
    bool operator==(const TChartPoint&) const = default;
};

struct TCalibrationResult {
    bool ok = false;
    std::string message;             // one of the three texts below when !ok
    std::vector<TChartPoint> points; // the origin and every point, when ok
};

inline constexpr const char* kMsgSomethingWrong = "Something is wrong! Please check entered data!";
inline constexpr const char* kMsgNotEnough =
    "Not enough data. You should enter at least 5 records!";
inline constexpr const char* kMsgRecheck =
    "Recheck entered data. Every next entry should be larger than previous";

// Reads the rows into node.FTable, checks them and rebuilds ClbArray, Capacity and FL.
// On refusal ClbArray, Capacity and FL are unchanged; FTable keeps what was read.
TCalibrationResult BuildCalibration(TItemNode& node, const TCalRows& rows);

// Parses a decimal integer as the editor's checks do: optional sign, digits, nothing else.
bool ParseInt32(const std::string& text, int32_t& out);
