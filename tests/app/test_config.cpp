// The two settings and their store (isolated through XDG_CONFIG_HOME by CTest).
#include "Config.h"

#include <QSettings>
#include <QStandardPaths>
#include <QtTest>

class ConfigTest : public QObject {
    Q_OBJECT
    QString file;
    void Store(const QVariant& port, const QVariant& mode) {
        QFile::remove(file);
        QSettings s(file, QSettings::IniFormat);
        if (port.isValid())
            s.setValue("Setup/PortNum", port);
        if (mode.isValid())
            s.setValue("Setup/WorkMode", mode);
    }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(false);
        file =
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/Dravo.ini";
        QVERIFY(qEnvironmentVariableIsSet("XDG_CONFIG_HOME"));
        QVERIFY(file.startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
        QCOMPARE(ConfigLocation(), file);
    }

    void nothingStored() {
        QFile::remove(file);
        TSetup c{"x", "y"};
        RCfgData(c);
        QCOMPARE(c.PortNum, QString());
        QCOMPARE(c.WrkMode, QString("Direct"));
        QVERIFY(!QFile::exists(file)); // reading writes nothing back
    }

    void modes_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("read");
        QTest::newRow("logger") << "Logger"
                                << "Logger";
        QTest::newRow("direct") << "Direct"
                                << "Direct";
        QTest::newRow("other case") << "logger"
                                    << "Direct";
        QTest::newRow("trailing blank") << "Logger "
                                        << "Direct";
        QTest::newRow("empty") << ""
                               << "Direct";
    }
    void modes() {
        QFETCH(QString, stored);
        QFETCH(QString, read);
        Store("COM4", stored);
        TSetup c;
        RCfgData(c);
        QCOMPARE(c.WrkMode, read);
        QCOMPARE(c.PortNum, QString("COM4"));
        QSettings s(file, QSettings::IniFormat);
        QCOMPARE(s.value("Setup/WorkMode").toString(), stored); // the store keeps the old text
    }

    void writeThenRead() {
        QFile::remove(file);
        WrCfgData(TSetup{"/tmp/tavrona-sim/ttySIM0", "Logger"});
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray ini = f.readAll();
        QVERIFY(ini.contains("[Setup]"));
        QVERIFY(ini.contains("PortNum=/tmp/tavrona-sim/ttySIM0"));
        QVERIFY(ini.contains("WorkMode=Logger"));
        TSetup c;
        RCfgData(c);
        QCOMPARE(c.PortNum, QString("/tmp/tavrona-sim/ttySIM0"));
        QCOMPARE(c.WrkMode, QString("Logger"));
        QCOMPARE(c.CodePage, QString("Windows-1252")); // the default, written with the rest
        QVERIFY(ini.contains("CodePage=Windows-1252"));

        WrCfgData(TSetup{"COM1", "Direct", "Windows-1251"});
        RCfgData(c);
        QCOMPARE(c.CodePage, QString("Windows-1251"));
        QSettings(file, QSettings::IniFormat).setValue("Setup/CodePage", "KOI8-R"); // not offered
        RCfgData(c);
        QCOMPARE(c.CodePage, QString("Windows-1252"));
    }
};

QTEST_GUILESS_MAIN(ConfigTest)
#include "test_config.moc"
