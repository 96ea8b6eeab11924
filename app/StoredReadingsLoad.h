#pragma once
// What the tiles and the alarms need of the stored readings at start-up: each active
// tank's newest reading (shown with its age until the sensor answers) and each tank's last
// few readings (which confirm or clear the alarms of the open EVENTS rows). On a year of
// readings without the report index that is a scan of the whole table per tank, so it is
// read after the window is up, on a thread of its own, through a read-only connection of
// its own; `done` runs on the receiver's thread.

#include "EventTables.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct StoredTankReadings {
    int adr = 0;
    // The newest reading with a calendar time (active tanks only).
    struct Newest {
        int32_t litres = 0;
        uint16_t code = 0;
        int8_t temp = 0;
        double utc = 0;
    };
    std::optional<Newest> newest;
    std::vector<DataRow> recent; // oldest first
};

struct StoredReadings {
    std::vector<StoredTankReadings> tanks;
    std::string error; // empty when everything was read
};

class StoredReadingsLoad {
public:
    struct Tank {
        int adr;
        bool active;
    };
    using Done = std::function<void(const StoredReadings&)>;

    // Starts reading `file`; `recentCount` readings per tank for the alarms.
    StoredReadingsLoad(std::string file, std::vector<Tank> tanks, int recentCount,
                       QObject* receiver, Done done);
    // Stops after the query in hand and waits for it; `done` is then not called.
    ~StoredReadingsLoad();

    // Reads the same on the calling thread (tests, and the station's own check).
    static StoredReadings Read(const std::string& file, const std::vector<Tank>& tanks,
                               int recentCount, const std::atomic<bool>* stop = nullptr);

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
