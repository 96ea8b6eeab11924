#pragma once
// A mosquitto broker of the test's own on a free 127.0.0.1 port, and a subscriber that
// collects what the broker hands it. The broker can be stopped and started again on the
// same port. A missing mosquitto is a failure, not a skip.

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <mosquitto.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class MqttTestBroker {
public:
    MqttTestBroker() {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port_ = probe.serverPort();
        probe.close();
        QFile conf(dir_.filePath("mosquitto.conf"));
        conf.open(QIODevice::WriteOnly);
        conf.write(QString("listener %1 127.0.0.1\nallow_anonymous true\npersistence false\n"
                           "log_dest stderr\n")
                       .arg(port_)
                       .toUtf8());
        conf.close();
        conf.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther |
                            QFile::ReadGroup);
    }
    ~MqttTestBroker() { Stop(); }

    // False when mosquitto is missing or does not listen within a few seconds.
    bool Start() {
        const QString exe = QStandardPaths::findExecutable(
            "mosquitto", {"/usr/sbin", "/usr/bin", "/usr/local/sbin"});
        if (exe.isEmpty())
            return false;
        process_.start(exe, {"-c", dir_.filePath("mosquitto.conf")});
        if (!process_.waitForStarted(5000))
            return false;
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, port_);
            if (s.waitForConnected(200))
                return true;
            QThread::msleep(50);
        }
        return false;
    }
    void Stop() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(5000))
            process_.kill();
        process_.waitForFinished(2000);
    }
    int Port() const { return port_; }

private:
    QTemporaryDir dir_;
    QProcess process_;
    int port_ = 0;
};

// Subscribes to a filter and keeps each topic's last message and every message in order.
class MqttTestSubscriber {
public:
    MqttTestSubscriber(int port, const std::string& filter) {
        mosquitto_lib_init();
        m_ = mosquitto_new(nullptr, true, this);
        mosquitto_message_callback_set(
            m_, [](mosquitto*, void* self, const mosquitto_message* msg) {
                auto* s = static_cast<MqttTestSubscriber*>(self);
                std::string payload(static_cast<const char*>(msg->payload),
                                    std::size_t(msg->payloadlen));
                s->last[msg->topic] = payload;
                s->all.emplace_back(msg->topic, payload);
                if (msg->retain)
                    s->retained[msg->topic] = payload;
            });
        connected_ = mosquitto_connect(m_, "127.0.0.1", port, 30) == MOSQ_ERR_SUCCESS &&
                     mosquitto_subscribe(m_, nullptr, filter.c_str(), 1) == MOSQ_ERR_SUCCESS;
    }
    ~MqttTestSubscriber() {
        mosquitto_disconnect(m_);
        mosquitto_destroy(m_);
    }
    bool Connected() const { return connected_; }
    // Runs the client until `done` holds or 15 s have passed; returns `done()`.
    bool WaitFor(const std::function<bool()>& done, int ms = 15000) {
        QDeadlineTimer deadline(ms);
        while (!done() && !deadline.hasExpired())
            mosquitto_loop(m_, 50, 1);
        return done();
    }
    void Publish(const std::string& topic, const std::string& payload, bool retain = false) {
        mosquitto_publish(m_, nullptr, topic.c_str(), int(payload.size()), payload.data(), 1,
                          retain);
        mosquitto_loop(m_, 50, 1);
    }
    std::map<std::string, std::string> last, retained;
    std::vector<std::pair<std::string, std::string>> all;

private:
    mosquitto* m_ = nullptr;
    bool connected_ = false;
};

// A subscriber gets the broker's retained messages as they stand when it subscribes; one that
// subscribed before the last of them reached the broker sees those as live messages. So this
// subscribes anew until what came retained satisfies `has`, or the time is up.
inline std::unique_ptr<MqttTestSubscriber>
RetainedSubscriber(int port, const std::string& filter,
                   const std::function<bool(const MqttTestSubscriber&)>& has, int ms = 15000) {
    QDeadlineTimer deadline(ms);
    std::unique_ptr<MqttTestSubscriber> sub;
    do {
        sub.reset();
        sub = std::make_unique<MqttTestSubscriber>(port, filter);
        if (sub->Connected() && sub->WaitFor([&] { return has(*sub); }, 1000))
            break;
    } while (!deadline.hasExpired());
    return sub;
}
