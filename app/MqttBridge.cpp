#include "MqttBridge.h"

#include "FuelEvents.h"
#include "MqttWorker.h"
#include "StoredText.h"
#include "TankList.h"
#include "TextFormats.h"

#include <QLabel>
#include <QPointer>
#include <QTimer>

MqttBridge::MqttBridge(MqttBridgeContext context, QObject* parent)
    : QObject(parent), ctx_(std::move(context)) {
    connect(&ctx_.events, &FuelEvents::AlarmChanged, this, [this](int adr) { PublishTank(adr); });
    connect(&ctx_.events, &FuelEvents::FuelEventReported, this,
            [this](int adr, const FuelEvent& e) {
                // Found, and then final: the steps between are the detector's own business.
                if (worker_ && (!e.tend || e.closed))
                    Publish(Mqtt::FuelEventMessage(settings_, adr, Name(adr), e));
            });
    connect(&ctx_.events, &FuelEvents::AlarmTransitioned, this,
            [this](int adr, const AlarmTransition& t) {
                if (worker_)
                    Publish(Mqtt::AlarmChangeMessage(settings_, adr, Name(adr), t));
            });
    if (ctx_.unstored) {
        unstoredTimer_ = new QTimer(this);
        connect(unstoredTimer_, &QTimer::timeout, this, [this] { Unsent(backlog_.second); });
        unstoredTimer_->start(5000);
    }
}

MqttBridge::~MqttBridge() = default;

void MqttBridge::Restart(const MqttSettings& settings) {
    worker_.reset();
    settings_ = settings;
    if (ctx_.status)
        ctx_.status->hide();
    if (!settings.Configured())
        return;
    QPointer<MqttBridge> self(this);
    auto report = [self](const MqttWorker::Status& s) {
        // On the worker's thread: hand the report to the window's.
        QMetaObject::invokeMethod(
            self,
            [self, s] {
                if (!self || !self->ctx_.status)
                    return;
                QString text = s.connected ? QStringLiteral("MQTT: connected")
                                           : QStringLiteral("MQTT: broker away");
                if (s.waiting > 0)
                    text += QStringLiteral(", %1 waiting").arg(s.waiting);
                self->ctx_.status->setText(text);
                self->ctx_.status->show();
                if (!s.notice.empty() && self->ctx_.putLogLine)
                    self->ctx_.putLogLine(TextFormats::DateTime(self->ctx_.clock.LocalNow()) +
                                          "   " + s.notice + "\r\n");
            },
            Qt::QueuedConnection);
    };
    auto command = [self](const std::string& topic, const std::string& payload) {
        QMetaObject::invokeMethod(
            self,
            [self, topic, payload] {
                if (self)
                    self->OnCommand(topic, payload);
            },
            Qt::QueuedConnection);
    };
    worker_ = std::make_unique<MqttWorker>(settings_, report, command);
    std::vector<OutboundMessage> all;
    for (int i = 0; i < ctx_.tanks.TankCount(); ++i) {
        const TItemNode& node = ctx_.tanks.Tank(i);
        if (!node.Act) {
            // A tank taken out of use leaves the automation's lists too.
            for (OutboundMessage& m : Mqtt::DiscoveryRemoval(settings_, node.id))
                all.push_back(std::move(m));
            continue;
        }
        const TankSnapshot t = Snapshot(node.id);
        for (OutboundMessage& m : Mqtt::Discovery(settings_, t))
            all.push_back(std::move(m));
        all.push_back(Mqtt::TankState(settings_, t));
    }
    if (line_)
        all.push_back(Mqtt::LineMessage(settings_, line_->first, line_->second));
    all.push_back(Mqtt::BacklogMessage(settings_, backlog_.first, backlog_.second));
    worker_->Publish(std::move(all));
}

void MqttBridge::Publish(OutboundMessage m) {
    if (worker_)
        worker_->Publish(std::move(m));
}

std::string MqttBridge::Name(int adr) const {
    TItemNode* node = ctx_.tanks.FindNode(static_cast<unsigned>(adr));
    return node ? StoredText::FromStored(node->Name).toStdString() : std::string();
}

TankSnapshot MqttBridge::Snapshot(int adr) const {
    TankSnapshot t;
    t.adr = adr;
    const TItemNode* node = ctx_.tanks.FindNode(static_cast<unsigned>(adr));
    if (node) {
        t.name = StoredText::FromStored(node->Name).toStdString();
        t.capacity = node->Capacity;
        t.gross = node->FL;
        t.temp = node->Temp;
        const auto it = readingUtc_.find(adr);
        if (it != readingUtc_.end()) {
            t.utc = it->second;
        } else if (node->LDTime > 0) {
            const ClockReading now = ctx_.clock.Now();
            t.utc = node->LDTime - (now.local - now.utc);
        }
    }
    t.net = ctx_.events.NetLitres(adr);
    const TankAlarmView view = ctx_.events.AlarmView(adr);
    t.alarms = view.states;
    t.shown = view.shown;
    return t;
}

void MqttBridge::TakeReading(const Reading& reading) {
    readingUtc_[static_cast<int>(reading.address)] = reading.utc;
    PublishTank(static_cast<int>(reading.address));
    if (ctx_.unstored)
        Unsent(backlog_.second);
}

void MqttBridge::PublishTank(int adr) {
    if (worker_)
        Publish(Mqtt::TankState(settings_, Snapshot(adr)));
}

void MqttBridge::LineState(bool up, double utc) {
    line_ = {up, utc};
    if (worker_)
        Publish(Mqtt::LineMessage(settings_, up, utc));
}

void MqttBridge::Backlog(int64_t unstored, int64_t unsent) {
    if (backlog_ == std::make_pair(unstored, unsent))
        return;
    backlog_ = {unstored, unsent};
    if (worker_)
        Publish(Mqtt::BacklogMessage(settings_, unstored, unsent));
}

void MqttBridge::Unsent(int64_t unsent) {
    Backlog(ctx_.unstored ? static_cast<int64_t>(ctx_.unstored()) : backlog_.first, unsent);
}

std::string MqttBridge::AckLogLine(double local, const std::string& topic,
                                   const Mqtt::AckCommand& c) {
    std::string by;
    // The sender's own words go into the log: nothing there may break a line.
    for (unsigned char ch : c.by)
        by += ch < 0x20 || ch == 0x7f ? '?' : char(ch);
    std::string line = TextFormats::DateTime(local) + "   Alarm acknowledgement over MQTT for " +
                       (c.tank ? "tank " + std::to_string(*c.tank) : std::string("every tank")) +
                       " (topic " + topic;
    if (!by.empty())
        line += ", from \"" + by + "\"";
    return line + ")\r\n";
}

void MqttBridge::OnCommand(const std::string& topic, const std::string& payload) {
    if (!settings_.commands || topic != Mqtt::AckTopic(settings_))
        return;
    const std::optional<Mqtt::AckCommand> c = Mqtt::ParseAck(payload);
    if (!c) {
        if (ctx_.putLogLine)
            ctx_.putLogLine(TextFormats::DateTime(ctx_.clock.LocalNow()) +
                            "   MQTT: an acknowledgement that names no tank was ignored (topic " +
                            topic + ")\r\n");
        return;
    }
    if (ctx_.putLogLine)
        ctx_.putLogLine(AckLogLine(ctx_.clock.LocalNow(), topic, *c));
    if (ctx_.acknowledge)
        ctx_.acknowledge(c->tank);
}
