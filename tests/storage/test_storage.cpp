// data.db: creation texts and seeding, the access layer's typing and error texts, and the
// round trip of tank records.
#include "Database.h"
#include "EventTables.h"
#include "IndexBuild.h"
#include "OperatorMessages.h"
#include "SQLiteHandle.h"
#include "Statements.h"
#include "TItemNode.h"

#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <sqlite3.h>
#include <thread>

namespace {

const std::string kPicture = std::string("BM", 2) + std::string(60, '\x01');

std::vector<std::string> Column(TSQLiteDatabase& db, const std::string& q, const char* col) {
    std::vector<std::string> out;
    for (auto t = db.GetTable(q); !t.Eof(); t.Next())
        out.push_back(t.FieldText(col));
    return out;
}

// As the station asks at its start: is DATA's report index among those to build?
bool DataIndexMissing(TSQLiteDatabase& db) {
    for (const ReportIndex& index : MissingReportIndexes(db))
        if (std::string(index.table) == "DATA")
            return true;
    return false;
}

} // namespace

class StorageTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    std::string Path(const char* name) { return dir.filePath(name).toStdString(); }
    std::string Path(const std::string& name) { return Path(name.c_str()); }

    // A file as an older station left it: the tables and readings enough for the progress
    // to be told a few times, no index.
    std::string OldFile(const std::string& name, const std::string& dataTable) {
        const std::string file = Path(name);
        TSQLiteDatabase db(file);
        db.ExecSQL(Sql::kCreateTanks);
        db.ExecSQL(dataTable);
        db.ExecSQL(Sql::kCreateError);
        db.ExecSQL("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < "
                   "19999) INSERT INTO DATA (tstamp, adr, fcode) SELECT 46000 + i / 1440.0, "
                   "1 + i % 14, i FROM n");
        db.ExecSQL("INSERT INTO ERROR SELECT tstamp, adr, 1 FROM DATA WHERE fcode % 7 = 0");
        return file;
    }

