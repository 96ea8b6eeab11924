#include "FuelEventsTank.h"

#include "EventTables.h"
#include "HistoryPass.h"
#include "SQLiteDatabase.h"
#include "Transaction.h"
#include "WriteQueue.h"

#include <QMetaObject>

#include <atomic>
#include <chrono>
#include <optional>
#include <set>
#include <sqlite3.h>
#include <thread>

// Examines the stored readings on a thread of its own, through a connection of its own.
class FuelEvents::Worker {
public:
    Worker(FuelEvents* owner, std::string file, HistoryPass pass, int64_t startRow, int64_t endRow)
        : pass_(std::move(pass)), startRow_(startRow), endRow_(endRow) {
        // The owner joins this thread before it goes, and Qt drops calls queued for an
        // object that is gone.
        thread_ = std::thread([this, owner, file] {
            Run(file, owner);
            QMetaObject::invokeMethod(
                owner, [owner] { owner->FinishCatchUp(); }, Qt::QueuedConnection);
        });
    }
    ~Worker() {
        stop_ = true;
        Join();
    }
    void Join() {
        if (thread_.joinable())
            thread_.join();
    }
    HistoryPass& Pass() { return pass_; }
    const std::string& Error() const { return error_; }
    int64_t LastRow() const { return lastRow_; }
    // Whether the events found are stored already, and the open alarm rows read after them
    // when losses were among them.
    bool Stored() const { return stored_; }
    const std::optional<std::vector<EventRow>>& OpenRows() const { return openRows_; }

private:
    void Run(const std::string& file, FuelEvents* owner) {
        try {
            TSQLiteDatabase db(file);
            lastRow_ = startRow_;
            int lastPercent = -1;
            while (!stop_) {
                std::vector<DataRow> rows;
                try {
                    rows = DataRowsAfter(db, lastRow_, kRowsPerRead);
                } catch (const SQLiteError& e) {
                    // The station writes often; a read that found the file busy for long
                    // is tried again, never given up.
                    if ((e.Code() & 0xFF) != SQLITE_BUSY)
                        throw;
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                    continue;
                }
                pass_.Feed(rows);
                if (!rows.empty())
                    lastRow_ = rows.back().rowid;
                const int percent = Percent();
                if (percent != lastPercent) {
                    lastPercent = percent;
                    QMetaObject::invokeMethod(
                        owner, [owner, percent] { emit owner->CatchUpProgress(percent); },
                        Qt::QueuedConnection);
                }
                if (static_cast<int>(rows.size()) < kRowsPerRead)
                    break;
            }
            if (!stop_)
                Store(db);
        } catch (const std::exception& e) {
            error_ = e.what();
        }
    }
    // The events of the history, stored here rather than on the window's thread, in one
    // write. Storing an event again only updates its row, so a stop before the marks are
    // saved costs nothing. A file that does not take the write now leaves them to the write
    // queue.
    void Store(TSQLiteDatabase& db) {
        std::vector<EventRow> rows;
        bool losses = false;
        for (const TankFuelEvent& e : pass_.Events()) {
            rows.push_back(ToEventRow(e.adr, e.event));
            losses = losses || e.event.kind == FuelEventKind::Loss;
        }
        if (rows.empty()) {
            stored_ = true;
            return;
        }
        try {
            InWriteTransaction(db, [&] {
                for (const EventRow& row : rows)
                    StoreFuelEvent(db, row);
            });
            stored_ = true;
            if (losses)
                openRows_ = OpenAlarmRows(db);
        } catch (const SQLiteError&) {
        }
    }
    int Percent() const {
        if (endRow_ <= startRow_)
            return 100;
        const double done = double(lastRow_ - startRow_) / double(endRow_ - startRow_);
        return static_cast<int>(std::min(1.0, done) * 100);
    }

