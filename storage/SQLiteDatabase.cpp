#include "SQLiteDatabase.h"

#include "JournalFiles.h"

#include "BoundSql.h"
#include "TextFormats.h"

#include <algorithm>
#include <cctype>
#include <sqlite3.h>

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string Upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

// Finalizes a statement on every way out of the operation that prepared it.
struct StmtGuard {
    sqlite3_stmt* s;
    ~StmtGuard() { sqlite3_finalize(s); }
};

const char* kBusyText = "Could not prepare SQL statement";

} // namespace

std::string SQLiteCodeDescription(int code) {
    switch (code & 0xFF) {
    case SQLITE_OK:
        return "Successful result";
    case SQLITE_ERROR:
        return "SQL error or missing database";
    case SQLITE_INTERNAL:
        return "An internal logic error in SQLite";
    case SQLITE_PERM:
        return "Access permission denied";
    case SQLITE_ABORT:
        return "Callback routine requested an abort";
    case SQLITE_BUSY:
        return "The database file is locked";
    case SQLITE_LOCKED:
        return "A table in the database is locked";
    case SQLITE_NOMEM:
        return "Out of memory";
    case SQLITE_READONLY:
        return "Attempt to write a readonly database";
    case SQLITE_INTERRUPT:
        return "Operation terminated by an interrupt";
    case SQLITE_IOERR:
        return "Some kind of disk I/O error occurred";
    case SQLITE_CORRUPT:
        return "The database disk image is malformed";
    case SQLITE_NOTFOUND:
        return "Table or record not found";
    case SQLITE_FULL:
        return "Insertion failed because database is full";
    case SQLITE_CANTOPEN:
        return "Unable to open the database file";
    case SQLITE_PROTOCOL:
        return "Database lock protocol error";
    case SQLITE_EMPTY:
        return "Database is empty";
    case SQLITE_SCHEMA:
        return "The database schema changed";
    case SQLITE_TOOBIG:
        return "Too much data for one row of a table";
    case SQLITE_CONSTRAINT:
        return "Abort due to constraint violation";
    case SQLITE_MISMATCH:
        return "Data type mismatch";
    case SQLITE_MISUSE:
        return "Library used incorrectly";
    case SQLITE_NOLFS:
        return "Uses OS features not supported on host";
    case SQLITE_AUTH:
        return "Authorization denied";
    case SQLITE_FORMAT:
        return "Auxiliary database format error";
    case SQLITE_RANGE:
        return "Bind parameter out of range";
    case SQLITE_NOTADB:
        return "File opened that is not a database file";
    case SQLITE_ROW:
        return "A row of data is ready";
    case SQLITE_DONE:
        return "Statement has finished executing";
    default:
        return "Unknown error";
    }
}

// ---- result table ----

int TSQLiteTable::ColumnIndex(const std::string& column) const {
    const std::string want = Lower(column);
    for (std::size_t i = 0; i < names_.size(); ++i)
        if (Lower(names_[i]) == want)
            return static_cast<int>(i);
    return -1;
}

int TSQLiteTable::Require(const std::string& column) const {
    int i = ColumnIndex(column);
    if (i < 0)
        throw SQLiteError("Field not found in dataset: " + column);
    if (Eof())
        throw SQLiteError("No current row for field: " + column);
    return i;
}

const TSQLiteValue& TSQLiteTable::Field(const std::string& column) const {
    int i = Require(column);
    return rows_[pos_][i];
}

std::string TSQLiteTable::FieldText(const std::string& column) const {
    int i = Require(column);
    const TSQLiteValue& v = rows_[pos_][i];
    switch (decl_[i]) {
    case DeclKind::Integer:
        return v.kind == TSQLiteValue::Null ? "0" : TextFormats::Int(v.i);
    case DeclKind::Float:
        return v.kind == TSQLiteValue::Null ? "0" : TextFormats::General15(v.d);
    case DeclKind::Blob:
    case DeclKind::Other:
        return v.bytes;
    }
    return v.bytes;
}

bool TSQLiteTable::FieldIsNull(const std::string& column) const {
    const TSQLiteValue& v = Field(column);
    return v.kind == TSQLiteValue::Null || (v.kind == TSQLiteValue::Blob && v.bytes.empty());
}

std::string TSQLiteTable::FieldAsBlob(const std::string& column) const {
    return Field(column).bytes;
}

