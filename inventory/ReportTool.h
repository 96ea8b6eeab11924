#pragma once
// The report tool without its process: arguments in, the report written, messages to `err`,
// an exit code back. `main` only wires the streams and the clock, so tests run it on
// buffers. It opens data.db read-only and never creates or changes it; every query has
// finished before the output is written, so the station's inserts never meet its lock.
//
//   tavrona-report [--db FILE] --what readings|events|daily|summary --tank N|all
//                  --from dd/mm/yyyy --to dd/mm/yyyy [--format csv|pdf] [--shifts hh:mm,...]
//                  -o FILE            ("-o -" writes to `out`)

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

class Clock;
struct ReportRequest;
struct TankBalance;
struct TankReport;

enum ReportExit : int {
    kReportOk = 0,
    kReportFailed = 1,     // reading the file failed
    kReportUsage = 2,      // unknown, missing or malformed arguments; a reversed period
    kReportNoDatabase = 3, // no such file, or no database of the station
    kReportNoTank = 4,     // no such tank in TANKS
    kReportNoOutput = 5,   // the output could not be written
};

enum class ReportWhat { Readings, Events, Daily, Summary };

struct ReportRequest {
    std::string db = "data.db";
    ReportWhat what = ReportWhat::Daily;
    int tank = 0;                     // 0: all active tanks
    double firstDay = 0, lastDay = 0; // local day numbers, inclusive
    bool pdf = false;
    std::vector<int> shiftStarts; // minutes after midnight
    std::string output;
};

// Shift start times as "hh:mm,hh:mm,..." (the --shifts value, and the station's setting of
// them) into minutes after midnight, in the order written. False for an empty or malformed
// text, or a time past 23:59; `starts` then holds what was read before the fault.
bool ParseShiftStarts(const std::string& text, std::vector<int>& starts);
// The text of minutes after midnight (0 .. 1439) as ParseShiftStarts reads it.
std::string ShiftStartsText(const std::vector<int>& starts);

// Parses the arguments (without the program name). False with the message in `error`.
bool ParseReportArgs(const std::vector<std::string>& args, ReportRequest& req, std::string& error);

// Renders the PDF of the reports read (the depot summary's rows for --what summary, the
// tanks' reports otherwise) over the local period [from, to); the PDF layer supplies it.
// Returns an empty string on success, else why the file could not be written.
using PdfRenderer = std::function<std::string(const ReportRequest&, const std::vector<TankReport>&,
                                              const std::vector<TankBalance>& summary, double from,
                                              double to, double offset, double nowLocal)>;

int RunReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              const Clock& clock, const PdfRenderer& pdf = {});
