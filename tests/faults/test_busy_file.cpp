// data.db used by other programs while a simulated station polls 14 sensors on a fake line
// and clock: readers in long transactions never hold up a reading, and a writer that holds
// the file for minutes makes readings wait in memory, to be stored in order once it lets go,
// without any sensor logged as silent for it. The other program is a child process.
#include "FaultStation.h"
#include "FaultTools.h"
#include "WriteQueue.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <map>
#include <sqlite3.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// Another program on its own connection, in a child process: either reading in
// transactions of `holdMs` with `gapMs` between them until it is stopped, or holding the
// write lock until it is told to let go. Started once it holds its first lock.
class OtherProcess {
public:
    enum class Kind { Reader, Writer };
    OtherProcess(const std::string& file, Kind kind, int holdMs = 0, int gapMs = 0) {
        int ready[2], release[2];
        if (pipe(ready) != 0 || pipe(release) != 0)
            throw std::runtime_error("pipe failed");
        pid_ = fork();
        if (pid_ < 0)
            throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            close(ready[0]);
            close(release[1]);
            Run(file, kind, holdMs, gapMs, ready[1], release[0]);
            _exit(0);
        }
        close(ready[1]);
        close(release[0]);
        release_ = release[1];
        char c = 0;
        started_ = read(ready[0], &c, 1) == 1 && c == 'y';
        close(ready[0]);
    }
    ~OtherProcess() { Stop(); }
    bool Started() const { return started_; }
    // Lets go of the lock and waits for the child to end.
    void Stop() {
        if (pid_ <= 0)
            return;
        close(release_);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }

private:
    static void Run(const std::string& file, Kind kind, int holdMs, int gapMs, int ready,
                    int release) {
        sqlite3* db = nullptr;
        if (sqlite3_open(file.c_str(), &db) != SQLITE_OK)
            _exit(1);
        sqlite3_busy_timeout(db, 5000);
        const auto sleepMs = [](int ms) {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        };
        if (kind == Kind::Writer) {
            const bool locked = sqlite3_exec(db,
                                             "BEGIN IMMEDIATE; INSERT INTO ERROR (tstamp, "
                                             "adr, code) VALUES (1.5, 99, 99)",
                                             nullptr, nullptr, nullptr) == SQLITE_OK;
            write(ready, locked ? "y" : "n", 1);
            char c;
            while (read(release, &c, 1) > 0) {
            }
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            return;
        }
        fcntl(release, F_SETFL, O_NONBLOCK);
        bool told = false;
        for (;;) {
            const bool reading = sqlite3_exec(db, "BEGIN; SELECT count(*) FROM DATA", nullptr,
                                              nullptr, nullptr) == SQLITE_OK;
            if (!told) {
                write(ready, reading ? "y" : "n", 1);
                told = true;
            }
            sleepMs(holdMs);
            sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
            char c;
            if (read(release, &c, 1) == 0)
                return;
            sleepMs(gapMs);
        }
    }
    pid_t pid_ = -1;
    int release_ = -1;
    bool started_ = false;
};

// The 14 tanks of a new file, all polled; every data request is answered with the next code
// of a count, so the stored codes show order and completeness.
struct PolledStation {
    explicit PolledStation(const std::string& file) : st(file) {
        for (int i = 0; i < st.tanks.TankCount(); ++i)
            st.tanks.Tank(i).Act = true;
        st.port->onWrite = [this](const std::vector<uint8_t>& req) {
            std::vector<uint8_t> reply;
            if (req[2] == Frames::kCmdData) {
                answered.push_back(next);
                lastCode[req[1]] = next;
                reply = Frames::BuildDataReply(req[1], {20, uint16_t(next++), 0});
            } else {
                reply = Frames::BuildReply(req[1], req[2], {1, 2, 3, 4, 5, 6, 7, 8});
            }
            st.line.At(st.line.NowMs() + 30, [this, reply] { st.port->Inject(reply); });
        };
    }
    int LinesWith(const char* text) const {
        return int(std::count_if(st.log.begin(), st.log.end(), [&](const std::string& l) {
            return l.find(text) != std::string::npos;
        }));
    }
    FaultStation st;
    std::vector<int> answered;
    std::map<int, int> lastCode; // by address
    int next = 1;
};

} // namespace

class BusyFileTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    // A report, a backup copy or the sqlite3 shell reading in long transactions: every
    // reply of an hour is in DATA at once, none waits.
    void readersNeverHoldUpAReading_data() {
        QTest::addColumn<int>("holdMs");
        QTest::addColumn<int>("gapMs");
        QTest::newRow("2.5 s of every 2.8 s") << 2500 << 300;
        QTest::newRow("a tenth of that") << 250 << 30;
    }
    void readersNeverHoldUpAReading() {
        QFETCH(int, holdMs);
        QFETCH(int, gapMs);
        const std::string file = dir.filePath(QTest::currentDataTag()).toStdString() + ".db";
        PolledStation p(file);
        OtherProcess reader(file, OtherProcess::Kind::Reader, holdMs, gapMs);
        QVERIFY(reader.Started());
        std::size_t mostWaiting = 0;
        for (int minute = 0; minute < 60; ++minute) {
            p.st.line.Advance(60000);
            mostWaiting = std::max(mostWaiting, p.st.link->Writes()->Waiting());
        }
        // Read while the other program still reads.
        const std::vector<int> stored = OtherProgram(file, true).StoredCodes();
        reader.Stop();
        QCOMPARE(mostWaiting, std::size_t(0));
        QVERIFY2(p.answered.size() >= 14 * 30, std::to_string(p.answered.size()).c_str());
        QCOMPARE(stored, p.answered);
        QVERIFY(p.st.messages.shown.empty());
        QCOMPARE(p.LinesWith("waiting to be stored"), 0);
    }

    // Another program holds the write lock for two minutes of the station's time: the
    // readings wait (said once), the tiles show them, and once it lets go they are all
    // stored in the order they came; no sensor that answered is logged as silent.
    void aWriterHoldingTheFileForMinutes() {
        const std::string file = dir.filePath("writer.db").toStdString();
        PolledStation p(file);
        p.st.line.Advance(60000);
        const std::size_t before = p.answered.size();
        QCOMPARE(OtherProgram(file, true).StoredCodes(), p.answered);

        OtherProcess writer(file, OtherProcess::Kind::Writer);
        QVERIFY(writer.Started());
        p.st.line.Advance(120000);
        const std::size_t waiting = p.st.link->Writes()->Waiting();
        QCOMPARE(waiting, p.answered.size() - before);
        QVERIFY(waiting >= 2 * 14);
        QCOMPARE(int(OtherProgram(file, true).StoredCodes().size()), int(before));
        for (int i = 0; i < 14; ++i) // the tiles show the readings that wait
            QCOMPARE(int(p.st.tanks.Tank(i).FLC), p.lastCode[p.st.tanks.Tank(i).id]);
        QCOMPARE(p.LinesWith("readings waiting to be stored"), 1);
        writer.Stop();

        p.st.line.Advance(60000);
        QCOMPARE(p.st.link->Writes()->Waiting(), std::size_t(0));
        OtherProgram check(file, true);
        QCOMPARE(check.StoredCodes(), p.answered);
        QCOMPARE(p.LinesWith("waiting readings stored"), 1);
        QCOMPARE(check.Column("SELECT count(*) FROM ERROR WHERE code = 1"),
                 std::vector<std::string>{"0"});
        QCOMPARE(check.IntegrityCheck(), std::string("ok"));
        QVERIFY(p.st.messages.shown.empty());
    }
};

QTEST_GUILESS_MAIN(BusyFileTest)
#include "test_busy_file.moc"
