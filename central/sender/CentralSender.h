#pragma once
// One round of sending: tank changes, then readings, errors and events past their marks,
// oldest first, then the changed parts of the reconciliation's book, in batches of one
// server transaction each. A mark moves only after the
// server has committed the batch, so a station stopped in between sends that batch again
// and the server's unique keys store it once. Plain C++ without threads: the worker and
// the tests drive it alike.

#include "CentralRows.h"

#include <cstdint>
#include <functional>
#include <string>

class LocalQueue;

struct CentralCounts {
    int64_t sent = 0;    // rows the server committed
    int64_t failed = 0;  // rows of batches that failed (sent again later)
    int64_t waiting = 0; // rows past the marks after the round
};

struct CentralRoundResult {
    bool ok = false;
    std::string error; // what failed, for the operator, when !ok
    CentralCounts counts;
};

class CentralSender {
public:
    CentralSender(LocalQueue& queue, CentralServer& server, int batchRows = 5000);

    // Sends until every table is caught up or a batch fails. `afterCommit` runs after each
    // batch the server committed and before its mark is written (there only to stop a
    // station at that point on purpose).
    CentralRoundResult SendPending(const std::function<void()>& afterCommit = {});

private:
    LocalQueue& queue_;
    CentralServer& server_;
    int batchRows_;
};
