// A week of polling on manual time: fourteen sensors behind a fake port, some silent for
// stretches, some spoiling replies, and once the line pulled away for an hour. Everything
// between the port and data.db is the station's own: the link, its framer and dispatch,
// the poll scheduler, ProcessData, the tile model loaded from TANKS, and storage.
//
// TAVRONA_LONGRUN_CYCLES picks the number of poll cycles (a week at one a minute by
// default), TAVRONA_LONGRUN_SEED the die.
#include "FakeSensorBank.h"

#include "Calibration.h"
#include "Clock.h"
#include "Conditions.h"
#include "Database.h"
#include "FakePort.h"
#include "LinkTimer.h"
#include "ReadingCheck.h"
#include "SQLiteDatabase.h"
#include "SensorLink.h"
#include "TileModel.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <malloc.h>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LONGRUN_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define LONGRUN_ASAN 1
#endif
#ifdef LONGRUN_ASAN
// From the sanitizer's runtime; not every compiler ships its header.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

constexpr int kWeekOfCycles = 7 * 24 * 60;
constexpr uint64_t kDefaultSeed = 20121205;
constexpr double kStartLocal = 41248.5; // 05/12/2012 12:00 local
constexpr double kOffset = 2.0 / 24.0;  // local time is two hours ahead of UTC
constexpr double kMsPerDay = 86400000.0;
constexpr int64_t kOutageMs = 3600000;

int64_t EnvNumber(const char* name, int64_t fallback) {
    bool ok = false;
    const int64_t v = qEnvironmentVariable(name).toLongLong(&ok);
    return ok && v > 0 ? v : fallback;
}

// Bytes the process holds on its heap now.
std::size_t HeapInUse() {
#ifdef LONGRUN_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
#endif
}

// A tank whose litres follow its code on five calibration points.
TItemNode CalibratedTank(uint8_t id) {
    TItemNode node;
    node.id = id;
    node.Name = "Tank " + std::to_string(id);
    node.Act = true;
    node.Img = "BM";
    TCalRows rows{};
    const int scale = 100 + 10 * id;
    const int codes[] = {400, 1200, 2000, 3000, 4000};
    const int litres[] = {5, 20, 36, 52, 64};
    for (int i = 0; i < 5; ++i)
        rows[i] = {std::to_string(codes[i]), std::to_string(litres[i] * scale)};
    if (!BuildCalibration(node, rows).ok)
        qFatal("calibration of tank %d refused", id);
    return node;
}

// The Errors log as the week leaves it: counted, not kept, so it does not grow.
struct LogTally {
    std::array<int, 15> data{}, config{};
    int malformed = 0;
    int lineLost = 0, lineBack = 0;
    int noLevel = 0; // a sensor named once for a reading that is no level
    void Put(const std::string& line) {
        if (line.find("; such readings are stored without litres") != std::string::npos)
            return void(++noLevel);
        if (line.find("   Line lost on ttyWEEK, retrying\r\n") != std::string::npos)
            return void(++lineLost);
        if (line.find("   Line back on ttyWEEK\r\n") != std::string::npos)
            return void(++lineBack);
        const std::size_t at = line.rfind("(Address ");
        const bool cfg = line.find("   CFG data. No answer from sensor \"") != std::string::npos;
        const bool plain = line.find("   No answer from sensor \"") != std::string::npos;
        if (at == std::string::npos || line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n"))
            return void(++malformed);
        const int a = std::atoi(line.c_str() + at + 9);
        if (a < 1 || a > 14 || !(cfg || plain) ||
            line.find("\"Tank " + std::to_string(a) + "\"") == std::string::npos)
            return void(++malformed);
        ++(cfg ? config : data)[a];
    }
    int Total() const {
        int n = malformed;
        for (int a = 1; a <= 14; ++a)
            n += data[a] + config[a];
        return n;
    }
};

// The station's side of the week.
class WeekStation {
public:
    explicit WeekStation(int cycles, uint64_t seed)
        : dir_(TempRoot() + "/tavrona-week-XXXXXX"), clock_(kStartLocal, kOffset),
          line_(&clock_, kStartLocal) {
        db_ = std::make_unique<TSQLiteDatabase>(dir_.filePath("data.db").toStdString());
        // A small page cache, so that the heap watched below shows the station, not SQLite
        // filling its default cache as the file grows.
        db_->ExecSQL("PRAGMA cache_size = -256");
        ConditionMessages boxes(messages_);
        if (!CreateDatabase(*db_, "BM", boxes))
            qFatal("data.db could not be created");
        for (uint8_t id = 1; id <= 14; ++id)
            SaveTank(*db_, CalibratedTank(id), boxes);
        LoadTanks(*db_, [this]() -> TItemNode& { return tiles_.AppendTank(); });
        QObject::connect(&tiles_, &QAbstractItemModel::dataChanged,
                         [this](const QModelIndex& i) { ++tileResets_[i.row()]; });

        auto fake = std::make_unique<FakePort>();
        port_ = fake.get();
        link_ = std::make_unique<SensorLink>(
            SensorLinkContext{tiles_, *db_, clock_, messages_, [] { return QString("ttyWEEK"); },
                              [this](const std::string& l) { log_.Put(l); }},
            SensorLinkDevices::Manual(line_, std::move(fake)));
        // A cycle of 14 requests lasts 73 s; leave room for the outage and the stretches.
        const int64_t horizon = int64_t(cycles) * 73000 + 2 * kOutageMs;
        bank_ = std::make_unique<FakeSensorBank>(line_, *port_, seed, horizon, cycles + 16);
        Dice dice(seed ^ 0x5eed);
        lossAfterRequest_ = int(dice.Between(14, std::max<int64_t>(15, int64_t(cycles) * 10)));
        port_->onWrite = [this](const std::vector<uint8_t>& request) { OnRequest(request); };
        cycleStarts_.reserve(std::size_t(cycles) + 16);
    }

