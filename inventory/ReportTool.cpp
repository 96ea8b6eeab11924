#include "ReportTool.h"

#include "Balance.h"
#include "Clock.h"
#include "Csv.h"
#include "InventoryData.h"
#include "LeakReport.h"
#include "LevelQuery.h"
#include "OutputTarget.h"
#include "ReportSource.h"
#include "SQLiteDatabase.h"
#include "StoredRowChecks.h"
#include "TextFormats.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <ostream>
#include <set>
#include <sqlite3.h>
#include <system_error>

namespace {

constexpr const char* kUsage =
    "usage: tavrona-report [--db FILE] --what "
    "readings|events|daily|summary|leak|reconciliation|deliveries --tank N|all "
    "--from dd/mm/yyyy --to dd/mm/yyyy [--format csv|pdf] [--shifts hh:mm,...] -o FILE\n"
    "       tavrona-report --central CONNINFO [--station NAME|all] --what "
    "readings|events|daily|summary|leak|reconciliation|deliveries [--tank N|all] --from "
    "dd/mm/yyyy --to dd/mm/yyyy "
    "[--shifts hh:mm,...] -o FILE";

// 100 years of 365.25 days: longer periods name days no reading can have.
constexpr double kMaxReportDays = 36525;

constexpr const char* kHelp =
    "Writes an inventory report of the station's data.db (read-only), or of the central\n"
    "server, as CSV, or as a PDF with --format pdf.\n"
    "  --db FILE          the station's database (default: data.db in this folder)\n"
    "  --what WHAT        readings, events, daily (balance), summary (the depot's), leak\n"
    "                     (the daily leak test), reconciliation (book against gauge per\n"
    "                     day or shift) or deliveries (delivery notes against measured)\n"
    "  --tank N|all       one tank, or every active tank\n"
    "  --from, --to       the period's first and last day, as dd/mm/yyyy\n"
    "  --format csv|pdf   a PDF holds the tank's report (daily), its events, the summary,\n"
    "                     the leak tests or the reconciliation and its deliveries\n"
    "  --shifts hh:mm,... balance rows per shift instead of per calendar day\n"
    "  -o FILE            the output file; - writes CSV to standard output\n"
    "  --central CONNINFO, --station NAME|all   the same reports over the central server\n"
    "                     (as CSV), reconciliation and deliveries from the book sent there\n"
    "  -h, --help         this text\n"
    "Exit codes: 0 written, 1 the file could not be read, 2 bad arguments or a reversed\n"
    "period, 3 no such file or no station database, 4 no such tank (or an inactive one),\n"
    "5 the output cannot be written, 6 the central server cannot be reached.\n";

bool Digits(const std::string& s, std::size_t from, std::size_t count) {
    for (std::size_t i = from; i < from + count; ++i)
        if (i >= s.size() || s[i] < '0' || s[i] > '9')
            return false;
    return true;
}

// "dd/mm/yyyy" of a real calendar day.
bool ParseDate(const std::string& s, double& day) {
    if (s.size() != 10 || s[2] != '/' || s[5] != '/' || !Digits(s, 0, 2) || !Digits(s, 3, 2) ||
        !Digits(s, 6, 4))
        return false;
    const int d = std::stoi(s.substr(0, 2)), m = std::stoi(s.substr(3, 2)),
              y = std::stoi(s.substr(6, 4));
    if (m < 1 || m > 12 || d < 1 || d > 31 || y < 1900)
        return false;
    day = TextFormats::Join(y, m, d);
    const auto back = TextFormats::Split(day);
    return back.day == d && back.month == m && back.year == y;
}

bool WriteFile(const std::string& path, const std::string& bytes, std::string& why) {
    why = WriteOutputFile(path, bytes);
    return why.empty();
}

} // namespace

bool ParseShiftStarts(const std::string& s, std::vector<int>& starts) {
    std::size_t pos = 0;
    while (pos <= s.size()) {
        const std::size_t comma = std::min(s.find(',', pos), s.size());
        const std::string t = s.substr(pos, comma - pos);
        if (t.size() != 5 || t[2] != ':' || !Digits(t, 0, 2) || !Digits(t, 3, 2))
            return false;
        const int h = std::stoi(t.substr(0, 2)), m = std::stoi(t.substr(3, 2));
        if (h > 23 || m > 59)
            return false;
        starts.push_back(h * 60 + m);
        pos = comma + 1;
    }
    return !starts.empty();
}

std::string ShiftStartsText(const std::vector<int>& starts) {
    std::string text;
    for (int m : starts) {
        if (!text.empty())
            text += ',';
        const int h = m / 60, mm = m % 60;
        text += char('0' + h / 10);
        text += char('0' + h % 10);
        text += ':';
        text += char('0' + mm / 10);
        text += char('0' + mm % 10);
    }
    return text;
}

