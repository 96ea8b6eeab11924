// The receive path (fake port -> framer -> frame check -> dispatch) and the port failures.
#include "SensorFixture.h"

namespace {
std::vector<uint8_t> Cat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
std::vector<uint8_t> Slice(const std::vector<uint8_t>& v, std::size_t from, std::size_t to) {
    return {v.begin() + from, v.begin() + to};
}
} // namespace

class TestReceivePath : public QObject {
    Q_OBJECT
private slots:
    void eightBytesWaitForTheNinth();
    void twentyBytesLeaveSixQueued();
    void replySplitInsideTheGap();
    void replySplitPastTheGap();
    void garbageOnlyBeeps();
    void repliesSetStateWithoutRequest();
    void addressesOutsideTheTableWriteNothing();
    void failedInsertDoesNotStopLaterReplies();
    void closedPortDropsBytesAndSends();
    void noPortChosen();
    void absentPortAndReconnectFromItsReport();
    void busyPortBeepsAndPollingRuns();
    void deviceGoneStopsPollingOnce();
    void failingWriteStopsPolling();
};

void TestReceivePath::eightBytesWaitForTheNinth() {
    SensorFixture f;
    TItemNode& tank = f.AddTank(1, true);
    f.link->DeviceConnect();
    const auto reply = DataReply(1, 21, 528, 564);
    f.InjectAt(10, Slice(reply, 0, 8));
    f.line.AdvanceTo(5000);
    QCOMPARE(f.messages.beeps, 0);
    QCOMPARE(int(tank.FLC), 0);
    f.InjectAt(6000, Slice(reply, 8, 9));
    f.line.AdvanceTo(6199); // the read waits 200 ms for more bytes
    QCOMPARE(int(tank.FLC), 0);
    f.line.AdvanceTo(6200);
    QCOMPARE(int(tank.FLC), 528);
    QCOMPARE(f.Rows("DATA"), 1);
    QCOMPARE(f.State(1), '3');
    QCOMPARE(f.messages.beeps, 0);
}

void TestReceivePath::twentyBytesLeaveSixQueued() {
    SensorFixture f;
    TItemNode& tank = f.AddTank(2, true);
    f.link->DeviceConnect();
    const auto late = DataReply(2, 7, 300);
    // 9 + 5 bytes run together as one 14-byte frame; 6 bytes of the next reply stay queued.
    // The refused frame is read again from each later start byte, down to the six.
    auto twenty = Cat(Cat(DataReply(1, 1, 1), {0x3E, 1, 2, 3, 4}), Slice(late, 0, 6));
    QCOMPARE(twenty.size(), std::size_t(20));
    f.InjectAt(10, twenty);
    f.line.AdvanceTo(1000);
    QCOMPARE(f.Rows("DATA"), 0);
    f.InjectAt(2000, Slice(late, 6, 9)); // the queued six lead this read
    f.line.AdvanceTo(2300);
    QCOMPARE(int(tank.FLC), 300);
    QCOMPARE(f.messages.beeps, 0);
}

void TestReceivePath::replySplitInsideTheGap() {
    SensorFixture f;
    f.AddTank(3, true);
    f.link->DeviceConnect();
    const auto cfg = ConfigReply(3);
    f.InjectAt(10, Slice(cfg, 0, 9));
    f.InjectAt(160, Slice(cfg, 9, 12));
    f.line.AdvanceTo(1000);
    QCOMPARE(f.State(3), '7');
    QCOMPARE(f.messages.beeps, 0);
}

void TestReceivePath::replySplitPastTheGap() {
    SensorFixture f;
    f.AddTank(3, true);
    f.link->DeviceConnect();
    const auto cfg = ConfigReply(3);
    f.InjectAt(10, Slice(cfg, 0, 9));
    f.InjectAt(260, Slice(cfg, 9, 12));
    f.line.AdvanceTo(1000);
    QCOMPARE(f.messages.beeps, 1); // the first nine bytes were one (bad) frame
    QVERIFY(f.State(3) != '7');
    // The three stray bytes lead the next reply; it is read again from its start byte.
    f.InjectAt(2000, DataReply(3, 1, 1));
    f.line.AdvanceTo(3000);
    QCOMPARE(f.messages.beeps, 1);
    QCOMPARE(f.Rows("DATA"), 1);
}

