#include "TileAlarms.h"

const char* AlarmWord(AlarmKind kind) {
    switch (kind) {
    case AlarmKind::Low:
        return "LOW";
    case AlarmKind::High:
        return "HIGH";
    case AlarmKind::Silent:
        return "NO SIGNAL";
    case AlarmKind::Loss:
        return "LOSS";
    }
    return "";
}

std::string TankAlarms::Words() const {
    std::string out;
    for (AlarmKind kind : {AlarmKind::Low, AlarmKind::High, AlarmKind::Silent, AlarmKind::Loss}) {
        if (!Has(kind))
            continue;
        if (!out.empty())
            out += ' ';
        out += AlarmWord(kind);
    }
    return out;
}

void TileAlarms::Raise(int adr, AlarmKind kind) {
    TankAlarms& t = tanks_[adr];
    if (t.Has(kind))
        return;
    t.active |= TankAlarms::Bit(kind);
    t.unacked |= TankAlarms::Bit(kind);
}

bool TileAlarms::Acknowledge(int adr) {
    auto it = tanks_.find(adr);
    if (it == tanks_.end() || !it->second.Unacknowledged())
        return false;
    it->second.unacked = 0;
    return true;
}

std::map<int, TankAlarms> TileAlarms::AcknowledgeAll() {
    std::map<int, TankAlarms> acknowledged;
    for (auto& [adr, t] : tanks_) {
        if (!t.Unacknowledged())
            continue;
        acknowledged[adr] = t;
        t.unacked = 0;
    }
    return acknowledged;
}

void TileAlarms::Clear(int adr, AlarmKind kind) {
    auto it = tanks_.find(adr);
    if (it == tanks_.end())
        return;
    it->second.active &= uint8_t(~TankAlarms::Bit(kind));
    it->second.unacked &= uint8_t(~TankAlarms::Bit(kind));
    if (!it->second.Any())
        tanks_.erase(it);
}

TankAlarms TileAlarms::Of(int adr) const {
    auto it = tanks_.find(adr);
    return it == tanks_.end() ? TankAlarms{} : it->second;
}

bool TileAlarms::AnyUnacknowledged() const {
    for (const auto& [adr, t] : tanks_)
        if (t.Unacknowledged())
            return true;
    return false;
}
