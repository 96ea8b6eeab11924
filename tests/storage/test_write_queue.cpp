// The queue of rows the file did not take: which failures make a row wait and which are
// raised as before, the order rows are written in once the file takes them again, the
// bound on what waits, and what the operator is told (once each).
#include "SQLiteDatabase.h"
#include "WriteQueue.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

namespace {

// A file with one table; writes insert their number, and fail with `failWith` while it is
// set, as a busy or full file would.
struct QueueFixture {
    QTemporaryDir dir;
    TSQLiteDatabase db{dir.filePath("q.db").toStdString()};
    int64_t nowMs = 0;
    int failWith = 0;
    int tries = 0;
    std::vector<WriteQueue::Change> told;
    WriteQueue queue{db, [this] { return nowMs; }, 5};

    QueueFixture() {
        db.ExecSQL("CREATE TABLE T (v INTEGER)");
        queue.onChange = [this](const WriteQueue::Change& c) { told.push_back(c); };
    }
    bool Submit(int v) {
        return queue.Submit([this, v](TSQLiteDatabase& d) {
            ++tries;
            if (failWith)
                throw SQLiteError("failed", failWith);
            d.ExecSQL("INSERT INTO T VALUES (" + std::to_string(v) + ")");
        });
    }
    std::vector<int> Stored() {
        std::vector<int> v;
        TSQLiteTable t = db.GetTable("SELECT v FROM T ORDER BY rowid");
        for (; !t.Eof(); t.Next())
            v.push_back(int(t.FieldAsInteger("v")));
        return v;
    }
    QString Told() const {
        QStringList out;
        for (const WriteQueue::Change& c : told)
            out << QString("%1:%2").arg(c.kind).arg(c.count);
        return out.join(" ");
    }
};

} // namespace

class WriteQueueTest : public QObject {
    Q_OBJECT
private slots:
    void whichFailuresWait_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("waits");
        QTest::newRow("busy") << SQLITE_BUSY << true;
        QTest::newRow("busy, extended") << (SQLITE_BUSY | (2 << 8)) << true;
        QTest::newRow("locked") << SQLITE_LOCKED << true;
        QTest::newRow("disk full") << SQLITE_FULL << true;
        QTest::newRow("I/O error") << SQLITE_IOERR_WRITE << true;
        QTest::newRow("wrong statement") << SQLITE_ERROR << false;
        QTest::newRow("constraint") << SQLITE_CONSTRAINT << false;
        QTest::newRow("read-only file") << SQLITE_READONLY << false;
    }
    void whichFailuresWait() {
        QFETCH(int, code);
        QFETCH(bool, waits);
        QueueFixture f;
        f.failWith = code;
        bool raised = false;
        try {
            QVERIFY(!f.Submit(1));
        } catch (const SQLiteError& e) {
            raised = true;
            QCOMPARE(e.Code(), code);
        }
        QCOMPARE(raised, !waits);
        QCOMPARE(int(f.queue.Waiting()), waits ? 1 : 0);
    }

    // Rows that wait are written before any later one, in the order they came; the tries
    // come 2 s after the failure, then twice as far apart, up to 30 s; the operator hears
    // once that rows wait and once that they are stored.
    void rowsWaitAndAreStoredInOrder() {
        QueueFixture f;
        QVERIFY(f.Submit(1));
        f.failWith = SQLITE_FULL;
        QVERIFY(!f.Submit(2));
        QVERIFY(!f.Submit(3)); // not due: waits without a try
        QCOMPARE(f.tries, 2);
        const std::vector<std::pair<int64_t, int>> dueAt{{2000, 3}, {6000, 4}, {14000, 5}};
        for (const auto& [ms, tries] : dueAt) {
            f.nowMs = ms - 1;
            f.queue.Retry();
            QCOMPARE(f.tries, tries - 1);
            f.nowMs = ms;
            f.queue.Retry();
            QCOMPARE(f.tries, tries);
        }
        QCOMPARE(f.Told(), QString("0:2"));
        f.failWith = 0;
        f.nowMs += 200000;
        QVERIFY(f.Submit(4));
        QCOMPARE(f.Stored(), (std::vector<int>{1, 2, 3, 4}));
        QCOMPARE(f.Told(), QString("0:2 1:3"));
        QVERIFY(f.Submit(5)); // straight in again, nothing more told
        QCOMPARE(f.Told(), QString("0:2 1:3"));
    }

    // More than the queue holds: the newest are dropped, told once; the rest are stored.
    void aFullQueueDropsAndSaysSoOnce() {
        QueueFixture f;
        f.failWith = SQLITE_BUSY;
        for (int v = 1; v <= 8; ++v)
            f.Submit(v);
        QCOMPARE(int(f.queue.Waiting()), 5);
        QCOMPARE(int(f.queue.LostCount()), 3);
        f.failWith = 0;
        QCOMPARE(f.queue.StoreBeforeExit(), std::size_t(0));
        QCOMPARE(f.Stored(), (std::vector<int>{1, 2, 3, 4, 5}));
        QCOMPARE(f.Told(), QString("2:1 1:5"));
        QCOMPARE(f.told.back().lost, std::size_t(3));
    }

    // A waiting row that can never be stored is dropped alone; its neighbours are stored.
    void aRowThatFailsForGoodDoesNotHoldUpTheRest() {
        QueueFixture f;
        f.failWith = SQLITE_IOERR;
        f.Submit(1);
        f.queue.Submit([](TSQLiteDatabase& d) { d.ExecSQL("INSERT INTO NOWHERE VALUES (1)"); });
        f.Submit(3);
        f.failWith = 0;
        QCOMPARE(f.queue.Retry(true), std::size_t(0));
        QCOMPARE(f.Stored(), (std::vector<int>{1, 3}));
        QCOMPARE(int(f.queue.LostCount()), 1);
    }
};

QTEST_GUILESS_MAIN(WriteQueueTest)
#include "test_write_queue.moc"
