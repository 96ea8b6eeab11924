// The poll scheduler: its state table, the sending step, the silence log and the ERROR
// rows, alone and driven by the link's timer on manual time.
#include "PollScheduler.h"
#include "SensorFixture.h"

#include <cmath>
#include <stdexcept>

namespace {

struct RecordingSink : SilenceSink {
    void PutLogLine(const std::string& line) override { lines.push_back(line); }
    void StoreSilence(unsigned address) override {
        if (address == refuse)
            throw std::runtime_error("insert refused");
        stored.push_back(address);
    }
    std::vector<std::string> lines;
    std::vector<unsigned> stored;
    unsigned refuse = 0;
};

constexpr double kSecond = 1.0 / 86400.0;

struct Sent {
    int64_t at;
    unsigned address;
    bool config;
    bool operator==(const Sent&) const = default;
};

} // namespace

class TestPollScheduler : public QObject {
    Q_OBJECT
private slots:
    void cycleStartStateTable();
    void configRuleOverridesTable();
    void sendingStepPicksLowestDue();
    void emptyListAndInactiveTanks();
    void failingStoreEndsTheTick();
    void timelineOfThreeAnsweringTanks();
    void twoSilentSensorsNewestLineOnTop();
    void silentConfigurationIsLoggedAsCfg();
    void reconnectJudgesInterruptedCycle();
    void failingErrorInsertIsOneCondition();
};

void TestPollScheduler::cycleStartStateTable() {
    PlainTankList tanks;
    const char found[] = {'0', '1', '2', '3', '5', '6', '7'};
    const char expected[] = {'1', '1', '1', '1', '5', '5', '1'};
    PollScheduler s;
    s.Connected(SensorFixture::kStart);
    s.SetPeriod(PollScheduler::kCyclePause);
    for (int i = 0; i < 7; ++i) {
        TItemNode& n = tanks.Add();
        n.id = uint8_t(i + 1);
        n.Act = true;
        n.Name = "T" + std::to_string(i + 1);
        s.States().Set(n.id, found[i]);
    }
    TItemNode& off = tanks.Add();
    off.id = 8;
    s.States().Set(8, '2'); // inactive while awaited: no line
    RecordingSink sink;
    s.Tick(tanks, SensorFixture::kStart + 10 * kSecond, sink);
    for (int i = 0; i < 7; ++i)
        QCOMPARE(s.States().Get(i + 1), i == 0 ? '2' : expected[i]); // 1 was then sent to
    QCOMPARE(s.States().Get(8), '0');
    // Lines for state 2 (address 3) and state 6 (address 6), in list order here.
    QCOMPARE(sink.lines.size(), std::size_t(2));
    QCOMPARE(sink.lines[0],
             std::string("05/12/2012 12:00:10   No answer from sensor \"T3\" (Address 3)\r\n"));
    QCOMPARE(sink.lines[1], std::string("05/12/2012 12:00:10   CFG data. No answer from sensor "
                                        "\"T6\" (Address 6)\r\n"));
    QCOMPARE(sink.stored, (std::vector<unsigned>{3, 6}));
}

void TestPollScheduler::configRuleOverridesTable() {
    PlainTankList tanks;
    TItemNode& n = tanks.Add();
    n.id = 4;
    n.Act = true;
    PollScheduler s;
    s.Connected(SensorFixture::kStart);
    s.SetPeriod(PollScheduler::kCyclePause);
    RecordingSink sink;
    s.States().Set(4, '3');
    s.Tick(tanks, SensorFixture::kStart + 180 * kSecond, sink); // not later than 180 s
    QCOMPARE(s.States().Get(4), '2');
    s.SetPeriod(PollScheduler::kCyclePause);
    s.States().Set(4, '3');
    auto frame = s.Tick(tanks, SensorFixture::kStart + 180.001 * kSecond, sink);
    QVERIFY(frame);
    QCOMPARE(Bytes(*frame), Bytes(Frames::BuildRequest(4, Frames::kCmdConfig)));
    QCOMPARE(s.States().Get(4), '6');
    QCOMPARE(s.LastCfgTime(), SensorFixture::kStart + 180.001 * kSecond);
    // Never connected: LastCfgTime is zero, so the first cycle asks for configuration.
    PollScheduler fresh;
    fresh.Tick(tanks, SensorFixture::kStart, sink);
    QCOMPARE(fresh.States().Get(4), '6');
}

