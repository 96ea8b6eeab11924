#pragma once
// Book against gauge for one tank: what the pump meters say was sold and what the delivery
// notes say was brought, set against what the gauge measured. Plain C++ on values already
// read (the balance rows of inventory/Balance.h are the gauged side), so it is tested and
// benchmarked without a file, and reads no clock. Times are local day numbers; litres are
// gross (at the tank's temperature), as the meters and most notes count them.
//
// Per row (a day, or a shift with the station's shifts):
//   book closing = gauged opening + delivered per the notes − dispensed per the meters
//   variance     = gauged closing − book closing   (negative: fuel missing)
// A row without meter data has no book side at all: it is never taken as a day of no sales.

#include "Balance.h"
#include "EventTables.h"
#include "ReconciliationTables.h"

#include <optional>
#include <string>
#include <vector>

// What the operator may set per tank; the defaults are the common ones.
struct ReconTolerance {
    double dailyShare = 0.005; // of the row's throughput
    // Never tighter than this: the gauge reads each level to a few litres, so a quiet day's
    // variance is that noise, not a share of its sales.
    double dailyFloorLitres = 20;
    double monthlyShare = 0.01; // of the month's throughput
    double monthlyLitres = 492; // plus this
    double shortShare = 0.005;  // a delivery short by more than this share of the note
    int runDays = 3;            // rows out of tolerance in a row that raise the alarm
    // The trend rule: a one-sided sum in each direction of the variance beyond `trendSlack`
    // times the row's share of throughput, raised once it passes `trendLimit` times the mean
    // of those shares; neither below what the rows scatter by themselves (`scatterSlack` and
    // `scatterLimit` standard deviations of a row's variance, estimated from the rows so far).
    double trendSlack = 0.25;
    double trendLimit = 1.75;
    double scatterSlack = 0.25, scatterLimit = 4;
    // The trend is taken against the tank's own drift (variance per litre sold) over the
    // passing rows before it; at most `driftShare`.
    double driftShare = 0.0025;
    double matchWindowHours = 6; // how far a note may lie from the measured delivery
};

enum class ReconStatus { NoData, Pass, Investigate, Fail };
// "no meter data", "pass", "investigate", "fail"
const char* StatusText(ReconStatus s);

struct ReconRow {
    double start = 0, stop = 0;
    std::optional<int64_t> opening, gaugedClosing; // from the balance
    double deliveredNoted = 0, deliveredMeasured = 0;
    std::optional<double> dispensed; // none: no meter data
    std::optional<double> bookClosing, variance, variancePct, cumulative;
    double tolerance = 0; // litres, this row's
    ReconStatus status = ReconStatus::NoData;
    std::string remark; // why a row has no book side, when not obvious
};

// One note and the delivery the gauge measured, or either alone.
struct DeliveryMatch {
    std::optional<DeliveryNote> note;
    std::optional<EventRow> measured;
    std::optional<double> measuredGross, measuredNet; // litres, sales during the drop added
    std::optional<double> notedNet;                   // litres at 15 °C by the note's values
    std::optional<double> overGross, overGrossPct, overNet, overNetPct; // measured − noted
    bool shortFlag = false;
};

enum class ReconAlarmKind { ShortDelivery, VarianceRun, Trend };
struct ReconAlarm {
    ReconAlarmKind kind = ReconAlarmKind::Trend;
    int adr = 0;
    double time = 0; // local: the drop, or the end of the row that raised it
    std::string text;
};

struct MonthCheck {
    int year = 0, month = 0;
    double throughput = 0, variance = 0, limit = 0;
    int rows = 0, rowsWithoutData = 0;
    bool pass = true;
};

struct TankReconciliation {
    int adr = 0;
    std::vector<ReconRow> rows;
    std::vector<DeliveryMatch> matches;
    std::vector<MonthCheck> months;
    std::vector<ReconAlarm> alarms;
};

struct ReconInput {
    int adr = 0;
    const std::vector<BalanceRow>* balance = nullptr; // rows of the period, in order
    // The tank's readings (UTC), for the sales during a drop; may be empty.
    const std::vector<StoredReading>* readings = nullptr;
    const std::vector<EventRow>* events = nullptr; // measured deliveries (others ignored)
    std::vector<MeterEntry> meters;  // the tank's, may reach before the period (totalisers)
    std::vector<DeliveryNote> notes; // the tank's
    std::optional<double> density;   // the tank's, for a note's net litres without its own
    double offset = 0;               // local minus UTC, days
    ReconTolerance tolerance;
};

// The litres dispensed per row from the entries of one tank; none for a row without any.
// Several dispensed figures in one row are added. A totaliser row needs the reading of the
// row just before (in `bounds` or the period just before the first); a reading that went
// back gives none, with the reason in `remarks` (same size as the rows).
std::vector<std::optional<double>> DispensedPerRow(const std::vector<MeterEntry>& entries,
                                                   const std::vector<double>& bounds,
                                                   std::vector<std::string>* remarks = nullptr);

// Pairs notes with measured deliveries: nearest in time first, each at most once, within
// the window; then every note and delivery left over on its own. In time order.
std::vector<DeliveryMatch> MatchDeliveries(const ReconInput& in);

TankReconciliation Reconcile(const ReconInput& in);
