// "Generate" of the Reports tab on a year of readings of 14 tanks: one tank over a day, a
// month and a year (the level and silence queries, the series, the chart replotted at
// 1000 x 500), each iteration against the bare SQLite step loop of the level statement.
//
//   bench_reports [benchmark flags] [file]
//
// Without a file: <build>/bench-data/year14.db, written on first run by this program. Any
// other file, such as one from make_year_db.sh, is measured on the tank and the year its
// DATA holds; the report indexes are created on it first when missing, as the station does.
// Counters: floor_ms is the bare loop, x_floor the whole "Generate" over it, x_floor_data
// the queries and the series over it; events_ms reading the events for the markers and
// bands (this file was never examined, so the detector runs over the period's readings).

#include "ChartEvents.h"
#include "Clock.h"
#include "Database.h"
#include "DayNumbers.h"
#include "LevelChart.h"
#include "LevelQuery.h"
#include "LevelSeries.h"
#include "SQLiteDatabase.h"
#include "SQLiteHandle.h"
#include "Statements.h"
#include "TextFormats.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace {

using Clk = std::chrono::steady_clock;
double MsSince(Clk::time_point t) {
    return std::chrono::duration<double, std::milli>(Clk::now() - t).count();
}

constexpr int kTanks = 14;
constexpr int kMinutes = 365 * kMinutesPerDay;
const double kYearStart = TextFormats::Join(2025, 1, 1);
// The tank the periods are drawn for.
int kTank = 1;

// Tank 1 misses ten minutes out of every 5000, and each miss is logged as a silence.
bool Silent(int tank, int minute) {
    return tank == kTank && minute % 5000 < 10;
}

void Exec(sqlite3* db, const char* sql) {
    char* err = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", sql, err ? err : "?");
        std::exit(1);
    }
}

// Writes the file the way the station would fill it: a row per tank and minute, the
// timestamp as its ten-decimal text, then the covering index.
void BuildYear(const std::string& path) {
    const std::string part = path + ".part";
    QFile::remove(QString::fromStdString(part));
    std::printf("building %s (%d rows) ...\n", path.c_str(), kTanks * kMinutes);
    std::fflush(stdout);
    const auto t0 = Clk::now();
    {
        TSQLiteDatabase db(part);
        db.ExecSQL(Sql::kCreateTanks);
        db.ExecSQL(Sql::kCreateData);
        db.ExecSQL(Sql::kCreateError);
        for (int i = 1; i <= kTanks; ++i)
            db.ExecSQL(Sql::SeedTank(i));
        sqlite3* h = SQLiteHandle::Of(db);
        Exec(h, "PRAGMA journal_mode=OFF");
        Exec(h, "PRAGMA synchronous=OFF");
        Exec(h, "BEGIN");
        sqlite3_stmt* data = nullptr;
        sqlite3_stmt* error = nullptr;
        sqlite3_prepare_v2(h,
                           "INSERT INTO DATA (tstamp, adr, flevel, fcode, temp) "
                           "VALUES (?, ?, ?, ?, ?)",
                           -1, &data, nullptr);
        sqlite3_prepare_v2(h, "INSERT INTO error (tstamp, adr, code) VALUES (?, ?, 1)", -1, &error,
                           nullptr);
        for (int m = 0; m < kMinutes; ++m) {
            for (int tank = 1; tank <= kTanks; ++tank) {
                const std::string ts =
                    TextFormats::Timestamp(kYearStart + double(m * 60 + tank) / kSecondsPerDay);
                sqlite3_stmt* s = Silent(tank, m) ? error : data;
                sqlite3_bind_text(s, 1, ts.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_int(s, 2, tank);
                if (s == data) {
                    const int litres = 20000 - (m % 10080) * 2 + tank;
                    sqlite3_bind_int(s, 3, litres);
                    sqlite3_bind_int(s, 4, litres / 2);
                    sqlite3_bind_int(s, 5, 15);
                }
                sqlite3_step(s);
                sqlite3_reset(s);
            }
        }
        sqlite3_finalize(data);
        sqlite3_finalize(error);
        Exec(h, "COMMIT");
        std::printf("  rows %.1f s\n", MsSince(t0) / 1000);
        for (const ReportIndex& index : kReportIndexes)
            db.ExecSQL(index.create);
        std::printf("  indexes %.1f s\n", MsSince(t0) / 1000);
    }
    QFile::rename(QString::fromStdString(part), QString::fromStdString(path));
}

// The floor: prepare, step and read both columns, nothing else.
size_t StepLoop(sqlite3* db, const std::string& sql, double& sum) {
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr);
    size_t n = 0;
    while (sqlite3_step(s) == SQLITE_ROW) {
        sum += sqlite3_column_double(s, 0) + sqlite3_column_int(s, 1);
        ++n;
    }
    sqlite3_finalize(s);
    return n;
}

