#include "ReconLoader.h"

#include "SQLiteDatabase.h"

void ReconLoader::Start(ReconJob job, Done done) {
    std::string file = job.file;
    reads_.Start<ReconResult>(
        std::move(file),
        [job = std::move(job)](BackgroundRead::Reading& reading, ReconResult& result) {
            for (auto& t : LoadReportTanks(reading.Db())) {
                result.tanks.push_back(t->id);
                if (t->id == job.adr && !reading.Stopped())
                    result.report = LoadTankReconciliation(reading.Db(), t, job.bounds, job.offset,
                                                           job.nowLocal);
            }
        },
        [done = std::move(done)](ReconResult result, std::string error) {
            if (!error.empty()) {
                result = {};
                result.error = std::move(error);
            }
            if (done)
                done(std::move(result));
        });
}
