#include "Schema.h"

#include "BoundSql.h"
#include "LeakTestTables.h"
#include "ReconciliationTables.h"
#include "SQLiteDatabase.h"
#include "Statements.h"
#include "Transaction.h"

#include <iterator>

namespace {

// Version 1: the event tables.
void AddEventTables(TSQLiteDatabase& db) {
    if (!db.TableExists("EVENTS"))
        db.ExecSQL(Sql::kCreateEvents);
    db.ExecSQL(Sql::kCreateEventsIndex);
    if (!db.TableExists("EVENT_SETTINGS"))
        db.ExecSQL(Sql::kCreateEventSettings);
    if (!db.TableExists("EVENT_MARKS"))
        db.ExecSQL(Sql::kCreateEventMarks);
}

// Version 2: what the central server has been sent (stations before created these tables
// when sending began; IF NOT EXISTS keeps theirs).
void AddCentralTables(TSQLiteDatabase& db) {
    db.ExecSQL(Sql::kCreateCentralMarks);
    db.ExecSQL(Sql::kCreateCentralTanks);
}

struct MigrationStep {
    int toVersion;
    void (*run)(TSQLiteDatabase&);
};
// In order; append new steps at the end and raise kSchemaVersion to the last one's number.
constexpr MigrationStep kSteps[] = {
    {1, AddEventTables},
    {2, AddCentralTables},
    {3, AddReconciliationTables},
    {4, AddLeakTestTables},
};
static_assert(kSteps[std::size(kSteps) - 1].toVersion == kSchemaVersion);

void Migrate(TSQLiteDatabase& db, int from) {
    InWriteTransaction(db, [&] {
        for (const MigrationStep& step : kSteps)
            if (step.toVersion > from)
                step.run(db);
        // A pragma takes no bound value; the number is the station's own constant.
        db.ExecSQL("PRAGMA user_version = " + std::to_string(kSchemaVersion));
    });
}

} // namespace

SchemaResult MigrateSchema(TSQLiteDatabase& db) {
    SchemaResult result;
    try {
        if (db.ReadOnly()) {
            result.reason = "data.db is read-only";
            return result;
        }
        const int version = UserVersion(db);
        if (version < kSchemaVersion)
            Migrate(db, version);
        for (const char* probe :
             {Sql::kProbeEvents, Sql::kProbeEventSettings, Sql::kProbeEventMarks})
            Query(db, probe, {}, [](const Row&) {});
        result.eventsUsable = true;
    } catch (const std::exception& e) {
        result.reason = e.what();
    }
    return result;
}
