#pragma once
// The main window's side of the conditions the line and storage report: each report is
// queued and handled once the reporting handler has returned. The first report of a
// condition is a line in the Errors log and, where it has one, a box that waits for "OK"
// without holding anything up; its repeats are a count in the status bar.

#include "ConditionLog.h"
#include "Conditions.h"

#include <QObject>
#include <QString>

#include <functional>
#include <string>

class OperatorMessages;

struct ConditionOutlets {
    std::function<void(const std::string&)> putLogLine; // on top of the Errors log
    std::function<void(const QString&)> showStatus;     // the status bar's passing message
    std::function<void()> choosePort;                   // the Settings dialog
    std::function<double()> localNow;
};

class ConditionDesk : public QObject, public Conditions {
    Q_OBJECT
public:
    ConditionDesk(OperatorMessages& messages, ConditionOutlets outlets, QObject* parent = nullptr);

    void Report(const Condition& condition) override;
    void Beep() override;

    // Handled now rather than queued (what Report queues comes here).
    void Handle(const Condition& condition);
    const ConditionLog& Log() const { return log_; }

private:
    OperatorMessages& messages_;
    ConditionOutlets outlets_;
    ConditionLog log_;
};
