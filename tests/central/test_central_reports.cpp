// The inventory reports over the central server, against a real PostgreSQL: two stations'
// histories sent by the station's own sender; the daily balance and events of a station
// read back from the server are the very CSV its data.db gives; the summary of every station
// keeps each depot's tanks apart and adds them up; a report is one snapshot while a station
// sends; an unknown station, an unknown tank and an unreachable server say so with their exit
// codes; hostile names round-trip. The local reports themselves: test_report_tool.

#include "BoundSql.h"
#include "Calibration.h"
#include "CentralSender.h"
#include "Clock.h"
#include "Csv.h"
#include "EventTables.h"
#include "HistorySynth.h"
#include "InventoryData.h"
#include "LocalQueue.h"
#include "PgCentralServer.h"
#include "PgConnection.h"
#include "PgReportArchive.h"
#include "PgTestServer.h"
#include "ReconReport.h"
#include "ReportTool.h"
#include "SQLiteDatabase.h"
#include "Statements.h"
#include "TextFormats.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <sstream>
#include <thread>

namespace {

const double kDay0 = TextFormats::Join(2026, 3, 2); // local
constexpr double kOffset = 2.0 / 24;

struct Run {
    int code = 0;
    std::string out, err;
};

// A station's data.db: readings of two weeks, a delivery and a theft; the events the station
// found stored and its history examined, as a running station leaves them.
struct Depot {
    QTemporaryDir dir;
    std::string file = (dir.path() + "/data.db").toStdString();
    TSQLiteDatabase db{file};

    Depot(const std::vector<std::pair<int, std::string>>& tanks, uint32_t seed) {
        db.ExecSQL(Sql::kCreateTanks);
        db.ExecSQL(Sql::kCreateData);
        db.ExecSQL(Sql::kCreateError);
        MigrateSchema(db);
        SynthPlan plan;
        for (const auto& [adr, name] : tanks) {
            Exec(db, "INSERT INTO TANKS (id, name, act) VALUES (?, '', 0)", {int64_t(adr)});
            // six points of a straight line, and the table the editor built from them
            TCalRows points{};
            for (int i = 0; i < 6; ++i)
                points[std::size_t(i)] = {std::to_string(i * 800), std::to_string(i * 4000)};
            TItemNode node;
            BuildCalibration(node, points);
            Exec(db,
                 "UPDATE TANKS SET act = 1, capacity = 20000, ftype = ?, lfuel = 1000, name = ? "
                 "WHERE id = ?",
                 {adr == 3 ? std::string("Petrol") : std::string("Diesel"), name, int64_t(adr)});
            db.UpdateBlob(Sql::UpdateFTable(adr), EncodeFTable(node.FTable));
            db.UpdateBlob(Sql::UpdateClb(adr), EncodeClbArray(node.ClbArray));
            SynthTank t;
            t.adr = adr;
            t.startNet = 6000 + 1000 * adr;
            t.usePerHour = 20 + 5 * adr;
            t.density = adr == 3 ? 745 : 840;
            plan.tanks.push_back(t);
        }
        plan.events = {{tanks[0].first, kDay0 + 3 + 23.8 / 24 - kOffset, 40, 8000},
                       {tanks[0].first, kDay0 + 9 + 3.0 / 24 - kOffset, 10, -600}};
        plan.utcFrom = kDay0 - kOffset - 1.0 / 1440;
        plan.days = 14;
        plan.cycleSeconds = 97;
        plan.localOffset = kOffset;
        plan.seed = seed;
        WriteHistory(db, plan);
        // What the station's detector found, stored, with every tank examined to the end.
        std::vector<ExaminedMark> marks;
        for (const auto& tank : LoadReportTanks(db)) {
            for (const EventRow& e :
                 ReportEvents(db, *tank, plan.utcFrom, plan.utcFrom + plan.days, kOffset))
                StoreFuelEvent(db, e);
            marks.push_back({tank->id, plan.utcFrom + plan.days + 1, "", 0, 0});
        }
        SaveExaminedMarks(db, marks);
        // The book: each tank's daily meter figures, the first delivery's note a little
        // short, and the first tank's own tolerance.
        std::vector<MeterEntry> meters;
        for (const auto& [adr, name] : tanks)
            for (int d = 0; d < 14; ++d)
                meters.push_back({adr, kDay0 + d, 24 * (20.0 + 5 * adr) + d * 1.5, false});
        DeliveryNote note{tanks[0].first, kDay0 + 3 + 23.9 / 24, 8100, 14.0, 840,
                          "DN 1",         "Haulier \xC3\xA9"};
        StoreReconRows(db, meters, {note});
        SaveReconSettings(db, {tanks[0].first, 0.004, 25.0, std::nullopt, std::nullopt, 0.002});
    }

    QString Send(const std::string& conninfo, const std::string& station) {
        LocalQueue queue(db, station);
        PgCentralServer server(conninfo);
        const CentralRoundResult r = CentralSender(queue, server, 5000).SendPending();
        return r.ok ? QString() : QString::fromStdString(r.error);
    }
};

const std::string kHostile = "x'); DROP TABLE central.readings; --\"\r\n, $1 \xC3\xA9";

} // namespace

