// Fuel events through the station's own wiring: stored history examined at start-up into
// EVENTS (exactly the deliveries and thefts it holds, each within 1 % of the true volume,
// none missed or repeated across a restart), live readings through the link to alarm rows
// and Errors log lines, and files that cannot take events. The detector's and the alarm
// states' cases are test_fuel_event_detector and test_tank_alarms.
#include "BoundSql.h"
#include "Database.h"
#include "FuelEvents.h"
#include "HistorySynth.h"
#include "TextFormats.h"
#include "Transaction.h"
#include "WriteQueue.h"
#include "sensors/SensorFixture.h"

#include <QtTest>

#include <atomic>
#include <thread>

namespace {

const double kDay0 = TextFormats::Join(2026, 1, 5);
double At(double day, int hour, int minute = 0) {
    return kDay0 + day + (hour * 60 + minute) / 1440.0;
}

struct TrueEvent {
    int adr;
    const char* kind;
    double start;
    double litres;
};

// Three tanks over two weeks: deliveries (one paused, one while tank 3 was silent, one
// under way when the station stops), thefts (two of them 20 minutes apart).
SynthPlan TwoWeeks(std::vector<TrueEvent>& truth) {
    SynthPlan p;
    p.utcFrom = kDay0;
    p.days = 14;
    p.cycleSeconds = 74;
    p.seed = 7;
    SynthTank t1{1, 20000, 840, 9000, 6, 5, 11, 3};
    SynthTank t2{2, 10000, 745, 4000, 3, 3, 9, 2};
    SynthTank t3{3, 25000, 800, 6000, 8, 8, 6, 1};
    p.tanks = {t1, t2, t3};
    p.events = {
        {1, At(1, 10), 25, 8000},        {1, At(3, 2, 10), 10, -600},
        {1, At(7, 0) - 0.004, 20, 3000}, {1, At(10, 3), 10, -900},
        {2, At(2, 9), 30, 4000, 10, 20}, {2, At(5, 1), 5, -300},
        {2, At(5, 1, 25), 5, -300},      {3, At(4, 14, 10), 20, 10000},
        {2, At(13, 10), 20, 2000},
    };
    p.gaps = {{3, At(4, 14), At(4, 14, 40)}};
    truth = {{1, "delivery", At(1, 10), 8000},        {1, "loss", At(3, 2, 10), -600},
             {1, "delivery", At(7, 0) - 0.004, 3000}, {1, "loss", At(10, 3), -900},
             {2, "delivery", At(2, 9), 4000},         {2, "loss", At(5, 1), -600},
             {3, "delivery", At(4, 14), 10000},       {2, "delivery", At(13, 10), 2000}};
    return p;
}

void InsertRow(TSQLiteDatabase& db, const DataRow& r) {
    Exec(db, "INSERT INTO DATA (tstamp, adr, flevel, fcode, temp) VALUES (?, ?, ?, 0, ?)",
         {r.tstamp, int64_t(r.adr), int64_t(r.flevel), int64_t(r.temp)});
}

void InsertRows(TSQLiteDatabase& db, const SynthPlan& plan, double from, double to) {
    db.ExecSQL("BEGIN");
    SynthesizeHistory(plan, [&](const DataRow& r) {
        if (r.tstamp >= from && r.tstamp < to)
            InsertRow(db, r);
    });
    db.ExecSQL("COMMIT");
}

TItemNode& AddTank(PlainTankList& tanks, int id, int32_t capacity, const char* fuel) {
    TItemNode& n = tanks.Add();
    n.id = static_cast<uint8_t>(id);
    n.Name = "Tank " + std::to_string(id);
    n.Act = true;
    n.Capacity = capacity;
    n.FType = fuel;
    return n;
}

// A new station file, written without waiting for the disk (these tests are of what is
// stored, not of the disk).
bool NewStationFile(TSQLiteDatabase& db) {
    RecordingMessages messages;
    if (!CreateDatabase(db, "BM", messages))
        return false;
    db.ExecSQL("PRAGMA synchronous = OFF");
    return true;
}

// The three tanks of TwoWeeks.
void AddDepotTanks(PlainTankList& tanks) {
    AddTank(tanks, 1, 20000, "Diesel");
    AddTank(tanks, 2, 10000, "Petrol A-95");
    AddTank(tanks, 3, 25000, "Kerosene");
}

struct Station {
    std::vector<std::string> log;
    std::unique_ptr<FuelEvents> events;
    Station(TSQLiteDatabase& db, TankList& tanks, const Clock& clock,
            std::shared_ptr<WriteQueue> writes = {}) {
        events = std::make_unique<FuelEvents>(FuelEventsContext{
            db, tanks, clock, [this](const std::string& l) { log.push_back(l); }, writes});
    }
    // Stores the plan's readings from `from` on and hands each to the events, as live.
    void FeedLive(TSQLiteDatabase& db, const SynthPlan& plan, double from) {
        SynthesizeHistory(plan, [&](const DataRow& r) {
            if (r.tstamp < from)
                return;
            InsertRow(db, r);
            Reading reading;
            reading.address = unsigned(r.adr);
            reading.utc = reading.local = r.tstamp;
            reading.litres = r.flevel;
            reading.temp = int8_t(r.temp);
            events->TakeReading(reading);
        });
    }
    bool StartAndCatchUp() {
        const bool on = events->Start();
        events->StartCatchUp();
        events->WaitForCatchUp();
        return on;
    }
    int LinesWith(const char* text) const {
        return int(std::count_if(log.begin(), log.end(), [&](const std::string& l) {
            return l.find(text) != std::string::npos;
        }));
    }
};

QString Describe(const std::vector<EventRow>& rows) {
    QStringList out;
    for (const EventRow& r : rows)
        out << QString("%1 %2 %3 %4")
                   .arg(r.adr)
                   .arg(QString::fromStdString(r.kind))
                   .arg(QString::fromStdString(TextFormats::DateTime(r.tstart)))
                   .arg(r.nafter && r.nbefore ? *r.nafter - *r.nbefore : 0);
    return out.join("; ");
}

} // namespace

