#pragma once
// Sends mails on a thread of its own through libcurl's SMTP. The station queues mails (at
// most `maxJobs`; the oldest go first when the server stays away) and never waits. A mail
// the server refuses or cannot take now is tried again after 30 s, 1 min, 2 min, ... up to
// 15 min, and given up after a day; an outage is one line in the log when it begins and one
// when mail goes again. What happens is reported through a callback on the worker's thread.

#include "Mail.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

struct MailJob {
    std::vector<std::string> to;
    std::string bytes; // the whole message (Mail::Build)
    std::string what;  // for the log: "LOSS alarm of tank 2"
    // A job with an answer is tried once and answered (empty: sent); the test mail.
    std::function<void(const std::string& error)> answer;
    // Told on the worker's thread once the server took a job without an answer.
    std::function<void()> sent = {};
};

class MailWorker {
public:
    struct Status {
        std::size_t waiting = 0;
        std::string notice; // a line for the Errors log, or empty
    };
    using Report = std::function<void(const Status&)>;

    MailWorker(MailSettings settings, Report report, std::size_t maxJobs = 200);
    // Gives the mail in hand kStopGraceMs to go, then abandons it; drops the rest. Never
    // waits for a server that does not answer.
    ~MailWorker();
    void Send(MailJob job);

    static constexpr int kStopGraceMs = 5000;

    // One try; the error libcurl gave, or empty when the server took the mail. `abandon`,
    // asked about once a second during the transfer, ends it when it says so.
    static std::string SendOnce(const MailSettings& s, const MailJob& job,
                                const std::function<bool()>& abandon = {});

private:
    void Run();
    MailSettings settings_;
    Report report_;
    std::size_t maxJobs_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<MailJob> jobs_;
    bool stop_ = false;
    std::chrono::steady_clock::time_point stopAt_;
    std::thread thread_;
};