    static QString TempRoot() {
        const QDir shm("/dev/shm");
        return shm.exists() && QFileInfo(shm.path()).isWritable() ? shm.path() : QDir::tempPath();
    }

    TSQLiteDatabase& Db() { return *db_; }
    TTileModel& Tiles() { return tiles_; }
    FakeSensorBank& Bank() { return *bank_; }
    RecordingConditions& Messages() { return messages_; }
    const LogTally& Log() const { return log_; }
    int TileResets(int row) const { return tileResets_.at(row); }
    int SettingsShown() const { return messages_.PortRequests(); }
    int Outages() const { return outages_; }
    const std::vector<int64_t>& CycleStarts() const { return cycleStarts_; }
    int64_t NowMs() const { return line_.NowMs(); }
    int NoisyOutages() const { return noisyOutages_; }
    std::size_t HeapAfterWarmUp() const { return heapWarm_; }
    std::size_t HeapAtEnd() const { return heapEnd_; }

    // Rows of "TABLE [WHERE ...]", counted by SQLite rather than fetched.
    int Count(const std::string& tableWhere) {
        return int(db_->GetTable("SELECT COUNT(*) AS n FROM " + tableWhere).Field("n").i);
    }

    // The operator's start, then the given number of poll cycles; stops right after the
    // cycle start that follows the last one, which judges every request of the week.
    void Run(int cycles) {
        link_->DeviceConnect();
        auto& timer = static_cast<ManualTimer&>(link_->Timer1());
        const int warmUp = std::max(1, cycles / 8);
        while (int(cycleStarts_.size()) <= cycles) {
            if (!timer.Enabled()) {
                Outage();
                continue;
            }
            const int64_t due = timer.Due();
            const bool opensCycle = timer.Interval() == PollScheduler::kStartNow ||
                                    timer.Interval() == PollScheduler::kCyclePause;
            line_.AdvanceTo(std::max(line_.NowMs(), due - 1)); // what comes before the tick
            if (!timer.Enabled() || timer.Due() != due)
                continue;
            if (opensCycle) {
                if (int(cycleStarts_.size()) == cycles)
                    bank_->CloseBooks();
                cycleStarts_.push_back(due);
                if (int(cycleStarts_.size()) == warmUp)
                    heapWarm_ = HeapInUse();
            }
            line_.AdvanceTo(due);
        }
        heapEnd_ = HeapInUse();
    }

private:
    void OnRequest(const std::vector<uint8_t>& request) {
        // The fake port keeps every frame written; a week of them would fill the heap.
        port_->written.clear();
        bank_->OnRequest(request);
        // The line goes at the first reply on its way from the chosen request on.
        if (bank_->Requests() >= lossAfterRequest_ && bank_->Replying() && outages_ == 0 &&
            !pullPlanned_) {
            pullPlanned_ = true;
            line_.At(line_.NowMs() + 3, [this] { PullLine(); }); // before any reply can come
        }
    }

