#pragma once
// Reading what the inventory reports need from data.db, and nothing else: every query runs
// to its end before its rows are used, so no read lock outlives the call, and nothing is
// ever written. Events are the stored EVENTS rows plus, for readings the station has not
// examined yet, those the very detector of the station finds in them now.

#include "Balance.h"
#include "EventTables.h"
#include "TItemNode.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class ReportSource;
class TSQLiteDatabase;

// The tanks of TANKS in their stored order (pictures and tables loaded as for the station).
std::vector<std::shared_ptr<TItemNode>> LoadReportTanks(TSQLiteDatabase& db);

// A tank's readings in [utcFrom, utcTo), oldest first, preceded by the last reading before
// utcFrom when `withOpening` and there is one. Rows whose time is no finite number are
// skipped.
std::vector<StoredReading> QueryReadings(TSQLiteDatabase& db, int adr, double utcFrom, double utcTo,
                                         bool withOpening = false);

// The tank's density for net litres (its event setting, else its fuel type); none without.
std::optional<double> ReportDensity(TSQLiteDatabase& db, const TItemNode& tank);

// Deliveries, losses and alarms of the tank that overlap [utcFrom, utcTo), oldest first:
// the stored ones, and those found now in the readings after the tank's examined mark
// (with ids of 0). A file without the event tables gives only the events found now.
std::vector<EventRow> ReportEvents(TSQLiteDatabase& db, const TItemNode& tank, double utcFrom,
                                   double utcTo, double offset);

// All a tank's report of a period needs, read in one go.
struct TankReport {
    std::shared_ptr<TItemNode> tank;
    std::optional<double> density;
    std::vector<StoredReading> readings; // the opening reading first, when there is one
    std::vector<EventRow> events;
    std::vector<BalanceRow> balance;
    std::optional<DaysToEmpty> toEmpty;
};

// `bounds` are the local boundaries of the balance rows (BalanceBoundaries); the readings
// and events are those of [bounds.front(), bounds.back()).
TankReport LoadTankReport(TSQLiteDatabase& db, std::shared_ptr<TItemNode> tank,
                          const std::vector<double>& bounds, double offset, double nowLocal);
// The same over any source (data.db or a station on the central server).
TankReport LoadTankReport(ReportSource& source, std::shared_ptr<TItemNode> tank,
                          const std::vector<double>& bounds, double offset, double nowLocal);

// The depot summary of every active tank over the period. `step`, when given, is told the
// tanks summed so far and their number before each tank and at the end; when it returns
// false the summary stops there with the tanks summed so far (a window's "Cancel").
using SummaryStep = std::function<bool(int done, int total)>;
std::vector<TankBalance> DepotSummary(TSQLiteDatabase& db,
                                      const std::vector<std::shared_ptr<TItemNode>>& tanks,
                                      const std::vector<double>& bounds, double offset,
                                      double nowLocal, const SummaryStep& step = {});
std::vector<TankBalance> DepotSummary(ReportSource& source,
                                      const std::vector<std::shared_ptr<TItemNode>>& tanks,
                                      const std::vector<double>& bounds, double offset,
                                      double nowLocal, const SummaryStep& step = {});
