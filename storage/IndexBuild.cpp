#include "IndexBuild.h"

#include "SQLiteDatabase.h"

#include <algorithm>
#include <sqlite3.h>

namespace {

// Virtual machine steps per indexed row: some 12 are counted while a year of readings is
// indexed, and the final merge and write count none though they take a fifth of the time,
// so 15 moves the bar evenly with the time; it is not meant to predict seconds.
constexpr double kStepsPerRow = 15;
constexpr int kStepsPerCall = 10000;

struct Counter {
    const IndexBuildProgress* progress;
    double total = 1;
    double done = 0;
    bool stopped = false;
};

int OnSteps(void* p) {
    auto* c = static_cast<Counter*>(p);
    c->done += kStepsPerCall;
    if (*c->progress && !(*c->progress)(std::min(0.99, c->done / c->total)))
        c->stopped = true;
    return c->stopped ? 1 : 0;
}

// The table's rows as its largest rowid says: exact for tables that are only appended to,
// and read from the b-tree's last page rather than by a count over the whole table.
double RowEstimate(sqlite3* db, const std::string& table) {
    sqlite3_stmt* s = nullptr;
    double rows = 0;
    const std::string sql = "SELECT max(rowid) FROM " + table;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK &&
        sqlite3_step(s) == SQLITE_ROW)
        rows = sqlite3_column_double(s, 0);
    sqlite3_finalize(s);
    return std::max(rows, 1.0);
}

struct Connection {
    sqlite3* db = nullptr;
    ~Connection() { sqlite3_close(db); }
};

} // namespace

std::string BuildReportIndexes(const std::string& fileName, const std::vector<ReportIndex>& indexes,
                               const IndexBuildProgress& progress) {
    Connection c;
    if (sqlite3_open_v2(fileName.c_str(), &c.db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        return c.db ? sqlite3_errmsg(c.db) : "out of memory";
    // Another program may hold the file for a moment; longer than that, the build gives up.
    ApplyBusyTimeout(c.db);
    Counter counter{&progress};
    for (const ReportIndex& index : indexes)
        counter.total += RowEstimate(c.db, index.table) * kStepsPerRow;
    sqlite3_progress_handler(c.db, kStepsPerCall, &OnSteps, &counter);
    std::string failures;
    for (const ReportIndex& index : indexes) {
        char* error = nullptr;
        int rc = sqlite3_exec(c.db, index.create, nullptr, nullptr, &error);
        if (rc == SQLITE_OK && index.replaces) {
            // the pages of the index it covers go back to the file for new readings
            const std::string drop = std::string("DROP INDEX IF EXISTS ") + index.replaces;
            rc = sqlite3_exec(c.db, drop.c_str(), nullptr, nullptr, &error);
        }
        const std::string text = error ? error : sqlite3_errstr(rc);
        sqlite3_free(error);
        if (rc == SQLITE_OK)
            continue;
        if (counter.stopped)
            return "stopped";
        failures += (failures.empty() ? "" : "; ") + std::string(index.name) + ": " + text;
        // A file held by another program is held for the next index too.
        if ((rc & 0xFF) == SQLITE_BUSY)
            break;
    }
    if (progress && failures.empty())
        progress(1.0);
    return failures;
}
