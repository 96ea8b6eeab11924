#include "BoundSql.h"

#include "SQLiteHandle.h"

#include <sqlite3.h>

namespace {

struct StmtGuard {
    sqlite3_stmt* s = nullptr;
    ~StmtGuard() { sqlite3_finalize(s); }
};

[[noreturn]] void Fail(sqlite3* db, const char* step, int code, const std::string& sql) {
    throw SQLiteError(std::string(step) + ".\rError [" + std::to_string(code) + "]: " +
                          SQLiteCodeDescription(code) + ".\r\"" + sql + "\": " + sqlite3_errmsg(db),
                      code);
}

sqlite3_stmt* PrepareBound(sqlite3* db, const std::string& sql,
                           const std::vector<SqlValue>& values) {
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &s, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(s);
        Fail(db, "Error executing SQL", rc, sql);
    }
    if (!s)
        Fail(db, "Could not prepare SQL statement", rc, sql);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const int n = static_cast<int>(i) + 1;
        const SqlValue& v = values[i];
        if (std::holds_alternative<int64_t>(v))
            rc = sqlite3_bind_int64(s, n, std::get<int64_t>(v));
        else if (std::holds_alternative<double>(v))
            rc = sqlite3_bind_double(s, n, std::get<double>(v));
        else if (std::holds_alternative<std::string>(v)) {
            const std::string& t = std::get<std::string>(v);
            rc = sqlite3_bind_text(s, n, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
        } else
            rc = sqlite3_bind_null(s, n);
        if (rc != SQLITE_OK) {
            sqlite3_finalize(s);
            Fail(db, "Error binding value to database", rc, sql);
        }
    }
    return s;
}

} // namespace

SqlValue SqlOptional(const std::optional<int64_t>& v) {
    return v ? SqlValue(*v) : SqlValue();
}

SqlValue SqlOptional(const std::optional<double>& v) {
    return v ? SqlValue(*v) : SqlValue();
}

Row::Type Row::TypeOf(int c) const {
    switch (sqlite3_column_type(s_, c)) {
    case SQLITE_INTEGER:
        return Type::Integer;
    case SQLITE_FLOAT:
        return Type::Float;
    case SQLITE_TEXT:
        return Type::Text;
    case SQLITE_BLOB:
        return Type::Blob;
    default:
        return Type::Null;
    }
}

bool Row::IsNull(int c) const {
    return sqlite3_column_type(s_, c) == SQLITE_NULL;
}
bool Row::IsNumber(int c) const {
    const int type = sqlite3_column_type(s_, c);
    return type == SQLITE_INTEGER || type == SQLITE_FLOAT;
}
int64_t Row::Int(int c) const {
    return sqlite3_column_int64(s_, c);
}
double Row::Real(int c) const {
    return sqlite3_column_double(s_, c);
}
std::string Row::Text(int c) const {
    const unsigned char* p = sqlite3_column_text(s_, c);
    const int n = sqlite3_column_bytes(s_, c);
    return p ? std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(n))
             : std::string();
}
std::optional<int64_t> Row::OptInt(int c) const {
    return IsNull(c) ? std::nullopt : std::optional<int64_t>(Int(c));
}
std::optional<double> Row::OptReal(int c) const {
    return IsNull(c) ? std::nullopt : std::optional<double>(Real(c));
}

int Exec(TSQLiteDatabase& db, const std::string& sql, const std::vector<SqlValue>& values) {
    sqlite3* h = SQLiteHandle::Of(db);
    StmtGuard g{PrepareBound(h, sql, values)};
    const int rc = sqlite3_step(g.s);
    if (rc != SQLITE_DONE)
        Fail(h, "Error executing SQL statement", rc, sql);
    return sqlite3_changes(h);
}

void Query(TSQLiteDatabase& db, const std::string& sql, const std::vector<SqlValue>& values,
           const std::function<void(const Row&)>& each) {
    sqlite3* h = SQLiteHandle::Of(db);
    StmtGuard g{PrepareBound(h, sql, values)};
    for (;;) {
        const int rc = sqlite3_step(g.s);
        if (rc == SQLITE_ROW) {
            each(Row(g.s));
            continue;
        }
        if (rc == SQLITE_DONE)
            return;
        Fail(h, "Could not retrieve data", rc, sql);
    }
}

int UserVersion(TSQLiteDatabase& db) {
    int version = 0;
    Query(db, "PRAGMA user_version", {},
          [&](const Row& r) { version = static_cast<int>(r.Int(0)); });
    return version;
}
