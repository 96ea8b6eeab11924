#include "FuelEventDetector.h"

#include "DetectorTime.h"

#include "DayNumbers.h"
#include "NetVolume.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

using namespace detector_time;

namespace {

template <class T> T MedianOf(std::vector<T> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

double FuelEvent::Amount(bool net) const {
    if (!after)
        return 0;
    if (net && before.net && after->net)
        return *after->net - *before.net;
    return after->gross - before.gross;
}

DetectorConfig ResolveDetectorConfig(const TItemNode& tank, const TankEventSettings& s) {
    DetectorConfig c;
    c.capacity = tank.Capacity;
    c.density = NetVolume::TankDensity(s.density, tank.FType);
    const double byDefault = std::max(50.0, 0.01 * tank.Capacity);
    c.deliveryLitres =
        s.deliveryLitres && *s.deliveryLitres > 0 ? double(*s.deliveryLitres) : byDefault;
    c.lossLitres = s.lossLitres && *s.lossLitres > 0 ? double(*s.lossLitres) : byDefault;
    if (s.quietFrom && s.quietTo && *s.quietFrom != *s.quietTo && *s.quietFrom >= 0 &&
        *s.quietFrom < kMinutesPerDay && *s.quietTo >= 0 && *s.quietTo < kMinutesPerDay) {
        c.quietFrom = static_cast<int>(*s.quietFrom);
        c.quietTo = static_cast<int>(*s.quietTo);
    }
    return c;
}

FuelEventDetector::FuelEventDetector(const DetectorConfig& config) : config_(config) {}

void FuelEventDetector::SetConfig(const DetectorConfig& config) {
    config_ = config;
}

std::optional<FuelEvent> FuelEventDetector::OpenEvent() const {
    return open_;
}

const FuelEventDetector::Raw* FuelEventDetector::RawAt(int64_t index) const {
    const int64_t first = fed_ - static_cast<int64_t>(raw_.size());
    if (index < first || index >= fed_)
        return nullptr;
    return &raw_[static_cast<std::size_t>(index - first)];
}

// Medians of the raw readings first..last that are still held, each quantity on its own.
EventLevels FuelEventDetector::LevelsOf(int64_t first, int64_t last) const {
    std::vector<int32_t> gross, net;
    std::vector<int> temp;
    bool allNet = true;
    for (int64_t i = first; i <= last; ++i) {
        const Raw* r = RawAt(i);
        if (!r)
            continue;
        gross.push_back(r->gross);
        temp.push_back(r->temp);
        if (r->net)
            net.push_back(*r->net);
        else
            allNet = false;
    }
    EventLevels l;
    if (gross.empty())
        return l;
    l.gross = MedianOf(gross);
    l.temp = MedianOf(temp);
    if (allNet)
        l.net = MedianOf(net);
    return l;
}

double FuelEventDetector::SettleLitres() const {
    return std::max(kSettleShare * config_.capacity, 1.0);
}

double FuelEventDetector::TempNow(double utc, int temp) {
    const auto minute = [](double t) { return t * kMinutesPerDay; };
    // The line's sums start again from the window now and then (and after a restore,
    // which saves the window alone): relative to an old origin they lose precision.
    if (line_.Count() != static_cast<int>(temps_.size()) ||
        (!temps_.empty() && minute(temps_.front().first) - line_.Origin() > 7 * kMinutesPerDay)) {
        line_.Clear();
        for (const auto& [t, c] : temps_)
            line_.Add(minute(t), c);
    }
    temps_.emplace_back(utc, temp);
    tempSum_ += temp;
    line_.Add(minute(utc), temp);
    while (temps_.size() > 1 && temps_.front().first < utc - kTempFitMin * kMinute) {
        tempSum_ -= temps_.front().second;
        line_.Remove(minute(temps_.front().first), temps_.front().second);
        temps_.pop_front();
    }
    // The line through the window's degrees, at this reading: a mean alone lags half its
    // window behind the fuel as it cools through the evening (some 0.4 °C, or 5 l on
    // 13 000 l), and less so towards dawn, which a loss at night would be measured with.
    double value = 0;
    if ((utc - temps_.front().first) / kMinute >= kTempFitMin / 2 &&
        line_.At(minute(utc), kTempFitSpread, value))
        return value;
    // Else the mean of the last kTempMeanMin minutes.
    double recent = 0;
    int inRecent = 0;
    for (auto it = temps_.rbegin(); it != temps_.rend(); ++it) {
        if (it->first < utc - kTempMeanMin * kMinute - kSlack)
            break;
        recent += it->second;
        ++inRecent;
    }
    return recent / inRecent;
}

std::vector<FuelEvent> FuelEventDetector::Feed(const LevelSample& s) {
    std::vector<FuelEvent> out;
    if (fed_ > 0 && s.utc <= lastUtc_)
        return out;
    Raw r;
    r.utc = s.utc;
    r.local = s.local;
    r.gross = s.gross;
    r.temp = s.temp;
    r.net = NetVolume::NetLitres(s.gross, TempNow(s.utc, s.temp), config_.density);
    r.value = r.net ? *r.net : s.gross;
    UpdateNoise(r);
    raw_.push_back(r);
    ++fed_;
    lastUtc_ = s.utc;
    const std::optional<Level> level = LevelNow();
    if (level)
        levels_.push_back(*level);
    LearnHours(s.local);
    if (fed_ < kMedianOf) {
        Trim();
        return out;
    }
    std::array<double, kMedianOf> window;
    for (int k = 0; k < kMedianOf; ++k)
        window[k] = raw_[raw_.size() - kMedianOf + k].value;
    std::nth_element(window.begin(), window.begin() + kMedianOf / 2, window.end());
    const Raw& middle = *RawAt(fed_ - 1 - kMedianOf / 2);
    Median m{middle.utc, middle.local, window[kMedianOf / 2], fed_ - 1 - kMedianOf / 2};
    Detect(m, out);
    if (level)
        WatchLoss(*level, s.local, out);
    med_.push_back(m);
    Trim();
    return out;
}

// The lowest (highest) median within `minutes` before m, the window always reaching back to
// the median before it however old. Of the medians within the settle share of that extreme,
// the latest is taken: the start is the last reading before the level began to move.
const FuelEventDetector::Median* FuelEventDetector::Extreme(const Median& m, double minutes,
                                                            bool lowest) const {
    const Median* best = nullptr;
    auto it = med_.rbegin();
    for (; it != med_.rend(); ++it) {
        if (!best || (lowest ? it->value < best->value : it->value > best->value))
            best = &*it;
        if (it->utc <= m.utc - minutes * kMinute + kSlack)
            break;
    }
    if (!best)
        return nullptr;
    for (auto jt = med_.rbegin(); jt != med_.rend(); ++jt)
        if (std::abs(jt->value - best->value) <= SettleLitres())
            return &*jt;
    return best;
}

bool FuelEventDetector::FindRise(const Median& m, const Median*& low) const {
    low = Extreme(m, kDeliveryWindowMin, true);
    return low && m.value - low->value >= config_.deliveryLitres;
}

// The level has moved less than the settle share since the median 10 minutes ago (or the
// last one before that, across a gap).
bool FuelEventDetector::Settled(const Median& m, const Median*& ref) const {
    ref = nullptr;
    for (auto it = med_.rbegin(); it != med_.rend(); ++it) {
        if (it->utc <= m.utc - kSettleWindowMin * kMinute + kSlack) {
            ref = &*it;
            break;
        }
    }
    if (!ref || ref->rawIndex < 0)
        return false;
    if (open_ && ref->utc < open_->tstart)
        return false; // the window reaches back before the start: not settled yet
    return std::abs(m.value - ref->value) < SettleLitres();
}

void FuelEventDetector::Begin(FuelEventKind kind, const Median& from, std::vector<FuelEvent>& out) {
    FuelEvent e;
    e.kind = kind;
    const Raw* start = RawAt(from.rawIndex);
    e.tstart = start ? start->utc : from.utc;
    e.before = LevelsOf(from.rawIndex - (kMedianOf - 1), from.rawIndex);
    open_ = e;
    phase_ = kind == FuelEventKind::Delivery ? Phase::Rising : Phase::Falling;
    out.push_back(e);
}

void FuelEventDetector::CloseOpen(std::vector<FuelEvent>& out) {
    if (open_->kind == FuelEventKind::Loss && open_->tend) {
        // The level after, now measured over the whole still time since the end.
        open_->after = AfterLevels(StillAfter(std::numeric_limits<double>::infinity()));
        // A later fall is measured from the level the tank has kept since.
        loss_.anchored = !levels_.empty();
        if (loss_.anchored)
            loss_.anchor = levels_.back();
    } else {
        loss_.anchored = false;
    }
    open_->closed = true;
    loss_.lastEnd = open_->tend.value_or(lastUtc_);
    out.push_back(*open_);
    open_.reset();
    phase_ = Phase::Idle;
}

// Deliveries, and a loss that a delivery interrupts; losses themselves are WatchLoss's.
void FuelEventDetector::Detect(const Median& m, std::vector<FuelEvent>& out) {
    const Median* low = nullptr;
    const Median* ref = nullptr;
    // A loss is found some minutes after it began (the level is a mean of a window): its
    // pause waits that much longer for a fall that began within it.
    const double pause = open_ && open_->kind == FuelEventKind::Loss
                             ? kMergePauseMin + kLevelWindowMin
                             : kMergePauseMin;
    if (phase_ == Phase::Paused && m.utc - *open_->tend >= pause * kMinute - kSlack)
        CloseOpen(out);
    const bool loss = open_ && open_->kind == FuelEventKind::Loss;
    switch (phase_) {
    case Phase::Idle:
        if (FindRise(m, low))
            Begin(FuelEventKind::Delivery, *low, out);
        return;
    case Phase::Falling:
    case Phase::Paused:
        if (loss && FindRise(m, low)) {
            // Fuel came in while it was going out: the loss ends where the delivery starts.
            if (!open_->tend) {
                open_->tend = RawAt(low->rawIndex) ? RawAt(low->rawIndex)->utc : low->utc;
                open_->after = LevelsOf(low->rawIndex - (kMedianOf - 1), low->rawIndex);
            }
            open_->closed = true;
            out.push_back(*open_);
            open_.reset();
            Begin(FuelEventKind::Delivery, *low, out);
            return;
        }
        if (loss)
            return;
        if (phase_ == Phase::Paused && FindRise(m, low)) {
            open_->tend.reset();
            open_->after.reset();
            phase_ = Phase::Rising;
            out.push_back(*open_);
        }
        return;
    case Phase::Rising: {
        if (!Settled(m, ref))
            return;
        const Raw* end = RawAt(ref->rawIndex);
        open_->tend = end ? end->utc : ref->utc;
        open_->after = LevelsOf(ref->rawIndex, ref->rawIndex + (kMedianOf - 1));
        phase_ = Phase::Paused;
        out.push_back(*open_);
        return;
    }
    }
}

void FuelEventDetector::Trim() {
    if (!med_.empty()) {
        const double keepFrom =
            med_.back().utc - (std::max(kDeliveryWindowMin, kSettleWindowMin) + 1) * kMinute;
        // Keep the medians of the longest window and the one before it.
        while (med_.size() > 2 && med_[1].utc < keepFrom)
            med_.pop_front();
    }
    // Raw readings: for the medians, and for the level after a loss until it is closed.
    const int64_t needRaw = med_.empty() ? 0 : med_.front().rawIndex - (kMedianOf - 1);
    const double rawFrom = lastUtc_ - kRawKeepMin * kMinute;
    while (!raw_.empty() && fed_ - static_cast<int64_t>(raw_.size()) < needRaw &&
           raw_.size() > static_cast<std::size_t>(kMedianOf) && raw_.front().utc < rawFrom)
        raw_.pop_front();
    const double levelFrom = lastUtc_ - kLevelKeepMin * kMinute;
    while (levels_.size() > 2 && levels_[1].utc < levelFrom)
        levels_.pop_front();
}
