// Any bytes on the sensor line, cut into chunks as the serial port delivers them, through the
// station's own receive path: fake port, receive framer and its gap timer, frame check,
// dispatch, ProcessData and the DATA rows of a real data.db, with polling running meanwhile.
//
// Input: two bytes, the low 14 bits choosing the active tanks, bit 14 making every DATA and
// ERROR insert fail, bit 15 removing the DATA table; then steps of [length][gap] followed
// by `length % 24` bytes that arrive after a pause: `gap * 4` ms for gap bytes below 250,
// else (gap - 249) * 10 s, so that quiet poll cycles take few steps. A length byte of
// 0xFF is a port event instead, chosen by the gap byte: the device goes away, the link is
// connected again, writes start or stop failing, or the link is connected to a port that
// is absent (the Settings dialog then picks the other port and connects, before the next
// step, as the station does once the failing handler has returned).
#include "Clock.h"
#include "Conditions.h"
#include "Database.h"
#include "FakePort.h"
#include "LinkTimer.h"
#include "OperatorMessages.h"
#include "ReadingCheck.h"
#include "SQLiteDatabase.h"
#include "SensorLink.h"
#include "Statements.h"
#include "TankList.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr double kStart = 41248.5;     // 5 Dec 2012 12:00 local
constexpr double kOffset = 2.0 / 24.0; // two hours ahead of UTC
constexpr int kCalibratedTanks = 7;    // ids 1..7 carry a calibration, 8..14 none
constexpr std::size_t kMaxChunk = 24;  // more than one reply's worth at a time
constexpr int64_t kGapUnitMs = 4;      // short pauses: 0..996 ms
constexpr int kShortGaps = 250;        // gap bytes from here on are 10..60 s
constexpr int64_t kLongGapMs = 10000;
constexpr int kMaxSteps = 64;       // keeps every run short
constexpr int64_t kSettleMs = 1500; // lets the last read end on its gap

