#pragma once
// A local SMTP server for the mail tests (python3-aiosmtpd) that keeps each mail it takes as
// a file in a maildir; stopped with the object. A server that never answers. And reading
// the mails back.

#include "Mail.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>

// The station's mail settings for a local server: plain SMTP on 127.0.0.1.
inline MailSettings LocalMailSettings(int port) {
    MailSettings s;
    s.host = "127.0.0.1";
    s.port = port;
    s.security = MailSecurity::None;
    s.from = "station@depot.example";
    s.station = "depot 7";
    return s;
}

// A local SMTP server that keeps each mail it takes as a file in a maildir.
class SmtpSink {
public:
    SmtpSink() {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port_ = probe.serverPort();
    }
    ~SmtpSink() {
        process_.terminate();
        if (!process_.waitForFinished(5000))
            process_.kill();
        process_.waitForFinished(2000);
    }
    bool Start() {
        const QString python = QStandardPaths::findExecutable("python3", {"/usr/bin"});
        if (python.isEmpty())
            return false;
        process_.start(python, {"-m", "aiosmtpd", "-n", "-l", QString("127.0.0.1:%1").arg(port_),
                                "-c", "aiosmtpd.handlers.Mailbox", dir_.filePath("maildir")});
        QDeadlineTimer deadline(15000);
        while (!deadline.hasExpired() && process_.state() != QProcess::NotRunning) {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, port_);
            if (s.waitForConnected(200))
                return true;
            QThread::msleep(100);
        }
        return false;
    }
    int Port() const { return port_; }
    QStringList Mails() const {
        QStringList out;
        QDir dir(dir_.filePath("maildir/new"));
        for (const QString& name : dir.entryList(QDir::Files, QDir::Name | QDir::Time)) {
            QFile f(dir.filePath(name));
            f.open(QIODevice::ReadOnly);
            out << QString::fromUtf8(f.readAll());
        }
        return out;
    }
    bool WaitForMails(int n) {
        QDeadlineTimer deadline(20000);
        while (Mails().size() < n && !deadline.hasExpired())
            QThread::msleep(50);
        return Mails().size() >= n;
    }

private:
    QTemporaryDir dir_;
    QProcess process_;
    int port_ = 0;
};

// Takes one connection and never says a word; on a thread of its own, so that it sees the
// client go while the test's thread is busy.
class SilentServer : public QThread {
public:
    std::atomic<int> port{0};
    std::atomic<bool> connected{false}, disconnected{false};

protected:
    void run() override {
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHost, 0))
            return;
        port = server.serverPort();
        if (!server.waitForNewConnection(30000))
            return;
        QTcpSocket* client = server.nextPendingConnection();
        connected = true;
        for (int i = 0; i < 600 && client->state() == QAbstractSocket::ConnectedState; ++i)
            client->waitForDisconnected(100);
        disconnected = client->state() != QAbstractSocket::ConnectedState;
    }
};

inline QString Header(const QString& mail, const QString& name) {
    const QRegularExpression re("^" + name + ": (.*)$",
                                QRegularExpression::MultilineOption |
                                    QRegularExpression::CaseInsensitiveOption);
    return re.match(mail).captured(1).trimmed();
}

// The base64 body after the part whose headers contain `marker`.
inline QByteArray Part(const QString& mail, const QString& marker) {
    const qsizetype at = mail.indexOf(marker);
    if (at < 0)
        return {};
    qsizetype start = mail.indexOf(QRegularExpression("\\r?\\n\\r?\\n"), at);
    QString rest = mail.mid(start).trimmed();
    const qsizetype end = rest.indexOf("--");
    if (end >= 0)
        rest = rest.left(end);
    return QByteArray::fromBase64(rest.toLatin1());
}
