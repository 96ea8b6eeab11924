#pragma once
// The computer's clock as day numbers.

#include "Clock.h"

class QDateTime;

class SystemClock : public Clock {
public:
    double LocalNow() const override;
    double UtcNow() const override;
    ClockReading Now() const override;
};

// Day number of a date-time's own calendar fields (no time zone conversion).
double DayNumber(const QDateTime& dt);
// The date-time whose calendar fields are those of the day number, in local time.
QDateTime FromDayNumber(double dayNumber);
