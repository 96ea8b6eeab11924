// Losses: the rules that find a fall of any pace and measure it (see FuelEventDetector.h);
// the level and the idle hours they judge by are FuelEventLevels.cpp's.
#include "FuelEventDetector.h"

#include "DetectorTime.h"

#include <algorithm>
#include <cmath>

using namespace detector_time;

namespace {

// Falls in idle hours: noise widths of the difference of two levels.
constexpr double kIdleWidths = 4.5;
// Levels in a row that must be still before a loss ends.
constexpr int kStillLevels = 5;
// The least fall over the still window that still counts as falling, a share of capacity.
constexpr double kStillShare = 0.0005;

} // namespace

double FuelEventDetector::SmallestTheft() const {
    return std::max(100.0, 0.005 * config_.capacity);
}

double FuelEventDetector::IdleThreshold() const {
    return std::max(0.5 * SmallestTheft(), kIdleWidths * std::sqrt(2.0) * LevelNoise());
}

// `span` is the draw expected over the fall's time (litres, not per hour).
double FuelEventDetector::BusyThreshold(const HourDraw& span) const {
    const double normal = span.mean + kBusyZ * span.spread;
    return std::max(config_.lossLitres, normal) + kIdleWidths * std::sqrt(2.0) * LevelNoise();
}

EventLevels FuelEventDetector::ToLevels(const Level& l) {
    EventLevels e;
    e.gross = static_cast<int32_t>(std::lround(l.gross));
    if (l.net)
        e.net = static_cast<int32_t>(std::lround(*l.net));
    e.temp = l.temp;
    return e;
}

// The mean of the readings after loss_.afterFrom up to `to`, spikes left out, with the
// normal draw over the loss added back.
EventLevels FuelEventDetector::AfterLevels(double to) const {
    std::size_t first = 0;
    while (first < raw_.size() && raw_[first].utc <= loss_.afterFrom - kSlack)
        ++first;
    std::size_t last = first;
    while (last < raw_.size() && raw_[last].utc <= to + kSlack)
        ++last;
    Level l;
    if (SpikeFreeMean(first, last, l) == 0)
        l = levels_.back();
    const double mid = l.utc;
    if (open_) {
        const double normal = loss_.drawPerDay * std::max(0.0, mid - loss_.beforeUtc);
        l.gross += normal;
        if (l.net)
            *l.net += normal;
    }
    return ToLevels(l);
}

// Where the readings that give the level after a loss end, at `limit` at the latest. After
// a loss in idle hours the tank stays still: all of the idle time counts, for the level
// after to be known as well as the one before, but no reading of a busy hour and none
// past a new fall (the first draw of the morning in an hour still learned as idle would
// count as part of the loss). After a loss in a busy hour the still window alone counts.
double FuelEventDetector::StillAfter(double limit) const {
    const double still = loss_.afterFrom + kStillWindowMin * kMinute;
    auto it = std::find_if(raw_.begin(), raw_.end(),
                           [&](const Raw& r) { return r.utc > loss_.afterFrom - kSlack; });
    if (it == raw_.end() || !IdleAt(it->local))
        return std::min(limit, still);
    double to = it->utc, sum = 0;
    int n = 0;
    for (; it != raw_.end() && it->utc <= limit + kSlack && IdleAt(it->local); ++it) {
        to = it->utc;
        if (it->utc <= loss_.afterFrom + kLevelWindowMin * kMinute) {
            sum += it->value;
            ++n;
        }
    }
    for (const Level& l : levels_) {
        const double from = l.utc - kLevelWindowMin / 2 * kMinute;
        if (from > loss_.afterFrom + kLevelWindowMin * kMinute && from < to &&
            l.value < sum / n - 3 * LevelNoise())
            return from;
    }
    return to;
}

FuelEventDetector::Level FuelEventDetector::FromLevels(const EventLevels& e, double utc) const {
    Level l;
    l.utc = utc;
    l.gross = e.gross;
    if (e.net)
        l.net = *e.net;
    l.temp = e.temp;
    l.value = e.net && config_.density ? double(*e.net) : double(e.gross);
    return l;
}

