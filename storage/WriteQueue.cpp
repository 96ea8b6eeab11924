#include "WriteQueue.h"

#include "SQLiteDatabase.h"
#include "Transaction.h"

#include <algorithm>
#include <sqlite3.h>

WriteQueue::WriteQueue(TSQLiteDatabase& db, std::function<int64_t()> nowMs, std::size_t capacity)
    : db_(db), nowMs_(std::move(nowMs)), capacity_(capacity) {}

WriteQueue::~WriteQueue() {
    onChange = nullptr;
    try {
        if (!waiting_.empty())
            Flush();
    } catch (const std::exception&) {
        // Nothing can be told any more; the station said before it closed what waited.
    }
}

bool WriteQueue::Passing(int code) {
    switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_FULL:
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
    case SQLITE_PROTOCOL:
    case SQLITE_NOMEM:
        return true;
    default:
        return false;
    }
}

bool WriteQueue::Submit(Write write) {
    if (!waiting_.empty()) {
        if (waiting_.size() >= capacity_) {
            Drop(1, "more rows waiting than memory holds");
            return false;
        }
        waiting_.push_back(std::move(write));
        Retry();
        return waiting_.empty();
    }
    try {
        InWriteTransaction(db_, [&] { write(db_); });
        return true;
    } catch (const SQLiteError& e) {
        if (!Passing(e.Code()))
            throw;
        reason_ = SQLiteCodeDescription(e.Code());
    }
    waiting_.push_back(std::move(write));
    lastFailMs_ = nowMs_();
    waitMs_ = kRetryMs;
    return false;
}

std::size_t WriteQueue::Retry(bool force) {
    if (waiting_.empty())
        return 0;
    if (!force && nowMs_() - lastFailMs_ < waitMs_)
        return waiting_.size();
    if (!Flush()) {
        lastFailMs_ = nowMs_();
        waitMs_ = std::min(waitMs_ * 2, kLongestRetryMs);
        if (!told_) {
            told_ = true;
            Tell({Change::Waiting, waiting_.size(), reason_});
        }
    }
    return waiting_.size();
}

std::size_t WriteQueue::StoreBeforeExit(int attempts) {
    for (int i = 0; i < attempts && !waiting_.empty(); ++i)
        Retry(true);
    return waiting_.size();
}

// Batches of waiting rows, each in one transaction; a row that fails for good is dropped
// alone (its savepoint undone), the rest of its batch stays. A passing failure keeps them all.
bool WriteQueue::Flush() {
    while (!waiting_.empty()) {
        const std::size_t n = std::min(kBatch, waiting_.size());
        std::size_t dropped = 0;
        std::string droppedWhy;
        try {
            WriteTransaction t(db_);
            for (std::size_t i = 0; i < n; ++i) {
                db_.ExecSQL("SAVEPOINT row");
                try {
                    waiting_[i](db_);
                    db_.ExecSQL("RELEASE row");
                } catch (const SQLiteError& e) {
                    if (Passing(e.Code()))
                        throw;
                    db_.ExecSQL("ROLLBACK TO row");
                    db_.ExecSQL("RELEASE row");
                    waiting_[i] = nullptr;
                    ++dropped;
                    droppedWhy = e.what();
                }
            }
            t.Commit();
        } catch (const SQLiteError& e) {
            if (!Passing(e.Code()))
                throw;
            reason_ = SQLiteCodeDescription(e.Code());
            return false;
        }
        waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(n));
        storedLate_ += n - dropped;
        if (dropped)
            Drop(dropped, droppedWhy);
    }
    if (told_ || lostTold_)
        Tell({Change::Stored, storedLate_, {}, lostLate_});
    told_ = lostTold_ = false;
    storedLate_ = lostLate_ = 0;
    return true;
}

void WriteQueue::Drop(std::size_t count, const std::string& reason) {
    lost_ += count;
    lostLate_ += count;
    if (!lostTold_) {
        lostTold_ = true;
        Tell({Change::Lost, count, reason});
    }
}

void WriteQueue::Tell(const Change& c) {
    if (onChange)
        onChange(c);
}