private slots:
    void newFileGetsExactTablesAndSeededTanks() {
        TSQLiteDatabase db(Path("new.db"));
        RecordingMessages m;
        QVERIFY(CreateDatabase(db, kPicture, m));
        QVERIFY(m.shown.empty());
        auto sqls = Column(db,
                           "select sql from sqlite_master where type = 'table' and name <> "
                           "'sqlite_sequence' order by rowid",
                           "sql");
        // The three tables first, exactly as always; the later ones (Schema.h) after them.
        QVERIFY(sqls.size() > 3);
        sqls.resize(3);
        QCOMPARE(sqls, (std::vector<std::string>{Sql::kCreateTanks, Sql::kCreateData,
                                                 Sql::kCreateError}));
        auto t = db.GetTable(Sql::kSelectTanks);
        QCOMPARE(t.Count(), 14);
        for (int i = 1; i <= 14; ++i, t.Next()) {
            QCOMPARE(t.FieldText("id"), std::to_string(i));
            QCOMPARE(t.FieldText("name"), "Tank " + std::to_string(i));
            QCOMPARE(t.FieldText("act"), std::string("0"));
            QCOMPARE(t.FieldAsBlob("pict"), kPicture);
            for (const char* c : {"capacity", "ftype", "lfuel", "ofuel", "memo", "ftbl", "clb"})
                QVERIFY2(t.FieldIsNull(c), c);
        }
    }

    void existingFileIsLeftAlone() {
        {
            TSQLiteDatabase db(Path("old.db"));
            db.ExecSQL(Sql::kCreateTanks);
            db.ExecSQL(Sql::kCreateData);
        }
        TSQLiteDatabase db(Path("old.db"));
        RecordingMessages m;
        QVERIFY(CreateDatabase(db, kPicture, m));
        QCOMPARE(db.GetTable(Sql::kSelectTanks).Count(), 0); // an existing empty TANKS stays empty
        QVERIFY(db.TableExists("error"));
        const int changes = sqlite3_total_changes(SQLiteHandle::Of(db));
        QVERIFY(CreateDatabase(db, kPicture, m));
        QCOMPARE(sqlite3_total_changes(SQLiteHandle::Of(db)), changes);
    }

    void fieldTextFollowsTheDeclaredType() {
        TSQLiteDatabase db(Path("types.db"));
        db.ExecSQL("CREATE TABLE T (i INTEGER, b BOOLEAN, r REAL, n NUMERIC, x BLOB, s TEXT, v)");
        db.ExecSQL("INSERT INTO T VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL)");
        db.ExecSQL("INSERT INTO T VALUES (-7, 1, 41248.5, 0.1, X'00FF', 'a\"b', 3)");
        db.ExecSQL("INSERT INTO T VALUES ('12', 0, 1.0, 2, X'', '', 'z')");
        auto t = db.GetTable("SELECT * FROM T");
        QCOMPARE(t.FieldText("i"), std::string("0"));
        QCOMPARE(t.FieldText("B"), std::string("0"));
        QCOMPARE(t.FieldText("r"), std::string("0"));
        QCOMPARE(t.FieldText("x"), std::string());
        QCOMPARE(t.FieldText("s"), std::string());
        QVERIFY(t.FieldIsNull("s"));
        t.Next();
        QCOMPARE(t.FieldText("i"), std::string("-7"));
        QCOMPARE(t.FieldText("r"), std::string("41248.5"));
        QCOMPARE(t.FieldText("n"), std::string("0.1"));
        QCOMPARE(t.FieldText("x"), std::string("\x00\xFF", 2));
        QCOMPARE(t.FieldText("s"), std::string("a\"b"));
        QCOMPARE(t.FieldText("v"), std::string("3"));
        t.Next();
        QCOMPARE(t.FieldText("i"), std::string("12"));
        QCOMPARE(t.FieldText("r"), std::string("1"));
        QVERIFY(t.FieldIsNull("x")); // an empty blob counts as NULL
        QVERIFY(!t.FieldIsNull("s"));
        try {
            t.FieldText("nope");
            QFAIL("no error");
        } catch (const SQLiteError& e) {
            QCOMPARE(std::string(e.what()), std::string("Field not found in dataset: nope"));
        }
        t.Next();
        QVERIFY(t.Eof());
        t.Next();
        QVERIFY(t.Eof());
    }

    void errorTexts() {
        TSQLiteDatabase db(Path("err.db"));
        auto text = [&](auto&& f) {
            try {
                f();
            } catch (const SQLiteError& e) {
                return std::string(e.what());
            }
            return std::string("no error");
        };
        QCOMPARE(text([&] { db.ExecSQL("SELEC 1"); }),
                 std::string("Error executing SQL.\rError [1]: SQL error or missing database.\r"
                             "\"SELEC 1\": near \"SELEC\": syntax error"));
        QCOMPARE(text([&] { db.ExecSQL("  "); }).substr(0, 32),
                 std::string("Could not prepare SQL statement."));
        QCOMPARE(text([&] { db.UpdateBlob("UPDATE X SET a = 1", "b"); }),
                 std::string("SQL must include a ? parameter"));
        QCOMPARE(text([&] { db.UpdateBlob("UPDATE X SET a = ?", "b"); }).substr(0, 32),
                 std::string("Could not prepare SQL statement."));
        db.ExecSQL("CREATE TABLE U (a INTEGER UNIQUE)");
        db.ExecSQL("INSERT INTO U VALUES (1)");
        QCOMPARE(text([&] { db.ExecSQL("INSERT INTO U VALUES (1)"); }).substr(0, 44),
                 std::string("Error executing SQL statement.\rError [19]: A"));
        QCOMPARE(text([&] { db.ExecSQL("SELECT 1"); }).substr(0, 30),
                 std::string("Error executing SQL statement."));
    }

    void openFailuresNameTheFile() {
        QFile junk(dir.filePath("junk.db"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(4096, 'x'));
        junk.close();
        try {
            TSQLiteDatabase db(Path("junk.db"));
            QFAIL("opened a file that is not a database");
        } catch (const SQLiteError& e) {
            QCOMPARE(std::string(e.what()), "Failed to open database \"" + Path("junk.db") +
                                                "\" : file is not a database");
        }
        QVERIFY_THROWS_EXCEPTION(SQLiteError, TSQLiteDatabase(Path("no/such/folder/x.db")));
    }

    // A second connection (the history worker's, the index build's) opened while the
    // station holds the file for a commit waits for it instead of failing to open.
    void openWaitsForAShortLock() {
        const std::string file = Path("busy.db");
        { TSQLiteDatabase(file).ExecSQL("CREATE TABLE t (x)"); }
        TSQLiteDatabase writer(file);
        writer.ExecSQL("BEGIN EXCLUSIVE");
        std::thread release([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            writer.ExecSQL("COMMIT");
        });
        std::string error;
        try {
            TSQLiteDatabase second(file);
        } catch (const SQLiteError& e) {
            error = e.what();
        }
        release.join();
        QVERIFY2(error.empty(), error.c_str());
    }

    void creationFailureIsReported() {
        TSQLiteDatabase db(Path("ro.db"));
        db.ExecSQL("CREATE VIEW DATA AS SELECT 1"); // a name taken by something else
        RecordingMessages m;
        QVERIFY(!CreateDatabase(db, kPicture, m));
        QCOMPARE(m.shown, (std::vector<std::string>{kMsgCreationFailed}));
    }

    void textsRoundTripByteForByte_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("double quote") << QByteArray("say \"hi\"");
        QTest::newRow("single quote") << QByteArray("O'Brien's");
        QTest::newRow("percent") << QByteArray("50% diesel %d %s");
        QTest::newRow("backslash") << QByteArray("C:\\tanks\\");
        QTest::newRow("column name") << QByteArray("memo");
        QTest::newRow("other column") << QByteArray("name");
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("8-bit") << QByteArray("\xE9t\xE9 \xBA\xFF");
        QTest::newRow("question mark") << QByteArray("why? ?");
    }
    void textsRoundTripByteForByte() {
        QFETCH(QByteArray, text);
        TSQLiteDatabase db(Path("rt.db"));
        RecordingMessages m;
        QVERIFY(CreateDatabase(db, kPicture, m));
        TItemNode n;
        n.id = 3;
        n.Name = n.FType = n.Memo = text.toStdString();
        n.Act = true;
        n.LowFuel = -1;
        n.OverFuel = 2147483647;
        n.Capacity = 3600;
        n.Img = kPicture;
        n.FTable[0] = {100, 1000};
        n.ClbArray[4095] = 3600.0f;
        SaveTank(db, n, m);
        auto t = db.GetTable("SELECT *, typeof(name) tn, typeof(act) ta, typeof(capacity) tc, "
                             "typeof(lfuel) tl FROM TANKS WHERE id = 3");
        QCOMPARE(t.FieldText("tn"), std::string("text"));
        QCOMPARE(t.FieldText("ta"), std::string("integer"));
        QCOMPARE(t.FieldText("tc"), std::string("integer"));
        QCOMPARE(t.FieldText("tl"), std::string("integer"));
        TItemNode back;
        LoadTankFromRow(t, back);
        QCOMPARE(back.Name, n.Name);
        QCOMPARE(back.FType, n.FType);
        QCOMPARE(back.Memo, n.Memo);
        QCOMPARE(back.Act, true);
        QCOMPARE(back.LowFuel, -1);
        QCOMPARE(back.OverFuel, 2147483647);
        QCOMPARE(back.Img, kPicture);
        QVERIFY(back.FTable == n.FTable);
        QCOMPARE(back.Capacity, 3600);
        // The other tanks are untouched.
        QCOMPARE(Column(db, "SELECT name FROM TANKS WHERE id = 4", "name").at(0),
                 std::string("Tank 4"));
    }

    void saveWithoutTanksTable() {
        TSQLiteDatabase db(Path("none.db"));
        RecordingMessages m;
        TItemNode n;
        n.id = 1;
        SaveTank(db, n, m);
        QCOMPARE(m.shown, (std::vector<std::string>{kMsgTableMissing}));
        QVERIFY(!db.TableExists("TANKS"));
    }

    void loadingOddRows() {
        TSQLiteDatabase db(Path("odd.db"));
        db.ExecSQL(Sql::kCreateTanks);
        db.ExecSQL("INSERT INTO TANKS (id) VALUES (300)"); // NULLs everywhere, id past 8 bits
        db.ExecSQL("INSERT INTO TANKS (id, act, ftbl, clb, pict) VALUES (2, 1, X'0A000000', "
                   "X'0000803F', X'')");
        db.ExecSQL("INSERT INTO TANKS (id, act, clb) VALUES (3, 2, zeroblob(20000))");
        auto t = db.GetTable(Sql::kSelectTanks);
        TItemNode a, b, c;
        LoadTankFromRow(t, b);
        t.Next();
        LoadTankFromRow(t, c);
        t.Next();
        LoadTankFromRow(t, a);
        QCOMPARE(a.id, uint8_t(300 & 0xFF));
        QVERIFY(a.Name.empty() && a.Img.empty() && !a.Act && a.Capacity == 0);
        QCOMPARE(b.FTable[0].Code, uint16_t(10));
        QCOMPARE(b.FTable[0].Litres, 0u);
        QCOMPARE(b.ClbArray[0], 1.0f);
        QVERIFY(b.Act);
        QVERIFY(!c.Act); // only 1 means active
    }

    void timestampsAndSignedTemperatures() {
        TSQLiteDatabase db(Path("ts.db"));
        RecordingMessages m;
        QVERIFY(CreateDatabase(db, kPicture, m));
        QCOMPARE(Sql::InsertData(41248.5, 1, 1250, 150, -5),
                 std::string("INSERT INTO DATA (tstamp, adr, flevel, fcode, temp) VALUES "
                             "(\"41248.5000000000\", 1, 1250, 150, -5)"));
        db.ExecSQL(Sql::InsertData(41248.5, 1, 1250, 150, -5));
        db.ExecSQL(Sql::InsertError(41248.75, 1, 1));
        auto t = db.GetTable("SELECT tstamp, typeof(tstamp) k, temp FROM DATA");
        QCOMPARE(t.Field("tstamp").d, 41248.5);
        QCOMPARE(t.FieldText("k"), std::string("real"));
        QCOMPARE(t.FieldText("temp"), std::string("-5"));
        QCOMPARE(Sql::SelectLevels(5, 41248.5, 41249),
                 std::string("SELECT tstamp, flevel FROM DATA where adr = 5 and tstamp > "
                             "41248.5000000000 and tstamp < 41249.0000000000"));
        QCOMPARE(db.GetTable(Sql::SelectLevels(1, 41248.5, 41249)).Count(), 0); // exclusive
        QCOMPARE(db.GetTable(Sql::SelectLevels(1, 41248.4, 41248.6)).Count(), 1);
        QCOMPARE(db.GetTable(Sql::SelectErrors(1, 41248.7, 41248.8)).Count(), 1);
    }

    void dataIndex() {
        TSQLiteDatabase db(Path("idx.db"));
        db.ExecSQL(Sql::kCreateData);
        QVERIFY(DataIndexMissing(db)); // and none of ERROR, which the file does not have
        QCOMPARE(int(MissingReportIndexes(db).size()), 1);
        TSQLiteDatabase fresh(Path("idx2.db"));
        RecordingMessages m;
        QVERIFY(CreateDatabase(fresh, kPicture, m));
        // a new DATA table comes with its index, and a new ERROR table with its own
        QVERIFY(MissingReportIndexes(fresh).empty());
        // the reports' readings come from the index alone
        const auto plan =
            Column(fresh, "EXPLAIN QUERY PLAN " + std::string(Sql::kSelectReadings), "detail");
        QVERIFY2(QString::fromStdString(plan.at(0)).contains("COVERING INDEX DATA_READINGS"),
                 plan[0].c_str());
    }

    // An EVENTS row is read column by column in one place: every field from its own
    // column, a NULL as none where the record has room for one, else as 0 (the sender's
    // copy, which keeps them, is test_central).
    void eventRowReadOnce() {
        TSQLiteDatabase db(Path("events.db"));
        db.ExecSQL(Sql::kCreateEvents);
        EventRow full{0, 3, "loss", 46000.25, 46000.5, 11, 12, 13, 14, 15, 16, 46001.0, "m"};
        full.id = InsertAlarmEvent(db, full);
        QCOMPARE(int(full.id), 1);
        const std::vector<EventRow> read = SelectEvents(db);
        QCOMPARE(read.size(), std::size_t(1));
        const EventRow& e = read[0];
        QVERIFY(e.id == full.id && e.adr == 3 && e.kind == "loss" && e.tstart == 46000.25);
        QVERIFY(e.tend == 46000.5 && e.vbefore == 11 && e.vafter == 12 && e.nbefore == 13);
        QVERIFY(e.nafter == 14 && e.tbefore == 15 && e.tafter == 16 && e.acked == 46001.0);
        QCOMPARE(e.memo, std::string("m"));

        db.ExecSQL("INSERT INTO EVENTS (id, kind) VALUES (2, 'low')");
        const EventRow plain = SelectEvents(db, 0, "low").at(0);
        QVERIFY(plain.id == 2 && plain.adr == 0 && plain.tstart == 0 && !plain.tend);
    }

    // A file with the earlier, narrower index of DATA gets the covering one and loses the old.
    void narrowerDataIndexReplaced() {
        const std::string file = OldFile("narrow.db", Sql::kCreateData);
        TSQLiteDatabase db(file);
        db.ExecSQL("CREATE INDEX DATA_ADR_TSTAMP ON DATA (adr, tstamp, flevel)");
        QVERIFY(DataIndexMissing(db));
        QCOMPARE(BuildReportIndexes(file, MissingReportIndexes(db), {}), std::string());
        QVERIFY(!DataIndexMissing(db));
        QCOMPARE(
            db.GetTable("SELECT name FROM sqlite_master WHERE name = 'DATA_ADR_TSTAMP'").Count(),
            0);
    }

    // A file without the report indexes: both are built on a connection of their own, the
    // progress only grows and ends at 1, and the silence query then reads its index alone.
    void reportIndexesBuiltApart() {
        const std::string file = OldFile("apart.db", Sql::kCreateData);
        TSQLiteDatabase db(file);
        QCOMPARE(int(MissingReportIndexes(db).size()), 2);
        std::vector<double> seen;
        const std::string error = BuildReportIndexes(file, MissingReportIndexes(db), [&](double f) {
            seen.push_back(f);
            return true;
        });
        QCOMPARE(error, std::string());
        QVERIFY(seen.size() > 2);
        QVERIFY(std::is_sorted(seen.begin(), seen.end()));
        QCOMPARE(seen.back(), 1.0);
        QVERIFY(MissingReportIndexes(db).empty());
        const auto plan =
            Column(db, "EXPLAIN QUERY PLAN " + Sql::SelectErrors(1, 46000, 46001), "detail");
        QCOMPARE(plan.size(), std::size_t(1));
        QVERIFY2(QString::fromStdString(plan[0]).contains("COVERING INDEX ERROR_ADR_TSTAMP"),
                 plan[0].c_str());
    }

    void reportIndexesThatCannotBeBuilt_data() {
        QTest::addColumn<QString>("dataTable");
        QTest::addColumn<QString>("lock");
        QTest::addColumn<bool>("stop");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("built");
        QTest::newRow("DATA of another shape")
            << "CREATE TABLE DATA (tstamp REAL, adr INTEGER, fcode INTEGER)"
            << "" << false << "DATA_READINGS: no such column: flevel" << 1;
        QTest::newRow("held by another program") << Sql::kCreateData << "BEGIN EXCLUSIVE" << false
                                                 << "DATA_READINGS: database is locked" << 0;
        QTest::newRow("stopped") << Sql::kCreateData << "" << true << "stopped" << 0;
    }
    void reportIndexesThatCannotBeBuilt() {
        QFETCH(QString, dataTable);
        QFETCH(QString, lock);
        QFETCH(bool, stop);
        QFETCH(QString, error);
        QFETCH(int, built);
        const std::string file =
            OldFile(QTest::currentDataTag() + std::string(".db"), dataTable.toStdString());
        std::vector<ReportIndex> missing;
        {
            TSQLiteDatabase db(file);
            missing = MissingReportIndexes(db);
        }
        sqlite3* other = nullptr;
        QCOMPARE(sqlite3_open(file.c_str(), &other), SQLITE_OK);
        if (!lock.isEmpty())
            QCOMPARE(sqlite3_exec(other, lock.toUtf8(), nullptr, nullptr, nullptr), SQLITE_OK);
        const std::string got = BuildReportIndexes(file, missing, [&](double) { return !stop; });
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        QCOMPARE(QString::fromStdString(got), error);
        TSQLiteDatabase db(file);
        QCOMPARE(int(MissingReportIndexes(db).size()), 2 - built);
    }
};

QTEST_GUILESS_MAIN(StorageTest)
#include "test_storage.moc"
