// The sensor line's reconnection: marking the time without a line, and trying the same
// port (or the same adapter under another name) again until it answers.
#include "SensorLink.h"

#include "Clock.h"
#include "SQLiteDatabase.h"
#include "SensorRows.h"
#include "Statements.h"
#include "TankList.h"

static std::string PortText(const SensorLinkContext& ctx) {
    return ctx.portName ? ctx.portName().toStdString() : std::string();
}

// Once per loss: a log line, the rows that mark the gap, the status; then the first try.
void SensorLink::LineLost() {
    if (reconnect_.Retrying())
        return;
    reconnect_.Lost(NowMs());
    Log("Line lost on " + PortText(ctx_) + ", retrying");
    StoreLineLost();
    if (ctx_.lineChanged)
        ctx_.lineChanged(false, ctx_.clock.LocalNow());
    devices_.retryTimer->Start(static_cast<int>(reconnect_.FirstWait()));
}

void SensorLink::LineBack() {
    Log("Line back on " + PortText(ctx_));
    if (ctx_.lineChanged)
        ctx_.lineChanged(true, ctx_.clock.LocalNow());
}

// One row per active tank, so the level chart marks the time without a line as such.
void SensorLink::StoreLineLost() {
    Guarded(reports_, [&] { sink_->StoreLineLost(); });
    ArmStoreTimer();
}

bool SensorLink::TryOpen(const std::string& name) {
    devices_.port->Close();
    DiscardReceived();
    devices_.port->SetPortName(name);
    quietOpen_ = true;
    devices_.port->Open();
    quietOpen_ = false;
    return devices_.port->Connected();
}

// The same port again; failing that, the same adapter under whatever name it has now.
void SensorLink::Retry() {
    if (!reconnect_.Retrying())
        return;
    const std::string name = PortText(ctx_);
    if (RefuseNotSerial(name, false))
        return;
    bool open = !name.empty() && TryOpen(name);
    const std::string identity = open ? std::string() : devices_.port->Identity();
    if (!identity.empty() && devices_.findPort) {
        const std::string moved = devices_.findPort(identity);
        if (!moved.empty() && moved != name && TryOpen(moved)) {
            open = true;
            if (ctx_.portMoved)
                ctx_.portMoved(QString::fromStdString(moved));
        }
    }
    if (!open) {
        devices_.port->Close();
        devices_.retryTimer->Start(static_cast<int>(reconnect_.Failed(NowMs())));
        return;
    }
    reconnect_.Stop();
    scheduler_.Connected(ctx_.clock.LocalNow());
    ApplyPeriod();
    devices_.pollTimer->SetEnabled(true);
    LineBack();
}
