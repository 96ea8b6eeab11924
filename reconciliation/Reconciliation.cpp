#include "Reconciliation.h"

#include "DayNumbers.h"
#include "NetVolume.h"
#include "TextFormats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace {

constexpr double kHour = 1.0 / 24;

// The row whose [bounds[i], bounds[i + 1]) holds `t`; -1 before the first, n after the last.
long RowOf(const std::vector<double>& bounds, double t) {
    const auto it = std::upper_bound(bounds.begin(), bounds.end(), t);
    return long(it - bounds.begin()) - 1;
}

std::string Litres(double l) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.0f l", l);
    return buf;
}

std::string Percent(double p) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.2f %%", p);
    return buf;
}

// Two times this close are one instant: an event's start is a reading's own time, and a
// time read back from the central server comes rounded to the microsecond.
constexpr double kSameInstant = 0.001 / kSecondsPerDay;

// The gross litres of the last reading at or before `utc`.
std::optional<double> GrossAt(const std::vector<StoredReading>& r, double utc) {
    utc += kSameInstant;
    const auto it = std::upper_bound(r.begin(), r.end(), utc,
                                     [](double t, const StoredReading& s) { return t < s.utc; });
    if (it == r.begin())
        return std::nullopt;
    return double(std::prev(it)->gross);
}

// Litres per day the tank was drawn down in the hour before the drop and the hour after it,
// so the sales that went on while it was filled count as delivered. The gauge saw the rise
// net of them.
double SalesRate(const std::vector<StoredReading>* readings, const EventRow& e) {
    if (!readings || readings->empty() || !e.tend)
        return 0;
    double sum = 0;
    int n = 0;
    const auto before0 = GrossAt(*readings, e.tstart - kHour),
               before1 = GrossAt(*readings, e.tstart);
    if (before0 && before1) {
        sum += std::max(0.0, *before0 - *before1) / kHour;
        ++n;
    }
    const auto after0 = GrossAt(*readings, *e.tend), after1 = GrossAt(*readings, *e.tend + kHour);
    if (after0 && after1 && readings->back().utc >= *e.tend + kHour) {
        sum += std::max(0.0, *after0 - *after1) / kHour;
        ++n;
    }
    return n ? sum / n : 0;
}

// The standard deviation of one row's variance, from the steps between neighbouring rows
// (which a steady bias or theft leaves out): the median step, as a normal spread would give
// it, divided by √2.
constexpr std::size_t kScatterSteps = 4;
double Scatter(std::vector<double> steps) {
    auto mid = steps.begin() + std::ptrdiff_t(steps.size() / 2);
    std::nth_element(steps.begin(), mid, steps.end());
    return *mid / 0.6745 / std::sqrt(2.0);
}

// One direction of the trend rule: its one-sided sum and where its excursion began.
struct TrendSide {
    double sum = 0;
    double from = 0;
    std::size_t fromIndex = 0; // rows with a variance before it
};

bool IsMeasuredDelivery(const EventRow& e) {
    return e.kind == "delivery" && e.tend && e.vbefore && e.vafter;
}

// The litres a drop brought by the gauge and the meters of its row, when the row holds this
// drop and no other, nor another note: closing − opening + dispensed. The pumps' sales in
// the middle of a drop are then counted exactly, not guessed from the level around it.
struct RowBook {
    double start = 0, stop = 0;
    std::optional<double> brought; // none without meter data or gauged levels
    int drops = 0, notes = 0;
};

void FillMatch(DeliveryMatch& m, const ReconInput& in, const std::vector<RowBook>& rows) {
    if (m.measured) {
        const EventRow& e = *m.measured;
        const double rise = double(*e.vafter - *e.vbefore);
        const double local = e.tstart + in.offset;
        const auto row = std::find_if(rows.begin(), rows.end(), [&](const RowBook& r) {
            return r.start <= local && local < r.stop && *e.tend + in.offset < r.stop;
        });
        if (row != rows.end() && row->brought && row->drops == 1 && row->notes <= 1)
            m.measuredGross = *row->brought;
        else
            m.measuredGross = rise + (*e.tend - e.tstart) * SalesRate(in.readings, e);
        if (e.nbefore && e.nafter && rise > 0)
            m.measuredNet = *m.measuredGross * double(*e.nafter - *e.nbefore) / rise;
    }
    if (m.note && m.note->tempC) {
        const std::optional<double> density = m.note->density ? m.note->density : in.density;
        if (density)
            if (const auto vcf = NetVolume::Vcf(*density, *m.note->tempC))
                m.notedNet = m.note->litres * *vcf;
    }
    if (m.note && m.measuredGross && m.note->litres > 0) {
        m.overGross = *m.measuredGross - m.note->litres;
        m.overGrossPct = *m.overGross / m.note->litres * 100;
        if (m.notedNet && m.measuredNet && *m.notedNet > 0) {
            m.overNet = *m.measuredNet - *m.notedNet;
            m.overNetPct = *m.overNet / *m.notedNet * 100;
        }
        // Net litres when both sides have them: a load warmer than the tank shrinks as it
        // cools, which is no shortage.
        const double pct = m.overNetPct ? *m.overNetPct : *m.overGrossPct;
        m.shortFlag = -pct > in.tolerance.shortShare * 100;
    }
}

