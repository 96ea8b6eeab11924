#pragma once
// Reads a tank's report, the depot summary or the level chart of a tank on a thread of its
// own through a read-only connection of its own to data.db, so a year of readings never
// freezes the window. What it read comes back on the thread that owns the loader (the
// window's), by a queued call.
//
// "Cancel" stops the reading within a moment: the connection's progress handler interrupts
// whatever query runs, and nothing read is handed back. A new Start cancels the one running.

#include "BackgroundRead.h"
#include "InventoryData.h"
#include "LevelChartData.h"
#include "ReportPeriod.h"

#include <QObject>

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct ReportJob {
    std::string file{};           // data.db
    int adr = 0;                  // the tank of a tank report
    bool summary = false;         // the depot summary of every active tank instead
    std::vector<double> bounds{}; // BalanceBoundaries
    double offset = 0, nowLocal = 0;
    // The level chart of the tank over this local period instead of its report.
    std::optional<ReportPeriod> chart{};
    // The report of a tank without a TANKS row too (its readings under a blank name), as
    // Print reports any address of the list.
    bool anyTank = false;
};

struct ReportResult {
    std::vector<TankReport> reports; // the tank's report (none when there is no such tank)
    std::vector<TankBalance> summary;
    // The chart asked for; on an error, what was read before it.
    std::optional<LevelChartData> chart;
    std::string error; // empty when everything was read
};

class ReportLoader : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(ReportResult)>;
    // Tanks summed and their number; a tank report has no fraction to tell (total 0).
    using Progress = std::function<void(int done, int total)>;

    explicit ReportLoader(QObject* parent = nullptr) : QObject(parent) {}

    void Start(ReportJob job, Done done, Progress progress = {});
    // Nothing more is handed back; the thread ends within a moment, without being waited for.
    void Cancel() { reads_.Cancel(); }
    bool Running() const { return reads_.Running(); }
    // Threads not yet joined, the cancelled ones included.
    int Threads() const { return reads_.Threads(); }

private:
    BackgroundRead reads_; // its end cancels and waits for the threads of all
};