void TestPollScheduler::sendingStepPicksLowestDue() {
    PlainTankList tanks;
    PollScheduler s;
    RecordingSink sink;
    s.SetPeriod(PollScheduler::kRequestPause);
    s.States().Set(9, '1');
    s.States().Set(14, '5');
    s.States().Set(3, '3');
    auto f = s.Tick(tanks, 1, sink);
    QCOMPARE(Bytes(*f), Bytes(Frames::BuildRequest(9, Frames::kCmdData)));
    QCOMPARE(s.Period(), PollScheduler::kRequestPause);
    f = s.Tick(tanks, 1, sink);
    QCOMPARE(Bytes(*f), Bytes(Frames::BuildRequest(14, Frames::kCmdConfig)));
    QCOMPARE(s.Period(), PollScheduler::kCyclePause); // 14 ends the cycle at once
    s.SetPeriod(PollScheduler::kRequestPause);
    QVERIFY(!s.Tick(tanks, 1, sink));
    QCOMPARE(s.Period(), PollScheduler::kCyclePause);
}

void TestPollScheduler::emptyListAndInactiveTanks() {
    PlainTankList tanks;
    PollScheduler s;
    RecordingSink sink;
    QVERIFY(!s.Tick(tanks, SensorFixture::kStart, sink));
    QCOMPARE(s.Period(), PollScheduler::kCyclePause);
    TItemNode& n = tanks.Add();
    n.id = 2;
    s.States().Set(2, '6');
    QVERIFY(!s.Tick(tanks, SensorFixture::kStart, sink));
    QCOMPARE(s.States().Get(2), '0');
    QVERIFY(sink.lines.empty());
    n.Act = true; // active again: polled in the next cycle
    s.Connected(SensorFixture::kStart);
    QVERIFY(s.Tick(tanks, SensorFixture::kStart, sink));
    QCOMPARE(s.States().Get(2), '2');
}

void TestPollScheduler::failingStoreEndsTheTick() {
    PlainTankList tanks;
    for (uint8_t id : {1, 2, 3}) {
        TItemNode& n = tanks.Add();
        n.id = id;
        n.Act = true;
    }
    PollScheduler s;
    s.Connected(SensorFixture::kStart);
    s.SetPeriod(PollScheduler::kCyclePause);
    s.States().Set(1, '6');
    s.States().Set(2, '2');
    s.States().Set(3, '3');
    RecordingSink sink;
    sink.refuse = 1;
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, s.Tick(tanks, SensorFixture::kStart, sink));
    QCOMPARE(sink.lines.size(), std::size_t(1)); // the line came before the row
    QCOMPARE(s.States().Get(1), '6');
    QCOMPARE(s.States().Get(2), '2'); // not judged
    QCOMPARE(s.States().Get(3), '3');
    QCOMPARE(s.Period(), PollScheduler::kCyclePause);
}

void TestPollScheduler::timelineOfThreeAnsweringTanks() {
    SensorFixture f;
    for (uint8_t id : {1, 2, 3})
        f.AddTank(id, true);
    f.AnswerRequests();
    std::vector<Sent> sent;
    auto answer = f.port->onWrite;
    f.port->onWrite = [&](const std::vector<uint8_t>& r) {
        sent.push_back({f.line.NowMs(), r[1], r[2] == Frames::kCmdConfig});
        answer(r);
    };
    f.link->DeviceConnect();
    f.line.AdvanceTo(260000);
    std::vector<Sent> expected;
    for (int64_t start : {1, 63001, 126001})
        for (unsigned a = 1; a <= 3; ++a)
            expected.push_back({start + (a - 1) * 1000, a, false});
    for (unsigned a = 1; a <= 3; ++a)
        expected.push_back({189001 + (a - 1) * 1000, a, true});
    for (unsigned a = 1; a <= 3; ++a)
        expected.push_back({252001 + (a - 1) * 1000, a, false});
    QCOMPARE(sent.size(), expected.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
        QCOMPARE(sent[i].at, expected[i].at);
        QCOMPARE(sent[i].address, expected[i].address);
        QCOMPARE(sent[i].config, expected[i].config);
    }
    QCOMPARE(f.link->Scheduler().LastCfgTime(), SensorFixture::kStart + 191.001 * kSecond);
    QVERIFY(f.log.empty());
    QCOMPARE(f.Rows("DATA"), 12);
    QCOMPARE(f.Rows("ERROR"), 0);
    // A day of cycles on manual time: every third cycle asks for configuration instead.
    f.line.AdvanceTo(24LL * 3600 * 1000);
    QVERIFY(f.log.empty());
    QVERIFY(f.Rows("DATA") > 2700);
}

