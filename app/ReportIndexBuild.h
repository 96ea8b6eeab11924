#pragma once
// The first start on a file without the report indexes (one written before they existed):
// the window is already shown, the indexes are built on a thread of their own under a
// progress dialog over it, and `done` runs on the window's thread when the build has ended.
// The dialog is window-modal, so the Reports cannot query the file while it is locked for
// the build.

#include "Database.h"

#include <QObject>
#include <QPointer>
#include <QProgressBar>
#include <QProgressDialog>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

class ReportIndexBuild : public QObject {
    Q_OBJECT
public:
    // `error` is empty when every index was built.
    using Done = std::function<void(const std::string& error)>;

    // Shows the dialog over `window` and starts building on a second connection to `fileName`.
    ReportIndexBuild(const std::string& fileName, std::vector<ReportIndex> indexes, QWidget* window,
                     Done done);
    // Stops a build still running (SQLite rolls the unfinished index back) and waits for it.
    ~ReportIndexBuild() override;

    bool Running() const { return running_; }
    QProgressDialog* Dialog() const { return dialog_; }

    // The Errors log line for a build that did not finish.
    static std::string FailureLine(double localNow, const std::string& error);

private:
    void Progress(int percent);
    void Finished(const std::string& error);

    QPointer<QProgressDialog> dialog_;
    QPointer<QProgressBar> bar_;
    Done done_;
    std::atomic<bool> stop_{false};
    bool running_ = true;
    std::thread thread_;
};
