#pragma once
// The tables of fuel events, added beside TANKS, DATA and ERROR (which stay as they are):
// EVENTS (deliveries, losses and alarms), EVENT_SETTINGS (per-tank density, thresholds and
// quiet hours) and EVENT_MARKS (how far each tank's stored readings have been examined).
// Every statement binds its values. Times are UTC day numbers, as DATA's tstamp.

#include "EventRecords.h"
#include "Schema.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class Row;
class TSQLiteDatabase;

// ---- EVENTS ----

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
// The tank's unacknowledged reconciliation rows up to the id the operator was shown: one
// stored meanwhile waits for its own acknowledgement.
void AcknowledgeReconciliation(TSQLiteDatabase& db, int adr, int64_t upToId, double utc);

// The alarm rows still open: low, high, silent and leak rows with tend NULL, and loss and
// reconciliation rows not yet acknowledged; by id.
std::vector<EventRow> OpenAlarmRows(TSQLiteDatabase& db);

// EVENTS rows, newest first (by tstart, then id); adr 0 for every tank, an empty kind for
// every kind; at most `limit` rows.
std::vector<EventRow> SelectEvents(TSQLiteDatabase& db, int adr = 0, const std::string& kind = {},
                                   int limit = 10000);

// One EVENTS row read by a query that selects every column in the table's order.
EventRow ReadEventRow(const Row& r);

// ---- EVENT_SETTINGS ----

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
// The same inside a transaction the caller holds (a waiting write).
void SaveExaminedMarksHere(TSQLiteDatabase& db, const std::vector<ExaminedMark>& marks);

// ---- reading DATA for the examination ----

// DATA rows with rowid > `afterRowid`, in rowid order (the order they were stored), at
// most `limit` of them. The read lock is held only while this runs.
std::vector<DataRow> DataRowsAfter(TSQLiteDatabase& db, int64_t afterRowid, int limit);
// The rowid and tstamp of the newest DATA row, or {0, 0} for an empty table.
std::pair<int64_t, double> LastDataRow(TSQLiteDatabase& db);
// The tstamp of the DATA row with this rowid, if there is one.
std::optional<double> DataRowTstamp(TSQLiteDatabase& db, int64_t rowid);
// The newest `count` DATA rows of one tank by tstamp, oldest first.
std::vector<DataRow> LastDataRows(TSQLiteDatabase& db, int adr, int count);
