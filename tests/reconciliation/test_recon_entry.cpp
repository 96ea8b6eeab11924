// The dip-book dialog and the Reconciliation page on a real data.db, headless: a grid with a
// bad row saves nothing and says which row; a good grid is what the page then reconciles,
// and an empty figure stays a period without meter data.
#include "ReconEntryDialog.h"
#include "ReconciliationPage.h"

#include "BoundSql.h"
#include "Clock.h"
#include "EventTables.h"
#include "ForecourtSim.h"
#include "ReconDocument.h"
#include "ReportTool.h"
#include "SQLiteDatabase.h"
#include "Statements.h"
#include "TextFormats.h"

#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <sstream>

namespace {

const double kDec1 = TextFormats::Join(2026, 12, 1);

void Set(QTableWidget* t, int row, int col, const QString& text) {
    t->setItem(row, col, new QTableWidgetItem(text));
}

} // namespace

class TestReconEntry : public QObject {
    Q_OBJECT
private slots:
    void gridRowsAreCheckedBeforeAnythingIsSaved_data() {
        QTest::addColumn<QString>("day2");    // the second day's figure
        QTest::addColumn<QString>("note");    // "when|litres|°C"
        QTest::addColumn<QString>("refused"); // part of the reason, "" when saved
        QTest::newRow("good, decimal comma") << "1987,5"
                                             << "02/12/2026 10:15|15000|12"
                                             << "";
        QTest::newRow("a word for litres") << "lots"
                                           << ""
                                           << "is not a number of litres";
        QTest::newRow("note dated outside the period") << "1987"
                                                       << "09/12/2026 10:15|15000|"
                                                       << "outside the period";
        QTest::newRow("note without litres") << "1987"
                                             << "02/12/2026 10:15||"
                                             << "no litres";
        QTest::newRow("note with a bad time") << "1987"
                                              << "02/12/2026 25:15|900|"
                                              << "not dd/MM";
    }
    void gridRowsAreCheckedBeforeAnythingIsSaved() {
        QFETCH(QString, day2);
        QFETCH(QString, note);
        QFETCH(QString, refused);
        QTemporaryDir dir;
        const std::string file = dir.filePath("data.db").toStdString();
        {
            TSQLiteDatabase db(file);
            db.ExecSQL(Sql::kCreateTanks);
            db.ExecSQL(Sql::kCreateData);
            QVERIFY(MigrateSchema(db).eventsUsable);
        }
        const auto bounds = BalanceBoundaries(kDec1, kDec1 + 2);
        ReconEntryDialog d(file, 1, bounds, {1}, {});
        QCOMPARE(d.MeterGrid()->rowCount(), 3);
        Set(d.MeterGrid(), 0, 1, "2013");
        Set(d.MeterGrid(), 1, 1, day2);
        if (!note.isEmpty())
            for (int c = 0; c < 3; ++c)
                Set(d.NoteGrid(), 0, c, note.section('|', c, c));
        const bool saved = d.SaveClick();
        TSQLiteDatabase db(file);
        const auto meters = LoadMeterEntries(db, 1, kDec1, kDec1 + 3);
        if (!refused.isEmpty()) {
            QVERIFY(!saved);
            QVERIFY2(d.LastProblems().contains(refused), qPrintable(d.LastProblems()));
            QVERIFY(meters.empty());
            QVERIFY(LoadDeliveryNotes(db, 1, kDec1, kDec1 + 3).empty());
            return;
        }
        QVERIFY2(saved, qPrintable(d.LastProblems()));
        QCOMPARE(int(meters.size()), 2); // the third day was left empty: no figure, not 0 l
        QCOMPARE(meters[1].litres, 1987.5);
        const auto notes = LoadDeliveryNotes(db, 1, kDec1, kDec1 + 3);
        QCOMPARE(int(notes.size()), 1);
        QCOMPARE(notes[0].time, kDec1 + 1 + (10 * 60 + 15) / 1440.0);

        // the page shows what was saved: the third day without meter data
        ManualClock clock(kDec1 + 5);
        ReconciliationPage page(file, clock);
        db.ExecSQL(Sql::SeedTank(1));
        // Read in the background: the page says so and offers nothing to export meanwhile.
        // A second request replaces the first, whose figures never show.
        page.Generate(1, {bounds[0], bounds[1]}, 0);
        page.Generate(1, bounds, 0);
        QVERIFY(page.Loading());
        QVERIFY(!page.Shown());
        QVERIFY(!page.findChild<QPushButton*>("ReconExport")->isEnabled());
        QCOMPARE(page.findChild<QLabel*>("ReconSummary")->text(),
                 QString("Reading the reconciliation..."));
        QTRY_VERIFY(!page.Loading());
        QVERIFY(page.findChild<QPushButton*>("ReconExport")->isEnabled());
        QVERIFY(page.Shown().has_value());
        QCOMPARE(page.Table()->rowCount(), 3);
        const int status = page.Table()->columnCount() - 1;
        QCOMPARE(page.Table()->item(2, status)->text(), QString("no meter data"));
        QCOMPARE(page.Matches()->rowCount(), 1); // the note, with no measured delivery
        QCOMPARE(page.Matches()->item(0, page.Matches()->columnCount() - 1)->text(),
                 QString("not measured"));
    }

