#pragma once
// A sensor line on manual time: a fake port, a temporary data.db, a tank list and a
// recording of the conditions it reports, wired into one SensorLink.

#include "Clock.h"
#include "Conditions.h"
#include "FakePort.h"
#include "Frames.h"
#include "LinkTimer.h"
#include "OperatorMessages.h"
#include "SQLiteDatabase.h"
#include "SensorLink.h"
#include "Statements.h"
#include "TankList.h"

#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>
#include <string>
#include <vector>

inline std::vector<uint8_t> DataReply(uint8_t address, int8_t temp, uint16_t flc,
                                      uint16_t flfr = 0) {
    return Frames::BuildDataReply(address, {temp, flc, flfr});
}
inline std::vector<uint8_t> ConfigReply(uint8_t address) {
    return Frames::BuildReply(address, Frames::kCmdConfig, {1, 2, 3, 4, 5, 6, 7, 8});
}
inline std::vector<uint8_t> Bytes(const std::array<uint8_t, 4>& a) {
    return {a.begin(), a.end()};
}

struct SensorFixture {
    // Local time 5 Dec 2012 12:00:00 at t = 0, two hours ahead of UTC.
    static constexpr double kStart = 41248.5;
    static constexpr double kOffset = 2.0 / 24.0;

    QTemporaryDir dir;
    std::unique_ptr<TSQLiteDatabase> db;
    ManualClock clock{kStart, kOffset};
    ManualTimeline line{&clock, kStart};
    PlainTankList tanks;
    RecordingConditions messages;      // what the station would be told
    ConditionMessages boxes{messages}; // the same, for code that speaks to OperatorMessages
    FakePort* port = nullptr;
    QString portName = "ttyFAKE0";
    std::vector<std::string> log;  // newest first, as on top of the Errors log
    std::vector<bool> lineChanges; // false: lost, true: back
    std::string adapterNowAt;      // where the adapter's identity is found, if anywhere
    std::unique_ptr<SensorLink> link;

    explicit SensorFixture(bool withTables = true) {
        db = std::make_unique<TSQLiteDatabase>(dir.filePath("data.db").toStdString());
        if (withTables) {
            db->ExecSQL(Sql::kCreateData);
            db->ExecSQL(Sql::kCreateError);
        }
        auto fake = std::make_unique<FakePort>();
        port = fake.get();
        SensorLinkContext ctx{tanks,
                              *db,
                              clock,
                              messages,
                              [this] { return portName; },
                              [this](const std::string& l) { log.insert(log.begin(), l); },
                              [this](bool up, double) { lineChanges.push_back(up); },
                              [this](const QString& moved) { portName = moved; }};
        SensorLinkDevices devices = SensorLinkDevices::Manual(line, std::move(fake));
        devices.findPort = [this](const std::string& identity) {
            return identity == port->identity ? adapterNowAt : std::string();
        };
        link = std::make_unique<SensorLink>(ctx, std::move(devices));
    }

    TItemNode& AddTank(uint8_t id, bool active, const std::string& name = {}) {
        TItemNode& n = tanks.Add();
        n.id = id;
        n.Act = active;
        n.Name = name.empty() ? "Tank " + std::to_string(id) : name;
        return n;
    }
    // Every request gets its reply `delayMs` later, except from the silent addresses.
    void AnswerRequests(std::vector<unsigned> silent = {}, int64_t delayMs = 30) {
        port->onWrite = [this, silent, delayMs](const std::vector<uint8_t>& req) {
            const uint8_t a = req[1];
            if (std::find(silent.begin(), silent.end(), a) != silent.end())
                return;
            auto reply = req[2] == Frames::kCmdConfig ? ConfigReply(a) : DataReply(a, 20, 100 + a);
            line.At(line.NowMs() + delayMs, [this, reply] { port->Inject(reply); });
        };
    }
    void InjectAt(int64_t ms, std::vector<uint8_t> bytes) {
        line.At(ms, [this, bytes] { port->Inject(bytes); });
    }
    int Rows(const std::string& table) { return db->GetTable("SELECT * FROM " + table).Count(); }
    char State(unsigned a) { return link->Scheduler().States().Get(a); }
    // The device goes away as a USB adapter does: the port is gone, then the failure is
    // reported as access denied; until it is back, opening its name finds nothing.
    void PullLine() {
        port->Close();
        port->openFailure = kErrorPortAbsent;
        port->Fail(kErrorAccessDenied, TComException::Read);
    }
    int Rows(const std::string& table, const std::string& where) {
        return db->GetTable("SELECT * FROM " + table + " WHERE " + where).Count();
    }
};
