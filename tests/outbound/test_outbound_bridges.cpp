// The station's MQTT and mail bridges on a real sensor line and data.db: rows the file does
// not take are "rows waiting to be stored" on the broker, and the "no reading stored" mail
// follows the rows stored, not the readings received. And the mail settings dialog, whose
// close never waits for a test mail to a server that does not answer.

#include "FuelEvents.h"
#include "MailBridge.h"
#include "MailSetup.h"
#include "MqttBridge.h"
#include "MqttTestBroker.h"
#include "SmtpSink.h"
#include "WriteQueue.h"
#include "sensors/SensorFixture.h"

#include <QComboBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

namespace {
// Fills data.db up to a page limit of this connection, so that the next rows find it full.
void FillFile(TSQLiteDatabase& db) {
    const int64_t pages = db.GetTable("PRAGMA page_count").FieldAsInteger("page_count");
    db.GetTable("PRAGMA max_page_count = " + std::to_string(pages));
    try {
        for (int i = 0; i < 100000; ++i)
            db.ExecSQL("INSERT INTO DATA VALUES (1, 99, 0, 0, 0)");
    } catch (const SQLiteError&) {
    }
}

MailSettings Mailer(int port, const char* recipients = "ops@depot.example: stale") {
    MailSettings s = LocalMailSettings(port);
    s.staleMinutes = 2;
    Mail::ParseRecipients(recipients, s.recipients, nullptr);
    return s;
}

QStringList Subjects(const SmtpSink& sink) {
    QStringList out;
    for (const QString& m : sink.Mails())
        out << Header(m, "Subject");
    return out;
}
} // namespace

class TestOutboundBridges : public QObject {
    Q_OBJECT
private slots:
    void rowsThatWaitReachTheBroker();
    void noReadingMailFollowsStoredRows_data();
    void noReadingMailFollowsStoredRows();
    void closingTheDialogLeavesTheTestMailBehind();
    void lossIsNewsByItsEnd_data();
    void lossIsNewsByItsEnd();
    void lossFoundInHistoryIsMailedWithItsLitres();
};

void TestOutboundBridges::rowsThatWaitReachTheBroker() {
    MqttTestBroker broker;
    QVERIFY2(broker.Start(), "mosquitto must be installed (scripts/deps.sh)");
    SensorFixture f;
    f.AddTank(1, true);
    FuelEvents events(FuelEventsContext{*f.db, f.tanks, f.clock, {}, f.link->Writes()});
    QVERIFY(events.Start());
    MqttBridge bridge(MqttBridgeContext{
        f.tanks, events, f.clock, {}, {}, nullptr, [&] { return f.link->Writes()->Waiting(); }});
    f.link->AddReadingSink(bridge);
    MqttSettings s;
    s.host = "127.0.0.1";
    s.port = broker.Port();
    s.station = "depot 7";
    bridge.Restart(s);
    MqttTestSubscriber sub(broker.Port(), Mqtt::BacklogTopic(s));
    QVERIFY(sub.Connected());
    auto backlog = [&](const char* key) {
        const auto it = sub.last.find(Mqtt::BacklogTopic(s));
        return it == sub.last.end()
                   ? -1
                   : QJsonDocument::fromJson(QByteArray::fromStdString(it->second))[key].toInt(-1);
    };
    f.AnswerRequests();
    f.link->DeviceConnect();
    f.line.Advance(10000);
    FillFile(*f.db);
    f.line.Advance(200000);
    const int waiting = int(f.link->Writes()->Waiting());
    QVERIFY(waiting >= 2);
    QVERIFY(sub.WaitFor([&] { return backlog("unstored_rows") == waiting; }));
    // The central server's count comes on its own; it leaves the rows waiting as they are.
    bridge.Unsent(7);
    QVERIFY(sub.WaitFor([&] { return backlog("unsent_rows") == 7; }));
    QCOMPARE(backlog("unstored_rows"), waiting);
    // Room again: the waiting rows are stored, and the broker hears of it.
    f.db->GetTable("PRAGMA max_page_count = 1073741823");
    f.line.Advance(70000);
    QCOMPARE(f.link->Writes()->Waiting(), std::size_t(0));
    QVERIFY(sub.WaitFor([&] { return backlog("unstored_rows") == 0; }));
    QCOMPARE(backlog("unsent_rows"), 7);
}

