#include "ReportIndexBuild.h"

#include "IndexBuild.h"
#include "TextFormats.h"

#include <QProgressBar>
#include <QProgressDialog>

ReportIndexBuild::ReportIndexBuild(const std::string& fileName, std::vector<ReportIndex> indexes,
                                   QWidget* window, Done done)
    : done_(std::move(done)) {
    dialog_ = new QProgressDialog("Building the index of readings for the Reports...", "Skip", 0,
                                  100, window);
    dialog_->setObjectName("IndexProgress");
    dialog_->setWindowTitle("Tavrona");
    dialog_->setWindowModality(Qt::WindowModal);
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    dialog_->setMinimumDuration(0);
    // The bar is moved directly: the dialog's own setValue runs a nested event loop when
    // modal, in which the build's end could be handled half way through a progress step.
    bar_ = new QProgressBar(dialog_);
    bar_->setRange(0, 100);
    bar_->setValue(0);
    dialog_->setBar(bar_);
    connect(dialog_, &QProgressDialog::canceled, this, [this] { stop_ = true; });
    dialog_->open();

    thread_ = std::thread([this, fileName, indexes = std::move(indexes)] {
        int posted = 0;
        const std::string error = BuildReportIndexes(fileName, indexes, [&](double fraction) {
            const int percent = static_cast<int>(fraction * 100);
            if (percent != posted) {
                posted = percent;
                // Queued to this object: dropped by Qt if it is gone by then.
                QMetaObject::invokeMethod(
                    this, [this, percent] { Progress(percent); }, Qt::QueuedConnection);
            }
            return !stop_;
        });
        QMetaObject::invokeMethod(
            this, [this, error] { Finished(error); }, Qt::QueuedConnection);
    });
}

ReportIndexBuild::~ReportIndexBuild() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    delete dialog_;
}

void ReportIndexBuild::Progress(int percent) {
    if (bar_ && running_)
        bar_->setValue(percent);
}

void ReportIndexBuild::Finished(const std::string& error) {
    if (thread_.joinable())
        thread_.join();
    running_ = false;
    if (dialog_)
        dialog_->hide();
    if (done_)
        done_(error);
}

std::string ReportIndexBuild::FailureLine(double localNow, const std::string& error) {
    std::string reason;
    for (char c : error)
        reason += (c == '\r' || c == '\n') ? ' ' : c;
    return TextFormats::DateTime(localNow) + "   The index of readings could not be built (" +
           reason + "); Reports work without it, more slowly.\r\n";
}
