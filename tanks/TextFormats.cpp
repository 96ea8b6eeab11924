#include "TextFormats.h"
#include "DayNumbers.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace TextFormats {

std::string Fixed(double v, int decimals) {
    char buf[400];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    return std::string(buf, r.ptr);
}

std::string General15(double v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    return std::string(buf, r.ptr);
}

std::string Int(int64_t v) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

bool ParseDouble(const std::string& text, double& out) {
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+')
        ++first;
    double v = 0;
    auto [end, ec] = std::from_chars(first, last, v, std::chars_format::general);
    if (ec != std::errc() || end != last || first == last)
        return false;
    out = v;
    return true;
}

namespace {

constexpr int64_t kEpochToUnixDays = kUnixEpochDay; // 30/12/1899 .. 01/01/1970

// Days since 01/01/1970 <-> civil date (proleptic Gregorian).
void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int64_t TotalMs(double dayNumber) {
    if (!std::isfinite(dayNumber))
        return 0;
    return static_cast<int64_t>(std::llround(dayNumber * static_cast<double>(kMsPerDay)));
}

std::string Two(int v) {
    char b[8];
    std::snprintf(b, sizeof b, "%02d", v);
    return b;
}

} // namespace

DateTimeParts Split(double dayNumber) {
    const int64_t total = TotalMs(dayNumber);
    int64_t days = total / kMsPerDay;
    int64_t ms = total % kMsPerDay;
    if (ms < 0) {
        ms += kMsPerDay;
        --days;
    }
    DateTimeParts p;
    CivilFromDays(days - kEpochToUnixDays, p.year, p.month, p.day);
    p.hour = static_cast<int>(ms / 3600000);
    p.minute = static_cast<int>(ms / 60000 % 60);
    p.second = static_cast<int>(ms / 1000 % 60);
    p.msec = static_cast<int>(ms % 1000);
    return p;
}

double Join(const DateTimeParts& p) {
    return Join(p.year, p.month, p.day, p.hour, p.minute, p.second, p.msec);
}

double Join(int year, int month, int day, int hour, int minute, int second, int msec) {
    const int64_t days = DaysFromCivil(year, month, day) + kEpochToUnixDays;
    const int64_t ms = ((static_cast<int64_t>(hour) * 60 + minute) * 60 + second) * 1000 + msec;
    return static_cast<double>(days) + static_cast<double>(ms) / static_cast<double>(kMsPerDay);
}

int DayOfWeek(double dayNumber) {
    int64_t days = TotalMs(dayNumber) / kMsPerDay;
    if (TotalMs(dayNumber) % kMsPerDay < 0)
        --days;
    // Day 0 (30/12/1899) was a Saturday.
    int64_t w = (days + 5) % 7; // 0 = Monday
    if (w < 0)
        w += 7;
    return static_cast<int>(w) + 1;
}

std::string ShortDate(double dayNumber) {
    const DateTimeParts p = Split(dayNumber);
    char b[32];
    std::snprintf(b, sizeof b, "%02d/%02d/%04d", p.day, p.month, p.year);
    return b;
}

std::string LongTime(double dayNumber) {
    const DateTimeParts p = Split(dayNumber);
    return Two(p.hour) + ":" + Two(p.minute) + ":" + Two(p.second);
}

std::string DateTime(double dayNumber) {
    const DateTimeParts p = Split(dayNumber);
    if (p.hour == 0 && p.minute == 0 && p.second == 0 && p.msec == 0)
        return ShortDate(dayNumber);
    return ShortDate(dayNumber) + " " + LongTime(dayNumber);
}

} // namespace TextFormats
