#pragma once
// The report period of the Reports tab: the eight choices of "Report Interval", computed from
// one reading of the local clock so that any weekday or month can be tested.

#include <array>

// Start and stop in local time, day numbers with the time of day as the fraction.
struct ReportPeriod {
    double start = 0;
    double stop = 0;
};

enum class IntervalChoice : int {
    Today = 0,
    Yesterday,
    CurrentWeek,
    LastWeek,
    CurrentMonth,
    PreviousMonth,
    LastMonthToToday,
    Custom
};

inline constexpr int kIntervalCount = 8;
inline constexpr std::array<const char*, kIntervalCount> kIntervalCaptions = {
    "Today",
    "Yesterday",
    "Current week",
    "Last week",
    "Current month",
    "Previous month",
    "Beginning of last month to today",
    "Custom interval"};

// The period for a choice at local time `now`; "Custom interval" (and anything out of range)
// returns `current` unchanged.
ReportPeriod PeriodFor(int choice, double now, ReportPeriod current);

// True when the date pickers are editable for this choice.
inline bool PickersEnabled(int choice) {
    return choice == static_cast<int>(IntervalChoice::Custom);
}

// A date picked in a picker keeps the time of day the picker held.
double WithDate(double held, int year, int month, int day);

// The pickers show date and time to the second, and a custom interval means what they show:
// from the start's second to the end of the stop's second, so that a stop shown as 23:59:59
// takes in the whole of that second, as "Yesterday" does.
double ShownStart(double t);
double ShownStop(double t);
inline ReportPeriod ShownPeriod(ReportPeriod p) {
    return {ShownStart(p.start), ShownStop(p.stop)};
}