class CentralReportsTest : public QObject {
    Q_OBJECT
    PgTestServer pg_;
    std::unique_ptr<Depot> north_, south_;
    ManualClock clock_{kDay0 + 20, kOffset};

    Run Report(std::vector<std::string> args) {
        std::ostringstream out, err;
        Run r;
        const bool recon = IsReconReport(args);
        r.code = recon ? RunReconReport(args, out, err, clock_, {}, OpenCentralArchive)
                       : RunReport(args, out, err, clock_, {}, OpenCentralArchive);
        r.out = out.str();
        r.err = err.str();
        return r;
    }
    std::vector<std::string> Period(std::vector<std::string> args) {
        for (const char* a : {"--from", "02/03/2026", "--to", "15/03/2026", "-o", "-"})
            args.push_back(a);
        return args;
    }

private slots:
    void initTestCase() {
        const QString error = pg_.Start();
        QVERIFY2(error.isEmpty(), qPrintable(error));
        north_ = std::make_unique<Depot>(
            std::vector<std::pair<int, std::string>>{{1, "North 1"}, {2, "North, \"two\""}}, 1);
        south_ = std::make_unique<Depot>(
            std::vector<std::pair<int, std::string>>{{1, kHostile}, {3, "South petrol"}}, 2);
        QCOMPARE(north_->Send(pg_.Conninfo(), "north"), QString());
        QCOMPARE(south_->Send(pg_.Conninfo(), kHostile), QString());
    }

    // The same numbers from both sources: the file and the server give the same CSV.
    void stationReportEqualsItsLocalReport_data() {
        QTest::addColumn<QString>("what");
        QTest::newRow("daily balance") << "daily";
        QTest::newRow("events") << "events";
        QTest::newRow("readings") << "readings";
        QTest::newRow("summary") << "summary";
        QTest::newRow("leak tests") << "leak";
        // the book as the station sent it, against the readings and events it sent
        QTest::newRow("reconciliation") << "reconciliation";
        QTest::newRow("deliveries") << "deliveries";
    }
    void stationReportEqualsItsLocalReport() {
        QFETCH(QString, what);
        const Run local =
            Report(Period({"--db", north_->file, "--what", what.toStdString(), "--tank", "all"}));
        QCOMPARE(local.code, 0);
        const Run central = Report(Period(
            {"--central", pg_.Conninfo(), "--station", "north", "--what", what.toStdString()}));
        QCOMPARE(central.err, std::string());
        QCOMPARE(central.code, 0);
        QVERIFY2(Csv::Parse(local.out).size() > (what == "deliveries" ? 1u : 2u),
                 local.out.c_str());
        QCOMPARE(central.out, local.out);
        if (what == "events") // the delivery and the theft, as the station stored them
            QCOMPARE(Csv::Parse(central.out).size(), std::size_t(3));
        if (what == "reconciliation") // two tanks of 14 days, all with meter figures
            QCOMPARE(int(std::count(central.out.begin(), central.out.end(), '\n')), 29);
        if (what == "deliveries") // the note against the delivery it belongs to, short
            QVERIFY2(central.out.find("DN 1,Haulier \xC3\xA9,8100,05/03/2026") !=
                             std::string::npos &&
                         central.out.find("SHORT") != std::string::npos,
                     central.out.c_str());
    }

    void summaryOfEveryStationKeepsTheDepotsApart() {
        const Run all = Report(Period({"--central", pg_.Conninfo(), "--what", "summary"}));
        QCOMPARE(all.err, std::string());
        QCOMPARE(all.code, 0);
        const auto rec = Csv::Parse(all.out);
        // header; north: 2 tanks, 1 fuel; south: 2 tanks, 2 fuels; all: 2 fuels
        QVERIFY2(rec.size() == std::size_t(1 + 3 + 4 + 2), all.out.c_str());
        QCOMPARE(rec[0][0], std::string("Station"));
        // Each station's lines are its local summary with the station in front.
        std::size_t row = 1;
        for (const auto& [depot, name] :
             {std::pair{north_.get(), std::string("north")}, std::pair{south_.get(), kHostile}}) {
            const auto local = Csv::Parse(
                Report(Period({"--db", depot->file, "--what", "summary", "--tank", "all"})).out);
            QCOMPARE(rec[0].at(1), local.at(0).at(0));
            for (std::size_t i = 1; i < local.size(); ++i, ++row) {
                auto tagged = local[i];
                tagged.insert(tagged.begin(), name);
                QCOMPARE(rec.at(row), tagged);
            }
        }
        // The totals of all stations: Diesel is three tanks, their deliveries added up.
        const auto col = [&](const char* name) {
            return std::size_t(std::find(rec[0].begin(), rec[0].end(), name) - rec[0].begin());
        };
        QCOMPARE(std::vector<std::string>(rec[8].begin(), rec[8].begin() + 4),
                 (std::vector<std::string>{"", "Total", "3 tanks", "Diesel"}));
        const auto num = [&](std::size_t row, const char* c) {
            return std::stod(rec[row][col(c)]);
        };
        for (const char* c : {"Delivered, l", "Lost, l", "Consumed, l", "Closing gross, l"})
            QVERIFY2(std::abs(num(8, c) - num(3, c) - num(6, c)) <= 1, c);
        QVERIFY(num(8, "Delivered, l") > 15000);
        QCOMPARE(rec[9][col("Fuel type")], std::string("Petrol"));
        QCOMPARE(num(9, "Consumed, l"), num(7, "Consumed, l"));
    }

