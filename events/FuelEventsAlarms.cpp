#include "FuelEventsTank.h"

#include "LeakTestTables.h"
#include "SQLiteDatabase.h"
#include "TankList.h"

// Open rows give the states; the last two readings of each tank then confirm or clear the
// level alarms (raising one only when none is open), so nothing active is stored twice.
void FuelEvents::DeriveAlarms() {
    std::vector<EventRow> open;
    if (!Storage([&] { open = OpenAlarmRows(ctx_.db); }))
        return;
    std::map<int, bool> lossesOver; // per tank: every unacknowledged loss is over
    // A leak's cause is over when the tank's newest stored test passed; without the tests
    // (a table gone) an open LEAK waits for the next test.
    std::map<int, bool> leakPassed;
    try {
        for (const StoredLeakTest& t : NewestLeakTests(ctx_.db))
            leakPassed[t.adr] = t.verdict == LeakTest::VerdictText(LeakVerdict::Pass);
    } catch (const std::exception&) {
        leakPassed.clear();
    }
    for (const EventRow& row : open) {
        Tank& tank = TankFor(row.adr);
        const AlarmState state = row.acked ? AlarmState::Acknowledged : AlarmState::Unacknowledged;
        if (row.kind == AlarmEventKind(AlarmKind::Loss)) {
            auto [at, added] = lossesOver.emplace(row.adr, true);
            at->second = at->second && row.tend.has_value();
            tank.alarms.Restore(AlarmKind::Loss, AlarmState::Unacknowledged, at->second);
            tank.lossStart = std::max(tank.lossStart, row.tstart);
        } else if (row.kind == AlarmEventKind(AlarmKind::Leak)) {
            tank.alarms.Restore(AlarmKind::Leak, state, leakPassed[row.adr]);
            tank.openRows[AlarmKind::Leak] = row.id;
        } else if (row.kind == AlarmEventKind(AlarmKind::Reconciliation)) {
            tank.alarms.Restore(AlarmKind::Reconciliation, AlarmState::Unacknowledged);
            tank.reconShown = std::max(tank.reconShown, row.id);
        } else if (row.kind == AlarmEventKind(AlarmKind::Silent)) {
            silentRows_[row.adr].push_back(row);
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
}

void FuelEvents::TakeStoredReadings(const std::map<int, std::vector<DataRow>>& last) {
    for (auto& [adr, tank] : tanks_) {
        auto rows = last.find(adr);
        if (rows != last.end())
            for (const DataRow& r : rows->second)
                if (r.flevel >= 0) // a reading stored without litres is no level
                    ApplyTransitions(adr,
                                     tank->alarms.TakeReading(r.tstamp, r.flevel, LimitsFor(adr)));
        RestoreSilent(adr, *tank);
    }
    silentRows_.clear();
}

// A stored reading is older than the silence that opened the row: it stays open.
void FuelEvents::RestoreSilent(int adr, Tank& tank) {
    auto rows = silentRows_.find(adr);
    if (rows == silentRows_.end())
        return;
    for (const EventRow& row : rows->second) {
        tank.alarms.Restore(AlarmKind::Silent,
                            row.acked ? AlarmState::Acknowledged : AlarmState::Unacknowledged);
        tank.openRows[AlarmKind::Silent] = row.id;
    }
}

void FuelEvents::ApplyTransitions(int adr, const std::vector<AlarmTransition>& ts) {
    if (ts.empty())
        return;
    Tank& tank = TankFor(adr);
    for (const AlarmTransition& t : ts) {
        // The line is stamped with the time it is written: a loss found in history examined
        // at start-up is news now, not at the loss's start.
        const ClockReading now = ctx_.clock.Now();
        Log(now.utc, AlarmLogLine(now.local, TankName(adr), adr, t));
        emit AlarmTransitioned(adr, t);
        const double utc = t.utc;
        if (t.kind == AlarmKind::Loss) {
            if (t.to == AlarmState::Acknowledged)
                Write([adr, utc](TSQLiteDatabase& db) { AcknowledgeLosses(db, adr, utc); });
            continue;
        }
        if (t.kind == AlarmKind::Reconciliation) {
            // Its rows are stored by whoever reconciled; only the acknowledgement is ours.
            if (t.to == AlarmState::Acknowledged)
                Write([adr, utc, upTo = tank.reconShown](TSQLiteDatabase& db) {
                    AcknowledgeReconciliation(db, adr, upTo, utc);
                });
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
            if (t.kind == AlarmKind::Leak)
                e.memo = tank.leakMemo;
            EventRowId id;
            tank.openRows[t.kind] = id;
            Write([e, id](TSQLiteDatabase& db) { id.Set(InsertAlarmEvent(db, e)); });
        } else if (row == tank.openRows.end()) {
            // No row (storing was off when it began): nothing to update.
        } else if (t.to == AlarmState::Acknowledged) {
            Write([id = row->second, utc](TSQLiteDatabase& db) {
                if (id.Get() > 0)
                    AcknowledgeEvent(db, id.Get(), utc);
            });
        } else if (t.to == AlarmState::Cleared) {
            const std::optional<int64_t> litres =
                t.litres ? std::optional<int64_t>(*t.litres) : std::nullopt;
            Write([id = row->second, utc, litres](TSQLiteDatabase& db) {
                if (id.Get() > 0)
                    EndAlarmEvent(db, id.Get(), utc, litres, {}, {});
            });
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

std::optional<FuelEvent> FuelEvents::NewestLoss(int adr) const {
    const Tank* tank = FindTank(adr);
    return tank ? tank->newestLoss : std::nullopt;
}

void FuelEvents::Acknowledge(int adr) {
    if (Tank* tank = FindTank(adr))
        ApplyTransitions(adr, tank->alarms.Acknowledge(ctx_.clock.UtcNow()));
}

void FuelEvents::TakeLeakTest(int adr, double utc, LeakVerdict verdict, const std::string& memo) {
    Tank& tank = TankFor(adr);
    tank.leakMemo = memo;
    if (verdict == LeakVerdict::Fail)
        ApplyTransitions(adr, tank.alarms.LeakFailed(utc));
    else if (verdict == LeakVerdict::Pass)
        ApplyTransitions(adr, tank.alarms.LeakPassed(utc));
}

void FuelEvents::AcknowledgeAll() {
    const double utc = ctx_.clock.UtcNow();
    for (auto& [adr, tank] : tanks_)
        ApplyTransitions(adr, tank->alarms.Acknowledge(utc));
}

void FuelEvents::TakeReconciliationAlarms() {
    std::vector<EventRow> open;
    if (!Storage([&] { open = OpenAlarmRows(ctx_.db); }))
        return;
    // Per tank the newest unacknowledged row and its time. A row acknowledged here whose
    // write still waits is older than what the tank was shown, and raises nothing again.
    std::map<int, const EventRow*> newest;
    for (const EventRow& row : open)
        if (row.kind == AlarmEventKind(AlarmKind::Reconciliation)) {
            const EventRow*& n = newest[row.adr];
            if (!n || row.id > n->id)
                n = &row;
        }
    for (const auto& [adr, row] : newest) {
        Tank& tank = TankFor(adr);
        if (row->id <= tank.reconShown)
            continue;
        tank.reconShown = row->id;
        ApplyTransitions(adr, tank.alarms.ReconciliationFound(ctx_.clock.UtcNow()));
    }
    if (!newest.empty())
        emit EventsChanged();
}
