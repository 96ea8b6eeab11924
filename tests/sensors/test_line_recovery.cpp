// The line that heals itself and the health of every sensor, on manual time: the back-off
// of the tries, a line pulled and given back (under its name, under another name, or
// replaced by the operator's choice), the counts of refused replies, reply times, dead
// sensors named once an hour without slowing the cycle, and an overrun input queue.
// test_receive_path covers the moment of the failure itself.
#include "SensorFixture.h"

#include "ReconnectPolicy.h"

Q_DECLARE_METATYPE(std::vector<uint8_t>)

class TestLineRecovery : public QObject {
    Q_OBJECT
private slots:
    void triesBackOffToOneAMinute();
    void lineGivenBackUnderItsNameResumesPolling();
    void adapterBackUnderAnotherName();
    void settingsChoosesAnotherPortDuringRetries();
    void refusedRepliesAreCounted_data();
    void refusedRepliesAreCounted();
    void replyTimesAreMeasured();
    void deadSensorsDoNotSlowTheCycle_data();
    void deadSensorsDoNotSlowTheCycle();
    void overrunIsDiscardedWithOneLine();
};

void TestLineRecovery::triesBackOffToOneAMinute() {
    ReconnectPolicy p;
    p.Lost(0);
    std::vector<int64_t> tries;
    int64_t at = p.FirstWait();
    for (int i = 0; i < 17; ++i) {
        tries.push_back(at / 1000);
        at += p.Failed(at);
    }
    const std::vector<int64_t> expected{5,  10, 15, 20, 25, 30,  35,  40, 45,
                                        50, 55, 60, 70, 90, 130, 190, 250};
    QCOMPARE(tries, expected);
    p.Stop();
    QVERIFY(!p.Retrying());
}

void TestLineRecovery::lineGivenBackUnderItsNameResumesPolling() {
    SensorFixture f;
    f.AddTank(1, true);
    f.AddTank(2, true);
    f.AddTank(3, false);
    f.AnswerRequests();
    f.link->DeviceConnect();
    f.line.AdvanceTo(3000);
    QCOMPARE(f.Rows("DATA"), 2);
    QVERIFY(f.link->LineUp());

    f.PullLine();
    QCOMPARE(f.messages.beeps, 1);
    QVERIFY(!f.link->Timer1().Enabled());
    QVERIFY(!f.link->LineUp());
    QCOMPARE(f.lineChanges, std::vector<bool>{false});
    // One row per active tank marks the time without a line, with a code of its own.
    QCOMPARE(f.Rows("ERROR", "code = 2"), 2);
    QCOMPARE(f.Rows("ERROR", "code <> 2"), 0);
    QCOMPARE(f.log.size(), std::size_t(1));

    // A minute away: tried every 5 s, quietly.
    const int opens = f.port->opens;
    f.line.AdvanceTo(63000);
    QCOMPARE(f.port->opens - opens, 12);
    QCOMPARE(f.Rows("DATA"), 2);
    QCOMPARE(f.Rows("ERROR"), 2);
    QCOMPARE(f.log.size(), std::size_t(1));
    QCOMPARE(f.messages.PortRequests(), 0);

    // Back: within the back-off time polling resumes by itself.
    f.port->openFailure.reset();
    f.line.AdvanceTo(63000 + 10000 + 2000);
    QVERIFY(f.port->Connected());
    QVERIFY(f.link->LineUp());
    QVERIFY(f.Rows("DATA") >= 4);
    QCOMPARE(f.lineChanges, (std::vector<bool>{false, true}));
    QCOMPARE(f.log.size(), std::size_t(2));
    QVERIFY(f.log[0].find("   Line back on ttyFAKE0\r\n") != std::string::npos);
    QVERIFY(f.log[1].find("   Line lost on ttyFAKE0, retrying\r\n") != std::string::npos);
    QCOMPARE(f.messages.beeps, 1);
    QCOMPARE(f.messages.shown, std::vector<std::string>{});
    QVERIFY(!f.link->RetryTimer().Enabled());
}

