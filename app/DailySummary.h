#pragma once
// The daily summary mail: at the configured minute, the 24 hours before it as text (per
// tank its levels, deliveries and losses) with the inventory report of those hours as a PDF,
// to the recipients who want "summary". The report is read and painted on a pool thread
// (it reads data.db for every active tank); the mail goes through the station's mail worker.
// Once per day: the record of the last summary sent (SummaryRecord) survives restarts.

#include "Clock.h"
#include "SummaryMail.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class MailWorker;

// What the summary of the local period [from, to) needs, read from data.db; on any thread.
struct SummaryContent {
    std::vector<SummaryTank> tanks;
    std::string pdf;   // empty when it could not be made
    std::string error; // why not
};
SummaryContent MakeSummaryContent(const std::string& dbFile, const QString& station, double from,
                                  double to, double offset, double nowLocal);

// The record of the last summary, beside the settings.
std::string SummaryRecordPath();

struct DailySummaryContext {
    const Clock& clock;
    std::string dbFile;
    std::string recordFile;
    std::function<void(const std::string&)> putLogLine; // one Errors log line, CR LF ended
};

class DailySummary : public QObject {
    Q_OBJECT
public:
    explicit DailySummary(DailySummaryContext context, QObject* parent = nullptr);
    ~DailySummary() override;
    // New settings and the worker that sends for them (none: no summary). A summary in hand
    // is forgotten: its mail, if any, went with the old worker, and it is made again.
    void Restart(const MailSettings& settings, MailWorker* worker);
    // Starts the summary when one is due; the mail bridge runs this every 30 s.
    void Check();
    // A summary is being read and painted now.
    bool Making() const { return making_; }

signals:
    // The summary's mail was handed to the worker.
    void Queued(double moment);

private:
    void Made(double moment, const SummaryContent& content);
    void Log(const std::string& text);

    DailySummaryContext ctx_;
    MailSettings settings_;
    MailWorker* worker_ = nullptr;
    std::shared_ptr<SummaryRecord> record_;
    int generation_ = 0; // a summary made for older settings is not sent
    bool making_ = false;
    double retryAfter_ = 0; // local day number; after a summary that could not be made
};