void TestReceivePath::garbageOnlyBeeps() {
    SensorFixture f;
    f.AddTank(1, true);
    f.link->DeviceConnect();
    std::vector<uint8_t> noStart{0x00, 0x01, 0x06, 1, 2, 3, 4, 5};
    noStart.push_back(Frames::GetCRC8(noStart));
    f.InjectAt(10, noStart);
    f.InjectAt(1000, std::vector<uint8_t>(9, 0x00));
    f.line.AdvanceTo(2000);
    QCOMPARE(f.messages.beeps, 2);
    // A handler called with a count larger than what waits reads a short frame: refused.
    f.port->Inject({0x3E, Frames::GetCRC8(std::vector<uint8_t>{0x3E})}); // a "valid" 2 bytes
    f.link->ComPort1RxChar(9);
    f.line.AdvanceTo(3000);
    QCOMPARE(f.messages.beeps, 3);
    QCOMPARE(f.Rows("DATA"), 0);
    QVERIFY(f.messages.shown.empty());
}

void TestReceivePath::repliesSetStateWithoutRequest() {
    SensorFixture f;
    TItemNode& tank = f.AddTank(3, false);
    f.link->DeviceConnect();
    f.InjectAt(10, ConfigReply(3));
    f.line.AdvanceTo(300); // a 12-byte read ends 200 ms after its last byte
    QCOMPARE(f.State(3), '7');
    f.InjectAt(400, DataReply(3, 5, 42));
    f.line.AdvanceTo(700);
    QCOMPARE(f.State(3), '3');
    QCOMPARE(int(tank.FLC), 42);
    auto shortCfg = Frames::BuildReply(3, Frames::kCmdConfig, {1, 2, 3, 4, 5, 6, 7});
    f.InjectAt(800, shortCfg); // 11 bytes: accepted but no effect
    f.InjectAt(1100, Frames::BuildReply(3, 0x09, {1, 2, 3, 4, 5}));
    f.line.AdvanceTo(2000);
    QCOMPARE(f.State(3), '3');
    QCOMPARE(f.messages.beeps, 0);
}

void TestReceivePath::addressesOutsideTheTableWriteNothing() {
    SensorFixture f;
    f.AddTank(15, true);
    f.link->DeviceConnect();
    f.InjectAt(10, ConfigReply(15));
    f.InjectAt(500, DataReply(0, 1, 1));
    f.line.AdvanceTo(1000);
    for (unsigned a = 0; a <= 16; ++a)
        QCOMPARE(f.State(a), '0');
    QCOMPARE(f.Rows("DATA"), 0);      // no tank 0
    QVERIFY(f.port->written.empty()); // tank 15 is never polled
}

void TestReceivePath::failedInsertDoesNotStopLaterReplies() {
    SensorFixture f;
    f.db->ExecSQL("CREATE TRIGGER refuse BEFORE INSERT ON DATA WHEN NEW.adr = 2 BEGIN "
                  "SELECT RAISE(ABORT, 'disk full'); END");
    TItemNode& two = f.AddTank(2, true);
    f.AddTank(3, true);
    f.link->DeviceConnect();
    f.port->onWrite = nullptr;
    // Tank 2's row fails twice, the second time below zero degrees; tank 3 answers in
    // between and after.
    f.InjectAt(5000, DataReply(2, 1, 1));
    f.InjectAt(5300, DataReply(3, 1, 3));
    f.InjectAt(5600, DataReply(2, -5, 2));
    f.line.AdvanceTo(6000);
    // Each failure is reported once, as one condition repeating: its key leaves out the
    // row's values and their signs, which its text names.
    QCOMPARE(f.messages.reported.size(), std::size_t(2));
    QVERIFY(f.messages.shown[0].find("disk full") != std::string::npos);
    QCOMPARE(f.messages.reported[0].key, f.messages.reported[1].key);
    QVERIFY(f.messages.reported[0].key.find("disk full") != std::string::npos);
    QCOMPARE(int(two.FLC), 2); // the record shows the reading whose row failed
    // The sensor answered: it is not logged as silent because its row failed.
    QCOMPARE(f.State(2), '3');
    f.InjectAt(7000, DataReply(3, 1, 33));
    f.line.AdvanceTo(8000);
    TSQLiteTable rows = f.db->GetTable("SELECT fcode FROM DATA");
    QCOMPARE(rows.Count(), 2); // tank 3's two readings
    QCOMPARE(f.State(3), '3');
}

void TestReceivePath::closedPortDropsBytesAndSends() {
    SensorFixture f;
    f.AddTank(1, true);
    f.link->DeviceConnect();
    f.port->Close();
    f.InjectAt(10, DataReply(1, 1, 1));
    f.line.AdvanceTo(3000);
    QCOMPARE(f.Rows("DATA"), 0);
    QVERIFY(f.port->written.empty());
    QCOMPARE(f.State(1), '2'); // the request counts as sent
    QVERIFY(f.messages.shown.empty());
}

