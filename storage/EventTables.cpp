#include "EventTables.h"

#include "BoundSql.h"
#include "EventColumns.h"
#include "ReadingCheck.h"
#include "SQLiteDatabase.h"
#include "Statements.h"
#include "Transaction.h"

#include <algorithm>

namespace {

DataRow ReadDataRow(const Row& r) {
    DataRow d;
    d.rowid = r.Int(0);
    d.tstamp = r.Real(1);
    d.adr = static_cast<int>(r.Int(2));
    d.temp = static_cast<int32_t>(r.Int(4));
    // A row that cannot be a reading (no time, no litres, litres no tank holds) reads as one
    // without litres, which every reader passes by.
    const std::optional<int32_t> litres = StoredLitres(r.IsNumber(3), r.Real(3));
    d.flevel = litres && StoredTimeUsable(r.IsNumber(1), d.tstamp) ? *litres : kNoLitres;
    return d;
}

} // namespace

EventRow ReadEventRow(const Row& r) {
    EventRow e;
    ReadEventColumns(r, e);
    return e;
}

int64_t StoreFuelEvent(TSQLiteDatabase& db, const EventRow& e) {
    int64_t id = 0;
    Query(db, Sql::kFindFuelEvent, {int64_t(e.adr), e.kind, e.tstart},
          [&](const Row& r) { id = r.Int(0); });
    if (id == 0)
        return InsertAlarmEvent(db, e);
    Exec(db, Sql::kUpdateFuelEvent,
         {SqlOptional(e.tend), SqlOptional(e.vbefore), SqlOptional(e.vafter),
          SqlOptional(e.nbefore), SqlOptional(e.nafter), SqlOptional(e.tbefore),
          SqlOptional(e.tafter), id});
    return id;
}

int64_t InsertAlarmEvent(TSQLiteDatabase& db, const EventRow& e) {
    Exec(db, Sql::kInsertEvent,
         {int64_t(e.adr), e.kind, e.tstart, SqlOptional(e.tend), SqlOptional(e.vbefore),
          SqlOptional(e.vafter), SqlOptional(e.nbefore), SqlOptional(e.nafter),
          SqlOptional(e.tbefore), SqlOptional(e.tafter), SqlOptional(e.acked),
          e.memo.empty() ? SqlValue() : SqlValue(e.memo)});
    return db.LastInsertRowid();
}

void EndAlarmEvent(TSQLiteDatabase& db, int64_t id, double tend, std::optional<int64_t> vafter,
                   std::optional<int64_t> nafter, std::optional<int64_t> tafter) {
    Exec(db, Sql::kEndAlarmEvent,
         {tend, SqlOptional(vafter), SqlOptional(nafter), SqlOptional(tafter), id});
}

void AcknowledgeEvent(TSQLiteDatabase& db, int64_t id, double utc) {
    Exec(db, Sql::kAcknowledgeEvent, {utc, id});
}

void AcknowledgeLosses(TSQLiteDatabase& db, int adr, double utc) {
    Exec(db, Sql::kAcknowledgeLosses, {utc, int64_t(adr)});
}

void AcknowledgeReconciliation(TSQLiteDatabase& db, int adr, int64_t upToId, double utc) {
    Exec(db, Sql::kAcknowledgeReconciliation, {utc, int64_t(adr), upToId});
}

std::vector<EventRow> OpenAlarmRows(TSQLiteDatabase& db) {
    std::vector<EventRow> rows;
    Query(db, Sql::kSelectOpenAlarms, {}, [&](const Row& r) { rows.push_back(ReadEventRow(r)); });
    return rows;
}

std::vector<EventRow> SelectEvents(TSQLiteDatabase& db, int adr, const std::string& kind,
                                   int limit) {
    std::vector<EventRow> rows;
    Query(db, Sql::kSelectEvents, {int64_t(adr), int64_t(adr), kind, kind, int64_t(limit)},
          [&](const Row& r) { rows.push_back(ReadEventRow(r)); });
    return rows;
}

std::vector<TankEventSettings> LoadEventSettings(TSQLiteDatabase& db) {
    std::vector<TankEventSettings> all;
    Query(db, Sql::kSelectEventSettings, {}, [&](const Row& r) {
        TankEventSettings s;
        s.adr = static_cast<int>(r.Int(0));
        s.density = r.OptReal(1);
        s.deliveryLitres = r.OptInt(2);
        s.lossLitres = r.OptInt(3);
        s.quietFrom = r.OptInt(4);
        s.quietTo = r.OptInt(5);
        all.push_back(s);
    });
    return all;
}

void SaveEventSettings(TSQLiteDatabase& db, const TankEventSettings& s) {
    Exec(db, Sql::kSaveEventSettings,
         {int64_t(s.adr), SqlOptional(s.density), SqlOptional(s.deliveryLitres),
          SqlOptional(s.lossLitres), SqlOptional(s.quietFrom), SqlOptional(s.quietTo)});
}

std::vector<ExaminedMark> LoadExaminedMarks(TSQLiteDatabase& db) {
    std::vector<ExaminedMark> marks;
    Query(db, Sql::kSelectMarks, {}, [&](const Row& r) {
        ExaminedMark m;
        m.adr = static_cast<int>(r.Int(0));
        m.examined = r.Real(1);
        m.state = r.Text(2);
        m.lastRow = r.Int(3);
        m.lastRowTstamp = r.Real(4);
        marks.push_back(std::move(m));
    });
    return marks;
}

void SaveExaminedMarks(TSQLiteDatabase& db, const std::vector<ExaminedMark>& marks) {
    InWriteTransaction(db, [&] { SaveExaminedMarksHere(db, marks); });
}

void SaveExaminedMarksHere(TSQLiteDatabase& db, const std::vector<ExaminedMark>& marks) {
    for (const ExaminedMark& m : marks)
        Exec(db, Sql::kSaveMark, {int64_t(m.adr), m.examined, m.state, m.lastRow, m.lastRowTstamp});
}

std::vector<DataRow> DataRowsAfter(TSQLiteDatabase& db, int64_t afterRowid, int limit) {
    std::vector<DataRow> rows;
    rows.reserve(static_cast<std::size_t>(std::clamp(limit, 0, 1 << 16)));
    Query(db, Sql::kDataRowsAfter, {afterRowid, int64_t(limit)},
          [&](const Row& r) { rows.push_back(ReadDataRow(r)); });
    return rows;
}

std::pair<int64_t, double> LastDataRow(TSQLiteDatabase& db) {
    std::pair<int64_t, double> last{0, 0};
    Query(db, Sql::kLastDataRow, {}, [&](const Row& r) { last = {r.Int(0), r.Real(1)}; });
    return last;
}

std::optional<double> DataRowTstamp(TSQLiteDatabase& db, int64_t rowid) {
    std::optional<double> t;
    Query(db, Sql::kDataRowTstamp, {rowid}, [&](const Row& r) { t = r.Real(0); });
    return t;
}

std::vector<DataRow> LastDataRows(TSQLiteDatabase& db, int adr, int count) {
    std::vector<DataRow> rows;
    Query(db, Sql::kLastDataRowsOfTank, {int64_t(adr), int64_t(count)},
          [&](const Row& r) { rows.insert(rows.begin(), ReadDataRow(r)); });
    return rows;
}
