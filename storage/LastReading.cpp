#include "LastReading.h"

#include "SQLiteDatabase.h"
#include "TItemNode.h"

#include <cmath>

std::string SelectLastReading(int adr) {
    // Only times a calendar has (up to the year 9999): a damaged row stamped with an
    // infinite time must not hide the true newest one.
    return "SELECT tstamp, flevel, fcode, temp FROM DATA WHERE adr = " + std::to_string(adr) +
           " AND tstamp > 0 AND tstamp < 2958466 ORDER BY tstamp DESC LIMIT 1";
}

void LoadLastReadings(TSQLiteDatabase& db, const std::vector<TItemNode*>& tanks,
                      double offsetDays) {
    if (!db.TableExists("DATA"))
        return;
    for (TItemNode* node : tanks) {
        if (!node || !node->Act)
            continue;
        TSQLiteTable row = db.GetTable(SelectLastReading(node->id));
        if (row.Eof())
            continue;
        const double utc = row.Field("tstamp").d;
        if (!std::isfinite(utc))
            continue;
        node->FL = static_cast<int32_t>(row.FieldAsInteger("flevel"));
        node->FLC = static_cast<uint16_t>(row.FieldAsInteger("fcode"));
        node->Temp = static_cast<int8_t>(row.FieldAsInteger("temp"));
        node->LDTime = utc + offsetDays;
    }
}
