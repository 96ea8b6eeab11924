// Detection quality and speed of the loss rules and the leak test, over readings made from
// the physics of a depot (TankPhysics): 20 000 l of diesel read once a minute, noise σ 20 l,
// 12-bit codes, whole degrees swinging 8-22 °C, trucks filling 40-80 l in 2-4 minutes about
// twice an hour from 06:00 to 22:00, spikes, sloshing after deliveries, silences.
//
//   bench_losses [trials per theft cell, default 20] [leak tank-months per cell, default 200]
#include "DayNumbers.h"
#include "FuelEventDetector.h"
#include "LeakTest.h"
#include "TankPhysics.h"
#include "TextFormats.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <vector>

namespace {

using Clk = std::chrono::steady_clock;
double Since(Clk::time_point t) {
    return std::chrono::duration<double>(Clk::now() - t).count();
}
// Processor time: the build machine is shared, so the wall clock says as much about the
// neighbours as about this code.
double Cpu() {
    return double(std::clock()) / CLOCKS_PER_SEC;
}
const double kDay0 = TextFormats::Join(2026, 1, 5);

DetectorConfig ConfigOf(const PhysicsTank& t) {
    DetectorConfig c;
    c.capacity = t.capacity;
    c.density = t.density;
    c.deliveryLitres = c.lossLitres = std::max(50.0, 0.01 * t.capacity);
    return c;
}

struct Found {
    std::vector<FuelEvent> events;
};

Found Examine(const PhysicsPlan& plan, std::vector<LeakReading>* keep = nullptr) {
    FuelEventDetector d(ConfigOf(plan.tank));
    std::map<std::pair<int, double>, FuelEvent> byKey;
    SynthesizePhysics(plan, [&](const DataRow& r) {
        if (keep)
            keep->push_back({r.tstamp, r.flevel, r.temp});
        for (const FuelEvent& e : d.Feed({r.tstamp, r.tstamp + plan.localOffset, r.flevel, r.temp}))
            byKey[{int(e.kind), e.tstart}] = e;
    });
    Found f;
    for (auto& [k, e] : byKey)
        f.events.push_back(e);
    return f;
}

// Losses of one theft: detected (a loss overlapping it) and the volume error.
void TheftTable(int trials) {
    std::printf("\n## Thefts (20 000 l, %d trials a cell, 5 days learned first)\n\n", trials);
    std::printf("| Theft | Pace l/min | Hour | Found | Volume error mean | sd | worst | other "
                "losses |\n|---|---|---|---|---|---|---|---|\n");
    for (double litres : {100.0, 300.0, 1000.0})
        for (double pace : {2.0, 10.0, 50.0, 200.0})
            for (int busy = 0; busy < 2; ++busy) {
                int found = 0, extra = 0;
                double sum = 0, sum2 = 0, worst = 0;
                for (int k = 0; k < trials; ++k) {
                    PhysicsPlan p;
                    p.utcFrom = kDay0;
                    p.days = 6;
                    p.seed = 1000 + k * 7 + int(litres) + int(pace) * 13 + busy;
                    // idle: inside the night (22:00-06:00) whatever its length; busy: by day
                    const double minutes = litres / pace;
                    if (!busy && minutes > 7 * 60)
                        break;
                    const double room = busy ? 8.0 : 7.5 - minutes / 60;
                    const double start =
                        kDay0 + 5 + (busy ? 9.0 : -1.75) / 24 + std::fmod(k * 0.37, room) / 24;
                    p.events = {{kDay0 + 2 + 9.5 / 24, 8000, 300}, {start, -litres, pace}};
                    const double end = start + p.events[1].Minutes() / kMinutesPerDay;
                    bool hit = false;
                    for (const FuelEvent& e : Examine(p).events) {
                        if (e.kind != FuelEventKind::Loss)
                            continue;
                        const double eend = e.tend.value_or(e.tstart);
                        if (!hit && e.tstart <= end + 0.03 && eend >= start - 0.03) {
                            hit = true;
                            const double err = (-e.Amount(true) - litres) / litres;
                            sum += err;
                            sum2 += err * err;
                            worst = std::abs(err) > std::abs(worst) ? err : worst;
                        } else {
                            ++extra;
                        }
                    }
                    found += hit;
                }
                if (!busy && litres / pace > 7 * 60) {
                    std::printf("| %.0f l | %.0f | idle | longer than a night | | | | |\n", litres,
                                pace);
                    continue;
                }
                const double mean = found ? sum / found : 0;
                const double sd = found ? std::sqrt(std::max(0.0, sum2 / found - mean * mean)) : 0;
                std::printf("| %.0f l | %.0f | %s | %d/%d | %+.1f %% | %.1f %% | %+.1f %% | %d |\n",
                            litres, pace, busy ? "busy" : "idle", found, trials, mean * 100,
                            sd * 100, worst * 100, extra);
            }
}

// A year of 14 tanks without a theft: false losses, deliveries found, and the time taken.
void YearTable() {
    std::printf("\n## A year of 14 tanks without thefts\n\n");
    int falseLosses = 0, deliveries = 0, found = 0, within3 = 0;
    double seconds = 0, cpu = 0;
    int64_t readings = 0;
    for (int a = 1; a <= 14; ++a) {
        PhysicsPlan p;
        p.tank.adr = a;
        p.utcFrom = kDay0;
        p.days = 365;
        p.seed = 77 + a;
        // a delivery when the tank runs low: about every 8-10 days, at 10:00
        for (int day = 2 + a % 3; day < 364; day += 4) {
            p.events.push_back({kDay0 + day + (9.0 + a % 5) / 24, 7000.0 + 200 * (a % 5), 300});
            ++deliveries;
        }
        for (int day = 11 + a; day < 364; day += 29)
            p.silences.push_back(
                {kDay0 + day + (a % 24) / 24.0, kDay0 + day + (a % 24) / 24.0 + 0.03});
        p.tank.startNet = 15000;
        std::vector<DataRow> rows;
        SynthesizePhysics(p, [&](const DataRow& r) { rows.push_back(r); });
        FuelEventDetector d(ConfigOf(p.tank));
        std::map<std::pair<int, double>, FuelEvent> byKey;
        const auto t0 = Clk::now();
        const double c0 = Cpu();
        for (const DataRow& r : rows)
            for (const FuelEvent& e : d.Feed({r.tstamp, r.tstamp, r.flevel, r.temp}))
                byKey[{int(e.kind), e.tstart}] = e;
        seconds += Since(t0);
        cpu += Cpu() - c0;
        Found f;
        for (auto& [k, e] : byKey)
            f.events.push_back(e);
        readings += int64_t(p.days * kMinutesPerDay);
        for (const FuelEvent& e : f.events) {
            if (e.kind == FuelEventKind::Loss) {
                ++falseLosses;
                continue;
            }
            for (const PhysicsEvent& d : p.events)
                if (std::abs(e.tstart - d.utcStart) < 0.03) {
                    ++found;
                    within3 += std::abs(e.Amount(true) - d.litres) <= 0.03 * d.litres;
                }
        }
    }
    std::printf("| Tank-years | False losses | Deliveries found | within 3 %% | Readings | Time "
                "(detector alone): wall, processor |\n|---|---|---|---|---|---|\n");
    std::printf("| 14 | %d (%.2f per tank-year) | %d/%d | %d | %lld | %.1f s, %.1f s |\n",
                falseLosses, falseLosses / 14.0, found, deliveries, within3, (long long)readings,
                seconds, cpu);
}

void LeakTable(int months) {
    std::printf("\n## Leak test over 28 days (%d tank-months a cell)\n\n", months);
    std::printf("| Tank | Leak l/h | fail | pass | inconclusive | mean rate | mean σ |\n"
                "|---|---|---|---|---|---|---|\n");
    double testSeconds = 0;
    int tests = 0;
    for (int32_t capacity : {10000, 20000})
        for (double leak : {0.0, 0.38, 0.76, 1.5}) {
            const int n = leak == 0.0 || leak == 0.76 ? months : months / 4;
            int fail = 0, pass = 0, inc = 0;
            double rate = 0, sigma = 0;
            for (int k = 0; k < n; ++k) {
                PhysicsPlan p;
                p.tank.capacity = capacity;
                p.tank.noise = 20;
                p.tank.startNet = 0.6 * capacity;
                p.tank.leakPerHour = leak;
                p.tank.fillsPerHour = 2.0 * capacity / 20000;
                p.utcFrom = kDay0 + k;
                p.days = 28;
                p.seed = 5000 + k * 31 + capacity + int(leak * 100);
                for (int day = 1 + k % 4; day < 28; day += 4)
                    p.events.push_back({p.utcFrom + day + 10.0 / 24, 0.4 * capacity, 300});
                LeakTestInput in;
                in.density = p.tank.density;
                in.now = p.utcFrom + p.days;
                SynthesizePhysics(p, [&](const DataRow& r) {
                    in.readings.push_back({r.tstamp, r.flevel, r.temp});
                });
                for (const PhysicsEvent& e : p.events) {
                    EventRow row;
                    row.kind = "delivery";
                    row.tstart = e.utcStart;
                    row.tend = e.utcStart + (e.Minutes() + 10) / kMinutesPerDay;
                    in.events.push_back(row);
                }
                const auto t0 = Clk::now();
                const LeakTestResult r = LeakTest::Run(in);
                testSeconds += Since(t0);
                ++tests;
                fail += r.verdict == LeakVerdict::Fail;
                pass += r.verdict == LeakVerdict::Pass;
                inc += r.verdict == LeakVerdict::Inconclusive;
                rate += r.rate;
                sigma += r.sigma;
            }
            std::printf("| %d l | %.2f | %.1f %% | %.1f %% | %.1f %% | %.3f | %.3f |\n", capacity,
                        leak, 100.0 * fail / n, 100.0 * pass / n, 100.0 * inc / n, rate / n,
                        sigma / n);
        }
    std::printf("\nOne tank's 28-day test: %.1f ms; a day's tests of 14 tanks: %.0f ms\n",
                1000 * testSeconds / tests, 14 * 1000 * testSeconds / tests);
}

} // namespace

int main(int argc, char** argv) {
    const int trials = argc > 1 ? std::atoi(argv[1]) : 20;
    const int months = argc > 2 ? std::atoi(argv[2]) : 200;
    if (trials > 0) { // 0: the leak test alone
        TheftTable(trials);
        YearTable();
    }
    if (months > 0) // 0: the losses alone
        LeakTable(months);
    return 0;
}
