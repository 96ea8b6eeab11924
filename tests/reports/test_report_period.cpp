// The eight report periods, computed from a chosen local "now".
#include "ReportPeriod.h"
#include "TextFormats.h"

#include <QtTest>

namespace {

// "yyyy-mm-dd hh:mm:ss.zzz" of a day number, to compare to the millisecond.
QString Text(double day) {
    const TextFormats::DateTimeParts p = TextFormats::Split(day);
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d.%03d", p.year, p.month, p.day, p.hour,
                             p.minute, p.second, p.msec);
}

double At(int y, int m, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return TextFormats::Join(y, m, d, h, mi, s, ms);
}

} // namespace

class TestReportPeriod : public QObject {
    Q_OBJECT

    void Check(int choice, double now, const char* start, const char* stop) {
        const ReportPeriod p = PeriodFor(choice, now, {});
        QCOMPARE(Text(p.start), QString(start));
        QCOMPARE(Text(p.stop), QString(stop));
    }

private slots:
    void onAMonday() {
        const double now = At(2026, 12, 7, 14, 30, 15, 250); // Monday
        QCOMPARE(TextFormats::DayOfWeek(now), 1);
        Check(0, now, "2026-12-07 00:00:00.000", "2026-12-07 14:30:15.250");
        Check(1, now, "2026-12-06 00:00:00.000", "2026-12-06 23:59:59.999");
        Check(2, now, "2026-12-07 00:00:00.000", "2026-12-07 14:30:15.250");
        Check(3, now, "2026-11-30 00:00:00.000", "2026-12-06 23:59:59.999");
        Check(4, now, "2026-12-01 00:00:00.000", "2026-12-07 14:30:15.250");
        Check(5, now, "2026-11-01 00:00:00.000", "2026-11-30 23:59:59.999");
        Check(6, now, "2026-11-01 00:00:00.000", "2026-12-07 14:30:15.250");
    }

    void onASunday() {
        const double now = At(2026, 12, 13, 9, 5); // Sunday
        QCOMPARE(TextFormats::DayOfWeek(now), 7);
        Check(2, now, "2026-12-07 00:00:00.000", "2026-12-13 09:05:00.000");
        Check(3, now, "2026-11-30 00:00:00.000", "2026-12-06 23:59:59.999");
    }

    void onTheFirstOfAMonth() {
        const double now = At(2026, 12, 1, 0, 0, 0, 1); // Tuesday
        Check(4, now, "2026-12-01 00:00:00.000", "2026-12-01 00:00:00.001");
        Check(5, now, "2026-11-01 00:00:00.000", "2026-11-30 23:59:59.999");
        Check(1, now, "2026-11-30 00:00:00.000", "2026-11-30 23:59:59.999");
        // The week began in the previous month.
        Check(2, now, "2026-11-30 00:00:00.000", "2026-12-01 00:00:00.001");
    }

    void inJanuary() {
        const double now = At(2027, 1, 15, 12);
        Check(5, now, "2026-12-01 00:00:00.000", "2026-12-31 23:59:59.999");
        Check(6, now, "2026-12-01 00:00:00.000", "2027-01-15 12:00:00.000");
    }

    void previousMonthOfALeapMarch() {
        Check(5, At(2024, 3, 31, 23, 59, 59, 999), "2024-02-01 00:00:00.000",
              "2024-02-29 23:59:59.999");
    }

    void customIntervalKeepsThePeriod() {
        const ReportPeriod held{At(2026, 1, 2, 3, 4, 5, 6), At(2026, 2, 3, 4, 5, 6, 7)};
        const ReportPeriod p = PeriodFor(7, At(2026, 12, 7, 10), held);
        QCOMPARE(p.start, held.start);
        QCOMPARE(p.stop, held.stop);
        QVERIFY(PickersEnabled(7));
        for (int i = 0; i < 7; ++i)
            QVERIFY(!PickersEnabled(i));
    }

    void pickedDateKeepsTheTimeOfDay() {
        QCOMPARE(Text(WithDate(At(2026, 12, 7, 14, 30, 15, 250), 2025, 2, 28)),
                 QString("2025-02-28 14:30:15.250"));
        QCOMPARE(Text(WithDate(At(2026, 12, 7), 2026, 11, 3)), QString("2026-11-03 00:00:00.000"));
    }
};

QTEST_APPLESS_MAIN(TestReportPeriod)
#include "test_report_period.moc"
