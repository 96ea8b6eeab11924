// The QSerialPort-based port on a pseudo-terminal: bytes both ways, and the error codes the
// link acts on (2 absent, 5 gone), reported once, outside Qt's own calls.
#include "ComPort.h"
#include "SensorFixture.h"

#include <QtTest>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <vector>

namespace {

struct Pty {
    int master = -1;
    std::string slavePath;
    Pty() {
        int slave = -1;
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            qFatal("openpty failed");
        ::close(slave); // the port opens it by name
        slavePath = name;
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~Pty() { CloseMaster(); }
    void CloseMaster() {
        if (master >= 0)
            ::close(master);
        master = -1;
    }
    void Send(const std::vector<uint8_t>& b) {
        if (::write(master, b.data(), b.size()) != ssize_t(b.size()))
            qFatal("pty write failed");
    }
    std::vector<uint8_t> Received() {
        std::vector<uint8_t> out(64);
        ssize_t n = ::read(master, out.data(), out.size());
        out.resize(n > 0 ? std::size_t(n) : 0);
        return out;
    }
};

struct Recorder {
    std::vector<PortError> errors;
    int receives = 0;
    void Attach(TComPort& port) {
        port.onError = [this](const PortError& e) { errors.push_back(e); };
        port.onReceive = [this] { ++receives; };
    }
    int Count(int64_t code) const {
        int n = 0;
        for (auto& e : errors)
            n += e.winError == code;
        return n;
    }
};

} // namespace

class TestComPort : public QObject {
    Q_OBJECT
private slots:
    void absentPortIsCodeTwo();
    void bytesBothWaysOnAPty();
    void farEndGoneIsReportedOnce();
    void reopenFromInsideTheFailureReport();
    void errorMapping();
    void stationLinkPollsAndStores();
};

// The station's own devices (this port, QTimers, the steady clock): the first cycle starts
// at once, the request reaches the far end and the reply, cut by the gap timer, is stored.
void TestComPort::stationLinkPollsAndStores() {
    Pty pty;
    SensorFixture f; // its manual timeline is not used here
    TItemNode& tank = f.AddTank(1, true);
    tank.ClbArray[528] = 99.0f;
    SensorLinkContext ctx{f.tanks,
                          *f.db,
                          f.clock,
                          f.messages,
                          [&] { return QString::fromStdString(pty.slavePath); },
                          [&](const std::string& l) { f.log.push_back(l); }};
    SensorLink link(ctx);
    link.DeviceConnect();
    std::vector<uint8_t> got;
    const auto req = Frames::BuildRequest(1, Frames::kCmdData);
    auto gotRequest = [&] {
        auto more = pty.Received();
        got.insert(got.end(), more.begin(), more.end());
        return got.size() >= 4 && std::equal(req.begin(), req.end(), got.end() - 4);
    };
    QTRY_VERIFY_WITH_TIMEOUT(gotRequest(), 5000);
    const auto reply = DataReply(1, 21, 528, 564);
    pty.Send({reply.begin(), reply.begin() + 5});
    QTest::qWait(50); // well inside the 200 ms gap
    pty.Send({reply.begin() + 5, reply.end()});
    QTRY_COMPARE_WITH_TIMEOUT(f.Rows("DATA"), 1, 5000);
    QCOMPARE(tank.FL, 99);
    QCOMPARE(link.Scheduler().States().Get(1), '3');
    QCOMPARE(f.messages.beeps, 0);
    QVERIFY(f.messages.shown.empty());
    // The far end goes away: one beep, polling stops.
    pty.CloseMaster();
    QTRY_COMPARE_WITH_TIMEOUT(f.messages.beeps, 1, 5000);
    QVERIFY(!link.Timer1().Enabled());
    QTest::qWait(100);
    QCOMPARE(f.messages.beeps, 1);
}

void TestComPort::absentPortIsCodeTwo() {
    TComPort port;
    Recorder r;
    r.Attach(port);
    port.SetPortName("/dev/ttyNoSuchPort42");
    port.Open();
    QCOMPARE(r.Count(kErrorPortAbsent), 1); // reported before Open returns
    QVERIFY(!port.Connected());
}

void TestComPort::bytesBothWaysOnAPty() {
    Pty pty;
    pty.Send({0xEE, 0xEE}); // stale input from before the opening is dropped
    QTest::qWait(20);
    TComPort port;
    Recorder r;
    r.Attach(port);
    port.SetPortName(pty.slavePath);
    port.Open();
    QVERIFY(port.Connected());
    QCOMPARE(r.Count(kErrorPortAbsent) + r.Count(kErrorAccessDenied), 0); // DTR/RTS: minor only
    const uint8_t req[] = {0x31, 0x01, 0x06, 0x6C};
    QCOMPARE(port.Write(req, 4), int64_t(4));
    // The far end may first see the terminal's echo of the stale bytes; the request ends it.
    std::vector<uint8_t> got;
    auto gotRequest = [&] {
        auto more = pty.Received();
        got.insert(got.end(), more.begin(), more.end());
        return got.size() >= 4 && std::equal(req, req + 4, got.end() - 4);
    };
    QTRY_VERIFY_WITH_TIMEOUT(gotRequest(), 5000);
    pty.Send({1, 2, 3, 4, 5});
    QTRY_VERIFY_WITH_TIMEOUT(port.BytesWaiting() >= 5, 5000);
    QVERIFY(r.receives > 0);
    QCOMPARE(port.Read(3), (std::vector<uint8_t>{1, 2, 3}));
    QCOMPARE(port.Read(100), (std::vector<uint8_t>{4, 5}));
    port.Close();
    QVERIFY(!port.Connected());
}

void TestComPort::farEndGoneIsReportedOnce() {
    Pty pty;
    TComPort port;
    Recorder r;
    r.Attach(port);
    port.SetPortName(pty.slavePath);
    port.Open();
    QVERIFY(port.Connected());
    pty.CloseMaster();
    QTRY_VERIFY_WITH_TIMEOUT(r.Count(kErrorAccessDenied) == 1, 5000);
    QVERIFY(!port.Connected());
    QTest::qWait(200); // the busy loop of errors would show here
    QCOMPARE(r.Count(kErrorAccessDenied), 1);
    QCOMPARE(port.Read(10).size(), std::size_t(0));
}

void TestComPort::reopenFromInsideTheFailureReport() {
    Pty pty;
    TComPort port;
    port.SetPortName("/dev/ttyNoSuchPort42");
    int reports = 0;
    port.onError = [&](const PortError& e) {
        if (e.winError != kErrorPortAbsent)
            return;
        ++reports;
        port.Close();
        port.SetPortName(pty.slavePath);
        port.Open();
    };
    port.Open();
    QCOMPARE(reports, 1);
    QVERIFY(port.Connected());
    QTest::qWait(50);
    QVERIFY(port.Connected());
}

void TestComPort::errorMapping() {
    QCOMPARE(TComPort::CodeFor(QSerialPort::DeviceNotFoundError), kErrorPortAbsent);
    QCOMPARE(TComPort::CodeFor(QSerialPort::PermissionError), kErrorAccessDenied);
    QCOMPARE(TComPort::CodeFor(QSerialPort::ResourceError), kErrorAccessDenied);
    QCOMPARE(TComPort::CodeFor(QSerialPort::ReadError), kErrorAccessDenied);
    for (auto e : {QSerialPort::UnsupportedOperationError, QSerialPort::OpenError,
                   QSerialPort::TimeoutError, QSerialPort::UnknownError}) {
        QVERIFY(TComPort::CodeFor(e) != kErrorPortAbsent);
        QVERIFY(TComPort::CodeFor(e) != kErrorAccessDenied);
    }
}

QTEST_GUILESS_MAIN(TestComPort)
#include "test_com_port.moc"