// The start of a fall: the last level still within half a noise band of the one it fell
// from, less the normal draw since.
double FuelEventDetector::LossStart(const Level& from, double perDay) const {
    // half a noise band, or a tenth of the fall so far where the net litres wobble more
    // than the readings (whole degrees)
    const double tol = std::max(1.5 * LevelNoise(), 0.1 * (from.value - levels_.back().value));
    for (auto it = levels_.rbegin(); it != levels_.rend() && it->utc >= from.utc; ++it)
        if (it->value >= from.value - perDay * (it->utc - from.utc) - tol)
            return it->utc;
    return from.utc;
}

// In idle hours the level before a loss is the mean of the still levels before it, a
// window apart, back to kStillBeforeMin: one 15-minute level of readings with σ 20 l is
// known to some 5 l, a twentieth of the smallest theft to find.
FuelEventDetector::Level FuelEventDetector::StillBefore(const Level& last, double perDay) const {
    const double band = 3 * LevelNoise();
    Level sum = last;
    double net = last.net.value_or(0);
    int n = 1;
    for (double back = kLevelWindowMin; back + kLevelWindowMin <= kStillBeforeMin + 1e-9;
         back += kLevelWindowMin) {
        const Level* l = LevelAt(last.utc - back * kMinute);
        // a silence, an event, a busy hour or a level not still ends it
        if (!l || last.utc - l->utc > (back + 5) * kMinute || l->utc <= loss_.lastEnd ||
            l->net.has_value() != last.net.has_value() ||
            std::abs(l->value - perDay * (last.utc - l->utc) - last.value) > band)
            break;
        const Raw* first = nullptr;
        for (auto it = raw_.rbegin();
             it != raw_.rend() && it->utc >= l->utc - kLevelWindowMin / 2 * kMinute; ++it)
            first = &*it;
        if (!first || !IdleAt(first->local))
            break;
        // each level counted as it stood at `last`'s time
        const double since = perDay * (last.utc - l->utc);
        sum.utc += l->utc;
        sum.value += l->value - since;
        sum.gross += l->gross - since;
        net += l->net.value_or(0) - since;
        ++n;
    }
    sum.utc /= n;
    sum.value /= n;
    sum.gross /= n;
    if (sum.net)
        sum.net = net / n;
    sum.utc = last.utc; // dated as `last`: the draw since was taken off
    return sum;
}

void FuelEventDetector::BeginLoss(const Level& from, double local, double drawPerDay,
                                  std::vector<FuelEvent>& out) {
    if (!IdleAt(local) && drawPerDay <= 0) {
        // A busy hour not learned yet: the draw of the hour before the fall stands in.
        const Level* hourAgo = LevelAt(from.utc - 60 * kMinute);
        if (hourAgo && hourAgo->utc > loss_.lastEnd && from.utc - hourAgo->utc > 30 * kMinute)
            drawPerDay = std::clamp((hourAgo->value - from.value) / (from.utc - hourAgo->utc), 0.0,
                                    config_.lossLitres * 24.0);
    }
    FuelEvent e;
    e.kind = FuelEventKind::Loss;
    e.tstart = LossStart(from, drawPerDay);
    // The level before: the window just before the start, when the level was still then.
    const Level* just = LevelAt(e.tstart - kLevelWindowMin / 2 * kMinute);
    Level before = just && just->utc >= from.utc ? *just : from;
    if (IdleAt(local))
        before = StillBefore(before, drawPerDay);
    e.before = ToLevels(before);
    loss_.beforeUtc = before.utc;
    e.quiet = InQuiet(local);
    open_ = e;
    phase_ = Phase::Falling;
    loss_.drawPerDay = drawPerDay;
    loss_.falling = 0;
    out.push_back(e);
}

