// The daily leak test as the reports show it: which days the station tests when, results it
// stored standing for their days beside days tested now, and the report tool's CSV, PDF and
// central output over six days of a tank leaking 3 l/h (readings from a depot's physics).
#include "Clock.h"
#include "LeakReport.h"
#include "PdfText.h"
#include "PhysicsFile.h"
#include "ReportDocument.h"
#include "ReportSource.h"
#include "ReportTool.h"
#include "SQLiteDatabase.h"
#include "TextFormats.h"
#include "Transaction.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sstream>

namespace {

const double kDay0 = TextFormats::Join(2026, 3, 2);

QString Verdicts(const std::vector<LeakReportRow>& rows) {
    QStringList out;
    for (const LeakReportRow& r : rows)
        out << QString("%1 %2")
                   .arg(int(r.day - kDay0))
                   .arg(LeakTest::VerdictText(r.result.verdict));
    return out.join(", ");
}

// The central server as one station whose rows are those of data.db.
class OneStation : public StationArchive {
public:
    explicit OneStation(TSQLiteDatabase& db) : source_(db) {}
    std::vector<std::string> Stations() override { return {"depot-7"}; }
    ReportSource& Station(const std::string&) override { return source_; }

private:
    SqliteReportSource source_;
};

} // namespace

class LeakReportTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    std::string file_;
    ManualClock clock_{kDay0 + 6.5};

    int Run(QStringList args, std::string& out, std::string& err) {
        std::vector<std::string> a{"--db", file_};
        for (const QString& s : args)
            a.push_back(s.toStdString());
        std::ostringstream o, e;
        const int code = RunReport(a, o, e, clock_, {}, {}, LeakReportPdfRenderer("Depot North"));
        out = o.str();
        err = e.str();
        return code;
    }

