#include "ReportLoader.h"

#include "SQLiteDatabase.h"

namespace {

void Read(const ReportJob& job, BackgroundRead::Reading& reading,
          const ReportLoader::Progress& progress, ReportResult& result) {
    TSQLiteDatabase& db = reading.Db();
    if (job.chart) {
        result.chart.emplace();
        ReadLevelChart(db, job.adr, job.chart->start, job.chart->stop, job.offset, job.nowLocal,
                       *result.chart);
        return;
    }
    std::vector<std::shared_ptr<TItemNode>> tanks = LoadReportTanks(db);
    if (job.summary) {
        result.summary =
            DepotSummary(db, tanks, job.bounds, job.offset, job.nowLocal, [&](int done, int total) {
                if (progress)
                    reading.Post([=] { progress(done, total); });
                return !reading.Stopped();
            });
        return;
    }
    std::shared_ptr<TItemNode> tank;
    for (auto& t : tanks)
        if (t->id == job.adr && !tank)
            tank = t;
    if (!tank && job.anyTank) {
        tank = std::make_shared<TItemNode>();
        tank->id = static_cast<uint8_t>(job.adr);
    }
    if (tank && !reading.Stopped())
        result.reports.push_back(LoadTankReport(db, tank, job.bounds, job.offset, job.nowLocal));
}

} // namespace

void ReportLoader::Start(ReportJob job, Done done, Progress progress) {
    std::string file = job.file;
    reads_.Start<ReportResult>(
        std::move(file),
        [job = std::move(job), progress = std::move(progress)](BackgroundRead::Reading& reading,
                                                               ReportResult& result) {
            Read(job, reading, progress, result);
        },
        [done = std::move(done)](ReportResult result, std::string error) {
            if (!error.empty()) {
                // Only a chart keeps what it read before the failure.
                result.reports.clear();
                result.summary.clear();
                result.error = std::move(error);
            }
            if (done)
                done(std::move(result));
        });
}
