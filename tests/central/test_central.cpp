// Sending to a central PostgreSQL: rows arrive once, a backlog after an outage arrives in
// order and complete, a station killed between a batch and its mark doubles nothing, a
// hostile tank name arrives byte for byte, two stations keep apart, events take their later
// state; and, without a server, a batch that fails leaves its mark where it was.

#include "BoundSql.h"
#include "CentralSender.h"
#include "CentralWorker.h"
#include "EventTables.h"
#include "LocalQueue.h"
#include "PgCentralServer.h"
#include "PgConnection.h"
#include "PgTestServer.h"
#include "SQLiteDatabase.h"
#include "Statements.h"
#include "StoredText.h"
#include "TItemNode.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A station's data.db with 14 tanks and the event tables.
struct Station {
    QTemporaryDir dir;
    std::string file = (dir.path() + "/data.db").toStdString();
    TSQLiteDatabase db{file};
    int64_t nextStamp = 0;
    Station() {
        db.ExecSQL(Sql::kCreateTanks);
        db.ExecSQL(Sql::kCreateData);
        db.ExecSQL(Sql::kCreateError);
        for (int id = 1; id <= 14; ++id)
            Exec(db,
                 "INSERT INTO TANKS (id, name, capacity, ftype, act, lfuel, ofuel, memo) VALUES "
                 "(?, ?, 50000, 'Diesel', 1, 5000, 48000, '')",
                 {int64_t(id), "Tank " + std::to_string(id)});
        MigrateSchema(db);
    }
    // `n` readings a minute apart, cycling over the tanks.
    void AddReadings(int n) {
        db.ExecSQL("BEGIN");
        for (int i = 0; i < n; ++i, ++nextStamp)
            Exec(db, "INSERT INTO DATA VALUES (?, ?, ?, ?, ?)",
                 {46000.0 + double(nextStamp) / 1440, int64_t(nextStamp % 14 + 1),
                  int64_t(1000 + nextStamp), int64_t(nextStamp % 4096), int64_t(15)});
        db.ExecSQL("COMMIT");
    }
    int64_t Count(const char* table) {
        int64_t n = 0;
        Query(db, std::string("SELECT count(*) FROM ") + table, {},
              [&](const Row& r) { n = r.Int(0); });
        return n;
    }
};

CentralRoundResult SendOnce(Station& s, const std::string& conninfo, const std::string& name,
                            int batch = 5000) {
    LocalQueue queue(s.db, name);
    PgCentralServer server(conninfo);
    return CentralSender(queue, server, batch).SendPending();
}

// Fails the batch that would take the sent rows past `okRows`.
class FailingServer : public CentralServer {
public:
    explicit FailingServer(int64_t okRows) : okRows_(okRows) {}
    int64_t stored = 0;
    CentralOutcome Prepare() override { return CentralOutcome::Ok(); }
    CentralOutcome SendReadings(const std::string&, const std::vector<CentralReading>& r) override {
        return Take(r.size());
    }
    CentralOutcome SendErrors(const std::string&, const std::vector<CentralError>& r) override {
        return Take(r.size());
    }
    CentralOutcome SendEvents(const std::string&, const std::vector<CentralEvent>&) override {
        return CentralOutcome::Ok();
    }
    CentralOutcome SendTankChanges(const std::string&,
                                   const std::vector<CentralTankChange>&) override {
        return CentralOutcome::Ok();
    }
    CentralOutcome SendBook(const std::string&, const std::vector<CentralBookPart>& p) override {
        int64_t n = 0;
        for (const CentralBookPart& part : p)
            n += part.Rows();
        return Take(std::size_t(n));
    }
    void Disconnect() override {}

private:
    int64_t okRows_;
    CentralOutcome Take(std::size_t n) {
        if (stored + int64_t(n) > okRows_)
            return CentralOutcome::Fail("timeout expired");
        stored += int64_t(n);
        return CentralOutcome::Ok();
    }
};

} // namespace

class TestCentral : public QObject {
    Q_OBJECT
    PgTestServer pg_;
    std::unique_ptr<PgConnection> conn_;

