// Publishing to an MQTT broker: the queue that waits for it, the messages, and the worker
// against a real mosquitto started here.

#include "MqttMessages.h"
#include "MqttTestBroker.h"
#include "MqttWorker.h"
#include "OutboundQueue.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <atomic>
#include <mutex>

namespace {
QJsonObject Obj(const std::string& json) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
}

MqttSettings Settings(int port) {
    MqttSettings s;
    s.host = "127.0.0.1";
    s.port = port;
    s.station = "depot 7";
    return s;
}

TankSnapshot Tank3(int32_t gross) {
    TankSnapshot t;
    t.adr = 3;
    t.name = "Diesel Nord";
    t.capacity = 20000;
    t.utc = 46000.5; // 2025-12-09 12:00 UTC
    t.gross = gross;
    t.net = gross - 40;
    t.temp = 11;
    t.alarms[static_cast<int>(AlarmKind::Loss)] = AlarmState::Unacknowledged;
    t.shown = AlarmKind::Loss;
    return t;
}

// The worker's reports, taken on its thread.
struct Reports {
    std::mutex mutex;
    std::vector<MqttWorker::Status> all;
    MqttWorker::Report Sink() {
        return [this](const MqttWorker::Status& s) {
            std::lock_guard<std::mutex> lock(mutex);
            all.push_back(s);
        };
    }
    bool Connected() {
        std::lock_guard<std::mutex> lock(mutex);
        return !all.empty() && all.back().connected;
    }
    MqttWorker::Status Last() {
        std::lock_guard<std::mutex> lock(mutex);
        return all.empty() ? MqttWorker::Status{} : all.back();
    }
};

bool WaitUntil(const std::function<bool()>& done, int ms = 15000) {
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QThread::msleep(20);
    return done();
}
} // namespace

class TestMqtt : public QObject {
    Q_OBJECT
private slots:
    void queueKeepsNewestStateAndBoundsEvents();
    void ackPayloads_data();
    void ackPayloads();
    void payloadsCarryValuesWithUnits();
    void stateAndDiscoveryReachSubscriber();
    void brokerAwayNothingStallsLastStateWins();
    void commandsOnlyWhenEnabled();
};

void TestMqtt::queueKeepsNewestStateAndBoundsEvents() {
    OutboundQueue q(3);
    q.Push({"a", "1", true});
    q.Push({"e", "x1", false});
    q.Push({"b", "1", true});
    q.Push({"a", "2", true}); // replaces a's waiting state, keeps its place
    for (int i = 2; i <= 5; ++i)
        q.Push({"e", "x" + std::to_string(i), false});
    QCOMPARE(q.Size(), std::size_t(5));
    QCOMPARE(q.Dropped(), uint64_t(2)); // x1 and x2 gave way
    std::vector<std::string> order;
    while (auto m = q.Pop())
        order.push_back(m->topic + "=" + m->payload);
    QCOMPARE(order, (std::vector<std::string>{"a=2", "b=1", "e=x3", "e=x4", "e=x5"}));

    // A state that failed to go goes back first, unless a newer one of its topic came.
    q.Push({"a", "3", true});
    q.Push({"c", "1", true});
    q.PushFront({"b", "old", true});
    q.PushFront({"a", "older", true});
    order.clear();
    while (auto m = q.Pop())
        order.push_back(m->topic + "=" + m->payload);
    QCOMPARE(order, (std::vector<std::string>{"b=old", "a=3", "c=1"}));
}

void TestMqtt::ackPayloads_data() {
    QTest::addColumn<QString>("payload");
    QTest::addColumn<int>("tank"); // 0: every tank, -1: refused
    QTest::addColumn<QString>("by");
    QTest::newRow("number") << "3" << 3 << "";
    QTest::newRow("spaces") << " 12\n" << 12 << "";
    QTest::newRow("all") << "all" << 0 << "";
    QTest::newRow("json") << R"({"tank": 5, "by": "night guard"})" << 5 << "night guard";
    QTest::newRow("json all") << R"({"tank": "all", "by": "ha"})" << 0 << "ha";
    QTest::newRow("zero") << "0" << -1 << "";
    QTest::newRow("too big") << "256" << -1 << "";
    QTest::newRow("fraction") << R"({"tank": 2.5})" << -1 << "";
    QTest::newRow("no tank") << R"({"by": "x"})" << -1 << "";
    QTest::newRow("garbage") << "drop table" << -1 << "";
    QTest::newRow("empty") << "" << -1 << "";
}

