#pragma once
// The book side of the reconciliation, added beside the other tables (which stay as they
// are): METER_TOTALS (what the pump meters counted per tank and period), DELIVERY_NOTES
// (what the drivers billed) and RECON_SETTINGS (per-tank tolerances). Times are local day
// numbers: a business day and a shift are local by nature, and that is how the operator
// enters them. Every statement binds its values.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TSQLiteDatabase;

// One meter figure of a tank for the period starting at `time`: the litres dispensed in it,
// or, when `totaliser`, the totaliser reading at its end.
struct MeterEntry {
    int adr = 0;
    double time = 0; // local
    double litres = 0;
    bool totaliser = false;
    bool operator==(const MeterEntry&) const = default;
};

// A delivery note as the driver hands it over.
struct DeliveryNote {
    int adr = 0;
    double time = 0;               // local date and time of the drop
    double litres = 0;             // as billed
    std::optional<double> tempC;   // on the note, where given
    std::optional<double> density; // kg/m³ at 15 °C, where given
    std::string number, supplier;  // UTF-8
    bool operator==(const DeliveryNote&) const = default;
};

// The schema step that adds the three tables (when missing); run by MigrateSchema inside
// its transaction. Raises SQLiteError.
void AddReconciliationTables(TSQLiteDatabase& db);

// The tank's meter figures and notes with a time in [fromLocal, toLocal), oldest first;
// adr 0 for every tank. Raises SQLiteError (a file without the tables: "no such table").
std::vector<MeterEntry> LoadMeterEntries(TSQLiteDatabase& db, int adr, double fromLocal,
                                         double toLocal);
std::vector<DeliveryNote> LoadDeliveryNotes(TSQLiteDatabase& db, int adr, double fromLocal,
                                            double toLocal);

// Stores an import in one transaction: all rows or, on any failure, none. A figure of the
// same tank, period and kind as a stored one replaces it; so does a note of the same tank,
// time and number (a corrected export imported again). Raises SQLiteError.
void StoreReconRows(TSQLiteDatabase& db, const std::vector<MeterEntry>& meters,
                    const std::vector<DeliveryNote>& notes);

// What the grid dialog saves: the tank's figures and notes in [fromLocal, toLocal) become
// exactly these, in one transaction. Raises SQLiteError; then nothing changed.
void ReplaceReconPeriod(TSQLiteDatabase& db, int adr, double fromLocal, double toLocal,
                        const std::vector<MeterEntry>& meters,
                        const std::vector<DeliveryNote>& notes);

// A tank's tolerances as the operator set them; an unset value takes the default.
struct ReconSettingsRow {
    int adr = 0;
    std::optional<double> dailyShare, dailyFloorLitres, monthlyShare, monthlyLitres, shortShare;
    bool operator==(const ReconSettingsRow&) const = default;
};
std::vector<ReconSettingsRow> LoadReconSettings(TSQLiteDatabase& db);
void SaveReconSettings(TSQLiteDatabase& db, const ReconSettingsRow& s);
