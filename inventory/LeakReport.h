#pragma once
// The leak test over stored readings, as the report tool writes it: one row per tank and
// local day, the test made at the end of that day over the 28 days before.

#include "LeakTest.h"

#include <memory>
#include <string>
#include <vector>

class TSQLiteDatabase;
struct TItemNode;

struct LeakReportRow {
    int adr = 0;
    std::string name; // as stored
    double day = 0;   // local day number
    LeakTestResult result;
};

// Reads each tank's readings and events once; the days are local day numbers, inclusive.
std::vector<LeakReportRow> LeakReport(TSQLiteDatabase& db,
                                      const std::vector<std::shared_ptr<TItemNode>>& tanks,
                                      double firstDay, double lastDay, double offset,
                                      double nowLocal);

// "Day","Tank","Name","Result","Rate l/h","Upper bound l/h","Threshold l/h","Periods",
// "Hours"
void AppendLeakCsv(std::string& out, const std::vector<LeakReportRow>& rows);
