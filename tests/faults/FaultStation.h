#pragma once
// The receive path of the station on a real data.db file: the database access layer, the
// seeded tanks, the sensor link on a fake port and manual time, and a recording operator.
// Readings go in as reply frames on the fake port, exactly as the sensors send them.

#include "Clock.h"
#include "Conditions.h"
#include "Database.h"
#include "FakePort.h"
#include "Frames.h"
#include "LinkTimer.h"
#include "OperatorMessages.h"
#include "SQLiteDatabase.h"
#include "SensorLink.h"
#include "TankList.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class FaultStation {
public:
    // Opens (or creates) the file the way the station does at start-up and loads its tanks.
    explicit FaultStation(const std::string& file) {
        db = std::make_unique<TSQLiteDatabase>(file);
        ConditionMessages boxes(messages);
        created = CreateDatabase(*db, std::string("BM", 2), boxes);
        LoadTanks(*db, [this]() -> TItemNode& { return tanks.Add(); });
        auto fake = std::make_unique<FakePort>();
        port = fake.get();
        SensorLinkContext ctx{tanks,
                              *db,
                              clock,
                              messages,
                              [] { return QString("ttyFAULT0"); },
                              [this](const std::string& l) { log.push_back(l); }};
        link = std::make_unique<SensorLink>(ctx, SensorLinkDevices::Manual(line, std::move(fake)));
        link->DeviceConnect();
    }
    ~FaultStation() {
        link.reset();
        db.reset();
    }

    // One data reply from the sensor at `address`, read and handled as the link does it.
    void Deliver(uint8_t address, uint16_t code, int8_t temp = 20) {
        port->Inject(Frames::BuildDataReply(address, {temp, code, 0}));
        line.Advance(300); // past the 200 ms gap that ends a read of fewer than 14 bytes
    }

    ManualClock clock{41248.5, 0};
    ManualTimeline line{&clock, 41248.5};
    PlainTankList tanks;
    RecordingConditions messages; // what the station would be told
    std::unique_ptr<TSQLiteDatabase> db;
    FakePort* port = nullptr;
    std::unique_ptr<SensorLink> link;
    std::vector<std::string> log;
    bool created = false;
};
