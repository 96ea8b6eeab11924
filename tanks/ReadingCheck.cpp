#include "ReadingCheck.h"

#include "TItemNode.h"

#include <cmath>

ReadingFault CheckReading(unsigned code, int temp) {
    if (code >= static_cast<unsigned>(kClbEntryCount))
        return ReadingFault::CodeOutsideCalibration;
    if (temp < kMinFuelTemp || temp > kMaxFuelTemp)
        return ReadingFault::ImpossibleTemperature;
    return ReadingFault::None;
}

std::string ReadingFaultText(ReadingFault fault, unsigned code, int temp) {
    switch (fault) {
    case ReadingFault::CodeOutsideCalibration:
        return "fuel code " + std::to_string(code) + " is outside the calibration (0 to " +
               std::to_string(kClbEntryCount - 1) + ")";
    case ReadingFault::ImpossibleTemperature:
        return "temperature " + std::to_string(temp) + " degrees C is impossible (" +
               std::to_string(kMinFuelTemp) + " to " + std::to_string(kMaxFuelTemp) + ")";
    case ReadingFault::None:
        break;
    }
    return {};
}

std::optional<int32_t> StoredLitres(bool numeric, double value) {
    if (!numeric || !std::isfinite(value) || value < 0 || value > kMaxTankLitres ||
        value != std::floor(value))
        return std::nullopt;
    return static_cast<int32_t>(value);
}

bool StoredTimeUsable(bool numeric, double value) {
    return numeric && std::isfinite(value) && value > 0;
}
