// E-mail alarms: who gets what and when, the rate limit, the message bytes, and sending
// through libcurl to a local SMTP server started here (python3-aiosmtpd into a maildir).

#include "Mail.h"
#include "MailWorker.h"

#include "SmtpSink.h"

#include <QRegularExpression>
#include <QtTest>

class TestMail : public QObject {
    Q_OBJECT
private slots:
    void recipients_data();
    void recipients();
    void wantsByKindAndHours_data();
    void wantsByKindAndHours();
    void flappingAlarmOneMailPerWindow();
    void headersCannotBeInjected();
    void alarmAndClearMailsReachServer();
    void attachmentArrivesWhole();
    void serverAwayIsAnErrorNotSuccess();
    void stoppingAbandonsAMailToASilentServer();
};

void TestMail::recipients_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("back"); // RecipientsText of what was read
    QTest::newRow("plain") << "a@x.org" << true << "a@x.org";
    QTest::newRow("kinds and hours")
        << " night@x.org: loss , silent @ 22:00-06:00 ; boss@x.org: summary" << true
        << "night@x.org: loss, silent @ 22:00-06:00; boss@x.org: summary";
    QTest::newRow("hours only") << "a@x.org: @ 08:00-17:00" << true << "a@x.org: @ 08:00-17:00";
    QTest::newRow("empty") << "" << true << "";
    QTest::newRow("no at") << "nobody" << false << "";
    QTest::newRow("unknown kind") << "a@x.org: theft" << false << "";
    QTest::newRow("bad hours") << "a@x.org: loss @ 25:00-06:00" << false << "";
    QTest::newRow("same hours") << "a@x.org: loss @ 06:00-06:00" << false << "";
    QTest::newRow("header in address") << "a@x.org\r\nBcc: b@y.org" << false << "";
}

void TestMail::recipients() {
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QString, back);
    std::vector<MailRecipient> rs;
    std::string error;
    QCOMPARE(Mail::ParseRecipients(text.toStdString(), rs, &error), ok);
    QCOMPARE(error.empty(), ok);
    if (ok)
        QCOMPARE(QString::fromStdString(Mail::RecipientsText(rs)), back);
}

void TestMail::wantsByKindAndHours_data() {
    QTest::addColumn<QString>("recipient");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("minute");
    QTest::addColumn<bool>("wants");
    QTest::newRow("night guard at 23:00") << "g@x: loss @ 22:00-06:00"
                                          << "loss" << 23 * 60 << true;
    QTest::newRow("night guard at 05:59") << "g@x: loss @ 22:00-06:00"
                                          << "loss" << 359 << true;
    QTest::newRow("night guard at 06:00") << "g@x: loss @ 22:00-06:00"
                                          << "loss" << 360 << false;
    QTest::newRow("night guard, low") << "g@x: loss @ 22:00-06:00"
                                      << "low" << 23 * 60 << false;
    QTest::newRow("day shift at 08:00") << "d@x: @ 08:00-17:00"
                                        << "high" << 480 << true;
    QTest::newRow("day shift at 17:00") << "d@x: @ 08:00-17:00"
                                        << "high" << 1020 << false;
    QTest::newRow("every alarm") << "a@x"
                                 << "stale" << 0 << true;
    QTest::newRow("summary asked for") << "m@x: summary"
                                       << "summary" << 0 << true;
    QTest::newRow("no summary unasked") << "a@x"
                                        << "summary" << 0 << false;
}

void TestMail::wantsByKindAndHours() {
    QFETCH(QString, recipient);
    QFETCH(QString, kind);
    QFETCH(int, minute);
    QFETCH(bool, wants);
    std::vector<MailRecipient> rs;
    QVERIFY(Mail::ParseRecipients(recipient.toStdString(), rs, nullptr));
    QCOMPARE(Mail::Wants(rs.at(0), kind.toStdString(), minute), wants);
}