namespace {

// The tank reports as CSV rows; `header` only before the first.
void AppendReports(std::string& text, ReportWhat what, const std::vector<TankReport>& reports,
                   double utcFrom, double offset, bool header) {
    for (const TankReport& r : reports) {
        const Csv::TankName name{r.tank->id, r.tank->Name};
        switch (what) {
        case ReportWhat::Readings: {
            // the opening reading belongs to the day before
            std::vector<StoredReading> inside;
            for (const StoredReading& s : r.readings)
                if (s.utc >= utcFrom)
                    inside.push_back(s);
            Csv::AppendReadings(text, name, inside, r.density, offset, header);
            break;
        }
        case ReportWhat::Events:
            Csv::AppendEvents(text, name, r.events, offset, header);
            break;
        case ReportWhat::Daily:
            Csv::AppendBalance(text, name, r.balance, header);
            break;
        case ReportWhat::Summary:
        case ReportWhat::Leak:
            break;
        }
        header = false;
    }
}

// Appends the records of `csv` (no byte-order mark) with `station` as a first field; the
// first record is the header, written with "Station" when `header`, else left out.
void AppendWithStation(std::string& out, const std::string& csv, const std::string& station,
                       bool header) {
    const auto records = Csv::Parse(csv);
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (i == 0 && !header)
            continue;
        out += Csv::Field(i == 0 ? std::string("Station") : station);
        for (const std::string& f : records[i]) {
            out += ',';
            out += Csv::Field(f);
        }
        out += "\r\n";
    }
}

int RunCentral(const ReportRequest& req, std::ostream& out, std::ostream& err, const Clock& clock,
               const CentralOpener& open) {
    if (!open) {
        err << "tavrona-report: the central server is not available in this build\n";
        return kReportUsage;
    }
    std::string csv, error;
    try {
        std::unique_ptr<StationArchive> archive = open(req.central, error);
        if (!archive) {
            err << "tavrona-report: cannot reach the central server: " << error << "\n";
            return kReportNoServer;
        }
        const int code =
            CentralReportCsv(*archive, req, LocalOffset(clock), clock.LocalNow(), csv, error);
        if (code != kReportOk) {
            err << "tavrona-report: " << error << "\n";
            return code;
        }
    } catch (const ReportSourceError& e) {
        err << "tavrona-report: cannot read the central server: " << e.what() << "\n";
        return kReportFailed;
    }
    // The server's snapshot is closed now: the rest only writes the output.
    return WriteOutput(req, std::string(Csv::kBom) + csv, out, err);
}

} // namespace

bool OutputIsDatabase(const ReportRequest& req, std::ostream& err) {
    // Written by mistake over its input, the report would wipe the history.
    if (req.output == "-" || !SameFile(req.output, req.db))
        return false;
    err << "tavrona-report: the output " << req.output << " is the database " << req.db
        << " itself; choose another file\n";
    return true;
}

int WriteOutput(const ReportRequest& req, const std::string& text, std::ostream& out,
                std::ostream& err) {
    if (req.output == "-") {
        out << text;
        out.flush();
        if (!out) {
            err << "tavrona-report: cannot write the output\n";
            return kReportNoOutput;
        }
        return kReportOk;
    }
    std::string error;
    if (!WriteFile(req.output, text, error)) {
        err << "tavrona-report: " << error << "\n";
        return kReportNoOutput;
    }
    return kReportOk;
}

