#include "SystemClock.h"

#include "TextFormats.h"

#include <QDateTime>

double DayNumber(const QDateTime& dt) {
    const QDate d = dt.date();
    const QTime t = dt.time();
    return TextFormats::Join(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(),
                             t.msec());
}

QDateTime FromDayNumber(double dayNumber) {
    const TextFormats::DateTimeParts p = TextFormats::Split(dayNumber);
    return QDateTime(QDate(p.year, p.month, p.day), QTime(p.hour, p.minute, p.second, p.msec));
}

double SystemClock::LocalNow() const {
    return DayNumber(QDateTime::currentDateTime());
}

double SystemClock::UtcNow() const {
    return DayNumber(QDateTime::currentDateTimeUtc());
}

ClockReading SystemClock::Now() const {
    const QDateTime utc = QDateTime::currentDateTimeUtc();
    return {DayNumber(utc.toLocalTime()), DayNumber(utc)};
}
