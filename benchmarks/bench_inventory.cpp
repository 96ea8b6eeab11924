// The inventory reports on a year of 14 tanks: a year's daily balance of one tank, a month's
// depot summary of all 14, and the CSV of one tank's year of readings.
//
//   bench_inventory [file]   (default: <build>/bench-data/events-year14.db, the year that
//                             bench_events builds; run that first)
#include "Balance.h"
#include "BalanceView.h"
#include "Csv.h"
#include "InventoryData.h"
#include "SQLiteDatabase.h"
#include "TextFormats.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace {

std::string gPath;
const double kYearStart = TextFormats::Join(2025, 1, 1);

std::vector<std::shared_ptr<TItemNode>> Tanks(TSQLiteDatabase& db) {
    auto tanks = LoadReportTanks(db);
    for (auto& t : tanks)
        t->Act = true; // the made-up year leaves them as seeded
    return tanks;
}

void DailyBalanceOfAYear(benchmark::State& state) {
    TSQLiteDatabase db(gPath, TSQLiteDatabase::Mode::ReadOnly);
    const auto tanks = Tanks(db);
    const auto bounds = BalanceBoundaries(kYearStart, kYearStart + 364);
    std::size_t readings = 0;
    for (auto _ : state) {
        TankReport r = LoadTankReport(db, tanks.at(0), bounds, 0, kYearStart + 366);
        readings = r.readings.size();
        benchmark::DoNotOptimize(r.balance.data());
    }
    state.counters["readings"] = double(readings);
}

void DepotSummaryOfAMonth(benchmark::State& state) {
    TSQLiteDatabase db(gPath, TSQLiteDatabase::Mode::ReadOnly);
    const auto tanks = Tanks(db);
    const auto bounds = BalanceBoundaries(kYearStart + 181, kYearStart + 211);
    for (auto _ : state) {
        auto sum = DepotSummary(db, tanks, bounds, 0, kYearStart + 366);
        auto totals = TotalsByFuel(sum);
        benchmark::DoNotOptimize(totals.data());
    }
}

void ReadingsCsvOfAYear(benchmark::State& state) {
    TSQLiteDatabase db(gPath, TSQLiteDatabase::Mode::ReadOnly);
    const auto tanks = Tanks(db);
    const bool queryToo = state.range(0) != 0;
    std::vector<StoredReading> readings =
        QueryReadings(db, tanks.at(0)->id, kYearStart, kYearStart + 365);
    std::size_t bytes = 0;
    for (auto _ : state) {
        if (queryToo)
            readings = QueryReadings(db, tanks.at(0)->id, kYearStart, kYearStart + 365);
        std::string text(Csv::kBom);
        Csv::AppendReadings(text, {tanks.at(0)->id, tanks.at(0)->Name}, readings, 840.0, 0);
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["rows_per_s"] = benchmark::Counter(
        double(readings.size()) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["MB"] = double(bytes) / 1e6;
}

// What the window's own thread does with a year's report once a worker has read it: the
// table's texts and the consumption chart's points.
void BalanceViewOfAYear(benchmark::State& state) {
    TSQLiteDatabase db(gPath, TSQLiteDatabase::Mode::ReadOnly);
    const auto tanks = Tanks(db);
    const TankReport r = LoadTankReport(
        db, tanks.at(0), BalanceBoundaries(kYearStart, kYearStart + 364), 0, kYearStart + 366);
    for (auto _ : state) {
        TextTable table = BalanceTable(r);
        ConsumptionSeries series = Consumption(r);
        benchmark::DoNotOptimize(table.rows.data());
        benchmark::DoNotOptimize(series.barKeys.data());
    }
    state.counters["rows"] = double(r.balance.size());
}

} // namespace

BENCHMARK(DailyBalanceOfAYear)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(DepotSummaryOfAMonth)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BalanceViewOfAYear)->Unit(benchmark::kMillisecond)->UseRealTime();
// 0: formatting alone; 1: the query as well
BENCHMARK(ReadingsCsvOfAYear)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    gPath = argc > 1 ? argv[1] : std::string(BENCH_DATA_DIR) + "/events-year14.db";
    if (!std::filesystem::exists(gPath)) {
        std::fprintf(stderr, "no %s: run bench_events first, which builds it\n", gPath.c_str());
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
