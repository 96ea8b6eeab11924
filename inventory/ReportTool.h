#pragma once
// The report tool without its process: arguments in, the report written, messages to `err`,
// an exit code back. `main` only wires the streams and the clock, so tests run it on
// buffers. It opens data.db read-only and never creates or changes it; every query has
// finished before the output is written, so the station's inserts never meet its lock.
//
//   tavrona-report [--db FILE] --what readings|events|daily|summary|leak --tank N|all
//                  --from dd/mm/yyyy --to dd/mm/yyyy [--format csv|pdf] [--shifts hh:mm,...]
//                  -o FILE            ("-o -" writes to `out`)
//   tavrona-report --central CONNINFO [--station NAME|all] --what ... [--tank N|all] ...
//                  the same reports over the central server, for one station or all of
//                  them (then with a first column "Station"); --tank defaults to all. Every
//                  read of one run comes from one snapshot of the server.

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

class Clock;
class StationArchive;
struct LeakReportRow;
struct ReportRequest;
struct TankBalance;
struct TankReport;

enum ReportExit : int {
    kReportOk = 0,
    kReportFailed = 1,     // reading the file failed
    kReportUsage = 2,      // unknown, missing or malformed arguments; a reversed period
    kReportNoDatabase = 3, // no such file, or no database of the station
    kReportNoTank = 4,     // no such tank in TANKS, or no such station on the central server
    kReportNoOutput = 5,   // the output could not be written
    kReportNoServer = 6,   // the central server could not be reached (libpq's words follow)
};

enum class ReportWhat { Readings, Events, Daily, Summary, Leak };

struct ReportRequest {
    std::string db = "data.db";
    ReportWhat what = ReportWhat::Daily;
    int tank = 0;                     // 0: all active tanks
    double firstDay = 0, lastDay = 0; // local day numbers, inclusive
    bool pdf = false;
    std::vector<int> shiftStarts; // minutes after midnight
    std::string output;
    std::string central; // the central server's connection string; empty: data.db
    std::string station; // with `central`: one station's name; empty: every station
};

// Shift start times as "hh:mm,hh:mm,..." (the --shifts value, and the station's setting of
// them) into minutes after midnight, in the order written. False for an empty or malformed
// text, or a time past 23:59; `starts` then holds what was read before the fault.
bool ParseShiftStarts(const std::string& text, std::vector<int>& starts);
// The text of minutes after midnight (0 .. 1439) as ParseShiftStarts reads it.
std::string ShiftStartsText(const std::vector<int>& starts);

// Parses the arguments (without the program name). False with the message in `error`.
// True, with the message on `err`, when `req.output` names the database read.
bool OutputIsDatabase(const ReportRequest& req, std::ostream& err);
// Writes a report's text to `req.output` ("-": standard output), a file through
// WriteOutputFile; a failure is told on `err` and gives kReportNoOutput.
int WriteOutput(const ReportRequest& req, const std::string& text, std::ostream& out,
                std::ostream& err);

bool ParseReportArgs(const std::vector<std::string>& args, ReportRequest& req, std::string& error);

// Renders the PDF of the reports read (the depot summary's rows for --what summary, the
// tanks' reports otherwise) over the local period [from, to); the PDF layer supplies it.
// Returns an empty string on success, else why the file could not be written.
using PdfRenderer = std::function<std::string(const ReportRequest&, const std::vector<TankReport>&,
                                              const std::vector<TankBalance>& summary, double from,
                                              double to, double offset, double nowLocal)>;

// Renders the PDF of the leak tests (--what leak); the PDF layer supplies it. Returns an
// empty string on success, else why the file could not be written.
using LeakPdfRenderer = std::function<std::string(
    const ReportRequest&, const std::vector<LeakReportRow>&, double offset, double nowLocal)>;

// Opens the central server for reading; null with libpq's words in `error`.
using CentralOpener =
    std::function<std::unique_ptr<StationArchive>(const std::string& conninfo, std::string& error)>;

int RunReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              const Clock& clock, const PdfRenderer& pdf = {}, const CentralOpener& central = {},
              const LeakPdfRenderer& leakPdf = {});

// The CSV of `req` (what, tank, station, period) over the archive, with a first column
// "Station" when `req.station` is empty (every station). A depot summary of every station is
// each station's summary, then the totals by fuel type of all of them (an empty station).
// Returns kReportOk, or kReportNoTank with the message in `error`. Raises what the archive
// raises.
int CentralReportCsv(StationArchive& archive, const ReportRequest& req, double offset,
                     double nowLocal, std::string& csv, std::string& error);
