#pragma once
// Everything the level chart of one tank over a period shows, read from data.db in one go,
// so that a window can read it on a thread of its own and only draw the result.

#include "ChartEvents.h"
#include "LevelSeries.h"

#include <vector>

class TSQLiteDatabase;

struct LevelChartData {
    std::vector<LevelPoint> points; // the level line in drawing order; empty: no reading
    std::vector<double> silences;   // the logged silences, local
    ChartEvents events;
};

// Reads the tank's readings, silences and events over the local period S..E in that order
// into `out`. What was read before a query fails stays in `out` when the failure is raised,
// so the chart can show the line even where a file lacks its later tables.
void ReadLevelChart(TSQLiteDatabase& db, int adr, double S, double E, double offset,
                    double nowLocal, LevelChartData& out);
