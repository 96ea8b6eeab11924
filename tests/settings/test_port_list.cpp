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
        const QString ownTmp = QString("/tmp/tavrona-sim-%1").arg(CurrentUserId());
        qputenv("XDG_RUNTIME_DIR", "/run/user/1234");
        QCOMPARE(SimulatorLinkFolder(), QString("/run/user/1234/tavrona-sim"));
        qputenv("XDG_RUNTIME_DIR", "");
        QCOMPARE(SimulatorLinkFolder(), ownTmp);
        qunsetenv("XDG_RUNTIME_DIR");
        QCOMPARE(SimulatorLinkFolder(), ownTmp);
        qputenv("XDG_RUNTIME_DIR", saved);
    }

    void simulatedLinesAreLiveLinksByFullPath() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QDir(dir.path()).mkdir("sim");
        const QString sim = dir.filePath("sim");
        const QString target = sim + "/pty-stand-in";
        Touch(target);
        QVERIFY(QFile::link(target, sim + "/line2"));
        QVERIFY(QFile::link("pty-stand-in", sim + "/line1"));       // relative, inside the folder
        QVERIFY(QFile::link(dir.filePath("gone"), sim + "/stale")); // its simulator has ended
        Touch(sim + "/notes");
        MakePrivate(sim);
        QCOMPARE(SimulatedLines(sim), QStringList({sim + "/line1", sim + "/line2"}));
        QVERIFY(SimulatedLines(dir.filePath("absent")).isEmpty());
    }

    void lineTargets_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("line");
        const QString sim = "/run/user/7/tavrona-sim";
        QTest::newRow("pseudo-terminal") << "/dev/pts/3" << true;
        QTest::newRow("serial adapter") << "/dev/ttyUSB0" << true;
        QTest::newRow("inside the folder") << sim + "/pty" << true;
        QTest::newRow("null device") << "/dev/null" << false;
        QTest::newRow("a disk") << "/dev/sda" << false;
        QTest::newRow("below a pts entry") << "/dev/pts/3/x" << false;
        QTest::newRow("below a tty name") << "/dev/tty0/x" << false;
        QTest::newRow("the pts folder") << "/dev/pts" << false;
        QTest::newRow("a look-alike of /dev") << "/devices/pts/1" << false;
        QTest::newRow("a look-alike folder") << sim + "-other/pty" << false;
        QTest::newRow("the folder itself") << sim << false;
        QTest::newRow("a user's file") << "/home/op/.ssh/id_rsa" << false;
    }
    void lineTargets() {
        QFETCH(QString, target);
        QFETCH(bool, line);
        QCOMPARE(IsLineTarget(target, "/run/user/7/tavrona-sim"), line);
    }

    // Another local user must not be able to put a name into the operator's list.
    void unsafeFolderListsNothing_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("group may write") << "group";
        QTest::newRow("others may write") << "others";
        QTest::newRow("owned by another user") << "owner";
        QTest::newRow("a link to a private folder") << "link";
    }
    void unsafeFolderListsNothing() {
        QFETCH(QString, how);
        QTemporaryDir dir;
        QDir(dir.path()).mkdir("sim");
        const QString sim = dir.filePath("sim");
        Touch(sim + "/pty");
        QVERIFY(QFile::link(sim + "/pty", sim + "/line1"));
        MakePrivate(sim);
        QCOMPARE(SimulatedLines(sim), QStringList({sim + "/line1"})); // the sound case
        QString listed = sim;
        uint uid = CurrentUserId();
        if (how == "group")
            QFile::setPermissions(sim, QFile::permissions(sim) | QFile::WriteGroup);
        else if (how == "others")
            QFile::setPermissions(sim, QFile::permissions(sim) | QFile::WriteOther);
        else if (how == "owner")
            uid += 1;
        else if (how == "link")
            QVERIFY(QFile::link(sim, listed = dir.filePath("planted")));
        QVERIFY(!IsPrivateFolder(listed, uid));
        QVERIFY(SimulatedLines(listed, uid).isEmpty());
    }

#ifndef Q_OS_WIN
    void linksLeadingElsewhereAreNotFollowed() {
        QTemporaryDir dir;
        QDir(dir.path()).mkdir("sim");
        const QString sim = dir.filePath("sim");
        Touch(dir.filePath("outside"));
        Touch(sim + "/pty");
        QVERIFY(QFile::link(sim + "/pty", sim + "/good"));
        QVERIFY(QFile::link("/dev/null", sim + "/null"));
        QVERIFY(QFile::link("/etc/passwd", sim + "/passwd"));
        QVERIFY(QFile::link("../outside", sim + "/up"));
        QVERIFY(QFile::link("/dev/pts/../null", sim + "/dotdot"));
        QVERIFY(QFile::link(sim + "/null", sim + "/chain")); // inside, then away
        MakePrivate(sim);
        QCOMPARE(SimulatedLines(sim), QStringList({sim + "/good"}));
    }

    void systemListOffersTheSimulatedLines() {
        QTemporaryDir runtime;
        const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        QDir(runtime.path()).mkdir("tavrona-sim");
        const QString sim = runtime.path() + "/tavrona-sim";
        MakePrivate(sim);
        Touch(sim + "/pty");
        const QString line = sim + "/line1";
        QVERIFY(QFile::link(sim + "/pty", line));
        SystemPortList system;
        QStringList names;
        QVERIFY(system.ReadPorts(names));
        qputenv("XDG_RUNTIME_DIR", saved);
        QVERIFY2(names.contains(line), qPrintable(names.join(", ")));
    }
#endif

private:
    static void Touch(const QString& path) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    static void MakePrivate(const QString& folder) {
        QVERIFY(
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
};

QTEST_GUILESS_MAIN(TestPortList)
#include "test_port_list.moc"
