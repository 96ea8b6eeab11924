#include "PollScheduler.h"

#include "DayNumbers.h"
#include "Frames.h"
#include "TankList.h"
#include "TextFormats.h"

#include <cmath>

using S = PollStateTable;

void PollScheduler::Connected(double localNow) {
    period_ = kStartNow;
    lastCfgTime_ = localNow;
}

std::optional<std::array<uint8_t, 4>> PollScheduler::Tick(TankList& tanks, double localNow,
                                                          SilenceSink& sink) {
    if (period_ == kStartNow || period_ == kCyclePause)
        StartCycle(tanks, localNow, sink);
    if (period_ != kRequestPause)
        return std::nullopt;
    return SendNext(localNow);
}

void PollScheduler::StartCycle(TankList& tanks, double localNow, SilenceSink& sink) {
    for (int i = 0; i < tanks.TankCount(); ++i) {
        const TItemNode& node = tanks.Tank(i);
        if (!S::Has(node.id))
            continue; // no entry: such a tank is never polled
        if (!node.Act) {
            states_.Set(node.id, S::kNotPolled);
            continue;
        }
        char next = Judge(node, localNow, sink);
        if (ConfigDue(localNow))
            next = S::kConfigDue;
        states_.Set(node.id, next);
    }
    period_ = kRequestPause;
}

// The state an active tank moves to at cycle start; logs it when its request went unanswered.
char PollScheduler::Judge(const TItemNode& node, double localNow, SilenceSink& sink) {
    const char found = states_.Get(node.id);
    if (found == S::kDataSent || found == S::kConfigSent) {
        const bool config = found == S::kConfigSent;
        if (sink.NameInLog(node.id))
            sink.PutLogLine(SilenceLine(localNow, node, config));
        sink.StoreSilence(node.id);
        return config ? S::kConfigDue : S::kDataDue;
    }
    return found == S::kConfigDue ? S::kConfigDue : S::kDataDue;
}

// Later than the last configuration request (or connection) plus 180 s, to the millisecond.
bool PollScheduler::ConfigDue(double localNow) const {
    const double elapsedMs = std::round((localNow - lastCfgTime_) * kMsPerDay);
    return elapsedMs > kConfigEverySeconds * 1000.0;
}

std::optional<std::array<uint8_t, 4>> PollScheduler::SendNext(double localNow) {
    for (unsigned a = S::kFirst; a <= S::kLast; ++a) {
        const char state = states_.Get(a);
        if (state == S::kDataDue || state == S::kConfigDue) {
            const bool config = state == S::kConfigDue;
            states_.Set(a, config ? S::kConfigSent : S::kDataSent);
            if (a == S::kLast)
                period_ = kCyclePause;
            if (config)
                lastCfgTime_ = localNow;
            return Frames::BuildRequest(static_cast<uint8_t>(a),
                                        config ? Frames::kCmdConfig : Frames::kCmdData);
        }
    }
    period_ = kCyclePause;
    return std::nullopt;
}

std::string PollScheduler::SilenceLine(double localNow, const TItemNode& node, bool config) {
    return TextFormats::DateTime(localNow) + "   " + (config ? "CFG data. " : "") +
           "No answer from sensor \"" + node.Name + "\" (Address " + TextFormats::Int(node.id) +
           ")\r\n";
}