    PgRows Ask(const std::string& sql, const std::vector<PgParam>& params = {}) {
        std::string error;
        if (!conn_ || !conn_->Healthy())
            conn_ = PgConnection::Open(pg_.Conninfo(), error);
        if (!conn_)
            return {{std::string("no connection: " + error)}};
        PgOutcome r = conn_->Exec(sql, params);
        if (!r.ok && !conn_->Healthy()) { // the server was restarted since
            conn_ = PgConnection::Open(pg_.Conninfo(), error);
            if (!conn_)
                return {{std::string("no connection: " + error)}};
            r = conn_->Exec(sql, params);
        }
        return r.ok ? r.rows : PgRows{{std::string("failed: " + r.error)}};
    }
    int64_t Rows(const char* table, const std::string& station) {
        const PgRows r =
            Ask(std::string("SELECT count(*) FROM central.") + table + " WHERE station = $1",
                {{station}});
        const std::string n = r.at(0).at(0).value_or("-1");
        if (n.empty() || n.find_first_not_of("0123456789") != std::string::npos)
            qWarning("%s", n.c_str());
        return std::atoll(n.c_str());
    }

private slots:
    void initTestCase() {
        const QString error = pg_.Start();
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    void rowsArriveOnce() {
        Station s;
        s.AddReadings(1234);
        Exec(s.db, "INSERT INTO ERROR VALUES (46000.5, 3, 7)");
        CentralRoundResult r = SendOnce(s, pg_.Conninfo(), "once", 100);
        QVERIFY2(r.ok, r.error.c_str());
        QCOMPARE(r.counts.waiting, 0);
        r = SendOnce(s, pg_.Conninfo(), "once", 100);
        QVERIFY(r.ok);
        QCOMPARE(r.counts.sent, 0); // nothing new, nothing sent again
        QCOMPARE(Rows("readings", "once"), 1234);
        QCOMPARE(Rows("errors", "once"), 1);
        QCOMPARE(Rows("tank_changes", "once"), 14);
        // Values and times as stored: the 1000th reading (rowid 1000).
        const PgRows v = Ask("SELECT adr, flevel, fcode, tstamp, to_char(taken AT TIME ZONE "
                             "'UTC', 'YYYY-MM-DD HH24:MI') FROM central.readings WHERE station = "
                             "'once' AND src_row = 1000");
        QCOMPARE(v.at(0).at(0).value_or(""), std::string("6"));
        QCOMPARE(v.at(0).at(1).value_or(""), std::string("1999"));
        QCOMPARE(v.at(0).at(2).value_or(""), std::string("999"));
        QCOMPARE(std::stod(v.at(0).at(3).value_or("0")), 46000.0 + 999.0 / 1440);
        QCOMPARE(v.at(0).at(4).value_or(""), std::string("2025-12-09 16:39"));
    }

    void backlogAfterOutageArrivesInOrder() {
        Station s;
        s.AddReadings(300);
        QVERIFY(SendOnce(s, pg_.Conninfo(), "outage").ok);
        pg_.Down();
        s.AddReadings(7000);
        CentralRoundResult r = SendOnce(s, pg_.Conninfo(), "outage");
        QVERIFY(!r.ok);
        QVERIFY(!r.error.empty());
        QCOMPARE(r.counts.waiting, 7000);
        const QString up = pg_.Up();
        QVERIFY2(up.isEmpty(), qPrintable(up));
        r = SendOnce(s, pg_.Conninfo(), "outage");
        QVERIFY2(r.ok, r.error.c_str());
        QCOMPARE(r.counts.sent, 7000);
        QCOMPARE(Rows("readings", "outage"), s.Count("DATA"));
        // In order and complete: rows 1..7300, arrival order following the stored order.
        const PgRows o = Ask("SELECT min(src_row), max(src_row), count(DISTINCT src_row), "
                             "bool_and(tstamp > 0) FROM central.readings WHERE station = "
                             "'outage'");
        QCOMPARE(o.at(0).at(0).value_or(""), std::string("1"));
        QCOMPARE(o.at(0).at(1).value_or(""), std::string("7300"));
        QCOMPARE(o.at(0).at(2).value_or(""), std::string("7300"));
        const PgRows late = Ask("SELECT count(*) FROM central.readings a JOIN central.readings "
                                "b ON a.station = b.station AND a.src_row < b.src_row AND "
                                "(a.received > b.received OR a.tstamp > b.tstamp) WHERE "
                                "a.station = 'outage' AND a.src_row BETWEEN 4990 AND 5010 AND "
                                "b.src_row BETWEEN 4990 AND 5010");
        QCOMPARE(late.at(0).at(0).value_or(""), std::string("0"));
    }

    void killedBetweenBatchAndMarkDoublesNothing() {
        Station s;
        s.AddReadings(2500);
        QProcess p;
        p.start(CENTRAL_SEND_HELPER, {QString::fromStdString(s.file),
                                      QString::fromStdString(pg_.Conninfo()), "kill", "1000", "3"});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitStatus(), QProcess::CrashExit);
        // The tanks' batch, then two batches of readings on the server; one mark in data.db.
        QCOMPARE(Rows("readings", "kill"), 2000);
        {
            LocalQueue q(s.db, "kill");
            QCOMPARE(q.Mark(kMarkData), 1000);
        }
        const CentralRoundResult r = SendOnce(s, pg_.Conninfo(), "kill", 1000);
        QVERIFY2(r.ok, r.error.c_str());
        QCOMPARE(Rows("readings", "kill"), 2500);
        QCOMPARE(Rows("tank_changes", "kill"), 14);
    }

