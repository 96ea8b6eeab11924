#pragma once
// The sensor line as the main window holds it: the serial port, the receive framer, the
// poll scheduler and their timers. The main window's handlers only call these methods;
// every decision is made here or below, and nothing raised here ever reaches the event loop.

#include "Conditions.h"
#include "LinkTimer.h"
#include "PollScheduler.h"
#include "Reading.h"
#include "ReceiveFramer.h"
#include "ReconnectPolicy.h"
#include "SensorHealth.h"
#include "SensorPort.h"

#include <QObject>
#include <QString>

#include <bitset>
#include <functional>
#include <memory>
#include <string>

class TankList;
class TSQLiteDatabase;
class WriteQueue;
class SQLiteError;
class Clock;

inline constexpr const char* kMsgSelectPort = "Please Select COM Port Number";
inline constexpr const char* kMsgPortAbsent = "ComPort absent (%s). Please select another port.";
inline constexpr const char* kMsgSendFailed = "Could not send data to the COM port";
// ERROR codes: a sensor that did not answer its poll, and the time without a line.
inline constexpr int kErrorCodeSilent = 1;
inline constexpr int kErrorCodeLineLost = 2;

// What the link uses of the station; all outlive the link.
struct SensorLinkContext {
    TankList& tanks;
    TSQLiteDatabase& db;
    const Clock& clock;
    // Where failures go; none is shown from inside the link's handlers.
    Conditions& conditions;
    std::function<QString()> portName; // the configured port, read at every connection
    // Puts one log line (8-bit text ending in CR LF) on top of the Errors log.
    std::function<void(const std::string&)> putLogLine;
    // The line was lost (false) or is back (true), at the given local time.
    std::function<void(bool up, double localAt)> lineChanged = {};
    // The adapter came back under another name; the configuration should follow it.
    std::function<void(const QString&)> portMoved = {};
    // What became of rows the file did not take at once ("n readings waiting to be stored",
    // then stored): one line each time, for the status bar. The Errors log gets the same
    // line through putLogLine either way.
    std::function<void(const std::string&)> storageNotice = {};
};

// The devices the link drives: the real ones for the station, manual ones for tests.
struct SensorLinkDevices {
    std::unique_ptr<SensorPort> port;
    std::unique_ptr<LinkTimer> pollTimer;  // Timer1, periodic
    std::unique_ptr<LinkTimer> gapTimer;   // ends a read 200 ms after the last byte
    std::unique_ptr<LinkTimer> retryTimer; // the next try of a lost line
    std::unique_ptr<LinkTimer> storeTimer; // the next try of rows waiting to be stored
    std::function<int64_t()> monotonicMs;
    // The name under which the adapter with this identity is present now; empty if none.
    std::function<std::string(const std::string& identity)> findPort = {};

    // TComPort and QTimers on the calling (GUI) thread.
    static SensorLinkDevices Station();
    // Timers and time of the given time line, with the given port (usually a FakePort).
    static SensorLinkDevices Manual(ManualTimeline& line, std::unique_ptr<SensorPort> port);
};

class SensorLink : public QObject, public SensorStatus {
    Q_OBJECT
public:
    explicit SensorLink(SensorLinkContext context,
                        SensorLinkDevices devices = SensorLinkDevices::Station(),
                        QObject* parent = nullptr);
    ~SensorLink() override;

    // (Re)opens the port under the configured name and starts a poll cycle at once. Stops
    // the tries of a lost line; when the opening fails, the line counts as lost. What the
    // operator must be told is reported and shown after this has returned, so it never
    // runs inside itself.
    void DeviceConnect();
    // Writes one request frame; nothing when the port is not connected.
    void SendData(const uint8_t* bytes, std::size_t count);
    // The receive handler: with more than 8 bytes waiting, reads one reply frame.
    void ComPort1RxChar(int Count);
    // Answers port failures by the low 32 bits of WinError: 2 absent, 5 access denied. A
    // failure of the abort that answers one is not answered again.
    void ComPort1Exception(TComException kind, const std::string& ComportMessage, int64_t WinError,
                           const std::string& WinMessage);
    // The poll timer's tick.
    void Timer1Timer();

    // A sink that takes every reading and silence after the DATA or ERROR row (fuel events,
    // alarms); it must outlive the link. A reading whose row failed still goes to every
    // such sink (the tile shows it, and an alarm must not wait for the disk), and only then
    // is the failure reported.
    void AddReadingSink(ReadingSink& sink);

    PollScheduler& Scheduler() { return scheduler_; }
    SensorPort& Port() { return *devices_.port; }
    LinkTimer& Timer1() { return *devices_.pollTimer; }
    LinkTimer& RetryTimer() { return *devices_.retryTimer; }
    SensorHealth& Health() { return health_; }
    const SensorHealth& Health() const { return health_; }
    const ReconnectPolicy& Reconnection() const { return reconnect_; }

    // Every write of the station's main connection (DATA, ERROR, EVENTS, marks) goes through
    // this queue, in order; rows the file does not take wait in it. Shared with whatever
    // else writes on the same connection (fuel events).
    const std::shared_ptr<WriteQueue>& Writes() const { return writes_; }
    // Tries the waiting rows (at exit); returns how many could not be stored.
    std::size_t StoreWaitingRows();

    // SensorStatus
    bool LineUp() const override;
    std::optional<double> LastReply(unsigned address) const override;
    bool Failing(unsigned address) const override;

private:
    class Sink;

    void OnPortReceive();
    void OnGapTimeout();
    void ArmGapTimer();
    void DispatchFrames();
    void HandleFrame(const std::vector<uint8_t>& frame, int64_t lastByteMs);
    void HandleData(const std::vector<uint8_t>& frame, int64_t lastByteMs);
    void LogImplausible(const std::vector<uint8_t>& frame);
    bool RefuseNotSerial(const std::string& name, bool operatorChoice);
    void LineLost();
    void LineBack();
    void Retry();
    bool TryOpen(const std::string& name);
    void StoreLineLost();
    void ReportStorageFailure(const SQLiteError& e);
    void ReportPortAbsent();
    void ReportOverrun(std::size_t discarded);
    void Log(const std::string& text);
    void DiscardReceived();
    void ApplyPeriod();
    void AfterFailedTick();
    int64_t NowMs() const { return devices_.monotonicMs(); }
    void RetryWaitingRows();
    void ArmStoreTimer();
    void TellStorage(const std::string& text);

    SensorLinkContext ctx_;
    SensorLinkDevices devices_;
    ReceiveFramer framer_;
    PollScheduler scheduler_;
    std::shared_ptr<WriteQueue> writes_;
    // What the storage helpers and the handlers' guard say becomes a condition.
    ConditionMessages reports_;
    std::unique_ptr<Sink> sink_;
    ReconnectPolicy reconnect_;
    SensorHealth health_;
    bool quietOpen_ = false; // a retry's opening: its failures show nothing
    // An overrun of the input queue is written to the Errors log at most once an hour.
    static constexpr int64_t kOverrunLogMs = 3600000;
    std::optional<int64_t> overrunLoggedAt_;
    std::size_t overrunBytes_ = 0;
    std::string notSerialTold_;        // the last name told to be no serial port
    std::bitset<256> implausibleTold_; // sensors whose readings that are no level were logged
};
