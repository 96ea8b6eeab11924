#include "HistoryPass.h"

HistoryPass::HistoryPass(std::map<int, FuelEventDetector> detectors, LocalOf localOf)
    : detectors_(std::move(detectors)), localOf_(std::move(localOf)) {}

void HistoryPass::Feed(const std::vector<DataRow>& rows) {
    for (const DataRow& r : rows)
        Feed(r);
}

void HistoryPass::Feed(const DataRow& row) {
    lastRowid_ = row.rowid;
    auto it = detectors_.find(row.adr);
    if (it == detectors_.end() || row.flevel < 0)
        return; // no such tank, or a row without litres
    FuelEventDetector& d = it->second;
    if (row.tstamp <= d.LastTime())
        return; // examined before
    ++fed_;
    LevelSample s{row.tstamp, localOf_ ? localOf_(row.tstamp) : row.tstamp, row.flevel, row.temp};
    for (FuelEvent& e : d.Feed(s)) {
        const auto key = std::make_tuple(row.adr, static_cast<int>(e.kind), e.tstart);
        auto [at, added] = index_.emplace(key, events_.size());
        if (added)
            events_.push_back({row.adr, std::move(e)});
        else
            events_[at->second].event = std::move(e);
    }
}

std::vector<TankFuelEvent> HistoryPass::Events() const {
    return events_;
}

EventRow ToEventRow(int adr, const FuelEvent& e) {
    EventRow r;
    r.adr = adr;
    r.kind = e.kind == FuelEventKind::Delivery ? "delivery" : "loss";
    r.tstart = e.tstart;
    r.tend = e.tend;
    r.vbefore = e.before.gross;
    r.tbefore = e.before.temp;
    if (e.before.net)
        r.nbefore = *e.before.net;
    if (e.after) {
        r.vafter = e.after->gross;
        r.tafter = e.after->temp;
        if (e.after->net)
            r.nafter = *e.after->net;
    }
    if (e.quiet)
        r.memo = "quiet hours";
    return r;
}
