// The shared background reader: only the newest reading is handed back, a cancel interrupts
// the query it runs, and nothing reaches a reader that has gone.
#include "BackgroundRead.h"
#include "SQLiteDatabase.h"

#include <QTemporaryDir>
#include <QtTest>

#include <future>

namespace {

// Runs until the connection's interrupt ends it.
const char* kEndless = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
                       "SELECT count(*) FROM c";

using Job = std::function<void(BackgroundRead::Reading&, int&)>;

} // namespace

class TestBackgroundRead : public QObject {
    Q_OBJECT
private slots:
    void init();
    void newerStartDropsOlder();
    void cancelInterruptsTheQuery();
    void failureHandsBackWhatWasRead();
    void nothingReachesAReaderThatHasGone();

private:
    QTemporaryDir dir_;
    std::string file_;
    std::vector<std::pair<int, std::string>> handed_;
    void Start(BackgroundRead& reader, Job job) {
        reader.Start<int>(file_, std::move(job),
                          [this](int v, std::string error) { handed_.emplace_back(v, error); });
    }
};

void TestBackgroundRead::init() {
    file_ = dir_.filePath("data.db").toStdString();
    TSQLiteDatabase(file_).ExecSQL("CREATE TABLE IF NOT EXISTS T (x)");
    handed_.clear();
}

void TestBackgroundRead::newerStartDropsOlder() {
    BackgroundRead reader;
    std::promise<void> gate;
    std::shared_future<void> open = gate.get_future().share();
    Start(reader, [open](BackgroundRead::Reading&, int& v) {
        open.wait(); // ends well, but after the newer reading has started
        v = 1;
    });
    Start(reader, [](BackgroundRead::Reading& r, int& v) {
        v = int(r.Db().GetTable("SELECT 2 AS v").FieldAsInteger("v"));
    });
    QCOMPARE(reader.Threads(), 2);
    gate.set_value();
    QTRY_COMPARE(reader.Threads(), 0);
    QCOMPARE(handed_, (std::vector<std::pair<int, std::string>>{{2, ""}}));
}

void TestBackgroundRead::cancelInterruptsTheQuery() {
    BackgroundRead reader;
    Start(reader, [](BackgroundRead::Reading& r, int&) { r.Db().ExecSQL(kEndless); });
    QVERIFY(reader.Running());
    reader.Cancel();
    QVERIFY(!reader.Running());
    QTRY_COMPARE(reader.Threads(), 0); // joined only once the query was interrupted
    QVERIFY(handed_.empty());
}

void TestBackgroundRead::failureHandsBackWhatWasRead() {
    BackgroundRead reader;
    Start(reader, [](BackgroundRead::Reading& r, int& v) {
        v = 5;
        r.Db().ExecSQL("SELECT * FROM Nowhere");
    });
    reader.Wait();
    QCOMPARE(handed_.size(), std::size_t(1));
    QCOMPARE(handed_[0].first, 5);
    QVERIFY(!handed_[0].second.empty());
    QCoreApplication::processEvents(); // the queued call finds it handed back already
    QCOMPARE(handed_.size(), std::size_t(1));
}

void TestBackgroundRead::nothingReachesAReaderThatHasGone() {
    int posted = 0;
    for (bool endless : {false, true}) {
        auto* reader = new BackgroundRead;
        Start(*reader, [endless, &posted](BackgroundRead::Reading& r, int&) {
            r.Post([&posted] { ++posted; });
            if (endless)
                r.Db().ExecSQL(kEndless);
        });
        delete reader; // stops the endless query, waits for the thread, drops its calls
        QCoreApplication::processEvents();
    }
    QCOMPARE(posted, 0);
    QVERIFY(handed_.empty());
}

QTEST_GUILESS_MAIN(TestBackgroundRead)
#include "test_background_read.moc"
