// No room on the disk while readings are stored: a child process limits the size of the
// files it may write (the kernel then refuses writes past the limit with EFBIG, the signal
// that would end it ignored). No reading is lost: what the disk does not take waits in
// memory (said once, naming the disk), the file stays sound, and with the limit lifted
// every waiting reading is stored, in order.
#include "FaultStation.h"
#include "FaultTools.h"
#include "WriteQueue.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

bool NamesTheDisk(const std::string& text) {
    const QString t = QString::fromStdString(text).toLower();
    return t.contains("disk") || t.contains("full") || t.contains("i/o");
}

long long FileSize(const std::string& file) {
    struct stat st {};
    return stat(file.c_str(), &st) == 0 ? st.st_size : -1;
}

void LimitFileSize(rlim_t bytes) {
    rlimit lim{};
    getrlimit(RLIMIT_FSIZE, &lim);
    lim.rlim_cur = bytes;
    if (setrlimit(RLIMIT_FSIZE, &lim) != 0)
        throw std::runtime_error("setrlimit failed");
}

void LiftFileSizeLimit() {
    rlimit lim{};
    getrlimit(RLIMIT_FSIZE, &lim);
    lim.rlim_cur = lim.rlim_max;
    if (setrlimit(RLIMIT_FSIZE, &lim) != 0)
        throw std::runtime_error("setrlimit failed");
}

// Readings 1..2 stored, `full` readings under the limit, then 2 after it is lifted.
ChildReport RunWithLimit(const std::string& file, long long limitAboveFile, int full) {
    return RunInChild([&](ChildOut& out) {
        std::signal(SIGXFSZ, SIG_IGN);
        FaultStation st(file);
        st.Deliver(1, 1);
        st.Deliver(2, 2);
        const long long before = FileSize(file);
        LimitFileSize(static_cast<rlim_t>(std::max(0LL, before + limitAboveFile)));
        for (int i = 0; i < full; ++i)
            st.Deliver(uint8_t(3 + i % 10), uint16_t(1000 + i));
        out.Put("boxesWhileFull", static_cast<long long>(st.messages.shown.size()));
        out.Put("grewPastLimit", FileSize(file) > before + std::max(0LL, limitAboveFile) ? 1 : 0);
        for (const std::string& m : st.messages.shown)
            out.Box(m);
        out.Put("lastShown", st.tanks.Tank(2 + (full - 1) % 10).FLC);
        out.Put("waitingWhileFull", static_cast<long long>(st.link->Writes()->Waiting()));
        LiftFileSizeLimit();
        st.messages.shown.clear();
        st.line.Advance(WriteQueue::kLongestRetryMs);
        st.Deliver(13, 5000);
        st.Deliver(14, 5001);
        out.Put("boxesAfter", static_cast<long long>(st.messages.shown.size()));
        for (const std::string& l : st.log)
            out.Put(l.find("waiting to be stored") != std::string::npos ? "waitLine" : "logLine",
                    l);
        st.link.reset();
        st.db.reset();
        PutStoredState(out, file);
    });
}

std::vector<int> Codes(const std::string& text) {
    std::vector<int> out;
    for (const QString& c : QString::fromStdString(text).split(' ', Qt::SkipEmptyParts))
        out.push_back(c.toInt());
    return out;
}

void ExpectSound(const ChildReport& r, int full) {
    QCOMPARE(QString::fromStdString(r.Get("escaped")), QString("<missing escaped>"));
    QCOMPARE(r.Int("finished"), 1);
    QCOMPARE(r.Int("grewPastLimit"), 0);
    QCOMPARE(r.Int("lastShown"), 1000 + full - 1); // the tile shows every reading
    QCOMPARE(r.Int("boxesAfter"), 0);
    QCOMPARE(r.Get("integrity"), std::string("ok"));
    QCOMPARE(r.Int("boxesWhileFull"), 0);
    QVERIFY(r.messages.empty());
    if (r.Int("waitingWhileFull") > 0)
        QVERIFY2(NamesTheDisk(r.Get("waitLine")), r.Get("waitLine").c_str());
    // Every reading, the ones under the limit included, is stored in the order it came.
    std::vector<int> expected{1, 2};
    for (int i = 0; i < full; ++i)
        expected.push_back(1000 + i);
    expected.insert(expected.end(), {5000, 5001});
    QCOMPARE(Codes(r.Get("codes")), expected);
}

