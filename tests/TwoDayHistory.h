#pragma once
// A data.db of the report tests: TANKS seeded, tanks 1 (20,000 l, diesel) and 2 (10,000 l)
// active with linear calibrations, and two local days from `day0` of both tanks' readings in
// which tank 1 gets 8000 l on the first afternoon and loses 600 l in the second night.
#include "HistorySynth.h"
#include "SQLiteDatabase.h"
#include "Statements.h"
#include "TItemNode.h"

#include <string>

// `tank1Name` is an SQL text literal, quoted as the test needs it.
inline void WriteTwoDayHistory(TSQLiteDatabase& db, double day0, double offset,
                               const std::string& tank1Name, const std::string& tank2Fuel) {
    db.ExecSQL(Sql::kCreateTanks);
    db.ExecSQL(Sql::kCreateData);
    db.ExecSQL(Sql::kCreateError);
    for (int i = 1; i <= 14; ++i)
        db.ExecSQL(Sql::SeedTank(i));
    db.ExecSQL("UPDATE TANKS SET act = 1, capacity = 20000, ftype = 'Diesel', lfuel = 1000, "
               "name = " +
               tank1Name + " WHERE id = 1");
    db.ExecSQL("UPDATE TANKS SET act = 1, capacity = 10000, ftype = '" + tank2Fuel +
               "' WHERE id = 2");
    // linear calibrations: the capacity is the litres of the top code
    for (int id : {1, 2}) {
        TClbArray clb{};
        for (int c = 0; c < kClbEntryCount; ++c)
            clb[c] = float(c) * (id == 1 ? 20000 : 10000) / (kClbEntryCount - 1);
        db.UpdateBlob(Sql::UpdateClb(id), EncodeClbArray(clb));
    }
    SynthPlan plan;
    SynthTank one;
    one.capacity = 20000;
    one.startNet = 6000;
    one.usePerHour = 40;
    SynthTank two = one;
    two.adr = 2;
    two.capacity = 10000;
    plan.tanks = {one, two};
    plan.events = {{1, day0 + 14.0 / 24 - offset, 25, 8000},
                   {1, day0 + 1 + 3.0 / 24 - offset, 10, -600}};
    plan.utcFrom = day0 - offset - 1.0 / 1440;
    plan.days = 2 + 2.0 / 1440;
    plan.cycleSeconds = 74;
    plan.localOffset = offset;
    WriteHistory(db, plan);
}
