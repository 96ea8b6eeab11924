#include "FakePorts.h"
#include "PortList.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestPortList : public QObject {
    Q_OBJECT
private slots:
    void sortsWithoutRegardToCase() {
        QStringList names = {"COM2", "com10", "COM1", "/dev/ttyUSB0", "/dev/ttyS0"};
        SortPortNames(names);
        QCOMPARE(names, QStringList({"/dev/ttyS0", "/dev/ttyUSB0", "COM1", "com10", "COM2"}));
    }

    void refillReplacesEntriesSorted() {
        FakePorts ports;
        ports.names = {"COM10", "COM2", "COM1"};
        QStringList entries = {"COM7"};
        QVERIFY(RefillPortNames(ports, entries));
        QCOMPARE(entries, QStringList({"COM1", "COM10", "COM2"}));
    }

    void unreadableListLeavesEntriesAsTheyWere() {
        FakePorts ports;
        ports.readable = false;
        QStringList entries = {"COM3", "COM4"};
        QVERIFY(!RefillPortNames(ports, entries));
        QCOMPARE(entries, QStringList({"COM3", "COM4"}));
    }

    void simulatorFolderFollowsRuntimeFolder() {
        const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", "/run/user/1234");
        QCOMPARE(SimulatorLinkFolder(), QString("/run/user/1234/tavrona-sim"));
        qputenv("XDG_RUNTIME_DIR", "");
        QCOMPARE(SimulatorLinkFolder(), QString("/tmp/tavrona-sim"));
        qunsetenv("XDG_RUNTIME_DIR");
        QCOMPARE(SimulatorLinkFolder(), QString("/tmp/tavrona-sim"));
        qputenv("XDG_RUNTIME_DIR", saved);
    }

    void simulatedLinesAreLiveLinksByFullPath() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString target = dir.filePath("pty-stand-in");
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QDir(dir.path()).mkdir("sim");
        const QString sim = dir.filePath("sim");
        QVERIFY(QFile::link(target, sim + "/line2"));
        QVERIFY(QFile::link(target, sim + "/line1"));
        QVERIFY(QFile::link(dir.filePath("gone"), sim + "/stale")); // its simulator has ended
        QFile plain(sim + "/notes");
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        QCOMPARE(SimulatedLines(sim), QStringList({sim + "/line1", sim + "/line2"}));
        QVERIFY(SimulatedLines(dir.filePath("absent")).isEmpty());
    }

#ifndef Q_OS_WIN
    void systemListOffersTheSimulatedLines() {
        QTemporaryDir runtime;
        const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        QDir(runtime.path()).mkdir("tavrona-sim");
        const QString line = runtime.path() + "/tavrona-sim/line1";
        QVERIFY(QFile::link("/dev/null", line));
        SystemPortList system;
        QStringList names;
        QVERIFY(system.ReadPorts(names));
        qputenv("XDG_RUNTIME_DIR", saved);
        QVERIFY2(names.contains(line), qPrintable(names.join(", ")));
    }
#endif
};

QTEST_GUILESS_MAIN(TestPortList)
#include "test_port_list.moc"
