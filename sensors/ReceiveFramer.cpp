#include "ReceiveFramer.h"

#include <algorithm>

void ReceiveFramer::Feed(const uint8_t* bytes, std::size_t count, int64_t nowMs) {
    if (count == 0)
        return;
    const std::size_t room = kQueueLimit - std::min(kQueueLimit, queue_.size());
    const std::size_t kept = std::min(room, count);
    discarded_ += count - kept;
    queue_.insert(queue_.end(), bytes, bytes + kept);
    lastArrival_ = nowMs;
    if (reading_)
        TakeQueued();
}

void ReceiveFramer::StartRead(int64_t nowMs) {
    if (reading_)
        return;
    reading_ = true;
    frame_.clear();
    TakeQueued();
    if (reading_)
        Advance(nowMs); // bytes that have waited longer than the gap end the read at once
}

void ReceiveFramer::Advance(int64_t nowMs) {
    if (reading_ && nowMs - lastArrival_ >= kGapMs)
        Finish();
}

std::optional<int64_t> ReceiveFramer::GapDeadline() const {
    if (!reading_)
        return std::nullopt;
    return lastArrival_ + kGapMs;
}

bool ReceiveFramer::TakeFrame(std::vector<uint8_t>& frame, int64_t* lastByteMs) {
    if (done_.empty())
        return false;
    frame = std::move(done_.front());
    done_.pop_front();
    if (lastByteMs)
        *lastByteMs = doneAt_.front();
    doneAt_.pop_front();
    return true;
}

std::size_t ReceiveFramer::TakeDiscarded() {
    const std::size_t n = discarded_;
    discarded_ = 0;
    return n;
}

void ReceiveFramer::Clear() {
    queue_.clear();
    frame_.clear();
    done_.clear();
    doneAt_.clear();
    reading_ = false;
}

bool ReceiveFramer::Resync(const std::vector<uint8_t>& refused, uint8_t startByte) {
    if (refused.size() < 2)
        return false;
    const auto next = std::find(refused.begin() + 1, refused.end(), startByte);
    if (next == refused.end())
        return false;
    PutBack(std::vector<uint8_t>(next, refused.end()));
    return true;
}

void ReceiveFramer::PutBack(const std::vector<uint8_t>& bytes) {
    // A read that began after these bytes holds later ones: they go back behind them.
    if (reading_) {
        queue_.insert(queue_.begin(), frame_.begin(), frame_.end());
        frame_.clear();
        reading_ = false;
    }
    queue_.insert(queue_.begin(), bytes.begin(), bytes.end());
}

void ReceiveFramer::DropIdle() {
    if (!reading_)
        queue_.clear();
}

void ReceiveFramer::TakeQueued() {
    if (!queue_.empty())
        frameLastAt_ = lastArrival_;
    while (frame_.size() < kMaxFrame && !queue_.empty()) {
        frame_.push_back(queue_.front());
        queue_.pop_front();
    }
    if (frame_.size() == kMaxFrame)
        Finish();
}

void ReceiveFramer::Finish() {
    reading_ = false;
    if (!frame_.empty()) {
        done_.push_back(std::move(frame_));
        doneAt_.push_back(frameLastAt_);
    }
    frame_.clear();
}
