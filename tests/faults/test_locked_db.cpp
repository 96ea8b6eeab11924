// data.db held by another program while readings arrive: every reading that cannot be
// stored is reported once, in words that say the file is locked; the station goes on, the
// rows already stored stay as they were, and storing resumes once the lock is gone.
#include "FaultStation.h"
#include "FaultTools.h"

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
        for (int i = 0; i < lockedReadings; ++i)
            st.Deliver(uint8_t(4 + i % 3), uint16_t(200 + i));
        // Each reading that could not be stored is reported once, and says why.
        QCOMPARE(int(st.messages.shown.size()), lockedReadings);
        for (const std::string& m : st.messages.shown)
            QVERIFY2(NamesTheLock(m), m.c_str());
        // The tiles still show the readings whose rows were lost.
        QCOMPARE(int(st.tanks.Tank(3).FLC), 200 + (lockedReadings - 3));
        QCOMPARE(other.Exec("ROLLBACK"), SQLITE_OK);

        st.messages.shown.clear();
        st.Deliver(7, 300);
        st.Deliver(8, 301);
        QVERIFY(st.messages.shown.empty());
        OtherProgram check(Path(file));
        QCOMPARE(check.IntegrityCheck(), std::string("ok"));
        QCOMPARE(check.StoredCodes(), (std::vector<int>{101, 102, 103, 300, 301}));
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
        st.Deliver(3, 33);
        QCOMPARE(int(st.messages.shown.size()), 1);
        OtherProgram check(Path("mixed.db"));
        QCOMPARE(check.StoredCodes(), (std::vector<int>{11, 99, 33}));
    }

    // Started while another program holds the file: the start is refused in words that
    // name the lock, and a start after the lock is gone works with everything kept.
    void startWhileLocked() {
        const std::string file = Path("start.db");
        {
            FaultStation first(file);
            first.Deliver(1, 1);
        }
        OtherProgram other(file);
        QCOMPARE(other.Exec("BEGIN EXCLUSIVE"), SQLITE_OK);
        QString text;
        try {
            TSQLiteDatabase db(file);
        } catch (const SQLiteError& e) {
            text = QString::fromStdString(e.what());
        }
        QVERIFY2(text.startsWith("Failed to open database \"" + QString::fromStdString(file)),
                 qPrintable(text));
        QVERIFY2(NamesTheLock(text.toStdString()), qPrintable(text));
        QCOMPARE(other.Exec("ROLLBACK"), SQLITE_OK);
        FaultStation again(file);
        QVERIFY(again.created);
        QCOMPARE(again.tanks.TankCount(), 14);
        again.Deliver(2, 2);
        QVERIFY(again.messages.shown.empty());
        QCOMPARE(OtherProgram(file).StoredCodes(), (std::vector<int>{1, 2}));
    }

    // Readings keep arriving and failing under the lock: each is handled, and every
    // failure is the same condition (one line and a count for the operator, not a stack of
    // boxes).
    void lockedFileIsOneCondition() {
        FaultStation st(Path("stack.db"));
        OtherProgram other(Path("stack.db"));
        QCOMPARE(other.Exec("BEGIN EXCLUSIVE"), SQLITE_OK);
        for (uint8_t a = 1; a <= 6; ++a)
            st.Deliver(a, a);
        QCOMPARE(int(st.messages.reported.size()), 6);
        for (const Condition& c : st.messages.reported) {
            QCOMPARE(c.key, st.messages.reported[0].key);
            QVERIFY2(NamesTheLock(c.text), c.text.c_str());
        }
        QCOMPARE(int(st.tanks.Tank(5).FLC), 6); // every reading was handled
        QCOMPARE(other.Exec("ROLLBACK"), SQLITE_OK);
        st.Deliver(7, 77);
        OtherProgram check(Path("stack.db"));
        QCOMPARE(check.StoredCodes(), std::vector<int>{77});
    }

    // Polling goes on under the lock: the silence of a sensor whose row was lost is noted
    // in the log even though its ERROR row cannot be written either.
    void pollingGoesOnUnderTheLock() {
        FaultStation st(Path("poll.db"));
        st.tanks.Tank(0).Act = true;
        st.port->onWrite = [&](const std::vector<uint8_t>& req) {
            const auto reply = req[2] == Frames::kCmdData
                                   ? Frames::BuildDataReply(1, {20, 500, 0})
                                   : Frames::BuildReply(1, req[2], {1, 2, 3, 4, 5, 6, 7, 8});
            st.line.At(st.line.NowMs() + 30, [&st, reply] { st.port->Inject(reply); });
        };
        OtherProgram other(Path("poll.db"));
        QCOMPARE(other.Exec("BEGIN EXCLUSIVE"), SQLITE_OK);
        st.line.Advance(3 * 60000 + 5000);
        const std::size_t underLock = st.messages.shown.size();

        // The first reading, then one failed silence row a cycle (that tick ends there).
        QCOMPARE(int(underLock), 4);
        for (const std::string& m : st.messages.shown)
            QVERIFY2(NamesTheLock(m), m.c_str());
        QVERIFY(!st.log.empty());
        QCOMPARE(other.Exec("ROLLBACK"), SQLITE_OK);
        st.messages.shown.clear();
        st.line.Advance(3 * 60000);
        QVERIFY(st.messages.shown.empty());
        OtherProgram check(Path("poll.db"));
        QCOMPARE(check.StoredCodes(), (std::vector<int>{500, 500}));
        QCOMPARE(check.Column("SELECT count(*) FROM ERROR"), std::vector<std::string>{"1"});
        QCOMPARE(check.IntegrityCheck(), std::string("ok"));
    }
};

QTEST_GUILESS_MAIN(LockedDbTest)
#include "test_locked_db.moc"