int64_t TSQLiteTable::FieldAsInteger(const std::string& column) const {
    return Field(column).i;
}

// ---- database ----

void ApplyBusyTimeout(sqlite3* db) {
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
}

TSQLiteDatabase::TSQLiteDatabase(const std::string& fileName, Mode mode) : fileName_(fileName) {
    if (mode != Mode::ReadOnly)
        MatchJournalFilesToDatabase(fileName);
    int rc = mode == Mode::ReadOnly
                 ? sqlite3_open_v2(fileName.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr)
                 : sqlite3_open(fileName.c_str(), &db_);
    if (rc == SQLITE_OK) {
        ApplyBusyTimeout(db_);
        // Reports read a tank's readings spread over the whole DATA table: mapping the file
        // saves a read call and a copy per page (a third of a year's CSV). The mapping is
        // read-only, so no stray write can reach the file.
        if (mode == Mode::ReadOnly)
            sqlite3_exec(db_, "PRAGMA mmap_size = 1073741824", nullptr, nullptr, nullptr);
        // SQLite opens lazily: read the schema once so that a file that is not a database
        // is refused here, not at the first statement.
        rc = sqlite3_exec(db_, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    }
    if (rc != SQLITE_OK) {
        std::string msg = db_ ? sqlite3_errmsg(db_) : "unknown error";
        sqlite3_close(db_);
        db_ = nullptr;
        throw SQLiteError("Failed to open database \"" + fileName + "\" : " + msg, rc);
    }
    if (mode != Mode::ReadOnly)
        UseWriteAheadLog();
}

// The mode is stored in the file: set once, every later connection (and any other program
// since SQLite 3.7) finds it. A failure leaves the file in its old journal mode.
void TSQLiteDatabase::UseWriteAheadLog() {
    std::string mode;
    char* error = nullptr;
    const int rc = sqlite3_exec(
        db_, "PRAGMA journal_mode=WAL",
        [](void* out, int, char** values, char**) {
            if (values[0])
                *static_cast<std::string*>(out) = values[0];
            return 0;
        },
        &mode, &error);
    wal_ = rc == SQLITE_OK && Lower(mode) == "wal";
    if (!wal_)
        journalNote_ = rc != SQLITE_OK ? std::string(error ? error : sqlite3_errstr(rc))
                       : mode.empty()  ? std::string("the file refused it")
                                       : "the file keeps journal mode " + mode;
    sqlite3_free(error);
}

bool TSQLiteDatabase::ReadOnly() const {
    return sqlite3_db_readonly(db_, "main") == 1;
}

int64_t TSQLiteDatabase::LastInsertRowid() const {
    return sqlite3_last_insert_rowid(db_);
}

TSQLiteDatabase::~TSQLiteDatabase() {
    sqlite3_close(db_);
}

void TSQLiteDatabase::Fail(const char* step, int code, const std::string& sql) {
    throw SQLiteError(std::string(step) + ".\rError [" + std::to_string(code) +
                          "]: " + SQLiteCodeDescription(code) + ".\r\"" + sql +
                          "\": " + sqlite3_errmsg(db_),
                      code);
}

sqlite3_stmt* TSQLiteDatabase::Prepare(const std::string& sql, const char* emptyStep,
                                       const char* failStep, bool bareBusy) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        if (bareBusy && (rc & 0xFF) == SQLITE_BUSY)
            throw SQLiteError(kBusyText, rc);
        Fail(failStep, rc, sql);
    }
    if (!stmt)
        Fail(emptyStep, rc, sql);
    return stmt;
}

bool TSQLiteDatabase::TableExists(const std::string& name) {
    TSQLiteTable t =
        GetTable("select [sql] from sqlite_master where [type] = 'table' and lower(name) = '" +
                 Lower(name) + "' ");
    return t.Count() > 0;
}

void TSQLiteDatabase::ExecSQL(const std::string& sql) {
    StmtGuard g{Prepare(sql, "Could not prepare SQL statement", "Error executing SQL", false)};
    int rc = sqlite3_step(g.s);
    if (rc != SQLITE_DONE)
        Fail("Error executing SQL statement", rc, sql);
}

