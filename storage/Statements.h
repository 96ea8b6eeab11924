#pragma once
// Every statement the station runs, kept together: their texts are part of the file format.

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

// The newest `limit` events, newest first, in the column order the Events tab reads.
std::string SelectEvents(int limit);

// A text as an SQL string literal: between single quotes, quotes doubled, bytes unchanged.
std::string QuoteText(const std::string& text);

} // namespace Sql