void TestMail::flappingAlarmOneMailPerWindow() {
    MailRateLimit limit(30);
    const double t0 = 46000.0, minute = 1.0 / 1440;
    int raises = 0, clears = 0;
    // A LOSS alarm raised and cleared every 4 minutes for 2 hours.
    for (int i = 0; i < 30; ++i) {
        const double t = t0 + i * 4 * minute;
        raises += limit.AllowRaise(2, "loss", "g@x", t);
        clears += limit.AllowClear(2, "loss", "g@x");
    }
    QCOMPARE(raises, 4); // at 0, 32, 64 and 96 minutes
    QCOMPARE(clears, 4); // each only after a raise that went
    QCOMPARE(limit.TakeHeldBack(2, "loss", "g@x"), 26);
    QCOMPARE(limit.TakeHeldBack(2, "loss", "g@x"), 0);
    // Another recipient, tank or kind has a window of its own.
    QVERIFY(limit.AllowRaise(2, "loss", "boss@x", t0 + 116 * minute));
    QVERIFY(limit.AllowRaise(3, "loss", "g@x", t0 + 116 * minute));
    QVERIFY(limit.AllowRaise(2, "low", "g@x", t0 + 116 * minute));
    QVERIFY(!limit.AllowClear(5, "loss", "g@x"));
    // Once acknowledged, the next raise is a new theft, not flapping: it is mailed at once.
    QVERIFY(!limit.AllowRaise(2, "loss", "g@x", t0 + 117 * minute));
    limit.Acknowledged(2, "loss");
    QVERIFY(limit.AllowRaise(2, "loss", "g@x", t0 + 118 * minute));
}

void TestMail::headersCannotBeInjected() {
    Mail::Message m;
    m.from = "s@x.org";
    m.to = {"a@x.org"};
    m.subject = "LOSS\r\nBcc: thief@y.org";
    m.text = "x";
    const QString bytes = QString::fromStdString(Mail::Build(m));
    QVERIFY(!bytes.contains(QRegularExpression("^Bcc:", QRegularExpression::MultilineOption)));
    // Non-ASCII subjects are encoded words; the body is base64 UTF-8.
    m.subject = "Verlust: Tank Süd, 380 l";
    m.text = "Süd ⛽";
    const QString encoded = QString::fromStdString(Mail::Build(m));
    QVERIFY(Header(encoded, "Subject").startsWith("=?UTF-8?B?"));
    QCOMPARE(QString::fromUtf8(Part(encoded, "Content-Type: text/plain")), QString("Süd ⛽"));
}

void TestMail::alarmAndClearMailsReachServer() {
    SmtpSink sink;
    QVERIFY2(sink.Start(), "python3-aiosmtpd must be installed (scripts/deps.sh)");
    MailSettings s = LocalMailSettings(sink.Port());
    std::vector<MailRecipient> rs;
    QVERIFY(Mail::ParseRecipients("guard@depot.example: loss; boss@depot.example: summary", rs,
                                  nullptr));
    s.recipients = rs;
    std::mutex mutex;
    std::vector<std::string> notices;
    {
        MailWorker worker(s, [&](const MailWorker::Status& st) {
            std::lock_guard<std::mutex> lock(mutex);
            if (!st.notice.empty())
                notices.push_back(st.notice);
        });
        AlarmNotice n{2, "South Diesel", "LOSS", true, 8983, 380, "09/12/2026 03:12:40", 0, {}, {}};
        n.lossFrom = "09/12/2026 02:31:10";
        n.lossTo = "09/12/2026 02:58:40";
        const auto to = Mail::RecipientsFor(s, "loss", 3 * 60);
        QCOMPARE(to, std::vector<std::string>{"guard@depot.example"});
        worker.Send({to, Mail::Build(Mail::AlarmMessage(s, n, to, 1796800000)), "LOSS", {}});
        n.raised = false;
        n.lost.reset();
        n.localTime = "09/12/2026 07:45:00";
        worker.Send({to, Mail::Build(Mail::AlarmMessage(s, n, to, 1796816000)), "LOSS", {}});
        QVERIFY(sink.WaitForMails(2));
    }
    QVERIFY(notices.empty());
    const QStringList mails = sink.Mails();
    const QString raised = mails[0].contains("raised") ? mails[0] : mails[1];
    const QString cleared = mails[0].contains("raised") ? mails[1] : mails[0];
    QCOMPARE(Header(raised, "Subject"),
             QString("[Tavrona depot 7] LOSS alarm raised: South Diesel (tank 2), 380 l"));
    QCOMPARE(Header(raised, "From"), QString("station@depot.example"));
    QCOMPARE(Header(raised, "To"), QString("guard@depot.example"));
    QCOMPARE(Header(raised, "X-RcptTo"), QString("guard@depot.example"));
    QVERIFY(Header(raised, "Date").endsWith("+0000"));
    const QString text = QString::fromUtf8(Part(raised, "Content-Type: text/plain"));
    QVERIFY2(text.contains("Tank: South Diesel (tank 2)"), qPrintable(text));
    QVERIFY(text.contains("Lost: 380 l"));
    QVERIFY(text.contains("Loss: from 09/12/2026 02:31:10 to 09/12/2026 02:58:40"));
    QVERIFY(text.contains("Time: 09/12/2026 03:12:40"));
    QCOMPARE(Header(cleared, "Subject"),
             QString("[Tavrona depot 7] LOSS alarm cleared: South Diesel (tank 2)"));
    const QString clearText = QString::fromUtf8(Part(cleared, "Content-Type: text/plain"));
    QVERIFY(clearText.contains("Alarm: LOSS, cleared"));
    QVERIFY(clearText.contains("Time: 09/12/2026 07:45:00"));
}

