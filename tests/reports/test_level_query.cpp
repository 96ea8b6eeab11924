// Reading samples and silences back: one offset per report, exclusive bounds, values read by
// their stored type exactly as their text would read.
#include "Clock.h"
#include "LevelQuery.h"
#include "ReportsTestDb.h"
#include "TextFormats.h"

#include <QtTest>

namespace {

double At(int h, int m, int s = 0, int ms = 0) {
    return TextFormats::Join(2026, 12, 7, h, m, s, ms);
}
constexpr double kTwoHours = 2.0 / 24.0;

} // namespace

class TestLevelQuery : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void offsetIsLocalMinusUtc() {
        ManualClock east(At(10, 0), kTwoHours);
        QCOMPARE(LocalOffset(east), kTwoHours);
        ManualClock west(At(10, 0), -5.5 / 24.0);
        QCOMPARE(LocalOffset(west), -5.5 / 24.0);
        // Milliseconds between the two clock readings do not shift the chart.
        ManualClock jitter(At(10, 0), kTwoHours - 3 / 86400000.0);
        QCOMPARE(LocalOffset(jitter), kTwoHours);
    }

    void storedUtcIsShownLocal() {
        ReportsTestDb t;
        t.Level(At(8, 0), 1, 500); // stored at 08:00 UTC by a station at UTC+2
        const auto s = QueryLevels(*t.db, 1, At(9, 59), At(10, 30), kTwoHours);
        QCOMPARE(s.size(), std::size_t(1));
        QCOMPARE(TextFormats::LongTime(s[0].x), std::string("10:00:00"));
        QCOMPARE(s[0].y, 500);
        // The period starting at 10:00 local is queried from 08:00 UTC, exclusive.
        QVERIFY(QueryLevels(*t.db, 1, At(10, 0), At(10, 30), kTwoHours).empty());
    }

    void boundsAreExclusive() {
        ReportsTestDb t;
        for (int m = 0; m <= 4; ++m)
            t.Level(At(10, m), 3, m);
        t.Level(At(10, 2), 4, 99); // another address
        const auto s = QueryLevels(*t.db, 3, At(10, 1), At(10, 4), 0);
        QCOMPARE(s.size(), std::size_t(2));
        QCOMPARE(s[0].y, 2);
        QCOMPARE(s[1].y, 3);
        const auto e0 = QueryErrors(*t.db, 3, At(10, 1), At(10, 4), 0);
        QVERIFY(e0.empty());
        t.Silence(At(10, 1), 3);
        t.Silence(At(10, 2), 3);
        t.Silence(At(10, 4), 3);
        t.Silence(At(10, 3), 5);
        const auto e = QueryErrors(*t.db, 3, At(10, 1), At(10, 4), 0);
        QCOMPARE(e.size(), std::size_t(1));
        QCOMPARE(TextFormats::LongTime(e[0]), std::string("10:02:00"));
    }

    void stopBeforeStartSelectsNothing() {
        ReportsTestDb t;
        t.Level(At(10, 30), 1, 1);
        QVERIFY(QueryLevels(*t.db, 1, At(11, 0), At(10, 0), 0).empty());
    }

    void storedValuesReadAsTheirText() {
        // Whatever the station wrote, the double read directly equals the 15-digit text of
        // the column parsed back, which is what the report draws.
        ReportsTestDb t;
        const double odd[] = {At(0, 0, 0, 1), At(13, 37, 42, 123), At(23, 59, 59, 999),
                              TextFormats::Join(1999, 12, 31, 23, 59, 59, 999)};
        for (double v : odd)
            t.Level(v, 1, -7);
        const auto s = QueryLevels(*t.db, 1, 0, 1e6, 0);
        TSQLiteTable table = t.db->GetTable("SELECT tstamp, flevel FROM DATA");
        QCOMPARE(s.size(), std::size_t(table.Count()));
        for (const fdata& d : s) {
            double viaText = 0;
            QVERIFY(TextFormats::ParseDouble(table.FieldText("tstamp"), viaText));
            QCOMPARE(d.x, viaText);
            QCOMPARE(std::to_string(d.y), table.FieldText("flevel"));
            table.Next();
        }
    }

    void textValuesAreParsedAndBadOnesFail() {
        ReportsTestDb t;
        t.db->ExecSQL("INSERT INTO DATA (tstamp, adr, flevel) VALUES (46000.25, 2, '250')");
        auto s = QueryLevels(*t.db, 2, 46000, 46001, 0);
        QCOMPARE(s.size(), std::size_t(1));
        QCOMPARE(s[0].y, 250);
        t.db->ExecSQL("INSERT INTO DATA (tstamp, adr, flevel) VALUES (46000.5, 2, 'full')");
        QVERIFY_THROWS_EXCEPTION(std::exception, QueryLevels(*t.db, 2, 46000, 46001, 0));
        t.db->ExecSQL("DELETE FROM DATA");
        t.db->ExecSQL("INSERT INTO DATA (tstamp, adr, flevel) VALUES (46000.5, 2, 4294967296)");
        QVERIFY_THROWS_EXCEPTION(std::exception, QueryLevels(*t.db, 2, 46000, 46001, 0));
    }

    // A hand-made file whose times are texts: SQLite compares them as texts, so a time that
    // is no finite number, or lies far outside the period, passes the statement's bounds.
    void timesThatAreNoReadingOfThePeriodAreSkipped() {
        TSQLiteDatabase db(dir.filePath("texts.db").toStdString());
        db.ExecSQL("CREATE TABLE DATA (tstamp TEXT, adr INTEGER, flevel INTEGER)");
        db.ExecSQL("CREATE TABLE ERROR (tstamp TEXT, adr INTEGER, code INTEGER)");
        for (const char* table : {"DATA", "ERROR"})
            db.ExecSQL(std::string("INSERT INTO ") + table +
                       " VALUES ('46000.5', 1, 7), ('46000.5e999', 1, 8), ('46000.6e300', 1, 9), "
                       "('46000.7', 1, 10)");
        const auto s = QueryLevels(db, 1, 46000, 46001, 0);
        QCOMPARE(s.size(), std::size_t(2));
        QCOMPARE(s[0].y, 7);
        QCOMPARE(s[1].y, 10);
        QCOMPARE(QueryErrors(db, 1, 46000, 46001, 0), (std::vector<double>{46000.5, 46000.7}));
    }

    void everyRowIsKept() {
        // More rows than any fixed buffer would hold.
        ReportsTestDb t;
        t.db->ExecSQL("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n "
                      "WHERE i < 149999) INSERT INTO DATA (tstamp, adr, flevel) "
                      "SELECT 46000 + i / 1440.0, 1, i FROM n");
        const auto s = QueryLevels(*t.db, 1, 45999, 47000, 0);
        QCOMPARE(s.size(), std::size_t(150000));
        QCOMPARE(s.back().y, 149999);
    }
};

QTEST_APPLESS_MAIN(TestLevelQuery)
#include "test_level_query.moc"