void TestPollScheduler::twoSilentSensorsNewestLineOnTop() {
    SensorFixture f;
    f.AddTank(2, true, "East");
    f.AddTank(1, true, "West");
    f.AddTank(3, true, "North");
    f.AnswerRequests({1, 2});
    f.link->DeviceConnect();
    f.line.AdvanceTo(63001);
    QCOMPARE(f.log.size(), std::size_t(2));
    QCOMPARE(f.log[0],
             std::string("05/12/2012 12:01:03   No answer from sensor \"West\" (Address 1)\r\n"));
    QCOMPARE(f.log[1],
             std::string("05/12/2012 12:01:03   No answer from sensor \"East\" (Address 2)\r\n"));
    TSQLiteTable rows = f.db->GetTable("SELECT tstamp, adr, code FROM ERROR");
    QCOMPARE(rows.Count(), 2);
    const double utc = SensorFixture::kStart - SensorFixture::kOffset + 63.001 * kSecond;
    std::vector<std::string> adrs;
    for (; !rows.Eof(); rows.Next()) {
        adrs.push_back(rows.FieldText("adr"));
        QCOMPARE(rows.FieldText("code"), std::string("1"));
        QVERIFY(std::abs(rows.Field("tstamp").d - utc) < 1e-9);
    }
    QCOMPARE(adrs, (std::vector<std::string>{"2", "1"})); // tile order
    QCOMPARE(f.State(1), '2');                            // polled again in the same cycle
    QCOMPARE(f.State(3), '1');
}

void TestPollScheduler::silentConfigurationIsLoggedAsCfg() {
    SensorFixture f;
    f.AddTank(5, true);
    f.link->DeviceConnect();
    // Data replies come; configuration requests stay unanswered.
    f.port->onWrite = [&](const std::vector<uint8_t>& r) {
        if (r[2] == Frames::kCmdData)
            f.InjectAt(f.line.NowMs() + 20, DataReply(5, 1, 1));
    };
    // One tank: cycles at 61 s, 122 s, configuration at 183 s, judged at 244 s.
    f.line.AdvanceTo(244001);
    QCOMPARE(f.log.size(), std::size_t(1));
    QCOMPARE(f.log[0], std::string("05/12/2012 12:04:04   CFG data. No answer from sensor "
                                   "\"Tank 5\" (Address 5)\r\n"));
    QCOMPARE(f.State(5), '6'); // asked again at once: the loop 5, 6 goes on
}

void TestPollScheduler::reconnectJudgesInterruptedCycle() {
    SensorFixture f;
    f.AddTank(1, true);
    f.link->DeviceConnect();
    f.line.AdvanceTo(500);
    QCOMPARE(f.State(1), '2');
    f.link->DeviceConnect(); // within a second of the request
    f.line.AdvanceTo(502);
    QCOMPARE(f.log.size(), std::size_t(1));
    QCOMPARE(f.Rows("ERROR"), 1);
}

void TestPollScheduler::failingErrorInsertIsOneCondition() {
    SensorFixture f;
    f.db->ExecSQL("CREATE TRIGGER refuse BEFORE INSERT ON ERROR BEGIN SELECT RAISE(ABORT, "
                  "'disk full'); END");
    f.AddTank(1, true);
    f.AddTank(2, true);
    f.link->DeviceConnect();
    f.line.AdvanceTo(10);
    QCOMPARE(f.State(1), '2');
    // Reconnecting makes the next tick come after 1 ms; then 5 minutes pass.
    const auto sent = f.port->written.size();
    f.link->DeviceConnect();
    f.line.AdvanceTo(2);
    QCOMPARE(f.port->written.size(), sent); // no request in a failed tick
    f.line.AdvanceTo(5 * 60 * 1000 + 20);
    QVERIFY(!f.messages.shown.empty());
    QVERIFY(f.messages.shown[0].find("disk full") != std::string::npos);
    // One report and one line per cycle start, not one per millisecond; all one condition.
    QVERIFY2(f.log.size() >= 1 && f.log.size() <= 7, std::to_string(f.log.size()).c_str());
    QVERIFY(f.messages.reported.size() <= 7);
    for (const Condition& c : f.messages.reported)
        QCOMPARE(c.key, f.messages.reported[0].key);
    QCOMPARE(f.State(1), '2'); // kept for the next cycle start
    QCOMPARE(f.State(2), '1'); // never judged
    QCOMPARE(f.Rows("ERROR"), 0);
    QVERIFY(f.link->Timer1().Enabled());
}

QTEST_GUILESS_MAIN(TestPollScheduler)
#include "test_poll_scheduler.moc"
