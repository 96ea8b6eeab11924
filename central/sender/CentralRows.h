#pragma once
// The rows the station sends, read from data.db, and the interface of the server they go to.
// Keys: DATA and ERROR rows by their rowid, EVENTS rows by id, a tank's changes by a
// per-tank sequence number; with the station's name they are unique on the server, so a
// batch sent twice is stored once.

#include "ReconciliationTables.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct CentralReading {
    int64_t row = 0;
    std::optional<double> tstamp; // UTC day number
    std::optional<int64_t> adr, flevel, fcode, temp;
};

struct CentralError {
    int64_t row = 0;
    std::optional<double> tstamp;
    std::optional<int64_t> adr, code;
};

struct CentralEvent {
    int64_t id = 0;
    std::optional<int64_t> adr;
    std::string kind;
    std::optional<double> tstart, tend, acked;
    std::optional<int64_t> vbefore, vafter, nbefore, nafter, tbefore, tafter;
    std::string memo; // UTF-8
};

struct CentralCalPoint {
    int point = 0; // 1-based position in the tank's table
    int64_t code = 0;
    int64_t litres = 0;
};

struct CentralTankChange {
    int64_t tank = 0;
    int64_t seq = 0;         // 1 for the first state sent, then one more per change
    std::string name;        // the bytes as stored
    std::string nameText;    // the name as UTF-8
    std::string ftype, memo; // UTF-8
    std::optional<int64_t> capacity, lowFuel, overFuel;
    bool active = false;
    std::vector<CentralCalPoint> points; // the entered calibration points
};

// A part of the reconciliation's book: a tank's meter figures or its delivery notes of one
// local month, or its tolerances. The operator corrects and removes such rows, so a part is
// sent whole, with the next sequence number, whenever anything in it changed; the server
// keeps every version sent and the newest of each part is the station's book.
inline constexpr const char* kBookMeters = "METER_TOTALS";
inline constexpr const char* kBookNotes = "DELIVERY_NOTES";
inline constexpr const char* kBookSettings = "RECON_SETTINGS";
struct CentralBookPart {
    std::string table; // one of the three above
    int adr = 0;
    int period = 0; // year * 100 + month of the rows' local times; 0 for the tolerances
    int64_t seq = 0;
    std::vector<MeterEntry> meters;
    std::vector<DeliveryNote> notes;          // texts UTF-8
    std::optional<ReconSettingsRow> settings; // none: no tolerances set (or removed)
    int64_t hash = 0;                         // of the contents, to tell a change
    int64_t Rows() const { return int64_t(meters.size() + notes.size() + (settings ? 1 : 0)); }
};

// What a send achieved; failures are routine (a server away) and come back as values.
struct CentralOutcome {
    bool ok = false;
    std::string error;
    static CentralOutcome Ok() { return {true, {}}; }
    static CentralOutcome Fail(std::string e) { return {false, std::move(e)}; }
};

// The server side. Each Send stores all its rows in one transaction or none of them; rows
// already there are left as they are (an event's later state replaces its earlier one).
class CentralServer {
public:
    virtual ~CentralServer() = default;
    // Connects when not connected, creates or upgrades the server's tables.
    virtual CentralOutcome Prepare() = 0;
    virtual CentralOutcome SendReadings(const std::string& station,
                                        const std::vector<CentralReading>& rows) = 0;
    virtual CentralOutcome SendErrors(const std::string& station,
                                      const std::vector<CentralError>& rows) = 0;
    virtual CentralOutcome SendEvents(const std::string& station,
                                      const std::vector<CentralEvent>& rows) = 0;
    virtual CentralOutcome SendTankChanges(const std::string& station,
                                           const std::vector<CentralTankChange>& rows) = 0;
    // Each part's rows in place of its earlier version, all parts in one transaction.
    virtual CentralOutcome SendBook(const std::string& station,
                                    const std::vector<CentralBookPart>& parts) = 0;
    // Drops the connection after a failure so that the next try connects anew.
    virtual void Disconnect() = 0;
};
