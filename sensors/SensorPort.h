#pragma once
// The serial port as the sensor line uses it. Failures never raise out of Open, Close, Read
// or Abort: they come back through onError with the operating system's kind of code, where
// 2 means the named port does not exist and 5 that access is denied or the device is gone.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The kind of operation that failed.
enum class TComException { Open, Close, Setup, Read, Write, Abort, Other };

struct PortError {
    TComException kind = TComException::Other;
    std::string comportMessage; // the component's text for the operation
    int64_t winError = 0;       // 2, 5 or any other code
    std::string winMessage;     // the platform's text for it
};

inline constexpr int64_t kErrorPortAbsent = 2;
inline constexpr int64_t kErrorAccessDenied = 5;

class SensorPort {
public:
    virtual ~SensorPort() = default;
    virtual void SetPortName(const std::string& name) = 0; // taken at the next Open
    // Opens with 19200 baud 8N1, no flow control, DTR and RTS off; input queued before
    // the opening is discarded. Nothing happens when already open.
    virtual void Open() = 0;
    // Cancels pending I/O, discards what is queued and closes; nothing when closed.
    virtual void Close() = 0;
    virtual bool Connected() const = 0;
    // Hands the bytes to the line; returns the count taken. May raise when the write fails
    // in a way the port could not report through onError.
    virtual int64_t Write(const uint8_t* bytes, std::size_t count) = 0;
    // Takes at most `max` of the bytes waiting, without waiting for more.
    virtual std::vector<uint8_t> Read(std::size_t max) = 0;
    virtual std::size_t BytesWaiting() const = 0;
    // Cancels reads and writes in progress; received bytes stay queued.
    virtual void Abort() = 0;
    // What identifies the adapter last opened wherever it is plugged in (a USB serial
    // number), still told after the port closed or the device went away; empty when the
    // platform tells nothing. Asked only when the port must be found again.
    virtual std::string Identity() const { return {}; }

    std::function<void()> onReceive;               // bytes have arrived
    std::function<void(const PortError&)> onError; // an operation failed
};
