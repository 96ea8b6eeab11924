// The sensor-sim executable on its pseudo-terminal, spoken to over QSerialPort as the
// station does: its link, its replies, its silence, its counters and its clean exit.
#include "SimProcess.h"

#include "Frames.h"
#include "SensorBank.h"

#include <QFileInfo>
#include <QSerialPort>
#include <QtTest>

namespace {

QByteArray Request(uint8_t address, uint8_t command) {
    auto f = Frames::BuildRequest(address, command);
    return QByteArray(reinterpret_cast<const char*>(f.data()), 4);
}

QByteArray Bytes(const std::vector<uint8_t>& v) {
    return QByteArray(reinterpret_cast<const char*>(v.data()), static_cast<qsizetype>(v.size()));
}

bool Open(QSerialPort& port, const QString& name) {
    port.setPortName(name);
    port.setBaudRate(19200);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    return port.open(QIODevice::ReadWrite);
}

// Sends a request and gathers what comes back until the line stays quiet for `quietMs`
// (the first byte may take longer on a busy machine).
QByteArray Exchange(QSerialPort& port, const QByteArray& request, int quietMs = 400) {
    port.write(request);
    port.waitForBytesWritten(1000);
    QByteArray got;
    int wait = 2000;
    while (port.waitForReadyRead(wait)) {
        got += port.readAll();
        wait = quietMs;
    }
    return got + port.readAll();
}

} // namespace

class TestSimProcess : public QObject {
    Q_OBJECT
private slots:
    void helpAndRefusedOptions();
    void answersOnItsLinkAndLeavesNoLink();
    void faultsOnTheWire();
};

void TestSimProcess::helpAndRefusedOptions() {
    QProcess help;
    help.start(SENSOR_SIM_EXE, {"--help"});
    QVERIFY(help.waitForFinished(10000));
    QCOMPARE(help.exitCode(), 0);
    QByteArray text = help.readAllStandardOutput();
    for (const char* option : {"--silent", "--bad-crc", "--join", "--split", "--stray", "--late",
                               "--seed", "--link", "--stats", "SIGUSR1"})
        QVERIFY2(text.contains(option), option);

    QProcess bad;
    bad.start(SENSOR_SIM_EXE, {"--silent", "99"});
    QVERIFY(bad.waitForFinished(10000));
    QCOMPARE(bad.exitCode(), 2);
    QVERIFY(bad.readAllStandardError().contains("--silent"));
}

void TestSimProcess::answersOnItsLinkAndLeavesNoLink() {
    SimProcess sim(
        {"--link", "ttyTEST", "--silent", "3", "--fall", "0", "--seed", "9", "--delay", "0"});
    QVERIFY(sim.Device().startsWith("/dev/"));
    QString link = sim.LinkPath("ttyTEST");
    QCOMPARE(QFileInfo(link).symLinkTarget(), sim.Device());

    QSerialPort port;
    QVERIFY2(Open(port, link), qPrintable(port.errorString()));
    SensorBank expected(9, 0); // the same seed, levels held still
    QCOMPARE(Exchange(port, Request(1, Frames::kCmdData)),
             Bytes(Frames::BuildDataReply(1, expected.Reading(1))));
    QByteArray cfg = Exchange(port, Request(14, Frames::kCmdConfig));
    QCOMPARE(cfg.size(), 12);
    QVERIFY(Frames::CheckReply(reinterpret_cast<const uint8_t*>(cfg.constData()), 12));
    QVERIFY(Exchange(port, Request(3, Frames::kCmdData)).isEmpty()); // the silent one
    // A request with a wrong CRC is no request; the good one after it is answered.
    QByteArray spoilt = Request(2, Frames::kCmdData);
    spoilt[3] = static_cast<char>(spoilt[3] ^ 0x01);
    QCOMPARE(Exchange(port, spoilt + Request(2, Frames::kCmdData)),
             Bytes(Frames::BuildDataReply(2, expected.Reading(2))));
    port.close();

    // The station may close and open its port again: the line still answers.
    QVERIFY(Open(port, link));
    QCOMPARE(Exchange(port, Request(1, Frames::kCmdData)).size(), 9);
    port.close();

    QString counts = sim.Counts();
    QCOMPARE(CountOf(counts, "requests"), 5);
    QCOMPARE(CountOf(counts, "data"), 3);
    QCOMPARE(CountOf(counts, "cfg"), 1);
    QCOMPARE(CountOf(counts, "withheld"), 1);
    QCOMPARE(CountOf(counts, "bad-requests"), 1);
    QVERIFY(sim.Stop());
    QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
}

void TestSimProcess::faultsOnTheWire() {
    SimProcess sim({"--no-link", "--bad-crc", "1", "--join", "2", "--stray", "4", "--delay", "0",
                    "--fall", "0"});
    QVERIFY(!sim.Device().isEmpty());
    QVERIFY(!QFileInfo::exists(sim.LinkPath("ttySIM0")));
    QSerialPort port;
    QVERIFY(Open(port, sim.Device()));
    QByteArray bad = Exchange(port, Request(1, Frames::kCmdData));
    QCOMPARE(bad.size(), 9);
    QVERIFY(!Frames::CheckReply(reinterpret_cast<const uint8_t*>(bad.constData()), 9));
    QByteArray joined = Exchange(port, Request(2, Frames::kCmdData));
    QCOMPARE(joined.size(), 18);
    QCOMPARE(joined.left(9), joined.mid(9));
    QByteArray stray = Exchange(port, Request(4, Frames::kCmdData));
    QCOMPARE(stray.size(), 12);
    QVERIFY(Frames::CheckReply(reinterpret_cast<const uint8_t*>(stray.constData()) + 3, 9));
    port.close();
    QVERIFY(sim.Stop());
}

QTEST_GUILESS_MAIN(TestSimProcess)
#include "test_sim_process.moc"
