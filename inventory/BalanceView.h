#pragma once
// What the Reports tab shows of a tank's balance, as texts and points: the balance table
// with its total row, the consumption bars with the 14-day mean, the days to empty, and the
// depot summary table. Plain C++, so the figures a window shows are tested without one.

#include "InventoryData.h"

#include <string>
#include <vector>

struct TextTable {
    std::vector<std::string> headers; // with their units: "Delivered, l", "Complete, %"
    std::vector<std::vector<std::string>> rows;
    int totalRows = 0; // the last rows are totals
};

// One row per balance row, then "Total". Net columns only when the tank has a density.
// A level or flow that cannot be known (no reading before the row) is an empty cell.
TextTable BalanceTable(const TankReport& report);

// The period of a row: "dd/mm/yyyy" for a calendar day, else its local start and end times,
// "dd/mm/yyyy hh:mm - hh:mm" (the end on the same or the next day).
std::string RowPeriodText(const BalanceRow& row);

// Consumption per row as bars and the 14-day mean as a line, in net litres when the tank has
// a density, else gross. Keys are local day numbers at the middle of each row; a row whose
// consumption is unknown has no bar, one without a mean no point on the line.
struct ConsumptionSeries {
    bool net = false;
    double barWidth = 1; // days
    std::vector<double> barKeys, barValues;
    std::vector<double> meanKeys, meanValues;
    // Every row's middle and its short name for the time axis: "dd/mm", or "dd/mm hh:mm"
    // for a shift.
    std::vector<double> rowKeys;
    std::vector<std::string> rowLabels;
};
ConsumptionSeries Consumption(const TankReport& report);

// "Empty about dd/mm/yyyy (n days)", or why no date is given: with fewer than 3 complete
// days, without consumption, too far ahead, or without a level at the end.
struct DaysToEmptyText {
    bool shown = false;
    std::string text;
};
DaysToEmptyText DaysToEmptyLine(const TankReport& report);

// The depot summary: one row per tank (its total over the period), then one total row per
// fuel type. Net columns only when some tank has net litres.
TextTable SummaryTable(const std::vector<TankBalance>& tanks);
