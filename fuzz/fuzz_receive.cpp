// Any bytes on the sensor line, cut into chunks as the serial port delivers them, through the
// station's own receive path: fake port, receive framer and its gap timer, frame check,
// dispatch, ProcessData and the DATA rows of a real data.db, with polling running meanwhile.
//
// Input: two bytes choosing the active tanks (bit 15: DATA table missing), then steps of
// [length][gap] followed by `length % 24` bytes that arrive `gap * 4` ms after the previous
// step. A length byte of 0xFF is a port event instead: the device goes away or the link is
// connected again, chosen by the gap byte.
#include "Clock.h"
#include "Database.h"
#include "FakePort.h"
#include "LinkTimer.h"
#include "OperatorMessages.h"
#include "SQLiteDatabase.h"
#include "SensorLink.h"
#include "Statements.h"
#include "TankList.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr double kStart = 41248.5;     // 5 Dec 2012 12:00 local
constexpr double kOffset = 2.0 / 24.0; // two hours ahead of UTC
constexpr int kCalibratedTanks = 7;    // ids 1..7 carry a calibration, 8..14 none
constexpr std::size_t kMaxChunk = 24;  // more than one reply's worth at a time
constexpr int64_t kGapUnitMs = 4;      // a gap byte spans 0..1020 ms
constexpr int64_t kSettleMs = 1500;    // lets the last read end on its gap

void Check(bool ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

struct Station {
    TSQLiteDatabase db{":memory:"};
    std::vector<TItemNode> tanks; // as loaded at start-up

    Station() {
        RecordingMessages quiet;
        Check(CreateDatabase(db, std::string("BM"), quiet), "database created");
        TClbArray ramp{};
        for (int k = 0; k < kClbEntryCount; ++k)
            ramp[k] = static_cast<float>(k) * 2.5f;
        for (int id = 1; id <= kCalibratedTanks; ++id)
            db.UpdateBlob(Sql::UpdateClb(id), EncodeClbArray(ramp));
        LoadTanks(db, [this]() -> TItemNode& { return tanks.emplace_back(); });
        Check(tanks.size() == 14, "fourteen seeded tanks");
    }

    void SetDataTable(bool present) {
        const bool has = db.TableExists("DATA");
        if (present && !has)
            db.ExecSQL(Sql::kCreateData);
        if (!present && has)
            db.ExecSQL("DROP TABLE DATA");
    }
};

Station& TheStation() {
    static Station station;
    return station;
}

struct Run {
    explicit Run(Station& s) : station(s) {}
    Station& station;
    ManualClock clock{kStart, kOffset};
    ManualTimeline line{&clock, kStart};
    PlainTankList tanks;
    RecordingMessages messages;
    FakePort* port = nullptr;
    std::unique_ptr<SensorLink> link;
    std::size_t injected = 0;
    int deniedBeeps = 0; // the beeps that answer a device gone, not a frame

    void Start(uint16_t activeMask) {
        for (std::size_t i = 0; i < station.tanks.size(); ++i) {
            TItemNode& n = tanks.Add();
            n = station.tanks[i];
            n.Act = (activeMask >> i) & 1;
        }
        auto fake = std::make_unique<FakePort>();
        port = fake.get();
        SensorLinkContext ctx{tanks,
                              station.db,
                              clock,
                              messages,
                              [] { return QStringLiteral("ttyFUZZ0"); },
                              [] {},
                              [](const std::string&) {}};
        link = std::make_unique<SensorLink>(ctx, SensorLinkDevices::Manual(line, std::move(fake)));
        link->DeviceConnect();
    }

    void Step(uint8_t length, uint8_t gap, const uint8_t*& p, const uint8_t* end) {
        if (length == 0xFF) {
            line.Advance(kGapUnitMs);
            if (gap & 1)
                link->DeviceConnect();
            else {
                port->Fail(kErrorAccessDenied);
                ++deniedBeeps;
            }
            return;
        }
        line.Advance(gap * kGapUnitMs);
        std::size_t n =
            std::min<std::size_t>(length % kMaxChunk, static_cast<std::size_t>(end - p));
        if (n == 0)
            return;
        std::vector<uint8_t> bytes(p, p + n);
        p += n;
        if (port->Connected())
            injected += n;
        port->Inject(bytes);
    }
};

// Every stored reading belongs to a tank, carries that tank's litres for its code and a UTC
// time of this run; the last reading of each tank is what its record shows.
void CheckRows(Run& run, int64_t endMs) {
    TSQLiteTable rows =
        run.station.db.GetTable("SELECT tstamp,adr,flevel,fcode,temp FROM DATA ORDER BY rowid");
    const double utcFrom = kStart - kOffset;
    const double utcTo = utcFrom + static_cast<double>(endMs) / 86400000.0 + 1e-6;
    std::vector<bool> lastMatches(15, false);
    for (; !rows.Eof(); rows.Next()) {
        const int64_t adr = rows.FieldAsInteger("adr");
        Check(adr >= 1 && adr <= 14, "row address is a tank");
        const TItemNode& node = run.tanks.Tank(static_cast<int>(adr - 1));
        const int64_t code = rows.FieldAsInteger("fcode");
        Check(code >= 0 && code <= 65535, "row code is 16-bit");
        Check(rows.FieldAsInteger("flevel") == LitresForCode(node, static_cast<unsigned>(code)),
              "row litres from the tank's table");
        const int64_t temp = rows.FieldAsInteger("temp");
        Check(temp >= -128 && temp <= 127, "row temperature is signed 8-bit");
        const double t = rows.Field("tstamp").d;
        Check(t >= utcFrom - 1e-6 && t <= utcTo, "row time is UTC of this run");
        lastMatches[adr] = adr == node.id && code == node.FLC && temp == node.Temp;
    }
    for (int a = 1; a <= 14; ++a) {
        const TItemNode& node = run.tanks.Tank(a - 1);
        Check(node.FL == LitresForCode(node, node.FLC), "record litres follow its code");
        if (node.LDTime != 0)
            Check(lastMatches[a], "last row of a tank matches its record");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    TheStation();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    Station& station = TheStation();
    const uint16_t flags = static_cast<uint16_t>(data[0] | (data[1] << 8));
    const bool dataMissing = flags & 0x8000;
    station.SetDataTable(!dataMissing);
    if (!dataMissing)
        station.db.ExecSQL("DELETE FROM DATA");
    station.db.ExecSQL("DELETE FROM ERROR");

    Run run(station);
    run.Start(flags & 0x3FFF);
    const uint8_t* p = data + 2;
    const uint8_t* end = data + size;
    while (end - p >= 2) {
        const uint8_t length = p[0], gap = p[1];
        p += 2;
        run.Step(length, gap, p, end);
    }
    run.line.Advance(kSettleMs);
    const int64_t endMs = run.line.NowMs();

    // Every frame that was judged took at least nine of the bytes that reached the port.
    int rows = dataMissing ? 0 : station.db.GetTable("SELECT adr FROM DATA").Count();
    const int judged = run.messages.beeps - run.deniedBeeps + rows;
    Check(static_cast<std::size_t>(judged) * 9 <= run.injected,
          "each judged frame is at least nine bytes");
    for (const std::string& text : run.messages.shown)
        Check(dataMissing && text == kMsgTableMissing, "no message but the missing table");
    for (unsigned a = 1; a <= 14; ++a) {
        const char st = run.link->Scheduler().States().Get(a);
        Check(std::strchr("0123567", st) != nullptr, "poll state is a known digit");
    }
    if (!dataMissing)
        CheckRows(run, endMs);
    run.link.reset();
    return 0;
}
