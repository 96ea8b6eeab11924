#pragma once
// A PostgreSQL server of the test's own: initdb and pg_ctl from the installed server in a
// temporary folder, listening only on a Unix socket in that folder. Under root the server
// runs as "nobody", as PostgreSQL refuses root. A missing server is a failure, not a skip.

#include <QDir>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <pwd.h>
#include <unistd.h>

class PgTestServer {
public:
    // Empty when the server runs; otherwise what went wrong.
    QString Start() {
        const QStringList found =
            QDir("/usr/lib/postgresql").entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString& v : found)
            if (QFile::exists("/usr/lib/postgresql/" + v + "/bin/pg_ctl"))
                bin_ = "/usr/lib/postgresql/" + v + "/bin/";
        if (bin_.isEmpty())
            return "no PostgreSQL server under /usr/lib/postgresql (scripts/deps.sh installs it)";
        if (!dir_.isValid())
            return "no temporary folder";
        if (geteuid() == 0) {
            const passwd* pw = getpwnam("nobody");
            if (!pw || chown(dir_.path().toLocal8Bit().constData(), pw->pw_uid, pw->pw_gid) != 0)
                return "cannot hand the folder to nobody";
        }
        QString out;
        if (!Run("initdb",
                 {"-D", Data(), "-U", "central", "-A", "trust", "-E", "UTF8", "--locale=C",
                  "--no-sync"},
                 out))
            return "initdb: " + out;
        return Up();
    }
    QString Up() {
        QString out;
        if (!Run("pg_ctl",
                 {"-D", Data(), "-l", dir_.path() + "/log", "-w", "-o",
                  "-k " + dir_.path() + " -c listen_addresses= -F", "start"},
                 out))
            return "pg_ctl start: " + out;
        return {};
    }
    void Down() {
        QString out;
        Run("pg_ctl", {"-D", Data(), "-w", "-m", "fast", "stop"}, out);
    }
    ~PgTestServer() {
        if (!bin_.isEmpty() && QFile::exists(Data() + "/postmaster.pid")) {
            QString out;
            Run("pg_ctl", {"-D", Data(), "-w", "-m", "immediate", "stop"}, out);
        }
    }
    std::string Conninfo() const {
        return ("host=" + dir_.path() + " dbname=postgres user=central").toStdString();
    }

private:
    QTemporaryDir dir_;
    QString bin_;
    QString Data() const { return dir_.path() + "/data"; }
    bool Run(const QString& tool, QStringList args, QString& out) {
        QProcess p;
        p.setWorkingDirectory(dir_.path());
        p.setProcessChannelMode(QProcess::MergedChannels);
        if (geteuid() == 0) {
            args.prepend(bin_ + tool);
            args = QStringList{"-u", "nobody", "--"} + args;
            p.start("runuser", args);
        } else {
            p.start(bin_ + tool, args);
        }
        p.waitForFinished(120000);
        out = QString::fromLocal8Bit(p.readAll());
        return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
};
