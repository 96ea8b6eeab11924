#pragma once
// The rows the station sends, read from data.db, and the interface of the server they go to.
// Keys: DATA and ERROR rows by their rowid, EVENTS rows by id, a tank's changes by a
// per-tank sequence number; with the station's name they are unique on the server, so a
// batch sent twice is stored once.

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
    // Drops the connection after a failure so that the next try connects anew.
    virtual void Disconnect() = 0;
};
