// Frames, their CRC, and what one data reply does to the tank and to DATA.
#include "Database.h"
#include "ProcessData.h"
#include "SensorFixture.h"

class TestSensorFrames : public QObject {
    Q_OBJECT
private slots:
    void crcVectors();
    void requests();
    void replyCheck();
    void dataDecoding();
    void processDataStoresReading();
    void processDataIgnoresUnknownAddress();
    void processDataReportsMissingTable();
    void processDataFailedInsertKeepsReading();
};

void TestSensorFrames::crcVectors() {
    QCOMPARE(Frames::GetCRC8(std::vector<uint8_t>{}), uint8_t(0x00));
    const std::string digits = "123456789";
    std::vector<uint8_t> bytes(digits.begin(), digits.end());
    const auto copy = bytes;
    QCOMPARE(Frames::GetCRC8(bytes), uint8_t(0xA1));
    QCOMPARE(bytes, copy); // the input is never changed
}

void TestSensorFrames::requests() {
    QCOMPARE(Bytes(Frames::BuildRequest(1, Frames::kCmdData)),
             (std::vector<uint8_t>{0x31, 0x01, 0x06, 0x6C}));
    QCOMPARE(Bytes(Frames::BuildRequest(14, Frames::kCmdConfig)),
             (std::vector<uint8_t>{0x31, 0x0E, 0x04, 0xC8}));
}

void TestSensorFrames::replyCheck() {
    std::vector<uint8_t> reply{0x3E, 0x01, 0x06, 0x15, 0x10, 0x02, 0x34, 0x02, 0xB9};
    QVERIFY(Frames::CheckReply(reply));
    reply.back() = 0xB8;
    QVERIFY(!Frames::CheckReply(reply));
    // Right CRC but the wrong start byte.
    std::vector<uint8_t> other{0x3F, 0x01, 0x06, 0x15, 0x10, 0x02, 0x34, 0x02};
    other.push_back(Frames::GetCRC8(other));
    QVERIFY(!Frames::CheckReply(other));
    QCOMPARE(ConfigReply(3).size(), std::size_t(12));
    QVERIFY(Frames::CheckReply(ConfigReply(3)));
}

void TestSensorFrames::dataDecoding() {
    const uint8_t payload[] = {0x15, 0x10, 0x02, 0x34, 0x02};
    Frames::DataReading r;
    QVERIFY(Frames::DecodeData(payload, 5, r));
    QCOMPARE(int(r.temp), 21);
    QCOMPARE(int(r.flc), 528);
    QCOMPARE(int(r.flfr), 564);
    for (auto [byte, temp] : {std::pair{0xFB, -5}, {0x7F, 127}, {0x80, -128}}) {
        const uint8_t p[] = {uint8_t(byte), 0, 0, 0, 0};
        QVERIFY(Frames::DecodeData(p, 5, r));
        QCOMPARE(int(r.temp), temp);
    }
    QVERIFY(!Frames::DecodeData(payload, 4, r));
}

void TestSensorFrames::processDataStoresReading() {
    SensorFixture f;
    f.AddTank(2, true);
    TItemNode& tank = f.AddTank(1, true);
    tank.ClbArray[528] = 1234.5f; // rounds half to even
    const uint8_t payload[] = {0xFB, 0x10, 0x02, 0x34, 0x02, 0xAA, 0xBB};
    ProcessData(f.tanks, *f.db, f.clock, f.boxes, 1, payload, sizeof payload);
    QCOMPARE(int(tank.Temp), -5);
    QCOMPARE(int(tank.FLC), 528);
    QCOMPARE(int(tank.FLFR), 564);
    QCOMPARE(tank.FL, 1234);
    QCOMPARE(tank.LDTime, SensorFixture::kStart); // local time in the record
    QCOMPARE(f.tanks.resets, std::vector<int>{1});
    TSQLiteTable t = f.db->GetTable("SELECT * FROM DATA");
    QCOMPARE(t.Count(), 1);
    QCOMPARE(t.FieldText("tstamp"), std::string("41248.4166666667")); // UTC in the row
    QCOMPARE(t.FieldText("adr"), std::string("1"));
    QCOMPARE(t.FieldText("flevel"), std::string("1234"));
    QCOMPARE(t.FieldText("fcode"), std::string("528"));
    QCOMPARE(t.FieldText("temp"), std::string("-5"));
    QVERIFY(f.messages.shown.empty());
}

void TestSensorFrames::processDataIgnoresUnknownAddress() {
    SensorFixture f;
    TItemNode& tank = f.AddTank(1, true);
    const uint8_t payload[] = {0x15, 0x10, 0x02, 0x34, 0x02};
    ProcessData(f.tanks, *f.db, f.clock, f.boxes, 9, payload, sizeof payload);
    QCOMPARE(int(tank.FLC), 0);
    QVERIFY(f.tanks.resets.empty());
    QCOMPARE(f.Rows("DATA"), 0);
    QVERIFY(f.messages.shown.empty());
}

void TestSensorFrames::processDataReportsMissingTable() {
    SensorFixture f(false);
    TItemNode& tank = f.AddTank(1, true);
    const uint8_t payload[] = {0x15, 0x10, 0x02, 0x34, 0x02};
    ProcessData(f.tanks, *f.db, f.clock, f.boxes, 1, payload, sizeof payload);
    QCOMPARE(int(tank.FLC), 528); // the tile still shows the reading
    QCOMPARE(f.messages.shown, std::vector<std::string>{kMsgTableMissing});
    QVERIFY(!f.db->TableExists("DATA"));
}

void TestSensorFrames::processDataFailedInsertKeepsReading() {
    SensorFixture f;
    f.db->ExecSQL("CREATE TRIGGER refuse BEFORE INSERT ON DATA BEGIN SELECT RAISE(ABORT, "
                  "'disk full'); END");
    TItemNode& tank = f.AddTank(1, true);
    const uint8_t payload[] = {0x15, 0x10, 0x02, 0x34, 0x02};
    QVERIFY_THROWS_EXCEPTION(
        SQLiteError, ProcessData(f.tanks, *f.db, f.clock, f.boxes, 1, payload, sizeof payload));
    QCOMPARE(int(tank.FLC), 528);
    QCOMPARE(f.tanks.resets.size(), std::size_t(1));
}

QTEST_GUILESS_MAIN(TestSensorFrames)
#include "test_sensor_frames.moc"
