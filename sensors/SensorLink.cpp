#include "SensorLink.h"

#include "Clock.h"
#include "ComPort.h"
#include "Frames.h"
#include "OperatorMessages.h"
#include "PortKind.h"
#include "ProcessData.h"
#include "ReadingCheck.h"
#include "SQLiteDatabase.h"
#include "SensorRows.h"
#include "Statements.h"
#include "TankList.h"
#include "TextFormats.h"

#include <chrono>
#include <exception>

SensorLinkDevices SensorLinkDevices::Station() {
    SensorLinkDevices d;
    d.port = std::make_unique<TComPort>();
    d.pollTimer = std::make_unique<QtLinkTimer>(false);
    d.gapTimer = std::make_unique<QtLinkTimer>(true);
    d.retryTimer = std::make_unique<QtLinkTimer>(true);
    d.storeTimer = std::make_unique<QtLinkTimer>(false);
    d.findPort = FindPortByIdentity;
    d.monotonicMs = [] {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    };
    return d;
}

SensorLinkDevices SensorLinkDevices::Manual(ManualTimeline& line,
                                            std::unique_ptr<SensorPort> port) {
    SensorLinkDevices d;
    d.port = std::move(port);
    d.pollTimer = line.NewTimer(false);
    d.gapTimer = line.NewTimer(true);
    d.retryTimer = line.NewTimer(true);
    d.storeTimer = line.NewTimer(false);
    d.monotonicMs = [&line] { return line.NowMs(); };
    return d;
}

SensorLink::SensorLink(SensorLinkContext context, SensorLinkDevices devices, QObject* parent)
    : QObject(parent), ctx_(std::move(context)), devices_(std::move(devices)),
      // The queue may outlive the link (fuel events share it): its time is the devices'.
      writes_(std::make_shared<WriteQueue>(ctx_.db, devices_.monotonicMs)),
      reports_(ctx_.conditions), sink_(std::make_unique<Sink>(
                                     ctx_, health_, [this] { return NowMs(); }, writes_)) {
    sink_->box = &reports_;
    writes_->onChange = [this](const WriteQueue::Change& c) {
        const std::string n = std::to_string(c.count);
        switch (c.kind) {
        case WriteQueue::Change::Waiting:
            TellStorage(n + " readings waiting to be stored (" + c.reason + ")");
            break;
        case WriteQueue::Change::Stored:
            TellStorage(n + " waiting readings stored" +
                        (c.lost ? ", " + std::to_string(c.lost) + " could not be stored" : ""));
            break;
        case WriteQueue::Change::Lost:
            TellStorage("Readings could not be stored and are lost (" + c.reason + ")");
            break;
        }
    };
    if (devices_.storeTimer) {
        devices_.storeTimer->SetInterval(static_cast<int>(WriteQueue::kRetryMs));
        devices_.storeTimer->onTimeout = [this] { Guarded(reports_, [&] { RetryWaitingRows(); }); };
    }
    SensorPort& port = *devices_.port;
    port.onReceive = [this] { Guarded(reports_, [&] { OnPortReceive(); }); };
    port.onError = [this](const PortError& e) {
        Guarded(reports_,
                [&] { ComPort1Exception(e.kind, e.comportMessage, e.winError, e.winMessage); });
    };
    devices_.gapTimer->onTimeout = [this] { Guarded(reports_, [&] { OnGapTimeout(); }); };
    devices_.pollTimer->onTimeout = [this] { Guarded(reports_, [&] { Timer1Timer(); }); };
    devices_.retryTimer->onTimeout = [this] { Guarded(reports_, [&] { Retry(); }); };
    // Timer1 runs from creation with the pause between cycles.
    ApplyPeriod();
    devices_.pollTimer->SetEnabled(true);
}

