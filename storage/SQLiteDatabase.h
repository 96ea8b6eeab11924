#pragma once
// A thin access layer over the SQLite C API: one connection, statements run one at a time,
// query results held in memory. Failures raise SQLiteError with the station's error texts.

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;
class Row;

class SQLiteError : public std::runtime_error {
public:
    explicit SQLiteError(const std::string& text, int code = 0)
        : std::runtime_error(text), code_(code) {}
    int Code() const { return code_; }

private:
    int code_;
};

// Short description of an SQLite result code, as used in error texts.
std::string SQLiteCodeDescription(int code);

// One value of a result row, as SQLite stored it.
struct TSQLiteValue {
    enum Kind : uint8_t { Null, Integer, Float, Text, Blob };
    Kind kind = Null;
    int64_t i = 0;
    double d = 0;
    std::string bytes; // text or blob
};

class TSQLiteTable {
public:
    int Count() const { return static_cast<int>(rows_.size()); }
    int ColumnCount() const { return static_cast<int>(names_.size()); }
    bool Eof() const { return pos_ >= rows_.size(); }
    void Next() {
        if (pos_ < rows_.size())
            ++pos_;
    }
    // Text of the current row's value chosen by the column's declared type.
    std::string FieldText(const std::string& column) const;
    bool FieldIsNull(const std::string& column) const; // an empty blob counts as NULL
    std::string FieldAsBlob(const std::string& column) const;
    int64_t FieldAsInteger(const std::string& column) const; // 0 for NULL
    const TSQLiteValue& Field(const std::string& column) const;
    int ColumnIndex(const std::string& column) const; // -1 when absent (case-insensitive)

private:
    friend class TSQLiteDatabase;
    enum class DeclKind : uint8_t { Integer, Float, Blob, Other };
    std::vector<std::string> names_;
    std::vector<DeclKind> decl_;
    std::vector<std::vector<TSQLiteValue>> rows_;
    std::size_t pos_ = 0;
    int Require(const std::string& column) const;
};

// How long any connection of the station waits for another connection's lock before a
// statement fails with SQLITE_BUSY. The one place that decides it: every connection, the
// raw ones of the index build included, takes it from here.
inline constexpr int kBusyTimeoutMs = 1000;
void ApplyBusyTimeout(sqlite3* db);

class TSQLiteDatabase {
public:
    enum class Mode { OpenOrCreate, ReadOnly };
    // Opens or creates the file; raises "Failed to open database "%s" : %s". ReadOnly never
    // creates the file and never writes it; it waits up to a few seconds for a writer's
    // lock instead of failing at once, so it can read while the station stores readings.
    // It reads the file through a read-only memory map (up to 1 GiB).
    // A writer's connection switches the file to write-ahead logging, so that readers never
    // hold up the station's writes; where that cannot be had (read-only folder, a file
    // system without shared memory) it keeps the old journal and JournalNote says why.
    explicit TSQLiteDatabase(const std::string& fileName, Mode mode = Mode::OpenOrCreate);
    ~TSQLiteDatabase();
    TSQLiteDatabase(const TSQLiteDatabase&) = delete;
    TSQLiteDatabase& operator=(const TSQLiteDatabase&) = delete;

    bool TableExists(const std::string& name);
    void ExecSQL(const std::string& sql);
    void UpdateBlob(const std::string& sql, const std::string& bytes);
    TSQLiteTable GetTable(const std::string& query);
    // Streams a query's rows without holding them; for the large report queries.
    // The callback gets a view of one row (BoundSql.h), valid only during the call.
    void ForEachRow(const std::string& query, const std::function<void(const Row&)>& row);
    // Long queries ask `stop` every thousand or so steps; true ends them with an interrupt.
    void SetInterrupt(std::function<bool()> stop);

    const std::string& FileName() const { return fileName_; }
    // True when the file is in write-ahead logging; else why not (empty for ReadOnly).
    bool WriteAheadLog() const { return wal_; }
    const std::string& JournalNote() const { return journalNote_; }
    bool ReadOnly() const;
    int64_t LastInsertRowid() const;

private:
    // The raw connection stays inside storage (SQLiteHandle.h).
    friend struct SQLiteHandle;
    sqlite3* db_ = nullptr;
    std::string fileName_;
    std::function<bool()> stop_;
    void StepRows(const std::string& query, const std::function<void(sqlite3_stmt*)>& row);
    bool wal_ = false;
    std::string journalNote_;
    void UseWriteAheadLog();
    sqlite3_stmt* Prepare(const std::string& sql, const char* emptyStep, const char* failStep,
                          bool bareBusy);
    [[noreturn]] void Fail(const char* step, int code, const std::string& sql);
};