int CentralReportCsv(StationArchive& archive, const ReportRequest& req, double offset,
                     double nowLocal, std::string& csv, std::string& error) {
    std::vector<std::string> stations = archive.Stations();
    if (!req.station.empty()) {
        if (std::find(stations.begin(), stations.end(), req.station) == stations.end()) {
            error = "there is no station \"" + req.station + "\" on the central server";
            return kReportNoTank;
        }
        stations = {req.station};
    }
    const bool tagged = req.station.empty();
    const std::vector<double> bounds =
        BalanceBoundaries(req.firstDay, req.lastDay, req.shiftStarts);
    std::vector<TankBalance> everyTank;
    bool header = true, tankFound = false;
    for (const std::string& name : stations) {
        ReportSource& source = archive.Station(name);
        std::vector<std::shared_ptr<TItemNode>> tanks;
        for (auto& t : source.Tanks())
            if (req.tank ? t->id == req.tank : t->Act)
                tanks.push_back(t);
        tankFound = tankFound || !tanks.empty();
        std::string text;
        if (req.what == ReportWhat::Summary) {
            const std::vector<TankBalance> summary =
                DepotSummary(source, tanks, bounds, offset, nowLocal);
            everyTank.insert(everyTank.end(), summary.begin(), summary.end());
            Csv::AppendSummary(text, summary, TotalsByFuel(summary));
        } else if (req.what == ReportWhat::Leak) {
            // The server keeps no station's test results: every day is tested here.
            AppendLeakCsv(text,
                          LeakReport(source, tanks, req.firstDay, req.lastDay, offset, nowLocal));
        } else {
            std::vector<TankReport> reports;
            for (auto& t : tanks)
                reports.push_back(LoadTankReport(source, t, bounds, offset, nowLocal));
            AppendReports(text, req.what, reports, bounds.front() - offset, offset,
                          header || tagged);
        }
        if (tagged)
            AppendWithStation(csv, text, name, header);
        else
            csv += text;
        header = header && text.empty();
    }
    if (req.tank && !tankFound) {
        error = "there is no tank " + std::to_string(req.tank) +
                (req.station.empty() ? std::string(" at any station")
                                     : " at station \"" + req.station + "\"");
        return kReportNoTank;
    }
    if (tagged && req.what == ReportWhat::Summary) {
        std::string text;
        Csv::AppendSummary(text, {}, TotalsByFuel(everyTank));
        AppendWithStation(csv, text, std::string(), header);
    }
    return kReportOk;
}

bool ParseReportArgs(const std::vector<std::string>& args, ReportRequest& req, std::string& error) {
    bool what = false, tank = false, from = false, to = false, output = false, db = false,
         station = false;
    std::set<std::string> seen;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!seen.insert(a).second) {
            error = "\"" + a + "\" is given twice";
            return false;
        }
        if (i + 1 >= args.size()) {
            error = "\"" + a + "\" needs a value";
            return false;
        }
        const std::string& v = args[++i];
        if (a == "--db") {
            req.db = v;
            db = true;
        } else if (a == "--central") {
            if (v.empty()) {
                error = "--central needs a connection string";
                return false;
            }
            req.central = v;
        } else if (a == "--station") {
            req.station = v == "all" ? std::string() : v;
            station = true;
        } else if (a == "--what") {
            if (v == "readings")
                req.what = ReportWhat::Readings;
            else if (v == "events")
                req.what = ReportWhat::Events;
            else if (v == "daily")
                req.what = ReportWhat::Daily;
            else if (v == "summary")
                req.what = ReportWhat::Summary;
            else if (v == "leak")
                req.what = ReportWhat::Leak;
            else {
                error =
                    "--what must be readings, events, daily, summary or leak, not \"" + v + "\"";
                return false;
            }
            what = true;
        } else if (a == "--tank") {
            if (v == "all") {
                req.tank = 0;
            } else if (!v.empty() && v.size() <= 3 && Digits(v, 0, v.size()) && std::stoi(v) >= 1 &&
                       std::stoi(v) <= 255) {
                req.tank = std::stoi(v);
            } else {
                error = "--tank must be a tank number from 1 to 255 or all, not \"" + v + "\"";
                return false;
            }
            tank = true;
        } else if (a == "--from" || a == "--to") {
            double day = 0;
            if (!ParseDate(v, day)) {
                error = a + " must be a date as dd/mm/yyyy, not \"" + v + "\"";
                return false;
            }
            (a == "--from" ? req.firstDay : req.lastDay) = day;
            (a == "--from" ? from : to) = true;
        } else if (a == "--format") {
            if (v != "csv" && v != "pdf") {
                error = "--format must be csv or pdf, not \"" + v + "\"";
                return false;
            }
            req.pdf = v == "pdf";
        } else if (a == "--shifts") {
            req.shiftStarts.clear();
            if (!ParseShiftStarts(v, req.shiftStarts)) {
                error =
                    "--shifts must be start times as hh:mm separated by commas, not \"" + v + "\"";
                return false;
            }
        } else if (a == "-o") {
            req.output = v;
            output = true;
        } else {
            error = "unknown argument \"" + a + "\"";
            return false;
        }
    }
    const bool central = !req.central.empty();
    const char* missing = !what               ? "--what"
                          : !tank && !central ? "--tank"
                          : !from             ? "--from"
                          : !to               ? "--to"
                          : !output           ? "-o"
                                              : nullptr;
    if (missing) {
        error = std::string(missing) + " is missing";
        return false;
    }
    if (central && db) {
        error = "--db and --central cannot be used together";
        return false;
    }
    if (station && !central) {
        error = "--station needs --central";
        return false;
    }
    if (central && req.pdf) {
        error = "the central server's reports are written as CSV only";
        return false;
    }
    if (req.lastDay < req.firstDay) {
        error = "the period is reversed: --to is before --from";
        return false;
    }
    if (req.lastDay - req.firstDay >= kMaxReportDays) {
        error = "the period is longer than 100 years; choose a shorter one";
        return false;
    }
    if (req.pdf && req.what == ReportWhat::Readings) {
        error = "readings are written as CSV only; a PDF is made for --what daily (the tank's "
                "report: chart, balance and events), events or summary";
        return false;
    }
    if (req.pdf && req.output == "-") {
        error = "a PDF needs an output file";
        return false;
    }
    return true;
}

int RunReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              const Clock& clock, const PdfRenderer& pdf, const CentralOpener& central,
              const LeakPdfRenderer& leakPdf) {
    // Asked for help, the usage is the answer, wherever among the arguments it was asked.
    for (const std::string& a : args)
        if (a == "--help" || a == "-h") {
            out << kUsage << "\n" << kHelp;
            out.flush();
            return kReportOk;
        }
    ReportRequest req;
    std::string error;
    if (!ParseReportArgs(args, req, error)) {
        err << "tavrona-report: " << error << "\n" << kUsage << "\n";
        return kReportUsage;
    }
    if (!req.central.empty())
        return RunCentral(req, out, err, clock, central);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::u8path(req.db), ec)) {
        err << "tavrona-report: no such file: " << req.db << "\n";
        return kReportNoDatabase;
    }
    if (OutputIsDatabase(req, err))
        return kReportUsage;
    if (req.pdf && !(req.what == ReportWhat::Leak ? bool(leakPdf) : bool(pdf))) {
        err << "tavrona-report: PDF output is not available in this build\n";
        return kReportUsage;
    }

    const double offset = LocalOffset(clock);
    const double nowLocal = clock.LocalNow();
    const std::vector<double> bounds =
        BalanceBoundaries(req.firstDay, req.lastDay, req.shiftStarts);
    std::vector<TankReport> reports;
    std::vector<TankBalance> summary;
    std::vector<LeakReportRow> leaks;
    try {
        TSQLiteDatabase db(req.db, TSQLiteDatabase::Mode::ReadOnly);
        if (!db.TableExists("TANKS") || !db.TableExists("DATA")) {
            err << "tavrona-report: " << req.db << " is not a database of the station\n";
            return kReportNoDatabase;
        }
        std::vector<std::shared_ptr<TItemNode>> tanks;
        for (auto& t : LoadReportTanks(db))
            if (req.tank ? t->id == req.tank : t->Act)
                tanks.push_back(t);
        if (req.tank && tanks.empty()) {
            err << "tavrona-report: there is no tank " << req.tank << " in " << req.db << "\n";
            return kReportNoTank;
        }
        // An inactive tank is not polled: its rows would be blanks, as would a summary of it.
        if (req.tank && !tanks.front()->Act) {
            err << "tavrona-report: tank " << req.tank << " is inactive in " << req.db
                << " (the station does not poll it)\n";
            return kReportNoTank;
        }
        for (const std::string& line :
             StoredRowWarnings(db, tanks, bounds.front() - offset, bounds.back() - offset))
            err << "tavrona-report: " << line << "\n";
        if (req.what == ReportWhat::Summary)
            summary = DepotSummary(db, tanks, bounds, offset, nowLocal);
        else if (req.what == ReportWhat::Leak)
            leaks = LeakReport(db, tanks, req.firstDay, req.lastDay, offset, nowLocal);
        else
            for (auto& t : tanks)
                reports.push_back(LoadTankReport(db, t, bounds, offset, nowLocal));
    } catch (const SQLiteError& e) {
        err << "tavrona-report: cannot read " << req.db << ": " << e.what() << "\n";
        return (e.Code() & 0xFF) == SQLITE_NOTADB ? kReportNoDatabase : kReportFailed;
    }
    // The file is closed now: the rest only writes the output.

    if (req.pdf) {
        const std::string why =
            req.what == ReportWhat::Leak
                ? leakPdf(req, leaks, offset, nowLocal)
                : pdf(req, reports, summary, bounds.front(), bounds.back(), offset, nowLocal);
        if (!why.empty()) {
            err << "tavrona-report: " << why << "\n";
            return kReportNoOutput;
        }
        return kReportOk;
    }

    std::string text(Csv::kBom);
    if (req.what == ReportWhat::Summary)
        Csv::AppendSummary(text, summary, TotalsByFuel(summary));
    if (req.what == ReportWhat::Leak)
        AppendLeakCsv(text, leaks);
    AppendReports(text, req.what, reports, bounds.front() - offset, offset, true);
    return WriteOutput(req, text, out, err);
}
