#include "Balance.h"

#include "DayNumbers.h"
#include "NetVolume.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace {

// The median of the readings within half kBoundaryWindowDays either side of `utc` (the
// level at the boundary also while it moves steadily), else `nearest` alone.
StoredReading RobustLevel(const std::vector<StoredReading>& r, double utc,
                          const StoredReading& nearest) {
    auto first = std::lower_bound(r.begin(), r.end(), utc - kBoundaryWindowDays / 2,
                                  [](const StoredReading& s, double t) { return s.utc < t; });
    auto last = std::upper_bound(r.begin(), r.end(), utc + kBoundaryWindowDays / 2,
                                 [](double t, const StoredReading& s) { return t < s.utc; });
    if (last - first < 3)
        return nearest;
    std::vector<int32_t> gross, temp;
    for (auto it = first; it != last; ++it) {
        gross.push_back(it->gross);
        temp.push_back(it->temp);
    }
    std::nth_element(gross.begin(), gross.begin() + gross.size() / 2, gross.end());
    std::nth_element(temp.begin(), temp.begin() + temp.size() / 2, temp.end());
    StoredReading s = nearest;
    s.gross = gross[gross.size() / 2];
    s.temp = temp[temp.size() / 2];
    return s;
}

// An open delivery or loss counts as far as it has gone: up to the level of the last
// readings, when they have moved the way it goes.
EventRow AsFarAsGone(const EventRow& e, const std::vector<StoredReading>& r,
                     std::optional<double> density) {
    if (e.tend || !e.vbefore || r.empty() || (e.kind != "delivery" && e.kind != "loss"))
        return e;
    const StoredReading now = RobustLevel(r, r.back().utc, r.back());
    if (now.utc <= e.tstart)
        return e;
    const bool delivery = e.kind == "delivery";
    if (delivery ? now.gross <= *e.vbefore : now.gross >= *e.vbefore)
        return e;
    EventRow o = e;
    o.tend = now.utc;
    o.vafter = now.gross;
    o.tafter = now.temp;
    if (auto v = NetVolume::NetLitres(now.gross, now.temp, density))
        o.nafter = *v;
    return o;
}

bool IsFlow(const EventRow& e) {
    return (e.kind == "delivery" || e.kind == "loss") && e.tend && e.vbefore && e.vafter &&
           *e.vafter != *e.vbefore;
}

void AddOpt(std::optional<double>& sum, std::optional<double> v) {
    if (sum && v)
        *sum += *v;
    else
        sum.reset();
}

} // namespace

std::vector<double> BalanceBoundaries(double firstDay, double lastDay,
                                      const std::vector<int>& shiftStarts) {
    std::vector<int> starts = shiftStarts;
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    starts.erase(std::remove_if(starts.begin(), starts.end(),
                                [](int m) { return m < 0 || m >= kMinutesPerDay; }),
                 starts.end());
    if (starts.empty())
        starts.push_back(0);
    std::vector<double> bounds;
    const double first = std::floor(firstDay), last = std::floor(lastDay);
    for (double day = first; day <= last; ++day)
        for (int m : starts)
            bounds.push_back(day + double(m) / kMinutesPerDay);
    bounds.push_back(last + 1 + double(starts.front()) / kMinutesPerDay);
    return bounds;
}

