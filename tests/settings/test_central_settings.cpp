// The Settings dialog's central-server group: what is stored in [Central] is shown, "Ok"
// stores a change and restarts the sending once, "Test connection" shows the server's
// answer. The port and mode controls are covered by test_settings_dialog.

#include "Config.h"
#include "FakePorts.h"
#include "OpenSettings.h"
#include "OperatorMessages.h"
#include "PgConnection.h"
#include "SecretMask.h"
#include "SettingsUnit.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

class TestCentralSettings : public QObject {
    Q_OBJECT
    // The station's settings, as the main window holds them: read from the store.
    TSetup cfg;

private slots:
    void init() {
        QFile::remove(ConfigLocation());
        QVERIFY(WrCfgData(TSetup{"COM1", kModeDirect}));
        cfg = TSetup{};
        RCfgData(cfg);
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
            messages, cfg, [] {}, std::move(ports));
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
        // The sending restarts on the settings held, which are the ones stored.
        QCOMPARE(cfg.Central, stored);
        // The group sits above "Ok", inside the dialog.
        QVERIFY(form.Button1->geometry().top() > form.btnTestCentral->mapTo(&form, QPoint()).y());
        QVERIFY(form.Button1->geometry().bottom() < form.height());
    }

    // A store that cannot be written (a folder where the file should be, which stops even
    // root) is told to the operator, not taken as saved: the sending goes on as before.
    void unsavedCentralSettingsAreTold() {
        auto ports = std::make_unique<FakePorts>();
        ports->names = {"COM1"};
        RecordingMessages messages;
        int restarted = 0;
        OpenSettings form(
            messages, cfg, [] {}, std::move(ports));
        form.SetCentralChanged([&] { ++restarted; });
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
        QCOMPARE(cfg.Central.Connection, QString());
        QCOMPARE(restarted, 0);
    }

    void testConnectionShowsWhatTheServerSaid() {
        auto ports = std::make_unique<FakePorts>();
        ports->names = {"COM1"};
        RecordingMessages messages;
        OpenSettings form(
            messages, cfg, [] {}, std::move(ports));
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

    // Hand-written values with unquoted commas (libpq's host lists) read whole, and what
    // the station writes reads back whole.
    void commasReadWholeAndWriteBack_data() {
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<QString>("connection");
        QTest::addColumn<QString>("station");
        QTest::newRow("host list")
            << QByteArray("Connection=host=/sock,127.0.0.1 "
                          "port=55432,55432 dbname=fuel\n")
            << "host=/sock,127.0.0.1 port=55432,55432 dbname=fuel" << QSysInfo::machineHostName();
        QTest::newRow("station with a comma")
            << QByteArray("Connection=host=db\nStation=north,south\n") << "host=db"
            << "north,south";
    }
    void commasReadWholeAndWriteBack() {
        QFETCH(QByteArray, written);
        QFETCH(QString, connection);
        QFETCH(QString, station);
        {
            QFile f(ConfigLocation());
            QVERIFY(f.open(QIODevice::Append));
            f.write("\n[Central]\n" + written);
        }
        TCentralSetup read = RCentralData();
        QCOMPARE(read.Connection, connection);
        QCOMPARE(read.Station, station);
        QVERIFY(WrCentralData(TCentralSetup{}));
        QVERIFY(WrCentralData(read));
        read = RCentralData();
        QCOMPARE(read.Connection, connection);
        QCOMPARE(read.Station, station);
    }

    // A password typed into the connection goes to libpq's password file, readable by its
    // owner alone; the settings file never holds it, and the operator is told where it went.
    void typedPasswordGoesToThePasswordFile_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("secret");
        QTest::newRow("key and value")
            << "host=db port=5433 dbname=fuel user=depot7 password=s3cr:et sslmode=require"
            << "host=db port=5433 dbname=fuel user=depot7 sslmode=require"
            << QByteArray("db:5433:fuel:depot7:s3cr\\:et") << QByteArray("s3cr");
        QTest::newRow("quoted, last")
            << "host=db user=depot7 password = 'open sesame'"
            << "host=db user=depot7" << QByteArray("db:*:*:depot7:open sesame")
            << QByteArray("sesame");
        QTest::newRow("URI") << "postgresql://depot7:p%40ssw0rd@db:5433/fuel"
                             << "postgresql://depot7@db:5433/fuel"
                             << QByteArray("db:5433:fuel:depot7:p@ssw0rd") << QByteArray("ssw0rd");
    }
    void typedPasswordGoesToThePasswordFile() {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, secret);
        QTemporaryDir home;
        const QString passFile = home.filePath("pgpass");
        {
            QFile f(passFile);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("other:5432:*:someone:theirs\n");
        }
        qputenv("PGPASSFILE", passFile.toLocal8Bit());
        auto ports = std::make_unique<FakePorts>();
        ports->names = {"COM1"};
        RecordingMessages messages;
        OpenSettings form(
            messages, cfg, [] {}, std::move(ports));
        form.RequestShow();
        form.edCentralConnection->setText(typed);
        QTest::mouseClick(form.Button1, Qt::LeftButton);
        qunsetenv("PGPASSFILE");

        QCOMPARE(RCentralData().Connection, kept);
        QFile ini(ConfigLocation());
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QVERIFY(!ini.readAll().contains(secret));
        QFile pass(passFile);
        QVERIFY(pass.open(QIODevice::ReadOnly));
        QCOMPARE(pass.readAll(), "other:5432:*:someone:theirs\n" + line + "\n");
        QCOMPARE(pass.permissions() &
                     ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser),
                 QFile::Permissions());
        QCOMPARE(messages.shown.size(), std::size_t(1));
        QVERIFY(messages.shown[0].find(passFile.toStdString()) != std::string::npos);
        QVERIFY(messages.shown[0].find(secret.toStdString()) == std::string::npos);
    }

    // What libpq says about a string it cannot read, and any text that echoes one, never
    // shows the password.
    void passwordsAreMaskedInMessages_data() {
        QTest::addColumn<QString>("conninfo");
        QTest::addColumn<QString>("secret");
        QTest::newRow("a blank in the password") << "host=db password=abc def"
                                                 << "def";
        QTest::newRow("unterminated quote") << "host=db password='hunter2"
                                            << "hunter2";
        QTest::newRow("no server") << "host=/nonexistent/socket password=hunter2 connect_timeout=1"
                                   << "hunter2";
        QTest::newRow("URI") << "postgresql://u:hunter2@[bad"
                             << "hunter2";
    }
    void passwordsAreMaskedInMessages() {
        QFETCH(QString, conninfo);
        QFETCH(QString, secret);
        const std::string c = conninfo.toStdString(), pw = secret.toStdString();
        std::string error;
        QVERIFY(!PgConnection::Open(c, error));
        QVERIFY(!error.empty());
        QVERIFY2(error.find(pw) == std::string::npos, error.c_str());
        const std::string answer = TestCentralConnection(c);
        QVERIFY2(answer.find(pw) == std::string::npos, answer.c_str());
        const std::string echoed = MaskPasswords("could not use \"" + c + "\"", c);
        QVERIFY2(echoed.find(pw) == std::string::npos, echoed.c_str());
    }
};

QTEST_MAIN(TestCentralSettings)
#include "test_central_settings.moc"