class FuelEventsTest : public QObject {
    Q_OBJECT
private slots:
    void historyGivesExactlyItsDeliveriesAndThefts() {
        QTemporaryDir dir;
        TSQLiteDatabase db(dir.filePath("data.db").toStdString());
        QVERIFY(NewStationFile(db));
        PlainTankList tanks;
        AddDepotTanks(tanks);
        ManualClock clock(kDay0 + 20);
        std::vector<TrueEvent> truth;
        const SynthPlan plan = TwoWeeks(truth);
        // The station runs for the first week, stops during a delivery, and starts again
        // a week later: a file from before the events first, then a restart half way.
        const double stop = At(7, 0) + 0.004;
        InsertRows(db, plan, 0, stop);
        {
            Station first(db, tanks, clock);
            QVERIFY(first.StartAndCatchUp());
        }
        // Started again; the last day's readings come live while the history is examined.
        const double live = At(13, 0);
        InsertRows(db, plan, stop, live);
        Station second(db, tanks, clock);
        QVERIFY(second.events->Start());
        second.events->StartCatchUp();
        second.FeedLive(db, plan, live);
        second.events->WaitForCatchUp();
        QVERIFY2(second.LinesWith("Events are not recorded") == 0,
                 qPrintable(QString::fromStdString(second.log.empty() ? "" : second.log.back())));

        std::vector<EventRow> rows = SelectEvents(db);
        std::erase_if(rows,
                      [](const EventRow& r) { return r.kind != "delivery" && r.kind != "loss"; });
        const QString got = Describe(rows);
        QVERIFY2(rows.size() == truth.size(), qPrintable(got));
        for (const TrueEvent& t : truth) {
            auto match = std::find_if(rows.begin(), rows.end(), [&](const EventRow& r) {
                return r.adr == t.adr && r.kind == t.kind && std::abs(r.tstart - t.start) < 0.03;
            });
            QVERIFY2(match != rows.end(), qPrintable(got));
            QVERIFY2(match->tend && match->nbefore && match->nafter, qPrintable(got));
            const double litres = double(*match->nafter - *match->nbefore);
            QVERIFY2(std::abs(litres - t.litres) <= 0.01 * std::abs(t.litres), qPrintable(got));
        }
        // The losses are alarms until acknowledged: one per tank that lost fuel.
        QCOMPARE(second.events->AlarmView(1).shown, std::optional<AlarmKind>(AlarmKind::Loss));
        QCOMPARE(second.events->AlarmView(2).shown, std::optional<AlarmKind>(AlarmKind::Loss));
        QVERIFY(!second.events->AlarmView(3).shown);

        // Yet another start finds nothing new and repeats nothing.
        second.events.reset();
        Station third(db, tanks, clock);
        QVERIFY(third.StartAndCatchUp());
        QCOMPARE(int(SelectEvents(db).size()), int(rows.size()));
        QCOMPARE(third.LinesWith("LOSS alarm raised"), 0);
    }

