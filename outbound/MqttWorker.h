#pragma once
// The broker's client on a thread of its own. The station hands it messages (Publish never
// waits for the network: it only queues), the thread sends them while connected, and
// connects again by itself after 1 s, 2 s, ... up to a minute. What happens is reported
// through callbacks that run on the worker's thread: the station passes them on to its own
// thread. The broker's last will says "offline" on the status topic when the station goes
// without a word; a station that closes says it itself.

#include "MqttMessages.h"
#include "OutboundQueue.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

struct mosquitto;
struct mosquitto_message;

class MqttWorker {
public:
    struct Status {
        bool connected = false;
        std::size_t waiting = 0; // messages queued for the broker
        uint64_t dropped = 0;    // given up since the start because the queue was full
        std::string notice;      // a line for the Errors log, or empty
    };
    using Report = std::function<void(const Status&)>;
    // A message on the command topic (only subscribed when commands are on).
    using Command = std::function<void(const std::string& topic, const std::string& payload)>;

    MqttWorker(MqttSettings settings, Report report, Command command = {},
               std::size_t maxEvents = 1000);
    // Says "offline", leaves the broker and waits for the thread (at most a second or two
    // with a broker that does not answer).
    ~MqttWorker();

    // From any thread; never blocks on the network.
    void Publish(OutboundMessage m);
    void Publish(std::vector<OutboundMessage> ms);

private:
    void Run();
    void SendWaiting(mosquitto* m);
    void ReportNow(const std::string& notice);
    static void OnConnect(mosquitto* m, void* self, int rc);
    static void OnDisconnect(mosquitto* m, void* self, int rc);
    static void OnMessage(mosquitto* m, void* self, const mosquitto_message* msg);

    MqttSettings settings_;
    Report report_;
    Command command_;
    std::mutex mutex_;
    std::condition_variable cv_;
    OutboundQueue queue_;
    bool stop_ = false;
    // Only the worker's thread touches these.
    bool connected_ = false;
    bool down_ = false; // an outage was reported and not yet its end
    std::string lastError_;
    Status last_;
    std::thread thread_;
};