void Check(bool ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

struct Station {
    TSQLiteDatabase db{":memory:"};
    // The records as loaded at start-up, kept between runs: a run changes only readings.
    PlainTankList tanks;

    Station() {
        RecordingMessages quiet;
        Check(CreateDatabase(db, std::string("BM"), quiet), "database created");
        TClbArray ramp{};
        for (int k = 0; k < kClbEntryCount; ++k)
            ramp[k] = static_cast<float>(k) * 2.5f;
        for (int id = 1; id <= kCalibratedTanks; ++id)
            db.UpdateBlob(Sql::UpdateClb(id), EncodeClbArray(ramp));
        LoadTanks(db, [this]() -> TItemNode& { return tanks.Add(); });
        Check(tanks.TankCount() == 14, "fourteen seeded tanks");
    }

    void SetMode(bool dataPresent, bool insertsFail) {
        db.ExecSQL("DROP TRIGGER IF EXISTS fail_data");
        db.ExecSQL("DROP TRIGGER IF EXISTS fail_error");
        const bool has = db.TableExists("DATA");
        if (dataPresent && !has)
            db.ExecSQL(Sql::kCreateData);
        if (!dataPresent && has)
            db.ExecSQL("DROP TABLE DATA");
        if (dataPresent)
            db.ExecSQL("DELETE FROM DATA");
        db.ExecSQL("DELETE FROM ERROR");
        if (!insertsFail)
            return;
        if (dataPresent)
            db.ExecSQL("CREATE TRIGGER fail_data BEFORE INSERT ON DATA "
                       "BEGIN SELECT RAISE(ABORT, 'disk I/O error'); END");
        db.ExecSQL("CREATE TRIGGER fail_error BEFORE INSERT ON ERROR "
                   "BEGIN SELECT RAISE(ABORT, 'disk I/O error'); END");
    }
};

Station& TheStation() {
    static Station station;
    return station;
}

struct Run;

// Records what the station would be told; a request for a port is answered after the
// step that reported it, as the station answers it once the handler has returned.
class RunConditions : public RecordingConditions {
public:
    explicit RunConditions(Run& run) : run_(run) {}
    void Report(const Condition& c) override;
    void Beep() override;

private:
    Run& run_;
};

struct Run {
    Run(Station& s, const uint8_t* data, const uint8_t* end)
        : station(s), p(data), end(end), tanks(s.tanks) {}
    Station& station;
    const uint8_t* p;
    const uint8_t* end;
    ManualClock clock{kStart, kOffset};
    ManualTimeline line{&clock, kStart};
    PlainTankList& tanks;
    RunConditions messages{*this};
    bool portAsked = false; // a port was asked for: the Settings dialog follows
    FakePort* port = nullptr;
    std::unique_ptr<SensorLink> link;
    std::size_t injected = 0;
    int steps = 0;
    int deniedBeeps = 0; // the beeps that answer a device gone, not a frame
    QString portName = QStringLiteral("ttyFUZZ0");
    bool writeFailuresOn = false; // writes were made to fail at some time
    bool absentTried = false;     // a connection to an absent port was tried
    // Polling rests after a failed write or a device gone, until the next connection.
    bool resting = false;
    bool wroteWhileResting = false;

    void Start(uint16_t activeMask) {
        for (int i = 0; i < tanks.TankCount(); ++i) {
            TItemNode& n = tanks.Tank(i);
            n.Act = (activeMask >> i) & 1;
            n.Temp = 0;
            n.FLC = n.FLFR = 0;
            n.FL = 0;
            n.LDTime = 0;
        }
        tanks.resets.clear();
        auto fake = std::make_unique<FakePort>();
        port = fake.get();
        port->present = {"ttyFUZZ0", "ttyFUZZ1"};
        port->onWrite = [this](const std::vector<uint8_t>&) { wroteWhileResting |= resting; };
        SensorLinkContext ctx{tanks, station.db, clock, messages, [this] { return portName; },
                              [](const std::string&) {},
                              // A lost line is tried again by itself: polling may go on
                              // once the link says the line is back.
                              [this](bool up, double) {
                                  if (up)
                                      resting = false;
                              }};
        link = std::make_unique<SensorLink>(ctx, SensorLinkDevices::Manual(line, std::move(fake)));
        Connect();
    }

    void Connect() {
        resting = false;
        link->DeviceConnect();
    }

    // The Settings dialog's Ok with the other, present port chosen.
    void Settings() {
        portName = QStringLiteral("ttyFUZZ1");
        Connect();
    }

    void Event(uint8_t kind) {
        switch (kind % 4) {
        case 0:
            resting = true;
            ++deniedBeeps;
            port->Fail(kErrorAccessDenied);
            break;
        case 1:
            Connect();
            break;
        case 2:
            port->throwOnWrite = !port->throwOnWrite;
            writeFailuresOn |= port->throwOnWrite;
            break;
        default:
            absentTried = true;
            portName = QStringLiteral("ttyABSENT");
            Connect();
            break;
        }
    }

    // Runs the next step of the input; false when none is left.
    bool Step() {
        if (portAsked) { // the operator picks the other port
            portAsked = false;
            Settings();
        }
        if (end - p < 2 || steps == kMaxSteps)
            return false;
        ++steps;
        const uint8_t length = p[0], gap = p[1];
        p += 2;
        if (length == 0xFF) {
            line.Advance(kGapUnitMs);
            Event(gap);
            return true;
        }
        // The step's bytes are taken first: a box opened while time passes runs later steps.
        const std::size_t n =
            std::min<std::size_t>(length % kMaxChunk, static_cast<std::size_t>(end - p));
        const std::vector<uint8_t> bytes(p, p + n);
        p += n;
        line.Advance(gap < kShortGaps ? gap * kGapUnitMs : (gap - kShortGaps + 1) * kLongGapMs);
        if (n == 0)
            return true;
        if (port->Connected())
            injected += n;
        port->Inject(bytes);
        return true;
    }
};

void RunConditions::Beep() {
    RecordingConditions::Beep();
    if (getenv("FUZZ_RECEIVE_VERBOSE"))
        fprintf(stderr, "beep at %lld ms\n", static_cast<long long>(run_.line.NowMs()));
}

void RunConditions::Report(const Condition& c) {
    RecordingConditions::Report(c);
    if (c.text == kMsgSendFailed)
        run_.resting = true;
    if (c.then == Condition::Then::ChoosePort)
        run_.portAsked = true;
    if (getenv("FUZZ_RECEIVE_VERBOSE"))
        fprintf(stderr, "reported at %lld ms: %s\n", static_cast<long long>(run_.line.NowMs()),
                c.text.c_str());
}

// The litres a reading carries: none (-1) for one that can be no level.
int32_t Litres(const TItemNode& node, unsigned code, int temp) {
    return CheckReading(code, temp) == ReadingFault::None ? LitresForCode(node, code) : kNoLitres;
}

// Every stored reading belongs to a tank, carries that tank's litres for its code and a UTC
// time of this run; the last reading of each tank is what its record shows.
void CheckRows(Run& run, int64_t endMs, bool insertsFail) {
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
        const int64_t temp = rows.FieldAsInteger("temp");
        Check(rows.FieldAsInteger("flevel") ==
                  Litres(node, static_cast<unsigned>(code), static_cast<int>(temp)),
              "row litres from the tank's table, none for a reading that is no level");
        Check(temp >= -128 && temp <= 127, "row temperature is signed 8-bit");
        const double t = rows.Field("tstamp").d;
        Check(t >= utcFrom - 1e-6 && t <= utcTo, "row time is UTC of this run");
        lastMatches[adr] = adr == node.id && code == node.FLC && temp == node.Temp;
    }
    for (int a = 1; a <= 14; ++a) {
        const TItemNode& node = run.tanks.Tank(a - 1);
        Check(node.FL == Litres(node, node.FLC, node.Temp), "record litres follow its code");
        if (node.LDTime != 0 && !insertsFail)
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
    const bool insertsFail = flags & 0x4000;
    station.SetMode(!dataMissing, insertsFail);

    Run run(station, data + 2, data + size);
    run.Start(flags & 0x3FFF);
    while (run.Step()) {
    }
    run.line.Advance(kSettleMs);
    const int64_t endMs = run.line.NowMs();
    if (getenv("FUZZ_RECEIVE_VERBOSE")) {
        fprintf(stderr, "ran %lld ms, %zu bytes reached the port, %d beeps, states ",
                static_cast<long long>(endMs), run.injected, run.messages.beeps);
        for (unsigned a = 1; a <= 14; ++a)
            fputc(run.link->Scheduler().States().Get(a), stderr);
        fputc('\n', stderr);
    }

    // Every frame that was judged took at least nine of the bytes that reached the port.
    int rows = dataMissing ? 0 : station.db.GetTable("SELECT adr FROM DATA").Count();
    const int judged = run.messages.beeps - run.deniedBeeps + rows;
    Check(static_cast<std::size_t>(judged) * 9 <= run.injected,
          "each judged frame is at least nine bytes");
    // Every stored reading was first shown: its tile was reset before the row went in.
    Check(run.tanks.resets.size() >= static_cast<std::size_t>(rows), "a tile reset per row");
    for (const std::string& text : run.messages.shown) {
        const bool missing = dataMissing && text == kMsgTableMissing;
        const bool failed = insertsFail && text.find("disk I/O error") != std::string::npos;
        const bool write = run.writeFailuresOn;
        const bool absent =
            run.absentTried && text == "ComPort absent (ttyABSENT). Please select another port.";
        Check(missing || failed || (write && text == kMsgSendFailed) || absent,
              "no message but those the failures cause");
    }
    // Failures that repeat with every reply or cycle are one condition each.
    std::set<std::string> storageKeys;
    for (const Condition& c : run.messages.reported)
        if (c.text.find("disk I/O error") != std::string::npos)
            storageKeys.insert(c.key);
    Check(storageKeys.size() <= 2, "a repeating storage failure is one condition");
    Check(!run.wroteWhileResting, "no request while polling rests");
    for (unsigned a = 1; a <= 14; ++a) {
        const char st = run.link->Scheduler().States().Get(a);
        // A sensor that answered is answered whatever became of its row, so a failed row
        // says nothing of the state.
        Check(std::strchr("0123567", st) != nullptr, "poll state is a known digit");
    }
    if (!dataMissing)
        CheckRows(run, endMs, insertsFail);
    run.link.reset();
    return 0;
}
