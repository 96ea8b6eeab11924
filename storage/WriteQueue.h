#pragma once
// Rows the file did not take when they came: a DATA, ERROR or EVENTS write that failed
// because data.db was busy past the timeout, full or failing waits here, in memory, and is
// written in its turn as soon as the file takes writes again. Every write of the station's
// main connection goes through one queue, so nothing overtakes what waits before it.
//
// Not thread-safe: one queue belongs to the thread of its connection.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

class TSQLiteDatabase;

class WriteQueue {
public:
    // One write: runs its statements on the connection; raises SQLiteError on failure.
    using Write = std::function<void(TSQLiteDatabase&)>;

    // A day of 14 sensors polled every minute is 20160 readings; twice that leaves room for
    // their silences and the events.
    static constexpr std::size_t kCapacity = 40320;
    // While rows wait, the next try comes kRetryMs after the first failure, then twice as
    // long after each further one, up to kLongestRetryMs: each try may hold the thread for
    // the busy timeout, and a file held for minutes must not hold the station that long.
    static constexpr int64_t kRetryMs = 2000;
    static constexpr int64_t kLongestRetryMs = 30000;
    // Waiting rows written per transaction.
    static constexpr std::size_t kBatch = 500;

    struct Change {
        enum Kind {
            Waiting, // rows could not be stored for a while; `count` of them wait
            Stored,  // every waiting row is stored; `count` were stored after waiting
            Lost,    // rows are being dropped (the queue is full, or a row failed for good);
                     // told once until the queue is empty again
        };
        Kind kind;
        std::size_t count;
        std::string reason;   // SQLite's text of the failure
        std::size_t lost = 0; // with Stored: rows dropped while they waited
    };

    WriteQueue(TSQLiteDatabase& db, std::function<int64_t()> nowMs,
               std::size_t capacity = kCapacity);
    // One last try of whatever waits.
    ~WriteQueue();
    WriteQueue(const WriteQueue&) = delete;
    WriteQueue& operator=(const WriteQueue&) = delete;

    // Writes `write` in a write transaction after everything that waits. When the file does
    // not take it now (busy, full, I/O error) it waits and false is returned. Any other
    // failure (the statement itself is wrong, a table is missing) raises SQLiteError as a
    // plain write would, and the write is dropped.
    bool Submit(Write write);
    // Tries the waiting rows in order, unless the next try is not due yet (`force` tries
    // anyway). Returns how many still wait.
    std::size_t Retry(bool force = false);
    // At exit: tries up to `attempts` times; returns how many rows could not be stored.
    std::size_t StoreBeforeExit(int attempts = 3);

    std::size_t Waiting() const { return waiting_.size(); }
    std::size_t LostCount() const { return lost_; }
    // Told of each change, on the queue's thread.
    std::function<void(const Change&)> onChange;

    // Failures that pass once the file takes writes again.
    static bool Passing(int sqliteCode);

private:
    bool Flush();
    void Drop(std::size_t count, const std::string& reason);
    void Tell(const Change& c);

    TSQLiteDatabase& db_;
    std::function<int64_t()> nowMs_;
    std::size_t capacity_;
    std::deque<Write> waiting_;
    int64_t lastFailMs_ = 0;
    int64_t waitMs_ = kRetryMs;  // from the last failure to the next try
    bool told_ = false;          // Waiting was told for the rows that wait now
    std::size_t storedLate_ = 0; // stored after waiting, since the last Stored
    std::size_t lost_ = 0;
    std::size_t lostLate_ = 0; // dropped since the last Stored
    bool lostTold_ = false;
    std::string reason_;
};
