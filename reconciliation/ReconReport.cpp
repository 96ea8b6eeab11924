#include "ReconReport.h"

#include "Clock.h"
#include "Csv.h"
#include "LevelQuery.h"
#include "ReportSource.h"
#include "ReportTool.h"
#include "SQLiteDatabase.h"
#include "TextFormats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <sqlite3.h>

namespace {

std::string Num(std::optional<double> v, int decimals = 0) {
    if (!v)
        return {};
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, *v);
    std::string s = buf;
    return s == "-0" ? "0" : s;
}
std::string Num(std::optional<int64_t> v) {
    return v ? std::to_string(*v) : std::string();
}

void AppendLine(std::string& out, const std::vector<std::string>& cells) {
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i)
            out += ',';
        out += Csv::Field(cells[i]);
    }
    out += "\r\n";
}

void AppendTable(std::string& out, const TankReconReport& r, const TextTable& t, bool header) {
    if (header) {
        std::vector<std::string> h{"Tank", "Name"};
        h.insert(h.end(), t.headers.begin(), t.headers.end());
        AppendLine(out, h);
    }
    for (const auto& row : t.rows) {
        std::vector<std::string> cells{std::to_string(r.tank->id), Csv::StoredToUtf8(r.tank->Name)};
        cells.insert(cells.end(), row.begin(), row.end());
        AppendLine(out, cells);
    }
}

// The reconciliation of one station, or of every one with a first column "Station", over
// the central server's snapshot: the book as each station last sent it, against the
// readings and events it sent.
int CentralRecon(const ReportRequest& req, bool deliveries, std::ostream& out, std::ostream& err,
                 const Clock& clock, const CentralOpener& open) {
    if (!open) {
        err << "tavrona-report: the central server is not available in this build\n";
        return kReportUsage;
    }
    const double offset = LocalOffset(clock);
    const double nowLocal = clock.LocalNow();
    const std::vector<double> bounds =
        BalanceBoundaries(req.firstDay, req.lastDay, req.shiftStarts);
    std::string csv(Csv::kBom);
    try {
        std::string error;
        std::unique_ptr<StationArchive> archive = open(req.central, error);
        if (!archive) {
            err << "tavrona-report: cannot reach the central server: " << error << "\n";
            return kReportNoServer;
        }
        std::vector<std::string> stations = archive->Stations();
        if (!req.station.empty()) {
            if (std::find(stations.begin(), stations.end(), req.station) == stations.end()) {
                err << "tavrona-report: there is no station \"" << req.station
                    << "\" on the central server\n";
                return kReportNoTank;
            }
            stations = {req.station};
        }
        const bool tagged = req.station.empty();
        bool header = true, tankFound = false;
        for (const std::string& name : stations) {
            ReportSource& source = archive->Station(name);
            for (auto& t : source.Tanks()) {
                if (req.tank ? t->id != req.tank : !t->Act)
                    continue;
                tankFound = true;
                const TankReconReport r =
                    LoadTankReconciliation(source, t, bounds, offset, nowLocal);
                std::string text;
                if (deliveries)
                    AppendDeliveriesCsv(text, r, offset, header);
                else
                    AppendReconCsv(text, r, header);
                if (!tagged) {
                    csv += text;
                } else {
                    // Each line with the station's name first, the header's with "Station".
                    bool first = header;
                    for (std::size_t at = 0; at < text.size();) {
                        const std::size_t end = text.find("\r\n", at);
                        const std::size_t stop = end == std::string::npos ? text.size() : end + 2;
                        csv += Csv::Field(first ? std::string("Station") : name) + ",";
                        csv.append(text, at, stop - at);
                        first = false;
                        at = stop;
                    }
                }
                header = false;
            }
        }
        if (req.tank && !tankFound) {
            err << "tavrona-report: there is no tank " << req.tank
                << (req.station.empty() ? std::string(" at any station")
                                        : " at station \"" + req.station + "\"")
                << "\n";
            return kReportNoTank;
        }
    } catch (const ReportSourceError& e) {
        err << "tavrona-report: cannot read the central server: " << e.what() << "\n";
        return kReportNoServer;
    }
    return WriteOutput(req, csv, out, err);
}

} // namespace

ReconTolerance ToleranceOf(const ReconSettingsRow& s) {
    ReconTolerance t;
    t.dailyShare = s.dailyShare.value_or(t.dailyShare);
    t.dailyFloorLitres = s.dailyFloorLitres.value_or(t.dailyFloorLitres);
    t.monthlyShare = s.monthlyShare.value_or(t.monthlyShare);
    t.monthlyLitres = s.monthlyLitres.value_or(t.monthlyLitres);
    t.shortShare = s.shortShare.value_or(t.shortShare);
    return t;
}

ReconTolerance ToleranceOf(TSQLiteDatabase& db, int adr) {
    ReconTolerance t;
    try {
        for (const ReconSettingsRow& s : LoadReconSettings(db))
            if (s.adr == adr)
                t = ToleranceOf(s);
    } catch (const SQLiteError&) {
        // a file without the table: the defaults
    }
    return t;
}

