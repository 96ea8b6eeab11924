// The station's sensor line end to end: SensorLink with its real serial port, framer,
// scheduler and storage, polling a real sensor-sim process over a pseudo-terminal.
// Only the waits are shortened (a cycle pause of 1.5 s, 300 ms between requests, still
// longer than the 200 ms receive gap) and the clock can be moved on, so the test sees
// several cycles and a configuration round in seconds.
#include "SimProcess.h"

#include "Clock.h"
#include "Conditions.h"
#include "Database.h"
#include "DemoSetup.h"
#include "LinkTimer.h"
#include "SQLiteDatabase.h"
#include "SensorBank.h"
#include "SensorLink.h"
#include "TankList.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <map>
#include <memory>

namespace {

constexpr uint32_t kSeed = 5;
constexpr int kWaitMs = 30000; // a deadline for slow machines, never a measurement

// The system clock, which the test may move on by whole seconds.
class MovableClock : public Clock {
public:
    double UtcNow() const override {
        return QDateTime::currentMSecsSinceEpoch() / 86400000.0 + 25569.0 + shift_;
    }
    double LocalNow() const override {
        return UtcNow() + QDateTime::currentDateTime().offsetFromUtc() / 86400.0;
    }
    void MoveOnSeconds(double s) { shift_ += s / 86400.0; }

private:
    double shift_ = 0;
};

// Timer1 as the link sets it, but waiting less: the scheduler still sees its own periods.
class ShortWaitTimer : public LinkTimer {
public:
    ShortWaitTimer() : inner_(false) {
        inner_.onTimeout = [this] {
            if (onTimeout)
                onTimeout();
        };
    }
    void SetInterval(int ms) override {
        interval_ = ms;
        inner_.SetInterval(ms == 60000 ? 1500 : ms == 1000 ? 300 : ms);
    }
    int Interval() const override { return interval_; }
    void SetEnabled(bool on) override { inner_.SetEnabled(on); }
    bool Enabled() const override { return inner_.Enabled(); }

private:
    QtLinkTimer inner_;
    int interval_ = 0;
};

struct DataRowSeen {
    double tstamp;
    int adr, flevel, fcode, temp;
};

// One station on one simulator: the demo's database and tanks, the link and its log.
class Station {
public:
    explicit Station(const QStringList& simArgs)
        : sim(simArgs +
              QStringList{"--link", "ttyLINE", "--fall", "0", "--seed", QString::number(kSeed)}) {
        path = dir.filePath("data.db").toStdString();
        DemoResult demo = SetUpDemoDatabase(path, false); // these tests count every row
        if (!demo.ok)
            qFatal("demo database: %s", demo.error.c_str());
        db = std::make_unique<TSQLiteDatabase>(path);
        // The demo's week of stored history is not what this line brings: count only its rows.
        db->ExecSQL("DELETE FROM DATA");
        db->ExecSQL("DELETE FROM ERROR");
        LoadTanks(*db, [this]() -> TItemNode& { return tanks.Add(); });
        SensorLinkDevices devices = SensorLinkDevices::Station();
        devices.pollTimer = std::make_unique<ShortWaitTimer>();
        const QString port = sim.LinkPath("ttyLINE");
        link = std::make_unique<SensorLink>(
            SensorLinkContext{tanks, *db, clock, messages, [port] { return port; },
                              [this](const std::string& line) { memo = line + memo; }},
            std::move(devices));
    }

    std::vector<DataRowSeen> Rows(const std::string& where) {
        std::vector<DataRowSeen> rows;
        TSQLiteTable t = db->GetTable("SELECT * FROM DATA " + where + " ORDER BY tstamp");
        for (; !t.Eof(); t.Next())
            rows.push_back({t.Field("tstamp").d, int(t.Field("adr").i), int(t.Field("flevel").i),
                            int(t.Field("fcode").i), int(t.Field("temp").i)});
        return rows;
    }
    int Count(const std::string& sql) { return db->GetTable(sql).Count(); }
    int DataRows(int adr) { return Count("SELECT * FROM DATA WHERE adr = " + std::to_string(adr)); }
    int ErrorRows(int adr) {
        return Count("SELECT * FROM ERROR WHERE adr = " + std::to_string(adr));
    }
    TItemNode& Tank(int id) { return *tanks.FindNode(static_cast<unsigned>(id)); }

    QTemporaryDir dir;
    SimProcess sim;
    std::string path;
    std::unique_ptr<TSQLiteDatabase> db;
    PlainTankList tanks;
    MovableClock clock;
    RecordingConditions messages;
    std::string memo;
    std::unique_ptr<SensorLink> link;
};

const std::vector<int> kAnswering = {1, 2, 4, 5, 6}; // the demo's active tanks but 3

} // namespace

class TestSensorLine : public QObject {
    Q_OBJECT
private slots:
    void readingsAndSilenceReachTheDatabase();
    void spoiltRepliesAreRefusedAndLoggedAsSilence();
    void lineTakenAwayAndGivenBack();
    void noiseBetweenRepliesCostsNoReading();
};

