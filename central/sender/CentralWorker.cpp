#include "CentralWorker.h"

#include "LocalQueue.h"
#include "PgCentralServer.h"
#include "SQLiteDatabase.h"

using namespace std::chrono_literals;

namespace {
struct Stopping {};
} // namespace

std::string OutageNotice::After(const CentralRoundResult& r) {
    if (!r.ok && !down_) {
        down_ = true;
        return "Central: sending stopped: " + r.error;
    }
    if (r.ok && down_) {
        down_ = false;
        return "Central: sending again";
    }
    return {};
}

std::chrono::milliseconds CentralBackoff::Next(bool roundOk) {
    if (roundOk) {
        current_ = 0ms;
        return idle_;
    }
    current_ = current_ == 0ms ? first_ : std::min(current_ * 2, longest_);
    return current_;
}

CentralWorker::CentralWorker(std::string dbFile, CentralSettings settings, Report report,
                             int batchRows)
    : dbFile_(std::move(dbFile)), settings_(std::move(settings)), report_(std::move(report)),
      batchRows_(batchRows), thread_([this] { Run(); }) {}

CentralWorker::~CentralWorker() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
}

void CentralWorker::Run() {
    Status status;
    OutageNotice notice;
    CentralBackoff backoff(5s, 5s, 300s);
    PgCentralServer server(settings_.connection);
    std::unique_ptr<TSQLiteDatabase> db;
    std::unique_ptr<LocalQueue> queue;
    for (;;) {
        CentralRoundResult r;
        try {
            if (!queue) {
                db = std::make_unique<TSQLiteDatabase>(dbFile_);
                queue = std::make_unique<LocalQueue>(*db, settings_.station, settings_.legacy);
            }
            CentralSender sender(*queue, server, batchRows_);
            // A station closing during a long catch-up stops after the batch in hand; that
            // batch is sent again at the next start and stored once.
            r = sender.SendPending([this] {
                std::lock_guard<std::mutex> lock(mutex_);
                if (stop_)
                    throw Stopping{};
            });
        } catch (const Stopping&) {
            return;
        } catch (const std::exception& e) {
            queue.reset();
            db.reset();
            r.ok = false;
            r.error = std::string("data.db: ") + e.what();
        }
        status.total.sent += r.counts.sent;
        status.total.failed += r.counts.failed;
        status.waiting = r.counts.waiting;
        status.notice = notice.After(r);
        status.down = notice.Down();
        report_(status);

        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait_for(lock, backoff.Next(r.ok), [this] { return stop_; });
        if (stop_)
            return;
    }
}
