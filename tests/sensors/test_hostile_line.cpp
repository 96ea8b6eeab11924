// The sensor line as a careless or hostile world drives it: noise bytes between and in front
// of replies, readings that can be no level, and port names that are no serial port.
#include "BoundSql.h"
#include "Database.h"
#include "FuelEvents.h"
#include "ReadingCheck.h"
#include "sensors/SensorFixture.h"

#include <QtTest>

#include <sys/stat.h>
#include <sys/types.h>

namespace {

int LogLinesWith(const std::vector<std::string>& log, const std::string& text) {
    return int(std::count_if(log.begin(), log.end(), [&](const std::string& l) {
        return l.find(text) != std::string::npos;
    }));
}

} // namespace

class HostileLineTest : public QObject {
    Q_OBJECT
private slots:
    void noiseCostsNoReading_data();
    void noiseCostsNoReading();
    void readingsThatAreNoLevel_data();
    void readingsThatAreNoLevel();
    void aNameThatIsNoSerialPort_data();
    void aNameThatIsNoSerialPort();
};

void HostileLineTest::noiseCostsNoReading_data() {
    QTest::addColumn<int>("after");   // the sensor whose reply the noise follows
    QTest::addColumn<int>("pauseMs"); // after that reply's last byte; negative: in front
    QTest::addColumn<QByteArray>("noise");
    QTest::newRow("one byte after tank 1") << 1 << 300 << QByteArray("\x00", 1);
    QTest::newRow("six bytes after tank 3")
        << 3 << 300 << QByteArray("\x17\x00\xFF\x3E\x06\x01", 6);
    QTest::newRow("a start byte after tank 2") << 2 << 300 << QByteArray("\x3E", 1);
    QTest::newRow("nine bytes after the last tank") << 5 << 250 << QByteArray(9, '\x3E');
    QTest::newRow("a byte just before a reply") << 2 << -5 << QByteArray("\x00", 1);
    QTest::newRow("noise with start bytes before a reply")
        << 4 << -5 << QByteArray("\x3E\x3E\x04\x3E", 4);
    QTest::newRow("a byte inside the gap after a reply") << 2 << 50 << QByteArray("\x00", 1);
    QTest::newRow("noise inside the gap after a reply")
        << 1 << 100 << QByteArray("\x3E\x01\x06\x00\x00\x3E", 6);
    QTest::newRow("noise that fills a frame before a reply")
        << 3 << -5 << QByteArray("\x01\x02\x03\x04\x05\x06", 6);
}

// Every reading of two cycles arrives; no sensor is called silent, nothing beeps.
void HostileLineTest::noiseCostsNoReading() {
    QFETCH(int, after);
    QFETCH(int, pauseMs);
    QFETCH(QByteArray, noise);
    SensorFixture f;
    for (uint8_t a = 1; a <= 5; ++a)
        f.AddTank(a, true);
    const std::vector<uint8_t> bytes(noise.begin(), noise.end());
    int requests = 0;
    f.port->onWrite = [&](const std::vector<uint8_t>& req) {
        ++requests;
        const auto reply = DataReply(req[1], 20, 100 + req[1]);
        const int64_t at = f.line.NowMs() + 30;
        if (req[1] == after && pauseMs < 0)
            f.InjectAt(at + pauseMs, bytes);
        f.InjectAt(at, reply);
        if (req[1] == after && pauseMs > 0)
            f.InjectAt(at + pauseMs, bytes);
    };
    f.link->DeviceConnect();
    f.line.AdvanceTo(2 * 62000 + 10000);
    QVERIFY(requests >= 10);
    QCOMPARE(f.Rows("DATA"), requests);
    QCOMPARE(f.Rows("ERROR"), 0);
    QCOMPARE(LogLinesWith(f.log, "No answer"), 0);
    QCOMPARE(f.messages.beeps, 0);
}

void HostileLineTest::readingsThatAreNoLevel_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("temp");
    QTest::addColumn<QString>("told");
    QTest::newRow("code 0xFFFF") << 0xFFFF << 20 << "fuel code 65535 is outside the calibration";
    QTest::newRow("code 4096") << 4096 << 20 << "fuel code 4096 is outside the calibration";
    QTest::newRow("-128 degrees") << 3000 << -128 << "temperature -128 degrees C is impossible";
    QTest::newRow("127 degrees") << 3000 << 127 << "temperature 127 degrees C is impossible";
}