SensorLink::~SensorLink() {
    devices_.port->onReceive = nullptr;
    devices_.port->onError = nullptr;
    devices_.pollTimer->onTimeout = nullptr;
    devices_.gapTimer->onTimeout = nullptr;
    devices_.retryTimer->onTimeout = nullptr;
    if (devices_.storeTimer)
        devices_.storeTimer->onTimeout = nullptr;
    devices_.port->Close();
    // The queue may outlive the link (fuel events share it): it must not call back here.
    writes_->onChange = nullptr;
}

std::size_t SensorLink::StoreWaitingRows() {
    return writes_->StoreBeforeExit();
}

void SensorLink::RetryWaitingRows() {
    if (writes_->Retry() == 0 && devices_.storeTimer)
        devices_.storeTimer->SetEnabled(false);
}

// Rows may start waiting after any write of the connection, the fuel events' included.
void SensorLink::ArmStoreTimer() {
    if (devices_.storeTimer && writes_->Waiting() > 0 && !devices_.storeTimer->Enabled())
        devices_.storeTimer->SetEnabled(true);
}

// The one place where the fate of waiting rows is told.
void SensorLink::TellStorage(const std::string& text) {
    Log(text);
    if (ctx_.storageNotice)
        ctx_.storageNotice(text);
}

void SensorLink::AddReadingSink(ReadingSink& sink) {
    sink_->later.push_back(&sink);
}

void SensorLink::DeviceConnect() {
    const QString name = ctx_.portName ? ctx_.portName() : QString();
    if (name.isEmpty()) {
        ctx_.conditions.Report({kMsgSelectPort, kMsgSelectPort, true, Condition::Then::ChoosePort});
        return;
    }
    // The operator's choice (or the start) ends the tries for whatever port was lost.
    const bool wasDown = reconnect_.Retrying();
    reconnect_.Stop();
    devices_.retryTimer->SetEnabled(false);
    if (RefuseNotSerial(name.toStdString(), true))
        return;
    devices_.port->Close();
    DiscardReceived();
    devices_.port->SetPortName(name.toStdString());
    // A failure is answered inside Open: reported, and the line counts as lost below.
    devices_.port->Open();
    if (!devices_.port->Connected()) {
        // Nothing would reach the sensors: rather than logging every one of them as
        // silent each cycle, polling rests and the port is tried again by itself.
        devices_.pollTimer->SetEnabled(false);
        LineLost();
        return;
    }
    scheduler_.Connected(ctx_.clock.LocalNow());
    ApplyPeriod();
    devices_.pollTimer->SetEnabled(true);
    if (wasDown)
        LineBack();
}

void SensorLink::SendData(const uint8_t* bytes, std::size_t count) {
    if (!devices_.port->Connected())
        return;
    try {
        devices_.port->Write(bytes, count);
    } catch (...) {
        devices_.pollTimer->SetEnabled(false);
        ctx_.conditions.Report({kMsgSendFailed, kMsgSendFailed});
    }
}

void SensorLink::ComPort1RxChar(int Count) {
    if (Count <= 8)
        return; // a reply has at least 9 bytes: wait for more
    framer_.StartRead(NowMs());
    ArmGapTimer();
    DispatchFrames();
}

void SensorLink::ComPort1Exception(TComException kind, const std::string&, int64_t WinError,
                                   const std::string&) {
    // The abort below may fail in its turn; the close and the retries answer that too.
    if (kind == TComException::Abort)
        return;
    if (quietOpen_ && static_cast<uint32_t>(WinError) == kErrorPortAbsent)
        return; // a retry that did not find the port yet: no box per try
    switch (static_cast<uint32_t>(WinError)) {
    case kErrorPortAbsent:
        ReportPortAbsent();
        break;
    case kErrorAccessDenied:
        if (quietOpen_)
            return; // a retry that found the port still busy
        devices_.pollTimer->SetEnabled(false);
        devices_.port->Abort();
        ctx_.conditions.Beep();
        // The device has gone (or another program holds the port): our side is closed
        // and the same port is tried again until it answers.
        devices_.port->Close();
        DiscardReceived();
        LineLost();
        break;
    default:
        break;
    }
}