void TSQLiteDatabase::UpdateBlob(const std::string& sql, const std::string& bytes) {
    if (sql.find('?') == std::string::npos)
        throw SQLiteError("SQL must include a ? parameter");
    StmtGuard g{
        Prepare(sql, "Could not prepare SQL statement", "Could not prepare SQL statement", false)};
    int rc =
        sqlite3_bind_blob(g.s, 1, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK)
        Fail("Error binding blob to database", rc, sql);
    rc = sqlite3_step(g.s);
    if (rc != SQLITE_DONE)
        Fail("Error executing SQL statement", rc, sql);
}

void TSQLiteDatabase::ForEachRow(const std::string& query,
                                 const std::function<void(const Row&)>& row) {
    StepRows(query, [&](sqlite3_stmt* s) { row(Row(s)); });
}

void TSQLiteDatabase::SetInterrupt(std::function<bool()> stop) {
    stop_ = std::move(stop);
    sqlite3_progress_handler(
        db_, 1000, [](void* self) { return static_cast<TSQLiteDatabase*>(self)->stop_() ? 1 : 0; },
        this);
}

void TSQLiteDatabase::StepRows(const std::string& query,
                               const std::function<void(sqlite3_stmt*)>& row) {
    StmtGuard g{Prepare(query, "Could not prepare SQL statement", "Error executing SQL", true)};
    for (;;) {
        int rc = sqlite3_step(g.s);
        if (rc == SQLITE_ROW) {
            row(g.s);
            continue;
        }
        if (rc == SQLITE_DONE)
            return;
        if ((rc & 0xFF) == SQLITE_BUSY)
            throw SQLiteError(kBusyText, rc);
        Fail("Could not retrieve data", rc, query);
    }
}

TSQLiteTable TSQLiteDatabase::GetTable(const std::string& query) {
    TSQLiteTable t;
    bool described = false;
    StepRows(query, [&](sqlite3_stmt* s) {
        const int n = sqlite3_column_count(s);
        if (!described) {
            for (int c = 0; c < n; ++c) {
                const char* nm = sqlite3_column_name(s, c);
                const char* dt = sqlite3_column_decltype(s, c);
                t.names_.push_back(nm ? nm : "");
                std::string decl = Upper(dt ? dt : "");
                using K = TSQLiteTable::DeclKind;
                K k = K::Other;
                if (decl == "INTEGER" || decl == "BOOLEAN")
                    k = K::Integer;
                else if (decl == "REAL" || decl == "FLOAT" || decl == "DOUBLE" || decl == "NUMERIC")
                    k = K::Float;
                else if (decl == "BLOB")
                    k = K::Blob;
                t.decl_.push_back(k);
            }
            described = true;
        }
        std::vector<TSQLiteValue> values(n);
        for (int c = 0; c < n; ++c) {
            TSQLiteValue& v = values[c];
            switch (sqlite3_column_type(s, c)) {
            case SQLITE_INTEGER:
                v.kind = TSQLiteValue::Integer;
                break;
            case SQLITE_FLOAT:
                v.kind = TSQLiteValue::Float;
                break;
            case SQLITE_TEXT:
                v.kind = TSQLiteValue::Text;
                break;
            case SQLITE_BLOB:
                v.kind = TSQLiteValue::Blob;
                break;
            default:
                v.kind = TSQLiteValue::Null;
                break;
            }
            if (v.kind == TSQLiteValue::Null)
                continue;
            // Bytes first: the numeric readings never invalidate a copied text.
            const void* p = t.decl_[c] == TSQLiteTable::DeclKind::Blob ? sqlite3_column_blob(s, c)
                                                                       : sqlite3_column_text(s, c);
            const int len = sqlite3_column_bytes(s, c);
            if (p && len > 0)
                v.bytes.assign(static_cast<const char*>(p), static_cast<std::size_t>(len));
            v.i = sqlite3_column_int64(s, c);
            v.d = sqlite3_column_double(s, c);
        }
        t.rows_.push_back(std::move(values));
    });
    if (!described) {
        // No rows: still learn the column names, so that FieldText reports a missing field
        // rather than a missing row.
        StmtGuard g{Prepare(query, "Could not prepare SQL statement", "Error executing SQL", true)};
        for (int c = 0; c < sqlite3_column_count(g.s); ++c) {
            const char* nm = sqlite3_column_name(g.s, c);
            t.names_.push_back(nm ? nm : "");
            t.decl_.push_back(TSQLiteTable::DeclKind::Other);
        }
    }
    return t;
}
