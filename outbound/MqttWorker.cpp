#include "MqttWorker.h"

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

using namespace std::chrono_literals;

namespace {
std::once_flag libraryStarted;

std::string Describe(int rc) {
    if (rc == MOSQ_ERR_ERRNO)
        return std::string("connection failed: ") + std::strerror(errno);
    return mosquitto_strerror(rc);
}
} // namespace

MqttWorker::MqttWorker(MqttSettings settings, Report report, Command command, std::size_t maxEvents)
    : settings_(std::move(settings)), report_(std::move(report)), command_(std::move(command)),
      queue_(maxEvents) {
    std::call_once(libraryStarted, [] { mosquitto_lib_init(); });
    thread_ = std::thread([this] { Run(); });
}

MqttWorker::~MqttWorker() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
}

void MqttWorker::Publish(OutboundMessage m) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.Push(std::move(m));
    }
    cv_.notify_all();
}

void MqttWorker::Publish(std::vector<OutboundMessage> ms) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (OutboundMessage& m : ms)
            queue_.Push(std::move(m));
    }
    cv_.notify_all();
}

void MqttWorker::OnConnect(mosquitto* m, void* self, int rc) {
    auto* w = static_cast<MqttWorker*>(self);
    if (rc != 0) {
        w->lastError_ = std::string("refused: ") + mosquitto_connack_string(rc);
        return;
    }
    w->connected_ = true;
    const std::string status = Mqtt::StatusTopic(w->settings_);
    mosquitto_publish(m, nullptr, status.c_str(), 6, "online", 1, true);
    if (w->settings_.commands)
        mosquitto_subscribe(m, nullptr, Mqtt::AckTopic(w->settings_).c_str(), 1);
}

void MqttWorker::OnDisconnect(mosquitto*, void* self, int rc) {
    auto* w = static_cast<MqttWorker*>(self);
    w->connected_ = false;
    if (rc != 0 && w->lastError_.empty())
        w->lastError_ = "connection lost";
}

void MqttWorker::OnMessage(mosquitto*, void* self, const mosquitto_message* msg) {
    auto* w = static_cast<MqttWorker*>(self);
    // A retained command from long ago is not a request of now.
    if (!w->command_ || msg->retain || !msg->topic)
        return;
    w->command_(msg->topic,
                std::string(static_cast<const char*>(msg->payload), std::size_t(msg->payloadlen)));
}

void MqttWorker::ReportNow(const std::string& notice) {
    Status s;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        s.waiting = queue_.Size();
        s.dropped = queue_.Dropped();
    }
    s.connected = connected_;
    s.notice = notice;
    // Only what changed: the window hears of the state, not of every turn of the loop.
    if (notice.empty() && s.connected == last_.connected && s.waiting == last_.waiting &&
        s.dropped == last_.dropped)
        return;
    last_ = s;
    if (report_)
        report_(s);
}

// Hands what waits to the library while it is connected; a message it refuses goes back.
void MqttWorker::SendWaiting(mosquitto* m) {
    for (int n = 0; n < 200 && connected_; ++n) {
        std::optional<OutboundMessage> msg;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            msg = queue_.Pop();
        }
        if (!msg)
            return;
        const int rc =
            mosquitto_publish(m, nullptr, msg->topic.c_str(), static_cast<int>(msg->payload.size()),
                              msg->payload.data(), 1, msg->retained);
        if (rc == MOSQ_ERR_NO_CONN || rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_OVERSIZE_PACKET ||
            rc == MOSQ_ERR_NOMEM) {
            if (rc != MOSQ_ERR_OVERSIZE_PACKET) {
                std::lock_guard<std::mutex> lock(mutex_);
                queue_.PushFront(std::move(*msg));
            }
            return;
        }
    }
}

