// The daily leak test in the running station, time driven by a manual clock: once a day is
// over the tank is tested on its stored readings of the 28 days before (a depot's physics,
// with and without a 0.76 l/h leak), the result is kept in LEAK_TESTS, a fail raises one
// LEAK alarm row, and after a restart the day is not tested again, the acknowledged alarm
// stays acknowledged and the next day's fail raises nothing new.
#include "BoundSql.h"
#include "Database.h"
#include "FuelEvents.h"
#include "LeakTestDaily.h"
#include "OperatorMessages.h"
#include "SQLiteDatabase.h"
#include "TankList.h"
#include "TankPhysics.h"
#include "TextFormats.h"
#include "Transaction.h"
#include "WriteQueue.h"

#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

namespace {

const double kDay0 = TextFormats::Join(2026, 1, 5);

// The station's parts that take part: the events and the daily runner on one write queue.
struct Station {
    std::vector<std::string> log;
    std::shared_ptr<WriteQueue> writes;
    std::unique_ptr<FuelEvents> events;
    std::unique_ptr<LeakTestDaily> daily;
    Station(TSQLiteDatabase& db, TankList& tanks, const Clock& clock)
        : writes(std::make_shared<WriteQueue>(db, [] { return int64_t(0); })) {
        events = std::make_unique<FuelEvents>(FuelEventsContext{
            db, tanks, clock, [this](const std::string& l) { log.push_back(l); }, writes});
        events->Start();
        events->StartCatchUp();
        events->WaitForCatchUp();
        daily = std::make_unique<LeakTestDaily>(LeakTestDailyContext{
            db, writes, clock, [] { return std::vector<int>{1}; },
            [this](const LeakReportRow& r, double utc) {
                events->TakeLeakTest(r.adr, utc, LeakTest::AlarmVerdict(r.result),
                                     LeakAlarmText(r.result));
            },
            [this](const std::string& l) { log.push_back(l); }});
        daily->Start();
        daily->WaitForRun();
    }
    int LinesWith(const char* text) const {
        return int(std::count_if(log.begin(), log.end(), [&](const std::string& l) {
            return l.find(text) != std::string::npos;
        }));
    }
};

} // namespace

class LeakDailyTest : public QObject {
    Q_OBJECT
private slots:
    void aDaysTestIsKeptAlarmedAndNotMadeTwice_data() {
        QTest::addColumn<double>("leak"); // l/h
        QTest::newRow("0.76 l/h over 28 days fails") << 0.76;
        QTest::newRow("no leak never fails") << 0.0;
    }
    void aDaysTestIsKeptAlarmedAndNotMadeTwice() {
        QFETCH(double, leak);
        QTemporaryDir dir;
        TSQLiteDatabase db(dir.filePath("data.db").toStdString());
        RecordingMessages messages;
        QVERIFY(CreateDatabase(db, "BM", messages));
        db.ExecSQL("PRAGMA synchronous = OFF");
        db.ExecSQL("UPDATE TANKS SET act = 1, capacity = 20000, ftype = 'Diesel' WHERE id = 1");
        PlainTankList tanks;
        TItemNode& node = tanks.Add();
        node.id = 1;
        node.Name = "Tank 1";
        node.Act = true;
        node.Capacity = 20000;
        node.FType = "Diesel";
        PhysicsPlan p;
        p.utcFrom = kDay0;
        p.days = 29;
        p.seed = 23;
        p.tank.leakPerHour = leak;
        for (int day = 1; day < 29; day += 4)
            p.events.push_back({kDay0 + day + 9.5 / 24, 8000, 300});
        InWriteTransaction(db, [&] {
            SynthesizePhysics(p, [&](const DataRow& r) {
                Exec(db,
                     "INSERT INTO DATA (tstamp, adr, flevel, fcode, temp) VALUES (?, 1, ?, 0, ?)",
                     {r.tstamp, int64_t(r.flevel), int64_t(r.temp)});
            });
        });
        const bool leaking = leak > 0;
        ManualClock clock(kDay0 + 28 + 0.01);
        {
            Station first(db, tanks, clock);
            // A first run tests the last day over alone.
            const std::vector<StoredLeakTest> tested = LoadLeakTests(db, 1, 0, 1e6);
            QCOMPARE(int(tested.size()), 1);
            QCOMPARE(tested[0].day, kDay0 + 27);
            QCOMPARE(tested[0].tested, kDay0 + 28);
            const QString verdict = QString::fromStdString(tested[0].verdict);
            QVERIFY2(leaking ? verdict == "fail" : verdict != "fail",
                     qPrintable(verdict + " at " + QString::number(tested[0].rate) + " l/h"));
            const std::vector<EventRow> alarms = SelectEvents(db, 1, "leak");
            QCOMPARE(int(alarms.size()), leaking ? 1 : 0);
            // The leak alarm alone: what other alarms a month of readings brings is for
            // the loss rules' own tests and benchmark.
            QCOMPARE(first.events->AlarmView(1).states[int(AlarmKind::Leak)],
                     leaking ? AlarmState::Unacknowledged : AlarmState::Cleared);
            if (leaking) {
                QCOMPARE(first.events->AlarmView(1).shown,
                         std::optional<AlarmKind>(AlarmKind::Leak));
                QVERIFY(alarms[0].memo.rfind("Leak test failed: ", 0) == 0);
                QCOMPARE(first.LinesWith("LEAK alarm raised: \"Tank 1\" (Address 1)"), 1);
            }
            QVERIFY(!first.daily->Check()); // the day is not tested twice
            first.events->Acknowledge(1);
        }
        clock.Set(kDay0 + 29 + 0.01);
        Station second(db, tanks, clock);
        const std::vector<StoredLeakTest> tested = LoadLeakTests(db, 1, 0, 1e6);
        QCOMPARE(int(tested.size()), 2);
        QCOMPARE(tested[1].day, kDay0 + 28);
        QCOMPARE(int(SelectEvents(db, 1, "leak").size()), leaking ? 1 : 0);
        QVERIFY(!second.events->AnyUnacknowledged());
        QCOMPARE(second.LinesWith("LEAK alarm raised"), 0);
        QCOMPARE(second.events->AlarmView(1).states[int(AlarmKind::Leak)],
                 leaking && tested[1].verdict != "pass" ? AlarmState::Acknowledged
                                                        : AlarmState::Cleared);
    }
};

QTEST_GUILESS_MAIN(LeakDailyTest)
#include "test_leak_daily.moc"
