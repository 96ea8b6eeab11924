#pragma once
// The inventory reports as CSV: UTF-8 with a byte-order mark, so that spreadsheets read the
// degree sign and non-ASCII tank names right; fields quoted as RFC 4180 asks (a name with a
// comma, a quote or a line break survives the round trip); lines end in CR LF; numbers use
// "." whatever the locale. Each writer appends to a string, so the file is written only
// after every query has finished.

#include "Balance.h"
#include "EventTables.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Csv {

inline constexpr std::string_view kBom = "\xEF\xBB\xBF";

// A stored text (a tank name, a fuel type) as UTF-8: as it is when it is UTF-8 already,
// else read in the station's legacy code page.
std::string StoredToUtf8(std::string_view stored);
// One field: as it is, or between quotes with quotes doubled when it holds a comma, a quote,
// CR or LF (or starts or ends with a blank, which some readers would trim).
std::string Field(std::string_view utf8);
// Splits CSV text (after an optional byte-order mark) into records of fields.
std::vector<std::vector<std::string>> Parse(std::string_view text);

struct TankName {
    int adr = 0;
    std::string name; // as stored
};

// Local time, ISO 8601, tank, name, gross litres, net litres (empty without a density),
// code, °C.
void AppendReadings(std::string& out, const TankName& tank, const std::vector<StoredReading>& r,
                    std::optional<double> density, double offset, bool header = true);
// Tank, name, kind, start, end (local), the litres and °C before and after, the amount of a
// delivery or loss, acknowledged.
void AppendEvents(std::string& out, const TankName& tank, const std::vector<EventRow>& events,
                  double offset, bool header = true);
// One line per row: tank, name, start, end, opening and closing gross and net, delivered,
// lost, consumed (gross and net), readings, completeness in %.
void AppendBalance(std::string& out, const TankName& tank, const std::vector<BalanceRow>& rows,
                   bool header = true);
// The depot summary: one line per tank, then one per fuel type.
void AppendSummary(std::string& out, const std::vector<TankBalance>& tanks,
                   const std::vector<FuelTotal>& totals);

} // namespace Csv