void TestOutboundBridges::noReadingMailFollowsStoredRows_data() {
    QTest::addColumn<bool>("refused"); // rows refused for good, else waiting for room
    QTest::newRow("file full: rows wait") << false;
    QTest::newRow("file refuses the rows") << true;
}

// Readings keep coming for four minutes while none is stored: the "no reading stored" mail
// goes after two; once rows are stored again, the mail that says so.
void TestOutboundBridges::noReadingMailFollowsStoredRows() {
    QFETCH(bool, refused);
    SmtpSink sink;
    QVERIFY2(sink.Start(), "python3-aiosmtpd must be installed (scripts/deps.sh)");
    SensorFixture f;
    f.AddTank(1, true);
    FuelEvents events(FuelEventsContext{*f.db, f.tanks, f.clock, {}, f.link->Writes()});
    QVERIFY(events.Start());
    MailBridge bridge(MailBridgeContext{f.tanks, events, f.clock, {}, nullptr, {}, {}, [&] {
                                            return f.link->Writes()->Waiting();
                                        }});
    f.link->AddReadingSink(bridge);
    bridge.Restart(Mailer(sink.Port()));
    f.AnswerRequests();
    f.link->DeviceConnect();
    for (int i = 0; i < 3; ++i) {
        f.line.Advance(60000);
        bridge.CheckStale();
    }
    QCOMPARE(sink.Mails().size(), 0);
    const int stored = f.Rows("DATA", "adr = 1");
    QVERIFY(stored >= 2);
    if (refused)
        f.db->ExecSQL("CREATE TRIGGER refuse BEFORE INSERT ON DATA BEGIN "
                      "SELECT RAISE(ABORT, 'refused'); END");
    else
        FillFile(*f.db);
    for (int i = 0; i < 4; ++i) {
        f.line.Advance(60000);
        bridge.CheckStale();
    }
    QCOMPARE(f.Rows("DATA", "adr = 1"), stored);
    QVERIFY(sink.WaitForMails(1));
    QCOMPARE(Subjects(sink), QStringList{"[Tavrona depot 7] No reading stored for 2 minutes"});
    if (refused)
        f.db->ExecSQL("DROP TRIGGER refuse");
    else
        f.db->GetTable("PRAGMA max_page_count = 1073741823");
    f.line.Advance(70000);
    bridge.CheckStale();
    QVERIFY(f.Rows("DATA", "adr = 1") > stored);
    QVERIFY(sink.WaitForMails(2));
    QVERIFY2(Subjects(sink).contains("[Tavrona depot 7] Readings stored again"),
             qPrintable(Subjects(sink).join(" | ")));
}

void TestOutboundBridges::closingTheDialogLeavesTheTestMailBehind() {
    SilentServer server;
    server.start();
    QTRY_VERIFY(server.port > 0);
    auto* dialog = new MailSettingsDialog;
    dialog->edHost->setText("127.0.0.1");
    dialog->sbPort->setValue(server.port);
    dialog->cbSecurity->setCurrentIndex(int(MailSecurity::None));
    dialog->edFrom->setText("station@depot.example");
    dialog->edRecipients->setText("ops@depot.example");
    dialog->btnTest->click();
    QTRY_VERIFY(server.connected);
    delete dialog;
    // Had the close waited for the send to end, the server would have seen the client go.
    QVERIFY(!server.disconnected);
    // The send is abandoned behind the closed dialog, not left hanging.
    QTRY_VERIFY(server.disconnected);
    QVERIFY(server.wait(10000));
}

void TestOutboundBridges::lossIsNewsByItsEnd_data() {
    QTest::addColumn<double>("startMinutesAgo");
    QTest::addColumn<double>("endMinutesAgo"); // < 0: still open when reported
    QTest::addColumn<bool>("mailed");
    QTest::newRow("slow theft, begun 40 min ago, open") << 40.0 << -1.0 << true;
    QTest::newRow("begun 40 min ago, ended 5 min ago") << 40.0 << 5.0 << true;
    QTest::newRow("old history: ended 30 min ago") << 60.0 << 30.0 << false;
}