    void hostileTankNameArrivesByteForByte() {
        Station s;
        const std::string name = std::string("x'); DROP TABLE central.readings; --\\ \"$1\xE9\xFF"
                                             "\n\x01 ok");
        TFTable points{};
        points[0] = {16, 1000};
        points[1] = {32, 2000};
        Exec(s.db, "UPDATE TANKS SET name = ?, ftbl = ? WHERE id = 4",
             {name, EncodeFTable(points)});
        const std::string utf8 = "Cisterna \xE2\x84\x96"
                                 "5 \xC3\xA9";
        Exec(s.db, "UPDATE TANKS SET name = ? WHERE id = 5", {utf8});
        QVERIFY(SendOnce(s, pg_.Conninfo(), "hostile").ok);
        QCOMPARE(Ask("SELECT name FROM central.tank_changes WHERE station = 'hostile' AND tank = 5")
                     .at(0)
                     .at(0)
                     .value_or(""),
                 utf8);
        const PgRows t = Ask("SELECT encode(name_raw, 'hex'), name, seq FROM central.tank_changes "
                             "WHERE station = 'hostile' AND tank = 4");
        QCOMPARE(t.at(0).at(0).value_or(""), QByteArray::fromStdString(name).toHex().toStdString());
        // Not UTF-8: read in the legacy code page, as the station shows it.
        QCOMPARE(t.at(0).at(1).value_or(""), StoredText::FromStored(name).toStdString());
        QCOMPARE(Ask("SELECT to_regclass('central.readings') IS NOT NULL").at(0).at(0).value_or(""),
                 std::string("t"));
        const PgRows pts = Ask("SELECT string_agg(point || ':' || code || '=' || litres, ' ' "
                               "ORDER BY point) FROM central.calibration_points WHERE station = "
                               "'hostile' AND tank = 4 AND seq = 1");
        QCOMPARE(pts.at(0).at(0).value_or(""), std::string("1:16=1000 2:32=2000"));
        // A later change is a new state; an unchanged tank sends nothing.
        Exec(s.db, "UPDATE TANKS SET capacity = 60000 WHERE id = 4");
        const CentralRoundResult r = SendOnce(s, pg_.Conninfo(), "hostile");
        QCOMPARE(r.counts.sent, 1);
        QCOMPARE(Rows("tank_changes", "hostile"), 15);
    }

    void twoStationsKeepApart() {
        Station a, b;
        a.AddReadings(500);
        b.AddReadings(800); // the same rowids as station a, and more
        QVERIFY(SendOnce(a, pg_.Conninfo(), "depot-a").ok);
        QVERIFY(SendOnce(b, pg_.Conninfo(), "depot-b").ok);
        QVERIFY(SendOnce(a, pg_.Conninfo(), "depot-a").ok);
        QCOMPARE(Rows("readings", "depot-a"), 500);
        QCOMPARE(Rows("readings", "depot-b"), 800);
        QCOMPARE(Rows("tank_changes", "depot-b"), 14);
    }

    void eventsTakeTheirLaterState() {
        Station s;
        EventRow e;
        e.adr = 2;
        e.kind = "low";
        e.tstart = 46000.25;
        const int64_t id = InsertAlarmEvent(s.db, e);
        QVERIFY(SendOnce(s, pg_.Conninfo(), "events").ok);
        EndAlarmEvent(s.db, id, 46000.5, 900, std::nullopt, 14);
        AcknowledgeEvent(s.db, id, 46000.75);
        QVERIFY(SendOnce(s, pg_.Conninfo(), "events").ok);
        const PgRows r = Ask("SELECT ended IS NOT NULL, acked IS NOT NULL, vafter FROM "
                             "central.events WHERE station = 'events'");
        QCOMPARE(r.size(), std::size_t(1));
        QCOMPARE(r.at(0).at(0).value_or(""), std::string("t"));
        QCOMPARE(r.at(0).at(1).value_or(""), std::string("t"));
        QCOMPARE(r.at(0).at(2).value_or(""), std::string("900"));
    }

