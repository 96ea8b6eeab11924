// The daily summary mail: the moment it is due, the mail with the day's report as PDF
// reaching a local SMTP server, once a day, across restarts, with time from a manual clock.

#include "DailySummary.h"
#include "MailWorker.h"
#include "PdfText.h"
#include "SmtpSink.h"
#include "TextFormats.h"
#include "TwoDayHistory.h"

#include <QSignalSpy>
#include <QtTest>

namespace {
const double kDay0 = TextFormats::Join(2026, 3, 2); // local
constexpr double kOffset = 1.0 / 24;
constexpr double kMinute = 1.0 / 1440;
const double kSixAm = kDay0 + 1 + 360 * kMinute; // covers the delivery and the loss

MailSettings Settings(int port) {
    MailSettings s = LocalMailSettings(port);
    s.summaryMinute = 360;
    Mail::ParseRecipients("boss@depot.example: summary; guard@depot.example: loss", s.recipients,
                          nullptr);
    return s;
}

int ClosedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort(); // nothing listens there once it is closed
}
} // namespace

class TestDailySummary : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void summaryMoment_data();
    void summaryMoment();
    void oneMailADayWithTheReport();
    void stoppedBeforeTheServerTookItIsSentAtTheNextStart();
    void unreadableFileIsLoggedAndTriedAgain();

private:
    QTemporaryDir dir_;
    std::string db_, record_;
    ManualClock clock_{kDay0 + 1 + 300 * kMinute, kOffset}; // 05:00 of the second day
    std::vector<std::string> log_;
    DailySummaryContext Context() {
        return {clock_, db_, record_, [this](const std::string& l) { log_.push_back(l); }};
    }
};

void TestDailySummary::initTestCase() {
    db_ = dir_.filePath("data.db").toStdString();
    TSQLiteDatabase db(db_);
    WriteTwoDayHistory(db, kDay0, kOffset, "'South Diesel'", "Petrol");
}

void TestDailySummary::init() {
    record_ = dir_.filePath(QString("record-%1").arg(QTest::currentTestFunction())).toStdString();
    clock_.Set(kDay0 + 1 + 300 * kMinute);
    log_.clear();
}

void TestDailySummary::summaryMoment_data() {
    QTest::addColumn<double>("now");
    QTest::addColumn<int>("minute");
    QTest::addColumn<double>("moment");
    const double d = kDay0;
    QTest::newRow("before the minute: yesterday's") << d + 0.2 << 360 << d - 1 + 0.25;
    QTest::newRow("at the minute") << d + 0.25 << 360 << d + 0.25;
    QTest::newRow("a hair before it, as day numbers are") << d + 0.25 - 1e-12 << 360 << d + 0.25;
    QTest::newRow("midnight") << d + 0.5 << 0 << d;
    QTest::newRow("late evening, before it") << d + 0.9 << 1439 << d - 1 + 1439 * kMinute;
}

void TestDailySummary::summaryMoment() {
    QFETCH(double, now);
    QFETCH(int, minute);
    QFETCH(double, moment);
    QVERIFY(std::fabs(Mail::SummaryMoment(now, minute) - moment) < 1e-9);
}

