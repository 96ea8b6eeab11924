// Sends a data.db to a central server once, as the station's worker would, and prints how
// many rows it sent and how long that took. With a fourth argument N it kills itself with
// SIGKILL after the server committed its N-th batch, before that batch's mark is written.

#include "CentralSender.h"
#include "LocalQueue.h"
#include "PgCentralServer.h"
#include "SQLiteDatabase.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s DB CONNINFO STATION BATCHROWS [KILL-AFTER]\n", argv[0]);
        return 2;
    }
    const int killAfter = argc > 5 ? std::atoi(argv[5]) : 0;
    TSQLiteDatabase db(argv[1]);
    LocalQueue queue(db, argv[3]);
    PgCentralServer server(argv[2]);
    CentralSender sender(queue, server, std::atoi(argv[4]));
    int batches = 0;
    const auto start = std::chrono::steady_clock::now();
    const CentralRoundResult r = sender.SendPending([&] {
        if (++batches == killAfter)
            std::raise(SIGKILL);
    });
    const double s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("sent %lld rows in %.3f s (%.0f rows/s), waiting %lld\n",
                static_cast<long long>(r.counts.sent), s, r.counts.sent / (s > 0 ? s : 1),
                static_cast<long long>(r.counts.waiting));
    if (!r.ok)
        std::fprintf(stderr, "%s\n", r.error.c_str());
    return r.ok ? 0 : 1;
}
