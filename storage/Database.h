#pragma once
// Start-up creation of data.db, loading and saving tank records.

#include "SQLiteDatabase.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class OperatorMessages;
struct TItemNode;

inline constexpr const char* kMsgTableMissing = "Error! DataBase table does not exist!";
inline constexpr const char* kMsgCreationFailed = "Error occured during database creation.";

// Creates missing tables (seeding TANKS with 14 tanks and the given picture bytes).
// Returns false after showing "Error occured during database creation.".
bool CreateDatabase(TSQLiteDatabase& db, const std::string& defaultPicture,
                    OperatorMessages& messages);

// Fills a fresh record from the current row of "SELECT * FROM TANKS".
void LoadTankFromRow(const TSQLiteTable& row, TItemNode& node);

// Runs "SELECT * FROM TANKS" and fills one fresh record per row, in the order of the rows;
// `appendTile` adds a tile and returns its record. A row whose id no record can hold (outside
// 0..255) or that repeats an earlier row's id gets no tile: saving its record would write
// over another tank's row. Returns the ids of the rows left out, in row order.
std::vector<int64_t> LoadTanks(TSQLiteDatabase& db, const std::function<TItemNode&()>& appendTile);

// What the operator is told about the rows LoadTanks left out.
std::string SkippedTanksText(const std::vector<int64_t>& ids);

// Writes the record (picture = node.Img) with statements 5, 6 and 7. A missing TANKS is
// reported and nothing is written; an SQL failure raises SQLiteError.
void SaveTank(TSQLiteDatabase& db, const TItemNode& node, OperatorMessages& messages);

// The indexes that keep the report queries fast on years of readings, one per table that the
// Reports read, each covering its query. They are additions to the three tables: anything
// that reads the tables is unaffected, and dropping them loses nothing but speed.
struct ReportIndex {
    const char* table;
    const char* name;
    const char* create;
    // An earlier index of the table that this one covers, dropped once this one is built.
    const char* replaces = nullptr;
};
// DATA's index covers every column the reports read (the balance and the readings export
// need the code and the temperature too), so no report visits the table itself.
inline constexpr const char* kCreateDataIndex =
    "CREATE INDEX IF NOT EXISTS DATA_READINGS ON DATA (adr, tstamp, flevel, fcode, temp)";
inline constexpr const char* kCreateErrorIndex =
    "CREATE INDEX IF NOT EXISTS ERROR_ADR_TSTAMP ON ERROR (adr, tstamp)";
inline constexpr ReportIndex kReportIndexes[] = {
    {"DATA", "DATA_READINGS", kCreateDataIndex, "DATA_ADR_TSTAMP"},
    {"ERROR", "ERROR_ADR_TSTAMP", kCreateErrorIndex},
};
// The report indexes missing on tables that exist.
std::vector<ReportIndex> MissingReportIndexes(TSQLiteDatabase& db);
