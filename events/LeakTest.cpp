#include "LeakTest.h"

#include "DayNumbers.h"
#include "IdleHours.h"
#include "NetVolume.h"
#include "WholeDegrees.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMinute = 1.0 / kMinutesPerDay;
constexpr int kBlock = 15; // readings a block mean is taken over

struct Point {
    double minutes = 0; // since the window's start
    double litres = 0;
};

// Net litres of each reading at the temperature between the whole degrees.
std::vector<Point> NetSeries(const LeakTestInput& in, double from,
                             std::vector<std::size_t>& index) {
    std::vector<Point> out;
    const auto& r = in.readings;
    std::vector<double> utc;
    std::vector<int> whole;
    for (std::size_t i = 0; i < r.size(); ++i)
        if (r[i].utc >= from && r[i].utc <= in.now) {
            utc.push_back(r[i].utc);
            whole.push_back(r[i].temp);
            index.push_back(i);
        }
    const std::vector<double> temps = WholeDegreeTemps(utc, whole);
    for (std::size_t j = 0; j < utc.size(); ++j) {
        const double vcf = in.density ? NetVolume::Vcf(*in.density, temps[j]).value_or(1.0) : 1.0;
        out.push_back({(utc[j] - from) / kMinute, r[index[j]].gross * vcf});
    }
    return out;
}

bool Excluded(const LeakTestInput& in, double utc) {
    for (const EventRow& e : in.events) {
        const bool delivery = e.kind == "delivery";
        if (!delivery && e.kind != "loss")
            continue;
        const double end =
            e.tend.value_or(in.now) + (delivery ? LeakTest::kSettleHours / 24.0 : 30 * kMinute);
        if (utc >= e.tstart - 10 * kMinute && utc <= end)
            return true;
    }
    return false;
}

struct Block {
    std::size_t first, last; // into the net series
    double mean;
    bool usable;
};

// Which blocks lie wholly in the tank's idle hours. Each whole local hour of usable blocks
// (half an hour of them at least, no delivery or loss) teaches the hour of the week whether
// the tank was drawn from: a step between its block means one or two apart, or a fall from
// its first to its last block beyond the step limit.
std::vector<bool> IdleBlocks(const LeakTestInput& in, const std::vector<Point>& p,
                             const std::vector<Block>& blocks, double from, double stepLimit) {
    auto local = [&](std::size_t k) { return from + p[k].minutes * kMinute + in.offset; };
    auto hourOf = [](double t) { return std::floor(t * 24.0 + 1e-7); };
    IdleHours hours;
    for (std::size_t b = 0; b < blocks.size();) {
        const double hour = hourOf(local(blocks[b].first));
        std::size_t e = b;
        bool whole = true;
        std::vector<double> means;
        for (; e < blocks.size() && hourOf(local(blocks[e].first)) == hour; ++e) {
            if (hourOf(local(blocks[e].last)) != hour)
                continue; // reaches into the next hour
            whole = whole && blocks[e].usable;
            means.push_back(blocks[e].mean);
        }
        b = std::max(e, b + 1);
        if (!whole || means.size() < 2)
            continue;
        bool drawn = std::abs(means.front() - means.back()) > stepLimit;
        for (std::size_t i = 1; i < means.size(); ++i)
            drawn = drawn || std::abs(means[i] - means[i - 1]) > stepLimit ||
                    (i >= 2 && std::abs(means[i] - means[i - 2]) > stepLimit);
        hours.Learn(hour / 24.0, means.front() - means.back(), drawn);
    }
    auto idleAt = [&](std::size_t k) {
        const double t = local(k);
        return InQuietHours(in.quietFrom, in.quietTo, t) || hours.Idle(t);
    };
    std::vector<bool> idle(blocks.size());
    for (std::size_t b = 0; b < blocks.size(); ++b)
        idle[b] = idleAt(blocks[b].first) && idleAt(blocks[b].last);
    return idle;
}

} // namespace

const char* LeakTest::VerdictText(LeakVerdict v) {
    switch (v) {
    case LeakVerdict::Pass:
        return "pass";
    case LeakVerdict::Fail:
        return "fail";
    case LeakVerdict::Inconclusive:
        return "inconclusive";
    }
    return "";
}

