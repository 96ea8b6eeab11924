#include "LeakReport.h"

#include "Csv.h"
#include "InventoryData.h"
#include "TItemNode.h"
#include "TextFormats.h"

#include <algorithm>
#include <cstdio>

std::vector<LeakReportRow> LeakReport(TSQLiteDatabase& db,
                                      const std::vector<std::shared_ptr<TItemNode>>& tanks,
                                      double firstDay, double lastDay, double offset,
                                      double nowLocal) {
    std::vector<LeakReportRow> rows;
    const double utcFrom = firstDay + 1 - offset - LeakTest::kWindowDays;
    const double utcTo = std::min(lastDay + 1, nowLocal) - offset;
    for (const auto& t : tanks) {
        LeakTestInput in;
        in.density = ReportDensity(db, *t);
        for (const StoredReading& s : QueryReadings(db, t->id, utcFrom, utcTo, false))
            in.readings.push_back({s.utc, s.gross, static_cast<int>(s.temp)});
        in.events = ReportEvents(db, *t, utcFrom, utcTo, offset);
        for (double day = firstDay; day <= lastDay + 1e-9; ++day) {
            // a day not over yet is tested up to now
            in.now = std::min(day + 1, nowLocal) - offset;
            if (in.now <= day - offset)
                break;
            rows.push_back({t->id, t->Name, day, LeakTest::Run(in)});
        }
    }
    return rows;
}

void AppendLeakCsv(std::string& out, const std::vector<LeakReportRow>& rows) {
    out += "Day,Tank,Name,Result,Rate l/h,Upper bound l/h,Threshold l/h,Periods,Hours\r\n";
    auto num = [](double v) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.3f", v);
        return std::string(buf);
    };
    for (const LeakReportRow& r : rows) {
        const bool numbers = r.result.periods > 0;
        out += TextFormats::ShortDate(r.day) + "," + std::to_string(r.adr) + "," +
               Csv::Field(Csv::StoredToUtf8(r.name)) + "," +
               LeakTest::VerdictText(r.result.verdict) + "," + (numbers ? num(r.result.rate) : "") +
               "," + (numbers ? num(r.result.bound) : "") + "," + num(r.result.threshold) + "," +
               std::to_string(r.result.periods) + "," + num(r.result.hours) + "\r\n";
    }
}