void TestMail::attachmentArrivesWhole() {
    SmtpSink sink;
    QVERIFY2(sink.Start(), "python3-aiosmtpd must be installed (scripts/deps.sh)");
    const MailSettings s = LocalMailSettings(sink.Port());
    Mail::Message m =
        Mail::TestMessage(s, "09/12/2026 06:00:00", {"boss@depot.example"}, 1796800000);
    std::string pdf = "%PDF-1.4\n";
    for (int i = 0; i < 5000; ++i)
        pdf += char(i * 7 % 256);
    m.attachments.push_back({"summary 2026-12-08.pdf", "application/pdf", pdf});
    const std::string error = MailWorker::SendOnce(s, {m.to, Mail::Build(m), "test", {}});
    QVERIFY2(error.empty(), error.c_str());
    QVERIFY(sink.WaitForMails(1));
    const QString mail = sink.Mails().at(0);
    QVERIFY(Header(mail, "Content-Type").startsWith("multipart/mixed"));
    QCOMPARE(Part(mail, "filename=\"summary 2026-12-08.pdf\""), QByteArray::fromStdString(pdf));
}

void TestMail::serverAwayIsAnErrorNotSuccess() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const int port = probe.serverPort();
    probe.close(); // nothing listens there now
    const MailSettings s = LocalMailSettings(port);
    const Mail::Message m = Mail::TestMessage(s, "t", {"a@x.org"}, 0);
    QVERIFY(!MailWorker::SendOnce(s, {m.to, Mail::Build(m), "test", {}}).empty());
}

// The station closes while its mail waits on a server that never answers: the worker gives it
// a few seconds, abandons it, and tells of no failure (it was no failure of the server's).
void TestMail::stoppingAbandonsAMailToASilentServer() {
    SilentServer server;
    server.start();
    QTRY_VERIFY(server.port > 0);
    std::vector<std::string> notices;
    {
        MailWorker worker(LocalMailSettings(server.port), [&](const MailWorker::Status& st) {
            if (!st.notice.empty())
                notices.push_back(st.notice);
        });
        const Mail::Message m =
            Mail::TestMessage(LocalMailSettings(server.port), "t", {"a@x.org"}, 0);
        worker.Send({m.to, Mail::Build(m), "LOSS", {}});
        QTRY_VERIFY(server.connected);
    }
    QVERIFY(server.wait(10000));
    QVERIFY(server.disconnected);
    QVERIFY(notices.empty());
}

QTEST_GUILESS_MAIN(TestMail)
#include "test_mail.moc"
