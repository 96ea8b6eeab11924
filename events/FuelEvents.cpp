#include "FuelEvents.h"

#include "BoundSql.h"
#include "HistoryPass.h"
#include "NetVolume.h"
#include "SQLiteDatabase.h"
#include "TankList.h"
#include "TextFormats.h"

#include <QMetaObject>

#include <atomic>
#include <chrono>
#include <set>
#include <sqlite3.h>
#include <thread>

namespace {
// How long a statement waits for the other connection's lock while history is examined:
// the worker holds its read lock for one batch of rows, far less than this.
constexpr int kBusyWaitMs = 2000;
} // namespace

struct FuelEvents::Tank {
    FuelEventDetector detector;
    TankAlarms alarms;
    std::map<AlarmKind, int64_t> openRows; // EVENTS ids of the open low, high, silent rows
    std::optional<int32_t> net;
    double lossStart = -1; // tstart of the last loss the alarms were told of
    bool live = false;     // the history is examined: readings go to the detector
};

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

private:
    void Run(const std::string& file, FuelEvents* owner) {
        try {
            TSQLiteDatabase db(file);
            sqlite3_busy_timeout(db.Handle(), kBusyWaitMs);
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
        } catch (const std::exception& e) {
            error_ = e.what();
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
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

FuelEvents::FuelEvents(FuelEventsContext context, QObject* parent)
    : QObject(parent), ctx_(std::move(context)) {}

FuelEvents::~FuelEvents() {
    // Results of an unfinished examination are dropped: the next start does it again.
    worker_.reset();
    SaveMarks();
}

// ---- start-up ----

bool FuelEvents::Start() {
    for (int i = 0; i < ctx_.tanks.TankCount(); ++i)
        TankFor(ctx_.tanks.Tank(i).id);
    const SchemaResult schema = MigrateSchema(ctx_.db);
    if (!schema.eventsUsable) {
        Log(ctx_.clock.UtcNow(), "Events are not recorded: " + schema.reason);
        reported_ = true;
        return false;
    }
    enabled_ = true;
    Storage([&] {
        for (const TankEventSettings& s : LoadEventSettings(ctx_.db))
            settings_[s.adr] = s;
        marks_ = LoadExaminedMarks(ctx_.db);
    });
    for (auto& [adr, tank] : tanks_) {
        tank->detector.SetConfig(ConfigFor(adr));
        for (const ExaminedMark& m : marks_)
            if (m.adr == adr && !tank->detector.RestoreState(m.state))
                tank->detector = FuelEventDetector(ConfigFor(adr));
    }
    DeriveAlarms();
    return enabled_;
}

// Open rows give the states; the last two readings of each tank then confirm or clear the
// level alarms (raising one only when none is open), so nothing active is stored twice.
void FuelEvents::DeriveAlarms() {
    std::vector<EventRow> open;
    if (!Storage([&] { open = OpenAlarmRows(ctx_.db); }))
        return;
    std::map<int, std::vector<const EventRow*>> silentRows;
    std::map<int, bool> lossesOver; // per tank: every unacknowledged loss is over
    for (const EventRow& row : open) {
        Tank& tank = TankFor(row.adr);
        const AlarmState state = row.acked ? AlarmState::Acknowledged : AlarmState::Unacknowledged;
        if (row.kind == AlarmEventKind(AlarmKind::Loss)) {
            auto [at, added] = lossesOver.emplace(row.adr, true);
            at->second = at->second && row.tend.has_value();
            tank.alarms.Restore(AlarmKind::Loss, AlarmState::Unacknowledged, at->second);
            tank.lossStart = std::max(tank.lossStart, row.tstart);
        } else if (row.kind == AlarmEventKind(AlarmKind::Silent)) {
            silentRows[row.adr].push_back(&row);
        } else {
            for (AlarmKind kind : {AlarmKind::Low, AlarmKind::High})
                if (row.kind == AlarmEventKind(kind)) {
                    tank.alarms.Restore(kind, state);
                    tank.openRows[kind] = row.id;
                }
        }
    }
    // A loss acknowledged while it went on stays acknowledged, and one already known is
    // not raised again when the detector reports it anew (the newest loss row, whatever
    // its state, marks the losses the alarms were told of).
    for (auto& [adr, tank] : tanks_) {
        std::vector<EventRow> newest;
        const int tankAdr = adr;
        if (!Storage([&] { newest = SelectEvents(ctx_.db, tankAdr, "loss", 1); }))
            return;
        if (newest.empty())
            continue;
        const EventRow& row = newest.front();
        tank->lossStart = std::max(tank->lossStart, row.tstart);
        if (row.acked && !row.tend && tank->alarms.State(AlarmKind::Loss) == AlarmState::Cleared)
            tank->alarms.Restore(AlarmKind::Loss, AlarmState::Acknowledged, false);
    }
    for (auto& [adr, tank] : tanks_) {
        std::vector<DataRow> last;
        const int tankAdr = adr; // a structured binding cannot be captured portably
        if (!Storage([&] { last = LastDataRows(ctx_.db, tankAdr, TankAlarms::kReadingsToRaise); }))
            return;
        for (const DataRow& r : last)
            ApplyTransitions(adr, tank->alarms.TakeReading(r.tstamp, r.flevel, LimitsFor(adr)));
        // A stored reading is older than the silence that opened the row: it stays open.
        for (const EventRow* row : silentRows[adr]) {
            tank->alarms.Restore(AlarmKind::Silent, row->acked ? AlarmState::Acknowledged
                                                               : AlarmState::Unacknowledged);
            tank->openRows[AlarmKind::Silent] = row->id;
        }
    }
}

// ---- history ----

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
    sqlite3_busy_timeout(ctx_.db.Handle(), kBusyWaitMs);
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
    sqlite3_busy_timeout(ctx_.db.Handle(), 0);
    if (!done->Error().empty()) {
        Storage([&] { throw SQLiteError(done->Error()); });
        emit CatchUpFinished();
        return;
    }
    HistoryPass& pass = done->Pass();
    for (auto& [adr, detector] : pass.Detectors())
        TankFor(adr).detector = detector;
    const std::vector<TankFuelEvent> found = pass.Events();
    Storage([&] {
        ctx_.db.ExecSQL("BEGIN");
        try {
            for (const TankFuelEvent& e : found)
                StoreFuelEvent(ctx_.db, ToEventRow(e.adr, e.event));
            ctx_.db.ExecSQL("COMMIT");
        } catch (...) {
            try {
                ctx_.db.ExecSQL("ROLLBACK");
            } catch (const SQLiteError&) {
            }
            throw;
        }
    });
    std::set<int> losing;
    for (const TankFuelEvent& e : found)
        if (e.event.kind == FuelEventKind::Loss)
            losing.insert(e.adr);
    for (int adr : losing)
        SyncLossAlarm(adr, TankFor(adr), ctx_.clock.UtcNow());
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
        if (Tank* tank = FindTank(r.adr))
            Feed(r.adr, *tank, {r.tstamp, r.tstamp + offset, r.flevel, r.temp});
}

// The tank's loss alarm as its unacknowledged loss rows say.
void FuelEvents::SyncLossAlarm(int adr, Tank& tank, double utc) {
    bool any = false, over = true;
    double newest = -1;
    Storage([&] {
        for (const EventRow& row : OpenAlarmRows(ctx_.db)) {
            if (row.adr != adr || row.kind != "loss")
                continue;
            any = true;
            over = over && row.tend.has_value();
            newest = std::max(newest, row.tstart);
        }
    });
    if (!any)
        return;
    tank.lossStart = std::max(tank.lossStart, newest);
    if (tank.alarms.State(AlarmKind::Loss) != AlarmState::Unacknowledged)
        ApplyTransitions(adr, tank.alarms.LossFound(utc));
    if (over)
        ApplyTransitions(adr, tank.alarms.LossOver(utc));
}

// ---- live ----

void FuelEvents::TakeReading(const Reading& r) {
    const int adr = static_cast<int>(r.address);
    Tank& tank = TankFor(adr);
    const DetectorConfig config = ConfigFor(adr);
    tank.net = NetVolume::NetLitres(r.litres, r.temp, config.density);
    ApplyTransitions(adr, tank.alarms.TakeReading(r.utc, r.litres, LimitsFor(adr)));
    if (!tank.live || !enabled_)
        return;
    tank.detector.SetConfig(config);
    Feed(adr, tank, {r.utc, r.local, r.litres, r.temp});
    if (++readingsSinceSave_ >= kReadingsPerSave)
        SaveMarks();
}

void FuelEvents::TakeSilence(unsigned address, double utc) {
    const int adr = static_cast<int>(address);
    ApplyTransitions(adr, TankFor(adr).alarms.TakeSilence(utc));
}

void FuelEvents::Feed(int adr, Tank& tank, const LevelSample& sample) {
    const std::vector<FuelEvent> events = tank.detector.Feed(sample);
    if (!events.empty())
        StoreFuelEvents(adr, tank, events);
}

void FuelEvents::StoreFuelEvents(int adr, Tank& tank, const std::vector<FuelEvent>& events) {
    Storage([&] {
        for (const FuelEvent& e : events)
            StoreFuelEvent(ctx_.db, ToEventRow(adr, e));
    });
    for (const FuelEvent& e : events) {
        if (e.kind != FuelEventKind::Loss)
            continue;
        if (e.tstart > tank.lossStart) {
            tank.lossStart = e.tstart;
            ApplyTransitions(adr, tank.alarms.LossFound(e.tstart));
        }
        if (e.closed)
            ApplyTransitions(adr, tank.alarms.LossOver(*e.tend));
    }
    emit EventsChanged();
}

// ---- alarms ----

void FuelEvents::ApplyTransitions(int adr, const std::vector<AlarmTransition>& ts) {
    if (ts.empty())
        return;
    Tank& tank = TankFor(adr);
    for (const AlarmTransition& t : ts) {
        // The line is stamped with the time it is written: a loss found in history examined
        // at start-up is news now, not at the loss's start.
        const ClockReading now = ctx_.clock.Now();
        Log(now.utc, AlarmLogLine(now.local, TankName(adr), adr, t));
        if (t.kind == AlarmKind::Loss) {
            if (t.to == AlarmState::Acknowledged)
                Storage([&] { AcknowledgeLosses(ctx_.db, adr, t.utc); });
            continue;
        }
        auto row = tank.openRows.find(t.kind);
        if (t.from == AlarmState::Cleared) {
            EventRow e;
            e.adr = adr;
            e.kind = AlarmEventKind(t.kind);
            e.tstart = t.utc;
            if (t.litres)
                e.vbefore = *t.litres;
            Storage([&] { tank.openRows[t.kind] = InsertAlarmEvent(ctx_.db, e); });
        } else if (row == tank.openRows.end()) {
            // No row (storing was off when it began): nothing to update.
        } else if (t.to == AlarmState::Acknowledged) {
            Storage([&] { AcknowledgeEvent(ctx_.db, row->second, t.utc); });
        } else if (t.to == AlarmState::Cleared) {
            const std::optional<int64_t> litres =
                t.litres ? std::optional<int64_t>(*t.litres) : std::nullopt;
            Storage([&] { EndAlarmEvent(ctx_.db, row->second, t.utc, litres, {}, {}); });
            tank.openRows.erase(row);
        }
    }
    emit AlarmChanged(adr);
    emit EventsChanged();
}

TankAlarmView FuelEvents::AlarmView(int adr) const {
    TankAlarmView v;
    const Tank* tank = FindTank(adr);
    if (!tank)
        return v;
    for (AlarmKind k : kAlarmKinds)
        v.states[static_cast<int>(k)] = tank->alarms.State(k);
    v.shown = tank->alarms.Shown();
    v.unacknowledged = tank->alarms.AnyUnacknowledged();
    return v;
}

bool FuelEvents::AnyUnacknowledged() const {
    for (const auto& [adr, tank] : tanks_)
        if (tank->alarms.AnyUnacknowledged())
            return true;
    return false;
}

std::optional<int32_t> FuelEvents::NetLitres(int adr) const {
    const Tank* tank = FindTank(adr);
    return tank ? tank->net : std::nullopt;
}

void FuelEvents::Acknowledge(int adr) {
    if (Tank* tank = FindTank(adr))
        ApplyTransitions(adr, tank->alarms.Acknowledge(ctx_.clock.UtcNow()));
}

void FuelEvents::AcknowledgeAll() {
    const double utc = ctx_.clock.UtcNow();
    for (auto& [adr, tank] : tanks_)
        ApplyTransitions(adr, tank->alarms.Acknowledge(utc));
}

// ---- settings and marks ----

TankEventSettings FuelEvents::Settings(int adr) const {
    auto it = settings_.find(adr);
    if (it != settings_.end())
        return it->second;
    TankEventSettings s;
    s.adr = adr;
    return s;
}

bool FuelEvents::SetSettings(const TankEventSettings& s) {
    if (!Storage([&] { SaveEventSettings(ctx_.db, s); }))
        return false;
    settings_[s.adr] = s;
    TankFor(s.adr).detector.SetConfig(ConfigFor(s.adr));
    return true;
}

void FuelEvents::SaveMarks() {
    readingsSinceSave_ = 0;
    if (!enabled_ || worker_ || tanks_.empty())
        return;
    for (const auto& [adr, tank] : tanks_)
        if (!tank->live)
            return;
    Storage([&] {
        const auto [lastRow, lastTstamp] = LastDataRow(ctx_.db);
        std::vector<ExaminedMark> marks;
        for (const auto& [adr, tank] : tanks_)
            marks.push_back(
                {adr, tank->detector.LastTime(), tank->detector.SaveState(), lastRow, lastTstamp});
        SaveExaminedMarks(ctx_.db, marks);
        marks_ = marks;
    });
}

// ---- helpers ----

FuelEvents::Tank* FuelEvents::FindTank(int adr) {
    auto it = tanks_.find(adr);
    return it == tanks_.end() ? nullptr : it->second.get();
}

const FuelEvents::Tank* FuelEvents::FindTank(int adr) const {
    auto it = tanks_.find(adr);
    return it == tanks_.end() ? nullptr : it->second.get();
}

FuelEvents::Tank& FuelEvents::TankFor(int adr) {
    std::unique_ptr<Tank>& t = tanks_[adr];
    if (!t) {
        t = std::make_unique<Tank>();
        t->detector.SetConfig(ConfigFor(adr));
        t->live = enabled_ && !worker_ && !marks_.empty();
    }
    return *t;
}

DetectorConfig FuelEvents::ConfigFor(int adr) const {
    const TItemNode* node = ctx_.tanks.FindNode(static_cast<unsigned>(adr));
    TItemNode none;
    return ResolveDetectorConfig(node ? *node : none, Settings(adr));
}

AlarmLimits FuelEvents::LimitsFor(int adr) const {
    const TItemNode* node = ctx_.tanks.FindNode(static_cast<unsigned>(adr));
    if (!node)
        return {};
    return {node->LowFuel, node->OverFuel, node->Capacity};
}

std::string FuelEvents::TankName(int adr) {
    const TItemNode* node = ctx_.tanks.FindNode(static_cast<unsigned>(adr));
    return node ? node->Name : "Tank " + std::to_string(adr);
}

double FuelEvents::LocalOffset() const {
    const ClockReading now = ctx_.clock.Now();
    return now.local - now.utc;
}

void FuelEvents::Log(double utc, const std::string& text) {
    if (!ctx_.putLogLine)
        return;
    std::string line = text;
    if (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0)
        line = TextFormats::DateTime(utc + LocalOffset()) + "   " + line + "\r\n";
    ctx_.putLogLine(line);
}

bool FuelEvents::Storage(const std::function<void()>& work) {
    if (!enabled_)
        return false;
    try {
        work();
        return true;
    } catch (const std::exception& e) {
        enabled_ = false;
        if (!reported_) {
            reported_ = true;
            Log(ctx_.clock.UtcNow(), std::string("Events are not recorded: ") + e.what());
        }
        return false;
    }
}
