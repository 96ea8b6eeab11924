#include "LevelQuery.h"

#include "BoundSql.h"
#include "Clock.h"
#include "DayNumbers.h"
#include "ReadingCheck.h"
#include "SQLiteDatabase.h"
#include "Statements.h"
#include "TextFormats.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

namespace {

[[noreturn]] void NotA(const char* what, const std::string& text) {
    throw std::runtime_error("'" + text + "' is not a valid " + what + " value");
}

// The timestamp by its stored type. A REAL written by the station holds 15 significant
// digits, so reading the double gives exactly what its text would parse to.
double Timestamp(const Row& r, int col) {
    switch (r.TypeOf(col)) {
    case Row::Type::Float:
    case Row::Type::Integer:
        return r.Real(col);
    case Row::Type::Null:
        return 0;
    default: {
        const std::string text = r.Text(col);
        double v = 0;
        if (TextFormats::ParseDouble(text, v))
            return v;
        // A number too large for a double is no time of any reading: it is skipped as an
        // infinite one would be.
        const char* b = text.data();
        const char* e = b + text.size();
        auto [p, ec] = std::from_chars(b + (b != e && *b == '+'), e, v);
        if (ec == std::errc::result_out_of_range && p == e)
            return std::numeric_limits<double>::infinity();
        NotA("floating point", text);
    }
    }
}

int32_t Litres(const Row& r, int col) {
    int64_t v = 0;
    switch (r.TypeOf(col)) {
    case Row::Type::Integer:
    case Row::Type::Float:
        v = r.Int(col);
        break;
    case Row::Type::Null:
        return 0;
    default: {
        const std::string text = r.Text(col);
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

// The bounds exactly as the statement writes them. SQLite compares a text stored in a
// column without REAL affinity as text, so a hand-edited row may pass the statement's
// bounds with a time far outside them, or one that is not finite at all ("inf", "nan",
// 4e999): such a row is no reading of the period, and its time would overflow the chart's
// millisecond arithmetic.
struct Bounds {
    double from, to;
    Bounds(double utcFrom, double utcTo) : from(AsWritten(utcFrom)), to(AsWritten(utcTo)) {}
    bool Inside(double t) const { return std::isfinite(t) && t > from && t < to; }
    static double AsWritten(double v) {
        double parsed = v;
        TextFormats::ParseDouble(TextFormats::Timestamp(v), parsed);
        return parsed;
    }
};

} // namespace

double LocalOffset(const Clock& clock) {
    const double utc = clock.UtcNow();
    const double local = clock.LocalNow();
    return std::round((local - utc) * kMinutesPerDay) / kMinutesPerDay;
}

std::vector<fdata> QueryLevels(TSQLiteDatabase& db, int adr, double S, double E, double offset) {
    std::vector<fdata> samples;
    QueryLevels(db, adr, S, E, offset, samples);
    return samples;
}

void QueryLevels(TSQLiteDatabase& db, int adr, double S, double E, double offset,
                 std::vector<fdata>& samples) {
    samples.clear();
    const Bounds bounds(S - offset, E - offset);
    db.ForEachRow(Sql::SelectLevels(adr, S - offset, E - offset), [&](const Row& r) {
        const double t = Timestamp(r, 0);
        // A row without litres (NULL, or -1 for a reading that was no level) is no sample.
        if (!bounds.Inside(t) || r.IsNull(1))
            return;
        if (const int32_t litres = Litres(r, 1); litres != kNoLitres)
            samples.push_back({t + offset, litres});
    });
}

std::vector<double> QueryErrors(TSQLiteDatabase& db, int adr, double S, double E, double offset) {
    std::vector<double> times;
    const Bounds bounds(S - offset, E - offset);
    db.ForEachRow(Sql::SelectErrors(adr, S - offset, E - offset), [&](const Row& r) {
        const double t = Timestamp(r, 0);
        if (bounds.Inside(t))
            times.push_back(t + offset);
    });
    return times;
}

std::vector<std::string> TankNames(TSQLiteDatabase& db, int count) {
    std::vector<std::string> names;
    TSQLiteTable t = db.GetTable(Sql::kSelectTanks);
    for (; !t.Eof() && static_cast<int>(names.size()) < count; t.Next())
        names.push_back(t.FieldText("name"));
    return names;
}
