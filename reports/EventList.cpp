#include "EventList.h"

#include "SQLiteDatabase.h"
#include "Statements.h"
#include "TextFormats.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>

namespace {

std::optional<int64_t> OptionalInt(sqlite3_stmt* s, int column) {
    if (sqlite3_column_type(s, column) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_int64(s, column);
}

std::optional<double> OptionalTime(sqlite3_stmt* s, int column) {
    if (sqlite3_column_type(s, column) == SQLITE_NULL)
        return std::nullopt;
    const double v = sqlite3_column_double(s, column);
    return std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
}

std::string Text(sqlite3_stmt* s, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
    return text ? std::string(text, std::size_t(sqlite3_column_bytes(s, column))) : std::string();
}

constexpr double kHour = 1.0 / 24;

} // namespace

std::vector<EventRow> LoadEvents(TSQLiteDatabase& db) {
    std::vector<EventRow> rows;
    if (!db.TableExists("EVENTS"))
        return rows;
    db.ForEachRow(Sql::SelectEvents(kEventRowLimit), [&](sqlite3_stmt* s) {
        const std::optional<double> start = OptionalTime(s, 3);
        if (!start)
            return; // a damaged time cannot be placed anywhere in the list
        EventRow r;
        r.id = sqlite3_column_int64(s, 0);
        r.adr = sqlite3_column_int(s, 1);
        r.kind = Text(s, 2);
        r.tstart = *start;
        r.tend = OptionalTime(s, 4);
        r.vbefore = OptionalInt(s, 5);
        r.vafter = OptionalInt(s, 6);
        r.nbefore = OptionalInt(s, 7);
        r.nafter = OptionalInt(s, 8);
        r.acked = OptionalTime(s, 9);
        rows.push_back(std::move(r));
    });
    return rows;
}

bool EventMatches(const EventRow& row, int adr, const std::string& kind) {
    return (adr == 0 || row.adr == adr) && (kind.empty() || row.kind == kind);
}

std::string EventKindText(const std::string& kind) {
    if (kind == "delivery")
        return "Delivery";
    if (kind == "loss")
        return "Loss";
    if (kind == "low")
        return "Low level";
    if (kind == "high")
        return "High level";
    if (kind == "silent")
        return "No signal";
    return kind;
}

std::string EventStateText(const EventRow& row) {
    if (row.kind == "delivery")
        return row.tend ? "Done" : "In progress";
    if (row.tend)
        return "Cleared";
    return row.acked ? "Acknowledged" : "Active";
}

std::string ChangeText(const std::optional<int64_t>& before, const std::optional<int64_t>& after) {
    if (!before || !after)
        return {};
    const int64_t d = *after - *before;
    return (d > 0 ? "+" : "") + TextFormats::Int(d);
}

std::string DurationText(const EventRow& row, double utcNow) {
    const double end = row.tend.value_or(std::max(utcNow, row.tstart));
    const int64_t minutes = std::llround(std::max(0.0, end - row.tstart) * 24 * 60);
    const int64_t m = minutes % 60;
    return TextFormats::Int(minutes / 60) + (m < 10 ? ":0" : ":") + TextFormats::Int(m);
}

ReportPeriod PeriodAround(const EventRow& row, double utcNow, double offset) {
    const double end = row.tend.value_or(std::max(utcNow, row.tstart));
    return {row.tstart - kHour + offset, end + kHour + offset};
}
