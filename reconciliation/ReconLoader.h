#pragma once
// Reads one tank's reconciliation on a thread of its own, through a read-only connection of
// its own to data.db, so the window never waits for the balance of a long period. What it
// read comes back on the thread that owns the loader (the window's), by a queued call. A new
// Start, Cancel or the loader's end interrupts the reading at its next query step; nothing
// read by a cancelled reading is handed back.

#include "BackgroundRead.h"
#include "ReconReport.h"

#include <QObject>

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct ReconJob {
    std::string file; // data.db
    int adr = 0;
    std::vector<double> bounds; // BalanceBoundaries
    double offset = 0, nowLocal = 0;
};

struct ReconResult {
    std::optional<TankReconReport> report; // none when there is no such tank
    std::vector<int> tanks;                // every tank's number, for the entry dialog
    std::string error;                     // empty when everything was read
};

class ReconLoader : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(ReconResult)>;

    explicit ReconLoader(QObject* parent = nullptr) : QObject(parent) {}

    void Start(ReconJob job, Done done);
    void Cancel() { reads_.Cancel(); }
    bool Running() const { return reads_.Running(); }

private:
    BackgroundRead reads_; // its end cancels and waits for the threads of all
};