namespace {

// What the reconciliation takes from a tank's report; `rep` must outlive the input.
ReconInput InputOf(const TankReport& rep, int adr, double offset, const ReconTolerance& tol) {
    ReconInput in;
    in.adr = adr;
    in.balance = &rep.balance;
    in.readings = &rep.readings;
    in.events = &rep.events;
    in.density = rep.density;
    in.offset = offset;
    in.tolerance = tol;
    return in;
}

} // namespace

TankReconReport LoadTankReconciliation(TSQLiteDatabase& db, std::shared_ptr<TItemNode> tank,
                                       const std::vector<double>& bounds, double offset,
                                       double nowLocal) {
    TankReconReport out;
    out.tank = tank;
    out.tolerance = ToleranceOf(db, tank->id);
    const TankReport rep = LoadTankReport(db, tank, bounds, offset, nowLocal);
    ReconInput in = InputOf(rep, tank->id, offset, out.tolerance);
    const double before = bounds.size() > 1 ? bounds[1] - bounds[0] : 1;
    try {
        in.meters = LoadMeterEntries(db, tank->id, bounds.front() - before, bounds.back());
        in.notes = LoadDeliveryNotes(db, tank->id, bounds.front(), bounds.back());
    } catch (const SQLiteError&) {
        // a file of an older station: nothing entered yet
    }
    out.rec = Reconcile(in);
    return out;
}

TankReconReport LoadTankReconciliation(ReportSource& source, std::shared_ptr<TItemNode> tank,
                                       const std::vector<double>& bounds, double offset,
                                       double nowLocal) {
    TankReconReport out;
    out.tank = tank;
    const double before = bounds.size() > 1 ? bounds[1] - bounds[0] : 1;
    const std::optional<ReconBook> book =
        source.Book(tank->id, bounds.front() - before, bounds.front(), bounds.back());
    if (book && book->settings)
        out.tolerance = ToleranceOf(*book->settings);
    const TankReport rep = LoadTankReport(source, tank, bounds, offset, nowLocal);
    ReconInput in = InputOf(rep, tank->id, offset, out.tolerance);
    if (book) {
        in.meters = book->meters;
        in.notes = book->notes;
    }
    out.rec = Reconcile(in);
    return out;
}

TextTable ReconTable(const TankReconciliation& rec) {
    TextTable t;
    t.headers = {"Period",       "Opening, l",      "Delivered (notes), l", "Delivered (gauge), l",
                 "Dispensed, l", "Book closing, l", "Gauged closing, l",    "Variance, l",
                 "Variance, %",  "Cumulative, l",   "Tolerance, l",         "Status"};
    for (const ReconRow& r : rec.rows) {
        BalanceRow period;
        period.start = r.start;
        period.stop = r.stop;
        t.rows.push_back(
            {RowPeriodText(period), Num(r.opening), Num(std::optional<double>(r.deliveredNoted)),
             Num(std::optional<double>(r.deliveredMeasured)), Num(r.dispensed, 1),
             Num(r.bookClosing), Num(r.gaugedClosing), Num(r.variance, 1), Num(r.variancePct, 2),
             Num(r.cumulative, 1), r.variance ? Num(r.tolerance, 1) : std::string(),
             r.status == ReconStatus::NoData ? r.remark : StatusText(r.status)});
    }
    return t;
}

TextTable MatchTable(const TankReconciliation& rec, double offset) {
    TextTable t;
    t.headers = {
        "Note time",         "Note",          "Supplier",      "Billed, l",     "Measured at",
        "Measured, l",       "Over/short, l", "Over/short, %", "Net billed, l", "Net measured, l",
        "Net over/short, %", "Result"};
    for (const DeliveryMatch& m : rec.matches) {
        std::string result = !m.note       ? "no note"
                             : !m.measured ? "not measured"
                             : m.shortFlag ? "SHORT"
                                           : "matched";
        t.rows.push_back(
            {m.note ? TextFormats::DateTime(m.note->time) : std::string(),
             m.note ? m.note->number : std::string(), m.note ? m.note->supplier : std::string(),
             m.note ? Num(std::optional<double>(m.note->litres)) : std::string(),
             m.measured ? TextFormats::DateTime(m.measured->tstart + offset) : std::string(),
             Num(m.measuredGross), Num(m.overGross), Num(m.overGrossPct, 2), Num(m.notedNet),
             Num(m.measuredNet), Num(m.overNetPct, 2), result});
    }
    return t;
}

