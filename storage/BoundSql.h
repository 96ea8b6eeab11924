#pragma once
// Statements with bound values, for the tables added after the first three: values never
// enter the statement text, so no text can change what a statement does. A query hands
// each row to a callback as a Row view; no sqlite3_stmt leaves this layer.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <variant>
#include <vector>

class TSQLiteDatabase;
struct sqlite3_stmt;

// One value to bind: NULL, an integer, a real or a text (bound as TEXT, bytes unchanged).
using SqlValue = std::variant<std::monostate, int64_t, double, std::string>;
// NULL when the optional is empty.
SqlValue SqlOptional(const std::optional<int64_t>& v);
SqlValue SqlOptional(const std::optional<double>& v);

// The current row of a query, valid only inside the callback that received it.
class Row {
public:
    explicit Row(sqlite3_stmt* s) : s_(s) {}
    enum class Type { Null, Integer, Float, Text, Blob };
    Type TypeOf(int column) const; // as SQLite stored the value
    bool IsNull(int column) const;
    bool IsNumber(int column) const;
    int64_t Int(int column) const; // 0 for NULL
    double Real(int column) const; // 0 for NULL
    std::string Text(int column) const;
    std::optional<int64_t> OptInt(int column) const;
    std::optional<double> OptReal(int column) const;

private:
    sqlite3_stmt* s_;
};

// Runs one statement with the values bound to its "?" parameters in order; it must finish
// without a result row. Returns the number of rows it changed. Failures raise SQLiteError
// with the station's error texts ("Error executing SQL statement." and so on).
int Exec(TSQLiteDatabase& db, const std::string& sql, const std::vector<SqlValue>& values = {});

// Runs a query with bound values and calls `each` for every row, in the order SQLite
// returns them; nothing is held in memory. A failure raises SQLiteError; rows already
// handed over stay handled.
void Query(TSQLiteDatabase& db, const std::string& sql, const std::vector<SqlValue>& values,
           const std::function<void(const Row&)>& each);

// The file's schema version (PRAGMA user_version); 0 for a file of the first three tables.
int UserVersion(TSQLiteDatabase& db);
