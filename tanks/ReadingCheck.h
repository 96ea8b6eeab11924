#pragma once
// Whether a sensor's reading, or a stored DATA row, can be a level at all. A sensor may send
// any 16-bit fuel code and any temperature byte; a code past the calibration table (4096 and
// up, 0xFFFF being what a sensor without its float sends) or a temperature no tank of fuel
// has (the byte's own ends, -128 and 127 °C, are what a broken thermometer sends) is no
// level. Such a reading is still stored, with flevel -1: no litres, so the chart, the events,
// the alarms and the reports pass it by, while its code and temperature stay for the record.

#include <cstdint>
#include <optional>
#include <string>

inline constexpr int32_t kNoLitres = -1;
inline constexpr int kMinFuelTemp = -60;          // °C, colder than any fuel kept in a tank
inline constexpr int kMaxFuelTemp = 90;           // °C, hotter than any fuel kept in a tank
inline constexpr int64_t kMaxTankLitres = 200000; // the most a calibration point admits

enum class ReadingFault { None, CodeOutsideCalibration, ImpossibleTemperature };

ReadingFault CheckReading(unsigned code, int temp);
// "fuel code 65535 is outside the calibration (0 to 4095)" and the like; empty for None.
std::string ReadingFaultText(ReadingFault fault, unsigned code, int temp);

// The litres of a stored row when they can be a level: a finite whole number from 0 to the
// most a calibration admits. `numeric` is false for a NULL, text or blob value.
std::optional<int32_t> StoredLitres(bool numeric, double value);
// A stored time when it can be one: a finite number after day 0 (NULL reads as 0).
bool StoredTimeUsable(bool numeric, double value);