    // The device goes away as a USB adapter does: the port is gone, then the failure is
    // reported as access denied; its name opens nothing until it is back.
    void PullLine() {
        port_->Close();
        port_->openFailure = kErrorPortAbsent;
        port_->Fail(kErrorAccessDenied, TComException::Read);
    }

    // An hour without the line: nothing may be sent, logged or stored but the loss itself,
    // while the port is tried again quietly. Then it is plugged back and the station
    // resumes polling by itself.
    void Outage() {
        ++outages_;
        const int rows = Count("DATA") + Count("ERROR WHERE code = 1");
        const int lines = log_.Total(), requests = bank_->Requests();
        const int beeps = messages_.beeps;
        line_.Advance(kOutageMs);
        if (Count("DATA") + Count("ERROR WHERE code = 1") != rows || log_.Total() != lines ||
            bank_->Requests() != requests || messages_.beeps != beeps || !messages_.shown.empty() ||
            log_.lineLost != 1 || log_.lineBack != 0)
            ++noisyOutages_;
        port_->openFailure.reset();
        // Up to the next try, which reopens the port and leaves the first cycle to Run.
        auto& retry = static_cast<ManualTimer&>(link_->RetryTimer());
        if (retry.Enabled() && retry.Due() - line_.NowMs() <= 60000)
            line_.AdvanceTo(retry.Due());
        if (log_.lineBack != 1)
            ++noisyOutages_;
    }

    QTemporaryDir dir_;
    std::unique_ptr<TSQLiteDatabase> db_;
    ManualClock clock_;
    ManualTimeline line_;
    TTileModel tiles_;
    RecordingConditions messages_;
    FakePort* port_ = nullptr;
    std::unique_ptr<SensorLink> link_;
    std::unique_ptr<FakeSensorBank> bank_;
    LogTally log_;
    std::array<int, 14> tileResets_{};
    std::vector<int64_t> cycleStarts_;
    int lossAfterRequest_ = 0;
    bool pullPlanned_ = false;
    int outages_ = 0, noisyOutages_ = 0;
    std::size_t heapWarm_ = 0, heapEnd_ = 0;
};

double UtcAt(int64_t ms) {
    return kStartLocal - kOffset + double(ms) / kMsPerDay;
}

} // namespace

class TestWeekOfPolling : public QObject {
    Q_OBJECT
private slots:
    void aWeekOfPollingKeepsTheBooks();

private:
    void CompareCounts(WeekStation& st);
    void CompareReadings(WeekStation& st);
    void CompareSilences(WeekStation& st);
    void CompareTimestampsMonotonic(WeekStation& st);
};

void TestWeekOfPolling::aWeekOfPollingKeepsTheBooks() {
    const int cycles = int(EnvNumber("TAVRONA_LONGRUN_CYCLES", kWeekOfCycles));
    const auto seed = uint64_t(EnvNumber("TAVRONA_LONGRUN_SEED", kDefaultSeed));
    WeekStation st(cycles, seed);
    qInfo("%d poll cycles, seed %llu; the bank's plan:\n%s", cycles, (unsigned long long)seed,
          st.Bank().Describe().c_str());
    st.Run(cycles);
    qInfo("simulated %.2f days, %d requests, %d outage(s) of the line",
          double(st.NowMs()) / kMsPerDay, st.Bank().Requests(), st.Outages());

    QCOMPARE(int(st.CycleStarts().size()), cycles + 1);
    QCOMPARE(st.Outages(), 1);
    QCOMPARE(st.NoisyOutages(), 0);
    // Only the last cycle start's own request is left unjudged; one reply was on its way
    // when the line went, and counts as a silence.
    int unjudged = 0, lost = 0;
    for (unsigned a = 1; a <= 14; ++a) {
        unjudged += st.Bank().Books(a).unjudged;
        lost += st.Bank().Books(a).lost;
    }
    QCOMPARE(unjudged, 1);
    QCOMPARE(lost, 1);

    for (auto compare :
         {&TestWeekOfPolling::CompareCounts, &TestWeekOfPolling::CompareReadings,
          &TestWeekOfPolling::CompareSilences, &TestWeekOfPolling::CompareTimestampsMonotonic}) {
        (this->*compare)(st);
        if (QTest::currentTestFailed())
            return;
    }

    // Refused replies beep, one each, and the pulled line once; nothing else is said.
    // A spoilt reply with a start byte inside is read again from there; what is left of it
    // may then be dropped as line noise, without a beep.
    const int refused = st.Bank().SpoiltDelivered() + 1;
    QVERIFY2(st.Messages().beeps <= refused &&
                 st.Messages().beeps >= refused - st.Bank().SpoiltWithStartDelivered(),
             qPrintable(
                 QString("%1 beeps for %2 refused replies").arg(st.Messages().beeps).arg(refused)));
    QCOMPARE(st.Messages().shown, std::vector<std::string>{});
    QCOMPARE(st.SettingsShown(), 0);

    // The heap does not grow with the readings: a leak of a few bytes per reply would
    // show as hundreds of kilobytes over the run.
    if (st.HeapAtEnd() == 0)
        qInfo("the heap cannot be read in this process (valgrind): its leak check stands in");
    const double grownKiB = (double(st.HeapAtEnd()) - double(st.HeapAfterWarmUp())) / 1024.0;
    qInfo("heap in use after warm-up %zu bytes, at the end %zu bytes (%+.1f KiB)",
          st.HeapAfterWarmUp(), st.HeapAtEnd(), grownKiB);
    QVERIFY2(grownKiB < 512, qPrintable(QString("heap grew by %1 KiB").arg(grownKiB)));
}

