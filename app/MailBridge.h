#pragma once
// The station's e-mail: an alarm raised or cleared, no reading stored for a while, each to
// the recipients who want that kind at that hour (readings count once their rows are
// stored), at most one per alarm and recipient in
// the rate window; and the daily summary (DailySummary). Builds the mails on the GUI thread and
// hands them to the sending thread; never waits for the server.

#include "Clock.h"
#include "DayNumbers.h"
#include "Mail.h"
#include "Reading.h"
#include "StoredReadingWatch.h"

#include <QObject>

#include <functional>
#include <map>
#include <memory>

class DailySummary;
class FuelEvents;
class MailWorker;
class QLabel;
class QTimer;
class TankList;
struct AlarmTransition;

struct MailBridgeContext {
    TankList& tanks;
    FuelEvents& events;
    const Clock& clock;
    std::function<void(const std::string&)> putLogLine;
    QLabel* status; // "Mail: n waiting" while mails wait; hidden otherwise
    // The daily summary reads this file; none: no daily summary.
    std::string dbFile = {};
    std::string summaryRecord = {}; // SummaryRecordPath() unless given
    // Rows waiting in the station's write queue (none: readings count as stored when taken).
    std::function<std::size_t()> unstored = {};
};

class MailBridge : public QObject, public ReadingSink {
    Q_OBJECT
public:
    explicit MailBridge(MailBridgeContext context, QObject* parent = nullptr);
    ~MailBridge() override;
    void Restart(const MailSettings& settings);

    void TakeReading(const Reading& reading) override;
    // Looks whether readings stopped (also run every 30 s by a timer).
    void CheckStale();
    DailySummary* Summary() const { return summary_; }
    // Transitions older than this are history being examined, not news.
    static constexpr double kNewsDays = 15.0 / kMinutesPerDay;

private:
    void OnTransition(int adr, const AlarmTransition& t);
    void Queue(const Mail::Message& m, const std::string& what);
    int LocalMinute() const;

    MailBridgeContext ctx_;
    MailSettings settings_;
    std::unique_ptr<MailWorker> worker_;
    std::unique_ptr<MailRateLimit> limit_;
    // When a tank's newest reported loss was last seen going on: its end, or the moment it
    // was reported while still open. A loss raised is news by this, not by its start: a
    // slow theft is found long after it began.
    std::map<int, double> lossSeen_;
    StoredReadingWatch stored_;
    bool staleMailed_ = false;
    QTimer* timer_ = nullptr;
    DailySummary* summary_ = nullptr;
};