struct Phases {
    double levels = 0, silences = 0, build = 0, events = 0, draw = 0, whole = 0;
};

// Buffers kept from one "Generate" to the next, so that the phases time the work, not the
// allocation (the tab reads on a thread of its own, into buffers of that reading).
std::vector<fdata> samples;
std::vector<LevelPoint> pts;

// One "Generate" with its phases timed, drawn as the tab draws it: into its own chart, kept
// from one report to the next and replotted at 1000 x 500.
Phases GenerateOnce(TSQLiteDatabase& db, double S, double E, LevelChart& chart, size_t& rows,
                    size_t& points) {
    Phases p;
    const auto whole = Clk::now();
    auto t = Clk::now();
    ManualClock clock(E, 0);
    const double offset = LocalOffset(clock);
    QueryLevels(db, kTank, S, E, offset, samples);
    p.levels = MsSince(t);
    t = Clk::now();
    std::vector<double> errors = QueryErrors(db, kTank, S, E, offset);
    p.silences = MsSince(t);
    t = Clk::now();
    BuildLevelSeries(samples, S, E, pts);
    rows = samples.size();
    SortForDrawing(pts);
    points = pts.size();
    p.build = MsSince(t);
    t = Clk::now();
    ChartEvents events = LoadChartEvents(db, kTank, pts, S, E, offset, E);
    p.events = MsSince(t);
    t = Clk::now();
    chart.Clear();
    chart.SetLevelLine(pts);
    chart.SetErrorMarkers(errors);
    chart.SetEvents(std::move(events));
    chart.ApplyAutoRange();
    chart.replot();
    p.draw = MsSince(t);
    p.whole = MsSince(whole);
    return p;
}

// Each iteration times the bare loop and then "Generate"; only "Generate" is the
// iteration's time. The counters set them side by side: x_floor for the whole "Generate",
// x_floor_data for its queries and series alone (the part the loop is a floor for; drawing
// a chart costs the same few milliseconds whatever the rows).
void BM_Generate(benchmark::State& state, TSQLiteDatabase* db, double S, double E) {
    const std::string sql = Sql::SelectLevels(kTank, S, E);
    LevelChart chart;
    chart.resize(1000, 500);
    size_t rows = 0, points = 0;
    GenerateOnce(*db, S, E, chart, rows, points); // warm the page cache and the chart
    double sum = 0, floor = 0;
    Phases total;
    for (auto _ : state) {
        auto t = Clk::now();
        StepLoop(SQLiteHandle::Of(*db), sql, sum);
        floor += MsSince(t);
        const Phases p = GenerateOnce(*db, S, E, chart, rows, points);
        total.levels += p.levels;
        total.silences += p.silences;
        total.build += p.build;
        total.events += p.events;
        total.draw += p.draw;
        total.whole += p.whole;
        state.SetIterationTime(p.whole / 1000.0);
    }
    benchmark::DoNotOptimize(sum);
    const double n = static_cast<double>(state.iterations());
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["levels_ms"] = total.levels / n;
    state.counters["silences_ms"] = total.silences / n;
    state.counters["build_ms"] = total.build / n;
    state.counters["events_ms"] = total.events / n;
    state.counters["draw_ms"] = total.draw / n;
    state.counters["floor_ms"] = floor / n;
    state.counters["x_floor"] = total.whole / floor;
    state.counters["x_floor_data"] = (total.levels + total.silences + total.build) / floor;
}

