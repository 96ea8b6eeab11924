#pragma once
// The statements over the three tables of the readings (TANKS, DATA, ERROR), kept together:
// their texts are part of the file format. Statements that came later stand beside the code
// that runs them: EventTables.cpp, LastReading.cpp, IndexBuild.cpp and central/sender.

#include <string>

struct TItemNode;

namespace Sql {

inline constexpr const char* kCreateTanks =
    "CREATE TABLE TANKS (id INTEGER PRIMARY KEY AUTOINCREMENT,name TEXT,capacity INTEGER,"
    "ftype TEXT,act INTEGER,lfuel INTEGER,ofuel INTEGER,memo TEXT,pict BLOB,ftbl BLOB,clb BLOB)";
inline constexpr const char* kCreateData =
    "CREATE TABLE DATA (tstamp REAL ,adr INTEGER,flevel INTEGER,fcode INTEGER,temp INTEGER)";
inline constexpr const char* kCreateError =
    "CREATE TABLE ERROR (tstamp REAL ,adr INTEGER,code INTEGER)";
inline constexpr const char* kSelectTanks = "SELECT * FROM TANKS";

// A new tank's row with its default values, on a first start.
std::string SeedTank(int id);
// The default picture into a seeded tank's row (its bytes bound by the caller).
std::string SeedPicture(int id);
// The editor's fields of a tank, its picture bound by the caller; not the two tables.
std::string UpdateTank(const TItemNode& node);
// The calibration points' byte image (bound by the caller).
std::string UpdateFTable(int id);
// The 4096-entry litres table's byte image (bound by the caller).
std::string UpdateClb(int id);
// One reading into DATA.
std::string InsertData(double utc, int adr, int fl, int flc, int temp);
// One failed poll into ERROR.
std::string InsertError(double utc, int adr, int code);
// A tank's readings (time, litres) strictly inside a period.
std::string SelectLevels(int adr, double utcFrom, double utcTo);
// The times a tank's sensor was silent, strictly inside a period.
std::string SelectErrors(int adr, double utcFrom, double utcTo);

// ---- the event tables: values are bound ("?"), never put into the text ----

inline constexpr const char* kCreateEvents =
    "CREATE TABLE EVENTS (id INTEGER PRIMARY KEY AUTOINCREMENT, adr INTEGER, kind TEXT, "
    "tstart REAL, tend REAL, vbefore INTEGER, vafter INTEGER, nbefore INTEGER, nafter INTEGER, "
    "tbefore INTEGER, tafter INTEGER, acked REAL, memo TEXT)";
inline constexpr const char* kCreateEventsIndex =
    "CREATE INDEX IF NOT EXISTS EVENTS_ADR_KIND_TSTART ON EVENTS (adr, kind, tstart)";
inline constexpr const char* kCreateEventSettings =
    "CREATE TABLE EVENT_SETTINGS (adr INTEGER PRIMARY KEY, density REAL, delivery INTEGER, "
    "loss INTEGER, quietfrom INTEGER, quietto INTEGER)";
inline constexpr const char* kCreateEventMarks =
    "CREATE TABLE EVENT_MARKS (adr INTEGER PRIMARY KEY, examined REAL, state TEXT, "
    "lastrow INTEGER, lastrowtstamp REAL)";
// What the central server has been sent, per station name: the last row of each table, and
// the state of each tank.
inline constexpr const char* kCreateCentralMarks =
    "CREATE TABLE IF NOT EXISTS CENTRAL_MARKS (station TEXT NOT NULL, tbl TEXT NOT NULL, sent "
    "INTEGER NOT NULL, PRIMARY KEY (station, tbl))";
inline constexpr const char* kCreateCentralTanks =
    "CREATE TABLE IF NOT EXISTS CENTRAL_TANKS (station TEXT NOT NULL, id INTEGER NOT NULL, seq "
    "INTEGER NOT NULL, state BLOB, PRIMARY KEY (station, id))";

// Every column of an EVENTS row in the table's order, as ReadEventColumns reads them.
#define SQL_EVENT_COLUMNS                                                                          \
    "id, adr, kind, tstart, tend, vbefore, vafter, nbefore, nafter, tbefore, tafter, acked, memo"

// The columns each event table must have; preparing these proves an existing table usable.
inline constexpr const char* kProbeEvents = "SELECT " SQL_EVENT_COLUMNS " FROM EVENTS LIMIT 0";
inline constexpr const char* kProbeEventSettings =
    "SELECT adr, density, delivery, loss, quietfrom, quietto FROM EVENT_SETTINGS LIMIT 0";
inline constexpr const char* kProbeEventMarks =
    "SELECT adr, examined, state, lastrow, lastrowtstamp FROM EVENT_MARKS LIMIT 0";

inline constexpr const char* kFindFuelEvent =
    "SELECT id FROM EVENTS WHERE adr = ? AND kind = ? AND tstart = ?";
inline constexpr const char* kUpdateFuelEvent =
    "UPDATE EVENTS SET tend = ?, vbefore = ?, vafter = ?, nbefore = ?, nafter = ?, tbefore = ?, "
    "tafter = ? WHERE id = ?";
inline constexpr const char* kInsertEvent =
    "INSERT INTO EVENTS (adr, kind, tstart, tend, vbefore, vafter, nbefore, nafter, tbefore, "
    "tafter, acked, memo) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
inline constexpr const char* kEndAlarmEvent =
    "UPDATE EVENTS SET tend = ?, vafter = ?, nafter = ?, tafter = ? WHERE id = ?";
inline constexpr const char* kAcknowledgeEvent =
    "UPDATE EVENTS SET acked = ? WHERE id = ? AND acked IS NULL";
inline constexpr const char* kAcknowledgeLosses =
    "UPDATE EVENTS SET acked = ? WHERE adr = ? AND kind = 'loss' AND acked IS NULL";
inline constexpr const char* kAcknowledgeReconciliation =
    "UPDATE EVENTS SET acked = ? WHERE adr = ? AND kind = 'reconciliation' AND acked IS NULL "
    "AND id <= ?";
inline constexpr const char* kSelectOpenAlarms =
    "SELECT " SQL_EVENT_COLUMNS
    " FROM EVENTS WHERE (kind IN ('low', 'high', 'silent', 'leak') AND tend IS NULL) OR "
    "(kind IN ('loss', 'reconciliation') AND acked IS NULL) ORDER BY id";
// Every tank when adr is 0, every kind when kind is empty; newest first.
inline constexpr const char* kSelectEvents =
    "SELECT " SQL_EVENT_COLUMNS " FROM EVENTS WHERE (? = 0 OR adr = ?) AND (? = '' OR kind = ?) "
    "ORDER BY tstart DESC, id DESC LIMIT ?";
inline constexpr const char* kSelectEventSettings =
    "SELECT adr, density, delivery, loss, quietfrom, quietto FROM EVENT_SETTINGS";
inline constexpr const char* kSaveEventSettings =
    "INSERT OR REPLACE INTO EVENT_SETTINGS (adr, density, delivery, loss, quietfrom, quietto) "
    "VALUES (?, ?, ?, ?, ?, ?)";
inline constexpr const char* kSelectMarks =
    "SELECT adr, examined, state, lastrow, lastrowtstamp FROM EVENT_MARKS";
inline constexpr const char* kSaveMark =
    "INSERT OR REPLACE INTO EVENT_MARKS (adr, examined, state, lastrow, lastrowtstamp) "
    "VALUES (?, ?, ?, ?, ?)";
inline constexpr const char* kDataRowsAfter =
    "SELECT rowid, tstamp, adr, flevel, temp FROM DATA WHERE rowid > ? ORDER BY rowid LIMIT ?";
inline constexpr const char* kLastDataRow =
    "SELECT rowid, tstamp FROM DATA ORDER BY rowid DESC LIMIT 1";
inline constexpr const char* kDataRowTstamp = "SELECT tstamp FROM DATA WHERE rowid = ?";
inline constexpr const char* kLastDataRowsOfTank =
    "SELECT rowid, tstamp, adr, flevel, temp FROM DATA WHERE adr = ? ORDER BY tstamp DESC "
    "LIMIT ?";

// ---- inventory reports: read only, values bound ----

// One tank's readings in [from, to), oldest first (the report index covers adr and tstamp).
inline constexpr const char* kSelectReadings =
    "SELECT tstamp, flevel, fcode, temp FROM DATA WHERE adr = ? AND tstamp >= ? AND tstamp < ? "
    "ORDER BY tstamp";
// The last reading of a tank before a time: the opening level of a period.
inline constexpr const char* kSelectReadingBefore =
    "SELECT tstamp, flevel, fcode, temp FROM DATA WHERE adr = ? AND tstamp < ? "
    "ORDER BY tstamp DESC LIMIT 1";
// Stored events of a tank that overlap [from, to), oldest first.
inline constexpr const char* kSelectEventsOverlapping =
    "SELECT " SQL_EVENT_COLUMNS
    " FROM EVENTS WHERE adr = ? AND tstart < ? AND (tend IS NULL OR tend >= ?) "
    "ORDER BY tstart, id";

// A text as an SQL string literal: between single quotes, quotes doubled, bytes unchanged.
std::string QuoteText(const std::string& text);

} // namespace Sql
