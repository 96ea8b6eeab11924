#include "SensorLink.h"

#include "Clock.h"
#include "ComPort.h"
#include "Frames.h"
#include "OperatorMessages.h"
#include "ProcessData.h"
#include "SQLiteDatabase.h"
#include "Statements.h"
#include "TankList.h"

#include <chrono>
#include <exception>

// Where readings and silences go: the Errors log, the DATA and ERROR rows, and then every
// later sink. A failed row does not keep a reading or silence from the later sinks; the
// first failure is raised once they all had it.
class SensorLink::Sink : public SilenceSink, public ReadingSink {
public:
    explicit Sink(SensorLinkContext& ctx) : ctx_(ctx) {}
    void PutLogLine(const std::string& line) override {
        if (ctx_.putLogLine)
            ctx_.putLogLine(line);
    }
    void StoreSilence(unsigned address) override {
        const double utc = ctx_.clock.UtcNow();
        std::exception_ptr failed;
        try {
            ctx_.db.ExecSQL(Sql::InsertError(utc, static_cast<int>(address), 1));
        } catch (...) {
            failed = std::current_exception();
        }
        ForEachLater([&](ReadingSink& s) { s.TakeSilence(address, utc); }, failed);
    }
    void TakeReading(const Reading& reading) override {
        std::exception_ptr failed;
        try {
            StoreDataRow(ctx_.db, *box, reading);
        } catch (...) {
            failed = std::current_exception();
        }
        ForEachLater([&](ReadingSink& s) { s.TakeReading(reading); }, failed);
    }
    std::vector<ReadingSink*> later;
    OperatorMessages* box = nullptr; // the link's one-box-at-a-time messages

private:
    SensorLinkContext& ctx_;
    template <class F> void ForEachLater(F&& give, std::exception_ptr failed) {
        for (ReadingSink* s : later) {
            try {
                give(*s);
            } catch (...) {
                if (!failed)
                    failed = std::current_exception();
            }
        }
        if (failed)
            std::rethrow_exception(failed);
    }
};

// A failure that repeats every cycle or every reply must not stack modal boxes: while one
// is open, further ones are dropped.
class SensorLink::OneBoxAtATime : public OperatorMessages {
public:
    explicit OneBoxAtATime(OperatorMessages& inner) : inner_(inner) {}
    void ShowMessage(const std::string& text) override {
        if (open_)
            return;
        open_ = true;
        try {
            inner_.ShowMessage(text);
        } catch (...) {
            open_ = false;
            throw;
        }
        open_ = false;
    }
    void Beep() override { inner_.Beep(); }

private:
    OperatorMessages& inner_;
    bool open_ = false;
};

SensorLinkDevices SensorLinkDevices::Station() {
    SensorLinkDevices d;
    d.port = std::make_unique<TComPort>();
    d.pollTimer = std::make_unique<QtLinkTimer>(false);
    d.gapTimer = std::make_unique<QtLinkTimer>(true);
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
    d.monotonicMs = [&line] { return line.NowMs(); };
    return d;
}

SensorLink::SensorLink(SensorLinkContext context, SensorLinkDevices devices, QObject* parent)
    : QObject(parent), ctx_(std::move(context)), devices_(std::move(devices)),
      sink_(std::make_unique<Sink>(ctx_)),
      storageBox_(std::make_unique<OneBoxAtATime>(ctx_.messages)) {
    sink_->box = storageBox_.get();
    SensorPort& port = *devices_.port;
    port.onReceive = [this] { Guarded(ctx_.messages, [&] { OnPortReceive(); }); };
    port.onError = [this](const PortError& e) {
        Guarded(ctx_.messages,
                [&] { ComPort1Exception(e.kind, e.comportMessage, e.winError, e.winMessage); });
    };
    devices_.gapTimer->onTimeout = [this] { Guarded(ctx_.messages, [&] { OnGapTimeout(); }); };
    devices_.pollTimer->onTimeout = [this] { Guarded(ctx_.messages, [&] { Timer1Timer(); }); };
    // Timer1 runs from creation with the pause between cycles.
    ApplyPeriod();
    devices_.pollTimer->SetEnabled(true);
}

SensorLink::~SensorLink() {
    devices_.port->onReceive = nullptr;
    devices_.port->onError = nullptr;
    devices_.pollTimer->onTimeout = nullptr;
    devices_.gapTimer->onTimeout = nullptr;
    devices_.port->Close();
}

void SensorLink::AddReadingSink(ReadingSink& sink) {
    sink_->later.push_back(&sink);
}

