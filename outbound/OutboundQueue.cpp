#include "OutboundQueue.h"

void OutboundQueue::Push(OutboundMessage m) {
    if (m.retained) {
        auto it = states_.find(m.topic);
        if (it != states_.end()) {
            it->second.second = std::move(m.payload);
            return;
        }
        if (states_.size() >= maxStates_) {
            ++dropped_;
            return;
        }
        const uint64_t seq = nextSeq_++;
        stateOrder_[seq] = m.topic;
        states_[m.topic] = {seq, std::move(m.payload)};
        return;
    }
    if (events_.size() >= maxEvents_) {
        events_.pop_front();
        ++dropped_;
    }
    events_.push_back(std::move(m));
}

std::optional<OutboundMessage> OutboundQueue::Pop() {
    if (!stateOrder_.empty()) {
        auto first = stateOrder_.begin();
        auto it = states_.find(first->second);
        OutboundMessage m{it->first, std::move(it->second.second), true};
        states_.erase(it);
        stateOrder_.erase(first);
        return m;
    }
    if (events_.empty())
        return std::nullopt;
    OutboundMessage m = std::move(events_.front());
    events_.pop_front();
    return m;
}

void OutboundQueue::PushFront(OutboundMessage m) {
    if (!m.retained) {
        if (events_.size() >= maxEvents_) {
            ++dropped_;
            return;
        }
        events_.push_front(std::move(m));
        return;
    }
    if (states_.count(m.topic))
        return; // a newer state of the topic is waiting
    const uint64_t seq = frontSeq_--;
    stateOrder_[seq] = m.topic;
    states_[m.topic] = {seq, std::move(m.payload)};
}