LeakTestResult LeakTest::Run(const LeakTestInput& in) {
    LeakTestResult res;
    res.threshold = in.detectRate / 2;
    const double from = in.now - kWindowDays;
    std::vector<std::size_t> index;
    const std::vector<Point> p = NetSeries(in, from, index);

    // Noise of one reading from neighbouring differences (median, so draws do not count).
    std::vector<double> diffs;
    for (std::size_t i = 1; i < p.size(); ++i)
        if (p[i].minutes - p[i - 1].minutes <= 5)
            diffs.push_back(std::abs(p[i].litres - p[i - 1].litres));
    if (diffs.size() < 100)
        return res;
    std::nth_element(diffs.begin(), diffs.begin() + diffs.size() / 2, diffs.end());
    const double sigma = std::max(0.5, diffs[diffs.size() / 2] / 0.954); // median |N(0, 2σ²)|
    const double stepLimit = 4.5 * sigma * std::sqrt(2.0 / kBlock) + 1;

    // Blocks of kBlock readings, then runs of idle blocks without a gap, event or step.
    std::vector<Block> blocks;
    for (std::size_t i = 0; i + kBlock <= p.size();) {
        std::size_t j = i + 1;
        bool ok = !Excluded(in, in.readings[index[i]].utc);
        while (j < i + kBlock && p[j].minutes - p[j - 1].minutes <= 5) {
            ok = ok && !Excluded(in, in.readings[index[j]].utc);
            ++j;
        }
        if (j < i + kBlock) {
            i = j; // a gap inside: start after it
            blocks.push_back({i, i, 0, false});
            continue;
        }
        std::vector<double> v;
        for (std::size_t k = i; k < j; ++k)
            v.push_back(p[k].litres);
        std::nth_element(v.begin(), v.begin() + kBlock / 2, v.end());
        const double med = v[kBlock / 2];
        double sum = 0;
        int n = 0;
        for (std::size_t k = i; k < j; ++k)
            if (std::abs(p[k].litres - med) <= 4 * sigma) {
                sum += p[k].litres;
                ++n;
            }
        blocks.push_back({i, j - 1, n ? sum / n : med, ok && n >= kBlock / 2});
        i = j;
    }

    const std::vector<bool> idle = IdleBlocks(in, p, blocks, from, stepLimit);

    // Pooled regression: per period, sums about its own means.
    double sxy = 0, sxx = 0, syy = 0;
    int n = 0, periods = 0;
    std::vector<std::pair<double, double>> own; // (slope, weight) of each period
    double first = 0, last = 0;
    auto addPeriod = [&](std::size_t b0, std::size_t b1) {
        const double minutes = p[blocks[b1].last].minutes - p[blocks[b0].first].minutes;
        if (minutes < kMinPeriodMin)
            return;
        double mx = 0, my = 0;
        int m = 0;
        std::vector<const Point*> pts;
        for (std::size_t b = b0; b <= b1; ++b)
            for (std::size_t k = blocks[b].first; k <= blocks[b].last; ++k)
                if (std::abs(p[k].litres - blocks[b].mean) <= 4 * sigma) {
                    pts.push_back(&p[k]);
                    mx += p[k].minutes;
                    my += p[k].litres;
                    ++m;
                }
        if (m < 3)
            return;
        mx /= m;
        my /= m;
        double pxy = 0, pxx = 0, pyy = 0;
        for (const Point* q : pts) {
            pxy += (q->minutes - mx) * (q->litres - my);
            pxx += (q->minutes - mx) * (q->minutes - mx);
            pyy += (q->litres - my) * (q->litres - my);
        }
        sxy += pxy;
        sxx += pxx;
        syy += pyy;
        n += m;
        ++periods;
        own.emplace_back(pxy / pxx, pxx);
        if (periods == 1)
            first = pts.front()->minutes;
        last = pts.back()->minutes;
        res.hours += minutes / 60;
    };
    // A draw shows as a step between a block and the one or two before it; a period ends
    // before the blocks that may hold it.
    std::size_t start = SIZE_MAX;
    auto close = [&](std::size_t lastGood) {
        if (start != SIZE_MAX && lastGood != SIZE_MAX && lastGood >= start)
            addPeriod(start, lastGood);
        start = SIZE_MAX;
    };
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        if (!blocks[b].usable || !idle[b]) {
            close(b - 1);
            continue;
        }
        if (start == SIZE_MAX) {
            start = b;
            continue;
        }
        auto stepFrom = [&](std::size_t a) {
            return std::abs(blocks[b].mean - blocks[a].mean) > stepLimit;
        };
        const bool gap = p[blocks[b].first].minutes - p[blocks[b - 1].last].minutes > 5;
        if (gap) {
            close(b - 1);
            start = b;
        } else if (stepFrom(b - 1) || (b >= start + 2 && stepFrom(b - 2))) {
            close(b >= start + 3 ? b - 3 : SIZE_MAX);
        }
    }
    close(blocks.empty() ? SIZE_MAX : blocks.size() - 1);
    res.periods = periods;
    if (periods == 0 || sxx <= 0 || n <= periods + 1)
        return res;
    const double slope = sxy / sxx; // litres a minute
    const double resid = std::max(0.0, syy - slope * sxy) / double(n - periods - 1);
    double var = resid / sxx;
    if (periods >= 5) {
        double spread = 0;
        for (const auto& [b, w] : own)
            spread += w * (b - slope) * (b - slope);
        var = std::max(var, spread / double(periods - 1) / sxx);
    }
    res.rate = -slope * 60;
    res.sigma = std::sqrt(var) * 60;
    res.bound = res.rate + kZ * res.sigma;
    res.from = from + first * kMinute;
    res.to = from + last * kMinute;
    const bool decisive = res.sigma <= res.threshold / kZ;
    if (res.rate >= res.threshold && (decisive || res.rate - kZ * res.sigma >= res.threshold))
        res.verdict = LeakVerdict::Fail;
    else if (decisive && periods >= kMinPeriodsToPass)
        res.verdict = LeakVerdict::Pass;
    return res;
}
