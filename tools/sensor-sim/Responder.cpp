#include "Responder.h"

#include <cstdio>

std::string FormatCounters(const Counters& c) {
    char text[512];
    std::snprintf(
        text, sizeof text,
        "counts requests=%llu bad-requests=%llu junk=%llu data=%llu cfg=%llu "
        "withheld=%llu ignored=%llu bad-crc=%llu joined=%llu split=%llu stray=%llu "
        "late=%llu",
        static_cast<unsigned long long>(c.requests), static_cast<unsigned long long>(c.badRequests),
        static_cast<unsigned long long>(c.junkBytes), static_cast<unsigned long long>(c.data),
        static_cast<unsigned long long>(c.cfg), static_cast<unsigned long long>(c.withheld),
        static_cast<unsigned long long>(c.ignored), static_cast<unsigned long long>(c.badCrc),
        static_cast<unsigned long long>(c.joined), static_cast<unsigned long long>(c.split),
        static_cast<unsigned long long>(c.stray), static_cast<unsigned long long>(c.late));
    return text;
}

std::vector<Request> RequestParser::Feed(const uint8_t* bytes, std::size_t count,
                                         Counters& counters) {
    pending_.insert(pending_.end(), bytes, bytes + count);
    std::vector<Request> found;
    std::size_t pos = 0;
    while (pending_.size() - pos >= 4) {
        const uint8_t* f = pending_.data() + pos;
        if (f[0] != Frames::kRequestStart) {
            ++counters.junkBytes;
            ++pos;
        } else if (Frames::GetCRC8(f, 3) != f[3]) {
            ++counters.badRequests;
            ++pos;
        } else {
            found.push_back({f[1], f[2]});
            ++counters.requests;
            pos += 4;
        }
    }
    // A start byte may lead a request whose other bytes are still on their way.
    while (pos < pending_.size() && pending_[pos] != Frames::kRequestStart) {
        ++counters.junkBytes;
        ++pos;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pos));
    return found;
}

std::vector<uint8_t> Transmission::Bytes() const {
    std::vector<uint8_t> all;
    for (const Segment& s : segments)
        all.insert(all.end(), s.bytes.begin(), s.bytes.end());
    return all;
}

Responder::Responder(const SimOptions& options, SensorBank& bank)
    : options_(options), bank_(bank), rng_(options.seed ^ 0x5EED5EEDu) {}

std::vector<uint8_t> Responder::ConfigPayload(uint8_t address) {
    // Firmware 2.1, address, 19200 baud (code 3), filter 4, three reserved bytes.
    return {0x02, 0x01, address, 0x03, 0x04, 0x00, 0x00, 0x00};
}

bool Responder::Chance(double p) {
    if (p <= 0)
        return false;
    return std::uniform_real_distribution<double>(0, 1)(rng_) < p;
}

bool Responder::Applies(const AddressSet& set, double prob, uint8_t address) {
    return set.test(address) || Chance(prob);
}

std::optional<std::vector<uint8_t>> Responder::Reply(const Request& r) {
    bool known =
        r.address >= kFirstAddress && r.address <= kLastAddress && options_.answer.test(r.address);
    bool command = r.command == Frames::kCmdData || r.command == Frames::kCmdConfig;
    if (!known || !command) {
        ++counters_.ignored;
        return std::nullopt;
    }
    if (options_.silent.test(r.address) || bank_.DroppedOut(r.address) ||
        (r.command == Frames::kCmdConfig && options_.silentCfg.test(r.address))) {
        ++counters_.withheld;
        return std::nullopt;
    }
    if (r.command == Frames::kCmdConfig) {
        ++counters_.cfg;
        return Frames::BuildReply(r.address, Frames::kCmdConfig, ConfigPayload(r.address));
    }
    ++counters_.data;
    return Frames::BuildDataReply(r.address, bank_.Reading(r.address));
}

std::vector<uint8_t> Responder::Faulted(std::vector<uint8_t> reply, uint8_t address) {
    if (Applies(options_.badCrc, options_.badCrcProb, address)) {
        reply.back() ^= 0x5A;
        ++counters_.badCrc;
    }
    if (Applies(options_.join, options_.joinProb, address)) {
        std::vector<uint8_t> twice = reply;
        twice.insert(twice.end(), reply.begin(), reply.end());
        reply = std::move(twice);
        ++counters_.joined;
    }
    if (Applies(options_.stray, options_.strayProb, address)) {
        std::uniform_int_distribution<int> byte(0, 255);
        std::vector<uint8_t> noise(static_cast<std::size_t>(options_.strayBytes));
        for (uint8_t& b : noise)
            b = static_cast<uint8_t>(byte(rng_));
        if (noise[0] == Frames::kReplyStart)
            noise[0] = 0x00; // noise never looks like the start of a reply
        reply.insert(reply.begin(), noise.begin(), noise.end());
        ++counters_.stray;
    }
    return reply;
}

Transmission Responder::Paced(std::vector<uint8_t> bytes, uint8_t address) {
    Transmission t;
    t.delayMs = options_.delayMs;
    if (options_.late.test(address)) {
        t.delayMs = options_.lateMs;
        ++counters_.late;
    }
    std::size_t cut = static_cast<std::size_t>(options_.splitAt);
    if (options_.split.test(address) && cut < bytes.size()) {
        Segment head{0, {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut)}};
        Segment tail{options_.splitPauseMs,
                     {bytes.begin() + static_cast<std::ptrdiff_t>(cut), bytes.end()}};
        t.segments = {std::move(head), std::move(tail)};
        ++counters_.split;
    } else {
        t.segments = {Segment{0, std::move(bytes)}};
    }
    if (Applies(options_.trail, options_.trailProb, address)) {
        // Any byte, the start byte of a reply included: line noise picks no values.
        std::uniform_int_distribution<int> byte(0, 255);
        std::vector<uint8_t> noise(static_cast<std::size_t>(options_.trailBytes));
        for (uint8_t& b : noise)
            b = static_cast<uint8_t>(byte(rng_));
        t.segments.push_back(Segment{options_.trailPauseMs, std::move(noise)});
    }
    return t;
}

std::optional<Transmission> Responder::Answer(const Request& request) {
    std::optional<std::vector<uint8_t>> reply = Reply(request);
    if (!reply)
        return std::nullopt;
    return Paced(Faulted(std::move(*reply), request.address), request.address);
}