// The first start, with the disk filling up while the 14 tanks are seeded, then a start
// with room again.
ChildReport FirstStartOnAFullDisk(const std::string& file, rlim_t limit) {
    return RunInChild([&](ChildOut& out) {
        std::signal(SIGXFSZ, SIG_IGN);
        const std::string picture(64 * 64 * 3 + 54, 'B'); // as large as the default picture
        LimitFileSize(limit);
        {
            RecordingMessages messages;
            TSQLiteDatabase db(file);
            out.Put("created", CreateDatabase(db, picture, messages) ? 1 : 0);
            for (const std::string& m : messages.shown)
                out.Box(m);
        }
        LiftFileSizeLimit();
        RecordingMessages messages;
        TSQLiteDatabase db(file);
        out.Put("createdAgain", CreateDatabase(db, picture, messages) ? 1 : 0);
        PlainTankList tanks;
        LoadTanks(db, [&]() -> TItemNode& { return tanks.Add(); });
        out.Put("tanks", tanks.TankCount());
        out.Put("lastPicture",
                static_cast<long long>(tanks.Tank(tanks.TankCount() - 1).Img.size()));
        out.Put("boxesAfter", static_cast<long long>(messages.shown.size()));
        // The newest pages may still be in the write-ahead log beside the file.
        out.Put("sizeAfter", FileSize(file) + std::max(0LL, FileSize(file + "-wal")));
    });
}

} // namespace

// Memory-backed when there is such a folder: hundreds of synced inserts stay quick there.
QString TempTemplate() {
    return QFileInfo(QStringLiteral("/dev/shm")).isWritable()
               ? QStringLiteral("/dev/shm/tavrona-faults-XXXXXX")
               : QDir::tempPath() + QStringLiteral("/tavrona-faults-XXXXXX");
}

class DiskFullTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir{TempTemplate()};

private slots:
    // Not even the log of one insert fits: every reading waits, and is stored once there is
    // room again.
    void noRoomAtAll() {
        const int full = 8;
        ChildReport r = RunWithLimit(dir.filePath("none.db").toStdString(), -1000000, full);
        ExpectSound(r, full);
        QCOMPARE(r.Int("waitingWhileFull"), full);
    }

    // The file may not grow: readings go on filling the room left, then wait.
    void fileMayNotGrow() {
        const int full = 400;
        ChildReport r = RunWithLimit(dir.filePath("grow.db").toStdString(), 0, full);
        ExpectSound(r, full);
    }

    // A first start that ran out of room half way through the seeding must not leave a
    // TANKS table with only some of the tanks: the next start would take it as found.
    void firstStartOnAFullDisk() {
        const std::string file = dir.filePath("first.db").toStdString();
        const ChildReport r = FirstStartOnAFullDisk(file, 48 * 1024);
        QCOMPARE(QString::fromStdString(r.Get("escaped")), QString("<missing escaped>"));
        QCOMPARE(r.Int("created"), 0);
        QCOMPARE(r.messages, std::vector<std::string>{kMsgCreationFailed});
        QCOMPARE(r.Int("createdAgain"), 1);
        QCOMPARE(r.Int("tanks"), 14);
        QCOMPARE(r.Int("lastPicture"), 64 * 64 * 3 + 54);
        QCOMPARE(r.Int("boxesAfter"), 0);
        QVERIFY(r.Int("sizeAfter") > 48 * 1024); // the limit did cut the first seeding short
    }
};

QTEST_GUILESS_MAIN(DiskFullTest)
#include "test_disk_full.moc"