void TestDailySummary::oneMailADayWithTheReport() {
    SmtpSink sink;
    QVERIFY2(sink.Start(), "python3-aiosmtpd must be installed (scripts/deps.sh)");
    MailWorker worker(Settings(sink.Port()), {});
    DailySummary summary(Context());
    QSignalSpy queued(&summary, &DailySummary::Queued);
    summary.Restart(Settings(sink.Port()), &worker);
    // The first start counts from now: the summary of 06:00 yesterday is not sent.
    summary.Check();
    QVERIFY(!summary.Making());
    clock_.Set(kSixAm - kMinute);
    summary.Check();
    QVERIFY(!summary.Making());
    clock_.Set(kSixAm + 10.0 / 86400);
    summary.Check();
    QVERIFY(summary.Making());
    summary.Check(); // while it is made, nothing more starts
    QTRY_COMPARE_WITH_TIMEOUT(queued.size(), 1, 60000);
    QVERIFY(sink.WaitForMails(1));
    SummaryRecord record(record_);
    QTRY_VERIFY(record.Last() && std::fabs(*record.Last() - kSixAm) < 1e-6);

    const QString mail = sink.Mails().at(0);
    QCOMPARE(Header(mail, "X-RcptTo"), QString("boss@depot.example"));
    QCOMPARE(Header(mail, "Subject"),
             QString("[Tavrona depot 7] Daily summary to 03/03/2026 06:00"));
    const QString text = QString::fromUtf8(Part(mail, "Content-Type: text/plain"));
    QVERIFY2(text.contains("Daily summary from 02/03/2026 06:00 to 03/03/2026 06:00"),
             qPrintable(text));
    // Tank 1 got about 8000 l in the afternoon and lost 600 l in the night; tank 2 neither.
    const QRegularExpression tank1(
        "South Diesel \\(tank 1\\): \\d+ l at the end, \\d+ l at the start; delivered (\\d+) "
        "l, lost (\\d+) l\\n  Delivery 02/03/2026 14:\\d\\d:\\d\\d: (\\d+) l\\n  Loss "
        "03/03/2026 0[23]:\\d\\d:\\d\\d: (\\d+) l\\n");
    const QRegularExpressionMatch m = tank1.match(text);
    QVERIFY2(m.hasMatch(), qPrintable(text));
    QVERIFY(std::abs(m.captured(1).toInt() - 8000) < 200);
    QVERIFY(std::abs(m.captured(2).toInt() - 600) < 60);
    QVERIFY(std::abs(m.captured(3).toInt() - 8000) < 200);
    QVERIFY(std::abs(m.captured(4).toInt() - 600) < 60);
    QVERIFY2(text.contains("(tank 2): ") && text.contains("delivered 0 l, lost 0 l"),
             qPrintable(text));
    QVERIFY(text.contains("The inventory report of the period is attached."));
    const QByteArray pdf = Part(mail, "filename=\"Inventory report 2026-03-03 0600.pdf\"");
    QVERIFY(pdf.startsWith("%PDF"));
    QFile file(dir_.filePath("attached.pdf"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(pdf);
    file.close();
    const QStringList pages = PdfPages(file.fileName());
    QVERIFY2(pages.size() >= 2, "pdftotext (poppler-utils) reads one page per tank");
    QVERIFY(pages.join("\n").contains("South Diesel"));

    // The same day again, a restart, and the next day: one more mail only, the next day's.
    summary.Check();
    QVERIFY(!summary.Making());
    DailySummary restarted(Context());
    QSignalSpy queuedAgain(&restarted, &DailySummary::Queued);
    restarted.Restart(Settings(sink.Port()), &worker);
    clock_.Set(kSixAm + 0.5);
    restarted.Check();
    QVERIFY(!restarted.Making());
    clock_.Set(kSixAm + 1 + kMinute);
    restarted.Check();
    QVERIFY(restarted.Making());
    QTRY_COMPARE_WITH_TIMEOUT(queuedAgain.size(), 1, 60000);
    QVERIFY(sink.WaitForMails(2));
    QTRY_VERIFY(SummaryRecord(record_).Last() > kSixAm + 0.5);
    QVERIFY(log_.empty());
}

void TestDailySummary::stoppedBeforeTheServerTookItIsSentAtTheNextStart() {
    SummaryRecord(record_).Due(kSixAm - 0.5, 360); // a summary was sent the day before
    clock_.Set(kSixAm + kMinute);
    {
        // The server is away when the summary is due; the station stops while it waits.
        MailWorker worker(Settings(ClosedPort()), {});
        DailySummary summary(Context());
        QSignalSpy queued(&summary, &DailySummary::Queued);
        summary.Restart(Settings(ClosedPort()), &worker);
        summary.Check();
        QTRY_COMPARE_WITH_TIMEOUT(queued.size(), 1, 60000);
    }
    QVERIFY(std::fabs(*SummaryRecord(record_).Last() - (kSixAm - 1)) < 1e-6);
    // Started again an hour later with the server there: the summary goes, once.
    SmtpSink sink;
    QVERIFY2(sink.Start(), "python3-aiosmtpd must be installed (scripts/deps.sh)");
    clock_.Set(kSixAm + 1.0 / 24);
    MailWorker worker(Settings(sink.Port()), {});
    DailySummary summary(Context());
    QSignalSpy queued(&summary, &DailySummary::Queued);
    summary.Restart(Settings(sink.Port()), &worker);
    summary.Check();
    QVERIFY(summary.Making());
    QTRY_COMPARE_WITH_TIMEOUT(queued.size(), 1, 60000);
    QVERIFY(sink.WaitForMails(1));
    QTRY_VERIFY(std::fabs(*SummaryRecord(record_).Last() - kSixAm) < 1e-6);
    QCOMPARE(Header(sink.Mails().at(0), "Subject"),
             QString("[Tavrona depot 7] Daily summary to 03/03/2026 06:00"));
    summary.Check();
    QVERIFY(!summary.Making());
}

void TestDailySummary::unreadableFileIsLoggedAndTriedAgain() {
    SummaryRecord(record_).Due(kSixAm - 0.5, 360);
    clock_.Set(kSixAm + kMinute);
    MailWorker worker(Settings(ClosedPort()), {});
    DailySummaryContext context = Context();
    context.dbFile = dir_.filePath("no such.db").toStdString();
    DailySummary summary(context);
    QSignalSpy queued(&summary, &DailySummary::Queued);
    summary.Restart(Settings(ClosedPort()), &worker);
    summary.Check();
    QTRY_VERIFY_WITH_TIMEOUT(!summary.Making(), 30000);
    QCOMPARE(queued.size(), 0);
    QCOMPARE(log_.size(), std::size_t(1));
    QVERIFY2(QString::fromStdString(log_[0]).contains("daily summary could not be made"),
             log_[0].c_str());
    // Not every 30 s: ten minutes later.
    clock_.Set(kSixAm + 5 * kMinute);
    summary.Check();
    QVERIFY(!summary.Making());
    clock_.Set(kSixAm + 12 * kMinute);
    summary.Check();
    QVERIFY(summary.Making());
    QTRY_VERIFY_WITH_TIMEOUT(!summary.Making(), 30000);
    QCOMPARE(log_.size(), std::size_t(2));
}

QTEST_MAIN(TestDailySummary)
#include "test_daily_summary.moc"
