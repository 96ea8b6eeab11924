#include "ProcessData.h"

#include "Clock.h"
#include "Database.h"
#include "Frames.h"
#include "OperatorMessages.h"
#include "SQLiteDatabase.h"
#include "Statements.h"
#include "TankList.h"

void ProcessData(TankList& tanks, TSQLiteDatabase& db, const Clock& clock,
                 OperatorMessages& messages, unsigned address, const uint8_t* payload,
                 std::size_t count) {
    const int index = tanks.FindIndex(address);
    Frames::DataReading reading;
    if (index < 0 || !Frames::DecodeData(payload, count, reading))
        return;
    TItemNode& node = tanks.Tank(index);
    ApplyReading(node, reading.temp, reading.flc, reading.flfr, clock.LocalNow());
    tanks.ResetTank(index);
    if (!db.TableExists("DATA")) {
        messages.ShowMessage(kMsgTableMissing);
        return;
    }
    db.ExecSQL(
        Sql::InsertData(clock.UtcNow(), static_cast<int>(address), node.FL, node.FLC, node.Temp));
}
