#pragma once
// What the simulated sensors say: requests cut from the received bytes, and for each
// request the reply (or none), with the faults the options ask for.

#include "SensorBank.h"
#include "SimOptions.h"

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

struct Request {
    uint8_t address = 0;
    uint8_t command = 0;
    bool operator==(const Request&) const = default;
};

struct Counters {
    uint64_t requests = 0;    // well-formed requests received
    uint64_t badRequests = 0; // 0x31 frames whose CRC was wrong
    uint64_t junkBytes = 0;   // bytes dropped while looking for a request
    uint64_t data = 0;        // data replies sent
    uint64_t cfg = 0;         // configuration replies sent
    uint64_t withheld = 0;    // requests to a silent sensor
    uint64_t ignored = 0;     // requests to no sensor, or with an unknown command
    uint64_t badCrc = 0;
    uint64_t joined = 0;
    uint64_t split = 0;
    uint64_t stray = 0;
    uint64_t late = 0;
};
// "counts requests=N bad-requests=N junk=N data=N cfg=N withheld=N ignored=N bad-crc=N
// joined=N split=N stray=N late=N"
std::string FormatCounters(const Counters& c);

// Cuts 4-byte requests out of a byte stream: a request starts with 0x31 and ends with the
// CRC of its first three bytes; anything else is skipped a byte at a time.
class RequestParser {
public:
    std::vector<Request> Feed(const uint8_t* bytes, std::size_t count, Counters& counters);

private:
    std::vector<uint8_t> pending_;
};

// A run of bytes sent without a break, after a pause.
struct Segment {
    double pauseMs = 0;
    std::vector<uint8_t> bytes;
};
// One answer: it starts delayMs after its request.
struct Transmission {
    double delayMs = 0;
    std::vector<Segment> segments;
    std::vector<uint8_t> Bytes() const; // every byte, in order
};

class Responder {
public:
    Responder(const SimOptions& options, SensorBank& bank);
    // The answer to one request, or none when the sensor stays silent.
    std::optional<Transmission> Answer(const Request& request);
    Counters& counters() { return counters_; }

    // The 8 configuration bytes a sensor reports; the station only counts their arrival.
    static std::vector<uint8_t> ConfigPayload(uint8_t address);

private:
    const SimOptions& options_;
    SensorBank& bank_;
    std::mt19937 rng_;
    Counters counters_;
    bool Chance(double p);
    bool Applies(const AddressSet& set, double prob, uint8_t address);
    std::optional<std::vector<uint8_t>> Reply(const Request& request);
    std::vector<uint8_t> Faulted(std::vector<uint8_t> reply, uint8_t address);
    Transmission Paced(std::vector<uint8_t> bytes, uint8_t address);
};
