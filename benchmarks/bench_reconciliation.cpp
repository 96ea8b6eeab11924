// Book against gauge over made-up months of a busy tank (about 60 000 l a month, meters
// within ±0.1 %): how many days a steady day-time theft of 0.5 % of sales takes to show as a
// change of trend, whether a load delivered 1 % short is flagged, how often an honest month
// raises anything; and the time to reconcile a year of 14 tanks.
//
//   bench_reconciliation [months]   (default 300 simulated months per case)

#include "ForecourtSim.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Tally {
    int months = 0, alarmed = 0, trend = 0, run = 0, shortFlag = 0, monthFail = 0;
    int detected = 0;
    std::vector<double> delays;
};

void Count(Tally& t, const TankReconciliation& rec, const ForecourtMonth& m) {
    ++t.months;
    bool any = !rec.alarms.empty(), trend = false, run = false, shortFlag = false;
    double firstTrend = -1;
    for (const ReconAlarm& a : rec.alarms) {
        if (a.kind == ReconAlarmKind::Trend && a.text.rfind("Fuel missing", 0) == 0) {
            if (!trend)
                firstTrend = a.time;
            trend = true;
        }
        if (a.kind == ReconAlarmKind::Trend)
            any = true;
        run = run || a.kind == ReconAlarmKind::VarianceRun;
    }
    for (const DeliveryMatch& d : rec.matches)
        shortFlag = shortFlag || d.shortFlag;
    bool monthFail = false;
    for (const MonthCheck& c : rec.months)
        monthFail = monthFail || !c.pass;
    t.alarmed += any;
    t.trend += trend;
    t.run += run;
    t.shortFlag += shortFlag;
    t.monthFail += monthFail;
    if (m.theftStart > 0 && trend && firstTrend >= m.theftStart) {
        ++t.detected;
        t.delays.push_back(firstTrend - m.theftStart);
    }
}

double Quantile(std::vector<double> v, double q) {
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(q * double(v.size())))];
}

} // namespace

int main(int argc, char** argv) {
    const int months = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
    // The worst meters allowed: counting 0.1 % short makes an honest tank look as if it were
    // losing; counting 0.1 % over hides a fifth of the theft.
    Tally honest, theft, shortLoad, shifts, honestLow, theftHigh, noisy, noisyTheft;
    int shortFound = 0, shortLoads = 0;
    double throughput = 0;
    for (int i = 0; i < months; ++i) {
        ForecourtScenario sc;
        sc.seed = 1000 + unsigned(i);
        const ForecourtMonth h = SimulateForecourt(sc);
        const TankReconciliation rh = Reconcile(ForecourtInput(h));
        Count(honest, rh, h);
        for (const MeterEntry& e : h.meters)
            throughput += e.litres;

        sc.theftShare = 0.005;
        const ForecourtMonth th = SimulateForecourt(sc);
        Count(theft, Reconcile(ForecourtInput(th)), th);

        ForecourtScenario ss = sc;
        ss.theftShare = 0;
        ss.shortShare = 0.01;
        const ForecourtMonth sh = SimulateForecourt(ss);
        const TankReconciliation rs = Reconcile(ForecourtInput(sh));
        Count(shortLoad, rs, sh);
        if (!sh.shortNote.empty()) {
            ++shortLoads;
            for (const DeliveryMatch& d : rs.matches)
                if (d.note && d.note->number == sh.shortNote && d.shortFlag)
                    ++shortFound;
        }

        ForecourtScenario sl;
        sl.seed = sc.seed;
        sl.meterBias = -0.001;
        const ForecourtMonth l = SimulateForecourt(sl);
        Count(honestLow, Reconcile(ForecourtInput(l)), l);
        sl.meterBias = 0.001;
        sl.theftShare = 0.005;
        const ForecourtMonth th2 = SimulateForecourt(sl);
        Count(theftHigh, Reconcile(ForecourtInput(th2)), th2);

        // A gauge three times as noisy (12 l a reading).
        ForecourtScenario sn;
        sn.seed = sc.seed;
        sn.gaugeNoise = 12;
        const ForecourtMonth n = SimulateForecourt(sn);
        Count(noisy, Reconcile(ForecourtInput(n)), n);
        sn.theftShare = 0.005;
        const ForecourtMonth nt = SimulateForecourt(sn);
        Count(noisyTheft, Reconcile(ForecourtInput(nt)), nt);

        ForecourtScenario sf;
        sf.seed = sc.seed;
        sf.shiftStarts = {6 * 60, 14 * 60, 22 * 60};
        const ForecourtMonth f = SimulateForecourt(sf);
        Count(shifts, Reconcile(ForecourtInput(f)), f);
    }
    std::printf("%d simulated months per case, mean meter throughput %.0f l a month\n\n", months,
                throughput / months);
    std::printf("%-34s %8s %8s %8s %8s %8s\n", "case", "any", "trend", "3 in row", "short",
                "month");
    auto line = [&](const char* name, const Tally& t) {
        auto pct = [&](int n) { return 100.0 * n / std::max(1, t.months); };
        std::printf("%-34s %7.1f%% %7.1f%% %7.1f%% %7.1f%% %7.1f%%\n", name, pct(t.alarmed),
                    pct(t.trend), pct(t.run), pct(t.shortFlag), pct(t.monthFail));
    };
    line("honest month, per day", honest);
    line("honest month, three shifts", shifts);
    line("honest month, meters 0.1 % low", honestLow);
    line("0.5 % day-time theft from day 10", theft);
    line("the same, meters 0.1 % high", theftHigh);
    line("one load 1 % short", shortLoad);
    line("honest month, gauge noise 12 l", noisy);
    line("theft, gauge noise 12 l", noisyTheft);
    std::printf("\ntheft shown as a trend change: %d of %d months; days after it began: "
                "median %.1f, 90th percentile %.1f, worst %.1f\n",
                theft.detected, theft.months, Quantile(theft.delays, 0.5),
                Quantile(theft.delays, 0.9), Quantile(theft.delays, 1.0));
    std::printf("the same with meters 0.1 %% high: %d of %d months; median %.1f, 90th percentile "
                "%.1f, worst %.1f\n",
                theftHigh.detected, theftHigh.months, Quantile(theftHigh.delays, 0.5),
                Quantile(theftHigh.delays, 0.9), Quantile(theftHigh.delays, 1.0));
    std::printf("the same with a noisy gauge: %d of %d months; median %.1f, 90th percentile "
                "%.1f, worst %.1f\n",
                noisyTheft.detected, noisyTheft.months, Quantile(noisyTheft.delays, 0.5),
                Quantile(noisyTheft.delays, 0.9), Quantile(noisyTheft.delays, 1.0));
    std::printf("load 1 %% short flagged: %d of %d\n", shortFound, shortLoads);

    // A year of 14 tanks, reconciled from values in memory (the queries are the balance's).
    ForecourtScenario year;
    year.days = 365;
    std::vector<ForecourtMonth> tanks;
    for (int adr = 1; adr <= 14; ++adr) {
        year.seed = unsigned(adr);
        tanks.push_back(SimulateForecourt(year, adr));
    }
    const auto t0 = std::chrono::steady_clock::now();
    std::size_t rows = 0;
    for (int adr = 1; adr <= 14; ++adr)
        rows += Reconcile(ForecourtInput(tanks[std::size_t(adr - 1)], adr)).rows.size();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    std::printf("\na year of 14 tanks (%zu rows): reconciled in %.1f ms\n", rows, ms);
    return 0;
}
