#include "FuelEventsTank.h"

#include "HistoryPass.h"
#include "NetVolume.h"
#include "SQLiteDatabase.h"
#include "TankList.h"
#include "TextFormats.h"
#include "WriteQueue.h"

// ---- start-up ----

bool FuelEvents::Start(bool readLastReadings) {
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
    CloseInterruptedEvents();
    DeriveAlarms();
    if (readLastReadings && enabled_) {
        std::map<int, std::vector<DataRow>> last;
        for (auto& [adr, tank] : tanks_) {
            const int tankAdr = adr; // a structured binding cannot be captured portably
            if (!Storage([&] {
                    last[tankAdr] = LastDataRows(ctx_.db, tankAdr, TankAlarms::kReadingsToRaise);
                }))
                break;
        }
        TakeStoredReadings(last);
    }
    return enabled_;
}

// A delivery or loss still open in EVENTS that the restored detector does not carry on (its
// state was older, or could not be restored) would stay "in progress" for ever: it ends as
// an event ends whose level stops changing, at the tank's last stored reading. The last
// reading is read only for such a row, so a start without one reads no readings here.
void FuelEvents::CloseInterruptedEvents() {
    for (auto& [adr, tank] : tanks_) {
        const int tankAdr = adr;
        const std::optional<FuelEvent> going = tank->detector.OpenEvent();
        for (const char* kind : {"delivery", "loss"}) {
            std::vector<EventRow> rows;
            if (!Storage([&] { rows = SelectEvents(ctx_.db, tankAdr, kind, 20); }))
                return;
            std::vector<DataRow> last;
            for (EventRow& row : rows) {
                if (row.tend || (going && going->tstart == row.tstart))
                    continue;
                if (last.empty() && !Storage([&] { last = LastDataRows(ctx_.db, tankAdr, 1); }))
                    return;
                if (last.empty() || last.back().tstamp < row.tstart)
                    continue;
                const DataRow& end = last.back();
                row.tend = end.tstamp;
                row.vafter = end.flevel;
                row.tafter = end.temp;
                if (const auto net =
                        NetVolume::NetLitres(end.flevel, end.temp, ConfigFor(tankAdr).density))
                    row.nafter = *net;
                Write([row](TSQLiteDatabase& db) { StoreFuelEvent(db, row); });
            }
        }
    }
}

// ---- live ----

void FuelEvents::TakeReading(const Reading& r) {
    if (r.litres < 0)
        return; // no level (a code outside the calibration, an impossible temperature)
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
    std::vector<EventRow> rows;
    for (const FuelEvent& e : events)
        rows.push_back(ToEventRow(adr, e));
    Write([rows](TSQLiteDatabase& db) {
        for (const EventRow& row : rows)
            StoreFuelEvent(db, row);
    });
    for (const FuelEvent& e : events) {
        emit FuelEventReported(adr, e);
        if (e.kind != FuelEventKind::Loss)
            continue;
        tank.SeeLoss(e);
        if (e.tstart > tank.lossStart) {
            tank.lossStart = e.tstart;
            ApplyTransitions(adr, tank.alarms.LossFound(e.tstart));
        }
        if (e.closed)
            ApplyTransitions(adr, tank.alarms.LossOver(*e.tend));
    }
    emit EventsChanged();
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
        Reported(e.what());
        return false;
    }
}

// A busy or full file never turns storing off: the write waits in the queue. Only a write
// that can never succeed (a table changed under the station) is told, once.
void FuelEvents::Write(std::function<void(TSQLiteDatabase&)> write) {
    if (!enabled_)
        return;
    try {
        writes_->Submit(std::move(write));
    } catch (const std::exception& e) {
        Reported(e.what());
    }
}

void FuelEvents::Reported(const std::string& what) {
    if (reported_)
        return;
    reported_ = true;
    Log(ctx_.clock.UtcNow(), "Events are not recorded: " + what);
}
