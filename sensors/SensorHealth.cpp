#include "SensorHealth.h"

#include <bit>

namespace {
const SensorCounts kNone{};
}

std::optional<int64_t> SensorCounts::MedianReplyMs() const {
    uint64_t total = 0;
    for (const auto& [ms, n] : replyMs)
        total += n;
    if (total == 0)
        return std::nullopt;
    // The lower median: a value that was really measured.
    uint64_t seen = 0;
    for (const auto& [ms, n] : replyMs) {
        seen += n;
        if (seen * 2 >= total)
            return ms;
    }
    return replyMs.rbegin()->first;
}

std::optional<int64_t> SensorCounts::MaxReplyMs() const {
    if (replyMs.empty())
        return std::nullopt;
    return replyMs.rbegin()->first;
}

void SensorHealth::RequestSent(unsigned address, int64_t nowMs) {
    awaited_.reset();
    if (!Has(address))
        return;
    Entry& e = At(address);
    ++e.counts.requests;
    e.sentAt = nowMs;
    awaited_ = address;
}

void SensorHealth::GoodReply(unsigned address, int64_t lastByteMs, double localNow) {
    if (!Has(address))
        return;
    Entry& e = At(address);
    ++e.counts.good;
    e.counts.lastReply = localNow;
    if (e.sentAt) {
        ++e.counts.replyMs[std::max<int64_t>(0, lastByteMs - *e.sentAt)];
        e.sentAt.reset();
        Judge(e, false);
    }
    if (awaited_ == address)
        awaited_.reset();
}

void SensorHealth::Refused(Refusal why, unsigned namedAddress) {
    const unsigned a = awaited_ ? *awaited_ : namedAddress;
    if (!Has(a))
        return;
    SensorCounts& c = At(a).counts;
    switch (why) {
    case Refusal::Crc:
        ++c.refusedCrc;
        break;
    case Refusal::Length:
        ++c.refusedLength;
        break;
    case Refusal::Address:
        ++c.refusedAddress;
        break;
    }
}

bool SensorHealth::Silence(unsigned address, int64_t nowMs) {
    if (!Has(address))
        return true;
    Entry& e = At(address);
    ++e.counts.silences;
    e.sentAt.reset();
    if (awaited_ == address)
        awaited_.reset();
    Judge(e, true);
    if (Failing(address) && e.namedAt && nowMs - *e.namedAt < kRenameMs)
        return false;
    e.namedAt = nowMs;
    return true;
}

void SensorHealth::Judge(Entry& e, bool silent) {
    e.recent = ((e.recent << 1) | (silent ? 1u : 0u)) & ((1u << kWindow) - 1);
    if (e.judged < kWindow)
        ++e.judged;
}

bool SensorHealth::Failing(unsigned address) const {
    if (!Has(address))
        return false;
    const Entry& e = At(address);
    return e.judged > 0 && std::popcount(e.recent) * 2 > e.judged;
}

const SensorCounts& SensorHealth::Counts(unsigned address) const {
    return Has(address) ? At(address).counts : kNone;
}

void SensorHealth::Reset() {
    for (Entry& e : entries_) {
        // The time of the last reply is no count: whoever judges a sensor's silence keeps it.
        const std::optional<double> lastReply = e.counts.lastReply;
        e.counts = SensorCounts{};
        e.counts.lastReply = lastReply;
        e.recent = 0;
        e.judged = 0;
    }
}
