// The printed report: its page layout as plain geometry, then real PDF files of a two-day
// history with a delivery and a theft, read back as text with pdftotext (headings, page
// numbers, table headers and rows, a table that runs over pages), made through RunReport as
// the tool makes them and by the tool itself without a display.
#include "Clock.h"
#include "HistorySynth.h"
#include "PdfText.h"
#include "ReportDocument.h"
#include "ReportLayout.h"
#include "ReportTool.h"
#include "SQLiteDatabase.h"
#include "Statements.h"
#include "TItemNode.h"
#include "TextFormats.h"
#include "TwoDayHistory.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <sstream>

namespace {

const double kDay0 = TextFormats::Join(2026, 3, 2); // local
constexpr double kOffset = 2.0 / 24;

// "30", "30n" (new page), "30k" (kept with the next), "10h1" (a row under header block 1).
std::vector<ReportLayout::Block> Blocks(const QString& text) {
    std::vector<ReportLayout::Block> out;
    for (const QString& t : text.split(' ', Qt::SkipEmptyParts)) {
        const auto m = QRegularExpression("^(\\d+)(n?)(k?)(?:h(\\d+))?$").match(t);
        ReportLayout::Block b;
        b.height = m.captured(1).toDouble();
        b.newPage = !m.captured(2).isEmpty();
        b.keepWithNext = !m.captured(3).isEmpty();
        b.header = m.captured(4).isEmpty() ? -1 : m.captured(4).toInt();
        out.push_back(b);
    }
    return out;
}

// Block numbers per page, pages separated by "|".
QString Pages(const std::vector<ReportLayout::Page>& pages) {
    QStringList out;
    for (const auto& page : pages) {
        QStringList blocks;
        for (const auto& at : page)
            blocks << QString::number(at.block);
        out << blocks.join(',');
    }
    return out.join('|');
}

} // namespace

class ReportDocumentTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString db_;
    ManualClock clock_{kDay0 + 10, kOffset};

    int Report(QStringList args, std::string* err = nullptr) {
        std::vector<std::string> a{"--db", db_.toStdString()};
        for (const QString& s : args)
            a.push_back(s.toStdString());
        std::ostringstream out, errors;
        const int code = RunReport(a, out, errors, clock_, ReportPdfRenderer("Depot North"));
        if (err)
            *err = errors.str();
        return code;
    }

private slots:
    void paginate_data();
    void paginate();
    void thinKeepsPeaksAndBreaks();
    void ticksFallOnRoundValues();
    void initTestCase();
    void tankReportHasHeadingChartTableAndEvents();
    void longTableRunsOverPagesWithItsHeader();
    void depotSummary();
    void unwritableOutput();
    void toolWritesAPdfWithoutADisplay();
};

void ReportDocumentTest::paginate_data() {
    QTest::addColumn<QString>("blocks");
    QTest::addColumn<QString>("pages");
    // pages 100 points high
    QTest::newRow("all on one page") << "30 30 40"
                                     << "0,1,2";
    QTest::newRow("overflow") << "30 30 50"
                              << "0,1|2";
    QTest::newRow("empty document") << ""
                                    << "";
    QTest::newRow("new page, not before the first") << "20n 20 20n"
                                                    << "0,1|2";
    QTest::newRow("heading goes with what it heads") << "60 20k 30"
                                                     << "0|1,2";
    QTest::newRow("a chain of kept blocks moves whole") << "50 20k 20k 20"
                                                        << "0|1,2,3";
    QTest::newRow("header repeated above a row that opens a page") << "40 20k 20h1 20h1 20h1 20h1"
                                                                   << "0,1,2,3|1,4,5";
    QTest::newRow("header and first row move together") << "70 20k 20h1 20h1"
                                                        << "0|1,2,3";
    QTest::newRow("taller than a page: a page of its own") << "10 150 10"
                                                           << "0|1|2";
}

void ReportDocumentTest::paginate() {
    QFETCH(QString, blocks);
    QFETCH(QString, pages);
    QCOMPARE(Pages(ReportLayout::Paginate(Blocks(blocks), 100)), pages);
}

