// "Generate" of the Reports tab on a year of readings of 14 tanks (7.4 million DATA rows):
// one tank over a day, a month and a year, split into query, series build and the first
// drawing of a 1000 x 500 chart, against the bare SQLite step loop of the same statement.
//
//   bench_reports [file]    (default: <build>/bench-data/year14.db, built on first run)

#include "Clock.h"
#include "Database.h"
#include "LevelChart.h"
#include "LevelQuery.h"
#include "LevelSeries.h"
#include "SQLiteDatabase.h"
#include "Statements.h"
#include "TextFormats.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>

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
constexpr int kMinutes = 365 * 1440;
constexpr int kTank = 1;
const double kYearStart = TextFormats::Join(2025, 1, 1);

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
        sqlite3* h = db.Handle();
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
                    TextFormats::Timestamp(kYearStart + (m * 60 + tank) / 86400.0);
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
        db.ExecSQL(kCreateDataIndex);
        std::printf("  index %.1f s\n", MsSince(t0) / 1000);
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
    double floor = 0, query = 0, build = 0, draw = 0, whole = 0;
};

struct Result {
    size_t rows = 0, points = 0;
    Phases t;
};

// One "Generate" with its phases timed; the chart is new, so this is its first drawing.
// The buffers the Reports tab keeps from one "Generate" to the next.
std::vector<fdata> samples;
std::vector<LevelPoint> pts;

Phases GenerateOnce(TSQLiteDatabase& db, double S, double E, size_t& rows, size_t& points,
                    std::unique_ptr<LevelChart>* keep = nullptr) {
    Phases p;
    const auto whole = Clk::now();
    auto t = Clk::now();
    ManualClock clock(E, 0);
    const double offset = LocalOffset(clock);
    QueryLevels(db, kTank, S, E, offset, samples);
    std::vector<double> errors = QueryErrors(db, kTank, S, E, offset);
    p.query = MsSince(t);
    t = Clk::now();
    BuildLevelSeries(samples, S, E, pts);
    rows = samples.size();
    SortForDrawing(pts);
    points = pts.size();
    p.build = MsSince(t);
    t = Clk::now();
    auto chart = std::make_unique<LevelChart>();
    chart->resize(1000, 500);
    chart->SetLevelLine(pts);
    chart->SetErrorMarkers(errors);
    chart->ApplyAutoRange();
    const QPixmap shot = chart->toPixmap(1000, 500);
    p.draw = MsSince(t);
    p.whole = MsSince(whole);
    if (keep)
        *keep = std::move(chart);
    return p;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

Result Measure(TSQLiteDatabase& db, double S, double E, int runs) {
    Result r;
    std::vector<double> fl, q, b, d, w;
    double sum = 0;
    const std::string sql = Sql::SelectLevels(kTank, S, E);
    GenerateOnce(db, S, E, r.rows, r.points); // warm the page cache
    for (int i = 0; i < runs; ++i) {
        auto t = Clk::now();
        StepLoop(db.Handle(), sql, sum);
        fl.push_back(MsSince(t));
        const Phases p = GenerateOnce(db, S, E, r.rows, r.points);
        q.push_back(p.query);
        b.push_back(p.build);
        d.push_back(p.draw);
        w.push_back(p.whole);
    }
    r.t = {Median(fl), Median(q), Median(b), Median(d), Median(w)};
    return r;
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
    std::unique_ptr<LevelChart> chart;
    const Phases p = GenerateOnce(db, S, E, rows, points, &chart);
    std::printf("first Generate of the year in this process: %.1f ms\n", p.whole);
    const long peak = StatusKb("VmHWM");
    const long held = StatusKb("VmRSS");
    std::printf("memory, year: peak +%.1f MB during Generate, +%.1f MB held by the chart\n",
                (peak - before) / 1024.0, (held - before) / 1024.0);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::string path = argc > 1 ? argv[1] : std::string(BENCH_DATA_DIR) + "/year14.db";
    QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath());
    if (!QFile::exists(QString::fromStdString(path)))
        BuildYear(path);
    TSQLiteDatabase db(path);
    if (DataIndexMissing(db))
        db.ExecSQL(kCreateDataIndex);

    const double yearStop = TextFormats::Join(2026, 1, 1) - 1 / 86400000.0;
    MeasureMemory(db, kYearStart, yearStop);

    struct Case {
        const char* name;
        double S, E;
        int runs;
    };
    const Case cases[] = {
        {"day", TextFormats::Join(2025, 6, 15), TextFormats::Join(2025, 6, 16), 50},
        {"month", TextFormats::Join(2025, 6, 1), TextFormats::Join(2025, 7, 1), 15},
        {"year", kYearStart, yearStop, 5},
    };
    std::printf("\n%-6s %8s %8s | %9s %9s %9s %9s | %9s %7s\n", "period", "rows", "points",
                "query ms", "build ms", "draw ms", "whole ms", "floor ms", "x floor");
    for (const Case& c : cases) {
        const Result r = Measure(db, c.S, c.E, c.runs);
        std::printf("%-6s %8zu %8zu | %9.2f %9.2f %9.2f %9.2f | %9.2f %7.2f\n", c.name, r.rows,
                    r.points, r.t.query, r.t.build, r.t.draw, r.t.whole, r.t.floor,
                    r.t.whole / r.t.floor);
    }
    return 0;
}