void SensorLink::Timer1Timer() {
    Guarded(reports_, [&] {
        try {
            writes_->Retry();
            auto frame = scheduler_.Tick(ctx_.tanks, ctx_.clock.LocalNow(), *sink_);
            ArmStoreTimer();
            ApplyPeriod();
            if (frame) {
                // Bytes that came while nothing was asked (line noise) must not lead the reply.
                framer_.DropIdle();
                health_.RequestSent((*frame)[1], NowMs());
                SendData(frame->data(), frame->size());
            }
        } catch (...) {
            AfterFailedTick();
            throw;
        }
    });
}

// A cycle start that failed on its ERROR row is tried again a cycle later: right after a
// connection the period is 1 ms, and retrying at once would log the same line and fail
// again a thousand times a second.
void SensorLink::AfterFailedTick() {
    if (scheduler_.Period() == PollScheduler::kStartNow) {
        scheduler_.SetPeriod(PollScheduler::kCyclePause);
        ApplyPeriod();
    }
}

void SensorLink::ApplyPeriod() {
    devices_.pollTimer->SetInterval(scheduler_.Period());
}

void SensorLink::OnPortReceive() {
    const std::vector<uint8_t> bytes = devices_.port->Read(devices_.port->BytesWaiting());
    framer_.Feed(bytes.data(), bytes.size(), NowMs());
    if (const std::size_t discarded = framer_.TakeDiscarded())
        ReportOverrun(discarded);
    if (framer_.Reading())
        ArmGapTimer();
    else
        ComPort1RxChar(static_cast<int>(framer_.Waiting()));
    DispatchFrames();
}

void SensorLink::OnGapTimeout() {
    framer_.Advance(NowMs());
    ArmGapTimer();
    DispatchFrames();
}

void SensorLink::ArmGapTimer() {
    if (auto deadline = framer_.GapDeadline())
        devices_.gapTimer->Start(static_cast<int>(std::max<int64_t>(0, *deadline - NowMs())));
    else
        devices_.gapTimer->SetEnabled(false);
}

// Frames are taken before they are handled, so the framer is never seen half way.
void SensorLink::DispatchFrames() {
    std::vector<uint8_t> frame;
    int64_t lastByteMs = 0;
    while (framer_.TakeFrame(frame, &lastByteMs)) {
        HandleFrame(frame, lastByteMs);
        if (!framer_.Reading() && framer_.Waiting() > 8) {
            framer_.StartRead(NowMs());
            ArmGapTimer();
        }
    }
}

void SensorLink::HandleFrame(const std::vector<uint8_t>& frame, int64_t lastByteMs) {
    // A frame always has at least 9 bytes when the read started on 9 waiting; a shorter
    // one (a handler called with a wrong count) is refused like any bad frame.
    if (frame.size() < 4 || !Frames::CheckReply(frame)) {
        // Noise that came right behind a reply, inside its gap: the reply as the sensors
        // send it (9 bytes of data, 12 of configuration) is taken, the rest read again.
        const std::size_t usual = frame.size() > 2 && frame[2] == Frames::kCmdConfig
                                      ? Frames::kConfigReplyLength
                                      : Frames::kMinReply;
        if (frame.size() > usual && Frames::CheckReply(frame.data(), usual)) {
            framer_.PutBack(std::vector<uint8_t>(frame.begin() + static_cast<std::ptrdiff_t>(usual),
                                                 frame.end()));
            HandleFrame(std::vector<uint8_t>(frame.begin(),
                                             frame.begin() + static_cast<std::ptrdiff_t>(usual)),
                        lastByteMs);
            return;
        }
        if (framer_.Resync(frame, Frames::kReplyStart))
            return; // read again from the start byte that noise ran in front of
        health_.Refused(SensorHealth::Refusal::Crc, frame.size() > 1 ? frame[1] : 0);
        ctx_.conditions.Beep();
        return;
    }
    const unsigned address = frame[1];
    // The reply is taken whoever sent it; the counts note that the one asked did not answer.
    if (const auto awaited = health_.Awaited(); awaited && *awaited != address)
        health_.Refused(SensorHealth::Refusal::Address, address);
    switch (frame[2]) {
    case Frames::kCmdConfig:
        if (frame.size() == Frames::kConfigReplyLength) {
            scheduler_.ConfigReceived(address);
            health_.GoodReply(address, lastByteMs, ctx_.clock.LocalNow());
        } else {
            health_.Refused(SensorHealth::Refusal::Length, address);
        }
        break;
    case Frames::kCmdData:
        HandleData(frame, lastByteMs);
        break;
    default:
        break;
    }
}

