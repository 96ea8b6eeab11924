// The detector's saved state: every field listed once, in Fields, for both directions.
#include "FuelEventDetector.h"
#include "StateFields.h"

namespace {

// The form of the saved state; changed with it. A state of another form is refused, and
// the station then examines the stored readings again from the start.
constexpr int64_t kStateTag = 20264;

} // namespace

// The event going on, in the same one list for writing and reading.
template <class Ar> void EventFields(Ar& ar, EventLevels& l) {
    ar(l.gross, l.net, l.temp);
}

namespace {
struct LevelsField {
    EventLevels& l;
    template <class Ar> void Fields(Ar& ar) { EventFields(ar, l); }
};
struct OptLevelsField {
    std::optional<EventLevels>& l;
    template <class Ar> void Fields(Ar& ar) {
        bool has = l.has_value();
        EventLevels v = l.value_or(EventLevels{});
        LevelsField f{v};
        ar(has, f);
        l = has ? std::optional<EventLevels>(v) : std::nullopt;
    }
};
struct EventField {
    std::optional<FuelEvent>& e;
    template <class Ar> void Fields(Ar& ar) {
        bool has = e.has_value();
        FuelEvent v = e.value_or(FuelEvent{});
        LevelsField before{v.before};
        OptLevelsField after{v.after};
        ar(has, v.kind, v.tstart, v.tend, before, after, v.closed, v.quiet);
        e = has ? std::optional<FuelEvent>(v) : std::nullopt;
    }
};
struct TempsField {
    std::deque<std::pair<double, int>>& t;
    template <class Ar> void Fields(Ar& ar) {
        std::deque<double> utc;
        std::deque<int> temp;
        for (const auto& [u, c] : t) {
            utc.push_back(u);
            temp.push_back(c);
        }
        ar(utc, temp);
        t.clear();
        for (std::size_t i = 0; i < utc.size() && i < temp.size(); ++i)
            t.emplace_back(utc[i], temp[i]);
    }
};
} // namespace

template <class Ar> void FuelEventDetector::Fields(Ar& ar) {
    EventField open{open_};
    TempsField temps{temps_};
    ar(lastUtc_, fed_, phase_, raw_, med_, levels_, open, temps, tempSum_, noise_, noiseCount_,
       loss_, hours_);
}

std::string FuelEventDetector::SaveState() const {
    StateWriter w;
    w(kStateTag);
    const_cast<FuelEventDetector*>(this)->Fields(w); // writing only reads the fields
    return w.text;
}

bool FuelEventDetector::RestoreState(const std::string& text) {
    StateReader r(text);
    int64_t tag = 0;
    r(tag);
    if (!r.ok || tag != kStateTag)
        return false;
    FuelEventDetector d(config_);
    d.Fields(r);
    int64_t tempSum = 0;
    for (const auto& t : d.temps_)
        tempSum += t.second;
    const bool phaseKnown = d.phase_ >= Phase::Idle && d.phase_ <= Phase::Paused;
    const bool consistent =
        phaseKnown && tempSum == d.tempSum_ && (d.phase_ == Phase::Idle) == !d.open_ &&
        (d.phase_ != Phase::Paused || (d.open_ && d.open_->tend && d.open_->after)) &&
        static_cast<int64_t>(d.raw_.size()) <= d.fed_ &&
        (d.open_ == std::nullopt || d.open_->kind == FuelEventKind::Delivery ||
         d.open_->kind == FuelEventKind::Loss);
    if (!r.ok || !r.AtEnd() || !consistent)
        return false;
    *this = std::move(d);
    return true;
}