    HistoryPass pass_;
    int64_t startRow_, endRow_;
    int64_t lastRow_ = 0;
    std::string error_;
    bool stored_ = false;
    std::optional<std::vector<EventRow>> openRows_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Here, where the worker is complete.
FuelEvents::FuelEvents(FuelEventsContext context, QObject* parent)
    : QObject(parent), ctx_(std::move(context)), writes_(ctx_.writes) {
    if (!writes_)
        writes_ = std::make_shared<WriteQueue>(ctx_.db, [] {
            using namespace std::chrono;
            return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
        });
}

FuelEvents::~FuelEvents() {
    // Results of an unfinished examination are dropped: the next start does it again.
    worker_.reset();
    SaveMarks();
}

// The examination may start after the rows the marks vouch for, as long as every tank has
// a mark and the row they name is still the one they saw.
int64_t FuelEvents::CatchUpStartRow(const std::vector<ExaminedMark>& marks) {
    std::set<int> marked;
    int64_t start = -1;
    for (const ExaminedMark& m : marks) {
        marked.insert(m.adr);
        const std::optional<double> t = DataRowTstamp(ctx_.db, m.lastRow);
        if (m.lastRow > 0 && (!t || *t != m.lastRowTstamp))
            return 0;
        start = start < 0 ? m.lastRow : std::min(start, m.lastRow);
    }
    for (const auto& [adr, tank] : tanks_)
        if (!marked.count(adr))
            return 0;
    return std::max<int64_t>(0, start);
}

void FuelEvents::StartCatchUp() {
    if (!enabled_ || worker_) {
        if (!worker_)
            emit CatchUpFinished();
        return;
    }
    int64_t startRow = 0, endRow = 0;
    if (!Storage([&] {
            startRow = CatchUpStartRow(marks_);
            endRow = LastDataRow(ctx_.db).first;
        })) {
        emit CatchUpFinished();
        return;
    }
    std::map<int, FuelEventDetector> detectors;
    for (auto& [adr, tank] : tanks_)
        detectors.emplace(adr, tank->detector);
    const double offset = LocalOffset();
    HistoryPass pass(std::move(detectors), [offset](double utc) { return utc + offset; });
    worker_ = std::make_unique<Worker>(this, ctx_.db.FileName(), std::move(pass), startRow, endRow);
}

void FuelEvents::WaitForCatchUp() {
    if (!worker_)
        return;
    worker_->Join();
    FinishCatchUp();
}

void FuelEvents::FinishCatchUp() {
    if (!worker_)
        return;
    worker_->Join();
    std::unique_ptr<Worker> done = std::move(worker_);
    if (!done->Error().empty()) {
        // The readings stay unexamined until the next start examines them again.
        Reported(done->Error());
        emit CatchUpFinished();
        return;
    }
    HistoryPass& pass = done->Pass();
    for (auto& [adr, detector] : pass.Detectors())
        TankFor(adr).detector = detector;
    const std::vector<TankFuelEvent> found = pass.Events();
    // One write: the events of the history are stored together or wait together.
    std::vector<EventRow> rows;
    for (const TankFuelEvent& e : found)
        rows.push_back(ToEventRow(e.adr, e.event));
    if (!rows.empty() && !done->Stored())
        Write([rows](TSQLiteDatabase& db) {
            for (const EventRow& row : rows)
                StoreFuelEvent(db, row);
        });
    std::set<int> losing;
    for (const TankFuelEvent& e : found)
        if (e.event.kind == FuelEventKind::Loss) {
            losing.insert(e.adr);
            TankFor(e.adr).SeeLoss(e.event);
        }
    // The stored rows say which losses are still unacknowledged; rows that wait say it of
    // themselves.
    std::vector<EventRow> open;
    if (done->OpenRows())
        open = *done->OpenRows();
    else if (!losing.empty() &&
             (writes_->Waiting() > 0 || !Storage([&] { open = OpenAlarmRows(ctx_.db); })))
        open = rows;
    for (int adr : losing)
        SyncLossAlarm(adr, TankFor(adr), ctx_.clock.UtcNow(), open);
    for (auto& [adr, tank] : tanks_)
        tank->live = true;
    CatchUpTail(done->LastRow());
    SaveMarks();
    if (!found.empty())
        emit EventsChanged();
    emit CatchUpProgress(100);
    emit CatchUpFinished();
}

// Rows stored after the worker's last read: few, examined here as live readings would be.
void FuelEvents::CatchUpTail(int64_t afterRowid) {
    std::vector<DataRow> rows;
    if (!Storage([&] { rows = DataRowsAfter(ctx_.db, afterRowid, 1 << 30); }))
        return;
    const double offset = LocalOffset();
    for (const DataRow& r : rows)
        if (Tank* tank = FindTank(r.adr); tank && r.flevel >= 0)
            Feed(r.adr, *tank, {r.tstamp, r.tstamp + offset, r.flevel, r.temp});
}

// The tank's loss alarm as its unacknowledged loss rows say.
void FuelEvents::SyncLossAlarm(int adr, Tank& tank, double utc, const std::vector<EventRow>& open) {
    bool any = false, over = true;
    double newest = -1;
    for (const EventRow& row : open) {
        if (row.adr != adr || row.kind != "loss" || row.acked)
            continue;
        any = true;
        over = over && row.tend.has_value();
        newest = std::max(newest, row.tstart);
    }
    if (!any)
        return;
    tank.lossStart = std::max(tank.lossStart, newest);
    if (tank.alarms.State(AlarmKind::Loss) != AlarmState::Unacknowledged)
        ApplyTransitions(adr, tank.alarms.LossFound(utc));
    if (over)
        ApplyTransitions(adr, tank.alarms.LossOver(utc));
}