void TestWeekOfPolling::CompareCounts(WeekStation& st) {
    int dataTotal = 0, errorTotal = 0;
    for (unsigned a = 1; a <= 14; ++a) {
        const SensorBooks& b = st.Bank().Books(a);
        const std::string where = " WHERE adr = " + std::to_string(a);
        const int dataRows = st.Count("DATA" + where);
        const int errorRows = st.Count("ERROR" + where);
        qInfo("address %2u: data %5d answered %5d silent %4d spoilt | cfg %4d answered %4d "
              "silent %3d spoilt | DATA rows %5d, ERROR rows %4d",
              a, b.dataAnswered, b.dataSilent, b.dataSpoilt, b.configAnswered, b.configSilent,
              b.configSpoilt, dataRows, errorRows);
        const std::string at = "address " + std::to_string(a);
        QVERIFY2(dataRows == b.dataAnswered, at.c_str());
        QVERIFY2(st.Count("ERROR" + where + " AND code = 1") == b.Unanswered(), at.c_str());
        // The time without a line is one row of its own code per active tank.
        QVERIFY2(st.Count("ERROR" + where + " AND code = 2") == 1, at.c_str());
        QVERIFY2(errorRows == b.Unanswered() + 1, at.c_str());
        // The log says which kind of request went unanswered; a sensor that fails most
        // of its polls is named at most once an hour, so the log may hold fewer lines.
        QVERIFY2(st.Log().data[a] <= b.DataUnanswered(), at.c_str());
        QVERIFY2(st.Log().config[a] <= b.ConfigUnanswered(), at.c_str());
        QVERIFY2(b.Unanswered() == 0 || st.Log().data[a] + st.Log().config[a] > 0, at.c_str());
        // Every accepted reading had its tile drawn again.
        const int row = st.Tiles().FindIndex(a);
        QVERIFY2(row >= 0 && st.TileResets(row) == b.dataAnswered, at.c_str());
        dataTotal += dataRows;
        errorTotal += errorRows;
    }
    QCOMPARE(st.Log().malformed, 0);
    QVERIFY(st.Log().noLevel <= 14); // once per sensor, not once per reading
    QCOMPARE(st.Count("DATA"), dataTotal);
    QCOMPARE(st.Count("ERROR"), errorTotal);
    qInfo("DATA rows %d, ERROR rows %d, refused replies %d", dataTotal, errorTotal,
          st.Bank().SpoiltDelivered());
    // A week without any of these would prove little.
    QVERIFY(st.Bank().SpoiltDelivered() > 0 || st.CycleStarts().size() < 1000);
    QVERIFY(errorTotal > 0);
}

// Row by row, each address's DATA holds the bank's answers in the order given, stamped in
// UTC when they came; the tile's record shows the last of them.
// A code past the calibration, or an impossible temperature, is stored without litres.
static int32_t ExpectedLitres(const TItemNode& tank, const Frames::DataReading& r) {
    return CheckReading(r.flc, r.temp) == ReadingFault::None ? LitresForCode(tank, r.flc)
                                                             : kNoLitres;
}