double MatchTime(const DeliveryMatch& m, double offset) {
    return m.note ? m.note->time : m.measured->tstart + offset;
}

} // namespace

const char* StatusText(ReconStatus s) {
    switch (s) {
    case ReconStatus::NoData:
        return "no meter data";
    case ReconStatus::Pass:
        return "pass";
    case ReconStatus::Investigate:
        return "investigate";
    case ReconStatus::Fail:
        return "fail";
    }
    return "";
}

std::vector<std::optional<double>> DispensedPerRow(const std::vector<MeterEntry>& entries,
                                                   const std::vector<double>& bounds,
                                                   std::vector<std::string>* remarks) {
    const std::size_t n = bounds.size() < 2 ? 0 : bounds.size() - 1;
    std::vector<std::optional<double>> sold(n);
    if (remarks)
        remarks->assign(n, std::string());
    if (n == 0)
        return sold;
    // The last totaliser reading per row; index 0 is the row before the first.
    std::vector<std::optional<double>> totaliser(n + 1);
    const double firstLength = bounds[1] - bounds[0];
    for (const MeterEntry& e : entries) {
        const long i = RowOf(bounds, e.time);
        if (e.totaliser) {
            if (i >= 0 && std::size_t(i) < n)
                totaliser[std::size_t(i) + 1] = e.litres; // entries are in time order
            else if (i < 0 && e.time >= bounds[0] - firstLength)
                totaliser[0] = e.litres;
        } else if (i >= 0 && std::size_t(i) < n) {
            auto& s = sold[std::size_t(i)];
            s = s.value_or(0) + e.litres;
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (!totaliser[i + 1])
            continue;
        if (!totaliser[i]) {
            if (remarks && !sold[i])
                (*remarks)[i] = "no totaliser reading the period before";
            continue;
        }
        const double diff = *totaliser[i + 1] - *totaliser[i];
        if (diff < 0) {
            if (remarks)
                (*remarks)[i] = "the totaliser reading went back";
            sold[i].reset();
            continue;
        }
        sold[i] = sold[i].value_or(0) + diff;
    }
    return sold;
}

std::vector<DeliveryMatch> MatchDeliveries(const ReconInput& in) {
    std::vector<EventRow> measured;
    if (in.events)
        for (const EventRow& e : *in.events)
            if (IsMeasuredDelivery(e))
                measured.push_back(e);
    std::vector<RowBook> rows;
    if (in.balance && !in.balance->empty()) {
        std::vector<double> bounds;
        for (const BalanceRow& b : *in.balance)
            bounds.push_back(b.start);
        bounds.push_back(in.balance->back().stop);
        const auto sold = DispensedPerRow(in.meters, bounds);
        for (std::size_t i = 0; i < in.balance->size(); ++i) {
            const BalanceRow& b = (*in.balance)[i];
            RowBook r{b.start, b.stop, std::nullopt, 0, 0};
            if (sold[i] && b.openGross && b.closeGross)
                r.brought = double(*b.closeGross - *b.openGross) + *sold[i];
            for (const EventRow& e : measured)
                r.drops += b.start <= e.tstart + in.offset && e.tstart + in.offset < b.stop;
            for (const DeliveryNote& n : in.notes)
                r.notes += b.start <= n.time && n.time < b.stop;
            rows.push_back(r);
        }
    }
    const double window = in.tolerance.matchWindowHours * kHour;
    struct Pair {
        double distance;
        std::size_t note, event;
    };
    std::vector<Pair> pairs;
    for (std::size_t i = 0; i < in.notes.size(); ++i)
        for (std::size_t j = 0; j < measured.size(); ++j) {
            const double from = measured[j].tstart + in.offset, to = *measured[j].tend + in.offset;
            const double t = in.notes[i].time;
            const double d = t < from ? from - t : t > to ? t - to : 0;
            if (d <= window)
                pairs.push_back({d, i, j});
        }
    std::stable_sort(pairs.begin(), pairs.end(),
                     [](const Pair& a, const Pair& b) { return a.distance < b.distance; });
    std::vector<bool> noteUsed(in.notes.size()), eventUsed(measured.size());
    std::vector<DeliveryMatch> out;
    for (const Pair& p : pairs) {
        if (noteUsed[p.note] || eventUsed[p.event])
            continue;
        noteUsed[p.note] = eventUsed[p.event] = true;
        DeliveryMatch m;
        m.note = in.notes[p.note];
        m.measured = measured[p.event];
        out.push_back(std::move(m));
    }
    for (std::size_t i = 0; i < in.notes.size(); ++i)
        if (!noteUsed[i]) {
            DeliveryMatch m;
            m.note = in.notes[i];
            out.push_back(std::move(m));
        }
    for (std::size_t j = 0; j < measured.size(); ++j)
        if (!eventUsed[j]) {
            DeliveryMatch m;
            m.measured = measured[j];
            out.push_back(std::move(m));
        }
    for (DeliveryMatch& m : out)
        FillMatch(m, in, rows);
    std::stable_sort(out.begin(), out.end(), [&](const DeliveryMatch& a, const DeliveryMatch& b) {
        return MatchTime(a, in.offset) < MatchTime(b, in.offset);
    });
    return out;
}

TankReconciliation Reconcile(const ReconInput& in) {
    TankReconciliation rec;
    rec.adr = in.adr;
    const ReconTolerance& tol = in.tolerance;
    const std::vector<BalanceRow> none;
    const std::vector<BalanceRow>& balance = in.balance ? *in.balance : none;
    std::vector<double> bounds;
    for (const BalanceRow& b : balance)
        bounds.push_back(b.start);
    if (!balance.empty())
        bounds.push_back(balance.back().stop);

    std::vector<std::string> remarks;
    const auto sold = DispensedPerRow(in.meters, bounds, &remarks);
    rec.rows.resize(balance.size());
    for (std::size_t i = 0; i < balance.size(); ++i) {
        ReconRow& r = rec.rows[i];
        r.start = balance[i].start;
        r.stop = balance[i].stop;
        r.opening = balance[i].openGross;
        r.gaugedClosing = balance[i].closeGross;
        r.deliveredMeasured = balance[i].delivered;
        r.dispensed = sold[i];
        r.remark = remarks[i];
    }
    for (const DeliveryNote& note : in.notes) {
        const long i = RowOf(bounds, note.time);
        if (i >= 0 && std::size_t(i) < rec.rows.size())
            rec.rows[std::size_t(i)].deliveredNoted += note.litres;
    }

    // The rows, the run of rows out of tolerance and the two one-sided sums of the trend.
    double cumulative = 0, shareSum = 0;
    int known = 0, run = 0;
    std::vector<double> steps;
    std::optional<double> previous;
    TrendSide missing, gain;
    // Sums of the variance and of the litres dispensed over the passing rows so far, row by
    // row: the tank's own drift before a side's excursion began.
    std::vector<double> driftVariance{0}, driftDispensed{0};
    for (ReconRow& r : rec.rows) {
        if (!r.dispensed) {
            if (r.remark.empty())
                r.remark = "no meter data";
            continue;
        }
        if (!r.opening || !r.gaugedClosing) {
            r.dispensed.reset();
            r.remark = "no gauge reading";
            continue;
        }
        r.bookClosing = double(*r.opening) + r.deliveredNoted - *r.dispensed;
        r.variance = double(*r.gaugedClosing) - *r.bookClosing;
        if (*r.dispensed > 0)
            r.variancePct = *r.variance / *r.dispensed * 100;
        cumulative += *r.variance;
        r.cumulative = cumulative;
        r.tolerance = std::max(tol.dailyShare * *r.dispensed, tol.dailyFloorLitres);
        const double v = std::abs(*r.variance);
        r.status = v <= r.tolerance       ? ReconStatus::Pass
                   : v <= 2 * r.tolerance ? ReconStatus::Investigate
                                          : ReconStatus::Fail;

        // Rows without meter data neither count nor break a run: nothing is known of them.
        run = r.status == ReconStatus::Pass ? 0 : run + 1;
        if (run == tol.runDays)
            rec.alarms.push_back({ReconAlarmKind::VarianceRun, in.adr, r.stop,
                                  "Variance out of tolerance " + std::to_string(run) +
                                      " periods in a row, last " + Litres(*r.variance)});

        // The trend's slack and limit follow the throughput, but never go below what the
        // gauge and meters scatter from one row to the next on their own, or every quiet
        // shift would look like a trend.
        const double share = tol.dailyShare * *r.dispensed;
        ++known;
        shareSum += share;
        if (previous)
            steps.push_back(std::abs(*r.variance - *previous));
        previous = *r.variance;
        // Until a few steps are known, the floor is taken as two standard deviations.
        // Never below a quarter of it: figures copied from the gauge itself scatter by nothing.
        const double scatter = steps.size() < kScatterSteps
                                   ? tol.dailyFloorLitres / 2
                                   : std::max(Scatter(steps), tol.dailyFloorLitres / 4);
        const double limit =
            std::max(tol.trendLimit * shareSum / known, tol.scatterLimit * scatter);
        const double k = std::max(tol.trendSlack * share, tol.scatterSlack * scatter);

        // A change of trend is measured against the tank's own drift before it: meters that
        // count a little over or under make the cumulative variance slope by themselves,
        // and that slope is no loss, nor does it hide one. The drift is learnt from passing
        // rows only (a short load is no calibration), over no less throughput than makes
        // the rows' scatter small beside the slack (less is taken towards none), and never
        // beyond what meters within tolerance can make.
        const double driftLitres = tol.scatterLimit * scatter / (tol.trendSlack * tol.dailyShare);
        const auto drift = [&](const TrendSide& side) {
            const std::size_t from = side.fromIndex;
            const double d = driftVariance[from] / std::max(driftDispensed[from], driftLitres);
            return std::clamp(d, -tol.driftShare, tol.driftShare);
        };
        const std::size_t index = driftVariance.size() - 1;
        for (TrendSide* side : {&missing, &gain})
            if (side->sum == 0) {
                side->from = r.start;
                side->fromIndex = index;
            }
        missing.sum =
            std::max(0.0, missing.sum - (*r.variance - drift(missing) * *r.dispensed) - k);
        gain.sum = std::max(0.0, gain.sum + (*r.variance - drift(gain) * *r.dispensed) - k);
        const bool passing = r.status == ReconStatus::Pass;
        driftVariance.push_back(driftVariance.back() + (passing ? *r.variance : 0));
        driftDispensed.push_back(driftDispensed.back() + (passing ? *r.dispensed : 0));
        if (missing.sum > limit || gain.sum > limit) {
            const bool isMissing = missing.sum > limit;
            TrendSide& side = isMissing ? missing : gain;
            rec.alarms.push_back({ReconAlarmKind::Trend, in.adr, r.stop,
                                  std::string(isMissing ? "Fuel missing" : "Fuel gained") +
                                      ": the cumulative variance changed its trend from " +
                                      TextFormats::ShortDate(std::floor(side.from)) + ", now " +
                                      Litres(cumulative)});
            side.sum = 0;
        }
    }

    rec.matches = MatchDeliveries(in);
    for (const DeliveryMatch& m : rec.matches)
        if (m.shortFlag)
            rec.alarms.push_back(
                {ReconAlarmKind::ShortDelivery, in.adr, m.note->time,
                 "Delivery" + (m.note->number.empty() ? std::string() : " " + m.note->number) +
                     " short by " + Litres(-*m.overGross) + " (" +
                     Percent(m.overNetPct ? *m.overNetPct : *m.overGrossPct) + ")"});
    std::stable_sort(rec.alarms.begin(), rec.alarms.end(),
                     [](const ReconAlarm& a, const ReconAlarm& b) { return a.time < b.time; });

    // The month's check, by the calendar month each row starts in.
    std::map<std::pair<int, int>, MonthCheck> months;
    for (const ReconRow& r : rec.rows) {
        const auto p = TextFormats::Split(r.start);
        MonthCheck& m = months[{p.year, p.month}];
        m.year = p.year;
        m.month = p.month;
        ++m.rows;
        if (!r.variance) {
            ++m.rowsWithoutData;
            continue;
        }
        m.throughput += *r.dispensed;
        m.variance += *r.variance;
    }
    for (auto& [key, m] : months) {
        m.limit = tol.monthlyShare * m.throughput + tol.monthlyLitres;
        // A month without any row of meter data cannot pass.
        m.pass = m.rowsWithoutData < m.rows && std::abs(m.variance) <= m.limit;
        rec.months.push_back(m);
    }
    return rec;
}
