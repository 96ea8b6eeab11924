#pragma once
// What the station tells the broker: every reading's tank state, the deliveries, losses and
// alarm changes, the line and the rows waiting; and, when the setting allows it, the
// acknowledgements the broker brings. The worker thread does the talking; this side only
// builds messages and queues them, so polling never waits for the broker. Lives on the GUI
// thread as long as the window; (re)started with a settings snapshot.

#include "Clock.h"
#include "MqttMessages.h"
#include "Reading.h"

#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

class FuelEvents;
class MqttWorker;
class QLabel;
class QTimer;
class TankList;

struct MqttBridgeContext {
    TankList& tanks;
    FuelEvents& events;
    const Clock& clock;
    std::function<void(const std::string&)> putLogLine; // one Errors log line, CR LF ended
    // Acknowledges one tank's alarms, or every tank's (none).
    std::function<void(std::optional<int>)> acknowledge;
    QLabel* status; // the status bar's MQTT line; hidden while nothing is published
    // Rows waiting in the station's write queue; looked at with every reading and every few
    // seconds (the queue empties between readings too).
    std::function<std::size_t()> unstored = {};
};

class MqttBridge : public QObject, public ReadingSink {
    Q_OBJECT
public:
    explicit MqttBridge(MqttBridgeContext context, QObject* parent = nullptr);
    ~MqttBridge() override;

    // Stops publishing and, when the settings name a broker, starts again with them: the
    // discovery configs and the state of every active tank are queued at once.
    void Restart(const MqttSettings& settings);
    bool Running() const { return worker_ != nullptr; }

    void TakeReading(const Reading& reading) override;
    void LineState(bool up, double utc);
    void Backlog(int64_t unstored, int64_t unsent);
    // The rows waiting for the central server; the rows waiting to be stored come from the
    // context's `unstored`.
    void Unsent(int64_t unsent);
    // The tank's record or alarms changed.
    void PublishTank(int adr);

    // The line for the log of an acknowledgement taken from the broker.
    static std::string AckLogLine(double local, const std::string& topic,
                                  const Mqtt::AckCommand& c);

private:
    void OnCommand(const std::string& topic, const std::string& payload);
    TankSnapshot Snapshot(int adr) const;
    std::string Name(int adr) const;
    void Publish(OutboundMessage m);

    MqttBridgeContext ctx_;
    MqttSettings settings_;
    std::unique_ptr<MqttWorker> worker_;
    std::map<int, double> readingUtc_; // the newest reading's time by tank, this run
    std::optional<std::pair<bool, double>> line_;
    std::pair<int64_t, int64_t> backlog_{0, 0};
    QTimer* unstoredTimer_ = nullptr;
};
