// The first start on a file written before the report indexes existed: the window comes
// first, the indexes are built under a progress dialog on a connection of their own, and the
// sensor line opens only after them. A file where they cannot be built is used without them,
// with one line in the Errors log and no box. (The build itself: test_storage.)
#include "Database.h"
#include "MainUnit.h"
#include "ReportIndexBuild.h"
#include "SensorLink.h"
#include "SettingsUnit.h"
#include "Statements.h"

#include <QApplication>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <sqlite3.h>

namespace {

// Another program's connection, holding a write lock while it lives.
struct Holder {
    sqlite3* db = nullptr;
    explicit Holder(const std::string& file) {
        sqlite3_open(file.c_str(), &db);
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    }
    void Release() {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        db = nullptr;
    }
    ~Holder() {
        if (db)
            Release();
    }
};

bool HasIndex(TSQLiteDatabase& db, const char* name) {
    return db.GetTable(std::string("select name from sqlite_master where name = '") + name + "'")
               .Count() == 1;
}

int FailureLines(const TForm1& w) {
    return int(w.LogText().count("index of readings could not be built"));
}

} // namespace

class IndexBuildTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QTimer closer;

    // A file as an older station left it: the tables, a day of readings, no index.
    std::string OldFile(const QString& name, const char* dataTable = Sql::kCreateData) {
        const std::string file = dir.filePath(name).toStdString();
        TSQLiteDatabase db(file);
        db.ExecSQL(Sql::kCreateTanks);
        db.ExecSQL(Sql::SeedTank(1));
        db.ExecSQL(dataTable);
        db.ExecSQL(Sql::kCreateError);
        db.ExecSQL("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < "
                   "1439) INSERT INTO DATA (tstamp, adr, fcode) SELECT 46000 + i / 1440.0, 1, i "
                   "FROM n");
        db.ExecSQL("INSERT INTO ERROR VALUES (46000.5, 1, 1)");
        return file;
    }

private slots:
    void initTestCase() {
        // No port is set here: opening the line asks for one and shows Settings, which is
        // closed again at once.
        connect(&closer, &QTimer::timeout, [] {
            if (auto* settings = qobject_cast<TForm2*>(QApplication::activeModalWidget()))
                settings->reject();
        });
        closer.start(20);
    }

    void windowFirstThenIndexesThenTheLine() {
        const std::string file = OldFile("old.db");
        Holder other(file); // the build waits for it
        RecordingMessages m;
        ManualClock clock(46001);
        TForm1 w(m, clock, file);
        QVERIFY(!w.StartFailed());
        QVERIFY(!HasIndex(w.Db(), "DATA_READINGS")); // not built before the window shows
        w.show();
        QTRY_VERIFY(w.IndexBuild() && w.IndexBuild()->Dialog()->isVisible());
        QVERIFY(w.IndexBuild()->Dialog()->isModal());
        QVERIFY(w.IndexBuild()->Running());
        QVERIFY(m.shown.empty()); // the line is not open yet
        other.Release();
        QTRY_VERIFY_WITH_TIMEOUT(!w.IndexBuild()->Running(), 10000);
        QVERIFY(!w.IndexBuild()->Dialog()->isVisible());
        QVERIFY(HasIndex(w.Db(), "DATA_READINGS"));
        QVERIFY(HasIndex(w.Db(), "ERROR_ADR_TSTAMP"));
        QCOMPARE(FailureLines(w), 0);
        QTRY_COMPARE(m.shown, std::vector<std::string>{kMsgSelectPort}); // then the line opened
    }

    void fileWithIndexesStartsAsBefore() {
        const std::string file = dir.filePath("new.db").toStdString();
        RecordingMessages m;
        ManualClock clock(46001);
        TForm1 w(m, clock, file);
        w.show();
        QTRY_COMPARE(m.shown, std::vector<std::string>{kMsgSelectPort});
        QVERIFY(!w.IndexBuild());
    }

    void unbuildableIndexIsOneLogLine_data() {
        QTest::addColumn<QString>("dataTable");
        QTest::addColumn<bool>("held");
        QTest::addColumn<QString>("reason");
        QTest::newRow("DATA of another shape")
            << "CREATE TABLE DATA (tstamp REAL, adr INTEGER, fcode INTEGER)" << false << "flevel";
        QTest::newRow("held by another program") << Sql::kCreateData << true << "locked";
    }
    void unbuildableIndexIsOneLogLine() {
        QFETCH(QString, dataTable);
        QFETCH(bool, held);
        QFETCH(QString, reason);
        const std::string file =
            OldFile(QTest::currentDataTag() + QString(".db"), dataTable.toStdString().c_str());
        std::unique_ptr<Holder> other;
        if (held)
            other = std::make_unique<Holder>(file);
        RecordingMessages m;
        ManualClock clock(46001);
        TForm1 w(m, clock, file);
        QVERIFY(!w.StartFailed());
        w.show();
        QTRY_VERIFY(w.IndexBuild());
        QTRY_VERIFY_WITH_TIMEOUT(!w.IndexBuild()->Running(), 10000);
        QCOMPARE(FailureLines(w), 1);
        QVERIFY2(w.LogText().contains(reason), qPrintable(w.LogText()));
        QTRY_COMPARE(m.shown, std::vector<std::string>{kMsgSelectPort}); // no box for the index
    }
};

QTEST_MAIN(IndexBuildTest)
#include "test_index_build.moc"