void TestSensorLine::readingsAndSilenceReachTheDatabase() {
    Station st({"--silent", "3", "--delay", "2"});
    QVERIFY(!st.sim.Device().isEmpty());
    const double before = st.clock.UtcNow();
    st.link->DeviceConnect();
    QVERIFY(st.link->Port().Connected());

    // Two cycles: every answering tank read twice, and the silent one judged once.
    QTRY_VERIFY_WITH_TIMEOUT(st.ErrorRows(3) >= 1 && st.DataRows(6) >= 2, kWaitMs);
    const double after = st.clock.UtcNow();

    SensorBank sensors(kSeed, 0); // the simulator's readings, which hold still
    for (int adr : kAnswering) {
        Frames::DataReading r = sensors.Reading(adr);
        TItemNode& tank = st.Tank(adr);
        std::vector<DataRowSeen> rows = st.Rows("WHERE adr = " + std::to_string(adr));
        QVERIFY2(rows.size() >= 2, qPrintable(QString::number(adr)));
        for (const DataRowSeen& row : rows) {
            QCOMPARE(row.fcode, int(r.flc));
            QCOMPARE(row.temp, int(r.temp));
            QCOMPARE(row.flevel, LitresForCode(tank, r.flc));
            QVERIFY(row.tstamp >= before - 1e-9 && row.tstamp <= after + 1e-9);
        }
        QVERIFY(rows[1].tstamp > rows[0].tstamp);
        // A cycle apart (1.5 s here), not two readings of one reply.
        QVERIFY((rows[1].tstamp - rows[0].tstamp) * 86400 > 1.0);
        // The record shows what the row shows; its time is local.
        QCOMPARE(tank.FLC, r.flc);
        QCOMPARE(tank.FLFR, r.flfr);
        QCOMPARE(tank.Temp, r.temp);
        QCOMPARE(tank.FL, LitresForCode(tank, r.flc));
        QVERIFY(tank.LDTime > 0);
    }
    // Nothing from the silent sensor nor from the inactive tanks 7 to 14.
    QCOMPARE(st.DataRows(3), 0);
    QCOMPARE(st.Count("SELECT * FROM DATA WHERE adr > 6"), 0);
    QCOMPARE(st.Count("SELECT * FROM ERROR WHERE adr <> 3"), 0);
    TSQLiteTable err = st.db->GetTable("SELECT * FROM ERROR");
    QCOMPARE(err.Field("code").i, int64_t(1));
    QVERIFY(err.Field("tstamp").d >= before && err.Field("tstamp").d <= after + 1e-9);
    QVERIFY(st.memo.find("   No answer from sensor \"Petrol Station\" (Address 3)\r\n") !=
            std::string::npos);
    QVERIFY(st.messages.shown.empty());
    QCOMPARE(st.messages.beeps, 0); // a clean line: no reply refused
    QCOMPARE(st.messages.PortRequests(), 0);

    // Three minutes later every active sensor is asked for its configuration; the silent
    // one's unanswered request is stored as a silence, but a sensor that fails all its
    // polls is named in the Errors log only once an hour.
    const int cfgBefore = int(CountOf(st.sim.Counts(), "cfg"));
    QCOMPARE(cfgBefore, 0);
    const int silencesBefore = st.ErrorRows(3);
    st.clock.MoveOnSeconds(181);
    QTRY_VERIFY_WITH_TIMEOUT(st.link->Health().Counts(3).requests >= 3 &&
                                 st.ErrorRows(3) >= silencesBefore + 2,
                             kWaitMs);
    QVERIFY(st.memo.find("CFG data. No answer from sensor") == std::string::npos);
    QCOMPARE(std::count(st.memo.begin(), st.memo.end(), '\n'), std::ptrdiff_t(1));
    // Polling paused, every data reply the simulator sent has become one DATA row.
    st.link->Timer1().SetEnabled(false);
    QTRY_COMPARE_WITH_TIMEOUT(CountOf(st.sim.Counts(), "data"),
                              qint64(st.Count("SELECT * FROM DATA")), kWaitMs);
    QString counts = st.sim.Counts();
    QCOMPARE(CountOf(counts, "cfg"), qint64(kAnswering.size()));
    QVERIFY(CountOf(counts, "withheld") >= 2);
    QCOMPARE(CountOf(counts, "ignored"), 0);
    QCOMPARE(CountOf(counts, "bad-requests") + CountOf(counts, "junk"), 0);
    QCOMPARE(st.messages.beeps, 0);
    st.link->Timer1().SetEnabled(true);

    // The simulator goes away: one beep, polling stops, nothing is written any more but
    // the one row per active tank that marks the time without a line.
    const int rowsBefore =
        st.Count("SELECT * FROM DATA") + st.Count("SELECT * FROM ERROR WHERE code = 1");
    st.sim.Kill();
    QTRY_VERIFY_WITH_TIMEOUT(st.messages.beeps >= 1, kWaitMs);
    QTest::qWait(2000); // more than a cycle of the shortened timer
    QCOMPARE(st.messages.beeps, 1);
    QVERIFY(!st.link->Timer1().Enabled());
    QCOMPARE(st.Count("SELECT * FROM DATA") + st.Count("SELECT * FROM ERROR WHERE code = 1"),
             rowsBefore);
    QCOMPARE(st.Count("SELECT * FROM ERROR WHERE code = 2"), 6);
    QVERIFY(st.messages.shown.empty());
}