void FuelEventDetector::EndLoss(const Level& now, std::vector<FuelEvent>& out) {
    const double band = 3 * LevelNoise();
    // The end: the first level that came within half a band of the still level now. A
    // level is the mean of a window ending some minutes after its date; the fall ended
    // about a third of the window before the first such level.
    // Only the normal draw moves the level after the loss: the still rule's allowance for a
    // draw not learned yet is no draw, and taken as one it would date a slow theft's end
    // (2 l/min) some 20 minutes early, with its last litres in the level after.
    const double drift = std::max(0.0, loss_.drawPerDay);
    const double before = open_->before.net && config_.density ? double(*open_->before.net)
                                                               : double(open_->before.gross);
    const double tol = std::max(band / 2, 0.03 * (before - now.value));
    double reached = now.utc;
    for (const Level& l : levels_)
        if (l.utc >= open_->tstart && l.value - drift * (now.utc - l.utc) <= now.value + tol) {
            reached = l.utc;
            break;
        }
    open_->tend = std::max(open_->tstart, reached - kLevelWindowMin / 3 * kMinute);
    // The level after: readings from where the last window still falling ended, or those of
    // the last still window (its levels were found still against those 20 minutes before).
    loss_.afterFrom =
        std::max(reached + kLevelWindowMin / 2 * kMinute, lastUtc_ - kStillWindowMin * kMinute);
    open_->after = AfterLevels(StillAfter(lastUtc_));
    phase_ = Phase::Paused;
    loss_.falling = 0;
    out.push_back(*open_);
}

