// Stores readings as fast as it can through the station's own receive path (ProcessData on
// data.db) and, after each insert has finished, writes its sequence number on stdout. The
// fault test kills it at some moment and then looks at what the file holds.
#include "Clock.h"
#include "Database.h"
#include "OperatorMessages.h"
#include "ProcessData.h"
#include "SQLiteDatabase.h"
#include "TankList.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

void Report(long seq) {
    char line[32];
    const int n = std::snprintf(line, sizeof line, "%ld\n", seq);
    if (write(STDOUT_FILENO, line, static_cast<std::size_t>(n)) != n)
        std::_Exit(3);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s data.db [count]\n", argv[0]);
        return 2;
    }
    const long count = argc > 2 ? std::atol(argv[2]) : 60000;
    RecordingMessages messages;
    TSQLiteDatabase db(argv[1]);
    if (!CreateDatabase(db, std::string("BM", 2), messages))
        return 1;
    PlainTankList tanks;
    LoadTanks(db, [&]() -> TItemNode& { return tanks.Add(); });
    ManualClock clock(41248.5);
    for (long seq = 1; seq <= count; ++seq) {
        // Sequence numbers fit the 16-bit fuel code; the address cycles over the tanks.
        const uint8_t payload[5] = {20, uint8_t(seq & 0xFF), uint8_t((seq >> 8) & 0xFF), 0, 0};
        clock.AdvanceSeconds(1);
        ProcessData(tanks, db, clock, messages, 1 + unsigned(seq % 14), payload, sizeof payload);
        if (!messages.shown.empty()) {
            std::fprintf(stderr, "%s\n", messages.shown.back().c_str());
            return 1;
        }
        Report(seq);
    }
    return 0;
}