void TestReceivePath::noPortChosen() {
    SensorFixture f;
    f.portName.clear();
    f.link->DeviceConnect();
    QCOMPARE(f.messages.shown, std::vector<std::string>{kMsgSelectPort});
    QCOMPARE(f.messages.PortRequests(), 1);
    QCOMPARE(f.port->opens, 0);
    QCOMPARE(f.link->Timer1().Interval(), PollScheduler::kCyclePause);
    QCOMPARE(f.link->Scheduler().LastCfgTime(), 0.0);
}

void TestReceivePath::absentPortAndReconnectFromItsReport() {
    SensorFixture f;
    f.port->present = {"ttyGOOD"};
    f.portName = "ttyGONE";
    f.link->DeviceConnect();
    QCOMPARE(f.messages.shown,
             std::vector<std::string>{"ComPort absent (ttyGONE). Please select another port."});
    QCOMPARE(f.messages.PortRequests(), 1);
    QVERIFY(!f.port->Connected());
    // Once the connection has returned, the station asks; the Settings dialog's Ok stores
    // another port and reconnects.
    f.portName = "ttyGOOD";
    f.link->DeviceConnect();
    QCOMPARE(f.messages.reported.size(), std::size_t(1));
    QVERIFY(f.port->Connected());
    QCOMPARE(f.port->Name(), std::string("ttyGOOD"));
    QCOMPARE(f.port->opens, 2);
    QVERIFY(f.link->Timer1().Enabled());
    QCOMPARE(f.link->Timer1().Interval(), PollScheduler::kStartNow);
}

// A port held by another program: one beep, no box; rather than logging every sensor as
// silent each cycle, polling rests and the port is tried again until it is free.
void TestReceivePath::busyPortBeepsAndPollingRuns() {
    SensorFixture f;
    f.AddTank(1, true);
    f.port->openFailure = kErrorAccessDenied;
    f.link->DeviceConnect();
    QCOMPARE(f.messages.beeps, 1);
    QVERIFY(f.messages.shown.empty());
    QVERIFY(!f.link->Timer1().Enabled());
    QVERIFY(f.link->RetryTimer().Enabled());
    f.line.AdvanceTo(61000 + 5);
    QCOMPARE(f.log.size(), std::size_t(1)); // "Line lost ...", no silences
    QVERIFY(f.log[0].find("   Line lost on ttyFAKE0, retrying\r\n") != std::string::npos);
    QCOMPARE(f.messages.beeps, 1); // the retries that found it busy said nothing
    f.port->openFailure.reset();
    f.line.AdvanceTo(120000);
    QVERIFY(f.port->Connected());
    QCOMPARE(f.Rows("DATA"), 0);
    QVERIFY(f.port->written.size() >= 1);
}

void TestReceivePath::deviceGoneStopsPollingOnce() {
    SensorFixture f;
    f.AddTank(1, true);
    f.link->DeviceConnect();
    f.line.AdvanceTo(10);
    f.port->abortFailure = kErrorAccessDenied; // the abort fails with 5 in its turn
    f.port->openFailure = kErrorAccessDenied;  // and the device stays away
    f.port->Fail(kErrorAccessDenied);
    QCOMPARE(f.messages.beeps, 1);
    QCOMPARE(f.port->aborts, 1);
    QVERIFY(!f.link->Timer1().Enabled());
    const auto sent = f.port->written.size();
    f.line.AdvanceTo(600000);
    QCOMPARE(f.port->written.size(), sent);
    QCOMPARE(f.log.size(), std::size_t(1)); // only that the line was lost
    f.port->Fail(0x100000005LL);            // only the low 32 bits count
    QCOMPARE(f.messages.beeps, 2);
    f.port->Fail(1);
    QCOMPARE(f.messages.beeps, 2);
    QVERIFY(f.messages.shown.empty());
}

void TestReceivePath::failingWriteStopsPolling() {
    SensorFixture f;
    f.AddTank(1, true);
    f.AddTank(2, true);
    f.port->throwOnWrite = true;
    f.link->DeviceConnect();
    f.line.AdvanceTo(5000);
    QCOMPARE(f.messages.shown, std::vector<std::string>{kMsgSendFailed});
    QVERIFY(!f.link->Timer1().Enabled());
}

QTEST_GUILESS_MAIN(TestReceivePath)
#include "test_receive_path.moc"
