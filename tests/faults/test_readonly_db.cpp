// data.db that cannot be written: the station's connection switched to queries only, the
// folder made read-only while the station runs, and the file read-only before it starts.
// Every lost reading is reported once and says why; nothing stored is harmed; writes work
// again once the file may be written. File modes do not stop root, so where they would be
// ignored the file-mode cases run in a child that has given up its privileges first.
#include "FaultStation.h"
#include "FaultTools.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uid_t kNobody = 65534;

bool NamesReadOnly(const std::string& text) {
    const QString t = QString::fromStdString(text).toLower();
    return t.contains("readonly") || t.contains("read-only") || t.contains("unable to open");
}

// In the child: become an ordinary user when file modes would not bind this process.
void ObeyFileModes(const std::string& dir, ChildOut& out) {
    if (WritesIgnoreFileModes(dir) && (setgid(kNobody) != 0 || setuid(kNobody) != 0))
        throw std::runtime_error("cannot give up privileges");
    out.Put("modesBind", WritesIgnoreFileModes(dir) ? 0 : 1);
}

void ExpectReport(const ChildReport& r, int boxes, const char* codes) {
    QCOMPARE(QString::fromStdString(r.Get("escaped")), QString("<missing escaped>"));
    QCOMPARE(r.Int("finished"), 1);
    QCOMPARE(r.Int("modesBind"), 1);
    QCOMPARE(int(r.messages.size()), boxes);
    for (const std::string& m : r.messages)
        QVERIFY2(NamesReadOnly(m), m.c_str());
    QCOMPARE(r.Get("codes"), std::string(codes));
    QCOMPARE(r.Get("integrity"), std::string("ok"));
}

} // namespace

class ReadOnlyDbTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    // A folder of its own that an unprivileged child may write into; empty on failure.
    std::string Folder(const char* name) {
        const std::string sub = dir.filePath(name).toStdString();
        if (mkdir(sub.c_str(), 0777) != 0 || chmod(sub.c_str(), 0777) != 0)
            return {};
        chmod(dir.path().toLocal8Bit().constData(), 0711);
        if (geteuid() == 0 && chown(sub.c_str(), kNobody, kNobody) != 0)
            return {};
        return sub;
    }

private slots:
    void queryOnlyConnection() {
        const std::string file = dir.filePath("query-only.db").toStdString();
        FaultStation st(file);
        st.Deliver(1, 11);
        st.Deliver(2, 22);
        st.db->ExecSQL("PRAGMA query_only=1");
        for (uint8_t a = 3; a <= 7; ++a)
            st.Deliver(a, a);
        QCOMPARE(int(st.messages.shown.size()), 5);
        for (const std::string& m : st.messages.shown)
            QVERIFY2(NamesReadOnly(m), m.c_str());
        QCOMPARE(int(st.tanks.Tank(6).FLC), 7);
        // The writes really were refused: nothing reached the file.
        QCOMPARE(OtherProgram(file).StoredCodes(), (std::vector<int>{11, 22}));
        st.db->ExecSQL("PRAGMA query_only=0");
        st.messages.shown.clear();
        st.Deliver(8, 88);
        QVERIFY(st.messages.shown.empty());
        OtherProgram check(file);
        QCOMPARE(check.StoredCodes(), (std::vector<int>{11, 22, 88}));
        QCOMPARE(check.IntegrityCheck(), std::string("ok"));
    }

    // The file is in write-ahead logging, whose files are already open: a folder made
    // read-only while the station runs costs no reading and opens no box.
    void folderReadOnlyWhileRunning() {
        const std::string sub = Folder("ro-folder");
        QVERIFY(!sub.empty());
        const std::string file = sub + "/data.db";
        ChildReport r = RunInChild([&](ChildOut& out) {
            ObeyFileModes(sub, out);
            FaultStation st(file);
            st.Deliver(1, 11);
            st.Deliver(2, 22);
            chmod(sub.c_str(), 0555);
            for (uint8_t a = 3; a <= 6; ++a)
                st.Deliver(a, a);
            chmod(sub.c_str(), 0755);
            st.Deliver(7, 77);
            for (const std::string& m : st.messages.shown)
                out.Box(m);
            st.link.reset();
            PutStoredState(out, file);
        });
        ExpectReport(r, 0, "11 22 3 4 5 6 77 ");
    }

    // A file that was read-only when the station opened it stays read-only for that run;
    // the next start, with the file writable, stores again.
    void fileReadOnlyAtStart() {
        const std::string sub = Folder("ro-file");
        QVERIFY(!sub.empty());
        const std::string file = sub + "/data.db";
        ChildReport r = RunInChild([&](ChildOut& out) {
            ObeyFileModes(sub, out);
            {
                FaultStation first(file);
                first.Deliver(1, 11);
            }
            chmod(file.c_str(), 0444);
            {
                FaultStation st(file);
                out.Put("created", st.created ? 1 : 0);
                out.Put("tanks", st.tanks.TankCount());
                for (uint8_t a = 2; a <= 4; ++a)
                    st.Deliver(a, a);
                out.Put("shown", st.tanks.Tank(3).FLC);
                for (const std::string& m : st.messages.shown)
                    out.Box(m);
            }
            chmod(file.c_str(), 0644);
            {
                FaultStation again(file);
                again.Deliver(5, 55);
                out.Put("boxesAfter", static_cast<long long>(again.messages.shown.size()));
            }
            PutStoredState(out, file);
        });
        ExpectReport(r, 3, "11 55 ");
        QCOMPARE(r.Int("created"), 1);
        QCOMPARE(r.Int("tanks"), 14);
        QCOMPARE(r.Int("shown"), 4);
        QCOMPARE(r.Int("boxesAfter"), 0);
    }
};

QTEST_GUILESS_MAIN(ReadOnlyDbTest)
#include "test_readonly_db.moc"
