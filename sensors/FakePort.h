#pragma once
// A port for tests: bytes arrive when the test injects them (usually from a scheduled
// action of a ManualTimeline), writes are recorded, and every operation fails on demand.

#include "SensorPort.h"

#include <deque>
#include <optional>
#include <set>

class FakePort : public SensorPort {
public:
    void SetPortName(const std::string& name) override { name_ = name; }
    void Open() override;
    void Close() override;
    bool Connected() const override { return open_; }
    int64_t Write(const uint8_t* bytes, std::size_t count) override;
    std::vector<uint8_t> Read(std::size_t max) override;
    std::size_t BytesWaiting() const override { return queue_.size(); }
    void Abort() override;
    std::string Identity() const override { return everOpened_ ? identity : std::string(); }

    // Bytes arriving now; dropped when the port is closed, as on a real line.
    void Inject(const std::vector<uint8_t>& bytes);
    // Reports a failure as the platform would (for example the device going away).
    void Fail(int64_t code, TComException kind = TComException::Read);

    const std::string& Name() const { return name_; }

    // Names that open; any other name fails with code 2. Empty: every name opens.
    std::set<std::string> present;
    std::optional<int64_t> openFailure;  // fails every opening with this code
    std::optional<int64_t> abortFailure; // each Abort reports this code
    bool throwOnWrite = false;
    std::function<void(const std::vector<uint8_t>&)> onWrite; // the far end sees a frame
    std::string identity; // the adapter's serial number, told once it was opened

    std::vector<std::vector<uint8_t>> written;
    int opens = 0, closes = 0, aborts = 0;

private:
    void Report(TComException kind, int64_t code, const char* what);
    std::string name_;
    bool open_ = false;
    bool everOpened_ = false;
    std::deque<uint8_t> queue_;
};