void TestMqtt::ackPayloads() {
    QFETCH(QString, payload);
    QFETCH(int, tank);
    QFETCH(QString, by);
    const auto c = Mqtt::ParseAck(payload.toStdString());
    QCOMPARE(c.has_value(), tank >= 0);
    if (!c)
        return;
    QCOMPARE(c->tank.value_or(0), tank);
    QCOMPARE(QString::fromStdString(c->by), by);
}

void TestMqtt::payloadsCarryValuesWithUnits() {
    MqttSettings s = Settings(1883);
    QCOMPARE(Mqtt::Prefix(s), std::string("tavrona/depot_7"));
    s.station = "a/b+#";
    QCOMPARE(Mqtt::TankTopic(s, 3), std::string("tavrona/a_b__/tank/3/state"));
    s.prefix = "plant/fuel";
    QCOMPARE(Mqtt::StatusTopic(s), std::string("plant/fuel/status"));

    const OutboundMessage state = Mqtt::TankState(s, Tank3(15000));
    QVERIFY(state.retained);
    const QJsonObject o = Obj(state.payload);
    QCOMPARE(o["level_l"].toInt(), 15000);
    QCOMPARE(o["net_l"].toInt(), 14960);
    QCOMPARE(o["fill_pct"].toDouble(), 75.0);
    QCOMPARE(o["capacity_l"].toInt(), 20000);
    QCOMPARE(o["temperature_c"].toInt(), 11);
    QCOMPARE(o["time"].toString(), QString("2025-12-09T12:00:00Z"));
    QCOMPARE(o["alarm"].toString(), QString("LOSS"));
    QCOMPARE(o["alarms"].toObject()["loss"].toString(), QString("unacknowledged"));
    QCOMPARE(o["alarms"].toObject()["low"].toString(), QString("cleared"));

    // A tank that never answered publishes no made-up level.
    TankSnapshot quiet = Tank3(0);
    quiet.utc.reset();
    QVERIFY(!Obj(Mqtt::TankState(s, quiet).payload).contains("level_l"));

    FuelEvent loss;
    loss.kind = FuelEventKind::Loss;
    loss.tstart = 46000.5;
    loss.tend = 46000.5 + 1.0 / 48;
    loss.before = {15000, 14960, 11};
    loss.after = EventLevels{14620, 14581, 11};
    const QJsonObject e = Obj(Mqtt::FuelEventMessage(s, 3, "Diesel Nord", loss).payload);
    QCOMPARE(e["type"].toString(), QString("loss"));
    QCOMPARE(e["litres"].toInt(), 380);
    QCOMPARE(e["net_litres"].toInt(), 379);
    QCOMPARE(e["unit"].toString(), QString("l"));
    QCOMPARE(e["end"].toString(), QString("2025-12-09T12:30:00Z"));
}

void TestMqtt::stateAndDiscoveryReachSubscriber() {
    MqttTestBroker broker;
    QVERIFY2(broker.Start(), "mosquitto must be installed (scripts/deps.sh)");
    MqttSettings s = Settings(broker.Port());
    s.discoveryPrefix = "ha";
    Reports reports;
    {
        MqttWorker worker(s, reports.Sink());
        worker.Publish(Mqtt::TankState(s, Tank3(15000)));
        worker.Publish(Mqtt::Discovery(s, Tank3(15000)));
        QVERIFY(WaitUntil([&] { return reports.Connected() && reports.Last().waiting == 0; }));

        // A subscriber that comes later gets the retained state and configs.
        const std::string level = "ha/sensor/tavrona_depot_7/tank3_level/config";
        const std::string loss = "ha/binary_sensor/tavrona_depot_7/tank3_alarm_loss/config";
        // the last of the configs published
        const std::string recon =
            "ha/binary_sensor/tavrona_depot_7/tank3_alarm_reconciliation/config";
        const auto all = [&](const MqttTestSubscriber& sub) {
            return sub.retained.count(Mqtt::TankTopic(s, 3)) && sub.retained.count(level) &&
                   sub.retained.count(loss) && sub.retained.count(recon) &&
                   sub.retained.count(Mqtt::StatusTopic(s));
        };
        const auto subscriber = RetainedSubscriber(broker.Port(), "#", all);
        MqttTestSubscriber& sub = *subscriber;
        QVERIFY(sub.Connected());
        QVERIFY(all(sub));
        QCOMPARE(sub.retained[Mqtt::StatusTopic(s)], std::string("online"));
        QCOMPARE(Obj(sub.retained[Mqtt::TankTopic(s, 3)])["alarm"].toString(), QString("LOSS"));
        const QJsonObject levelConfig = Obj(sub.retained[level]);
        QCOMPARE(levelConfig["device_class"].toString(), QString("volume_storage"));
        QCOMPARE(levelConfig["unit_of_measurement"].toString(), QString("L"));
        QCOMPARE(levelConfig["state_topic"].toString(),
                 QString::fromStdString(Mqtt::TankTopic(s, 3)));
        QCOMPARE(levelConfig["name"].toString(), QString("Diesel Nord Level"));
        const QJsonObject lossConfig = Obj(sub.retained[loss]);
        QCOMPARE(lossConfig["device_class"].toString(), QString("problem"));
        QVERIFY(lossConfig["value_template"].toString().contains("alarms.loss"));
        int sensors = 0, binary = 0;
        for (const auto& [topic, payload] : sub.retained) {
            sensors += topic.rfind("ha/sensor/", 0) == 0;
            binary += topic.rfind("ha/binary_sensor/", 0) == 0;
        }
        QCOMPARE(sensors, 5);
        QCOMPARE(binary, 6); // low, high, silent, loss, leak, reconciliation
    }
    // The worker closed: the station says it is offline.
    MqttTestSubscriber after(broker.Port(), Mqtt::StatusTopic(s));
    QVERIFY(after.WaitFor([&] { return after.retained.count(Mqtt::StatusTopic(s)); }));
    QCOMPARE(after.retained[Mqtt::StatusTopic(s)], std::string("offline"));
}