void ReportDocumentTest::thinKeepsPeaksAndBreaks() {
    const double nan = std::nan("");
    std::vector<ReportLayout::Vertex> line;
    for (int i = 0; i < 1000; ++i)
        line.push_back({i / 1000.0, i == 333 ? 900.0 : i == 777 ? -50.0 : 100.0});
    line.push_back({1.0, nan}); // a break, then a stretch of its own
    line.push_back({1.2, 5});
    line.push_back({1.3, 6});
    line.push_back({7, 1}); // outside
    const auto thin = ReportLayout::Thin(line, 0, 2, 10);
    QVERIFY(thin.size() <= 10 * 4 + 1);
    double hi = 0, lo = 0;
    int breaks = 0;
    for (std::size_t i = 0; i < thin.size(); ++i) {
        if (std::isnan(thin[i].y)) {
            ++breaks;
            continue;
        }
        hi = std::max(hi, thin[i].y);
        lo = std::min(lo, thin[i].y);
        QVERIFY(i == 0 || thin[i].x >= thin[i - 1].x);
        QVERIFY(thin[i].x <= 2);
    }
    QCOMPARE(hi, 900.0);
    QCOMPARE(lo, -50.0);
    QCOMPARE(breaks, 1);
    QCOMPARE(thin.back().x, 1.3);
}

void ReportDocumentTest::ticksFallOnRoundValues() {
    QCOMPARE(ReportLayout::NiceStep(2600, 6), 500.0);
    QCOMPARE(ReportLayout::NiceStep(0, 6), 1.0);
    QCOMPARE(ReportLayout::TimeStep(2, 12) * 24, 6.0);          // two days: 6-hour ticks
    QCOMPARE(ReportLayout::TimeStep(1.0 / 24, 12) * 1440, 5.0); // an hour: 5 minutes
    const auto t = ReportLayout::Ticks(kDay0 + 0.3, kDay0 + 1.3, 0.25);
    QCOMPARE(int(t.size()), 4);
    QCOMPARE(TextFormats::DateTime(t[0]), std::string("02/03/2026 12:00:00"));
    QCOMPARE(TextFormats::DateTime(t[2]), std::string("03/03/2026"));
}

void ReportDocumentTest::initTestCase() {
    QVERIFY(dir_.isValid());

    db_ = dir_.filePath("data.db");
    TSQLiteDatabase db(db_.toStdString());
    // Tank 1's name as an older program stored it, in the legacy code page: "Nord-Süd".
    WriteTwoDayHistory(db, kDay0, kOffset, "CAST(X'4E6F72642D53FC64' AS TEXT)", "Petrol");
}

void ReportDocumentTest::tankReportHasHeadingChartTableAndEvents() {
    const QString pdf = dir_.filePath("daily.pdf");
    QCOMPARE(Report({"--what", "daily", "--tank", "1", "--from", "02/03/2026", "--to", "03/03/2026",
                     "--format", "pdf", "-o", pdf}),
             0);
    const QStringList pages = PdfPages(pdf);
    QCOMPARE(pages.size(), 1);
    const QString& t = pages[0];
    for (const char* s :
         {"Tank 1: Nord-Süd", "Station: Depot North", "Period: 02/03/2026 - 03/03/2026",
          "Printed: 12/03/2026", "Daily balance", "Opening gross", "Consumed net",
          "Completeness, %", "Events", "Gross before", "Page 1 of 1", "Level", "Delivery", "Loss"})
        QVERIFY2(t.contains(QString::fromUtf8(s)), s);
    // a row per day and the total; an event row each, at their local start
    for (const char* row :
         {"\\n02/03/2026 +\\d+ +\\d+", "\\n03/03/2026 +\\d+ +\\d+", "\\nTotal +\\d+",
          "\\nDelivery +02/03/2026 1[34]:\\d\\d:\\d\\d +02/03/2026 14:\\d\\d:\\d\\d .*\\+\\d{4} "
          "+Done",
          "\\nLoss +03/03/2026 0[23]:\\d\\d:\\d\\d +03/03/2026 03:\\d\\d:\\d\\d .*-\\d{3} "})
        QVERIFY2(t.contains(QRegularExpression(row)), row);
    // the chart's marks carry the litres moved
    QVERIFY(t.contains(QRegularExpression("\\+\\d{4} l")));
    QVERIFY(t.contains(QRegularExpression("-\\d{3} l")));
}

