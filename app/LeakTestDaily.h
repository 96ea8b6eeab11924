#pragma once
// The leak test in the running station: once a local day is over, every active tank is
// tested on its stored readings of the 28 days before (LeakReport), on a thread of its own
// with a read-only connection of its own, so the window never waits for it. The results
// come back on the thread that owns this (the window's), are kept in LEAK_TESTS through the
// station's write queue and handed on (the LEAK alarm). A day with a stored result is never
// tested again, also after a restart; days missed while the station was off are tested when
// it runs again, at most the 28 a test spans.

#include "BackgroundRead.h"
#include "Clock.h"
#include "DayNumbers.h"
#include "LeakReport.h"

#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QTimer;
class TSQLiteDatabase;
class WriteQueue;

struct LeakTestDailyContext {
    TSQLiteDatabase& db; // the station's connection: its file is read, and written through
    std::shared_ptr<WriteQueue> writes;
    const Clock& clock;
    std::function<std::vector<int>()> activeTanks;
    // Each day's result, in day order per tank, once it is handed to the write queue; `utc`
    // is the time the test was made (the day's end).
    std::function<void(const LeakReportRow&, double utc)> tested;
    // A line for the Errors log (text without time), when a run could not be made.
    std::function<void(const std::string&)> log = {};
};

class LeakTestDaily : public QObject {
    Q_OBJECT
public:
    // Checked this often whether a day is over; the day's readings have this long to be
    // stored after midnight before its test is made.
    static constexpr int kCheckMs = 5 * 60 * 1000;
    static constexpr double kGraceDays = 5.0 / kMinutesPerDay;

    explicit LeakTestDaily(LeakTestDailyContext context, QObject* parent = nullptr);

    // Reads what was tested before, checks at once and then every kCheckMs.
    void Start();
    // Starts a run of the days due, unless one runs. Returns true when one was started.
    bool Check();
    bool Running() const { return reads_.Running(); }
    // Blocks until the run's results are handed on (tests, closing).
    void WaitForRun();
    // The last day tested of the tank, if any.
    std::optional<double> LastTested(int adr) const;

signals:
    // A run's results are stored (or waiting to be); `rows` of them.
    void RunFinished(int rows);

private:
    using Days = std::map<int, std::vector<double>>; // per tank, the days to test
    static void Test(BackgroundRead::Reading& reading, const Days& days, double offset,
                     double nowLocal, std::vector<LeakReportRow>& rows);
    void Finished(const std::vector<LeakReportRow>& rows, const std::string& error, double offset);

    LeakTestDailyContext ctx_;
    std::map<int, double> lastTested_;
    QTimer* timer_ = nullptr;
    BackgroundRead reads_; // its end stops a run within a moment and waits for its thread
};
