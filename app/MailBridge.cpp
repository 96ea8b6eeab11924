#include "MailBridge.h"

#include "DailySummary.h"
#include "DayNumbers.h"
#include "FuelEvents.h"
#include "MailWorker.h"
#include "StoredText.h"
#include "TankList.h"
#include "TextFormats.h"

#include <QLabel>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cmath>

MailBridge::MailBridge(MailBridgeContext context, QObject* parent)
    : QObject(parent), ctx_(std::move(context)), stored_(ctx_.clock.UtcNow()) {
    connect(&ctx_.events, &FuelEvents::AlarmTransitioned, this,
            [this](int adr, const AlarmTransition& t) { OnTransition(adr, t); });
    connect(&ctx_.events, &FuelEvents::FuelEventReported, this,
            [this](int adr, const FuelEvent& e) {
                if (e.kind == FuelEventKind::Loss)
                    lossSeen_[adr] = e.tend.value_or(ctx_.clock.UtcNow());
            });
    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, &MailBridge::CheckStale);
    if (!ctx_.dbFile.empty()) {
        summary_ =
            new DailySummary({ctx_.clock, ctx_.dbFile,
                              ctx_.summaryRecord.empty() ? SummaryRecordPath() : ctx_.summaryRecord,
                              ctx_.putLogLine},
                             this);
        connect(timer_, &QTimer::timeout, summary_, &DailySummary::Check);
    }
}

MailBridge::~MailBridge() = default;

void MailBridge::Restart(const MailSettings& settings) {
    if (summary_)
        summary_->Restart(settings, nullptr);
    worker_.reset();
    timer_->stop();
    settings_ = settings;
    limit_ = std::make_unique<MailRateLimit>(settings.rateMinutes);
    if (ctx_.status)
        ctx_.status->hide();
    if (!settings.Configured())
        return;
    QPointer<MailBridge> self(this);
    worker_ = std::make_unique<MailWorker>(settings, [self](const MailWorker::Status& s) {
        QMetaObject::invokeMethod(
            self,
            [self, s] {
                if (!self)
                    return;
                if (self->ctx_.status) {
                    self->ctx_.status->setText(QStringLiteral("Mail: %1 waiting").arg(s.waiting));
                    self->ctx_.status->setVisible(s.waiting > 0);
                }
                if (!s.notice.empty() && self->ctx_.putLogLine)
                    self->ctx_.putLogLine(TextFormats::DateTime(self->ctx_.clock.LocalNow()) +
                                          "   " + s.notice + "\r\n");
            },
            Qt::QueuedConnection);
    });
    if (summary_)
        summary_->Restart(settings, worker_.get());
    timer_->start(30000);
}

int MailBridge::LocalMinute() const {
    const double local = ctx_.clock.LocalNow();
    return static_cast<int>(std::floor((local - std::floor(local)) * kMinutesPerDay + 1e-6)) %
           kMinutesPerDay;
}

void MailBridge::Queue(const Mail::Message& m, const std::string& what) {
    if (worker_ && !m.to.empty())
        worker_->Send({m.to, Mail::Build(m), what, {}});
}

void MailBridge::OnTransition(int adr, const AlarmTransition& t) {
    if (!worker_)
        return;
    const ClockReading now = ctx_.clock.Now();
    double when = t.utc;
    if (const auto seen = lossSeen_.find(adr); t.kind == AlarmKind::Loss && seen != lossSeen_.end())
        when = std::max(when, seen->second);
    if (now.utc - when > kNewsDays)
        return;
    const bool raised = t.from == AlarmState::Cleared && t.to == AlarmState::Unacknowledged;
    const bool cleared = t.to == AlarmState::Cleared;
    if (t.to == AlarmState::Acknowledged)
        limit_->Acknowledged(adr, AlarmEventKind(t.kind));
    if (!raised && !cleared)
        return;
    const std::string kind = AlarmEventKind(t.kind);
    AlarmNotice n;
    n.adr = adr;
    n.alarm = AlarmWord(t.kind);
    n.raised = raised;
    const double offset = now.local - now.utc;
    n.localTime = TextFormats::DateTime(t.utc + offset);
    if (const TItemNode* node = ctx_.tanks.FindNode(static_cast<unsigned>(adr))) {
        n.tank = StoredText::FromStored(node->Name).toStdString();
        n.level = t.litres ? *t.litres : node->FL;
    }
    // The loss the alarm is about, live or found in the history examined at start-up: the
    // litres between its levels, or down to the level now while it goes on.
    const std::optional<FuelEvent> loss = ctx_.events.NewestLoss(adr);
    if (raised && t.kind == AlarmKind::Loss && loss) {
        n.lossFrom = TextFormats::DateTime(loss->tstart + offset);
        if (loss->after) {
            n.lost = static_cast<int32_t>(std::lround(-loss->Amount(true)));
            n.lossTo = TextFormats::DateTime(*loss->tend + offset);
        } else if (const std::optional<int32_t> net = ctx_.events.NetLitres(adr);
                   net && loss->before.net) {
            n.lost = *loss->before.net - *net;
        } else if (n.level) {
            n.lost = loss->before.gross - *n.level;
        }
    }
    const int64_t unix = Mail::UnixTime(now.utc);
    for (const MailRecipient& r : settings_.recipients) {
        if (raised) {
            if (!Mail::Wants(r, kind, LocalMinute()) ||
                !limit_->AllowRaise(adr, kind, r.address, now.utc))
                continue;
            n.heldBack = limit_->TakeHeldBack(adr, kind, r.address);
        } else if (!limit_->AllowClear(adr, kind, r.address)) {
            continue; // only those who had the raise hear of its end
        }
        Queue(Mail::AlarmMessage(settings_, n, {r.address}, unix),
              n.alarm + " alarm of tank " + std::to_string(adr));
    }
}

void MailBridge::TakeReading(const Reading& reading) {
    stored_.Reading(reading.utc, reading.stored, ctx_.unstored ? ctx_.unstored() : 0);
    if (staleMailed_)
        CheckStale();
}

void MailBridge::CheckStale() {
    if (!worker_ || settings_.staleMinutes <= 0)
        return;
    const ClockReading now = ctx_.clock.Now();
    stored_.Waiting(ctx_.unstored ? ctx_.unstored() : 0, now.utc);
    const bool stale =
        now.utc - stored_.Newest() >= double(settings_.staleMinutes) / kMinutesPerDay;
    if (stale == staleMailed_)
        return;
    staleMailed_ = stale;
    const auto to = Mail::RecipientsFor(settings_, "stale", LocalMinute());
    const int64_t unix = Mail::UnixTime(now.utc);
    Queue(Mail::StaleMessage(settings_, settings_.staleMinutes, !stale,
                             TextFormats::DateTime(now.local), to, unix),
          "no reading stored");
}
