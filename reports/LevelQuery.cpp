#include "LevelQuery.h"

#include "Clock.h"
#include "SQLiteDatabase.h"
#include "Statements.h"
#include "TextFormats.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <sqlite3.h>
#include <stdexcept>
#include <string>

namespace {

std::string ColumnText(sqlite3_stmt* s, int col) {
    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(s, col));
    return t ? std::string(t, static_cast<std::size_t>(sqlite3_column_bytes(s, col))) : "";
}

[[noreturn]] void NotA(const char* what, const std::string& text) {
    throw std::runtime_error("'" + text + "' is not a valid " + what + " value");
}

// The timestamp by its stored type. A REAL written by the station holds 15 significant
// digits, so reading the double gives exactly what its text would parse to.
double Timestamp(sqlite3_stmt* s, int col) {
    switch (sqlite3_column_type(s, col)) {
    case SQLITE_FLOAT:
    case SQLITE_INTEGER:
        return sqlite3_column_double(s, col);
    case SQLITE_NULL:
        return 0;
    default: {
        const std::string text = ColumnText(s, col);
        double v = 0;
        if (!TextFormats::ParseDouble(text, v))
            NotA("floating point", text);
        return v;
    }
    }
}

int32_t Litres(sqlite3_stmt* s, int col) {
    int64_t v = 0;
    switch (sqlite3_column_type(s, col)) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
        v = sqlite3_column_int64(s, col);
        break;
    case SQLITE_NULL:
        return 0;
    default: {
        const std::string text = ColumnText(s, col);
        const char* b = text.data();
        const char* e = b + text.size();
        auto [p, ec] = std::from_chars(b + (b != e && *b == '+'), e, v);
        if (ec != std::errc() || p != e || text.empty())
            NotA("integer", text);
    }
    }
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        NotA("integer", std::to_string(v));
    return static_cast<int32_t>(v);
}

} // namespace

double LocalOffset(const Clock& clock) {
    const double utc = clock.UtcNow();
    const double local = clock.LocalNow();
    return std::round((local - utc) * 1440.0) / 1440.0;
}

std::vector<fdata> QueryLevels(TSQLiteDatabase& db, int adr, double S, double E, double offset) {
    std::vector<fdata> samples;
    QueryLevels(db, adr, S, E, offset, samples);
    return samples;
}

void QueryLevels(TSQLiteDatabase& db, int adr, double S, double E, double offset,
                 std::vector<fdata>& samples) {
    samples.clear();
    db.ForEachRow(Sql::SelectLevels(adr, S - offset, E - offset), [&](sqlite3_stmt* s) {
        samples.push_back({Timestamp(s, 0) + offset, Litres(s, 1)});
    });
}

std::vector<double> QueryErrors(TSQLiteDatabase& db, int adr, double S, double E, double offset) {
    std::vector<double> times;
    db.ForEachRow(Sql::SelectErrors(adr, S - offset, E - offset),
                  [&](sqlite3_stmt* s) { times.push_back(Timestamp(s, 0) + offset); });
    return times;
}