// A loss is raised with its start's time. It is mailed while it goes on or ended lately,
// however long ago it began; one that ended long before it was found is history.
void TestOutboundBridges::lossIsNewsByItsEnd() {
    QFETCH(double, startMinutesAgo);
    QFETCH(double, endMinutesAgo);
    QFETCH(bool, mailed);
    SmtpSink sink;
    QVERIFY2(sink.Start(), "python3-aiosmtpd must be installed (scripts/deps.sh)");
    SensorFixture f;
    f.AddTank(2, true, "South Diesel");
    FuelEvents events(FuelEventsContext{*f.db, f.tanks, f.clock, {}, f.link->Writes()});
    QVERIFY(events.Start());
    MailBridge bridge(MailBridgeContext{f.tanks, events, f.clock, {}, nullptr, {}, {}, {}});
    bridge.Restart(Mailer(sink.Port(), "guard@depot.example"));
    const double now = f.clock.UtcNow(), minute = 1.0 / 1440;
    FuelEvent loss;
    loss.kind = FuelEventKind::Loss;
    loss.tstart = now - startMinutesAgo * minute;
    if (endMinutesAgo >= 0)
        loss.tend = now - endMinutesAgo * minute;
    emit events.FuelEventReported(2, loss);
    emit events.AlarmTransitioned(
        2, {AlarmKind::Loss, AlarmState::Cleared, AlarmState::Unacknowledged, loss.tstart, {}});
    // A HIGH raised now is queued after it: once it is in, the loss's mail went or never will.
    emit events.AlarmTransitioned(
        2, {AlarmKind::High, AlarmState::Cleared, AlarmState::Unacknowledged, now, 9900});
    QVERIFY(sink.WaitForMails(mailed ? 2 : 1));
    const QStringList subjects = Subjects(sink);
    QCOMPARE(subjects.size(), mailed ? 2 : 1);
    QCOMPARE(subjects.filter("LOSS alarm raised: South Diesel (tank 2)").size(), mailed ? 1 : 0);
}

// The station was off while fuel went: the loss is found in the history examined at
// start-up, and its mail says how much went and when, as for one seen going on.
void TestOutboundBridges::lossFoundInHistoryIsMailedWithItsLitres() {
    SmtpSink sink;
    QVERIFY2(sink.Start(), "python3-aiosmtpd must be installed (scripts/deps.sh)");
    SensorFixture f;
    f.AddTank(2, true, "South Diesel").Capacity = 10000;
    const double now = f.clock.UtcNow(), minute = 1.0 / 1440;
    // Four hours at 6000 l, 600 l gone in ten minutes, still since: the last hour and a half.
    f.db->ExecSQL("BEGIN");
    for (int m = 240 + 100; m >= 1; --m) {
        const int gone = m > 100 ? 0 : m > 90 ? 60 * (100 - m) : 600;
        f.db->ExecSQL("INSERT INTO DATA (tstamp, adr, flevel, fcode, temp) VALUES (" +
                      std::to_string(now - m * minute) + ", 2, " + std::to_string(6000 - gone) +
                      ", 0, 12)");
    }
    f.db->ExecSQL("COMMIT");
    FuelEvents events(FuelEventsContext{*f.db, f.tanks, f.clock, {}, f.link->Writes()});
    QVERIFY(events.Start());
    MailBridge bridge(MailBridgeContext{f.tanks, events, f.clock, {}, nullptr, {}, {}, {}});
    bridge.Restart(Mailer(sink.Port(), "guard@depot.example: loss"));
    events.StartCatchUp();
    events.WaitForCatchUp();
    QVERIFY(sink.WaitForMails(1));
    const QString mail = sink.Mails().at(0);
    const QString text = QString::fromUtf8(Part(mail, "Content-Type: text/plain"));
    const QRegularExpressionMatch lost = QRegularExpression("Lost: (\\d+) l").match(text);
    QVERIFY2(lost.hasMatch(), qPrintable(text));
    QVERIFY2(std::abs(lost.captured(1).toInt() - 600) <= 12, qPrintable(text));
    QVERIFY2(Header(mail, "Subject").endsWith(", " + lost.captured(1) + " l"), qPrintable(mail));
    QVERIFY2(QRegularExpression("Loss: from \\S+ \\S+ to \\S+ \\S+").match(text).hasMatch(),
             qPrintable(text));
}

QTEST_MAIN(TestOutboundBridges)
#include "test_outbound_bridges.moc"
