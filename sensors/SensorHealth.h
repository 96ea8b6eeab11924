#pragma once
// The health of every sensor address since start (or since the operator reset the counts):
// what was asked, what came back, what was refused and how long replies took. Also decides
// when a sensor that fails most of its polls is named in the Errors log again, so that a
// dead sensor gives one line an hour instead of one a cycle. Pure: times come in as ms on
// any monotonic scale and as local day numbers for what is shown.

#include <array>
#include <cstdint>
#include <map>
#include <optional>

// What the link knows of the line and of each sensor, for whoever judges silence and age
// (the tiles, the Line dialog, the alarms).
class SensorStatus {
public:
    virtual ~SensorStatus() = default;
    virtual bool LineUp() const = 0;
    // Local day number of the address's last accepted reply; none since start.
    virtual std::optional<double> LastReply(unsigned address) const = 0;
    // The address fails most of its recent polls.
    virtual bool Failing(unsigned address) const = 0;
};

struct SensorCounts {
    uint64_t requests = 0;               // data and configuration requests sent
    uint64_t good = 0;                   // accepted replies
    uint64_t refusedCrc = 0;             // wrong start byte or CRC
    uint64_t refusedLength = 0;          // accepted frame of a length its command does not have
    uint64_t refusedAddress = 0;         // reply naming an address other than the one asked
    uint64_t silences = 0;               // requests judged unanswered at a cycle start
    std::optional<double> lastReply;     // local day number
    std::map<int64_t, uint64_t> replyMs; // request to last byte: count per whole ms

    std::optional<int64_t> MedianReplyMs() const;
    std::optional<int64_t> MaxReplyMs() const;
};

class SensorHealth {
public:
    static constexpr unsigned kFirst = 1, kLast = 14;
    static constexpr int kWindow = 10;            // recent polls judged for "failing"
    static constexpr int64_t kRenameMs = 3600000; // a failing sensor is named once an hour

    enum class Refusal { Crc, Length, Address };

    void RequestSent(unsigned address, int64_t nowMs);
    // An accepted reply from `address` whose last byte came at lastByteMs. Its reply time
    // counts when it answers the request awaited from that address.
    void GoodReply(unsigned address, int64_t lastByteMs, double localNow);
    // A refused frame counts against the address awaited; with none awaited, against the
    // address it names (when that has an entry).
    void Refused(Refusal why, unsigned namedAddress);
    // The request of `address` was judged unanswered. True when the Errors log should name
    // it: always while most of its polls are answered, else once an hour.
    bool Silence(unsigned address, int64_t nowMs);

    const SensorCounts& Counts(unsigned address) const;
    bool Failing(unsigned address) const;
    // The awaited address, if a request is outstanding.
    std::optional<unsigned> Awaited() const { return awaited_; }
    // The operator's "Reset counts": every count starts again; the last reply times stay.
    void Reset();

private:
    struct Entry {
        SensorCounts counts;
        std::optional<int64_t> sentAt;
        uint32_t recent = 0; // bit set per silence, newest in bit 0
        int judged = 0;      // polls in `recent`, at most kWindow
        std::optional<int64_t> namedAt;
    };
    static bool Has(unsigned a) { return a >= kFirst && a <= kLast; }
    Entry& At(unsigned a) { return entries_[a - kFirst]; }
    const Entry& At(unsigned a) const { return entries_[a - kFirst]; }
    void Judge(Entry& e, bool silent);

    std::array<Entry, kLast> entries_{};
    std::optional<unsigned> awaited_;
};
