// The level, the tank's noise and its idle hours, which the loss rules judge by (see
// FuelEventDetector.h).
#include "FuelEventDetector.h"

#include "DetectorTime.h"

#include <algorithm>
#include <cmath>

using namespace detector_time;

namespace {

// A level needs this many readings in its window; fewer (a silence) give none.
constexpr int kLevelReadings = 5;
// Spikes: readings further than this many noise widths from the window's median.
constexpr double kSpikeWidths = 4;
// Litres an hour must give out to count as drawn from, in noise widths of an hour's
// difference of levels (and at least 0.15 % of capacity).
constexpr double kActiveWidths = 3.5;
// E|x - y| of two independent readings is 2σ/√π.
constexpr double kMeanAbsDiff = 1.1283791670955126;

} // namespace

bool FuelEventDetector::InQuiet(double local) const {
    return InQuietHours(config_.quietFrom, config_.quietTo, local);
}

HourDraw FuelEventDetector::DrawAt(double local) const {
    if (InQuiet(local))
        return {};
    return hours_.Draw(local, std::max(50.0, 0.0025 * config_.capacity));
}

bool FuelEventDetector::IdleAt(double local) const {
    return InQuiet(local) || hours_.Idle(local, kIdleDaysSeen);
}

// A robust running estimate from the differences of neighbouring readings: a step bigger
// than five widths (a draw, a theft, a spike) is cut to that before it counts.
void FuelEventDetector::UpdateNoise(const Raw& r) {
    if (raw_.empty() || r.utc - raw_.back().utc > 5 * kMinute)
        return;
    double d = std::abs(r.value - raw_.back().value);
    if (noiseCount_ >= 20)
        d = std::min(d, 5 * kMeanAbsDiff * noise_);
    const double weight = 1.0 / double(std::min<int64_t>(noiseCount_ + 1, 500));
    noise_ += weight * (d / kMeanAbsDiff - noise_);
    ++noiseCount_;
}

double FuelEventDetector::LevelNoise() const {
    return MeanNoise(kLevelWindowMin); // about one reading a minute over the window
}

// The noise of a trimmed mean of `readings` readings.
double FuelEventDetector::MeanNoise(double readings) const {
    return 1.1 * std::max(noise_, 0.5) / std::sqrt(readings);
}

// The spike-free mean of raw_[first, last): readings further than kSpikeWidths noise widths
// from the median of their litres are left out. Its time, litres and gross litres are the
// means of the readings kept, its net litres too where each has them, its degrees their
// median. Returns how many readings it kept; `median` is given that median.
int FuelEventDetector::SpikeFreeMean(std::size_t first, std::size_t last, Level& l,
                                     double* median) const {
    std::vector<double>& values = scratch_;
    values.clear();
    for (std::size_t i = first; i < last; ++i)
        values.push_back(raw_[i].value);
    if (values.empty())
        return 0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    const double mid = values[values.size() / 2];
    if (median)
        *median = mid;
    const double cut = kSpikeWidths * std::max(noise_, 1.0);
    l = Level{};
    double gross = 0, net = 0;
    int n = 0;
    bool allNet = true;
    values.clear(); // now the temperatures
    for (std::size_t i = first; i < last; ++i) {
        const Raw& r = raw_[i];
        if (std::abs(r.value - mid) > cut)
            continue;
        ++n;
        l.utc += r.utc;
        l.value += r.value;
        gross += r.gross;
        if (r.net)
            net += *r.net;
        else
            allNet = false;
        values.push_back(r.temp);
    }
    l.utc /= n;
    l.value /= n;
    l.gross = gross / n;
    if (allNet)
        l.net = net / n;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    l.temp = static_cast<int>(values[values.size() / 2]);
    return n;
}

std::optional<FuelEventDetector::Level> FuelEventDetector::LevelNow() {
    const double from = lastUtc_ - kLevelWindowMin * kMinute + kSlack;
    std::size_t first = raw_.size();
    while (first > 0 && raw_[first - 1].utc > from)
        --first;
    if (raw_.size() - first < static_cast<std::size_t>(kLevelReadings))
        return std::nullopt;
    Level l;
    if (SpikeFreeMean(first, raw_.size(), l) < kLevelReadings)
        return std::nullopt;
    return l;
}

// The level at a local hour's start: a spike-free mean of the readings within kEdgeMin of
// it; none where fewer than half of them and one were read.
std::optional<double> FuelEventDetector::EdgeLevel(double hourStart) const {
    std::size_t last = raw_.size();
    while (last > 0 && raw_[last - 1].local >= hourStart + kEdgeMin * kMinute + kSlack)
        --last;
    std::size_t first = last;
    while (first > 0 && raw_[first - 1].local > hourStart - kEdgeMin * kMinute - kSlack)
        --first;
    if (last - first < static_cast<std::size_t>(kEdgeMin + 1))
        return std::nullopt;
    Level l;
    double median = 0;
    SpikeFreeMean(first, last, l, &median);
    // the noise not known yet, no cut would tell a spike
    return noiseCount_ < 20 ? median : l.value;
}