void SensorLink::DeviceConnect() {
    const QString name = ctx_.portName ? ctx_.portName() : QString();
    if (name.isEmpty()) {
        ctx_.messages.ShowMessage(kMsgSelectPort);
        if (ctx_.showSettings)
            ctx_.showSettings();
        return;
    }
    devices_.port->Close();
    DiscardReceived();
    devices_.port->SetPortName(name.toStdString());
    // A failure is answered inside Open, possibly by a nested DeviceConnect from the
    // Settings dialog; whatever port that left stays as it is.
    devices_.port->Open();
    scheduler_.Connected(ctx_.clock.LocalNow());
    ApplyPeriod();
    devices_.pollTimer->SetEnabled(true);
}

void SensorLink::SendData(const uint8_t* bytes, std::size_t count) {
    if (!devices_.port->Connected())
        return;
    try {
        devices_.port->Write(bytes, count);
    } catch (...) {
        devices_.pollTimer->SetEnabled(false);
        ctx_.messages.ShowMessage(kMsgSendFailed);
    }
}

void SensorLink::ComPort1RxChar(int Count) {
    if (Count <= 8)
        return; // a reply has at least 9 bytes: wait for more
    framer_.StartRead(NowMs());
    ArmGapTimer();
    DispatchFrames();
}

void SensorLink::ComPort1Exception(TComException, const std::string&, int64_t WinError,
                                   const std::string&) {
    switch (static_cast<uint32_t>(WinError)) {
    case kErrorPortAbsent: {
        std::string text = kMsgPortAbsent;
        const QString name = ctx_.portName ? ctx_.portName() : QString();
        text.replace(text.find("%s"), 2, name.toStdString());
        ctx_.messages.ShowMessage(text);
        if (ctx_.showSettings)
            ctx_.showSettings();
        break;
    }
    case kErrorAccessDenied:
        // The abort may fail with code 5 in its turn: that repeat is not answered again.
        if (answeringDenied_)
            return;
        answeringDenied_ = true;
        devices_.pollTimer->SetEnabled(false);
        devices_.port->Abort();
        if (!devices_.port->Connected())
            DiscardReceived();
        answeringDenied_ = false;
        ctx_.messages.Beep();
        break;
    default:
        break;
    }
}

void SensorLink::Timer1Timer() {
    Guarded(*storageBox_, [&] {
        try {
            auto frame = scheduler_.Tick(ctx_.tanks, ctx_.clock.LocalNow(), *sink_);
            ApplyPeriod();
            if (frame)
                SendData(frame->data(), frame->size());
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

// Frames are taken before they are handled, so a handler that shows a modal box (and lets
// later bytes in meanwhile) never sees the framer half way.
void SensorLink::DispatchFrames() {
    std::vector<uint8_t> frame;
    while (framer_.TakeFrame(frame)) {
        HandleFrame(frame);
        if (!framer_.Reading() && framer_.Waiting() > 8) {
            framer_.StartRead(NowMs());
            ArmGapTimer();
        }
    }
}

void SensorLink::HandleFrame(const std::vector<uint8_t>& frame) {
    // A frame always has at least 9 bytes when the read started on 9 waiting; a shorter
    // one (a handler called with a wrong count) is refused like any bad frame.
    if (frame.size() < 4 || !Frames::CheckReply(frame)) {
        ctx_.messages.Beep();
        return;
    }
    const unsigned address = frame[1];
    switch (frame[2]) {
    case Frames::kCmdConfig:
        if (frame.size() == Frames::kConfigReplyLength)
            scheduler_.ConfigReceived(address);
        break;
    case Frames::kCmdData:
        HandleData(frame);
        break;
    default:
        break;
    }
}

// A query that found the file busy raises the bare step text; the operator must still be
// told that another program holds data.db, so the code and its description are added.
static std::string StorageFailureText(const SQLiteError& e) {
    std::string text = e.what();
    if (e.Code() != 0 && text.find("Error [") == std::string::npos)
        text +=
            ".\rError [" + std::to_string(e.Code()) + "]: " + SQLiteCodeDescription(e.Code()) + ".";
    return text;
}

// A failed DATA row is reported and ends only this reply; the address then stays
// unanswered, so the reading's gap shows in the chart as a silence.
void SensorLink::HandleData(const std::vector<uint8_t>& frame) {
    Guarded(*storageBox_, [&] {
        try {
            ProcessData(ctx_.tanks, ctx_.clock, *sink_, frame[1], frame.data() + 3,
                        frame.size() - 4);
        } catch (const SQLiteError& e) {
            storageBox_->ShowMessage(StorageFailureText(e));
            return;
        }
        scheduler_.DataReceived(frame[1]);
    });
}

void SensorLink::DiscardReceived() {
    framer_.Clear();
    devices_.gapTimer->SetEnabled(false);
}