void TestMqtt::brokerAwayNothingStallsLastStateWins() {
    MqttTestBroker broker;
    QVERIFY2(broker.Start(), "mosquitto must be installed (scripts/deps.sh)");
    const MqttSettings s = Settings(broker.Port());
    Reports reports;
    MqttWorker worker(s, reports.Sink(), {}, 100);
    QVERIFY(WaitUntil([&] { return reports.Connected(); }));
    broker.Stop();
    QVERIFY(WaitUntil([&] { return !reports.Connected(); }));

    // Whatever comes while the broker is away is queued, within bounds.
    for (int level = 1; level <= 3000; ++level) {
        worker.Publish(Mqtt::TankState(s, Tank3(level)));
        worker.Publish(Mqtt::LineMessage(s, level % 2 == 0, 46000.5));
        worker.Publish({Mqtt::EventTopic(s), "{\"n\":" + std::to_string(level) + "}", false});
    }
    QVERIFY(WaitUntil([&] { return reports.Last().dropped == 2900; }));
    QCOMPARE(reports.Last().waiting, std::size_t(102)); // two states and the newest 100 events

    QVERIFY(broker.Start());
    QVERIFY(WaitUntil([&] { return reports.Connected() && reports.Last().waiting == 0; }, 90000));
    const auto both = [&](const MqttTestSubscriber& sub) {
        return sub.retained.count(Mqtt::TankTopic(s, 3)) && sub.retained.count(Mqtt::LineTopic(s));
    };
    const auto subscriber = RetainedSubscriber(broker.Port(), "#", both);
    MqttTestSubscriber& sub = *subscriber;
    QVERIFY(sub.Connected());
    QVERIFY(both(sub));
    QCOMPARE(Obj(sub.retained[Mqtt::TankTopic(s, 3)])["level_l"].toInt(), 3000);
    QCOMPARE(Obj(sub.retained[Mqtt::LineTopic(s)])["line"].toString(), QString("up"));
    QCOMPARE(sub.retained[Mqtt::StatusTopic(s)], std::string("online"));
}

void TestMqtt::commandsOnlyWhenEnabled() {
    MqttTestBroker broker;
    QVERIFY2(broker.Start(), "mosquitto must be installed (scripts/deps.sh)");
    for (bool enabled : {false, true}) {
        MqttSettings s = Settings(broker.Port());
        s.commands = enabled;
        Reports reports;
        std::mutex mutex;
        std::vector<std::string> got;
        MqttWorker worker(s, reports.Sink(), [&](const std::string& topic, const std::string& p) {
            std::lock_guard<std::mutex> lock(mutex);
            got.push_back(topic + " " + p);
        });
        QVERIFY(WaitUntil([&] { return reports.Connected(); }));
        MqttTestSubscriber sender(broker.Port(), "nothing/here");
        // The subscription follows the connection: send until it is taken, or give up.
        WaitUntil(
            [&] {
                sender.Publish(Mqtt::AckTopic(s), "3");
                std::lock_guard<std::mutex> lock(mutex);
                return !got.empty();
            },
            enabled ? 15000 : 1500);
        std::lock_guard<std::mutex> lock(mutex);
        if (enabled) {
            QVERIFY(!got.empty());
            QCOMPARE(got.front(), Mqtt::AckTopic(s) + " 3");
        } else {
            QVERIFY(got.empty());
        }
    }
}

QTEST_GUILESS_MAIN(TestMqtt)
#include "test_mqtt.moc"