void TestLineRecovery::adapterBackUnderAnotherName() {
    SensorFixture f;
    f.AddTank(1, true);
    f.AnswerRequests();
    f.port->identity = "FT4711";
    f.link->DeviceConnect();
    f.line.AdvanceTo(1000);
    f.PullLine();
    f.port->openFailure.reset();
    f.port->present = {"ttyUSB1"}; // its old name is gone
    f.adapterNowAt = "ttyUSB1";
    f.line.AdvanceTo(5000 + 1000 + 100);
    QVERIFY(f.port->Connected());
    QCOMPARE(f.port->Name(), std::string("ttyUSB1"));
    QCOMPARE(f.portName, QString("ttyUSB1")); // the setting follows the adapter
    QCOMPARE(f.messages.shown, std::vector<std::string>{});
}

void TestLineRecovery::settingsChoosesAnotherPortDuringRetries() {
    SensorFixture f;
    f.AddTank(1, true);
    f.AnswerRequests();
    f.link->DeviceConnect();
    f.line.AdvanceTo(1000);
    f.PullLine();
    f.port->openFailure.reset();
    f.port->present = {"ttyOTHER"};
    f.line.AdvanceTo(20000);
    QCOMPARE(f.messages.shown, std::vector<std::string>{});

    f.portName = "ttyOTHER"; // the operator's "Ok" on another port
    f.link->DeviceConnect();
    QVERIFY(f.port->Connected());
    QVERIFY(!f.link->RetryTimer().Enabled());
    const int opens = f.port->opens;
    f.line.AdvanceTo(400000);
    QCOMPARE(f.port->opens, opens); // the old port is tried no more
    QCOMPARE(f.port->Name(), std::string("ttyOTHER"));
    QVERIFY(f.Rows("DATA", "adr = 1") >= 4);
    QCOMPARE(f.lineChanges, (std::vector<bool>{false, true}));
}

void TestLineRecovery::refusedRepliesAreCounted_data() {
    QTest::addColumn<std::vector<uint8_t>>("frame");
    QTest::addColumn<int>("crc");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("good");
    std::vector<uint8_t> badCrc = DataReply(1, 20, 300);
    badCrc.back() ^= 0x01;
    std::vector<uint8_t> badStart = DataReply(1, 20, 300);
    badStart[0] = 0x3F;
    badStart.back() = Frames::GetCRC8(badStart.data(), badStart.size() - 1);
    const std::vector<uint8_t> shortConfig =
        Frames::BuildReply(1, Frames::kCmdConfig, {1, 2, 3, 4, 5, 6, 7});
    QTest::newRow("good") << DataReply(1, 20, 300) << 0 << 0 << 0 << 1;
    QTest::newRow("wrong CRC") << badCrc << 1 << 0 << 0 << 0;
    QTest::newRow("wrong start byte") << badStart << 1 << 0 << 0 << 0;
    QTest::newRow("11-byte configuration reply") << shortConfig << 0 << 1 << 0 << 0;
    QTest::newRow("another sensor answers") << DataReply(3, 20, 300) << 0 << 0 << 1 << 0;
}

void TestLineRecovery::refusedRepliesAreCounted() {
    QFETCH(std::vector<uint8_t>, frame);
    SensorFixture f;
    f.AddTank(1, true);
    f.AddTank(3, false);
    f.link->DeviceConnect(); // asks address 1 at once
    f.InjectAt(20, frame);
    f.line.AdvanceTo(500);
    const SensorCounts& c = f.link->Health().Counts(1);
    QCOMPARE(c.requests, uint64_t(1));
    QTEST(int(c.refusedCrc), "crc");
    QTEST(int(c.refusedLength), "length");
    QTEST(int(c.refusedAddress), "address");
    QTEST(int(c.good), "good");
    f.link->Health().Reset();
    QCOMPARE(f.link->Health().Counts(1).refusedCrc + f.link->Health().Counts(1).good, uint64_t(0));
}