private slots:
    void initTestCase() {
        file_ = dir_.filePath("data.db").toStdString();
        TSQLiteDatabase db(file_);
        PhysicsPlan p;
        p.utcFrom = kDay0;
        p.days = 6.5;
        p.seed = 5;
        p.tank.leakPerHour = 3;
        WritePhysicsFile(db, p);
    }

    void theStationTestsTheDaysOverSinceItsLast_data() {
        QTest::addColumn<double>("last"); // days after kDay0; negative: never tested
        QTest::addColumn<double>("now");
        QTest::addColumn<QString>("due"); // days after kDay0
        QTest::newRow("never tested: only the last day over") << -1.0 << 40.2 << "39";
        QTest::newRow("tested yesterday's: nothing due") << 39.0 << 40.9 << "";
        QTest::newRow("a day over since") << 39.0 << 41.0 << "40";
        QTest::newRow("off over a weekend") << 37.0 << 40.5 << "38 39";
        QTest::newRow("off for months: the 28 days a test spans") << 1.0 << 100.5 << "72 ... 99";
    }
    void theStationTestsTheDaysOverSinceItsLast() {
        QFETCH(double, last);
        QFETCH(double, now);
        QFETCH(QString, due);
        const std::vector<double> days =
            LeakDaysDue(last < 0 ? std::nullopt : std::optional<double>(kDay0 + last), kDay0 + now);
        QStringList got;
        for (double d : days)
            got << QString::number(d - kDay0);
        if (got.size() > 4)
            got = QStringList{got.front(), "...", got.back()};
        QCOMPARE(got.join(' '), due);
        if (due.contains("..."))
            QCOMPARE(int(days.size()), int(LeakTest::kWindowDays));
    }

    // Day 4's stored pass is what the station found and alarmed on: it stands, and is not
    // tested again; the days around it are tested now. A day stored twice keeps its first row.
    void storedResultsStandForTheirDays() {
        TSQLiteDatabase db(file_);
        LeakReportRow kept{1, "North", kDay0 + 4, {}};
        kept.result.verdict = LeakVerdict::Pass;
        kept.result.rate = 0.05;
        kept.result.threshold = 0.38;
        kept.result.periods = 17;
        const StoredLeakTest stored = ToStoredLeakTest(kept, 0);
        LeakReportRow later = kept;
        later.result.verdict = LeakVerdict::Fail;
        InWriteTransaction(db, [&] { StoreLeakTests(db, {stored, ToStoredLeakTest(later, 0)}); });
        const std::vector<StoredLeakTest> back = LoadLeakTests(db, 1, kDay0, kDay0 + 10);
        QCOMPARE(int(back.size()), 1);
        QCOMPARE(back[0], stored);
        QCOMPARE(NewestLeakTests(db).front().day, kDay0 + 4);

        SqliteReportSource source(db);
        const auto tanks = source.Tanks();
        const std::vector<LeakReportRow> rows =
            LeakReport(db, {tanks.front()}, kDay0 + 3, kDay0 + 9, 0, clock_.LocalNow());
        QCOMPARE(Verdicts(rows), QString("3 fail, 4 pass, 5 fail, 6 fail"));
        QCOMPARE(rows[1].result.periods, 17);
        for (const LeakReportRow& r : {rows[0], rows[2]})
            QVERIFY2(std::abs(r.result.rate - 3) < 0.6, qPrintable(QString::number(r.result.rate)));
        QCOMPARE(LeakAlarmText(rows[0].result).rfind("Leak test failed: ", 0), std::size_t(0));
    }

    void toolWritesCsvAndPdf() {
        std::string out, err;
        QCOMPARE(Run({"--what", "leak", "--tank", "1", "--from", "05/03/2026", "--to", "07/03/2026",
                      "-o", "-"},
                     out, err),
                 int(kReportOk));
        QVERIFY2(out.find("\r\n05/03/2026,1,North,fail,") != std::string::npos, out.c_str());
        QVERIFY2(out.find("\r\n06/03/2026,1,North,pass,") != std::string::npos, out.c_str());
        QVERIFY2(out.find("\r\n07/03/2026,1,North,fail,") != std::string::npos, out.c_str());

        const QString pdf = dir_.filePath("leak.pdf");
        QCOMPARE(Run({"--what", "leak", "--tank", "all", "--from", "05/03/2026", "--to",
                      "07/03/2026", "--format", "pdf", "-o", pdf},
                     out, err),
                 int(kReportOk));
        const QStringList pages = PdfPages(pdf);
        QCOMPARE(pages.size(), 1);
        QVERIFY(pages[0].contains("Tank 1: North"));
        QVERIFY2(pages[0].contains("Leak test report") && !pages[0].contains("Inventory report"),
                 qPrintable(pages[0]));
        QVERIFY2(pages[0].contains(QRegularExpression("05/03/2026 +fail +\\d\\.\\d{3}")),
                 qPrintable(pages[0]));
        QVERIFY(pages[0].contains(QRegularExpression("06/03/2026 +pass +0\\.050")));
        QVERIFY(pages[0].contains("Page 1 of 1"));
    }

    // The server keeps no station's results: every day is tested there, each line under
    // its station's name.
    void centralTestsEveryDay() {
        ReportRequest req;
        std::string error;
        QVERIFY2(ParseReportArgs({"--central", "dbname=fuel", "--what", "leak", "--from",
                                  "05/03/2026", "--to", "07/03/2026", "-o", "-"},
                                 req, error),
                 error.c_str());
        TSQLiteDatabase db(file_, TSQLiteDatabase::Mode::ReadOnly);
        OneStation archive(db);
        std::string csv;
        QCOMPARE(CentralReportCsv(archive, req, 0, clock_.LocalNow(), csv, error), int(kReportOk));
        QVERIFY2(csv.rfind("Station,Day,Tank,Name,Result,", 0) == 0, csv.c_str());
        QVERIFY2(csv.find("\r\ndepot-7,06/03/2026,1,North,fail,") != std::string::npos,
                 csv.c_str());
        QCOMPARE(int(std::count(csv.begin(), csv.end(), '\n')), 4);
    }
};

QTEST_MAIN(LeakReportTest)
#include "test_leak_report.moc"
