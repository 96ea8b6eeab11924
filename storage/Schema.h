#pragma once
// What data.db holds besides TANKS, DATA and ERROR, brought up to date when the file is
// opened: an ordered list of steps, each numbered by the PRAGMA user_version it leads to.
// A later table is one more step at the end of the list (Schema.cpp), never an edit of an
// earlier one: a file already past a step never runs it again.

#include <string>

class TSQLiteDatabase;

// The schema version this station writes: 1 adds the event tables (EVENTS, EVENT_SETTINGS,
// EVENT_MARKS), 2 the central server's marks (CENTRAL_MARKS, CENTRAL_TANKS), 3 the book side
// of the reconciliation (ReconciliationTables.h), 4 the daily leak tests (LeakTestTables.h).
inline constexpr int kSchemaVersion = 4;

struct SchemaResult {
    bool eventsUsable = false;
    // Why events are off, for one line in the Errors log; empty when usable.
    std::string reason;
};

// Brings the file up to kSchemaVersion: every step from the file's PRAGMA user_version
// runs in one write transaction together with the new version number, so a step cut short
// leaves the file as it was. Tables are created only when missing. A file of a later
// version is left as it is. Afterwards the event tables are checked for the columns this
// station uses; a read-only file, one whose tables have other columns, or any failure gives
// eventsUsable false with the reason; nothing is ever raised and the three tables of the
// readings are never touched. Running it again on a file that is up to date only checks.
SchemaResult MigrateSchema(TSQLiteDatabase& db);

// The report indexes are no step here: building them over a year of readings takes seconds,
// so the station builds them in the background after its window is up (Database.h holds
// their definitions, IndexBuild.h the build).