    // The reconciliation's book: sent once, a corrected figure and a removed note arrive as
    // the part's next version, the newest versions are the station's book as it stands,
    // and the earlier versions stay for the audit.
    void bookArrivesAndFollowsCorrections() {
        Station s;
        const double dec1 = 46357; // 01/12/2026
        std::vector<MeterEntry> meters;
        for (int d = 0; d < 40; ++d) // into January: two parts
            meters.push_back({3, dec1 + d, 2000.0 + d, false});
        DeliveryNote note{3, dec1 + 2.4, 15000, 12.5, 835, "DN 7", "Haulier \xc3\x98st"};
        StoreReconRows(s.db, meters, {note});
        SaveReconSettings(s.db, {3, 0.004, std::nullopt, std::nullopt, std::nullopt, 0.01});
        CentralRoundResult r = SendOnce(s, pg_.Conninfo(), "book");
        QVERIFY2(r.ok, r.error.c_str());
        QCOMPARE(r.counts.sent, 14 + 40 + 1 + 1);
        r = SendOnce(s, pg_.Conninfo(), "book");
        QCOMPARE(r.counts.sent, 0);

        const auto book = [&] {
            const PgRows rows = Ask(
                "SELECT m.tlocal, m.litres, to_char(m.local_time, 'YYYY-MM-DD') FROM "
                "central.meter_totals m JOIN (SELECT adr, period, max(seq) AS seq FROM "
                "central.book_versions WHERE station = 'book' AND tbl = 'METER_TOTALS' GROUP BY "
                "adr, period) v USING (adr, period, seq) WHERE m.station = 'book' ORDER BY 1");
            QStringList out;
            for (const auto& row : rows)
                out << QString::fromStdString(row.at(1).value_or("?"));
            return out;
        };
        QCOMPARE(book().size(), 40);
        const PgRows n = Ask("SELECT number, supplier, temp, to_char(local_time, 'YYYY-MM-DD "
                             "HH24:MI') FROM central.delivery_notes WHERE station = 'book'");
        QCOMPARE(n.at(0).at(0).value_or(""), std::string("DN 7"));
        QCOMPARE(n.at(0).at(1).value_or(""), std::string("Haulier \xc3\x98st"));
        QCOMPARE(n.at(0).at(2).value_or(""), std::string("12.5"));
        QCOMPARE(n.at(0).at(3).value_or(""), std::string("2026-12-03 09:36"));

        // A corrected figure in December and the note taken back: December's meters and
        // the notes go again, January's part does not.
        ReplaceReconPeriod(s.db, 3, dec1 + 5, dec1 + 6, {{3, dec1 + 5, 1234.5, false}}, {});
        ReplaceReconPeriod(s.db, 3, dec1, dec1 + 31, LoadMeterEntries(s.db, 3, dec1, dec1 + 31),
                           {});
        r = SendOnce(s, pg_.Conninfo(), "book");
        QVERIFY2(r.ok, r.error.c_str());
        QCOMPARE(r.counts.sent, 31);
        const QStringList now = book();
        QCOMPARE(now.size(), 40);
        QCOMPARE(now.at(5), QString("1234.5"));
        QCOMPARE(now.at(6), QString("2006"));
        const PgRows v = Ask("SELECT tbl, period, seq, row_count FROM central.book_versions WHERE "
                             "station = 'book' ORDER BY tbl, period, seq");
        QStringList versions;
        for (const auto& row : v)
            versions << QString::fromStdString(
                row.at(0).value_or("") + " " + row.at(1).value_or("") + " " +
                row.at(2).value_or("") + " " + row.at(3).value_or(""));
        QCOMPARE(versions.join(" / "),
                 QString("DELIVERY_NOTES 202612 1 1 / DELIVERY_NOTES 202612 2 0 / METER_TOTALS "
                         "202612 1 31 / METER_TOTALS 202612 2 31 / METER_TOTALS 202701 1 9 / "
                         "RECON_SETTINGS 0 1 1"));
        QCOMPARE(Rows("meter_totals", "book"), 71); // the first version kept beside the second
    }