    void reportIsOneSnapshotWhileStationsSend() {
        std::string error;
        auto archive = PgReportArchive::Open(pg_.Conninfo(), error);
        QVERIFY2(archive, error.c_str());
        ReportSource& north = archive->Station("north");
        const double from = kDay0 + 13 - kOffset, to = kDay0 + 30;
        const std::size_t before = north.Readings(1, from, to, false).size();
        Exec(north_->db, "INSERT INTO DATA VALUES (?, 1, 9000, 1800, 12)", {kDay0 + 14.5});
        QCOMPARE(north_->Send(pg_.Conninfo(), "north"), QString());
        QCOMPARE(north.Readings(1, from, to, false).size(), before);
        auto fresh = PgReportArchive::Open(pg_.Conninfo(), error);
        QCOMPARE(fresh->Station("north").Readings(1, from, to, false).size(), before + 1);
        // The calibration is built again from the points sent.
        const auto tanks = fresh->Station("north").Tanks();
        QCOMPARE(tanks.size(), std::size_t(2));
        QCOMPARE(LitresForCode(*tanks[0], 400), 2000);
        QCOMPARE(tanks[0]->Capacity, 20000);
    }

    void cancelStopsTheRunningStatement() {
        std::string error;
        auto conn = PgConnection::Open(pg_.Conninfo(), error);
        auto watch = PgConnection::Open(pg_.Conninfo(), error);
        QVERIFY2(conn && watch, error.c_str());
        PgOutcome slow;
        std::thread t([&] { slow = conn->Exec("SELECT pg_sleep(100)"); });
        // A cancel that comes before the statement would be lost: wait for the server to run it.
        QTRY_VERIFY_WITH_TIMEOUT(
            watch->Exec("SELECT 1 FROM pg_stat_activity WHERE query = 'SELECT pg_sleep(100)'")
                    .rows.size() == 1,
            20000);
        conn->Canceller()->Send();
        t.join();
        QVERIFY(!slow.ok);
        QVERIFY2(slow.error.find("cancel") != std::string::npos, slow.error.c_str());
    }

    void failuresSayWhatAndExitWithTheirCode_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown station") << QStringList{"--station", "west", "--what", "daily"} << 4
                                         << "there is no station \"west\"";
        QTest::newRow("unknown tank")
            << QStringList{"--station", "north", "--what", "daily", "--tank", "3"} << 4
            << "there is no tank 3 at station \"north\"";
        QTest::newRow("no tank anywhere") << QStringList{"--what", "daily", "--tank", "9"} << 4
                                          << "there is no tank 9 at any station";
        QTest::newRow("file and server") << QStringList{"--db", "data.db", "--what", "daily"} << 2
                                         << "--db and --central cannot be used together";
        QTest::newRow("pdf") << QStringList{"--what", "daily", "--format", "pdf"} << 2
                             << "CSV only";
        // libpq's words name the socket it tried
        QTest::newRow("unreachable server")
            << QStringList{"--central", "host=/nonexistent-central dbname=x", "--what", "summary"}
            << int(kReportNoServer)
            << "cannot reach the central server: .*/nonexistent-central/\\.s\\.PGSQL";
    }
    void failuresSayWhatAndExitWithTheirCode() {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, message);
        // An option is given once: a row that names its own server replaces the default.
        std::vector<std::string> a;
        if (!args.contains("--central"))
            a = {"--central", pg_.Conninfo()};
        for (const QString& s : args)
            a.push_back(s.toStdString());
        const Run r = Report(Period(a));
        QCOMPARE(r.code, code);
        QVERIFY2(QString::fromStdString(r.err).contains(QRegularExpression(message)),
                 r.err.c_str());
        QCOMPARE(r.out, std::string());
    }

    void hostileNamesRoundTrip() {
        const Run r = Report(
            Period({"--central", pg_.Conninfo(), "--station", kHostile, "--what", "summary"}));
        QCOMPARE(r.err, std::string());
        const auto rec = Csv::Parse(r.out);
        QCOMPARE(rec.at(1).at(1), kHostile);
        QCOMPARE(rec.at(2).at(1), std::string("South petrol"));
    }
};

QTEST_GUILESS_MAIN(CentralReportsTest)
#include "test_central_reports.moc"
