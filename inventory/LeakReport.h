#pragma once
// The leak test over stored readings, as the station keeps it and the reports show it: one
// row per tank and local day, the test made at the end of that day over the 28 days before.
// A day the station has tested already (LEAK_TESTS) shows what the station found then, the
// result its alarm was raised on; the other days are tested as the report is made.

#include "LeakTest.h"
#include "LeakTestTables.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class ReportSource;
class TSQLiteDatabase;
struct TItemNode;

struct LeakReportRow {
    int adr = 0;
    std::string name; // as stored
    double day = 0;   // local day number
    LeakTestResult result;
};

// The tests of the days [firstDay, lastDay] (local day numbers) of each tank; a day with a
// row of its tank in `stored` takes it and is not tested again. A day not over yet is
// tested up to `nowLocal`; days after it have no row. `step` is told after each tank (done,
// total) and stops the work when it returns false; then what was made so far is returned.
std::vector<LeakReportRow> LeakReport(ReportSource& source,
                                      const std::vector<std::shared_ptr<TItemNode>>& tanks,
                                      double firstDay, double lastDay, double offset,
                                      double nowLocal,
                                      const std::vector<StoredLeakTest>& stored = {},
                                      const std::function<bool(int, int)>& step = {});
// The same over data.db, with the station's stored results.
std::vector<LeakReportRow> LeakReport(TSQLiteDatabase& db,
                                      const std::vector<std::shared_ptr<TItemNode>>& tanks,
                                      double firstDay, double lastDay, double offset,
                                      double nowLocal,
                                      const std::function<bool(int, int)>& step = {});

// The local days the station tests now: every day over since the last one it tested, at
// most the 28 days one test spans; only the last day over when it never tested the tank.
std::vector<double> LeakDaysDue(std::optional<double> lastTested, double nowLocal);

// A result as LEAK_TESTS keeps it and back; a verdict text that is no verdict reads as
// inconclusive.
StoredLeakTest ToStoredLeakTest(const LeakReportRow& row, double offset);
LeakReportRow FromStoredLeakTest(const StoredLeakTest& s, const std::string& name);

// What a LEAK alarm says: "Leak test failed: 0.92 l/h lost (threshold 0.38 l/h, 95 % bound
// 1.10 l/h, 27 periods)".
std::string LeakAlarmText(const LeakTestResult& r);

// "Day","Tank","Name","Result","Rate l/h","Upper bound l/h","Threshold l/h","Periods",
// "Hours"
void AppendLeakCsv(std::string& out, const std::vector<LeakReportRow>& rows);
