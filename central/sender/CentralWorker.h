#pragma once
// Sending to the central server on a thread of its own, with its own connection to data.db.
// Rounds follow each other every few seconds; after a failure the wait doubles up to five
// minutes. What happens is reported through callbacks that run on the worker's thread: the
// station passes them on to its own thread and decides what the operator sees.

#include "CentralSender.h"
#include "StoredText.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

struct CentralSettings {
    std::string connection; // a libpq connection string; empty: nothing is sent
    std::string station;    // the name the rows carry on the server (UTF-8)
    // How stored texts that are not UTF-8 are read (the station's setting, taken when the
    // worker starts).
    StoredText::CodePage legacy = StoredText::kDefaultCodePage;
    bool Configured() const { return !connection.empty(); }
};

// Decides what the operator hears of failures: one line when an outage begins, one when
// sending works again; not one per try.
class OutageNotice {
public:
    // Returns the line to show for a round's result, or empty when nothing is new.
    std::string After(const CentralRoundResult& r);
    bool Down() const { return down_; }

private:
    bool down_ = false;
};

// The wait before the next round: `idle` after a round that worked, then doubling from
// `first` after each failed round, up to `longest`.
class CentralBackoff {
public:
    CentralBackoff(std::chrono::milliseconds idle, std::chrono::milliseconds first,
                   std::chrono::milliseconds longest)
        : idle_(idle), first_(first), longest_(longest) {}
    std::chrono::milliseconds Next(bool roundOk);

private:
    std::chrono::milliseconds idle_, first_, longest_, current_{0};
};

class CentralWorker {
public:
    struct Status {
        int64_t waiting = 0;
        CentralCounts total; // since the worker started
        std::string notice;  // a line for the Errors log, or empty
        bool down = false;
    };
    using Report = std::function<void(const Status&)>;

    // Starts the thread. `dbFile` is the station's data.db.
    CentralWorker(std::string dbFile, CentralSettings settings, Report report,
                  int batchRows = 5000);
    // Asks the thread to stop and waits for it (at most the time of the current statement).
    ~CentralWorker();

private:
    void Run();
    std::string dbFile_;
    CentralSettings settings_;
    Report report_;
    int batchRows_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool stop_ = false;
    std::thread thread_;
};
