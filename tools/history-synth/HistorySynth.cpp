#include "HistorySynth.h"

#include "BoundSql.h"
#include "DayNumbers.h"
#include "NetVolume.h"
#include "SQLiteDatabase.h"
#include "Transaction.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <random>

namespace {

constexpr double kSecond = 1.0 / kSecondsPerDay;

// Net litres an event has moved by `utc`.
double Moved(const SynthEvent& e, double utc) {
    double minutes = (utc - e.utcStart) * kMinutesPerDay;
    if (minutes <= 0)
        return 0;
    if (e.pauseAfter >= 0 && minutes > e.pauseAfter)
        minutes = std::max(e.pauseAfter, minutes - e.pauseMinutes);
    return e.litres * std::min(1.0, minutes / e.minutes);
}

bool InGap(const std::vector<SynthGap>& gaps, int adr, double utc) {
    for (const SynthGap& g : gaps)
        if ((g.adr == 0 || g.adr == adr) && utc >= g.utcFrom && utc < g.utcTo)
            return true;
    return false;
}

} // namespace

void SynthesizeHistory(const SynthPlan& plan, const std::function<void(const DataRow&)>& row) {
    std::mt19937 rng(plan.seed);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const int64_t cycles = static_cast<int64_t>(plan.days * kSecondsPerDay / plan.cycleSeconds);
    int64_t rowid = 0;
    for (int64_t c = 0; c < cycles; ++c) {
        for (std::size_t i = 0; i < plan.tanks.size(); ++i) {
            const SynthTank& t = plan.tanks[i];
            // The tanks answer one after the other, a second apart.
            const double utc = plan.utcFrom + (c * plan.cycleSeconds + double(i)) * kSecond;
            const double noise = t.noise * unit(rng);
            if (InGap(plan.gaps, t.adr, utc))
                continue;
            double net = t.startNet - t.usePerHour * (utc - plan.utcFrom) * 24.0;
            for (const SynthEvent& e : plan.events)
                if (e.adr == t.adr)
                    net += Moved(e, utc);
            const double hour = (utc + plan.localOffset - std::floor(utc + plan.localOffset)) * 24;
            const double temp =
                t.tempMean + t.tempSwing * std::cos((hour - 17.0) / 24.0 * 2 * M_PI);
            const double vcf = NetVolume::Vcf(t.density, temp).value_or(1.0);
            const double gross = std::clamp(net / vcf + noise, 0.0, double(t.capacity));
            DataRow r;
            r.rowid = ++rowid;
            r.tstamp = utc;
            r.adr = t.adr;
            r.flevel = static_cast<int32_t>(std::lround(gross));
            r.temp = static_cast<int32_t>(std::lround(temp));
            row(r);
        }
    }
}

void WriteHistory(TSQLiteDatabase& db, const SynthPlan& plan) {
    constexpr int kPerTransaction = 100000;
    int inTransaction = 0;
    std::map<int, int32_t> capacity;
    for (const SynthTank& t : plan.tanks)
        capacity[t.adr] = std::max<int32_t>(1, t.capacity);
    auto t = std::make_unique<WriteTransaction>(db);
    SynthesizeHistory(plan, [&](const DataRow& r) {
        const int64_t code = int64_t(r.flevel) * 4095 / capacity[r.adr];
        Exec(db, "INSERT INTO DATA (tstamp, adr, flevel, fcode, temp) VALUES (?, ?, ?, ?, ?)",
             {r.tstamp, int64_t(r.adr), int64_t(r.flevel), code, int64_t(r.temp)});
        if (++inTransaction == kPerTransaction) {
            t->Commit();
            t = std::make_unique<WriteTransaction>(db);
            inTransaction = 0;
        }
    });
    t->Commit();
}