long StatusKb(const char* key) {
    std::ifstream f("/proc/self/status");
    std::string line;
    const std::string k = key;
    while (std::getline(f, line))
        if (line.compare(0, k.size(), k) == 0)
            return std::atol(line.c_str() + k.size() + 1);
    return -1;
}

void MeasureMemory(TSQLiteDatabase& db, double S, double E) {
    { std::ofstream("/proc/self/clear_refs") << "5"; } // reset the peak
    const long before = StatusKb("VmRSS");
    size_t rows = 0, points = 0;
    const auto t = Clk::now();
    auto chart = std::make_unique<LevelChart>();
    chart->resize(1000, 500);
    GenerateOnce(db, S, E, *chart, rows, points);
    std::printf("first Generate of the year in this process, on a new chart: %.1f ms\n",
                MsSince(t));
    const long peak = StatusKb("VmHWM");
    const long held = StatusKb("VmRSS");
    std::printf("memory, year: peak +%.1f MB during Generate, +%.1f MB held by the chart\n",
                (peak - before) / 1024.0, (held - before) / 1024.0);
}

// The tank with readings and the first and last day it has them.
struct Span {
    int tank = 1;
    double first = 0, last = 0;
};

Span FindSpan(TSQLiteDatabase& db) {
    Span span;
    TSQLiteTable t = db.GetTable("SELECT min(adr) AS a FROM DATA");
    span.tank = static_cast<int>(t.FieldAsInteger("a"));
    t = db.GetTable("SELECT min(tstamp) AS f, max(tstamp) AS l FROM DATA WHERE adr = " +
                    std::to_string(span.tank));
    span.first = t.Field("f").d;
    span.last = t.Field("l").d;
    return span;
}

double Midnight(double t) {
    const TextFormats::DateTimeParts p = TextFormats::Split(t);
    return TextFormats::Join(p.year, p.month, p.day);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    benchmark::Initialize(&argc, argv);
    QApplication app(argc, argv);
    std::string path = argc > 1 ? argv[1] : std::string(BENCH_DATA_DIR) + "/year14.db";
    QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath());
    if (!QFile::exists(QString::fromStdString(path)))
        BuildYear(path);
    TSQLiteDatabase db(path);
    for (const ReportIndex& index : MissingReportIndexes(db)) {
        const auto t = Clk::now();
        db.ExecSQL(index.create);
        std::printf("created %s: %.1f s\n", index.name, MsSince(t) / 1000);
    }
    // The tank and the year the file holds (UTC; the benchmark's offset is 0).
    const Span span = FindSpan(db);
    kTank = span.tank;
    const double yearStart = Midnight(span.first);
    const double yearStop = Midnight(span.last) + 1 - 1 / 86400000.0;
    const double middle = Midnight((span.first + span.last) / 2);
    const TextFormats::DateTimeParts m = TextFormats::Split(middle);
    const double monthStart = TextFormats::Join(m.year, m.month, 1);
    const double monthStop = m.month == 12 ? TextFormats::Join(m.year + 1, 1, 1)
                                           : TextFormats::Join(m.year, m.month + 1, 1);
    std::printf("%s: tank %d, %s to %s\n", path.c_str(), kTank,
                TextFormats::ShortDate(yearStart).c_str(),
                TextFormats::ShortDate(yearStop).c_str());

    MeasureMemory(db, yearStart, yearStop);

    struct Case {
        const char* name;
        double S, E;
    };
    const Case cases[] = {
        {"Generate/day", middle, middle + 1},
        {"Generate/month", monthStart, monthStop},
        {"Generate/year", yearStart, yearStop},
    };
    for (const Case& c : cases)
        benchmark::RegisterBenchmark(c.name, BM_Generate, &db, c.S, c.E)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
