#pragma once
// The station's fixed text formats: "." as the decimal point, dates "dd/mm/yyyy", ":" in
// times, whatever the user's locale. Every number and date-time text goes through here.
// Built on std::to_chars and plain arithmetic, which never look at the C locale.

#include <cstdint>
#include <string>

namespace TextFormats {

// Fixed point with exactly `decimals` digits after ".", e.g. 41248.5000000000.
std::string Fixed(double v, int decimals);
// A timestamp as written into SQL text: ten decimals.
inline std::string Timestamp(double dayNumber) {
    return Fixed(dayNumber, 10);
}
// Up to 15 significant digits, "." as the decimal point (the REAL reading of a column).
std::string General15(double v);
std::string Int(int64_t v);
// Parses a decimal number with "." as the point; false for anything else.
bool ParseDouble(const std::string& text, double& out);

struct DateTimeParts {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, msec = 0;
};
// Day numbers <-> calendar parts (proleptic Gregorian, rounded to the millisecond).
DateTimeParts Split(double dayNumber);
double Join(const DateTimeParts& p);
double Join(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
            int msec = 0);
// Day of the week, Monday = 1 .. Sunday = 7.
int DayOfWeek(double dayNumber);

// "dd/mm/yyyy"
std::string ShortDate(double dayNumber);
// "hh:mm:ss", 24-hour
std::string LongTime(double dayNumber);
// "dd/mm/yyyy hh:mm:ss", without the blank and time when the time is exactly 00:00:00.
std::string DateTime(double dayNumber);

} // namespace TextFormats
