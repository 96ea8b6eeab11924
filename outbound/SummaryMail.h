#pragma once
// The daily summary mail, short of the report itself: when it is due, what its text says,
// and the record of the last one sent. The summary of the moment hh:mm covers the 24 hours
// before it (with 00:00, exactly the day before). The record is a small file beside the
// settings, written once the server has taken the mail: a summary lost with the station
// (stopped, or restarted with new settings, while its mail waited) is made again at the
// next start, and one that went is never sent again.

#include "Mail.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// One tank's day for the mail's text.
struct SummaryTank {
    int adr = 0;
    std::string name;                        // UTF-8
    std::optional<int64_t> opening, closing; // gross litres at the period's ends
    double delivered = 0, lost = 0;          // gross litres
    struct Event {
        bool delivery = true; // else a loss
        double local = 0;     // its start, local day number
        int64_t litres = 0;
    };
    std::vector<Event> events;
};

namespace Mail {
// The latest summary moment (local day number) at or before `nowLocal`, for the local
// minute of the day `minute` (0 .. 1439).
double SummaryMoment(double nowLocal, int minute);
// The summary of [moment - 1 day, moment), with the report attached when `pdf` holds one.
Message SummaryMessage(const MailSettings& s, double moment, const std::vector<SummaryTank>& tanks,
                       const std::string& pdf, std::vector<std::string> to, int64_t unixTime);
} // namespace Mail

// Which summary is due, and the record of the last one handled. Thread-safe: the mail's
// sending thread marks it sent.
class SummaryRecord {
public:
    explicit SummaryRecord(std::string path) : path_(std::move(path)) {}
    // The moment whose summary should be made now, if any: the latest moment at or before
    // `nowLocal` when it is later than the one recorded and not in hand already. Without a
    // record, the station starts counting now: the latest moment is recorded as handled,
    // so that turning the summary on does not mail a day at once.
    std::optional<double> Due(double nowLocal, int minute);
    // The summary of `moment` is being made or sent; Due() leaves it alone meanwhile.
    void Take(double moment);
    // What was in hand was not made, or its mail was dropped: Due() may give it again.
    void Release();
    // The server took its mail. False when the record could not be written.
    bool Sent(double moment);
    // The moment recorded last; none without a (readable) record.
    std::optional<double> Last() const;

private:
    std::optional<double> ReadLocked() const;
    bool WriteLocked(double moment);
    std::string path_;
    mutable std::mutex mutex_;
    std::optional<double> inHand_;
};
