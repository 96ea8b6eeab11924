#pragma once
// Meter totals and delivery notes from a CSV file: a point-of-sale or forecourt-controller
// export, read with the column mapping the operator picked once, decimal comma or point, a
// date format he names, in UTF-8 or the station's legacy code page. Every row is checked
// before anything is kept: a file with one bad row gives the reasons row by row and no
// entries at all, so nothing is ever half imported. No file and no database: bytes in,
// values or reasons out.

#include "ReconciliationTables.h"
#include "StoredText.h"

#include <string>
#include <string_view>
#include <vector>

enum class ImportKind { Meters, Notes };

// The fields a column may hold. Meters: "tank", "date", "time", "litres". Notes also
// "temperature", "density", "number", "supplier". "" leaves the column out.
std::vector<std::string> ImportFields(ImportKind kind);
// The fields a file must have a column for: tank, date and litres.
bool FieldRequired(const std::string& field);

struct ImportOptions {
    // The field of each column, in the file's order; what the operator picked once.
    std::vector<std::string> columns;
    bool header = true; // the first line names the columns and is skipped
    char decimal = '.'; // '.' or ','
    char separator = 0; // 0: ';' when the first line has one, else a tab, else ','
    // Day, month, year and the time of day as the file writes them: dd d MM M yyyy yy HH H
    // mm ss; any other character must stand as it is ("dd.MM.yyyy HH:mm").
    std::string dateFormat = "dd/MM/yyyy";
    std::string timeFormat = "HH:mm"; // for a column of its own
    // Text that is not UTF-8 is read in this code page.
    StoredText::CodePage codePage = StoredText::kDefaultCodePage;
    bool totaliser = false; // meter litres are totaliser readings, not litres sold
};

struct ImportProblem {
    int line = 0; // 1-based line of the file; 0: the file as a whole
    std::string reason;
};

struct ImportResult {
    std::vector<MeterEntry> meters;
    std::vector<DeliveryNote> notes;
    std::vector<ImportProblem> problems; // empty: every row is good
    int rows = 0;                        // data rows read
};

// Mapping text as the settings keep it: the fields separated by "|".
std::string MappingText(const std::vector<std::string>& columns);
std::vector<std::string> MappingFromText(const std::string& text);

// A day number from `text` in `format`; false for text that does not match or no real day.
bool ParseDateText(const std::string& text, const std::string& format, double& day);
// A number with `decimal` as its point (blanks around it and between digit groups allowed);
// false for anything else,
// so a "12.5" in a decimal-comma file is refused, not read as 125.
bool ParseNumberText(const std::string& text, char decimal, double& value);

// Reads the whole file. `tanks` are the station's tank numbers; a row for another is
// refused. `shiftStarts` (minutes after midnight, may be empty) place a meter row dated
// without a time at the first shift of its day. Two meter rows of one tank and period, or
// two notes of one tank with one number, are refused as duplicates. On any problem
// `meters` and `notes` are empty.
ImportResult ParseReconCsv(std::string_view bytes, ImportKind kind, const ImportOptions& options,
                           const std::vector<int>& tanks, const std::vector<int>& shiftStarts = {});