void FuelEventDetector::WatchLoss(const Level& level, double local, std::vector<FuelEvent>& out) {
    if (phase_ == Phase::Rising || (open_ && open_->kind == FuelEventKind::Delivery)) {
        loss_.anchored = false;
        return;
    }
    const bool idle = IdleAt(local);
    // An idle hour's draw is small but need not be nothing (a heater fed from the tank).
    const HourDraw draw = DrawAt(local);
    const double band = 3 * LevelNoise();
    if (phase_ == Phase::Falling) {
        const Level* ref = LevelAt(level.utc - kStillWindowMin * kMinute);
        if (!ref || ref->utc < open_->tstart)
            return;
        // still: falling less than the noise and the hour's normal draw allow, and at
        // least less than 0.05 % of capacity (a draw not learned yet, a slow leak)
        const double perHour = draw.known ? NormalDraw(draw, idle) : loss_.drawPerDay / 24.0;
        const auto stillSince = [&](const Level& from) {
            const double minutes = (level.utc - from.utc) / kMinute;
            const double normal =
                minutes / 60.0 * perHour +
                (idle ? 0.0 : 2 * draw.spread * std::sqrt(minutes / 60.0)) +
                kStillShare * std::max<int32_t>(config_.capacity, 0) * minutes / kStillWindowMin;
            return from.value - level.value < band + normal;
        };
        // Still for kStillLevels levels in a row: the noise alone makes one now and then.
        // Neighbouring levels share most of their readings, so a slow steady fall (a siphon
        // at 2 l/min) is also judged over twice the window, where it stands out of the noise.
        // Before the loss has gone on that long, a window half as long again stands in where
        // the level still creeps down: a siphon's first half hour is otherwise cut off.
        const Level* longer = LevelAt(level.utc - 2 * kStillWindowMin * kMinute);
        if ((!longer || longer->utc < open_->tstart) && ref->value - level.value > band / 2)
            longer = LevelAt(level.utc - 1.5 * kStillWindowMin * kMinute);
        if (!stillSince(*ref) || (longer && longer->utc >= open_->tstart && !stillSince(*longer)))
            loss_.falling = 0;
        else if (++loss_.falling >= kStillLevels)
            EndLoss(level, out);
        return;
    }
    if (phase_ == Phase::Paused) {
        // A new fall from the level after, before the pause is over, goes on with the loss.
        const double tend = *open_->tend;
        Level after = FromLevels(*open_->after, tend);
        after.value -= loss_.drawPerDay * (tend - loss_.beforeUtc); // about the level as read
        const double perHour = NormalDraw(draw, idle);
        const double since = (level.utc - tend) * 24.0 * perHour;
        const double threshold =
            idle ? IdleThreshold()
                 : BusyThreshold(DrawBetween(local - kLevelWindowMin * kMinute, local));
        if (after.value - since - level.value < threshold) {
            loss_.falling = 0;
            return;
        }
        if (++loss_.falling < 3)
            return;
        if (LossStart(after, perHour * 24.0) - tend < kMergePauseMin * kMinute) {
            open_->tend.reset();
            open_->after.reset();
            phase_ = Phase::Falling;
            loss_.falling = 0;
            out.push_back(*open_);
        } else {
            // still for the whole pause before this fall: a loss of its own
            CloseOpen(out);
            BeginLoss(after, local, perHour * 24.0, out);
        }
        return;
    }
    // Idle: no event open. The still level is taken only from a window wholly in the idle
    // hours: one reaching back into a busy hour holds its last draws.
    if (!idle)
        loss_.idleSince = -1;
    else if (loss_.idleSince < 0)
        loss_.idleSince = lastUtc_;
    const bool settledIdle = idle && level.utc - kLevelWindowMin / 2 * kMinute >= loss_.idleSince;
    // Until then the busy rules go on judging: a fall that began in the busy hour, whose
    // levels were lost in it or whose last levels came as the idle hours began, is theirs.
    if (idle && !settledIdle) {
        loss_.anchor = level;
        loss_.anchored = true;
    }
    const double perHour = NormalDraw(draw, settledIdle);
    const double sinceAnchor = loss_.anchored ? (level.utc - loss_.anchor.utc) * 24.0 : 0;
    const double idleFall = loss_.anchor.value - level.value - perHour * sinceAnchor;
    if (!loss_.anchored || idleFall < -band ||
        (level.utc - loss_.anchor.utc >= kReanchorMin * kMinute && idleFall < band)) {
        loss_.anchor = level;
        loss_.anchored = true;
    }
    const Level* from = nullptr;
    double perDay = 0;
    if (settledIdle) {
        if (idleFall >= IdleThreshold()) {
            from = &loss_.anchor;
            perDay = perHour * 24.0;
        }
    } else {
        // One pass back over the levels, the highest so far being where a fall began; each
        // window is judged where it ends. Longer windows only where the hour's normal draw
        // is known.
        const double offset = local - lastUtc_;
        const Level* top = nullptr;
        auto it = levels_.rbegin();
        for (double minutes : {kLevelWindowMin, 60.0, 180.0}) {
            if (minutes > kLevelWindowMin && !draw.known)
                break;
            const Level* ref = LevelAt(level.utc - minutes * kMinute);
            if (!ref)
                break;
            // A fall too fast for the level leaves levels out: the one before the gap already
            // holds the fall's first readings, so the window reaches back a level further.
            const Level* after = LevelAt(ref->utc + 5 * kMinute);
            if (after == ref && ref->utc < level.utc - 5 * kMinute)
                if (const Level* earlier = LevelAt(ref->utc - kLevelWindowMin * kMinute))
                    ref = earlier;
            for (; it != levels_.rend() && it->utc >= ref->utc; ++it)
                if (it->utc > loss_.lastEnd && (!top || it->value > top->value))
                    top = &*it;
            // the loss threshold is the least any window asks
            if (!top || top->value - level.value < config_.lossLitres)
                continue;
            HourDraw span =
                DrawBetween(std::min(top->utc, level.utc - kMinute) + offset, level.utc + offset);
            // The draw just before stands in for a window's hours not learned yet only in
            // the shortest window: taken over hours, one still hour before a busy morning
            // would make its whole draw a loss.
            if (!span.known && minutes > kLevelWindowMin)
                break;
            if (!span.known)
                span = RecentDraw(level, minutes);
            if (top->value - level.value >= BusyThreshold(span)) {
                from = top;
                perDay = draw.mean * 24.0;
                break;
            }
        }
    }
    if (!from) {
        loss_.falling = 0;
        return;
    }
    // The level the fall was first seen from: a fast fall leaves levels out, and a later
    // window may no longer reach back before it.
    if (loss_.falling == 0 || from->value > loss_.fallFrom.value)
        loss_.fallFrom = *from;
    if (++loss_.falling >= 3)
        BeginLoss(loss_.fallFrom, local, perDay, out);
}
