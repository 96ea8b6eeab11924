#include "PhysicsFile.h"

#include "BoundSql.h"
#include "Calibration.h"
#include "Database.h"
#include "OperatorMessages.h"
#include "Schema.h"
#include "Statements.h"
#include "Transaction.h"

#include <cmath>
#include <stdexcept>
#include <string>

int64_t WritePhysicsFile(TSQLiteDatabase& db, const PhysicsPlan& plan) {
    db.ExecSQL(Sql::kCreateTanks);
    db.ExecSQL(Sql::kCreateData);
    db.ExecSQL(Sql::kCreateError);
    for (int i = 1; i <= 14; ++i)
        db.ExecSQL(Sql::SeedTank(i));
    TItemNode node;
    LoadTankFromRow(db.GetTable(Sql::kSelectTanks + std::string(" WHERE id = 1")), node);
    node.Name = "North";
    node.FType = "Diesel";
    node.Act = true;
    // Straight: the readings are litres already.
    TCalRows points{};
    for (int i = 0; i < 5; ++i) {
        const int code = 819 * (i + 1);
        points[i] = {std::to_string(code),
                     std::to_string(std::lround(double(plan.tank.capacity) * code / 4095))};
    }
    if (const TCalibrationResult built = BuildCalibration(node, points); !built.ok)
        throw std::runtime_error("calibration refused: " + built.message);
    RecordingMessages messages;
    SaveTank(db, node, messages);
    if (!messages.shown.empty())
        throw std::runtime_error("tank 1 not saved");
    if (!MigrateSchema(db).eventsUsable)
        throw std::runtime_error("cannot make the event tables");
    int64_t rows = 0;
    InWriteTransaction(db, [&] {
        SynthesizePhysics(plan, [&](const DataRow& r) {
            Exec(db, "INSERT INTO DATA (tstamp, adr, flevel, fcode, temp) VALUES (?, 1, ?, 0, ?)",
                 {r.tstamp, int64_t(r.flevel), int64_t(r.temp)});
            ++rows;
        });
    });
    return rows;
}