// A tank at 15000 l whose sensor then sends something that is no level: the row is stored
// for the record with flevel -1, the Errors log says so once, and no litres, delivery or
// alarm come of it; the next true reading carries on as before.
void HostileLineTest::readingsThatAreNoLevel() {
    QFETCH(int, code);
    QFETCH(int, temp);
    QFETCH(QString, told);
    SensorFixture f;
    TItemNode& tank = f.AddTank(1, true);
    tank.Capacity = 20475;
    tank.LowFuel = 3000;
    tank.OverFuel = 19000;
    for (int i = 0; i < kClbEntryCount; ++i)
        tank.ClbArray[i] = float(i * 5);
    std::vector<std::string> eventLog;
    FuelEvents events(FuelEventsContext{*f.db, f.tanks, f.clock,
                                        [&](const std::string& l) { eventLog.push_back(l); }});
    QVERIFY(events.Start());
    events.StartCatchUp();
    events.WaitForCatchUp();
    f.link->AddReadingSink(events);
    bool absurd = false;
    int absurdSent = 0;
    f.port->onWrite = [&](const std::vector<uint8_t>& req) {
        absurdSent += absurd;
        const auto reply =
            absurd ? DataReply(req[1], int8_t(temp), uint16_t(code)) : DataReply(req[1], 15, 3000);
        f.InjectAt(f.line.NowMs() + 30, reply);
    };
    f.link->DeviceConnect();
    f.line.Advance(62000 * 3);
    absurd = true;
    f.line.Advance(62000 * 5);
    QCOMPARE(tank.FL, kNoLitres);
    absurd = false;
    f.line.Advance(62000 * 3);
    QCOMPARE(tank.FL, 15000);

    QCOMPARE(f.Rows("DATA", "flevel = -1 AND fcode = " + std::to_string(code) +
                                " AND temp = " + std::to_string(temp)),
             absurdSent);
    QVERIFY(absurdSent >= 4);
    QCOMPARE(f.Rows("DATA", "flevel <> -1 AND flevel <> 15000"), 0);
    QCOMPARE(LogLinesWith(f.log, told.toStdString()), 1);
    QCOMPARE(LogLinesWith(f.log, "Sensor \"Tank 1\" (Address 1)"), 1);
    QCOMPARE(f.Rows("ERROR"), 0);
    QCOMPARE(SelectEvents(*f.db, 1, "delivery").size(), std::size_t(0));
    QCOMPARE(SelectEvents(*f.db, 1, "loss").size(), std::size_t(0));
    QCOMPARE(SelectEvents(*f.db, 1, "low").size(), std::size_t(0));
    QCOMPARE(SelectEvents(*f.db, 1, "high").size(), std::size_t(0));
    QVERIFY(!events.AnyUnacknowledged());
}

void HostileLineTest::aNameThatIsNoSerialPort_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("regular file") << "file";
    QTest::newRow("FIFO") << "fifo";
    QTest::newRow("folder") << "folder";
    QTest::newRow("/dev/zero") << "zero";
}

// Told once, in the log and to the operator; not polled, not retried as a lost line.
void HostileLineTest::aNameThatIsNoSerialPort() {
    QFETCH(QString, kind);
    SensorFixture f;
    f.AddTank(1, true);
    QString path = f.dir.filePath("line");
    if (kind == "file") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else if (kind == "fifo") {
        QCOMPARE(::mkfifo(path.toLocal8Bit().constData(), 0600), 0);
    } else if (kind == "folder") {
        QVERIFY(QDir().mkdir(path));
    } else {
        path = "/dev/zero";
    }
    f.portName = path;
    f.link->DeviceConnect();
    f.line.AdvanceTo(10 * 60000);
    f.link->DeviceConnect(); // "Ok" on the same name again
    f.line.AdvanceTo(20 * 60000);
    const std::string told = path.toStdString() + " is not a serial port";
    QCOMPARE(LogLinesWith(f.log, told), 1);
    QCOMPARE(LogLinesWith(f.log, "Line lost"), 0);
    QCOMPARE(f.messages.shown, std::vector<std::string>({told + ". Please select another port."}));
    QCOMPARE(f.port->opens, 0);
    QVERIFY(f.port->written.empty());
    QCOMPARE(f.Rows("ERROR"), 0);

    // A real line under another name works at once.
    f.portName = "ttyFAKE1";
    f.port->onWrite = [&](const std::vector<uint8_t>& req) {
        f.InjectAt(f.line.NowMs() + 30, DataReply(req[1], 20, 100));
    };
    f.link->DeviceConnect();
    f.line.Advance(5000);
    QVERIFY(f.port->Connected());
    QCOMPARE(f.Rows("DATA"), 1);
}

QTEST_GUILESS_MAIN(HostileLineTest)
#include "test_hostile_line.moc"