// Whole local hours without a delivery teach the idle hours. An hour is measured between
// short means of the readings around its two ends: a truck in its first or last minutes
// counts nearly whole, where a busy hour with its trucks near its ends would otherwise be
// learned idle, and a truck a few minutes before the hour begins counts not at all, so the
// first quiet hour after a busy day is learned idle as soon as the others.
void FuelEventDetector::LearnHours(double local) {
    // an hour's start is measured once the readings reach kEdgeMin past it
    const double hour = std::floor((local - kEdgeMin * kMinute) * 24.0 + 1e-7);
    // Hours of a delivery are left out; those of a loss are not, or a busy hour taken for
    // a loss while its draw is not known yet would never be learned.
    if (open_ && open_->kind == FuelEventKind::Delivery)
        loss_.hourTouched = true;
    if (hour == loss_.hourKey)
        return;
    const std::optional<double> edge = EdgeLevel(hour / 24.0);
    const bool consecutive = loss_.hourKey >= 0 && hour == loss_.hourKey + 1;
    if (consecutive && !loss_.hourTouched && edge && loss_.hourStarted) {
        const double diffNoise = std::sqrt(2.0) * MeanNoise(2 * kEdgeMin + 1);
        const double active =
            std::max(kActiveWidths * diffNoise, 0.0015 * std::max<int32_t>(config_.capacity, 0));
        const double litres = loss_.hourStart - *edge;
        hours_.Learn(loss_.hourKey / 24.0, litres, litres > active);
    }
    loss_.hourKey = hour;
    loss_.hourStarted = edge.has_value();
    loss_.hourStart = edge.value_or(0);
    loss_.hourTouched = open_ && open_->kind == FuelEventKind::Delivery;
}

const FuelEventDetector::Level* FuelEventDetector::LevelAt(double utc) const {
    auto it = std::upper_bound(levels_.begin(), levels_.end(), utc + kSlack,
                               [](double t, const Level& l) { return t < l.utc; });
    if (it == levels_.begin())
        return nullptr;
    return &*std::prev(it);
}

// An hour's normal draw, litres an hour. An idle hour's own draw counts only once it is
// known well and stands out of the noise of a mean of some hours' differences (a heater fed
// from the tank): else it is noise, and the hours since the anchor, or of a slow theft,
// would multiply it. It is taken from the hours not drawn from: a theft one night would
// otherwise make it the next thefts' normal draw.
double FuelEventDetector::NormalDraw(const HourDraw& draw, bool idle) const {
    if (!idle)
        return draw.mean;
    return draw.known && draw.stillMean > 2 * std::sqrt(2.0) * LevelNoise() ? draw.stillMean : 0.0;
}

// The normal draw between two local times: each hour's mean and variance for the part of
// it the span covers.
HourDraw FuelEventDetector::DrawBetween(double fromLocal, double toLocal) const {
    HourDraw sum;
    sum.known = true;
    double var = 0;
    for (double t = fromLocal; t < toLocal - 1e-9;) {
        const double next = std::min(toLocal, (std::floor(t * 24 + 1e-7) + 1) / 24.0);
        const HourDraw h = DrawAt((t + next) / 2);
        const double hours = (next - t) * 24;
        sum.known = sum.known && h.known;
        sum.mean += h.mean * hours;
        var += h.spread * h.spread * hours;
        t = next;
    }
    sum.spread = std::sqrt(var);
    return sum;
}

// While an hour's draw is not learned yet (a new tank's first days), the draw of the hours
// just before stands in, with the spread of fills at random times: otherwise a cluster of
// ordinary fills in one window would be taken for a loss.
HourDraw FuelEventDetector::RecentDraw(const Level& now, double minutes) const {
    const Level* from = LevelAt(now.utc - kRecentDrawMin * kMinute);
    const Level* to = LevelAt(now.utc - minutes * kMinute);
    if (!from || !to || from->utc <= loss_.lastEnd || to->utc - from->utc < 60 * kMinute)
        return {};
    const double perMinute =
        std::max(0.0, (from->value - to->value) / ((to->utc - from->utc) / kMinute));
    const double typical = std::max(50.0, 0.0025 * config_.capacity);
    const double mean = perMinute * minutes;
    return {mean, std::sqrt(mean * typical), true};
}
