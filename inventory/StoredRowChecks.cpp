#include "StoredRowChecks.h"

#include "BoundSql.h"
#include "ReadingCheck.h"
#include "TItemNode.h"

#include <cmath>

namespace {

// The rows QueryReadings leaves out, by the same rule in SQL.
constexpr const char* kCountUnusable =
    "SELECT count(*) FROM DATA WHERE adr = ? AND tstamp >= ? AND tstamp < ? AND NOT "
    "(typeof(flevel) IN ('integer', 'real') AND flevel >= 0 AND flevel <= ? AND "
    "flevel = CAST(flevel AS INTEGER))";
// NULL sorts before every number and text after, so each term is a range of the report
// index: the count reads the few such rows, not the tank's history.
constexpr const char* kCountTimeless =
    "SELECT (SELECT count(*) FROM DATA WHERE adr = ?1 AND tstamp IS NULL) + "
    "(SELECT count(*) FROM DATA WHERE adr = ?1 AND tstamp <= 0) + "
    "(SELECT count(*) FROM DATA WHERE adr = ?1 AND tstamp >= '')";

int64_t Count(TSQLiteDatabase& db, const char* sql, const std::vector<SqlValue>& values) {
    int64_t n = 0;
    Query(db, sql, values, [&](const Row& r) { n = r.Int(0); });
    return n;
}

} // namespace

bool CalibrationPlausible(const TItemNode& tank) {
    float previous = 0;
    for (float v : tank.ClbArray) {
        if (!std::isfinite(v) || v < 0 || v > float(kMaxTankLitres) || v < previous)
            return false;
        previous = v;
    }
    return true;
}

std::vector<std::string> StoredRowWarnings(TSQLiteDatabase& db,
                                           const std::vector<std::shared_ptr<TItemNode>>& tanks,
                                           double utcFrom, double utcTo) {
    std::vector<std::string> lines;
    for (const auto& t : tanks) {
        const std::string tank = "tank " + std::to_string(t->id);
        const int64_t unusable =
            Count(db, kCountUnusable, {int64_t(t->id), utcFrom, utcTo, kMaxTankLitres});
        if (unusable > 0)
            lines.push_back(tank + ": " + std::to_string(unusable) +
                            " stored rows of the period hold no litres a tank can hold "
                            "(none, text, -1 for a reading that was no level, or out of "
                            "range) and were left out");
        const int64_t timeless = Count(db, kCountTimeless, {int64_t(t->id)});
        if (timeless > 0)
            lines.push_back(tank + ": " + std::to_string(timeless) +
                            " stored rows have no time and were left out");
        if (!CalibrationPlausible(*t)) {
            lines.push_back(tank + ": the calibration cannot be right (litres that are no "
                                   "number, beyond any tank or falling as the code rises); "
                                   "its capacity is not used");
            t->Capacity = 0;
        }
    }
    return lines;
}
