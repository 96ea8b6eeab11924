#pragma once
// The tables of fuel events, added beside TANKS, DATA and ERROR (which stay as they are):
// EVENTS (deliveries, losses and alarms), EVENT_SETTINGS (per-tank density, thresholds and
// quiet hours) and EVENT_MARKS (how far each tank's stored readings have been examined).
// Every statement binds its values. Times are UTC day numbers, as DATA's tstamp.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class Row;
class TSQLiteDatabase;

// ---- schema ----

// The schema version this station writes: 1 adds the three event tables, 2 the tables of
// the reconciliation (ReconciliationTables.h).
inline constexpr int kSchemaVersion = 2;

struct SchemaResult {
    bool eventsUsable = false;
    // Why events are off, for one line in the Errors log; empty when usable.
    std::string reason;
};

// Brings the file up to kSchemaVersion: every step from the file's PRAGMA user_version
// runs in one transaction together with the new version number, so a step cut short leaves
// the file as it was. Tables are created only when missing. A file of a later version is
// left as it is. Afterwards the event tables are checked for the columns this station uses;
// a read-only file, one whose tables have other columns, or any failure gives
// eventsUsable false with the reason; nothing is ever raised and the three tables of the
// readings are never touched.
SchemaResult MigrateSchema(TSQLiteDatabase& db);

// ---- EVENTS ----

// One EVENTS row. `kind` is "delivery", "loss", "low", "high" or "silent".
struct EventRow {
    int64_t id = 0; // 0 before it is stored
    int adr = 0;
    std::string kind;
    double tstart = 0;
    std::optional<double> tend;             // NULL while a delivery, loss or alarm is going on
    std::optional<int64_t> vbefore, vafter; // gross litres
    std::optional<int64_t> nbefore, nafter; // net litres at 15 °C, NULL where unknown
    std::optional<int64_t> tbefore, tafter; // °C
    std::optional<double> acked;            // NULL until acknowledged
    std::string memo;
};

// Stores a delivery or loss by its key (adr, kind, tstart): updates the row with that key
// when there is one, else inserts it. Storing the same event twice (a history examined
// again after a crash) therefore leaves one row. `acked` and `memo` of an existing row are
// kept. Returns the row's id. Raises SQLiteError.
int64_t StoreFuelEvent(TSQLiteDatabase& db, const EventRow& row);

// Inserts an alarm row (tend and acked as given, normally NULL); returns its id.
int64_t InsertAlarmEvent(TSQLiteDatabase& db, const EventRow& row);
// Sets the end (and the level at the end) of the alarm row; nothing for an unknown id.
void EndAlarmEvent(TSQLiteDatabase& db, int64_t id, double tend, std::optional<int64_t> vafter,
                   std::optional<int64_t> nafter, std::optional<int64_t> tafter);
// Sets `acked` of the row when it is still NULL.
void AcknowledgeEvent(TSQLiteDatabase& db, int64_t id, double utc);
// Sets `acked` of every loss row of the tank that is not yet acknowledged.
void AcknowledgeLosses(TSQLiteDatabase& db, int adr, double utc);

// The alarm rows still open: low, high and silent rows with tend NULL, and loss rows not yet
// acknowledged; by id.
std::vector<EventRow> OpenAlarmRows(TSQLiteDatabase& db);

// EVENTS rows, newest first (by tstart, then id); adr 0 for every tank, an empty kind for
// every kind; at most `limit` rows.
std::vector<EventRow> SelectEvents(TSQLiteDatabase& db, int adr = 0, const std::string& kind = {},
                                   int limit = 10000);

// One EVENTS row read by a query that selects every column in the table's order.
EventRow ReadEventRow(const Row& r);

// ---- EVENT_SETTINGS ----

// What the operator set for a tank's events; an unset value takes the station's default.
struct TankEventSettings {
    int adr = 0;
    std::optional<double> density;         // kg/m³ at 15 °C; unset: from the fuel type text
    std::optional<int64_t> deliveryLitres; // unset: max(50 l, 1 % of capacity)
    std::optional<int64_t> lossLitres;     // unset: max(50 l, 1 % of capacity)
    // Quiet hours as minutes after local midnight, [from, to), may wrap past midnight
    // (22:00-06:00 is 1320, 360). Both unset: no quiet hours.
    std::optional<int64_t> quietFrom, quietTo;
    bool operator==(const TankEventSettings&) const = default;
};

// Every stored row; tanks without a row have every value unset.
std::vector<TankEventSettings> LoadEventSettings(TSQLiteDatabase& db);
// Writes (inserts or replaces) the tank's row. Raises SQLiteError.
void SaveEventSettings(TSQLiteDatabase& db, const TankEventSettings& s);

// ---- EVENT_MARKS ----

// How far a tank's stored readings have been examined: every DATA row of the tank with
// tstamp <= `examined` has been fed to its detector, whose state then was `state`.
// `lastRow` is a shortcut for the next examination: no DATA row with a rowid up to it is
// newer than the marks; it counts only while the row with that rowid still has the tstamp
// `lastRowTstamp` (a file rebuilt by VACUUM may number its rows anew).
struct ExaminedMark {
    int adr = 0;
    double examined = 0;
    std::string state; // the detector's saved state (its own text form)
    int64_t lastRow = 0;
    double lastRowTstamp = 0;
};
std::vector<ExaminedMark> LoadExaminedMarks(TSQLiteDatabase& db);
// Writes the marks of several tanks in one transaction. Raises SQLiteError; then none is
// written.
void SaveExaminedMarks(TSQLiteDatabase& db, const std::vector<ExaminedMark>& marks);

// ---- reading DATA for the examination ----

struct DataRow {
    int64_t rowid = 0;
    double tstamp = 0;
    int adr = 0;
    int32_t flevel = 0;
    int32_t temp = 0;
};
// DATA rows with rowid > `afterRowid`, in rowid order (the order they were stored), at
// most `limit` of them. The read lock is held only while this runs.
std::vector<DataRow> DataRowsAfter(TSQLiteDatabase& db, int64_t afterRowid, int limit);
// The rowid and tstamp of the newest DATA row, or {0, 0} for an empty table.
std::pair<int64_t, double> LastDataRow(TSQLiteDatabase& db);
// The tstamp of the DATA row with this rowid, if there is one.
std::optional<double> DataRowTstamp(TSQLiteDatabase& db, int64_t rowid);
// The newest `count` DATA rows of one tank by tstamp, oldest first.
std::vector<DataRow> LastDataRows(TSQLiteDatabase& db, int adr, int count);
