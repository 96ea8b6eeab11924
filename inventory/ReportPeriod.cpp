#include "ReportPeriod.h"

#include "DayNumbers.h"
#include "TextFormats.h"

namespace {

constexpr double kOneMs = 1.0 / kMsPerDay;

double Midnight(double t) {
    const TextFormats::DateTimeParts p = TextFormats::Split(t);
    return TextFormats::Join(p.year, p.month, p.day);
}

double FirstOfMonth(double t) {
    const TextFormats::DateTimeParts p = TextFormats::Split(t);
    return TextFormats::Join(p.year, p.month, 1);
}

double FirstOfPreviousMonth(double t) {
    const TextFormats::DateTimeParts p = TextFormats::Split(t);
    if (p.month == 1)
        return TextFormats::Join(p.year - 1, 12, 1);
    return TextFormats::Join(p.year, p.month - 1, 1);
}

} // namespace

ReportPeriod PeriodFor(int choice, double now, ReportPeriod current) {
    const double today = Midnight(now);
    const int d = TextFormats::DayOfWeek(now);
    const double monday = today - (d - 1);
    switch (static_cast<IntervalChoice>(choice)) {
    case IntervalChoice::Today:
        return {today, now};
    case IntervalChoice::Yesterday:
        return {today - 1, today - kOneMs};
    case IntervalChoice::CurrentWeek:
        return {monday, now};
    case IntervalChoice::LastWeek:
        return {today - (d + 6), monday - kOneMs};
    case IntervalChoice::CurrentMonth:
        return {FirstOfMonth(now), now};
    case IntervalChoice::PreviousMonth:
        return {FirstOfPreviousMonth(now), FirstOfMonth(now) - kOneMs};
    case IntervalChoice::LastMonthToToday:
        return {FirstOfPreviousMonth(now), now};
    case IntervalChoice::Custom:
        break;
    }
    return current;
}

double WithDate(double held, int year, int month, int day) {
    const TextFormats::DateTimeParts p = TextFormats::Split(held);
    return TextFormats::Join(year, month, day, p.hour, p.minute, p.second, p.msec);
}

double ShownStart(double t) {
    TextFormats::DateTimeParts p = TextFormats::Split(t);
    p.msec = 0;
    return TextFormats::Join(p);
}

double ShownStop(double t) {
    TextFormats::DateTimeParts p = TextFormats::Split(t);
    p.msec = 999;
    return TextFormats::Join(p);
}
