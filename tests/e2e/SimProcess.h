#pragma once
// Runs a real sensor-sim for a test: started with chosen options in a private runtime
// folder, its device path read from the first line of its output.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class SimProcess {
public:
    // Starts the simulator; Device() is empty when it did not come up.
    explicit SimProcess(const QStringList& args);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    QString Device() const { return device_; }
    QString LinkPath(const QString& name) const;
    QString RuntimeDir() const { return runtime_.path(); }
    // Asks for the counters (SIGUSR1) and returns the "counts ..." line.
    QString Counts();
    // Sends one line command (the simulator runs with --commands) and returns its answer.
    QString Command(const QString& command);
    // SIGTERM and wait; true when it ended by itself with exit code 0.
    bool Stop();
    // Ends it at once (SIGKILL), as a line pulled away: no clean-up of its own.
    void Kill();

private:
    QTemporaryDir runtime_;
    QProcess process_;
    QString device_;
    QByteArray output_;
    QString ReadLine(int timeoutMs);
};

// Value of one counter in a "counts ..." line, -1 when absent.
long long CountOf(const QString& counts, const QString& name);
