// Numbers and dates keep the station's fixed formats under any user locale.
#include "TextFormats.h"

#include <QLocale>
#include <QtTest>
#include <clocale>
#include <cstdio>

using namespace TextFormats;

class TextFormatsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // A user with a decimal comma: both the C library and Qt follow it.
        QVERIFY2(std::setlocale(LC_ALL, "de_DE.UTF-8"),
                 "run: localedef -i de_DE -f UTF-8 de_DE.UTF-8");
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        char b[16];
        std::snprintf(b, sizeof b, "%.1f", 1.5);
        QCOMPARE(QByteArray(b), QByteArray("1,5")); // the comma is really in force
    }

    void timestampsUseAPointAndTenDecimals() {
        QCOMPARE(Timestamp(41248.5), std::string("41248.5000000000"));
        QCOMPARE(Timestamp(0), std::string("0.0000000000"));
        QCOMPARE(Timestamp(-1.25), std::string("-1.2500000000"));
        QCOMPARE(General15(41248.5), std::string("41248.5"));
        QCOMPARE(General15(0.1 + 0.2), std::string("0.3"));
        QCOMPARE(Int(-5), std::string("-5"));
        double v = 0;
        QVERIFY(ParseDouble("41248.5", v) && v == 41248.5);
        QVERIFY(!ParseDouble("41248,5", v));
        QVERIFY(!ParseDouble("", v));
    }

    void dayNumbers() {
        QCOMPARE(Join(2012, 12, 5, 12, 0, 0), 41248.5);
        QCOMPARE(Join(1899, 12, 30), 0.0);
        QCOMPARE(Join(1900, 3, 1), 61.0);
        DateTimeParts p = Split(41248.5 + 1.0 / 86400000.0 * 999);
        QCOMPARE(p.year, 2012);
        QCOMPARE(p.month, 12);
        QCOMPARE(p.day, 5);
        QCOMPARE(p.hour, 12);
        QCOMPARE(p.msec, 999);
        // One millisecond before midnight stays on its day.
        p = Split(Join(2024, 2, 29, 23, 59, 59, 999));
        QCOMPARE(p.day, 29);
        QCOMPARE(p.second, 59);
        QCOMPARE(DayOfWeek(Join(2026, 12, 7)), 1); // a Monday
        QCOMPARE(DayOfWeek(Join(2026, 12, 13, 23, 0)), 7);
    }

    void dateTimeTexts() {
        QCOMPARE(ShortDate(Join(2012, 1, 5)), std::string("05/01/2012"));
        QCOMPARE(DateTime(Join(2012, 1, 5, 9, 3, 7)), std::string("05/01/2012 09:03:07"));
        QCOMPARE(DateTime(Join(2012, 1, 5, 0, 0, 0)), std::string("05/01/2012"));
        QCOMPARE(DateTime(Join(2012, 1, 5, 0, 0, 1)), std::string("05/01/2012 00:00:01"));
        QCOMPARE(DateTime(Join(2012, 1, 5, 23, 59, 59)), std::string("05/01/2012 23:59:59"));
    }
};

QTEST_APPLESS_MAIN(TextFormatsTest)
#include "test_text_formats.moc"
