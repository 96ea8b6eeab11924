#include "ProcessData.h"

#include "ReadingCheck.h"

#include "Clock.h"
#include "Database.h"
#include "Frames.h"
#include "OperatorMessages.h"
#include "SQLiteDatabase.h"
#include "Statements.h"
#include "TankList.h"

void ProcessData(TankList& tanks, const Clock& clock, ReadingSink& sink, unsigned address,
                 const uint8_t* payload, std::size_t count) {
    const int index = tanks.FindIndex(address);
    Frames::DataReading data;
    if (index < 0 || !Frames::DecodeData(payload, count, data))
        return;
    const ClockReading now = clock.Now();
    TItemNode& node = tanks.Tank(index);
    ApplyReading(node, data.temp, data.flc, data.flfr, now.local);
    if (CheckReading(data.flc, data.temp) != ReadingFault::None)
        node.FL = kNoLitres; // stored for the record, never taken for a level
    tanks.ResetTank(index);
    Reading reading;
    reading.address = address;
    reading.utc = now.utc;
    reading.local = now.local;
    reading.litres = node.FL;
    reading.code = node.FLC;
    reading.temp = node.Temp;
    sink.TakeReading(reading);
}

void StoreDataRow(TSQLiteDatabase& db, OperatorMessages& messages, const Reading& r) {
    if (!db.TableExists("DATA")) {
        messages.ShowMessage(kMsgTableMissing);
        return;
    }
    db.ExecSQL(Sql::InsertData(r.utc, static_cast<int>(r.address), r.litres, r.code, r.temp));
}

namespace {
class DataRowOnly : public ReadingSink {
public:
    DataRowOnly(TSQLiteDatabase& db, OperatorMessages& messages) : db_(db), messages_(messages) {}
    void TakeReading(const Reading& r) override { StoreDataRow(db_, messages_, r); }

private:
    TSQLiteDatabase& db_;
    OperatorMessages& messages_;
};
} // namespace

void ProcessData(TankList& tanks, TSQLiteDatabase& db, const Clock& clock,
                 OperatorMessages& messages, unsigned address, const uint8_t* payload,
                 std::size_t count) {
    DataRowOnly sink(db, messages);
    ProcessData(tanks, clock, sink, address, payload, count);
}
