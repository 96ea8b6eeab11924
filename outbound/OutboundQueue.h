#pragma once
// What waits for the broker: retained states by topic (a newer state of a topic replaces the
// one waiting, so the newest state wins however long the broker was away) and events in
// order, at most `maxEvents` of them (the oldest go first when the broker stays away).
// Pure: no locks, no clock; the worker guards it.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>

struct OutboundMessage {
    std::string topic;
    std::string payload;
    bool retained = false;
};

class OutboundQueue {
public:
    explicit OutboundQueue(std::size_t maxEvents = 1000, std::size_t maxStates = 4000)
        : maxEvents_(maxEvents), maxStates_(maxStates) {}

    void Push(OutboundMessage m);
    // The next message to send: states first (oldest change first), then events in order.
    std::optional<OutboundMessage> Pop();
    // Puts a message that could not be sent back in front, unless a newer state of its
    // topic came meanwhile.
    void PushFront(OutboundMessage m);

    std::size_t Size() const { return states_.size() + events_.size(); }
    // Messages given up since the start because the queue was full.
    uint64_t Dropped() const { return dropped_; }

private:
    std::size_t maxEvents_, maxStates_;
    // A state's topic keeps its place in the order of its first change while it waits.
    std::map<std::string, std::pair<uint64_t, std::string>> states_;
    std::map<uint64_t, std::string> stateOrder_;
    // Pushed states count up from here, states put back count down below it.
    static constexpr uint64_t kFirstSeq = uint64_t(1) << 40;
    uint64_t nextSeq_ = kFirstSeq;
    uint64_t frontSeq_ = kFirstSeq - 1;
    std::deque<OutboundMessage> events_;
    uint64_t dropped_ = 0;
};
