#include "ChartEvents.h"

#include "InventoryData.h"
#include "SQLiteDatabase.h"
#include "TextFormats.h"

#include <algorithm>
#include <cmath>

namespace {

// An en dash, spelt as UTF-8 bytes so that no compiler recodes it.
const char* const kDash = " \xE2\x80\x93 ";

std::string WhenText(double localStart, std::optional<double> localEnd, const char* openText) {
    std::string s = TextFormats::ShortDate(localStart) + " " + TextFormats::LongTime(localStart);
    s += kDash;
    if (!localEnd)
        return s + openText;
    // An end on the same day needs only its time.
    if (TextFormats::ShortDate(*localEnd) != TextFormats::ShortDate(localStart))
        s += TextFormats::ShortDate(*localEnd) + " ";
    return s + TextFormats::LongTime(*localEnd);
}

std::optional<int64_t> Moved(const std::optional<int64_t>& before,
                             const std::optional<int64_t>& after) {
    if (!before || !after)
        return std::nullopt;
    return std::llabs(*after - *before);
}

std::string MarkerTip(const EventRow& e, double offset) {
    std::string s = e.kind == "delivery" ? "Delivery" : "Loss";
    if (const auto gross = Moved(e.vbefore, e.vafter)) {
        s += " " + TextFormats::Int(*gross) + " l";
        if (const auto net = Moved(e.nbefore, e.nafter))
            s += " (net " + TextFormats::Int(*net) + " l)";
    }
    std::optional<double> end;
    if (e.tend)
        end = *e.tend + offset;
    return s + "\n" + WhenText(e.tstart + offset, end, "in progress");
}

std::optional<AlarmKind> AlarmOf(const std::string& kind) {
    for (AlarmKind k : kAlarmKinds)
        // A reconciliation alarm is about a day's books, not a stretch of the level.
        if (k != AlarmKind::Reconciliation && kind == AlarmEventKind(k))
            return k;
    return std::nullopt;
}

// When the alarm stopped being active (UTC), none while it still is. A loss stays raised
// until it is both over and acknowledged.
std::optional<double> AlarmEnd(const EventRow& e) {
    if (e.kind != "loss")
        return e.tend;
    if (e.tend && e.acked)
        return std::max(*e.tend, *e.acked);
    return std::nullopt;
}

bool DrawnSegment(const LevelPoint& a, const LevelPoint& b) {
    return a.kind != PointKind::Gap && b.kind == PointKind::Normal && a.reading && b.reading;
}

// The level of the reading nearest in time to x; 0 without any.
double NearestReading(const std::vector<LevelPoint>& p, double x) {
    const LevelPoint* best = nullptr;
    for (const LevelPoint& q : p)
        if (q.reading && (!best || std::abs(q.x - x) < std::abs(best->x - x)))
            best = &q;
    return best ? best->y : 0;
}

} // namespace

std::optional<double> LevelOnLine(const std::vector<LevelPoint>& p, double x) {
    auto it = std::lower_bound(p.begin(), p.end(), x,
                               [](const LevelPoint& a, double v) { return a.x < v; });
    for (std::size_t i = std::max<std::size_t>(1, std::size_t(it - p.begin()));
         i < p.size() && p[i - 1].x <= x; ++i) {
        const LevelPoint& a = p[i - 1];
        const LevelPoint& b = p[i];
        if (b.x < x || !DrawnSegment(a, b))
            continue;
        if (b.x == a.x)
            return b.y;
        return a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x);
    }
    return std::nullopt;
}

ChartEvents BuildChartEvents(const std::vector<EventRow>& events,
                             const std::vector<LevelPoint>& sorted, double S, double E,
                             double offset, double nowLocal) {
    ChartEvents out;
    for (const EventRow& e : events) {
        const double start = e.tstart + offset;
        if (e.kind == "delivery" || e.kind == "loss") {
            if (start >= S && start <= E) {
                EventMarker m;
                m.x = start;
                m.up = e.kind == "delivery";
                m.level =
                    LevelOnLine(sorted, start)
                        .value_or(e.vbefore ? double(*e.vbefore) : NearestReading(sorted, start));
                m.tip = MarkerTip(e, offset);
                out.markers.push_back(std::move(m));
            }
        }
        const std::optional<AlarmKind> kind = AlarmOf(e.kind);
        if (!kind)
            continue;
        std::optional<double> end = AlarmEnd(e);
        if (end)
            *end += offset;
        AlarmBand b;
        b.kind = *kind;
        b.from = std::max(start, S);
        b.to = std::min(end.value_or(std::max(nowLocal, start)), E);
        if (b.to <= b.from)
            continue;
        b.tip = std::string(AlarmWord(*kind)) + "\n" + WhenText(start, end, "active");
        out.bands.push_back(std::move(b));
    }
    return out;
}

ChartEvents LoadChartEvents(TSQLiteDatabase& db, int adr, const std::vector<LevelPoint>& sorted,
                            double S, double E, double offset, double nowLocal) {
    // The detector of events not yet examined needs the tank's capacity and fuel type.
    TItemNode tank;
    tank.id = static_cast<uint8_t>(adr);
    for (const auto& t : LoadReportTanks(db))
        if (t->id == adr)
            tank = *t;
    auto events = ReportEvents(db, tank, S - offset, E - offset, offset);
    // A loss over before the period still raises its alarm until it is acknowledged.
    try {
        for (EventRow& row : OpenAlarmRows(db)) {
            const bool known = std::any_of(events.begin(), events.end(),
                                           [&](const EventRow& e) { return e.id == row.id; });
            if (row.adr == adr && row.kind == "loss" && row.tstart < E - offset && !known)
                events.push_back(std::move(row));
        }
    } catch (const SQLiteError&) {
        // no EVENTS table: nothing was acknowledged or left open
    }
    return BuildChartEvents(events, sorted, S, E, offset, nowLocal);
}

int MarkerAt(const std::vector<PixelPoint>& centres, double mx, double my, double radius) {
    int best = -1;
    double bestSq = radius * radius;
    for (std::size_t i = 0; i < centres.size(); ++i) {
        const double dx = centres[i].x - mx, dy = centres[i].y - my;
        const double sq = dx * dx + dy * dy;
        if (sq <= bestSq) {
            best = int(i);
            bestSq = sq;
        }
    }
    return best;
}
