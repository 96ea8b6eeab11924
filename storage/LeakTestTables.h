#pragma once
// The daily leak test's results, kept beside the other tables (which stay as they are):
// LEAK_TESTS holds one row per tank and local day, the test made at the end of that day.
// A day that has its row is never tested again, and the row outlives a restart. Every
// statement binds its values.

#include <optional>
#include <string>
#include <vector>

class TSQLiteDatabase;

struct StoredLeakTest {
    int adr = 0;
    double day = 0;      // local day number of the day tested
    double tested = 0;   // UTC day number the test was made at (the day's end)
    std::string verdict; // "pass", "fail", "inconclusive"
    double rate = 0;     // l/h lost
    double bound = 0;    // upper 95 % bound, l/h
    double threshold = 0;
    double sigma = 0;
    int periods = 0;
    double hours = 0;
    double from = 0, to = 0; // UTC span of the readings used
    bool operator==(const StoredLeakTest&) const = default;
};

// The schema step that adds LEAK_TESTS (when missing); run by MigrateSchema inside its
// transaction. Raises SQLiteError.
void AddLeakTestTables(TSQLiteDatabase& db);

// Stores the results, inside the write transaction of the caller (the write queue's): a day
// already stored keeps its first row, the one its alarm was raised on. Raises SQLiteError.
void StoreLeakTests(TSQLiteDatabase& db, const std::vector<StoredLeakTest>& rows);

// The rows of [firstDay, lastDay] (local day numbers), by tank and day; adr 0 for every
// tank. A file without the table (an older station's) has none. Raises SQLiteError.
std::vector<StoredLeakTest> LoadLeakTests(TSQLiteDatabase& db, int adr, double firstDay,
                                          double lastDay);

// The newest stored row of each tank, by tank.
std::vector<StoredLeakTest> NewestLeakTests(TSQLiteDatabase& db);