void MqttWorker::Run() {
    const std::string clientId = Mqtt::ClientId(settings_);
    mosquitto* m = mosquitto_new(clientId.c_str(), true, this);
    if (!m) {
        ReportNow("MQTT: the client could not be created");
        return;
    }
    mosquitto_int_option(m, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    const std::string status = Mqtt::StatusTopic(settings_);
    mosquitto_will_set(m, status.c_str(), 7, "offline", 1, true);
    if (!settings_.user.empty())
        mosquitto_username_pw_set(m, settings_.user.c_str(),
                                  settings_.password.empty() ? nullptr
                                                             : settings_.password.c_str());
    std::string setupError;
    if (settings_.tls) {
        const int rc = mosquitto_tls_set(
            m, settings_.caFile.empty() ? nullptr : settings_.caFile.c_str(),
            settings_.caFile.empty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            setupError = "TLS: " + Describe(rc);
    }
    mosquitto_connect_callback_set(m, &MqttWorker::OnConnect);
    mosquitto_disconnect_callback_set(m, &MqttWorker::OnDisconnect);
    mosquitto_message_callback_set(m, &MqttWorker::OnMessage);

    auto wait = 1s;
    auto nextTry = std::chrono::steady_clock::now();
    bool socketOpen = false;
    bool reportedUp = false;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stop_)
                break;
        }
        if (!setupError.empty()) {
            ReportNow("MQTT: " + setupError);
            std::unique_lock<std::mutex> lock(mutex_);
            cv_.wait(lock, [this] { return stop_; });
            break;
        }
        const auto now = std::chrono::steady_clock::now();
        if (!socketOpen && now >= nextTry) {
            lastError_.clear();
            const int rc = mosquitto_connect(m, settings_.host.c_str(), settings_.port, 30);
            if (rc == MOSQ_ERR_SUCCESS) {
                socketOpen = true;
            } else {
                lastError_ = Describe(rc);
                nextTry = now + wait;
                wait = std::min<std::chrono::seconds>(wait * 2, 60s);
            }
        }
        if (socketOpen) {
            const int rc = mosquitto_loop(m, 100, 1);
            if (rc != MOSQ_ERR_SUCCESS) {
                if (lastError_.empty())
                    lastError_ = Describe(rc);
                connected_ = false;
                socketOpen = false;
                mosquitto_disconnect(m);
                nextTry = std::chrono::steady_clock::now() + wait;
                wait = std::min<std::chrono::seconds>(wait * 2, 60s);
            } else if (!connected_ && !lastError_.empty()) {
                // Refused at CONNACK: try again later.
                socketOpen = false;
                mosquitto_disconnect(m);
                nextTry = std::chrono::steady_clock::now() + wait;
                wait = std::min<std::chrono::seconds>(wait * 2, 60s);
            }
        }
        if (connected_) {
            wait = 1s;
            SendWaiting(m);
            mosquitto_loop_write(m, 1);
            if (!reportedUp || down_) {
                reportedUp = true;
                const bool wasDown = down_;
                down_ = false;
                ReportNow(wasDown ? "MQTT: connected again to " + settings_.host
                                  : "MQTT: connected to " + settings_.host);
            } else {
                ReportNow({});
            }
        } else {
            if (!lastError_.empty() && !down_) {
                down_ = true;
                ReportNow("MQTT: " + settings_.host + ": " + lastError_ + ", retrying");
            } else {
                ReportNow({});
            }
            std::unique_lock<std::mutex> lock(mutex_);
            cv_.wait_for(lock, socketOpen ? 0ms : 200ms, [this] { return stop_; });
        }
    }
    if (connected_) {
        // A clean goodbye keeps the will from being sent, so the station says it itself.
        mosquitto_publish(m, nullptr, status.c_str(), 7, "offline", 1, true);
        for (int i = 0; i < 10 && mosquitto_want_write(m); ++i)
            mosquitto_loop(m, 100, 1);
        mosquitto_disconnect(m);
        mosquitto_loop(m, 100, 1);
    }
    mosquitto_destroy(m);
}