void TestLineRecovery::replyTimesAreMeasured() {
    SensorFixture f;
    f.AddTank(1, true);
    f.AddTank(2, true);
    f.AnswerRequests({}, 30);
    f.link->DeviceConnect();
    f.line.AdvanceTo(3000);
    f.AnswerRequests({}, 80);
    f.line.AdvanceTo(3 * 62000);
    const SensorCounts& c = f.link->Health().Counts(2);
    QCOMPARE(c.good, uint64_t(3)); // three cycles, one reading each
    QCOMPARE(c.MedianReplyMs(), std::optional<int64_t>(80));
    QCOMPARE(c.MaxReplyMs(), std::optional<int64_t>(80));
    QVERIFY(c.lastReply.has_value());
    QCOMPARE(f.link->Health().Counts(1).MedianReplyMs(), std::optional<int64_t>(80));
    QCOMPARE(*f.link->Health().Counts(1).replyMs.begin(),
             (std::pair<const int64_t, uint64_t>(30, 1)));
}

void TestLineRecovery::deadSensorsDoNotSlowTheCycle_data() {
    QTest::addColumn<std::vector<unsigned>>("dead");
    QTest::newRow("none dead") << std::vector<unsigned>{};
    QTest::newRow("one dead") << std::vector<unsigned>{7};
    QTest::newRow("13 dead") << std::vector<unsigned>{2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
}

// Two hours and a quarter of 14 sensors: every cycle starts 73 s after the one before and
// reaches address 14 13 s after its start, whoever answers; each dead sensor has an ERROR
// row per cycle but is named in the Errors log only once an hour.
void TestLineRecovery::deadSensorsDoNotSlowTheCycle() {
    QFETCH(std::vector<unsigned>, dead);
    SensorFixture f;
    f.db->ExecSQL("PRAGMA synchronous = OFF"); // thousands of rows; durability is not tested
    for (uint8_t a = 1; a <= 14; ++a)
        f.AddTank(a, true);
    f.AnswerRequests(dead);
    std::vector<int64_t> firstAsked, lastAsked;
    f.port->onWrite = [&, inner = f.port->onWrite](const std::vector<uint8_t>& req) {
        if (req[1] == 1)
            firstAsked.push_back(f.line.NowMs());
        if (req[1] == 14)
            lastAsked.push_back(f.line.NowMs());
        inner(req);
    };
    f.link->DeviceConnect();
    f.line.AdvanceTo(8100000);
    QCOMPARE(firstAsked.size(), lastAsked.size());
    QVERIFY(firstAsked.size() > 100);
    for (std::size_t i = 0; i < firstAsked.size(); ++i) {
        QCOMPARE(lastAsked[i] - firstAsked[i], int64_t(13000));
        if (i > 0)
            QCOMPARE(firstAsked[i] - firstAsked[i - 1], int64_t(73000));
    }
    for (unsigned a : dead) {
        const std::string where = "adr = " + std::to_string(a);
        QCOMPARE(f.Rows("ERROR", where), int(firstAsked.size()) - 1);
        int named = 0;
        for (const std::string& l : f.log)
            named += l.find("(Address " + std::to_string(a) + ")") != std::string::npos;
        QCOMPARE(named, 3); // at its first silence, an hour later and two hours later
        QVERIFY(f.link->Failing(a));
    }
    QVERIFY(!f.link->Failing(1));
    QCOMPARE(f.Rows("ERROR", "adr = 1"), 0);
}

void TestLineRecovery::overrunIsDiscardedWithOneLine() {
    SensorFixture f;
    f.AddTank(1, true);
    f.link->DeviceConnect();
    f.InjectAt(100, std::vector<uint8_t>(3000, 0x55));
    f.line.AdvanceTo(1000);
    QCOMPARE(f.log.size(), std::size_t(1));
    QVERIFY(f.log[0].find("   Input queue full: 1976 bytes from the line discarded\r\n") !=
            std::string::npos);
    QCOMPARE(f.messages.beeps, 1024 / 14); // what was kept is cut into refused frames
    f.InjectAt(2000, std::vector<uint8_t>(3000, 0x55));
    f.line.AdvanceTo(3000);
    QCOMPARE(f.log.size(), std::size_t(1)); // not again within the hour
}

QTEST_GUILESS_MAIN(TestLineRecovery)
#include "test_line_recovery.moc"
