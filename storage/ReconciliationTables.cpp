#include "ReconciliationTables.h"

#include "BoundSql.h"
#include "SQLiteDatabase.h"

namespace {

// The three tables' texts, part of the file format.
constexpr const char* kCreateMeterTotals =
    "CREATE TABLE METER_TOTALS (id INTEGER PRIMARY KEY, adr INTEGER NOT NULL, "
    "tlocal REAL NOT NULL, litres REAL NOT NULL, totaliser INTEGER NOT NULL DEFAULT 0, "
    "UNIQUE (adr, tlocal, totaliser))";
constexpr const char* kCreateDeliveryNotes =
    "CREATE TABLE DELIVERY_NOTES (id INTEGER PRIMARY KEY, adr INTEGER NOT NULL, "
    "tlocal REAL NOT NULL, litres REAL NOT NULL, temp REAL, density REAL, "
    "number TEXT NOT NULL DEFAULT '', supplier TEXT NOT NULL DEFAULT '', "
    "UNIQUE (adr, tlocal, number))";
constexpr const char* kCreateReconSettings =
    "CREATE TABLE RECON_SETTINGS (adr INTEGER PRIMARY KEY, daily_share REAL, "
    "daily_floor REAL, monthly_share REAL, monthly_litres REAL, short_share REAL)";

constexpr const char* kSelectMeters =
    "SELECT adr, tlocal, litres, totaliser FROM METER_TOTALS WHERE (? = 0 OR adr = ?) "
    "AND tlocal >= ? AND tlocal < ? ORDER BY tlocal, adr";
constexpr const char* kSelectNotes =
    "SELECT adr, tlocal, litres, temp, density, number, supplier FROM DELIVERY_NOTES "
    "WHERE (? = 0 OR adr = ?) AND tlocal >= ? AND tlocal < ? ORDER BY tlocal, adr";
constexpr const char* kStoreMeter = "INSERT OR REPLACE INTO METER_TOTALS (adr, tlocal, litres, "
                                    "totaliser) VALUES (?, ?, ?, ?)";
constexpr const char* kStoreNote =
    "INSERT OR REPLACE INTO DELIVERY_NOTES (adr, tlocal, litres, temp, density, number, "
    "supplier) VALUES (?, ?, ?, ?, ?, ?, ?)";
constexpr const char* kDeleteMeters =
    "DELETE FROM METER_TOTALS WHERE adr = ? AND tlocal >= ? AND tlocal < ?";
constexpr const char* kDeleteNotes =
    "DELETE FROM DELIVERY_NOTES WHERE adr = ? AND tlocal >= ? AND tlocal < ?";
constexpr const char* kSelectSettings =
    "SELECT adr, daily_share, daily_floor, monthly_share, monthly_litres, short_share "
    "FROM RECON_SETTINGS ORDER BY adr";
constexpr const char* kSaveSettings =
    "INSERT OR REPLACE INTO RECON_SETTINGS (adr, daily_share, daily_floor, monthly_share, "
    "monthly_litres, short_share) VALUES (?, ?, ?, ?, ?, ?)";

void Insert(TSQLiteDatabase& db, const std::vector<MeterEntry>& meters,
            const std::vector<DeliveryNote>& notes) {
    for (const MeterEntry& m : meters)
        Exec(db, kStoreMeter, {int64_t(m.adr), m.time, m.litres, int64_t(m.totaliser)});
    for (const DeliveryNote& n : notes)
        Exec(db, kStoreNote,
             {int64_t(n.adr), n.time, n.litres, SqlOptional(n.tempC), SqlOptional(n.density),
              n.number, n.supplier});
}

// Runs `work` inside one transaction; on any failure rolls back and raises again.
template <typename Work> void InTransaction(TSQLiteDatabase& db, Work work) {
    db.ExecSQL("BEGIN IMMEDIATE");
    try {
        work();
        db.ExecSQL("COMMIT");
    } catch (...) {
        try {
            db.ExecSQL("ROLLBACK");
        } catch (const SQLiteError&) {
            // SQLite may have rolled back already (full disk, I/O error).
        }
        throw;
    }
}

} // namespace

void AddReconciliationTables(TSQLiteDatabase& db) {
    if (!db.TableExists("METER_TOTALS"))
        db.ExecSQL(kCreateMeterTotals);
    if (!db.TableExists("DELIVERY_NOTES"))
        db.ExecSQL(kCreateDeliveryNotes);
    if (!db.TableExists("RECON_SETTINGS"))
        db.ExecSQL(kCreateReconSettings);
}

std::vector<MeterEntry> LoadMeterEntries(TSQLiteDatabase& db, int adr, double fromLocal,
                                         double toLocal) {
    std::vector<MeterEntry> out;
    Query(db, kSelectMeters, {int64_t(adr), int64_t(adr), fromLocal, toLocal}, [&](const Row& r) {
        out.push_back({int(r.Int(0)), r.Real(1), r.Real(2), r.Int(3) != 0});
    });
    return out;
}

std::vector<DeliveryNote> LoadDeliveryNotes(TSQLiteDatabase& db, int adr, double fromLocal,
                                            double toLocal) {
    std::vector<DeliveryNote> out;
    Query(db, kSelectNotes, {int64_t(adr), int64_t(adr), fromLocal, toLocal}, [&](const Row& r) {
        DeliveryNote n;
        n.adr = int(r.Int(0));
        n.time = r.Real(1);
        n.litres = r.Real(2);
        n.tempC = r.OptReal(3);
        n.density = r.OptReal(4);
        n.number = r.Text(5);
        n.supplier = r.Text(6);
        out.push_back(std::move(n));
    });
    return out;
}

void StoreReconRows(TSQLiteDatabase& db, const std::vector<MeterEntry>& meters,
                    const std::vector<DeliveryNote>& notes) {
    InTransaction(db, [&] { Insert(db, meters, notes); });
}

void ReplaceReconPeriod(TSQLiteDatabase& db, int adr, double fromLocal, double toLocal,
                        const std::vector<MeterEntry>& meters,
                        const std::vector<DeliveryNote>& notes) {
    InTransaction(db, [&] {
        Exec(db, kDeleteMeters, {int64_t(adr), fromLocal, toLocal});
        Exec(db, kDeleteNotes, {int64_t(adr), fromLocal, toLocal});
        Insert(db, meters, notes);
    });
}

std::vector<ReconSettingsRow> LoadReconSettings(TSQLiteDatabase& db) {
    std::vector<ReconSettingsRow> out;
    Query(db, kSelectSettings, {}, [&](const Row& r) {
        out.push_back(
            {int(r.Int(0)), r.OptReal(1), r.OptReal(2), r.OptReal(3), r.OptReal(4), r.OptReal(5)});
    });
    return out;
}

void SaveReconSettings(TSQLiteDatabase& db, const ReconSettingsRow& s) {
    Exec(db, kSaveSettings,
         {int64_t(s.adr), SqlOptional(s.dailyShare), SqlOptional(s.dailyFloorLitres),
          SqlOptional(s.monthlyShare), SqlOptional(s.monthlyLitres), SqlOptional(s.shortShare)});
}
