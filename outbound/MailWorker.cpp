#include "MailWorker.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstring>

using namespace std::chrono_literals;

namespace {
std::once_flag curlStarted;

struct Reader {
    const std::string* bytes;
    std::size_t at = 0;
};

int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* abandon = static_cast<const std::function<bool()>*>(user);
    return (*abandon)() ? 1 : 0;
}

size_t ReadBody(char* buffer, size_t size, size_t count, void* user) {
    auto* r = static_cast<Reader*>(user);
    const std::size_t n = std::min(size * count, r->bytes->size() - r->at);
    std::memcpy(buffer, r->bytes->data() + r->at, n);
    r->at += n;
    return n;
}
} // namespace

MailWorker::MailWorker(MailSettings settings, Report report, std::size_t maxJobs)
    : settings_(std::move(settings)), report_(std::move(report)), maxJobs_(maxJobs) {
    std::call_once(curlStarted, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    thread_ = std::thread([this] { Run(); });
}

MailWorker::~MailWorker() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        stopAt_ = std::chrono::steady_clock::now();
    }
    cv_.notify_all();
    thread_.join();
}

void MailWorker::Send(MailJob job) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (jobs_.size() >= maxJobs_)
            jobs_.pop_front();
        jobs_.push_back(std::move(job));
    }
    cv_.notify_all();
}

std::string MailWorker::SendOnce(const MailSettings& s, const MailJob& job,
                                 const std::function<bool()>& abandon) {
    CURL* curl = curl_easy_init();
    if (!curl)
        return "libcurl could not start";
    const std::string scheme = s.security == MailSecurity::Tls ? "smtps://" : "smtp://";
    const std::string url = scheme + s.host + ":" + std::to_string(s.port);
    char error[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    if (s.security == MailSecurity::StartTls)
        curl_easy_setopt(curl, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
    if (!s.user.empty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, s.user.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, s.password.c_str());
    }
    const std::string from = "<" + s.from + ">";
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.c_str());
    curl_slist* rcpt = nullptr;
    for (const std::string& to : job.to)
        rcpt = curl_slist_append(rcpt, ("<" + to + ">").c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, rcpt);
    Reader reader{&job.bytes};
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, &ReadBody);
    curl_easy_setopt(curl, CURLOPT_READDATA, &reader);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 20L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 120L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    if (abandon) {
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Progress);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &abandon);
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    }
    const CURLcode rc = curl_easy_perform(curl);
    curl_slist_free_all(rcpt);
    curl_easy_cleanup(curl);
    if (rc == CURLE_OK)
        return {};
    return error[0] ? std::string(error) : std::string(curl_easy_strerror(rc));
}

void MailWorker::Run() {
    auto wait = 30s;
    bool down = false;
    auto report = [&](const std::string& notice) {
        Status st;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            st.waiting = jobs_.size();
        }
        st.notice = notice;
        if (report_)
            report_(st);
    };
    std::chrono::steady_clock::time_point firstFailure{};
    for (;;) {
        MailJob job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            cv_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
            if (stop_)
                return;
            // Out of the queue while it is tried, so that a full queue never drops it.
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        // Once the station stops, the mail in hand has a few seconds to go.
        const std::string error = SendOnce(settings_, job, [this] {
            std::lock_guard<std::mutex> lock(mutex_);
            return stop_ && std::chrono::steady_clock::now() - stopAt_ >
                                std::chrono::milliseconds(kStopGraceMs);
        });
        if (job.answer) {
            job.answer(error);
            continue;
        }
        if (!error.empty()) {
            // Abandoned because the station stops: no failure to tell, nothing to retry.
            std::lock_guard<std::mutex> lock(mutex_);
            if (stop_)
                return;
        }
        if (error.empty()) {
            if (job.sent)
                job.sent();
            wait = 30s;
            report(down ? "Mail: sending again" : "");
            down = false;
            continue;
        }
        const auto now = std::chrono::steady_clock::now();
        if (!down) {
            down = true;
            firstFailure = now;
            report("Mail: sending failed (" + job.what + "): " + error + "; retrying");
        } else if (now - firstFailure > 24h) {
            // A mail a day late helps nobody: give it up and tell once.
            firstFailure = now;
            report("Mail: given up after a day (" + job.what + "): " + error);
            continue;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        if (jobs_.size() < maxJobs_)
            jobs_.push_front(std::move(job));
        if (cv_.wait_for(lock, wait, [this] { return stop_; }))
            return;
        wait = std::min<std::chrono::seconds>(wait * 2, 900s);
    }
}
