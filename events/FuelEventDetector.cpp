#include "FuelEventDetector.h"

#include "NetVolume.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace {

constexpr double kMinute = 1.0 / 1440.0;
// A little below a minute's share of a day, so that readings stamped at whole minutes are
// not pushed out of a window by rounding.
constexpr double kSlack = 1e-9;

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
        *s.quietFrom < 1440 && *s.quietTo >= 0 && *s.quietTo < 1440) {
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

double FuelEventDetector::MeanTemp(double utc, int temp) {
    temps_.emplace_back(utc, temp);
    tempSum_ += temp;
    while (temps_.size() > 1 && temps_.front().first < utc - kTempMeanMin * kMinute) {
        tempSum_ -= temps_.front().second;
        temps_.pop_front();
    }
    return double(tempSum_) / double(temps_.size());
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
    r.net = NetVolume::NetLitres(s.gross, MeanTemp(s.utc, s.temp), config_.density);
    r.value = r.net ? *r.net : s.gross;
    raw_.push_back(r);
    ++fed_;
    lastUtc_ = s.utc;
    if (fed_ < kMedianOf)
        return out;
    std::array<double, kMedianOf> window;
    for (int k = 0; k < kMedianOf; ++k)
        window[k] = raw_[raw_.size() - kMedianOf + k].value;
    std::nth_element(window.begin(), window.begin() + kMedianOf / 2, window.end());
    const Raw& middle = *RawAt(fed_ - 1 - kMedianOf / 2);
    Median m{middle.utc, middle.local, window[kMedianOf / 2], fed_ - 1 - kMedianOf / 2};
    WatchQuiet(m, out);
    Detect(m, out);
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

bool FuelEventDetector::FindFall(const Median& m, const Median*& high) const {
    high = Extreme(m, kLossWindowMin, false);
    return high && high->value - m.value >= config_.lossLitres;
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
    quiet_.touched = quiet_.period >= 0 || quiet_.touched;
    out.push_back(e);
}

void FuelEventDetector::Detect(const Median& m, std::vector<FuelEvent>& out) {
    const Median* low = nullptr;
    const Median* high = nullptr;
    const Median* ref = nullptr;
    if (phase_ == Phase::Paused && m.utc - *open_->tend >= kMergePauseMin * kMinute - kSlack) {
        open_->closed = true;
        out.push_back(*open_);
        open_.reset();
        phase_ = Phase::Idle;
    }
    switch (phase_) {
    case Phase::Idle:
        if (FindRise(m, low))
            Begin(FuelEventKind::Delivery, *low, out);
        else if (FindFall(m, high))
            Begin(FuelEventKind::Loss, *high, out);
        return;
    case Phase::Rising:
    case Phase::Falling: {
        if (phase_ == Phase::Falling && FindRise(m, low)) {
            // Fuel came in while it was going out: the loss ends where the delivery starts.
            open_->tend = RawAt(low->rawIndex) ? RawAt(low->rawIndex)->utc : low->utc;
            open_->after = LevelsOf(low->rawIndex - (kMedianOf - 1), low->rawIndex);
            open_->closed = true;
            out.push_back(*open_);
            Begin(FuelEventKind::Delivery, *low, out);
            return;
        }
        if (!Settled(m, ref))
            return;
        const Raw* end = RawAt(ref->rawIndex);
        open_->tend = end ? end->utc : ref->utc;
        open_->after = LevelsOf(ref->rawIndex, ref->rawIndex + (kMedianOf - 1));
        phase_ = Phase::Paused;
        out.push_back(*open_);
        return;
    }
    case Phase::Paused:
        if (open_->kind == FuelEventKind::Delivery ? FindRise(m, low) : FindFall(m, high)) {
            open_->tend.reset();
            open_->after.reset();
            phase_ = open_->kind == FuelEventKind::Delivery ? Phase::Rising : Phase::Falling;
            out.push_back(*open_);
        } else if (open_->kind == FuelEventKind::Loss && FindRise(m, low)) {
            open_->closed = true;
            out.push_back(*open_);
            Begin(FuelEventKind::Delivery, *low, out);
        }
        return;
    }
}

int64_t FuelEventDetector::QuietPeriod(double local) const {
    if (!config_.quietFrom || !config_.quietTo)
        return -1;
    const double day = std::floor(local);
    const double minute = (local - day) * 1440.0;
    const int from = *config_.quietFrom, to = *config_.quietTo;
    if (from < to)
        return minute >= from && minute < to ? static_cast<int64_t>(day) : -1;
    if (minute >= from)
        return static_cast<int64_t>(day);
    if (minute < to)
        return static_cast<int64_t>(day) - 1;
    return -1;
}

// A net fall over a quiet period is judged once the period is over: at the first median
// outside it, or in another one (the station was off in between).
void FuelEventDetector::WatchQuiet(const Median& m, std::vector<FuelEvent>& out) {
    const int64_t period = QuietPeriod(m.local);
    if (quiet_.period >= 0 && period != quiet_.period) {
        const bool touched = quiet_.touched || phase_ != Phase::Idle;
        if (!touched && quiet_.startValue - quiet_.lastValue >= config_.lossLitres) {
            FuelEvent e;
            e.kind = FuelEventKind::Loss;
            e.tstart = quiet_.startUtc;
            e.tend = quiet_.lastUtc;
            e.before = quiet_.startLevels;
            e.after = quiet_.lastLevels;
            e.closed = true;
            e.quiet = true;
            out.push_back(e);
        }
        quiet_ = QuietWatch{};
    }
    if (period < 0)
        return;
    const EventLevels levels = LevelsOf(m.rawIndex - kMedianOf / 2, m.rawIndex + kMedianOf / 2);
    if (quiet_.period < 0) {
        quiet_.period = period;
        quiet_.startUtc = m.utc;
        quiet_.startValue = m.value;
        quiet_.startLevels = levels;
    }
    quiet_.lastUtc = m.utc;
    quiet_.lastValue = m.value;
    quiet_.lastLevels = levels;
    if (phase_ != Phase::Idle)
        quiet_.touched = true;
}

void FuelEventDetector::Trim() {
    const double keepFrom =
        med_.back().utc - (std::max(kLossWindowMin, kSettleWindowMin) + 1) * kMinute;
    // Keep the medians of the longest window and the one before it.
    while (med_.size() > 2 && med_[1].utc < keepFrom)
        med_.pop_front();
    const int64_t needRaw = med_.front().rawIndex - (kMedianOf - 1);
    while (!raw_.empty() && fed_ - static_cast<int64_t>(raw_.size()) < needRaw &&
           raw_.size() > static_cast<std::size_t>(kMedianOf))
        raw_.pop_front();
}

// ---- saved state: numbers separated by blanks, exact for every double ----

namespace {

class StateWriter {
public:
    void Num(double v) {
        char buf[32];
        auto r = std::to_chars(buf, buf + sizeof buf, v);
        text_.append(buf, r.ptr);
        text_ += ' ';
    }
    void Int(int64_t v) {
        char buf[24];
        auto r = std::to_chars(buf, buf + sizeof buf, v);
        text_.append(buf, r.ptr);
        text_ += ' ';
    }
    void Opt(const std::optional<int32_t>& v) {
        Int(v ? 1 : 0);
        Int(v.value_or(0));
    }
    void Levels(const EventLevels& l) {
        Int(l.gross);
        Opt(l.net);
        Int(l.temp);
    }
    std::string text_;
};

class StateReader {
public:
    explicit StateReader(const std::string& t) : p_(t.data()), end_(t.data() + t.size()) {}
    bool ok = true;
    double Num() { return Read<double>(); }
    int64_t Int() { return Read<int64_t>(); }
    template <class T> T Read() {
        T v = 0;
        Skip();
        auto r = std::from_chars(p_, end_, v);
        Check(r.ec, r.ptr);
        return v;
    }
    std::optional<int32_t> Opt() {
        const bool has = Int() != 0;
        const int32_t v = static_cast<int32_t>(Int());
        return has ? std::optional<int32_t>(v) : std::nullopt;
    }
    EventLevels Levels() {
        EventLevels l;
        l.gross = static_cast<int32_t>(Int());
        l.net = Opt();
        l.temp = static_cast<int>(Int());
        return l;
    }
    bool AtEnd() {
        Skip();
        return p_ == end_;
    }

private:
    const char* p_;
    const char* end_;
    void Skip() {
        while (p_ != end_ && *p_ == ' ')
            ++p_;
    }
    void Check(std::errc ec, const char* next) {
        if (ec != std::errc())
            ok = false;
        else
            p_ = next;
    }
};

constexpr int64_t kStateTag = 20261; // the form of the saved state; changed with it

} // namespace

std::string FuelEventDetector::SaveState() const {
    StateWriter w;
    w.Int(kStateTag);
    w.Num(lastUtc_);
    w.Int(fed_);
    w.Int(static_cast<int64_t>(phase_));
    w.Int(static_cast<int64_t>(raw_.size()));
    for (const Raw& r : raw_) {
        w.Num(r.utc);
        w.Num(r.local);
        w.Num(r.value);
        w.Int(r.gross);
        w.Opt(r.net);
        w.Int(r.temp);
    }
    w.Int(static_cast<int64_t>(med_.size()));
    for (const Median& m : med_) {
        w.Num(m.utc);
        w.Num(m.local);
        w.Num(m.value);
        w.Int(m.rawIndex);
    }
    w.Int(open_ ? 1 : 0);
    if (open_) {
        w.Int(static_cast<int64_t>(open_->kind));
        w.Num(open_->tstart);
        w.Int(open_->tend ? 1 : 0);
        w.Num(open_->tend.value_or(0));
        w.Levels(open_->before);
        w.Int(open_->after ? 1 : 0);
        w.Levels(open_->after.value_or(EventLevels{}));
    }
    w.Int(quiet_.period);
    w.Num(quiet_.startUtc);
    w.Num(quiet_.lastUtc);
    w.Num(quiet_.startValue);
    w.Num(quiet_.lastValue);
    w.Levels(quiet_.startLevels);
    w.Levels(quiet_.lastLevels);
    w.Int(quiet_.touched ? 1 : 0);
    w.Int(static_cast<int64_t>(temps_.size()));
    for (const auto& [utc, temp] : temps_) {
        w.Num(utc);
        w.Int(temp);
    }
    return w.text_;
}

bool FuelEventDetector::RestoreState(const std::string& text) {
    StateReader r(text);
    if (r.Int() != kStateTag || !r.ok)
        return false;
    FuelEventDetector d(config_);
    d.lastUtc_ = r.Num();
    d.fed_ = r.Int();
    const int64_t phase = r.Int();
    if (phase < 0 || phase > static_cast<int64_t>(Phase::Paused))
        return false;
    d.phase_ = static_cast<Phase>(phase);
    const int64_t rawCount = r.Int();
    for (int64_t i = 0; r.ok && i < rawCount && i <= d.fed_; ++i) {
        Raw x;
        x.utc = r.Num();
        x.local = r.Num();
        x.value = r.Num();
        x.gross = static_cast<int32_t>(r.Int());
        x.net = r.Opt();
        x.temp = static_cast<int>(r.Int());
        d.raw_.push_back(x);
    }
    const int64_t medCount = r.Int();
    for (int64_t i = 0; r.ok && i < medCount && i <= d.fed_; ++i) {
        Median m;
        m.utc = r.Num();
        m.local = r.Num();
        m.value = r.Num();
        m.rawIndex = r.Int();
        d.med_.push_back(m);
    }
    if (r.Int() == 1) {
        FuelEvent e;
        e.kind = r.Int() == 0 ? FuelEventKind::Delivery : FuelEventKind::Loss;
        e.tstart = r.Num();
        const bool hasEnd = r.Int() != 0;
        const double tend = r.Num();
        if (hasEnd)
            e.tend = tend;
        e.before = r.Levels();
        const bool hasAfter = r.Int() != 0;
        const EventLevels after = r.Levels();
        if (hasAfter)
            e.after = after;
        d.open_ = e;
    }
    d.quiet_.period = r.Int();
    d.quiet_.startUtc = r.Num();
    d.quiet_.lastUtc = r.Num();
    d.quiet_.startValue = r.Num();
    d.quiet_.lastValue = r.Num();
    d.quiet_.startLevels = r.Levels();
    d.quiet_.lastLevels = r.Levels();
    d.quiet_.touched = r.Int() != 0;
    const int64_t tempCount = r.Int();
    for (int64_t i = 0; r.ok && i < tempCount && i <= d.fed_; ++i) {
        const double utc = r.Num();
        const int temp = static_cast<int>(r.Int());
        d.temps_.emplace_back(utc, temp);
        d.tempSum_ += temp;
    }
    const bool consistent = static_cast<int64_t>(d.raw_.size()) == rawCount &&
                            static_cast<int64_t>(d.temps_.size()) == tempCount &&
                            static_cast<int64_t>(d.med_.size()) == medCount &&
                            (d.phase_ == Phase::Idle) == !d.open_ &&
                            (d.phase_ != Phase::Paused || (d.open_ && d.open_->tend));
    if (!r.ok || !r.AtEnd() || !consistent)
        return false;
    *this = std::move(d);
    return true;
}
