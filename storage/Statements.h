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

std::string SeedTank(int id);                                           // 2
std::string SeedPicture(int id);                                        // 3
std::string UpdateTank(const TItemNode& node);                          // 5
std::string UpdateFTable(int id);                                       // 6
std::string UpdateClb(int id);                                          // 7
std::string InsertData(double utc, int adr, int fl, int flc, int temp); // 8
std::string InsertError(double utc, int adr, int code);                 // 9
std::string SelectLevels(int adr, double utcFrom, double utcTo);        // 10
std::string SelectErrors(int adr, double utcFrom, double utcTo);        // 11

// A text as an SQL string literal: between single quotes, quotes doubled, bytes unchanged.
std::string QuoteText(const std::string& text);

} // namespace Sql
