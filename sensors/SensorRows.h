#pragma once
// The rows the sensor line stores: a DATA row per reading, an ERROR row per silence and per
// active tank when the line goes away. They go through the station's write queue, so a file
// that is busy or full makes them wait in memory instead of losing them; every reading and
// silence then goes on to the later sinks (fuel events, alarms) whatever became of its row.

#include "SensorLink.h"
#include "WriteQueue.h"

#include <exception>
#include <memory>
#include <vector>

class SensorLink::Sink : public SilenceSink, public ReadingSink {
public:
    Sink(SensorLinkContext& ctx, SensorHealth& health, std::function<int64_t()> nowMs,
         std::shared_ptr<WriteQueue> writes);
    void PutLogLine(const std::string& line) override;
    void StoreSilence(unsigned address) override;
    void TakeReading(const Reading& reading) override;
    bool NameInLog(unsigned address) override;
    // One ERROR row of kErrorCodeLineLost per active tank, at the clock's time.
    void StoreLineLost();

    std::vector<ReadingSink*> later;
    OperatorMessages* box = nullptr; // the link's one-box-at-a-time messages

private:
    bool DataTableThere();
    template <class F> void ForEachLater(F&& give, std::exception_ptr failed);

    SensorLinkContext& ctx_;
    SensorHealth& health_;
    std::function<int64_t()> nowMs_;
    std::shared_ptr<WriteQueue> writes_;
};
