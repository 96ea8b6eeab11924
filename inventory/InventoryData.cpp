#include "InventoryData.h"

#include "BoundSql.h"
#include "Database.h"
#include "FuelEventDetector.h"
#include "HistoryPass.h"
#include "NetVolume.h"
#include "ReadingCheck.h"
#include "ReportSource.h"
#include "SQLiteDatabase.h"
#include "Statements.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace {

// How far back a detector starts when no examined mark is near the period: long enough for
// its medians and temperature mean, and for a delivery going on at the start.
constexpr double kWarmUpDays = 1;

TankEventSettings SettingsOf(TSQLiteDatabase& db, int adr) {
    try {
        for (const TankEventSettings& s : LoadEventSettings(db))
            if (s.adr == adr)
                return s;
    } catch (const SQLiteError&) {
        // a file of the first three tables only: every value takes its default
    }
    TankEventSettings s;
    s.adr = adr;
    return s;
}

std::optional<ExaminedMark> MarkOf(TSQLiteDatabase& db, int adr) {
    try {
        for (const ExaminedMark& m : LoadExaminedMarks(db))
            if (m.adr == adr)
                return m;
    } catch (const SQLiteError&) {
    }
    return std::nullopt;
}

} // namespace

std::vector<std::shared_ptr<TItemNode>> LoadReportTanks(TSQLiteDatabase& db) {
    std::vector<std::shared_ptr<TItemNode>> tanks;
    LoadTanks(db,
              [&]() -> TItemNode& { return *tanks.emplace_back(std::make_shared<TItemNode>()); });
    return tanks;
}

std::vector<StoredReading> QueryReadings(TSQLiteDatabase& db, int adr, double utcFrom, double utcTo,
                                         bool withOpening) {
    std::vector<StoredReading> out;
    auto take = [&](const Row& r) {
        // Rows that cannot be a reading (no time, litres that are no number or no tank's)
        // are left out; the report tool counts them (StoredRowChecks).
        const std::optional<int32_t> litres = StoredLitres(r.IsNumber(1), r.Real(1));
        if (!litres || !StoredTimeUsable(r.IsNumber(0), r.Real(0)))
            return;
        out.push_back(
            {r.Real(0), *litres, static_cast<int32_t>(r.Int(2)), static_cast<int32_t>(r.Int(3))});
    };
    if (withOpening)
        Query(db, Sql::kSelectReadingBefore, {int64_t(adr), utcFrom}, take);
    Query(db, Sql::kSelectReadings, {int64_t(adr), utcFrom, utcTo}, take);
    return out;
}

std::optional<double> ReportDensity(TSQLiteDatabase& db, const TItemNode& tank) {
    return NetVolume::TankDensity(SettingsOf(db, tank.id).density, tank.FType);
}

std::vector<EventRow> ReportEvents(TSQLiteDatabase& db, const TItemNode& tank, double utcFrom,
                                   double utcTo, double offset) {
    std::vector<EventRow> events;
    try {
        Query(db, Sql::kSelectEventsOverlapping, {int64_t(tank.id), utcTo, utcFrom},
              [&](const Row& r) { events.push_back(ReadEventRow(r)); });
    } catch (const SQLiteError&) {
        events.clear(); // no EVENTS table yet: only what is found now
    }

    const std::optional<ExaminedMark> mark = MarkOf(db, tank.id);
    const double examined = mark ? mark->examined : 0;
    if (examined < utcTo) {
        FuelEventDetector detector(ResolveDetectorConfig(tank, SettingsOf(db, tank.id)));
        double from = std::max(examined, utcFrom - kWarmUpDays);
        if (mark && examined >= utcFrom - kWarmUpDays && detector.RestoreState(mark->state))
            from = examined;
        std::map<std::pair<int, double>, FuelEvent> found;
        for (const StoredReading& s : QueryReadings(db, tank.id, from, utcTo)) {
            for (const FuelEvent& e :
                 detector.Feed({s.utc, s.utc + offset, s.gross, static_cast<int>(s.temp)}))
                found[{static_cast<int>(e.kind), e.tstart}] = e;
        }
        for (const auto& [key, e] : found) {
            EventRow row = ToEventRow(tank.id, e);
            // The same event as a stored one: the same kind over an overlapping time (an
            // open one lasting till now), however its start was found this time. What the
            // readings tell beyond a stored open row ends it here; it is never a second row.
            auto same = std::find_if(events.begin(), events.end(), [&](const EventRow& s) {
                const double sEnd = s.tend.value_or(HUGE_VAL), rowEnd = row.tend.value_or(HUGE_VAL);
                return s.kind == row.kind && s.tstart <= rowEnd && row.tstart <= sEnd;
            });
            const bool inside = row.tstart < utcTo && (!row.tend || *row.tend >= utcFrom);
            if (same != events.end()) {
                if (!same->tend && row.tend) {
                    same->tend = row.tend;
                    same->vafter = row.vafter;
                    same->nafter = row.nafter;
                    same->tafter = row.tafter;
                }
            } else if (inside) {
                events.push_back(row);
            }
        }
        std::stable_sort(events.begin(), events.end(),
                         [](const EventRow& a, const EventRow& b) { return a.tstart < b.tstart; });
    }
    return events;
}