std::vector<BalanceRow> DailyBalance(const BalanceInput& in, const std::vector<double>& bounds) {
    std::vector<BalanceRow> rows;
    if (bounds.size() < 2)
        return rows;
    static const std::vector<StoredReading> kNoReadings;
    static const std::vector<EventRow> kNoEvents;
    const auto& r = in.readings ? *in.readings : kNoReadings;
    const auto& events = in.events ? *in.events : kNoEvents;
    const std::size_t n = bounds.size();
    const double nowUtc = in.nowLocal - in.offset;

    // The level at each boundary, the readings of each row and the time they leave uncovered.
    std::vector<const StoredReading*> at(n, nullptr);
    rows.resize(n - 1);
    std::size_t j = 0;
    const StoredReading* last = nullptr;
    for (std::size_t i = 0; i < n; ++i) {
        const double b = bounds[i] - in.offset;
        if (i > 0) {
            BalanceRow& row = rows[i - 1];
            const double from = bounds[i - 1] - in.offset;
            const double end = std::min(b, nowUtc);
            double prev = from, missing = 0;
            for (; j < r.size() && r[j].utc < b; ++j) {
                if (r[j].utc >= from) {
                    ++row.readings;
                    if (r[j].utc <= end)
                        missing += std::max(0.0, r[j].utc - prev - kReadingGapDays);
                    prev = std::max(prev, r[j].utc);
                }
                last = &r[j];
            }
            if (end > from) {
                missing += std::max(0.0, end - std::min(prev, end) - kReadingGapDays);
                // the allowance for one gap is no coverage where nothing was read
                row.completeness =
                    row.readings ? std::clamp(1 - missing / (end - from), 0.0, 1.0) : 0.0;
            }
        } else {
            for (; j < r.size() && r[j].utc < b; ++j)
                last = &r[j];
        }
        at[i] = j < r.size() && r[j].utc == b ? &r[j] : last;
    }
    // The level at each boundary: the median of the readings around it, so that a spike
    // just before midnight is not the day's closing.
    std::vector<StoredReading> robust(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (!at[i])
            continue;
        robust[i] = RobustLevel(r, bounds[i] - in.offset, *at[i]);
        at[i] = &robust[i];
    }

    auto gross = [&](std::size_t i) -> std::optional<int64_t> {
        if (!at[i])
            return std::nullopt;
        return at[i]->gross;
    };
    auto net = [&](std::size_t i) -> std::optional<int64_t> {
        if (!at[i])
            return std::nullopt;
        auto v = NetVolume::NetLitres(at[i]->gross, at[i]->temp, in.density);
        return v ? std::optional<int64_t>(*v) : std::nullopt;
    };

    // A tank whose history begins inside a row opens that row with its first reading, so
    // the part of the row that was read has its consumption (its completeness tells how
    // much of the row that is).
    std::size_t k = 0;
    for (std::size_t i = 0; i + 1 < n; ++i) {
        BalanceRow& row = rows[i];
        row.start = bounds[i];
        row.stop = bounds[i + 1];
        const StoredReading* opening = at[i];
        if (!opening) {
            const double from = bounds[i] - in.offset, to = bounds[i + 1] - in.offset;
            while (k < r.size() && r[k].utc < from)
                ++k;
            if (k < r.size() && r[k].utc < to)
                opening = &r[k];
        }
        if (opening) {
            row.openGross = opening->gross;
            auto v = NetVolume::NetLitres(opening->gross, opening->temp, in.density);
            if (v)
                row.openNet = *v;
        }
        row.closeGross = gross(i + 1);
        row.closeNet = net(i + 1);
        if (in.density) {
            row.deliveredNet = 0;
            row.lostNet = 0;
        }
    }

    // Each delivery or loss shared out over the rows it touches by the share of its amount
    // the tank showed at each boundary.
    for (const EventRow& stored : events) {
        const EventRow e = AsFarAsGone(stored, r, in.density);
        if (!IsFlow(e))
            continue;
        const double span = double(*e.vafter - *e.vbefore);
        const double amount = std::abs(span);
        std::optional<double> netAmount;
        if (e.nbefore && e.nafter)
            netAmount = std::abs(double(*e.nafter - *e.nbefore));
        const bool delivery = e.kind == "delivery";
        double prevShare = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const double b = bounds[i] - in.offset;
            double share;
            if (b <= e.tstart)
                share = 0;
            else if (b >= *e.tend)
                share = 1;
            else
                share = at[i] ? std::clamp((at[i]->gross - *e.vbefore) / span, 0.0, 1.0) : 0;
            share = std::max(share, prevShare);
            if (i > 0 && share > prevShare) {
                BalanceRow& row = rows[i - 1];
                const double part = share - prevShare;
                (delivery ? row.delivered : row.lost) += part * amount;
                auto& netSum = delivery ? row.deliveredNet : row.lostNet;
                if (netSum)
                    *netSum += part * (netAmount ? *netAmount : amount);
            }
            prevShare = share;
        }
    }

    for (BalanceRow& row : rows) {
        if (row.openGross && row.closeGross)
            row.consumed = double(*row.openGross - *row.closeGross) + row.delivered - row.lost;
        if (row.openNet && row.closeNet && row.deliveredNet && row.lostNet)
            row.consumedNet =
                double(*row.openNet - *row.closeNet) + *row.deliveredNet - *row.lostNet;
        row.complete = row.stop <= in.nowLocal && row.openGross && row.closeGross &&
                       row.completeness >= kCompleteShare;
    }
    return rows;
}

