#pragma once
// The broker's view of the station: its settings, its topics, and the JSON of every message
// (tank states, events, line and backlog, discovery configs), built from plain values so
// that tests check them without a broker. Times are ISO 8601 in UTC; litres are whole
// litres, temperatures °C.

#include "FuelEventDetector.h"
#include "OutboundQueue.h"
#include "TankAlarms.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct MqttSettings {
    std::string host; // empty: nothing is published
    int port = 1883;
    std::string clientId; // "tavrona-<station>" when empty
    std::string user;
    std::string password; // from the password store, never the INI
    bool tls = false;
    std::string caFile;          // the CA certificates that sign the broker's; empty: the system's
    std::string prefix;          // "tavrona/<station>" when empty
    std::string discoveryPrefix; // "homeassistant" when empty
    bool commands = false;       // take acknowledgements from <prefix>/command/ack
    std::string station;         // the station's name (UTF-8)
    bool Configured() const { return !host.empty(); }
    bool operator==(const MqttSettings&) const = default;
};

// One tank as published: the newest reading's values, if any, and its alarms.
struct TankSnapshot {
    int adr = 0;
    std::string name; // UTF-8
    int32_t capacity = 0;
    std::optional<double> utc; // the newest reading's time (day number, UTC)
    int32_t gross = 0;
    std::optional<int32_t> net;
    int temp = 0;
    std::array<AlarmState, kAlarmKinds.size()> alarms{}; // by AlarmKind
    std::optional<AlarmKind> shown;
};

namespace Mqtt {
// A name made fit for one topic level: '/', '+', '#', spaces and control characters become
// '_'. Never empty.
std::string TopicLevel(const std::string& name);
std::string Prefix(const MqttSettings& s);
std::string ClientId(const MqttSettings& s);
std::string DiscoveryPrefix(const MqttSettings& s);

std::string StatusTopic(const MqttSettings& s);
std::string TankTopic(const MqttSettings& s, int adr);
std::string EventTopic(const MqttSettings& s);
std::string LineTopic(const MqttSettings& s);
std::string BacklogTopic(const MqttSettings& s);
std::string AckTopic(const MqttSettings& s);

// ISO 8601 UTC ("2026-12-09T14:03:05Z") of a day number.
std::string IsoTime(double utcDays);

OutboundMessage TankState(const MqttSettings& s, const TankSnapshot& t);
OutboundMessage FuelEventMessage(const MqttSettings& s, int adr, const std::string& name,
                                 const FuelEvent& e);
OutboundMessage AlarmChangeMessage(const MqttSettings& s, int adr, const std::string& name,
                                   const AlarmTransition& t);
OutboundMessage LineMessage(const MqttSettings& s, bool up, double utc);
// Rows waiting: not yet in data.db, and stored but not yet on the central server.
OutboundMessage BacklogMessage(const MqttSettings& s, int64_t unstored, int64_t unsent);

// The retained discovery configs of one tank: level, net level, temperature, fill, reading
// time as sensors, one binary sensor per alarm kind. A tank that is gone gets empty ones,
// which take its entities away.
std::vector<OutboundMessage> Discovery(const MqttSettings& s, const TankSnapshot& t);
std::vector<OutboundMessage> DiscoveryRemoval(const MqttSettings& s, int adr);

// An acknowledgement asked over the broker: "3", "all", or {"tank": 3, "by": "who"}.
struct AckCommand {
    std::optional<int> tank; // none: every tank
    std::string by;          // what the sender says it is, for the log
};
std::optional<AckCommand> ParseAck(const std::string& payload);
} // namespace Mqtt