TankReport LoadTankReport(ReportSource& source, std::shared_ptr<TItemNode> tank,
                          const std::vector<double>& bounds, double offset, double nowLocal) {
    TankReport rep;
    rep.tank = std::move(tank);
    if (bounds.size() < 2)
        return rep;
    const double utcFrom = bounds.front() - offset, utcTo = bounds.back() - offset;
    rep.density = source.Density(*rep.tank);
    rep.readings = source.Readings(rep.tank->id, utcFrom, utcTo, true);
    rep.events = source.Events(*rep.tank, utcFrom, utcTo, offset);
    BalanceInput in{&rep.readings, &rep.events, rep.density, offset, nowLocal};
    rep.balance = DailyBalance(in, bounds);
    if (!rep.balance.empty()) {
        const BalanceRow& last = rep.balance.back();
        const bool net = rep.density.has_value() && last.closeNet.has_value();
        if (last.closeGross)
            rep.toEmpty =
                EstimateDaysToEmpty(rep.balance, double(net ? *last.closeNet : *last.closeGross),
                                    rep.tank->LowFuel, std::min(nowLocal, last.stop), net);
    }
    return rep;
}

TankReport LoadTankReport(TSQLiteDatabase& db, std::shared_ptr<TItemNode> tank,
                          const std::vector<double>& bounds, double offset, double nowLocal) {
    SqliteReportSource source(db);
    return LoadTankReport(source, std::move(tank), bounds, offset, nowLocal);
}

std::vector<TankBalance> DepotSummary(ReportSource& source,
                                      const std::vector<std::shared_ptr<TItemNode>>& tanks,
                                      const std::vector<double>& bounds, double offset,
                                      double nowLocal, const SummaryStep& step) {
    std::vector<TankBalance> out;
    const int total = static_cast<int>(
        std::count_if(tanks.begin(), tanks.end(), [](const auto& t) { return t->Act; }));
    for (const auto& t : tanks) {
        if (!t->Act)
            continue;
        if (step && !step(static_cast<int>(out.size()), total))
            return out;
        TankReport rep = LoadTankReport(source, t, bounds, offset, nowLocal);
        TankBalance b;
        b.adr = t->id;
        b.name = t->Name;
        b.fuelType = t->FType;
        b.total = SumBalance(rep.balance);
        b.toEmpty = rep.toEmpty;
        out.push_back(std::move(b));
    }
    if (step)
        step(static_cast<int>(out.size()), total);
    return out;
}

std::vector<TankBalance> DepotSummary(TSQLiteDatabase& db,
                                      const std::vector<std::shared_ptr<TItemNode>>& tanks,
                                      const std::vector<double>& bounds, double offset,
                                      double nowLocal, const SummaryStep& step) {
    SqliteReportSource source(db);
    return DepotSummary(source, tanks, bounds, offset, nowLocal, step);
}

std::vector<std::shared_ptr<TItemNode>> SqliteReportSource::Tanks() {
    return LoadReportTanks(db_);
}

std::vector<StoredReading> SqliteReportSource::Readings(int adr, double utcFrom, double utcTo,
                                                        bool withOpening) {
    return QueryReadings(db_, adr, utcFrom, utcTo, withOpening);
}

std::optional<double> SqliteReportSource::Density(const TItemNode& tank) {
    return ReportDensity(db_, tank);
}

std::vector<EventRow> SqliteReportSource::Events(const TItemNode& tank, double utcFrom,
                                                 double utcTo, double offset) {
    return ReportEvents(db_, tank, utcFrom, utcTo, offset);
}

std::optional<std::pair<int, int>> SqliteReportSource::QuietHours(int adr) {
    const TankEventSettings s = SettingsOf(db_, adr);
    auto valid = [](const std::optional<int64_t>& m) {
        return m && *m >= 0 && *m < kMinutesPerDay;
    };
    if (!valid(s.quietFrom) || !valid(s.quietTo) || *s.quietFrom == *s.quietTo)
        return std::nullopt;
    return std::pair<int, int>(int(*s.quietFrom), int(*s.quietTo));
}