    // A file that is no database: the background reading fails, the page says why and
    // offers nothing to export or print.
    void unreadableFileIsToldOnThePage() {
        QTemporaryDir dir;
        const QString path = dir.filePath("data.db");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
        f.close();
        ManualClock clock(kDec1 + 5);
        ReconciliationPage page(path.toStdString(), clock);
        page.Generate(1, BalanceBoundaries(kDec1, kDec1 + 2), 0);
        QTRY_VERIFY(!page.Loading());
        QVERIFY(!page.Shown());
        QVERIFY(page.findChild<QLabel*>("ReconSummary")
                    ->text()
                    .startsWith("Cannot read the reconciliation: "));
        QVERIFY(!page.findChild<QPushButton*>("ReconPrint")->isEnabled());
    }

    // A week of a busy tank with a short load and a day without meter figures, through the
    // report tool's CSV and the printed PDF (read back as text).
    void reportToolAndPdf() {
        QTemporaryDir dir;
        const std::string file = dir.filePath("data.db").toStdString();
        ForecourtScenario sc;
        sc.days = 8;
        sc.shortDay = 2;
        sc.shortShare = 0.02;
        ForecourtMonth m = SimulateForecourt(sc);
        QVERIFY(!m.shortNote.empty());
        m.meters.erase(m.meters.begin() + 1); // 02/12 has no figure
        {
            TSQLiteDatabase db(file);
            db.ExecSQL(Sql::kCreateTanks);
            db.ExecSQL(Sql::kCreateData);
            QVERIFY(MigrateSchema(db).eventsUsable);
            db.ExecSQL(Sql::SeedTank(1));
            db.ExecSQL("UPDATE TANKS SET act = 1, capacity = 30000 WHERE id = 1");
            db.ExecSQL("BEGIN");
            for (const StoredReading& r : m.readings)
                Exec(db, "INSERT INTO DATA VALUES (?, 1, ?, 0, ?)",
                     {r.utc, int64_t(r.gross), int64_t(r.temp)});
            db.ExecSQL("COMMIT");
            StoreReconRows(db, m.meters, m.notes);
        }
        ManualClock clock(kDec1 + 20);
        auto run = [&](const char* what, const char* tank = "1") {
            std::vector<std::string> args{"--db",   file,         "--what", what,
                                          "--tank", tank,         "--from", "01/12/2026",
                                          "--to",   "08/12/2026", "-o",     "-"};
            std::ostringstream out, err;
            const int code = RunReconReport(args, out, err, clock);
            return std::make_tuple(code, QString::fromStdString(out.str()),
                                   QString::fromStdString(err.str()));
        };
        const auto [code, csv, err] = run("deliveries");
        QCOMPARE(code, int(kReportOk));
        QVERIFY2(csv.contains(QString::fromStdString(m.shortNote)) && csv.contains(",SHORT\r\n"),
                 qPrintable(csv));
        const auto [code2, recon, err2] = run("reconciliation");
        QCOMPARE(code2, int(kReportOk));
        QCOMPARE(recon.count("\r\n"), 1 + 8);
        QVERIFY(recon.section("\r\n", 2, 2).endsWith(",no meter data"));
        const auto [code3, none, why] = run("reconciliation", "7");
        QCOMPARE(code3, int(kReportNoTank));
        { // named as the output by mistake, the database is refused, never overwritten
            std::ostringstream out, err;
            const qint64 size = QFileInfo(QString::fromStdString(file)).size();
            QCOMPARE(RunReconReport({"--db", file, "--what", "reconciliation", "-o", file}, out,
                                    err, clock),
                     int(kReportUsage));
            QCOMPARE(QFileInfo(QString::fromStdString(file)).size(), size);
        }

        std::vector<TankReconReport> tanks;
        {
            TSQLiteDatabase db(file, TSQLiteDatabase::Mode::ReadOnly);
            tanks.push_back(LoadTankReconciliation(db, LoadReportTanks(db).front(),
                                                   BalanceBoundaries(kDec1, kDec1 + 7), 0,
                                                   kDec1 + 20));
        }
        ReconDocument doc;
        doc.station = "Depot";
        doc.from = kDec1;
        doc.to = kDec1 + 8;
        doc.tanks = &tanks;
        const QString pdf = dir.filePath("recon.pdf");
        QCOMPARE(WriteReconciliationPdf(doc, pdf), std::string());
        QProcess text;
        text.start("pdftotext", {"-layout", pdf, "-"});
        QVERIFY2(text.waitForFinished(60000) && text.exitCode() == 0, "pdftotext is missing");
        const QString page = QString::fromUtf8(text.readAllStandardOutput());
        for (const char* part :
             {"Wetstock reconciliation - tank 1", "Period: 01/12/2026 - 08/12/2026",
              "no meter data", "SHORT", "Checked by:", "Page 1 of 1",
              "01/12/2026 - 08/12/2026 - station Depot"})
            QVERIFY2(page.contains(part), part);
    }
};

QTEST_MAIN(TestReconEntry)
#include "test_recon_entry.moc"
