// The station killed outright while it stores readings as fast as it can: the file must
// stay sound, hold every reading whose insert had finished, and serve the next start.
#include "FaultStation.h"
#include "FaultTools.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct KillResult {
    long lastReported = 0;
    int lines = 0;
    bool killedBySigkill = false;
    std::string error;
};

// Runs the helper on `file`, kills it once `killAt` readings are reported and `delayUs`
// more have passed, and reads every number it managed to report before it died.
KillResult StoreAndKill(const std::string& file, int killAt, int delayUs) {
    KillResult r;
    int fds[2];
    if (pipe(fds) != 0) {
        r.error = "pipe";
        return r;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        execl(STORE_HELPER, STORE_HELPER, file.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string pending;
    bool killed = false;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) {
        pending.append(buf, static_cast<std::size_t>(n));
        for (std::size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
            r.lastReported = std::stol(pending.substr(0, nl));
            ++r.lines;
            pending.erase(0, nl + 1);
        }
        if (!killed && r.lines >= killAt) {
            if (delayUs > 0)
                usleep(static_cast<useconds_t>(delayUs));
            kill(pid, SIGKILL);
            killed = true;
        }
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.killedBySigkill = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    return r;
}

QString FastTemplate() {
    return QFileInfo(QStringLiteral("/dev/shm")).isWritable()
               ? QStringLiteral("/dev/shm/tavrona-kill-XXXXXX")
               : QDir::tempPath() + QStringLiteral("/tavrona-kill-XXXXXX");
}

} // namespace

class KillWhileStoringTest : public QObject {
    Q_OBJECT
    QTemporaryDir fast{FastTemplate()};
    QTemporaryDir disk; // where synced writes really reach the disk

private slots:
    void killedMidStream_data() {
        QTest::addColumn<bool>("onDisk");
        QTest::addColumn<int>("killAt");
        QTest::addColumn<int>("delayUs");
        QTest::newRow("at once after 150") << false << 150 << 0;
        QTest::newRow("300 then 40 us") << false << 300 << 40;
        QTest::newRow("450 then 250 us") << false << 450 << 250;
        QTest::newRow("600 then 900 us") << false << 600 << 900;
        QTest::newRow("on disk, 60 then 100 us") << true << 60 << 100;
    }

    void killedMidStream() {
        QFETCH(bool, onDisk);
        QFETCH(int, killAt);
        QFETCH(int, delayUs);
        const QString name = QStringLiteral("kill-%1-%2.db").arg(killAt).arg(delayUs);
        const std::string file = (onDisk ? disk : fast).filePath(name).toStdString();
        const KillResult r = StoreAndKill(file, killAt, delayUs);
        QVERIFY(r.error.empty());
        QVERIFY2(r.killedBySigkill, "the helper ended before it was killed");
        QVERIFY(r.lastReported >= killAt);
        QCOMPARE(long(r.lines), r.lastReported); // one line per finished insert, in order

        {
            OtherProgram check(file);
            QCOMPARE(check.IntegrityCheck(), std::string("ok"));
            const std::vector<int> codes = check.StoredCodes();
            // Every finished insert is there; at most the one in flight came on top.
            QVERIFY(long(codes.size()) >= r.lastReported);
            QVERIFY(long(codes.size()) <= r.lastReported + 1);
            for (std::size_t i = 0; i < codes.size(); ++i)
                QCOMPARE(codes[i], int(i + 1));
            QCOMPARE(check.Column("SELECT count(*) FROM TANKS"), std::vector<std::string>{"14"});
        }

        // The next start finds a usable file and stores on.
        const std::size_t before = OtherProgram(file).StoredCodes().size();
        FaultStation st(file);
        QVERIFY(st.created);
        QCOMPARE(st.tanks.TankCount(), 14);
        st.Deliver(3, 4321);
        QVERIFY(st.messages.shown.empty());
        const std::vector<int> after = OtherProgram(file).StoredCodes();
        QCOMPARE(after.size(), before + 1);
        QCOMPARE(after.back(), 4321);
    }
};

QTEST_GUILESS_MAIN(KillWhileStoringTest)
#include "test_kill_while_storing.moc"
