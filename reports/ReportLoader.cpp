#include "ReportLoader.h"

#include "SQLiteDatabase.h"

#include <QPointer>

// One reading: its thread and what it has read. Shared with the queued calls, which may
// arrive after a newer reading has started.
struct ReportLoader::Run {
    std::atomic<bool> stop{false};
    std::thread thread;
    ReportResult result;
    Done done;
    Progress progress;
};

namespace {

void Read(const ReportJob& job, std::atomic<bool>& stop, const std::function<void(int, int)>& step,
          ReportResult& result) {
    TSQLiteDatabase db(job.file, TSQLiteDatabase::Mode::ReadOnly);
    db.SetInterrupt([&stop] { return stop.load(); });
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
                step(done, total);
                return !stop;
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
    if (tank && !stop)
        result.reports.push_back(LoadTankReport(db, tank, job.bounds, job.offset, job.nowLocal));
}

} // namespace

ReportLoader::ReportLoader(QObject* parent) : QObject(parent) {}

ReportLoader::~ReportLoader() {
    Cancel();
    for (const auto& run : retired_)
        if (run->thread.joinable())
            run->thread.join();
}

void ReportLoader::Start(ReportJob job, Done done, Progress progress) {
    Cancel();
    auto run = std::make_shared<Run>();
    run->done = std::move(done);
    run->progress = std::move(progress);
    running_ = run;
    QPointer<ReportLoader> self(this);
    run->thread = std::thread([self, run, job = std::move(job)] {
        auto step = [&](int doneTanks, int total) {
            QMetaObject::invokeMethod(
                self,
                [self, run, doneTanks, total] {
                    if (self && self->running_ == run && run->progress)
                        run->progress(doneTanks, total);
                },
                Qt::QueuedConnection);
        };
        try {
            Read(job, run->stop, step, run->result);
        } catch (const std::exception& e) {
            // Only a chart keeps what it read before the failure.
            run->result.reports.clear();
            run->result.summary.clear();
            run->result.error = e.what();
        }
        // Dropped by Qt when the loader has gone by then; its destructor joined us.
        QMetaObject::invokeMethod(
            self,
            [self, run] {
                if (self)
                    self->Finished(run);
            },
            Qt::QueuedConnection);
    });
}

void ReportLoader::Finished(const std::shared_ptr<Run>& run) {
    if (run->thread.joinable())
        run->thread.join();
    std::erase(retired_, run);
    if (running_ != run)
        return; // cancelled, or replaced by a newer reading
    running_.reset();
    if (run->done)
        run->done(std::move(run->result));
}

// The window never waits for a cancelled reading: the progress handler ends its query at
// the next check, and the thread is joined when its end arrives here (or by the destructor).
void ReportLoader::Cancel() {
    if (!running_)
        return;
    running_->stop = true;
    retired_.push_back(std::move(running_));
    running_.reset();
}
