#include "StoredReadingWatch.h"

#include <algorithm>

void StoredReadingWatch::Reading(double utc, bool stored, std::size_t waiting) {
    if (stored) {
        // The queue keeps its order: whatever waited before this row is written too.
        newest_ = std::max(newest_, utc);
        queued_ = false;
    } else if (waiting > 0) {
        queued_ = true;
    }
}

void StoredReadingWatch::Waiting(std::size_t waiting, double nowUtc) {
    if (waiting == 0 && queued_) {
        newest_ = std::max(newest_, nowUtc);
        queued_ = false;
    }
}