void ReportDocumentTest::longTableRunsOverPagesWithItsHeader() {
    QStringList hours;
    for (int h = 0; h < 24; ++h)
        hours << QString("%1:00").arg(h, 2, 10, QChar('0'));
    const QString pdf = dir_.filePath("shifts.pdf");
    QCOMPARE(Report({"--what", "daily", "--tank", "1", "--from", "02/03/2026", "--to", "03/03/2026",
                     "--shifts", hours.join(','), "--format", "pdf", "-o", pdf}),
             0);
    const QStringList pages = PdfPages(pdf);
    QVERIFY(pages.size() >= 2);
    int rows = 0;
    for (int n = 0; n < pages.size(); ++n) {
        const QString& t = pages[n];
        QVERIFY(t.contains(QString("Page %1 of %2").arg(n + 1).arg(pages.size())));
        const int here = int(t.count(QRegularExpression("\\n0[23]/03/2026 \\d\\d:00:00 +\\d")));
        if (here > 0) // every page of the table has its header
            QVERIFY2(t.contains("Opening gross") && t.contains("Completeness"), qPrintable(t));
        rows += here;
    }
    QCOMPARE(rows, 48 - 2); // the two midnights show the date alone
    QVERIFY(pages.front().contains("Balance by shift"));
    QVERIFY(pages.back().contains("Events"));
}

void ReportDocumentTest::depotSummary() {
    const QString pdf = dir_.filePath("summary.pdf");
    QCOMPARE(Report({"--what", "summary", "--tank", "all", "--from", "02/03/2026", "--to",
                     "03/03/2026", "--format", "pdf", "-o", pdf}),
             0);
    const QStringList pages = PdfPages(pdf);
    QCOMPARE(pages.size(), 1);
    QVERIFY(pages[0].contains("Depot summary"));
    QVERIFY(pages[0].contains(QRegularExpression(QString::fromUtf8("\\n *1 +Nord-Süd +Diesel"))));
    QVERIFY(pages[0].contains("Totals by fuel type"));
    QVERIFY(pages[0].contains(QRegularExpression("\\nDiesel +1 +\\d+")));
}

void ReportDocumentTest::unwritableOutput() {
    for (const QString& out : {dir_.filePath("no/such/dir/x.pdf"), dir_.path()}) {
        std::string err;
        QCOMPARE(Report({"--what", "daily", "--tank", "1", "--from", "02/03/2026", "--to",
                         "02/03/2026", "--format", "pdf", "-o", out},
                        &err),
                 int(kReportNoOutput));
        QVERIFY2(err.find("cannot write \"" + out.toStdString()) != std::string::npos, err.c_str());
    }
}

void ReportDocumentTest::toolWritesAPdfWithoutADisplay() {
    const QString pdf = dir_.filePath("tool.pdf");
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(name);
    tool.setProcessEnvironment(env);
    tool.start(TAVRONA_REPORT_BIN,
               {"--db", db_, "--what", "events", "--tank", "1", "--from", "02/03/2026", "--to",
                "03/03/2026", "--format", "pdf", "-o", pdf});
    QVERIFY(tool.waitForFinished(60000));
    QCOMPARE(tool.exitCode(), 0);
    const QStringList pages = PdfPages(pdf);
    QCOMPARE(pages.size(), 1);
    QVERIFY(pages[0].contains(QString::fromUtf8("Tank 1: Nord-Süd")));
}

QTEST_MAIN(ReportDocumentTest)
#include "test_report_document.moc"
