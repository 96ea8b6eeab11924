#include "PacedLine.h"

#include <algorithm>

void PacedLine::Queue(double nowMs, const Transmission& t) {
    Pending p{nowMs + t.delayMs, t.segments};
    // Keep start order; an answer due at the same time as another goes after it.
    auto at = std::upper_bound(waiting_.begin(), waiting_.end(), p.startMs,
                               [](double s, const Pending& q) { return s < q.startMs; });
    waiting_.insert(at, std::move(p));
}

void PacedLine::SkipEmptySegments() {
    // A segment with no bytes only adds its pause to the next one.
    double carried = 0;
    while (segment_ < current_.size() && current_[segment_].bytes.empty()) {
        carried += current_[segment_].pauseMs;
        ++segment_;
    }
    if (segment_ < current_.size())
        nextAt_ += carried + current_[segment_].pauseMs;
    index_ = 0;
}

void PacedLine::Start() {
    Pending p = std::move(waiting_.front());
    waiting_.pop_front();
    current_ = std::move(p.segments);
    segment_ = 0;
    nextAt_ = std::max(p.startMs, freeAt_);
    SkipEmptySegments();
    busy_ = segment_ < current_.size();
    nextAt_ += byteMs_;
}

std::optional<double> PacedLine::NextDueMs() const {
    if (busy_)
        return nextAt_;
    for (const Pending& p : waiting_) {
        double at = std::max(p.startMs, freeAt_);
        for (const Segment& s : p.segments) {
            at += s.pauseMs;
            if (!s.bytes.empty())
                return at + byteMs_;
        }
    }
    return std::nullopt;
}

std::vector<uint8_t> PacedLine::Take(double nowMs) {
    std::vector<uint8_t> out;
    while (true) {
        if (!busy_) {
            std::optional<double> due = NextDueMs();
            if (!due || *due > nowMs)
                break;
            while (!busy_ && !waiting_.empty())
                Start(); // answers with no bytes at all are dropped here
            if (!busy_)
                break;
        }
        if (nextAt_ > nowMs)
            break;
        out.push_back(current_[segment_].bytes[index_]);
        freeAt_ = nextAt_;
        if (++index_ < current_[segment_].bytes.size()) {
            nextAt_ += byteMs_;
            continue;
        }
        ++segment_;
        SkipEmptySegments();
        if (segment_ < current_.size()) {
            nextAt_ += byteMs_;
        } else {
            busy_ = false;
        }
    }
    return out;
}