BalanceRow SumBalance(const std::vector<BalanceRow>& rows) {
    BalanceRow sum;
    if (rows.empty())
        return sum;
    sum.start = rows.front().start;
    sum.stop = rows.back().stop;
    // Rows before the tank's first reading hold nothing: the sum starts where it does.
    std::size_t first = 0;
    while (first + 1 < rows.size() && rows[first].readings == 0 && !rows[first].openGross &&
           rows[first].delivered == 0 && rows[first].lost == 0)
        ++first;
    sum.openGross = rows[first].openGross;
    sum.openNet = rows[first].openNet;
    sum.closeGross = rows.back().closeGross;
    sum.closeNet = rows.back().closeNet;
    sum.deliveredNet = 0;
    sum.lostNet = 0;
    sum.consumed = 0;
    sum.consumedNet = 0;
    sum.complete = true;
    double covered = 0, length = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const BalanceRow& row = rows[i];
        sum.delivered += row.delivered;
        sum.lost += row.lost;
        AddOpt(sum.deliveredNet, row.deliveredNet);
        AddOpt(sum.lostNet, row.lostNet);
        if (i >= first) {
            AddOpt(sum.consumed, row.consumed);
            AddOpt(sum.consumedNet, row.consumedNet);
        }
        sum.readings += row.readings;
        covered += row.completeness * (row.stop - row.start);
        length += row.stop - row.start;
        sum.complete = sum.complete && row.complete;
    }
    sum.completeness = length > 0 ? covered / length : 0;
    return sum;
}

std::vector<std::optional<double>> MeanConsumption(const std::vector<BalanceRow>& rows, int days,
                                                   bool net) {
    std::vector<std::optional<double>> means(rows.size());
    // Each mean takes the newest complete rows, newest first, until they cover `days`. The
    // complete rows are kept in a list whose front is dropped once the rows after it cover
    // the days alone, so rows without a reading (days after today) cost nothing, and the
    // sums run in the same order as ever, giving the same numbers.
    std::vector<std::size_t> complete;
    std::size_t first = 0;
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const auto& ck = net ? rows[k].consumedNet : rows[k].consumed;
        if (rows[k].complete && ck) {
            complete.push_back(k);
            for (;;) {
                double after = 0;
                for (std::size_t i = complete.size(); i-- > first + 1;)
                    after += rows[complete[i]].stop - rows[complete[i]].start;
                if (first + 1 >= complete.size() || after < days - 1e-9)
                    break;
                ++first;
            }
        }
        double used = 0, length = 0;
        for (std::size_t i = complete.size(); i-- > first && length < days - 1e-9;) {
            const BalanceRow& row = rows[complete[i]];
            used += *(net ? row.consumedNet : row.consumed);
            length += row.stop - row.start;
        }
        if (length >= 3 - 1e-9)
            means[k] = used / length;
    }
    return means;
}

std::optional<DaysToEmpty> EstimateDaysToEmpty(const std::vector<BalanceRow>& rows,
                                               double volumeNow, double low, double nowLocal,
                                               bool net) {
    if (rows.empty())
        return std::nullopt;
    const auto mean = MeanConsumption(rows, 14, net).back();
    if (!mean || !std::isfinite(*mean) || *mean <= 0 || !std::isfinite(volumeNow))
        return std::nullopt;
    const double days = std::max(0.0, volumeNow - std::max(0.0, low)) / *mean;
    if (!std::isfinite(days) || days > 3653)
        return std::nullopt;
    return DaysToEmpty{days, nowLocal + days};
}

std::vector<FuelTotal> TotalsByFuel(const std::vector<TankBalance>& tanks) {
    std::map<std::string, FuelTotal> byType;
    for (const TankBalance& t : tanks) {
        auto [it, fresh] = byType.try_emplace(t.fuelType);
        FuelTotal& f = it->second;
        const BalanceRow& b = t.total;
        if (fresh) {
            f.fuelType = t.fuelType;
            f.total = b;
            f.total.completeness = b.completeness;
        } else {
            auto add = [](std::optional<int64_t>& s, std::optional<int64_t> v) {
                if (s && v)
                    *s += *v;
                else
                    s.reset();
            };
            add(f.total.openGross, b.openGross);
            add(f.total.closeGross, b.closeGross);
            add(f.total.openNet, b.openNet);
            add(f.total.closeNet, b.closeNet);
            f.total.delivered += b.delivered;
            f.total.lost += b.lost;
            AddOpt(f.total.deliveredNet, b.deliveredNet);
            AddOpt(f.total.lostNet, b.lostNet);
            AddOpt(f.total.consumed, b.consumed);
            AddOpt(f.total.consumedNet, b.consumedNet);
            f.total.readings += b.readings;
            f.total.completeness =
                (f.total.completeness * f.tanks + b.completeness) / (f.tanks + 1);
            f.total.complete = f.total.complete && b.complete;
        }
        ++f.tanks;
    }
    std::vector<FuelTotal> out;
    for (auto& [type, total] : byType)
        out.push_back(std::move(total));
    return out;
}
