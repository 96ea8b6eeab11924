#pragma once
// The poll scheduler: one tick of the poll timer as a pure state machine. A tick may open a
// cycle (judge every active tank's answer to the previous cycle, log the silent ones) and
// sends at most one request; the period it leaves tells the timer when the next tick comes.

#include "PollState.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

class TankList;
struct TItemNode;

// Where the silence of a sensor goes: first a line on top of the Errors log, then one
// ERROR row. A failing row raises, which ends the tick right there.
class SilenceSink {
public:
    virtual ~SilenceSink() = default;
    virtual void PutLogLine(const std::string& line) = 0;
    virtual void StoreSilence(unsigned address) = 0;
    // Whether this silence is named in the Errors log; its ERROR row is stored either way.
    virtual bool NameInLog(unsigned /*address*/) { return true; }
};

class PollScheduler {
public:
    static constexpr int kCyclePause = 60000;  // between two cycles
    static constexpr int kRequestPause = 1000; // between two requests of a cycle
    static constexpr int kStartNow = 1;        // open a cycle at once (after connecting)
    static constexpr int kConfigEverySeconds = 180;

    PollStateTable& States() { return states_; }
    const PollStateTable& States() const { return states_; }
    int Period() const { return period_; }
    void SetPeriod(int ms) { period_ = ms; }
    double LastCfgTime() const { return lastCfgTime_; }

    // The link has been (re)opened: a cycle starts at the next tick.
    void Connected(double localNow);
    // Accepted replies; addresses without an entry are ignored.
    void DataReceived(unsigned address) { states_.Set(address, PollStateTable::kDataReceived); }
    void ConfigReceived(unsigned address) { states_.Set(address, PollStateTable::kConfigReceived); }

    // One tick at the given local time. Returns the request frame to send, if any. When the
    // sink raises, the exception passes through: the tank being judged keeps its state,
    // the tanks after it are not judged, the period is unchanged and nothing is sent.
    std::optional<std::array<uint8_t, 4>> Tick(TankList& tanks, double localNow, SilenceSink& sink);

    // "dd/mm/yyyy hh:mm:ss   No answer from sensor "Name" (Address n)" + CR LF, or the
    // "CFG data. " kind for a configuration request left unanswered.
    static std::string SilenceLine(double localNow, const TItemNode& node, bool config);

private:
    void StartCycle(TankList& tanks, double localNow, SilenceSink& sink);
    char Judge(const TItemNode& node, double localNow, SilenceSink& sink);
    bool ConfigDue(double localNow) const;
    std::optional<std::array<uint8_t, 4>> SendNext(double localNow);

    PollStateTable states_;
    int period_ = kCyclePause;
    double lastCfgTime_ = 0;
};
