#pragma once
// Time as the detector's files count it: days, as the readings are stamped.

#include "DayNumbers.h"

namespace detector_time {

inline constexpr double kMinute = 1.0 / kMinutesPerDay;
// A little below a minute's share of a day, so that readings stamped at whole minutes are
// not pushed out of a window by rounding.
inline constexpr double kSlack = 1e-9;

} // namespace detector_time
