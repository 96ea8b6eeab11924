#include "LeakTestTables.h"

#include "BoundSql.h"
#include "SQLiteDatabase.h"

namespace {

// The table's text, part of the file format.
constexpr const char* kCreateLeakTests =
    "CREATE TABLE LEAK_TESTS (adr INTEGER NOT NULL, day REAL NOT NULL, tested REAL NOT NULL, "
    "verdict TEXT NOT NULL, rate REAL, bound REAL, threshold REAL, sigma REAL, "
    "periods INTEGER, hours REAL, tfrom REAL, tto REAL, PRIMARY KEY (adr, day))";

#define LEAK_COLUMNS                                                                               \
    "adr, day, tested, verdict, rate, bound, threshold, sigma, periods, hours, tfrom, tto"

constexpr const char* kStore = "INSERT OR IGNORE INTO LEAK_TESTS (" LEAK_COLUMNS
                               ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
constexpr const char* kSelect = "SELECT " LEAK_COLUMNS " FROM LEAK_TESTS WHERE (? = 0 OR adr = ?) "
                                "AND day >= ? AND day <= ? ORDER BY adr, day";
constexpr const char* kNewest =
    "SELECT " LEAK_COLUMNS " FROM LEAK_TESTS t WHERE day = (SELECT max(day) FROM LEAK_TESTS "
    "WHERE adr = t.adr) ORDER BY adr";

StoredLeakTest ReadRow(const Row& r) {
    StoredLeakTest s;
    s.adr = static_cast<int>(r.Int(0));
    s.day = r.Real(1);
    s.tested = r.Real(2);
    s.verdict = r.Text(3);
    s.rate = r.Real(4);
    s.bound = r.Real(5);
    s.threshold = r.Real(6);
    s.sigma = r.Real(7);
    s.periods = static_cast<int>(r.Int(8));
    s.hours = r.Real(9);
    s.from = r.Real(10);
    s.to = r.Real(11);
    return s;
}

} // namespace

void AddLeakTestTables(TSQLiteDatabase& db) {
    if (!db.TableExists("LEAK_TESTS"))
        db.ExecSQL(kCreateLeakTests);
}

void StoreLeakTests(TSQLiteDatabase& db, const std::vector<StoredLeakTest>& rows) {
    for (const StoredLeakTest& s : rows)
        Exec(db, kStore,
             {int64_t(s.adr), s.day, s.tested, s.verdict, s.rate, s.bound, s.threshold, s.sigma,
              int64_t(s.periods), s.hours, s.from, s.to});
}

std::vector<StoredLeakTest> LoadLeakTests(TSQLiteDatabase& db, int adr, double firstDay,
                                          double lastDay) {
    std::vector<StoredLeakTest> rows;
    if (!db.TableExists("LEAK_TESTS"))
        return rows;
    Query(db, kSelect, {int64_t(adr), int64_t(adr), firstDay, lastDay},
          [&](const Row& r) { rows.push_back(ReadRow(r)); });
    return rows;
}

std::vector<StoredLeakTest> NewestLeakTests(TSQLiteDatabase& db) {
    std::vector<StoredLeakTest> rows;
    if (!db.TableExists("LEAK_TESTS"))
        return rows;
    Query(db, kNewest, {}, [&](const Row& r) { rows.push_back(ReadRow(r)); });
    return rows;
}
