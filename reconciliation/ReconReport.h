#pragma once
// The reconciliation as the reports show it: read from data.db for a period, as text tables
// (the Reconciliation page and the PDF), as CSV, and the report tool's
// `--what reconciliation` and `--what deliveries`.

#include "BalanceView.h"
#include "InventoryData.h"
#include "Reconciliation.h"
#include "ReportTool.h"

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

class Clock;
class TSQLiteDatabase;

// The tank's tolerances: the stored ones over the defaults.
ReconTolerance ToleranceOf(TSQLiteDatabase& db, int adr);

struct TankReconReport {
    std::shared_ptr<TItemNode> tank;
    TankReconciliation rec;
    ReconTolerance tolerance;
};

// Reads the gauged side (the balance over `bounds`), the meter figures (and the period
// before, for totaliser differences), the notes and the tolerances, and reconciles. A file
// without the reconciliation's tables gives rows without meter data. Raises SQLiteError.
TankReconReport LoadTankReconciliation(TSQLiteDatabase& db, std::shared_ptr<TItemNode> tank,
                                       const std::vector<double>& bounds, double offset,
                                       double nowLocal);
// The same over any source (the central server): its book, its readings and events.
TankReconReport LoadTankReconciliation(ReportSource& source, std::shared_ptr<TItemNode> tank,
                                       const std::vector<double>& bounds, double offset,
                                       double nowLocal);

// One row per period: period, opening, delivered noted and measured, dispensed, book
// closing, gauged closing, variance l and %, cumulative, tolerance, status.
TextTable ReconTable(const TankReconciliation& rec);
// One row per note or measured delivery: note time, number, supplier, billed l, measured
// gross l, over/short gross l and %, net l and %, and whether it was flagged.
TextTable MatchTable(const TankReconciliation& rec, double offset);
// The month's check per calendar month.
TextTable MonthTable(const TankReconciliation& rec);
// "mm/yyyy", with ", dd/mm-dd/mm only" when the reconciled periods cover part of the month.
std::string MonthLabel(const TankReconciliation& rec, const MonthCheck& m);

// The tables as CSV lines (UTF-8, CR LF), each with the tank number and name first;
// `header` only for the first tank.
void AppendReconCsv(std::string& out, const TankReconReport& r, bool header);
void AppendDeliveriesCsv(std::string& out, const TankReconReport& r, double offset, bool header);

// Renders the PDF of the tanks' reconciliations over the local period [from, to); returns
// an empty string on success, else why the file could not be written.
using ReconPdfRenderer = std::function<std::string(
    const std::string& output, bool deliveries, const std::vector<TankReconReport>& tanks,
    double from, double to, double offset, double nowLocal)>;

// Stores the alarms as EVENTS rows of kind "reconciliation" (start at the alarm's time in
// UTC, the text as the memo), so the Events tab lists them beside the others; an alarm
// stored before (same tank, time and kind) stays one row. Raises SQLiteError.
void StoreReconAlarms(TSQLiteDatabase& db, const TankReconciliation& rec, double offset);

// True when the arguments ask for one of the reconciliation's reports.
bool IsReconReport(const std::vector<std::string>& args);
// The report tool for --what reconciliation|deliveries, with the other arguments as for the
// other reports. Exit codes are ReportExit's.
// Over --central (CSV only), the book each station last sent.
int RunReconReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   const Clock& clock, const ReconPdfRenderer& pdf = {},
                   const CentralOpener& central = {});