    // A reconciliation alarm has no end: it is sent again only until it is acknowledged,
    // after which the events sent again start past it.
    void reconciliationAlarmStopsBeingResentOnceAcknowledged() {
        Station s;
        EventRow e;
        e.adr = 4;
        e.kind = "reconciliation";
        e.tstart = 46000.5;
        e.memo = "Fuel missing";
        const int64_t id = InsertAlarmEvent(s.db, e);
        QVERIFY(SendOnce(s, pg_.Conninfo(), "recon-alarm").ok);
        QCOMPARE(LocalQueue(s.db, "recon-alarm").Mark(kMarkEventsOpen), id);
        AcknowledgeEvent(s.db, id, 46001.0);
        QVERIFY(SendOnce(s, pg_.Conninfo(), "recon-alarm").ok);
        QCOMPARE(LocalQueue(s.db, "recon-alarm").Mark(kMarkEventsOpen), id + 1);
        const PgRows r = Ask("SELECT kind, acked IS NOT NULL, memo FROM central.events WHERE "
                             "station = 'recon-alarm'");
        QCOMPARE(r.at(0).at(0).value_or(""), std::string("reconciliation"));
        QCOMPARE(r.at(0).at(1).value_or(""), std::string("t"));
        QCOMPARE(r.at(0).at(2).value_or(""), std::string("Fuel missing"));
    }

    // A file may hold an EVENTS row with NULLs where the station writes none: the sender
    // reads them as none, not as a tank 0 at 30/12/1899.
    void eventNullsAreKept() {
        Station s;
        s.db.ExecSQL("INSERT INTO EVENTS (id, kind, memo) VALUES (7, 'low', 'x')");
        LocalQueue queue(s.db, "nulls");
        const std::vector<CentralEvent> rows = queue.EventsFrom(0, 10);
        QCOMPARE(rows.size(), std::size_t(1));
        const CentralEvent& e = rows[0];
        QVERIFY(e.id == 7 && e.kind == "low" && e.memo == "x");
        QVERIFY(!e.adr && !e.tstart && !e.tend && !e.vbefore && !e.nafter && !e.acked);
    }

    void failedBatchKeepsItsMark_data() {
        QTest::addColumn<int>("okRows");
        QTest::addColumn<int>("mark");
        QTest::addColumn<int>("failed");
        QTest::newRow("first batch fails") << 0 << 0 << 400;
        QTest::newRow("third batch fails") << 900 << 800 << 200;
        QTest::newRow("all sent") << 5000 << 1000 << 0;
    }
    void failedBatchKeepsItsMark() {
        QFETCH(int, okRows);
        QFETCH(int, mark);
        QFETCH(int, failed);
        Station s;
        s.AddReadings(1000);
        FailingServer server(okRows);
        LocalQueue queue(s.db, "fake");
        const CentralRoundResult r = CentralSender(queue, server, 400).SendPending();
        QCOMPARE(r.ok, failed == 0);
        QCOMPARE(queue.Mark(kMarkData), mark);
        QCOMPARE(r.counts.failed, failed);
        QCOMPARE(r.counts.waiting, 1000 - mark);
        if (!r.ok)
            QCOMPARE(r.error, std::string("timeout expired"));
    }

    void outageIsToldOnceAndBackoffDoubles() {
        OutageNotice notice;
        CentralRoundResult bad{false, "server closed the connection", {}}, good{true, {}, {}};
        QCOMPARE(notice.After(good), std::string());
        QCOMPARE(notice.After(bad), std::string("Central: sending stopped: server closed the "
                                                "connection"));
        QCOMPARE(notice.After(bad), std::string());
        QCOMPARE(notice.After(good), std::string("Central: sending again"));
        using std::chrono::milliseconds;
        CentralBackoff b(milliseconds(5), milliseconds(10), milliseconds(35));
        QCOMPARE(b.Next(false).count(), 10);
        QCOMPARE(b.Next(false).count(), 20);
        QCOMPARE(b.Next(false).count(), 35);
        QCOMPARE(b.Next(true).count(), 5);
        QCOMPARE(b.Next(false).count(), 10);
    }

    void badConnectionSaysWhatLibpqSaid() {
        const std::string said = TestCentralConnection(pg_.Conninfo() + " user=nosuchrole");
        QVERIFY2(said.find("nosuchrole") != std::string::npos, said.c_str());
        QVERIFY(TestCentralConnection(pg_.Conninfo()).rfind("Connected as central", 0) == 0);
    }
};

QTEST_GUILESS_MAIN(TestCentral)
#include "test_central.moc"
