#include "EventList.h"

#include "SQLiteDatabase.h"
#include "TextFormats.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kHour = 1.0 / 24;

} // namespace

std::vector<EventRow> LoadEvents(TSQLiteDatabase& db) {
    if (!db.TableExists("EVENTS"))
        return {};
    return SelectEvents(db, 0, {}, kEventRowLimit);
}

bool EventMatches(const EventRow& row, int adr, const std::string& kind) {
    return (adr == 0 || row.adr == adr) && (kind.empty() || row.kind == kind);
}

std::string EventKindText(const std::string& kind) {
    if (kind == "delivery")
        return "Delivery";
    if (kind == "loss")
        return "Loss";
    if (kind == "leak")
        return "Leak";
    if (kind == "low")
        return "Low level";
    if (kind == "high")
        return "High level";
    if (kind == "silent")
        return "No signal";
    if (kind == "reconciliation")
        return "Reconciliation";
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
