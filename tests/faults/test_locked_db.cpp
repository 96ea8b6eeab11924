// data.db held by another program while readings arrive: every reading that cannot be
// stored waits in memory, said once in words that name the lock; the station goes on, the
// rows already stored stay as they were, and the waiting ones are stored in order once the
// lock is gone.
#include "FaultStation.h"
#include "FaultTools.h"
#include "WriteQueue.h"

#include <sqlite3.h>

#include <QTemporaryDir>
#include <QtTest>

namespace {

bool NamesTheLock(const std::string& text) {
    const QString t = QString::fromStdString(text).toLower();
    return t.contains("locked") || t.contains("busy");
}

} // namespace

class LockedDbTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    std::string Path(const char* n) { return dir.filePath(n).toStdString(); }

    // Readings 1..3 stored, readings under the lock taken by `lock`, then 2 after release.
    void RunUnderLock(const char* file, const char* lock, int lockedReadings) {
        FaultStation st(Path(file));
        QVERIFY(st.created);
        QCOMPARE(st.tanks.TankCount(), 14);
        for (uint8_t a = 1; a <= 3; ++a)
            st.Deliver(a, 100 + a);
        QVERIFY(st.messages.shown.empty());

        OtherProgram other(Path(file));
        QCOMPARE(other.Exec(lock), SQLITE_OK);
        std::vector<int> expected{101, 102, 103};
        for (int i = 0; i < lockedReadings; ++i) {
            st.Deliver(uint8_t(4 + i % 3), uint16_t(200 + i));
            expected.push_back(200 + i);
        }
        // No box: the readings wait, and the log says once why.
        QVERIFY(st.messages.shown.empty());
        QCOMPARE(int(st.link->Writes()->Waiting()), lockedReadings);
        st.line.Advance(WriteQueue::kRetryMs);
        QCOMPARE(int(std::count_if(st.log.begin(), st.log.end(), NamesTheLock)), 1);
        // The tiles show the readings that wait.
        QCOMPARE(int(st.tanks.Tank(3).FLC), 200 + (lockedReadings - 3));
        QCOMPARE(other.Exec("ROLLBACK"), SQLITE_OK);

        st.line.Advance(WriteQueue::kLongestRetryMs);
        st.Deliver(7, 300);
        st.Deliver(8, 301);
        expected.insert(expected.end(), {300, 301});
        QVERIFY(st.messages.shown.empty());
        OtherProgram check(Path(file));
        QCOMPARE(check.IntegrityCheck(), std::string("ok"));
        QCOMPARE(check.StoredCodes(), expected);
    }

private slots:
    // No other program may even read: the station's own queries fail too.
    void exclusiveLock() { RunUnderLock("exclusive.db", "BEGIN EXCLUSIVE", 6); }

    // Another program is in the middle of writing: reads work, the insert does not.
    void pendingWriteOfAnotherProgram() { RunUnderLock("reserved.db", "BEGIN IMMEDIATE", 6); }

    // The other program's own rows, committed while the station kept going, are kept too.
    void otherProgramsRowsSurvive() {
        FaultStation st(Path("mixed.db"));
        st.Deliver(1, 11);
        {
            OtherProgram other(Path("mixed.db"));
            QCOMPARE(other.Exec("BEGIN EXCLUSIVE"), SQLITE_OK);
            QCOMPARE(other.Exec("INSERT INTO DATA (tstamp, adr, flevel, fcode, temp) VALUES "
                                "(1.5, 9, 0, 99, 0)"),
                     SQLITE_OK);
            st.Deliver(2, 22);
            QCOMPARE(other.Exec("COMMIT"), SQLITE_OK);
        }
        st.line.Advance(WriteQueue::kRetryMs);
        st.Deliver(3, 33);
        QVERIFY(st.messages.shown.empty());
        OtherProgram check(Path("mixed.db"));
        QCOMPARE(check.StoredCodes(), (std::vector<int>{11, 99, 22, 33}));
    }

    // Started while another program holds the write lock: the file is in write-ahead
    // logging, so the start reads it as always; its first reading waits for the lock.
    void startWhileLocked() {
        const std::string file = Path("start.db");
        {
            FaultStation first(file);
            first.Deliver(1, 1);
        }
        OtherProgram other(file);
        QCOMPARE(other.Exec("BEGIN EXCLUSIVE"), SQLITE_OK);
        FaultStation again(file);
        QVERIFY(again.created);
        QCOMPARE(again.tanks.TankCount(), 14);
        again.Deliver(2, 2);
        QCOMPARE(int(again.link->Writes()->Waiting()), 1);
        QCOMPARE(other.Exec("ROLLBACK"), SQLITE_OK);
        again.line.Advance(WriteQueue::kRetryMs);
        QVERIFY(again.messages.shown.empty());
        QCOMPARE(OtherProgram(file).StoredCodes(), (std::vector<int>{1, 2}));
    }

    // A lock is no box at all: readings that arrive while it lasts are handled, and stored
    // after it.
    void noBoxWhileLocked() {
        FaultStation st(Path("stack.db"));
        OtherProgram other(Path("stack.db"));
        QCOMPARE(other.Exec("BEGIN EXCLUSIVE"), SQLITE_OK);
        for (uint8_t a = 1; a <= 6; ++a)
            st.Deliver(a, a);
        QVERIFY(st.messages.shown.empty());
        QCOMPARE(int(st.tanks.Tank(5).FLC), 6);
        QCOMPARE(other.Exec("ROLLBACK"), SQLITE_OK);
        st.line.Advance(WriteQueue::kRetryMs);
        st.Deliver(7, 77);
        OtherProgram check(Path("stack.db"));
        QCOMPARE(check.StoredCodes(), (std::vector<int>{1, 2, 3, 4, 5, 6, 77}));
    }

    // Polling goes on under the lock, and a sensor that answers is never logged as silent
    // because its row had to wait.
    void pollingGoesOnUnderTheLock() {
        FaultStation st(Path("poll.db"));
        st.tanks.Tank(0).Act = true;
        int answered = 0;
        st.port->onWrite = [&](const std::vector<uint8_t>& req) {
            answered += req[2] == Frames::kCmdData ? 1 : 0;
            const auto reply = req[2] == Frames::kCmdData
                                   ? Frames::BuildDataReply(1, {20, 500, 0})
                                   : Frames::BuildReply(1, req[2], {1, 2, 3, 4, 5, 6, 7, 8});
            st.line.At(st.line.NowMs() + 30, [&st, reply] { st.port->Inject(reply); });
        };
        OtherProgram other(Path("poll.db"));
        QCOMPARE(other.Exec("BEGIN EXCLUSIVE"), SQLITE_OK);
        st.line.Advance(3 * 60000 + 5000);
        // A reading a cycle, all waiting.
        QVERIFY(st.messages.shown.empty());
        QVERIFY(answered >= 3);
        QCOMPARE(int(st.link->Writes()->Waiting()), answered);
        QCOMPARE(other.Exec("ROLLBACK"), SQLITE_OK);
        st.line.Advance(3 * 60000);
        QVERIFY(st.messages.shown.empty());
        OtherProgram check(Path("poll.db"));
        QCOMPARE(check.StoredCodes(), std::vector<int>(std::size_t(answered), 500));
        QCOMPARE(check.Column("SELECT count(*) FROM ERROR"), std::vector<std::string>{"0"});
        QCOMPARE(check.IntegrityCheck(), std::string("ok"));
    }
};

QTEST_GUILESS_MAIN(LockedDbTest)
#include "test_locked_db.moc"
