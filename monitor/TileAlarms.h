#pragma once
// What the tiles show of each tank's alarms: which are active and which of them the operator
// has not acknowledged yet. Filled from the alarm states' transitions; read by the painter
// and by the beeper. Plain code, keyed by the tank's address.

#include <cstdint>
#include <map>
#include <string>

enum class AlarmKind : uint8_t { Low, High, Silent, Loss };

// "LOW", "HIGH", "NO SIGNAL", "LOSS": the word on the tile.
const char* AlarmWord(AlarmKind kind);

struct TankAlarms {
    uint8_t active = 0; // one bit per AlarmKind
    uint8_t unacked = 0;
    bool Any() const { return active != 0; }
    bool Unacknowledged() const { return unacked != 0; }
    bool Has(AlarmKind kind) const { return active & Bit(kind); }
    // The words of the active alarms, in the order of AlarmKind, one blank apart.
    std::string Words() const;
    static uint8_t Bit(AlarmKind kind) { return uint8_t(1u << static_cast<unsigned>(kind)); }
};

class TileAlarms {
public:
    // A new alarm, or one active again after it cleared, is unacknowledged.
    void Raise(int adr, AlarmKind kind);
    // Every active alarm of the tank is acknowledged: it stays shown, without beeping.
    // Returns false when there was nothing to acknowledge.
    bool Acknowledge(int adr);
    // Returns the addresses that had something to acknowledge.
    std::map<int, TankAlarms> AcknowledgeAll();
    void Clear(int adr, AlarmKind kind);

    TankAlarms Of(int adr) const;
    bool AnyUnacknowledged() const;

private:
    std::map<int, TankAlarms> tanks_;
};
