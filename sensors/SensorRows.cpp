#include "SensorRows.h"

#include "Clock.h"
#include "Database.h"
#include "OperatorMessages.h"
#include "PollState.h"
#include "SQLiteDatabase.h"
#include "Statements.h"
#include "TankList.h"

SensorLink::Sink::Sink(SensorLinkContext& ctx, SensorHealth& health, std::function<int64_t()> nowMs,
                       std::shared_ptr<WriteQueue> writes)
    : ctx_(ctx), health_(health), nowMs_(std::move(nowMs)), writes_(std::move(writes)) {}

void SensorLink::Sink::PutLogLine(const std::string& line) {
    if (ctx_.putLogLine)
        ctx_.putLogLine(line);
}

bool SensorLink::Sink::NameInLog(unsigned address) {
    return health_.Silence(address, nowMs_());
}

// A failed row does not keep a reading or silence from the later sinks; a failure that the
// queue could not take (a wrong statement, a missing table) is raised once they all had it.
template <class F> void SensorLink::Sink::ForEachLater(F&& give, std::exception_ptr failed) {
    for (ReadingSink* s : later) {
        try {
            give(*s);
        } catch (...) {
            if (!failed)
                failed = std::current_exception();
        }
    }
    if (failed)
        std::rethrow_exception(failed);
}

void SensorLink::Sink::StoreSilence(unsigned address) {
    const double utc = ctx_.clock.UtcNow();
    std::exception_ptr failed;
    try {
        const std::string sql = Sql::InsertError(utc, static_cast<int>(address), kErrorCodeSilent);
        writes_->Submit([sql](TSQLiteDatabase& db) { db.ExecSQL(sql); });
    } catch (...) {
        failed = std::current_exception();
    }
    ForEachLater([&](ReadingSink& s) { s.TakeSilence(address, utc); }, failed);
}

// A file without DATA is told as before; a file too busy to answer whether it has one gets
// the row queued, as the insert would be.
bool SensorLink::Sink::DataTableThere() {
    try {
        if (ctx_.db.TableExists("DATA"))
            return true;
    } catch (const SQLiteError& e) {
        if (WriteQueue::Passing(e.Code()))
            return true;
        throw;
    }
    box->ShowMessage(kMsgTableMissing);
    return false;
}

void SensorLink::Sink::TakeReading(const Reading& r) {
    std::exception_ptr failed;
    Reading given = r;
    given.stored = false;
    try {
        if (DataTableThere()) {
            const std::string sql =
                Sql::InsertData(r.utc, static_cast<int>(r.address), r.litres, r.code, r.temp);
            given.stored = writes_->Submit([sql](TSQLiteDatabase& db) { db.ExecSQL(sql); });
        }
    } catch (...) {
        failed = std::current_exception();
    }
    ForEachLater([&](ReadingSink& s) { s.TakeReading(given); }, failed);
}

void SensorLink::Sink::StoreLineLost() {
    std::vector<std::string> rows;
    for (int i = 0; i < ctx_.tanks.TankCount(); ++i) {
        const TItemNode& node = ctx_.tanks.Tank(i);
        if (node.Act && PollStateTable::Has(node.id))
            rows.push_back(Sql::InsertError(ctx_.clock.UtcNow(), node.id, kErrorCodeLineLost));
    }
    if (!rows.empty())
        writes_->Submit([rows](TSQLiteDatabase& db) {
            for (const std::string& sql : rows)
                db.ExecSQL(sql);
        });
}
