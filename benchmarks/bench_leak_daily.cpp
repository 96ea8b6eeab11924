// A day's leak tests in the running station: 14 tanks of 20 000 l, 29 days of readings made
// from a depot's physics (one a minute, trucks by day, a delivery every few days, some
// tanks leaking) in a data.db with the report indexes and its history examined; the daily
// runner (LeakTestDaily) then tests the day just over for all 14 as the station does, on
// its own thread and connection. Prints the wall time of the run, its processor time, and the
// verdicts.
//
//   bench_leak_daily [runs, default 5]
#include "Database.h"
#include "FuelEvents.h"
#include "LeakTestDaily.h"
#include "OperatorMessages.h"
#include "SQLiteDatabase.h"
#include "Schema.h"
#include "TankList.h"
#include "TankPhysics.h"
#include "TextFormats.h"
#include "Transaction.h"
#include "WriteQueue.h"

#include "BoundSql.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const double day0 = TextFormats::Join(2026, 1, 5);
    QTemporaryDir dir;
    const std::string file = dir.filePath("data.db").toStdString();
    TSQLiteDatabase db(file);
    RecordingMessages messages;
    CreateDatabase(db, "BM", messages);
    db.ExecSQL("PRAGMA synchronous = OFF");
    db.ExecSQL("UPDATE TANKS SET act = 1, capacity = 20000, ftype = 'Diesel'");
    InWriteTransaction(db, [&] {
        for (int adr = 1; adr <= 14; ++adr) {
            PhysicsPlan p;
            p.tank.adr = adr;
            p.utcFrom = day0;
            p.days = 29;
            p.seed = uint32_t(adr);
            p.tank.leakPerHour = adr % 4 == 0 ? 0.76 : 0;
            for (int day = 1 + adr % 3; day < 29; day += 4)
                p.events.push_back({day0 + day + 9.5 / 24, 8000, 300});
            SynthesizePhysics(p, [&](const DataRow& r) {
                Exec(db,
                     "INSERT INTO DATA (tstamp, adr, flevel, fcode, temp) VALUES (?, ?, ?, 0, ?)",
                     {r.tstamp, int64_t(adr), int64_t(r.flevel), int64_t(r.temp)});
            });
        }
    });
    for (const ReportIndex& index : kReportIndexes)
        db.ExecSQL(index.create);
    MigrateSchema(db);
    // The station examines its history before its first test: the events and marks are in
    // place, so the test finds nothing left to examine on the fly.
    PlainTankList tanks;
    for (int adr = 1; adr <= 14; ++adr) {
        TItemNode& n = tanks.Add();
        n.id = uint8_t(adr);
        n.Act = true;
        n.Capacity = 20000;
        n.FType = "Diesel";
    }
    {
        ManualClock clock(day0 + 29);
        FuelEvents events(FuelEventsContext{db, tanks, clock, {}});
        events.Start();
        events.StartCatchUp();
        events.WaitForCatchUp();
    }

    std::printf(
        "| run | wall s | processor s | fail | pass | inconclusive |\n|---|---|---|---|---|---|\n");
    for (int run = 0; run < runs; ++run) {
        db.ExecSQL("DELETE FROM LEAK_TESTS");
        ManualClock clock(day0 + 28 + 0.01);
        auto writes = std::make_shared<WriteQueue>(db, [] { return int64_t(0); });
        std::map<std::string, int> verdicts;
        LeakTestDaily daily(
            LeakTestDailyContext{db, writes, clock,
                                 [] {
                                     std::vector<int> all;
                                     for (int adr = 1; adr <= 14; ++adr)
                                         all.push_back(adr);
                                     return all;
                                 },
                                 [&](const LeakReportRow& r, double) {
                                     ++verdicts[LeakTest::VerdictText(r.result.verdict)];
                                 }});
        const auto wall = std::chrono::steady_clock::now();
        const std::clock_t cpu = std::clock();
        daily.Start();
        daily.WaitForRun();
        const double cpuSeconds = double(std::clock() - cpu) / CLOCKS_PER_SEC;
        const double wallSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
        std::printf("| %d | %.3f | %.3f | %d | %d | %d |\n", run + 1, wallSeconds, cpuSeconds,
                    verdicts["fail"], verdicts["pass"], verdicts["inconclusive"]);
    }
    return 0;
}
