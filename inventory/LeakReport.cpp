#include "LeakReport.h"

#include "Csv.h"
#include "InventoryData.h"
#include "ReportSource.h"
#include "TItemNode.h"
#include "TextFormats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace {

std::string Num(double v, const char* format = "%.3f") {
    char buf[48];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

// One test made at `now` (UTC) over the readings and events of its window only: a long
// report would otherwise scan every reading and event of its period for each day.
LeakTestResult TestAt(const std::vector<LeakReading>& readings, const std::vector<EventRow>& events,
                      std::optional<double> density, double now, double offset,
                      std::optional<std::pair<int, int>> quiet) {
    LeakTestInput in;
    in.density = density;
    in.now = now;
    in.offset = offset;
    if (quiet) {
        in.quietFrom = quiet->first;
        in.quietTo = quiet->second;
    }
    const double from = now - LeakTest::kWindowDays;
    const auto lo = std::lower_bound(readings.begin(), readings.end(), from,
                                     [](const LeakReading& r, double t) { return r.utc < t; });
    const auto hi = std::upper_bound(lo, readings.end(), now,
                                     [](double t, const LeakReading& r) { return t < r.utc; });
    in.readings.assign(lo, hi);
    for (const EventRow& e : events)
        if ((e.kind == "delivery" || e.kind == "loss") && e.tstart <= now &&
            e.tend.value_or(now) >= from - 1)
            in.events.push_back(e);
    return LeakTest::Run(in);
}

} // namespace

std::vector<LeakReportRow> LeakReport(ReportSource& source,
                                      const std::vector<std::shared_ptr<TItemNode>>& tanks,
                                      double firstDay, double lastDay, double offset,
                                      double nowLocal, const std::vector<StoredLeakTest>& stored,
                                      const std::function<bool(int, int)>& step) {
    std::vector<LeakReportRow> rows;
    int done = 0;
    for (const auto& t : tanks) {
        std::map<double, const StoredLeakTest*> kept;
        for (const StoredLeakTest& s : stored)
            if (s.adr == t->id)
                kept[s.day] = &s;
        // The days to test now, and the readings they need.
        std::vector<double> days;
        for (double day = firstDay; day <= lastDay + 1e-9 && day < nowLocal; ++day)
            if (!kept.count(day))
                days.push_back(day);
        std::vector<LeakReading> readings;
        std::vector<EventRow> events;
        std::optional<double> density;
        std::optional<std::pair<int, int>> quiet;
        if (!days.empty()) {
            const double utcFrom = days.front() + 1 - offset - LeakTest::kWindowDays;
            const double utcTo = std::min(days.back() + 1, nowLocal) - offset;
            density = source.Density(*t);
            quiet = source.QuietHours(t->id);
            for (const StoredReading& s : source.Readings(t->id, utcFrom, utcTo, false))
                readings.push_back({s.utc, s.gross, static_cast<int>(s.temp)});
            events = source.Events(*t, utcFrom, utcTo, offset);
        }
        for (double day = firstDay; day <= lastDay + 1e-9 && day < nowLocal; ++day) {
            if (auto k = kept.find(day); k != kept.end()) {
                rows.push_back(FromStoredLeakTest(*k->second, t->Name));
                continue;
            }
            // a day not over yet is tested up to now
            const double now = std::min(day + 1, nowLocal) - offset;
            rows.push_back(
                {t->id, t->Name, day, TestAt(readings, events, density, now, offset, quiet)});
        }
        if (step && !step(++done, static_cast<int>(tanks.size())))
            break;
    }
    return rows;
}

std::vector<LeakReportRow> LeakReport(TSQLiteDatabase& db,
                                      const std::vector<std::shared_ptr<TItemNode>>& tanks,
                                      double firstDay, double lastDay, double offset,
                                      double nowLocal, const std::function<bool(int, int)>& step) {
    SqliteReportSource source(db);
    return LeakReport(source, tanks, firstDay, lastDay, offset, nowLocal,
                      LoadLeakTests(db, 0, firstDay, lastDay), step);
}

std::vector<double> LeakDaysDue(std::optional<double> lastTested, double nowLocal) {
    const double lastOver = std::floor(nowLocal) - 1;
    double first = lastTested ? *lastTested + 1 : lastOver;
    first = std::max(first, lastOver - (LeakTest::kWindowDays - 1));
    std::vector<double> days;
    for (double d = first; d <= lastOver; ++d)
        days.push_back(d);
    return days;
}

StoredLeakTest ToStoredLeakTest(const LeakReportRow& row, double offset) {
    const LeakTestResult& r = row.result;
    StoredLeakTest s;
    s.adr = row.adr;
    s.day = row.day;
    s.tested = row.day + 1 - offset;
    s.verdict = LeakTest::VerdictText(r.verdict);
    s.rate = r.rate;
    s.bound = r.bound;
    s.threshold = r.threshold;
    s.sigma = r.sigma;
    s.periods = r.periods;
    s.hours = r.hours;
    s.from = r.from;
    s.to = r.to;
    return s;
}

LeakReportRow FromStoredLeakTest(const StoredLeakTest& s, const std::string& name) {
    LeakReportRow row{s.adr, name, s.day, {}};
    LeakTestResult& r = row.result;
    r.verdict = LeakVerdict::Inconclusive;
    for (LeakVerdict v : {LeakVerdict::Pass, LeakVerdict::Fail})
        if (s.verdict == LeakTest::VerdictText(v))
            r.verdict = v;
    r.rate = s.rate;
    r.bound = s.bound;
    r.threshold = s.threshold;
    r.sigma = s.sigma;
    r.periods = s.periods;
    r.hours = s.hours;
    r.from = s.from;
    r.to = s.to;
    return row;
}

std::string LeakAlarmText(const LeakTestResult& r) {
    return "Leak test failed: " + Num(r.rate, "%.2f") + " l/h lost (threshold " +
           Num(r.threshold, "%.2f") + " l/h, 95 % bound " + Num(r.bound, "%.2f") + " l/h, " +
           std::to_string(r.periods) + " periods)";
}

void AppendLeakCsv(std::string& out, const std::vector<LeakReportRow>& rows) {
    out += "Day,Tank,Name,Result,Rate l/h,Upper bound l/h,Threshold l/h,Periods,Hours\r\n";
    for (const LeakReportRow& r : rows) {
        const bool numbers = r.result.periods > 0;
        out += TextFormats::ShortDate(r.day) + "," + std::to_string(r.adr) + "," +
               Csv::Field(Csv::StoredToUtf8(r.name)) + "," +
               LeakTest::VerdictText(r.result.verdict) + "," + (numbers ? Num(r.result.rate) : "") +
               "," + (numbers ? Num(r.result.bound) : "") + "," + Num(r.result.threshold) + "," +
               std::to_string(r.result.periods) + "," + Num(r.result.hours) + "\r\n";
    }
}
