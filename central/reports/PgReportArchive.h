#pragma once
// The inventory reports' view of the central server: one read-only REPEATABLE READ
// transaction for the archive's whole life, so a report of several stations is one
// consistent snapshot while the stations go on sending. Only what the stations sent is
// there: a tank's latest state and calibration points, its readings and its stored events
// (none found on the fly in readings the station had not examined yet), and the density of
// its fuel type (a density set on the station is not sent). Every statement is prepared,
// with the station, tank and times as parameters.

#include "ReportSource.h"

#include <map>
#include <memory>
#include <string>

class PgConnection;

class PgReportArchive : public StationArchive {
public:
    // Connects and opens the snapshot. Null with libpq's words in `error`.
    static std::unique_ptr<PgReportArchive> Open(const std::string& conninfo, std::string& error);
    ~PgReportArchive() override;

    // Stations that have sent their tanks; none when the server has no central tables yet.
    std::vector<std::string> Stations() override;
    ReportSource& Station(const std::string& name) override;
    std::function<void()> Canceller() override;

private:
    explicit PgReportArchive(std::unique_ptr<PgConnection> conn);
    std::unique_ptr<PgConnection> conn_;
    std::map<std::string, std::unique_ptr<ReportSource>> sources_;
};

// For tavrona-report's CentralOpener.
std::unique_ptr<StationArchive> OpenCentralArchive(const std::string& conninfo, std::string& error);
