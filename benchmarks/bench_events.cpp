// Examining stored readings for deliveries and losses at start-up: a year of 14 tanks,
// one reading a minute each (7.36 million DATA rows), from a file that never had events
// (the first start after the update) and from one whose marks are current (any later
// start); and the detectors alone over the same rows held in memory.
//
//   bench_events [file]    (default: <build>/bench-data/events-year14.db, built on first run)

#include "BoundSql.h"
#include "Clock.h"
#include "Database.h"
#include "FuelEvents.h"
#include "HistoryPass.h"
#include "HistorySynth.h"
#include "OperatorMessages.h"
#include "SQLiteDatabase.h"
#include "SQLiteHandle.h"
#include "Statements.h"
#include "TankList.h"
#include "TextFormats.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <sqlite3.h>

namespace {

using Clk = std::chrono::steady_clock;
double SecondsSince(Clk::time_point t) {
    return std::chrono::duration<double>(Clk::now() - t).count();
}
// Processor time of the whole process, every thread: the machine is shared, so the wall
// clock alone says as much about the neighbours as about this code.
double CpuSeconds() {
    return double(std::clock()) / CLOCKS_PER_SEC;
}

constexpr int kTanks = 14;
const double kYearStart = TextFormats::Join(2025, 1, 1);

// Every tank drawn off a little, warming by day; a delivery every 9 to 12 days and a theft
// every seven weeks or so, at different hours for different tanks.
SynthPlan Year() {
    SynthPlan p;
    p.utcFrom = kYearStart;
    p.days = 365;
    p.cycleSeconds = 60;
    for (int a = 1; a <= kTanks; ++a) {
        SynthTank t{a, 20000 + 1000 * a, 840, 14000, 25, 5, 8.0 + a % 5, 3};
        p.tanks.push_back(t);
        const int every = 9 + a % 4;
        for (int day = a % every + 1; day < 365; day += every)
            p.events.push_back(
                {a, kYearStart + day + (8 + a % 9) / 24.0, 25, double(every) * 24 * t.usePerHour});
        for (int day = 20 + a; day < 365; day += 47 + a)
            p.events.push_back({a, kYearStart + day + (1 + a % 4) / 24.0, 10, -400.0 - 20 * a});
    }
    return p;
}

void Exec(sqlite3* db, const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", sql, sqlite3_errmsg(db));
        std::exit(1);
    }
}

void BuildYear(const std::string& path) {
    const std::string part = path + ".part";
    QFile::remove(QString::fromStdString(part));
    std::printf("building %s ...\n", path.c_str());
    std::fflush(stdout);
    const auto t0 = Clk::now();
    {
        TSQLiteDatabase db(part);
        RecordingMessages messages;
        CreateDatabase(db, "BM", messages);
        sqlite3* h = SQLiteHandle::Of(db);
        Exec(h, "PRAGMA journal_mode=OFF");
        Exec(h, "PRAGMA synchronous=OFF");
        Exec(h, "DROP INDEX IF EXISTS DATA_READINGS");
        Exec(h, "BEGIN");
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(
            h, "INSERT INTO DATA (tstamp, adr, flevel, fcode, temp) VALUES (?, ?, ?, 0, ?)", -1,
            &insert, nullptr);
        SynthesizeHistory(Year(), [&](const DataRow& r) {
            sqlite3_bind_double(insert, 1, r.tstamp);
            sqlite3_bind_int(insert, 2, r.adr);
            sqlite3_bind_int(insert, 3, r.flevel);
            sqlite3_bind_int(insert, 4, r.temp);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        });
        sqlite3_finalize(insert);
        Exec(h, "COMMIT");
        db.ExecSQL(kCreateDataIndex);
    }
    QFile::rename(QString::fromStdString(part), QString::fromStdString(path));
    std::printf("built in %.0f s\n", SecondsSince(t0));
}

// Back to a file from before the events: no event tables, schema version 0.
void ForgetEvents(TSQLiteDatabase& db) {
    for (const char* t : {"EVENTS", "EVENT_SETTINGS", "EVENT_MARKS"})
        db.ExecSQL(std::string("DROP TABLE IF EXISTS ") + t);
    db.ExecSQL("PRAGMA user_version = 0");
}

struct Run {
    double seconds = 0;
    double cpu = 0;
    std::size_t events = 0;
};

Run StartStation(TSQLiteDatabase& db, TankList& tanks, const Clock& clock) {
    const auto t = Clk::now();
    const double cpu = CpuSeconds();
    FuelEvents events(FuelEventsContext{db, tanks, clock, nullptr});
    events.Start();
    events.StartCatchUp();
    events.WaitForCatchUp();
    Run r;
    r.seconds = SecondsSince(t);
    r.cpu = CpuSeconds() - cpu;
    r.events = SelectEvents(db, 0, "delivery", 1 << 30).size() +
               SelectEvents(db, 0, "loss", 1 << 30).size();
    return r;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::string path = argc > 1 ? argv[1] : std::string(BENCH_DATA_DIR) + "/events-year14.db";
    QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath());
    if (!QFile::exists(QString::fromStdString(path)))
        BuildYear(path);
    TSQLiteDatabase db(path);
    const SynthPlan plan = Year();
    PlainTankList tanks;
    for (const SynthTank& t : plan.tanks) {
        TItemNode& n = tanks.Add();
        n.id = static_cast<uint8_t>(t.adr);
        n.Capacity = t.capacity;
        n.FType = "Diesel";
    }
    ManualClock clock(kYearStart + 366);
    std::size_t truth = plan.events.size();
    std::printf("DATA rows: %lld, true events: %zu\n",
                static_cast<long long>(LastDataRow(db).first), truth);

    std::vector<double> first;
    for (int i = 0; i < 3; ++i) {
        ForgetEvents(db);
        const Run r = StartStation(db, tanks, clock);
        first.push_back(r.seconds);
        std::printf("first start: examined the year in %.2f s (processor %.2f s), %zu events\n",
                    r.seconds, r.cpu, r.events);
    }
    const Run again = StartStation(db, tanks, clock);
    std::printf("later start with current marks: %.3f s, %zu events\n", again.seconds,
                again.events);

    // The detectors alone, on rows already in memory.
    std::vector<DataRow> rows;
    SynthesizeHistory(plan, [&](const DataRow& r) { rows.push_back(r); });
    std::map<int, FuelEventDetector> detectors;
    for (int i = 0; i < tanks.TankCount(); ++i)
        detectors.emplace(tanks.Tank(i).id, FuelEventDetector(ResolveDetectorConfig(
                                                tanks.Tank(i), TankEventSettings{})));
    const auto t = Clk::now();
    const double cpu = CpuSeconds();
    HistoryPass pass(detectors, [](double utc) { return utc; });
    pass.Feed(rows);
    const double detect = SecondsSince(t);
    const double detectCpu = CpuSeconds() - cpu;
    std::printf("detectors alone: %.2f s (processor %.2f s) for %zu rows (%.0f ns a row), %zu "
                "events\n",
                detect, detectCpu, rows.size(), detectCpu * 1e9 / double(rows.size()),
                pass.Events().size());
    std::sort(first.begin(), first.end());
    std::printf("first start, median of 3: %.2f s\n", first[1]);
    return 0;
}
