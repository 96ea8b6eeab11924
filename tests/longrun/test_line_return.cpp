// The sensor line goes away while the main window polls, and comes back: the station's own
// window with its serial port, poll timer, Settings dialog and data.db, and a real
// sensor-sim on a pseudo-terminal that is killed half way through a poll cycle.
#include "SimProcess.h"

#include "Config.h"
#include "Database.h"
#include "MainUnit.h"
#include "PortList.h"
#include "SensorLink.h"
#include "SettingsUnit.h"
#include "SystemClock.h"
#include "TItemNode.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <deque>

namespace {

constexpr int kWaitMs = 30000; // a deadline for slow machines, never a measurement
const QStringList kSimOptions{"--delay", "2", "--fall", "0", "--seed", "7", "--no-link"};

// The station's data.db with tanks 1 to 4 active.
void PrepareDatabase(const std::string& path) {
    TSQLiteDatabase db(path);
    RecordingMessages quiet;
    if (!CreateDatabase(db, "BM", quiet))
        qFatal("data.db could not be created");
    std::deque<TItemNode> tanks; // records keep their place while more are added
    LoadTanks(db, [&]() -> TItemNode& { return tanks.emplace_back(); });
    for (TItemNode& node : tanks) {
        node.Act = node.id <= 4;
        SaveTank(db, node, quiet);
    }
}

// Where the Settings dialog finds the simulated lines: a link named like a port.
QString LinkLine(const QString& name, const QString& device) {
    const QString folder = SimulatorLinkFolder();
    QDir().mkpath(folder);
    // Lines are listed only from a folder that no one else may write into.
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString path = folder + "/" + name;
    QFile::remove(path);
    if (!QFile::link(device, path))
        qFatal("cannot link %s", qPrintable(path));
    return path;
}

} // namespace

class TestLineReturn : public QObject {
    Q_OBJECT
private slots:
    void lineGoesAwayAndComesBack();
    void sameLineReopensUnderItsOldName();

private:
    int Rows(TForm1& w, const std::string& sql) { return w.Db().GetTable(sql).Count(); }
    int Data(TForm1& w, int adr) {
        return Rows(w, "SELECT * FROM DATA WHERE adr = " + std::to_string(adr));
    }
};

void TestLineReturn::lineGoesAwayAndComesBack() {
    QTemporaryDir dir;
    const std::string path = dir.filePath("data.db").toStdString();
    PrepareDatabase(path);

    auto first = std::make_unique<SimProcess>(kSimOptions);
    QVERIFY(!first->Device().isEmpty());
    const QString port = LinkLine("ttyLINE", first->Device());
    QVERIFY(WrCfgData(TSetup{port, kModeDirect}));

    RecordingMessages messages;
    SystemClock clock;
    TForm1 w(messages, clock, path);
    QVERIFY(!w.StartFailed());
    w.show(); // the first activation connects and starts a cycle at once
    // Tanks 1 and 2 have answered; 3 and 4 are still to be asked, a second apart.
    QTRY_VERIFY_WITH_TIMEOUT(Data(w, 2) == 1, kWaitMs);
    first->Kill();
    qInfo("line pulled with %d readings stored", Rows(w, "SELECT * FROM DATA"));

    // One beep for the vanished device, and polling rests; the loss is logged once and
    // marked by one row per active tank.
    QTRY_COMPARE_WITH_TIMEOUT(messages.beeps, 1, kWaitMs);
    QCOMPARE(Rows(w, "SELECT * FROM ERROR WHERE code = 2"), 4);
    QVERIFY(w.LogText().contains("   Line lost on " + port + ", retrying"));
    QVERIFY(w.LineStateText().startsWith("Line lost at "));
    const int dataGone = Rows(w, "SELECT * FROM DATA");
    const int errorsGone = Rows(w, "SELECT * FROM ERROR");
    const QString logGone = w.LogText();
    QVERIFY(!w.Link().Timer1().Enabled());

    // The event loop goes on: queued work runs and timers fire while the line is away,
    // for longer than the rest of the cycle would have taken.
    int ticks = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { ++ticks; });
    heartbeat.start(100);
    bool posted = false;
    QMetaObject::invokeMethod(
        &w, [&] { posted = true; }, Qt::QueuedConnection);
    QTRY_VERIFY_WITH_TIMEOUT(posted, kWaitMs);
    QTest::qWait(3000);
    QTRY_VERIFY_WITH_TIMEOUT(ticks >= 3, kWaitMs);
    heartbeat.stop();

    // Nothing was stored, logged or said meanwhile (the tries of the vanished port find
    // nothing, quietly): no flood of beeps or boxes.
    QCOMPARE(messages.beeps, 1);
    QCOMPARE(messages.shown, std::vector<std::string>{});
    QCOMPARE(Rows(w, "SELECT * FROM DATA"), dataGone);
    QCOMPARE(Rows(w, "SELECT * FROM ERROR"), errorsGone);
    QCOMPARE(w.LogText(), logGone);
    QVERIFY(!w.Link().Timer1().Enabled());

    // The device is back under another name; the operator picks it in Settings and
    // presses "Ok", which reconnects.
    auto second = std::make_unique<SimProcess>(kSimOptions);
    QVERIFY(!second->Device().isEmpty());
    const QString back = LinkLine("ttyBACK", second->Device());
    bool offered = false;
    QTimer::singleShot(0, &w, [&] {
        const int index = w.Form2->cbPort->findText(back);
        offered = index >= 0;
        w.Form2->cbPort->setCurrentIndex(index);
        w.Form2->Button1->click();
        if (w.Form2->isVisible())
            w.Form2->reject(); // never leave the test waiting on the dialog
    });
    const int dataBefore = Rows(w, "SELECT * FROM DATA");
    w.Settings1Click();
    QVERIFY(offered);
    QCOMPARE(w.CfgData().PortNum, back);
    QVERIFY(w.Link().Port().Connected());
    QVERIFY(w.Link().Timer1().Enabled());

    // Polling resumes at once, and every active tank's readings reach DATA again.
    for (int adr = 1; adr <= 4; ++adr)
        QTRY_VERIFY_WITH_TIMEOUT(Data(w, adr) >= (adr <= 2 ? 2 : 1), kWaitMs);
    const int fresh = Rows(w, "SELECT * FROM DATA") - dataBefore;
    QCOMPARE(qint64(fresh), CountOf(second->Counts(), "data"));
    QCOMPARE(Rows(w, "SELECT * FROM DATA WHERE adr > 4"), 0);
    // Only a request that was on its way when the line went may be logged as unanswered.
    QVERIFY(Rows(w, "SELECT * FROM ERROR") <= errorsGone + 1);
    // Each silence is one line and one row; the loss and the return one line each.
    QCOMPARE(w.LogText().count('\n'), Rows(w, "SELECT * FROM ERROR WHERE code = 1") + 2);
    QVERIFY(w.LineStateText().startsWith("Line back at "));
    QCOMPARE(messages.beeps, 1);
    QCOMPARE(messages.shown, std::vector<std::string>{});
    qInfo("back on %s: %d fresh readings, %d silences logged in all, %d beep", qPrintable(back),
          fresh, Rows(w, "SELECT * FROM ERROR"), messages.beeps);
    QFile::remove(w.CfgData().PortNum);
    QFile::remove(SimulatorLinkFolder() + "/ttyLINE");
}

