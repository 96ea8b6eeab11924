#pragma once
// The raw SQLite connection behind a TSQLiteDatabase. For the storage layer itself, and for
// the tools that fill or probe files below the station's access layer (benchmarks, fuzzers,
// tests); the station's own code goes through TSQLiteDatabase and BoundSql.h.

#include "SQLiteDatabase.h"

struct SQLiteHandle {
    static sqlite3* Of(const TSQLiteDatabase& db) { return db.db_; }
};
