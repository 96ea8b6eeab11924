#include "SimProcess.h"

#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <csignal>

SimProcess::SimProcess(const QStringList& args) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtime_.path());
    process_.setProcessEnvironment(env);
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.start(SENSOR_SIM_EXE, args);
    if (!process_.waitForStarted(10000))
        return;
    device_ = ReadLine(10000);
}

SimProcess::~SimProcess() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(10000);
    }
}

QString SimProcess::LinkPath(const QString& name) const {
    return runtime_.path() + "/tavrona-sim/" + name;
}

QString SimProcess::ReadLine(int timeoutMs) {
    // A deadline on waiting for the child, not a measurement of it.
    QElapsedTimer waited;
    waited.start();
    while (!output_.contains('\n') && waited.elapsed() < timeoutMs &&
           process_.state() == QProcess::Running)
        if (process_.waitForReadyRead(100))
            output_ += process_.readAllStandardOutput();
    output_ += process_.readAllStandardOutput();
    int end = output_.indexOf('\n');
    if (end < 0)
        return QString();
    QString line = QString::fromUtf8(output_.left(end));
    output_.remove(0, end + 1);
    return line;
}

QString SimProcess::Counts() {
    if (process_.state() != QProcess::Running)
        return QString();
    ::kill(static_cast<pid_t>(process_.processId()), SIGUSR1);
    return ReadLine(10000);
}

QString SimProcess::Command(const QString& command) {
    if (process_.state() != QProcess::Running)
        return QString();
    process_.write((command + "\n").toUtf8());
    process_.waitForBytesWritten(10000);
    return ReadLine(10000);
}

bool SimProcess::Stop() {
    if (process_.state() != QProcess::Running)
        return false;
    process_.terminate();
    if (!process_.waitForFinished(10000))
        return false;
    output_ += process_.readAllStandardOutput();
    return process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
}

long long CountOf(const QString& counts, const QString& name) {
    QRegularExpression re("(?:^| )" + QRegularExpression::escape(name) + "=(\\d+)");
    QRegularExpressionMatch m = re.match(counts);
    return m.hasMatch() ? m.captured(1).toLongLong() : -1;
}

void SimProcess::Kill() {
    process_.kill();
    process_.waitForFinished(10000);
}