// The simulator takes its line away (the terminal closes, the link goes) and gives it back
// under the same name: polling resumes by itself within the back-off time, with no box.
void TestSensorLine::lineTakenAwayAndGivenBack() {
    Station st({"--commands", "--delay", "2"});
    QVERIFY(!st.sim.Device().isEmpty());
    st.link->DeviceConnect();
    QTRY_VERIFY_WITH_TIMEOUT(st.DataRows(6) >= 1, kWaitMs);
    QCOMPARE(st.sim.Command("unplug"), QString("unplugged"));
    QTRY_VERIFY_WITH_TIMEOUT(!st.link->LineUp(), kWaitMs);
    QTest::qWait(6000); // at least one try finds nothing
    const int rows = st.Count("SELECT * FROM DATA");
    QVERIFY(st.sim.Command("plug").startsWith("plugged /dev/"));
    QElapsedTimer back;
    back.start();
    QTRY_VERIFY_WITH_TIMEOUT(st.Count("SELECT * FROM DATA") > rows, kWaitMs);
    qInfo("first reading %lld ms after the line came back", static_cast<long long>(back.elapsed()));
    QVERIFY(st.link->LineUp());
    QCOMPARE(st.messages.beeps, 1);
    QVERIFY(st.messages.shown.empty());
    QCOMPARE(st.messages.PortRequests(), 0);
    QVERIFY(st.memo.find("   Line lost on ") != std::string::npos);
    QVERIFY(st.memo.find("   Line back on ") != std::string::npos);
    QCOMPARE(st.Count("SELECT * FROM ERROR WHERE code = 2"), 6);
    // Muted, the line stays but every sensor is silent: that is silence, not a lost line.
    QCOMPARE(st.sim.Command("mute"), QString("muted"));
    QTRY_VERIFY_WITH_TIMEOUT(st.Count("SELECT * FROM ERROR WHERE code = 1") >= 6, kWaitMs);
    QVERIFY(st.link->LineUp());
}

void TestSensorLine::spoiltRepliesAreRefusedAndLoggedAsSilence() {
    // Address 2 answers with a wrong CRC, address 5 with noise in front of its reply, which
    // is read again from its start byte.
    Station st({"--bad-crc", "2", "--stray", "5", "--delay", "2"});
    QVERIFY(!st.sim.Device().isEmpty());
    st.link->DeviceConnect();
    QTRY_VERIFY_WITH_TIMEOUT(st.ErrorRows(2) >= 1 && st.DataRows(6) >= 2, kWaitMs);
    QCOMPARE(st.DataRows(2), 0);
    for (int adr : {1, 3, 4, 5, 6})
        QVERIFY(st.DataRows(adr) >= 2); // the line keeps its frames apart after each refusal
    QCOMPARE(st.Count("SELECT * FROM ERROR WHERE adr <> 2"), 0);
    // Each refused reply beeps once a cycle.
    QString counts = st.sim.Counts();
    QCOMPARE(qint64(st.messages.beeps), CountOf(counts, "bad-crc"));
    QVERIFY(CountOf(counts, "stray") >= 2);
    QVERIFY(st.messages.beeps >= 2);
    QVERIFY(st.messages.shown.empty());
    // The health counts name the sensor whose replies were refused.
    QVERIFY(st.link->Health().Counts(2).refusedCrc >= 2);
    QCOMPARE(st.link->Health().Counts(5).refusedCrc, uint64_t(0));
    QCOMPARE(st.link->Health().Counts(1).refusedCrc, uint64_t(0));
    QVERIFY(st.link->Health().Counts(1).good >= 2);
}

// Noise bytes after every reply, while nothing is asked, and in front of some: every
// sensor is read every cycle, none is ever called silent.
void TestSensorLine::noiseBetweenRepliesCostsNoReading() {
    Station st({"--trail", "all", "--trail-bytes", "6", "--trail-pause", "250", "--stray", "4",
                "--delay", "2"});
    QVERIFY(!st.sim.Device().isEmpty());
    st.link->DeviceConnect();
    QTRY_VERIFY_WITH_TIMEOUT(st.DataRows(1) >= 4 && st.DataRows(6) >= 4, kWaitMs);
    st.link->Timer1().SetEnabled(false);
    QTRY_COMPARE_WITH_TIMEOUT(CountOf(st.sim.Counts(), "data"),
                              qint64(st.Count("SELECT * FROM DATA")), kWaitMs);
    for (int adr = 1; adr <= 6; ++adr)
        QVERIFY(st.DataRows(adr) >= 3);
    QVERIFY(CountOf(st.sim.Counts(), "stray") >= 3);
    QCOMPARE(st.Count("SELECT * FROM ERROR"), 0);
    QVERIFY(st.memo.find("No answer") == std::string::npos);
    QCOMPARE(st.messages.beeps, 0);
}

QTEST_GUILESS_MAIN(TestSensorLine)
#include "test_sensor_line.moc"
