#include "ReconLoader.h"

#include "SQLiteDatabase.h"

#include <QPointer>

// One reading: its thread and what it read. Shared with the queued call, which may arrive
// after a newer reading has started.
struct ReconLoader::Run {
    std::atomic<bool> stop{false};
    std::thread thread;
    ReconResult result;
    Done done;
};

namespace {

ReconResult Read(const ReconJob& job, std::atomic<bool>& stop) {
    ReconResult result;
    TSQLiteDatabase db(job.file, TSQLiteDatabase::Mode::ReadOnly);
    db.SetInterrupt([&stop] { return stop.load(); });
    for (auto& t : LoadReportTanks(db)) {
        result.tanks.push_back(t->id);
        if (t->id == job.adr && !stop)
            result.report = LoadTankReconciliation(db, t, job.bounds, job.offset, job.nowLocal);
    }
    return result;
}

} // namespace

ReconLoader::ReconLoader(QObject* parent) : QObject(parent) {}

ReconLoader::~ReconLoader() {
    Cancel();
    for (const auto& run : retired_)
        if (run->thread.joinable())
            run->thread.join();
}

void ReconLoader::Start(ReconJob job, Done done) {
    Cancel();
    auto run = std::make_shared<Run>();
    run->done = std::move(done);
    running_ = run;
    QPointer<ReconLoader> self(this);
    run->thread = std::thread([self, run, job = std::move(job)] {
        try {
            run->result = Read(job, run->stop);
        } catch (const std::exception& e) {
            run->result = {};
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

void ReconLoader::Finished(const std::shared_ptr<Run>& run) {
    if (run->thread.joinable())
        run->thread.join();
    std::erase(retired_, run);
    if (running_ != run)
        return; // cancelled, or replaced by a newer reading
    running_.reset();
    if (run->done)
        run->done(std::move(run->result));
}

// The window never waits for a cancelled reading: the interrupt ends its query at the next
// check, and the thread is joined when its end arrives here (or by the destructor).
void ReconLoader::Cancel() {
    if (!running_)
        return;
    running_->stop = true;
    retired_.push_back(std::move(running_));
    running_.reset();
}