    // The central sender writes its marks all through the examination of the history, and
    // holds the write lock just when the history's events are stored: they wait for it and
    // are stored after it, and the events of the live readings after them; storing events
    // never stops for the session.
    void eventsWaitForAnotherWriterInsteadOfStopping() {
        QTemporaryDir dir;
        const std::string file = dir.filePath("data.db").toStdString();
        TSQLiteDatabase db(file);
        QVERIFY(NewStationFile(db));
        PlainTankList tanks;
        AddDepotTanks(tanks);
        ManualClock clock(kDay0 + 20);
        std::vector<TrueEvent> truth;
        const SynthPlan plan = TwoWeeks(truth);
        const double live = At(8, 0);
        InsertRows(db, plan, 0, live);
        int64_t nowMs = 0;
        auto writes = std::make_shared<WriteQueue>(db, [&] { return nowMs; });
        Station s(db, tanks, clock, writes);
        QVERIFY(s.events->Start());

        TSQLiteDatabase central(file);
        std::atomic<bool> stop{false};
        std::thread sender([&] {
            while (!stop) {
                InWriteTransaction(central, [&] {
                    Exec(central, "INSERT OR REPLACE INTO CENTRAL_MARKS VALUES ('s', 'DATA', 1)");
                });
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        s.events->StartCatchUp();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        stop = true;
        sender.join();
        auto lock = std::make_unique<WriteTransaction>(central);
        s.events->WaitForCatchUp();
        const auto fuelRows = [&] {
            std::vector<EventRow> rows = SelectEvents(db);
            std::erase_if(
                rows, [](const EventRow& r) { return r.kind != "delivery" && r.kind != "loss"; });
            return rows;
        };
        // The examination stored them itself if it came before the lock; else they wait.
        QVERIFY(!fuelRows().empty() || writes->Waiting() > 0);
        lock.reset();

        nowMs += WriteQueue::kRetryMs;
        QCOMPARE(writes->Retry(), std::size_t(0));
        QVERIFY(!fuelRows().empty());
        s.FeedLive(db, plan, live);
        QCOMPARE(s.LinesWith("Events are not recorded"), 0);
        QCOMPARE(int(fuelRows().size()), int(truth.size()));
    }

    // The history's events are stored by the examination on its own connection, not by the
    // window's: they are in even when the window's connection cannot write. A file held by
    // another program all through leaves them to the write queue, which stores them later.
    void historyEventsAreStoredBesideTheWindow_data() {
        QTest::addColumn<bool>("windowWrites");
        QTest::addColumn<bool>("heldThroughout");
        QTest::newRow("the window's connection cannot write") << false << false;
        QTest::newRow("another program holds the file") << true << true;
    }
    void historyEventsAreStoredBesideTheWindow() {
        QFETCH(bool, windowWrites);
        QFETCH(bool, heldThroughout);
        QTemporaryDir dir;
        const std::string file = dir.filePath("data.db").toStdString();
        TSQLiteDatabase db(file);
        QVERIFY(NewStationFile(db));
        PlainTankList tanks;
        AddDepotTanks(tanks);
        ManualClock clock(kDay0 + 20);
        std::vector<TrueEvent> truth;
        InsertRows(db, TwoWeeks(truth), 0, At(14, 0));
        int64_t nowMs = 0;
        auto writes = std::make_shared<WriteQueue>(db, [&] { return nowMs; });
        Station s(db, tanks, clock, writes);
        QVERIFY(s.events->Start());
        if (!windowWrites)
            db.ExecSQL("PRAGMA query_only = 1");
        TSQLiteDatabase other(file);
        std::unique_ptr<WriteTransaction> lock;
        if (heldThroughout)
            lock = std::make_unique<WriteTransaction>(other);
        s.events->StartCatchUp();
        s.events->WaitForCatchUp();
        const auto fuelRows = [&] {
            std::vector<EventRow> rows = SelectEvents(db);
            std::erase_if(
                rows, [](const EventRow& r) { return r.kind != "delivery" && r.kind != "loss"; });
            return int(rows.size());
        };
        if (heldThroughout) {
            QCOMPARE(fuelRows(), 0);
            QVERIFY(writes->Waiting() > 0);
            lock.reset();
            nowMs += WriteQueue::kRetryMs;
            QCOMPARE(writes->Retry(), std::size_t(0));
        }
        QCOMPARE(fuelRows(), int(truth.size()));
        // Where the window cannot write, only its own write (the marks) fails.
        QCOMPARE(s.LinesWith("Events are not recorded"), windowWrites ? 0 : 1);
    }

    void aFileThatCannotTakeEventsStartsWithoutThem_data() {
        QTest::addColumn<QString>("prepare");
        QTest::newRow("queries only") << "PRAGMA query_only = 1";
        QTest::newRow("EVENTS of another shape") << "CREATE TABLE EVENTS (what TEXT)";
    }
    void aFileThatCannotTakeEventsStartsWithoutThem() {
        QFETCH(QString, prepare);
        SensorFixture f;
        TItemNode& tank = f.AddTank(1, true);
        tank.Capacity = 10000;
        tank.LowFuel = 5000;
        for (int i = 0; i < kClbEntryCount; ++i)
            tank.ClbArray[i] = float(i);
        f.db->ExecSQL(prepare.toStdString());
        Station s(*f.db, f.tanks, f.clock);
        QVERIFY(!s.StartAndCatchUp());
        for (int i = 0; i < 3; ++i) {
            Reading r;
            r.address = 1;
            r.utc = r.local = kDay0 + i / 1440.0;
            r.litres = 4000;
            s.events->TakeReading(r);
            s.events->TakeSilence(1, r.utc);
        }
        QCOMPARE(s.LinesWith("Events are not recorded"), 1);
        // The alarms still act on the tiles.
        QCOMPARE(s.events->AlarmView(1).shown, std::optional<AlarmKind>(AlarmKind::Low));
        QCOMPARE(UserVersion(*f.db), 0);
    }

    // A loss acknowledged before the station stops stays acknowledged after it starts
    // again, whether it was still going on (and ends live) or already over; the Errors log
    // lines carry the time they were written, not the loss's start.
    void anAcknowledgedLossStaysAcknowledgedAcrossARestart_data() {
        QTest::addColumn<int>("stopMinutes"); // after the theft began
        QTest::newRow("still going on at the stop") << 25;
        QTest::newRow("over before the stop") << 120;
    }
    void anAcknowledgedLossStaysAcknowledgedAcrossARestart() {
        QFETCH(int, stopMinutes);
        QTemporaryDir dir;
        TSQLiteDatabase db(dir.filePath("data.db").toStdString());
        QVERIFY(NewStationFile(db));
        PlainTankList tanks;
        AddTank(tanks, 1, 20000, "Diesel");
        SynthPlan plan;
        plan.utcFrom = kDay0;
        plan.days = 1;
        plan.cycleSeconds = 60;
        plan.tanks = {SynthTank{1, 20000, 840, 9000, 0, 5, 11, 2}};
        const double theft = At(0, 9);
        plan.events = {{1, theft, 10, -600}};
        const double stop = theft + stopMinutes / 1440.0;
        InsertRows(db, plan, 0, stop);
        ManualClock clock(stop + 0.001);
        {
            Station first(db, tanks, clock);
            QVERIFY(first.StartAndCatchUp());
            QVERIFY(first.events->AlarmView(1).unacknowledged);
            const std::string stamp = TextFormats::DateTime(clock.LocalNow());
            QCOMPARE(first.LinesWith((stamp + "   LOSS alarm raised").c_str()), 1);
            first.events->Acknowledge(1);
            QVERIFY(!first.events->AnyUnacknowledged());
        }
        clock.Set(At(0, 23));
        Station second(db, tanks, clock);
        QVERIFY(second.events->Start());
        second.events->StartCatchUp();
        second.events->WaitForCatchUp();
        second.FeedLive(db, plan, stop);
        QVERIFY(!second.events->AnyUnacknowledged());
        QCOMPARE(second.LinesWith("LOSS alarm raised"), 0);
        const std::vector<EventRow> losses = SelectEvents(db, 1, "loss");
        QCOMPARE(int(losses.size()), 1);
        QVERIFY(losses[0].acked && losses[0].tend);
        // the whole theft, net, within the 3 % a loss's volume is held to
        QVERIFY(std::abs(*losses[0].nafter - *losses[0].nbefore + 600) <= 18);
    }

    // Reconciliation alarms stored by another connection (the Reconciliation page) reach
    // the tile with a line in the Errors log, once each; acknowledging marks their rows and
    // clears the tile, a later one raises again, and a restart shows only what is still
    // unacknowledged. One stored after the tile was last told waits for its own turn.
    void reconciliationAlarmsReachTheTiles() {
        QTemporaryDir dir;
        const std::string file = dir.filePath("data.db").toStdString();
        TSQLiteDatabase db(file);
        RecordingMessages messages;
        QVERIFY(CreateDatabase(db, "BM", messages));
        PlainTankList tanks;
        AddTank(tanks, 1, 20000, "Diesel");
        AddTank(tanks, 2, 20000, "Diesel");
        ManualClock clock(At(3, 12));
        TSQLiteDatabase page(file);
        const auto store = [&](int adr, double t) {
            EventRow e;
            e.adr = adr;
            e.kind = "reconciliation";
            e.tstart = t;
            e.memo = "Delivery DN1 short by 150 l (-1.00 %)";
            StoreFuelEvent(page, e);
        };
        const auto unacked = [&](int adr) {
            int n = 0;
            for (const EventRow& r : SelectEvents(db, adr, "reconciliation"))
                n += !r.acked;
            return n;
        };
        {
            Station s(db, tanks, clock);
            QVERIFY(s.events->Start());
            store(1, At(2, 0));
            s.events->TakeReconciliationAlarms();
            QCOMPARE(s.events->AlarmView(1).shown,
                     std::optional<AlarmKind>(AlarmKind::Reconciliation));
            QVERIFY(s.events->AlarmView(1).unacknowledged);
            QVERIFY(!s.events->AlarmView(2).shown);
            QCOMPARE(s.LinesWith("VARIANCE alarm raised: \"Tank 1\""), 1);
            s.events->TakeReconciliationAlarms(); // nothing new
            QCOMPARE(s.LinesWith("VARIANCE alarm raised"), 1);
            s.events->Acknowledge(1);
            QVERIFY(!s.events->AlarmView(1).shown);
            QCOMPARE(unacked(1), 0);
            store(1, At(2, 0)); // the page reconciling the same days again
            s.events->TakeReconciliationAlarms();
            QVERIFY(!s.events->AlarmView(1).shown);
            store(1, At(3, 0));
            s.events->TakeReconciliationAlarms();
            QVERIFY(s.events->AlarmView(1).unacknowledged);
            QCOMPARE(s.LinesWith("VARIANCE alarm raised"), 2);
        }
        Station again(db, tanks, clock);
        QVERIFY(again.events->Start());
        QVERIFY(again.events->AlarmView(1).unacknowledged);
        QCOMPARE(again.LinesWith("VARIANCE alarm raised"), 0);
        store(1, At(3, 6)); // not yet taken when the operator acknowledges
        again.events->Acknowledge(1);
        QCOMPARE(unacked(1), 1);
        again.events->TakeReconciliationAlarms();
        QVERIFY(again.events->AlarmView(1).unacknowledged);
        QCOMPARE(again.LinesWith("VARIANCE alarm raised"), 1);
    }

    void liveReadingsRaiseStoreAndClearAlarms() {
        SensorFixture f;
        TItemNode& tank = f.AddTank(1, true);
        tank.Capacity = 20475;
        tank.LowFuel = 3000;
        tank.FType = "Diesel";
        for (int i = 0; i < kClbEntryCount; ++i)
            tank.ClbArray[i] = float(i * 5);
        auto s = std::make_unique<Station>(*f.db, f.tanks, f.clock);
        QVERIFY(s->StartAndCatchUp());
        QCOMPARE(UserVersion(*f.db), kSchemaVersion);
        f.link->AddReadingSink(*s->events);
        uint16_t code = 500; // 2500 l
        bool answer = true;
        f.port->onWrite = [&](const std::vector<uint8_t>& req) {
            if (answer && req[2] == Frames::kCmdData)
                f.InjectAt(f.line.NowMs() + 30, DataReply(req[1], 25, code));
            else if (answer)
                f.InjectAt(f.line.NowMs() + 30, ConfigReply(req[1]));
        };
        auto alarmRows = [&](const char* kind) { return SelectEvents(*f.db, 1, kind); };
        f.link->DeviceConnect();
        f.line.Advance(62000 * 2);
        QCOMPARE(int(alarmRows("low").size()), 1);
        QVERIFY(!alarmRows("low")[0].tend);
        QCOMPARE(s->LinesWith("LOW alarm raised: \"Tank 1\" (Address 1), 2500 l"), 1);
        QVERIFY(s->events->AnyUnacknowledged());
        QCOMPARE(s->events->NetLitres(1), std::optional<int32_t>(2479));

        s->events->Acknowledge(1);
        QVERIFY(!s->events->AnyUnacknowledged());
        QVERIFY(alarmRows("low")[0].acked);
        f.line.Advance(62000 * 2);
        {
            // Derived again at start-up from the last readings: still low, not stored twice.
            Station again(*f.db, f.tanks, f.clock);
            QVERIFY(again.StartAndCatchUp());
            QCOMPARE(again.events->AlarmView(1).states[int(AlarmKind::Low)],
                     AlarmState::Acknowledged);
            QCOMPARE(int(alarmRows("low").size()), 1);
        }

        // A reading whose DATA row fails still reaches the alarms, and the failure is told.
        f.db->ExecSQL("CREATE TRIGGER refuse BEFORE INSERT ON DATA BEGIN "
                      "SELECT RAISE(ABORT, 'no room for readings'); END");
        code = 700; // 3500 l: more than 1 % of capacity back above the limit
        f.line.Advance(62000);
        QVERIFY(alarmRows("low")[0].tend);
        QCOMPARE(s->LinesWith("LOW alarm cleared"), 1);
        QVERIFY(
            std::any_of(f.messages.shown.begin(), f.messages.shown.end(), [](const std::string& m) {
                return m.find("no room") != std::string::npos;
            }));
        f.db->ExecSQL("DROP TRIGGER refuse");

        // Three cycles without an answer: NO SIGNAL until the sensor answers again.
        answer = false;
        f.line.Advance(62000 * 4);
        QCOMPARE(int(alarmRows("silent").size()), 1);
        QCOMPARE(s->events->AlarmView(1).shown, std::optional<AlarmKind>(AlarmKind::Silent));
        answer = true;
        f.line.Advance(62000 * 2);
        QVERIFY(alarmRows("silent")[0].tend);
        QVERIFY(!s->events->AlarmView(1).shown);
    }
};

QTEST_GUILESS_MAIN(FuelEventsTest)
#include "test_fuel_events.moc"
