#include "ReportTool.h"

#include "Balance.h"
#include "Clock.h"
#include "Csv.h"
#include "InventoryData.h"
#include "LevelQuery.h"
#include "SQLiteDatabase.h"
#include "TextFormats.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sqlite3.h>

namespace {

constexpr const char* kUsage =
    "usage: tavrona-report [--db FILE] --what readings|events|daily|summary --tank N|all "
    "--from dd/mm/yyyy --to dd/mm/yyyy [--format csv|pdf] [--shifts hh:mm,...] -o FILE";

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
    std::ofstream f(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
    if (f)
        f.write(bytes.data(), std::streamsize(bytes.size()));
    if (f)
        f.close();
    if (!f) {
        why = "cannot write \"" + path + "\"";
        return false;
    }
    return true;
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

bool ParseReportArgs(const std::vector<std::string>& args, ReportRequest& req, std::string& error) {
    bool what = false, tank = false, from = false, to = false, output = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (i + 1 >= args.size()) {
            error = "\"" + a + "\" needs a value";
            return false;
        }
        const std::string& v = args[++i];
        if (a == "--db") {
            req.db = v;
        } else if (a == "--what") {
            if (v == "readings")
                req.what = ReportWhat::Readings;
            else if (v == "events")
                req.what = ReportWhat::Events;
            else if (v == "daily")
                req.what = ReportWhat::Daily;
            else if (v == "summary")
                req.what = ReportWhat::Summary;
            else {
                error = "--what must be readings, events, daily or summary, not \"" + v + "\"";
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
    const char* missing = !what     ? "--what"
                          : !tank   ? "--tank"
                          : !from   ? "--from"
                          : !to     ? "--to"
                          : !output ? "-o"
                                    : nullptr;
    if (missing) {
        error = std::string(missing) + " is missing";
        return false;
    }
    if (req.lastDay < req.firstDay) {
        error = "the period is reversed: --to is before --from";
        return false;
    }
    if (req.pdf && req.output == "-") {
        error = "a PDF needs an output file";
        return false;
    }
    return true;
}

int RunReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              const Clock& clock, const PdfRenderer& pdf) {
    ReportRequest req;
    std::string error;
    if (!ParseReportArgs(args, req, error)) {
        err << "tavrona-report: " << error << "\n" << kUsage << "\n";
        return kReportUsage;
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::u8path(req.db), ec)) {
        err << "tavrona-report: no such file: " << req.db << "\n";
        return kReportNoDatabase;
    }
    if (req.pdf && !pdf) {
        err << "tavrona-report: PDF output is not available in this build\n";
        return kReportUsage;
    }

    const double offset = LocalOffset(clock);
    const double nowLocal = clock.LocalNow();
    const std::vector<double> bounds =
        BalanceBoundaries(req.firstDay, req.lastDay, req.shiftStarts);
    std::vector<TankReport> reports;
    std::vector<TankBalance> summary;
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
        if (req.what == ReportWhat::Summary)
            summary = DepotSummary(db, tanks, bounds, offset, nowLocal);
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
            pdf(req, reports, summary, bounds.front(), bounds.back(), offset, nowLocal);
        if (!why.empty()) {
            err << "tavrona-report: " << why << "\n";
            return kReportNoOutput;
        }
        return kReportOk;
    }

    std::string text(Csv::kBom);
    bool header = true;
    if (req.what == ReportWhat::Summary)
        Csv::AppendSummary(text, summary, TotalsByFuel(summary));
    for (const TankReport& r : reports) {
        const Csv::TankName name{r.tank->id, r.tank->Name};
        switch (req.what) {
        case ReportWhat::Readings: {
            // the opening reading belongs to the day before
            std::vector<StoredReading> inside;
            const double utcFrom = bounds.front() - offset;
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
            break;
        }
        header = false;
    }
    if (req.output == "-") {
        out << text;
        out.flush();
        if (!out) {
            err << "tavrona-report: cannot write the output\n";
            return kReportNoOutput;
        }
        return kReportOk;
    }
    if (!WriteFile(req.output, text, error)) {
        err << "tavrona-report: " << error << "\n";
        return kReportNoOutput;
    }
    return kReportOk;
}