// The device comes back under the name it had (a USB adapter plugged into the same
// socket). The port, closed by the failure, opens again on the next reconnection.
void TestLineReturn::sameLineReopensUnderItsOldName() {
    QTemporaryDir dir;
    const std::string path = dir.filePath("data.db").toStdString();
    PrepareDatabase(path);
    auto first = std::make_unique<SimProcess>(kSimOptions);
    QVERIFY(!first->Device().isEmpty());
    const QString port = LinkLine("ttySAME", first->Device());
    QVERIFY(WrCfgData(TSetup{port, kModeDirect}));

    RecordingMessages messages;
    SystemClock clock;
    TForm1 w(messages, clock, path);
    w.show();
    QTRY_VERIFY_WITH_TIMEOUT(Data(w, 4) == 1, kWaitMs); // a whole cycle read
    first->Kill();
    QTRY_COMPARE_WITH_TIMEOUT(messages.beeps, 1, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!w.Link().Port().Connected(), kWaitMs);

    auto second = std::make_unique<SimProcess>(kSimOptions);
    QVERIFY(!second->Device().isEmpty());
    LinkLine("ttySAME", second->Device());
    // "Ok" on the unchanged choice while the line is down reconnects at once, without
    // waiting for the next try.
    QTimer::singleShot(0, &w, [&] {
        w.Form2->Button1->click();
        if (w.Form2->isVisible())
            w.Form2->reject();
    });
    w.Settings1Click();
    QVERIFY(w.Link().Port().Connected());
    for (int adr = 1; adr <= 4; ++adr)
        QTRY_VERIFY_WITH_TIMEOUT(Data(w, adr) == 2, kWaitMs);
    QCOMPARE(CountOf(second->Counts(), "data"), qint64(4));
    // Nothing was awaited when the line went: no silence, only the mark of the gap.
    QCOMPARE(Rows(w, "SELECT * FROM ERROR WHERE code = 1"), 0);
    QCOMPARE(Rows(w, "SELECT * FROM ERROR WHERE code = 2"), 4);
    QCOMPARE(messages.beeps, 1);
    QCOMPARE(messages.shown, std::vector<std::string>{});
    QFile::remove(w.CfgData().PortNum);
}

QTEST_MAIN(TestLineReturn)
#include "test_line_return.moc"