void TestWeekOfPolling::CompareReadings(WeekStation& st) {
    for (unsigned a = 1; a <= 14; ++a) {
        const SensorBooks& b = st.Bank().Books(a);
        TItemNode& tank = *st.Tiles().FindNode(a);
        TSQLiteTable t = st.Db().GetTable(
            "SELECT tstamp, flevel, fcode, temp FROM DATA WHERE adr = " + std::to_string(a) +
            " ORDER BY rowid");
        QCOMPARE(t.Count(), int(b.answers.size()));
        for (std::size_t i = 0; !t.Eof(); t.Next(), ++i) {
            const Frames::DataReading& r = b.answers[i];
            const double stamp = t.Field("tstamp").d;
            if (t.Field("fcode").i != r.flc || t.Field("temp").i != r.temp ||
                t.Field("flevel").i != ExpectedLitres(tank, r) ||
                stamp < UtcAt(b.answeredAt[i]) - 1e-9 || stamp > UtcAt(b.answeredAt[i] + 1000))
                QFAIL(qPrintable(QString("address %1, reading %2: fcode %3 temp %4 flevel %5 "
                                         "at %6, expected %7 %8 %9 at %10")
                                     .arg(a)
                                     .arg(i)
                                     .arg(t.Field("fcode").i)
                                     .arg(t.Field("temp").i)
                                     .arg(t.Field("flevel").i)
                                     .arg(stamp, 0, 'f', 10)
                                     .arg(r.flc)
                                     .arg(r.temp)
                                     .arg(ExpectedLitres(tank, r))
                                     .arg(UtcAt(b.answeredAt[i]), 0, 'f', 10)));
        }
        QVERIFY2(!b.answers.empty(), qPrintable(QString("address %1 never answered").arg(a)));
        const Frames::DataReading& last = b.answers.back();
        QCOMPARE(tank.FLC, last.flc);
        QCOMPARE(tank.Temp, last.temp);
        QCOMPARE(tank.FLFR, last.flfr);
        QCOMPARE(tank.FL, ExpectedLitres(tank, last));
        // The record keeps local time, a little after the reply's last byte.
        const double local = UtcAt(b.answeredAt.back()) + kOffset;
        QVERIFY(tank.LDTime >= local - 1e-9 && tank.LDTime <= local + 1000 / kMsPerDay);
    }
}

// Silences are noted at cycle starts only, at most once per address and cycle start.
void TestWeekOfPolling::CompareSilences(WeekStation& st) {
    std::vector<double> starts;
    for (int64_t ms : st.CycleStarts())
        starts.push_back(UtcAt(ms));
    for (unsigned a = 1; a <= 14; ++a) {
        TSQLiteTable t = st.Db().GetTable("SELECT tstamp FROM ERROR WHERE code = 1 AND adr = " +
                                          std::to_string(a) + " ORDER BY rowid");
        double previous = 0;
        for (; !t.Eof(); t.Next()) {
            const double stamp = t.Field("tstamp").d;
            auto near = std::lower_bound(starts.begin(), starts.end(), stamp - 1e-9);
            QVERIFY2(near != starts.end() && std::abs(*near - stamp) < 1e-9,
                     qPrintable(QString("address %1: silence at %2 is no cycle start")
                                    .arg(a)
                                    .arg(stamp, 0, 'f', 10)));
            QVERIFY2(stamp > previous, qPrintable(QString("address %1 logged twice").arg(a)));
            previous = stamp;
        }
    }
}

void TestWeekOfPolling::CompareTimestampsMonotonic(WeekStation& st) {
    for (const char* table : {"DATA", "ERROR"}) {
        TSQLiteTable t =
            st.Db().GetTable(std::string("SELECT tstamp FROM ") + table + " ORDER BY rowid");
        double previous = UtcAt(0) - 1e-9;
        for (; !t.Eof(); t.Next()) {
            const double stamp = t.Field("tstamp").d;
            QVERIFY2(stamp >= previous, table);
            previous = stamp;
        }
        QVERIFY2(previous <= UtcAt(st.NowMs()) + 1e-9, table);
    }
}

QTEST_GUILESS_MAIN(TestWeekOfPolling)
#include "test_week_of_polling.moc"
