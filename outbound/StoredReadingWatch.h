#pragma once
// When the station last stored a reading, for the "no reading stored" mail: a reading counts
// once its DATA row is in data.db, not when it came. A row written at once counts at the
// reading's time; rows that waited in the write queue count when the queue is empty again
// (they were written then); a row the file refused never counts.

#include <cstddef>
#include <optional>

class StoredReadingWatch {
public:
    explicit StoredReadingWatch(double startUtc) : newest_(startUtc) {}
    // A reading given to the write queue; `waiting` is the queue's length just after.
    void Reading(double utc, bool stored, std::size_t waiting);
    // The queue's length at `nowUtc`.
    void Waiting(std::size_t waiting, double nowUtc);
    // The time a reading was last stored (UTC day number), or the start.
    double Newest() const { return newest_; }

private:
    double newest_;
    bool queued_ = false; // a reading's row waits in the queue
};