// The sensor answered whatever becomes of its row: a row the file does not take waits in
// the queue, and one that fails for good is reported, but the address is never logged as
// silent for it.
void SensorLink::HandleData(const std::vector<uint8_t>& frame, int64_t lastByteMs) {
    scheduler_.DataReceived(frame[1]);
    health_.GoodReply(frame[1], lastByteMs, ctx_.clock.LocalNow());
    Guarded(reports_, [&] {
        try {
            ProcessData(ctx_.tanks, ctx_.clock, *sink_, frame[1], frame.data() + 3,
                        frame.size() - 4);
        } catch (const SQLiteError& e) {
            ReportStorageFailure(e);
        }
        ArmStoreTimer();
        LogImplausible(frame);
    });
}

// A name that can never be a line is told once, and neither polled nor tried again; the
// operator's next choice (or the same one, mended) connects anew.
bool SensorLink::RefuseNotSerial(const std::string& name, bool operatorChoice) {
    if (!NotASerialPort(name))
        return false;
    reconnect_.Stop();
    devices_.retryTimer->SetEnabled(false);
    devices_.pollTimer->SetEnabled(false);
    devices_.port->Close();
    DiscardReceived();
    if (notSerialTold_ != name) {
        notSerialTold_ = name;
        const std::string text = name + " is not a serial port";
        Log(text);
        if (operatorChoice)
            ctx_.conditions.Report({text, text + ". Please select another port."});
    }
    return true;
}

// Once per sensor and run: a sensor that sends no level keeps sending none, every cycle.
void SensorLink::LogImplausible(const std::vector<uint8_t>& frame) {
    Frames::DataReading data;
    const int index = ctx_.tanks.FindIndex(frame[1]);
    if (index < 0 || !Frames::DecodeData(frame.data() + 3, frame.size() - 4, data))
        return;
    const ReadingFault fault = CheckReading(data.flc, data.temp);
    if (fault == ReadingFault::None || implausibleTold_.test(frame[1]))
        return;
    implausibleTold_.set(frame[1]);
    Log("Sensor \"" + ctx_.tanks.Tank(index).Name + "\" (Address " + std::to_string(frame[1]) +
        "): " + ReadingFaultText(fault, data.flc, data.temp) +
        "; such readings are stored without litres");
}

void SensorLink::DiscardReceived() {
    framer_.Clear();
    devices_.gapTimer->SetEnabled(false);
}

bool SensorLink::LineUp() const {
    return devices_.port->Connected() && !reconnect_.Retrying();
}

std::optional<double> SensorLink::LastReply(unsigned address) const {
    return health_.Counts(address).lastReply;
}

bool SensorLink::Failing(unsigned address) const {
    return health_.Failing(address);
}

void SensorLink::Log(const std::string& text) {
    if (ctx_.putLogLine)
        ctx_.putLogLine(TextFormats::DateTime(ctx_.clock.LocalNow()) + "   " + text + "\r\n");
}

// A babbling device (or a long stall of the station) overran the input queue: one line,
// and at most one an hour, with the bytes discarded meanwhile.
void SensorLink::ReportOverrun(std::size_t discarded) {
    overrunBytes_ += discarded;
    if (overrunLoggedAt_ && NowMs() - *overrunLoggedAt_ < kOverrunLogMs)
        return;
    overrunLoggedAt_ = NowMs();
    Log("Input queue full: " + std::to_string(overrunBytes_) + " bytes from the line discarded");
    overrunBytes_ = 0;
}
