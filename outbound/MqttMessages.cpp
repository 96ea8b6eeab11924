#include "MqttMessages.h"

#include "DayNumbers.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <cmath>

namespace {
const char* StateWord(AlarmState s) {
    switch (s) {
    case AlarmState::Unacknowledged:
        return "unacknowledged";
    case AlarmState::Acknowledged:
        return "acknowledged";
    case AlarmState::Cleared:
        break;
    }
    return "cleared";
}

std::string Json(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QJsonObject Levels(const EventLevels& l) {
    QJsonObject o{{"gross_l", l.gross}, {"temperature_c", l.temp}};
    if (l.net)
        o["net_l"] = *l.net;
    return o;
}

// One discovery entity: its component, its key (unique within the tank) and its fields.
struct Entity {
    const char* component;
    std::string key;
    QJsonObject fields;
};

std::vector<Entity> Entities(int adr) {
    (void)adr;
    std::vector<Entity> e;
    auto sensor = [&](const char* key, const char* name, const char* cls, const char* unit,
                      const char* value) {
        QJsonObject f{{"name", name}, {"value_template", value}};
        if (cls)
            f["device_class"] = cls;
        if (unit) {
            f["unit_of_measurement"] = unit;
            f["state_class"] = "measurement";
        }
        e.push_back({"sensor", key, f});
    };
    sensor("level", "Level", "volume_storage", "L", "{{ value_json.level_l }}");
    sensor("net", "Net level at 15 °C", "volume_storage", "L",
           "{{ value_json.net_l if value_json.net_l is defined else None }}");
    sensor("temperature", "Temperature", "temperature", "°C", "{{ value_json.temperature_c }}");
    sensor("fill", "Fill", nullptr, "%", "{{ value_json.fill_pct }}");
    sensor("reading_time", "Newest reading", "timestamp", nullptr,
           "{{ value_json.time if value_json.time else None }}");
    for (AlarmKind kind : kAlarmKinds) {
        const std::string k = AlarmEventKind(kind);
        QJsonObject f{{"name", QString(AlarmWord(kind)) + " alarm"},
                      {"device_class", "problem"},
                      {"value_template",
                       Q("{{ 'ON' if value_json.alarms." + k + " != 'cleared' else 'OFF' }}")}};
        e.push_back({"binary_sensor", "alarm_" + k, f});
    }
    return e;
}

std::string NodeId(const MqttSettings& s) {
    return "tavrona_" + Mqtt::TopicLevel(s.station);
}

std::string ConfigTopic(const MqttSettings& s, const char* component, int adr,
                        const std::string& key) {
    return Mqtt::DiscoveryPrefix(s) + "/" + component + "/" + NodeId(s) + "/tank" +
           std::to_string(adr) + "_" + key + "/config";
}
} // namespace

namespace Mqtt {

std::string TopicLevel(const std::string& name) {
    std::string out;
    for (unsigned char c : name)
        out += (c == '/' || c == '+' || c == '#' || c <= ' ' || c == 0x7f) ? '_' : char(c);
    return out.empty() ? "_" : out;
}

std::string Prefix(const MqttSettings& s) {
    if (!s.prefix.empty())
        return s.prefix;
    return "tavrona/" + TopicLevel(s.station);
}

std::string ClientId(const MqttSettings& s) {
    return s.clientId.empty() ? "tavrona-" + TopicLevel(s.station) : s.clientId;
}

std::string DiscoveryPrefix(const MqttSettings& s) {
    return s.discoveryPrefix.empty() ? "homeassistant" : s.discoveryPrefix;
}

std::string StatusTopic(const MqttSettings& s) {
    return Prefix(s) + "/status";
}
std::string TankTopic(const MqttSettings& s, int adr) {
    return Prefix(s) + "/tank/" + std::to_string(adr) + "/state";
}
std::string EventTopic(const MqttSettings& s) {
    return Prefix(s) + "/event";
}
std::string LineTopic(const MqttSettings& s) {
    return Prefix(s) + "/line";
}
std::string BacklogTopic(const MqttSettings& s) {
    return Prefix(s) + "/backlog";
}
std::string AckTopic(const MqttSettings& s) {
    return Prefix(s) + "/command/ack";
}

std::string IsoTime(double utcDays) {
    const auto ms = static_cast<qint64>(std::llround((utcDays - kUnixEpochDay) * kMsPerDay));
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODate).toStdString();
}

OutboundMessage TankState(const MqttSettings& s, const TankSnapshot& t) {
    QJsonObject o{{"tank", t.adr}, {"name", Q(t.name)}, {"capacity_l", t.capacity}};
    if (t.utc) {
        o["level_l"] = t.gross;
        if (t.net)
            o["net_l"] = *t.net;
        o["temperature_c"] = t.temp;
        if (t.capacity > 0)
            o["fill_pct"] = std::round(1000.0 * t.gross / t.capacity) / 10.0;
        o["time"] = Q(IsoTime(*t.utc));
    }
    QJsonObject alarms;
    for (AlarmKind kind : kAlarmKinds)
        alarms[AlarmEventKind(kind)] = StateWord(t.alarms[static_cast<int>(kind)]);
    o["alarms"] = alarms;
    o["alarm"] = t.shown ? QString(AlarmWord(*t.shown)) : QString("OK");
    o["alarm_state"] = t.shown ? StateWord(t.alarms[static_cast<int>(*t.shown)]) : "cleared";
    return {TankTopic(s, t.adr), Json(o), true};
}

OutboundMessage FuelEventMessage(const MqttSettings& s, int adr, const std::string& name,
                                 const FuelEvent& e) {
    QJsonObject o{{"type", e.kind == FuelEventKind::Delivery ? "delivery" : "loss"},
                  {"tank", adr},
                  {"name", Q(name)},
                  {"start", Q(IsoTime(e.tstart))},
                  {"before", Levels(e.before)},
                  {"closed", e.closed},
                  {"unit", "l"}};
    if (e.quiet)
        o["quiet_hours"] = true;
    if (e.tend)
        o["end"] = Q(IsoTime(*e.tend));
    if (e.after) {
        o["after"] = Levels(*e.after);
        o["litres"] = std::abs(e.after->gross - e.before.gross);
        if (e.after->net && e.before.net)
            o["net_litres"] = std::abs(*e.after->net - *e.before.net);
    }
    return {EventTopic(s), Json(o), false};
}

OutboundMessage AlarmChangeMessage(const MqttSettings& s, int adr, const std::string& name,
                                   const AlarmTransition& t) {
    const char* change = t.to == AlarmState::Unacknowledged ? "raised"
                         : t.to == AlarmState::Acknowledged ? "acknowledged"
                                                            : "cleared";
    QJsonObject o{{"type", "alarm"},
                  {"tank", adr},
                  {"name", Q(name)},
                  {"alarm", AlarmWord(t.kind)},
                  {"kind", AlarmEventKind(t.kind)},
                  {"change", change},
                  {"from", StateWord(t.from)},
                  {"to", StateWord(t.to)},
                  {"time", Q(IsoTime(t.utc))}};
    if (t.litres) {
        o["litres"] = *t.litres;
        o["unit"] = "l";
    }
    return {EventTopic(s), Json(o), false};
}

OutboundMessage LineMessage(const MqttSettings& s, bool up, double utc) {
    return {LineTopic(s), Json({{"line", up ? "up" : "down"}, {"since", Q(IsoTime(utc))}}), true};
}

OutboundMessage BacklogMessage(const MqttSettings& s, int64_t unstored, int64_t unsent) {
    return {BacklogTopic(s),
            Json({{"unstored_rows", qint64(unstored)}, {"unsent_rows", qint64(unsent)}}), true};
}

std::vector<OutboundMessage> Discovery(const MqttSettings& s, const TankSnapshot& t) {
    const QString station = Q(s.station);
    QJsonObject device{{"identifiers", QJsonArray{Q(NodeId(s))}},
                       {"name", "Tavrona " + station},
                       {"model", "Fuel tank station"}};
    QJsonObject availability{{"topic", Q(StatusTopic(s))}};
    std::vector<OutboundMessage> out;
    for (Entity& e : Entities(t.adr)) {
        QJsonObject f = e.fields;
        const QString tankName = Q(t.name.empty() ? "Tank " + std::to_string(t.adr) : t.name);
        f["name"] = tankName + " " + f["name"].toString();
        f["unique_id"] = Q(NodeId(s) + "_tank" + std::to_string(t.adr) + "_" + e.key);
        f["object_id"] = Q(NodeId(s) + "_tank" + std::to_string(t.adr) + "_" + e.key);
        f["state_topic"] = Q(TankTopic(s, t.adr));
        f["availability"] = QJsonArray{availability};
        f["device"] = device;
        out.push_back({ConfigTopic(s, e.component, t.adr, e.key), Json(f), true});
    }
    return out;
}

std::vector<OutboundMessage> DiscoveryRemoval(const MqttSettings& s, int adr) {
    std::vector<OutboundMessage> out;
    for (const Entity& e : Entities(adr))
        out.push_back({ConfigTopic(s, e.component, adr, e.key), std::string(), true});
    return out;
}

std::optional<AckCommand> ParseAck(const std::string& payload) {
    const QByteArray bytes = QByteArray::fromStdString(payload).trimmed();
    if (bytes == "all")
        return AckCommand{};
    bool ok = false;
    const int plain = bytes.toInt(&ok);
    if (ok)
        return plain >= 1 && plain <= 255 ? std::optional(AckCommand{plain, {}}) : std::nullopt;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    AckCommand c;
    c.by = o.value("by").toString().left(64).toStdString();
    const QJsonValue tank = o.value("tank");
    if (tank.isString() && tank.toString() == "all")
        return c;
    if (!tank.isDouble())
        return std::nullopt;
    const double n = tank.toDouble();
    if (n != std::floor(n) || n < 1 || n > 255)
        return std::nullopt;
    c.tank = static_cast<int>(n);
    return c;
}
} // namespace Mqtt