std::string MonthLabel(const TankReconciliation& rec, const MonthCheck& m) {
    char text[48];
    std::snprintf(text, sizeof text, "%02d/%04d", m.month, m.year);
    // The periods of this month that were reconciled: a check over part of a month is no
    // month's check, and the page and paper must say so.
    std::optional<double> first, last;
    for (const ReconRow& r : rec.rows) {
        const auto parts = TextFormats::Split(r.start);
        if (parts.year != m.year || parts.month != m.month)
            continue;
        first = std::min(first.value_or(r.start), r.start);
        last = std::max(last.value_or(r.stop), r.stop);
    }
    const double monthStart = TextFormats::Join(m.year, m.month, 1);
    const double monthEnd = m.month == 12 ? TextFormats::Join(m.year + 1, 1, 1)
                                          : TextFormats::Join(m.year, m.month + 1, 1);
    constexpr double kSecond = 1.0 / 86400;
    if (!first || (*first <= monthStart + kSecond && *last >= monthEnd - kSecond))
        return text;
    // The last day named is the one the periods end in (a period ending at midnight ends
    // with the day before).
    const std::string from = TextFormats::ShortDate(*first).substr(0, 5);
    const std::string to = TextFormats::ShortDate(*last - kSecond).substr(0, 5);
    return std::string(text) + ", " + from + "-" + to + " only";
}

TextTable MonthTable(const TankReconciliation& rec) {
    TextTable t;
    t.headers = {
        "Month", "Throughput, l", "Variance, l", "Limit ±, l", "Periods without meter data",
        "Result"};
    for (const MonthCheck& m : rec.months) {
        t.rows.push_back({MonthLabel(rec, m), Num(std::optional<double>(m.throughput)),
                          Num(std::optional<double>(m.variance)),
                          Num(std::optional<double>(m.limit)), std::to_string(m.rowsWithoutData),
                          m.rowsWithoutData == m.rows ? "no meter data"
                          : m.pass                    ? "pass"
                                                      : "fail"});
    }
    return t;
}

void AppendReconCsv(std::string& out, const TankReconReport& r, bool header) {
    AppendTable(out, r, ReconTable(r.rec), header);
}

void AppendDeliveriesCsv(std::string& out, const TankReconReport& r, double offset, bool header) {
    AppendTable(out, r, MatchTable(r.rec, offset), header);
}

void StoreReconAlarms(TSQLiteDatabase& db, const TankReconciliation& rec, double offset) {
    for (const ReconAlarm& a : rec.alarms) {
        EventRow e;
        e.adr = rec.adr;
        e.kind = "reconciliation";
        e.tstart = a.time - offset;
        e.memo = a.text;
        StoreFuelEvent(db, e);
    }
}

bool IsReconReport(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "--what")
            return args[i + 1] == "reconciliation" || args[i + 1] == "deliveries";
    return false;
}

int RunReconReport(const std::vector<std::string>& argsIn, std::ostream& out, std::ostream& err,
                   const Clock& clock, const ReconPdfRenderer& pdf, const CentralOpener& central) {
    // The other reports' arguments, read by their own parser with a stand-in for --what.
    std::vector<std::string> args = argsIn;
    bool deliveries = false;
    for (std::size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "--what") {
            deliveries = args[i + 1] == "deliveries";
            args[i + 1] = "daily";
        }
    ReportRequest req;
    std::string error;
    if (!ParseReportArgs(args, req, error)) {
        err << "tavrona-report: " << error << "\n";
        return kReportUsage;
    }
    if (!req.central.empty())
        return CentralRecon(req, deliveries, out, err, clock, central);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::u8path(req.db), ec)) {
        err << "tavrona-report: no such file: " << req.db << "\n";
        return kReportNoDatabase;
    }
    if (OutputIsDatabase(req, err))
        return kReportUsage;
    if (req.pdf && !pdf) {
        err << "tavrona-report: PDF output is not available in this build\n";
        return kReportUsage;
    }
    const double offset = LocalOffset(clock);
    const double nowLocal = clock.LocalNow();
    const std::vector<double> bounds =
        BalanceBoundaries(req.firstDay, req.lastDay, req.shiftStarts);
    std::vector<TankReconReport> reports;
    try {
        TSQLiteDatabase db(req.db, TSQLiteDatabase::Mode::ReadOnly);
        if (!db.TableExists("TANKS") || !db.TableExists("DATA")) {
            err << "tavrona-report: " << req.db << " is not a database of the station\n";
            return kReportNoDatabase;
        }
        for (auto& t : LoadReportTanks(db))
            if (req.tank ? t->id == req.tank : t->Act)
                reports.push_back(LoadTankReconciliation(db, t, bounds, offset, nowLocal));
        if (req.tank && reports.empty()) {
            err << "tavrona-report: there is no tank " << req.tank << " in " << req.db << "\n";
            return kReportNoTank;
        }
    } catch (const SQLiteError& e) {
        err << "tavrona-report: cannot read " << req.db << ": " << e.what() << "\n";
        return (e.Code() & 0xFF) == SQLITE_NOTADB ? kReportNoDatabase : kReportFailed;
    }
    if (req.pdf) {
        const std::string why =
            pdf(req.output, deliveries, reports, bounds.front(), bounds.back(), offset, nowLocal);
        if (!why.empty()) {
            err << "tavrona-report: " << why << "\n";
            return kReportNoOutput;
        }
        return kReportOk;
    }
    std::string text(Csv::kBom);
    bool header = true;
    for (const TankReconReport& r : reports) {
        if (deliveries)
            AppendDeliveriesCsv(text, r, offset, header);
        else
            AppendReconCsv(text, r, header);
        header = false;
    }
    return WriteOutput(req, text, out, err);
}
