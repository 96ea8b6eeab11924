// The Settings dialog's central-server group: what is stored in [Central] is shown, "Ok"
// stores a change and restarts the sending once, "Test connection" shows the server's
// answer. The port and mode controls are covered by test_settings_dialog.

#include "Config.h"
#include "FakePorts.h"
#include "OpenSettings.h"
#include "OperatorMessages.h"
#include "SettingsUnit.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTest>

class TestCentralSettings : public QObject {
    Q_OBJECT
private slots:
    void init() {
        QFile::remove(ConfigLocation());
        CfgData = TSetup{"COM1", kModeDirect};
        QVERIFY(WrCfgData(CfgData));
    }

    void storedSettingsAreShownAndChangesStoredOnce_data() {
        QTest::addColumn<QString>("connection");
        QTest::addColumn<QString>("station");
        QTest::addColumn<int>("restarts");
        QTest::newRow("untouched") << QString() << QString() << 0;
        QTest::newRow("a server") << "host=db.example dbname=fuel user=depot7"
                                  << "depot-7" << 1;
        QTest::newRow("only the name") << QString() << "north" << 1;
    }
    void storedSettingsAreShownAndChangesStoredOnce() {
        QFETCH(QString, connection);
        QFETCH(QString, station);
        QFETCH(int, restarts);
        auto ports = std::make_unique<FakePorts>();
        ports->names = {"COM1"};
        RecordingMessages messages;
        int restarted = 0;
        OpenSettings form(
            messages, [] {}, std::move(ports));
        form.SetCentralChanged([&] { ++restarted; });
        form.RequestShow();
        QCOMPARE(form.edCentralConnection->text(), QString());
        QCOMPARE(form.edCentralStation->text(), QSysInfo::machineHostName());
        if (!connection.isEmpty())
            form.edCentralConnection->setText(connection);
        if (!station.isEmpty())
            form.edCentralStation->setText(station);
        QTest::mouseClick(form.Button1, Qt::LeftButton);
        QCOMPARE(restarted, restarts);
        const TCentralSetup stored = RCentralData();
        QCOMPARE(stored.Connection, connection);
        QCOMPARE(stored.Station, station.isEmpty() ? QSysInfo::machineHostName() : station);
        // The group sits above "Ok", inside the dialog.
        QVERIFY(form.Button1->geometry().top() > form.btnTestCentral->mapTo(&form, QPoint()).y());
        QVERIFY(form.Button1->geometry().bottom() < form.height());
    }

    // A store that cannot be written (a folder where the file should be, which stops even
    // root) is told to the operator, not taken as saved.
    void unsavedCentralSettingsAreTold() {
        auto ports = std::make_unique<FakePorts>();
        ports->names = {"COM1"};
        RecordingMessages messages;
        OpenSettings form(
            messages, [] {}, std::move(ports));
        form.RequestShow();
        QFile::remove(ConfigLocation());
        QDir().mkpath(ConfigLocation());
        form.edCentralConnection->setText("host=db.example dbname=fuel");
        QTest::mouseClick(form.Button1, Qt::LeftButton);
        QDir().rmdir(ConfigLocation());
        QCOMPARE(messages.shown.size(), std::size_t(1));
        QVERIFY2(messages.shown[0].find("could not be saved") != std::string::npos,
                 messages.shown[0].c_str());
        QCOMPARE(RCentralData().Connection, QString());
    }

    void testConnectionShowsWhatTheServerSaid() {
        auto ports = std::make_unique<FakePorts>();
        ports->names = {"COM1"};
        RecordingMessages messages;
        OpenSettings form(
            messages, [] {}, std::move(ports));
        std::string asked;
        form.centralProbe = [&](const std::string& c) {
            asked = c;
            return std::string("FATAL:  password authentication failed for user \"depot7\"");
        };
        form.RequestShow();
        form.btnTestCentral->click();
        QCOMPARE(form.lbCentralAnswer->text(), QString("No connection entered: nothing is sent."));
        QVERIFY(asked.empty());
        form.edCentralConnection->setText("  host=db.example user=depot7 ");
        form.btnTestCentral->click();
        QVERIFY(!form.btnTestCentral->isEnabled());
        QTRY_VERIFY(form.btnTestCentral->isEnabled());
        QCOMPARE(asked, std::string("host=db.example user=depot7"));
        QCOMPARE(form.lbCentralAnswer->text(),
                 QString("FATAL:  password authentication failed for user \"depot7\""));
    }
};

QTEST_MAIN(TestCentralSettings)
#include "test_central_settings.moc"
