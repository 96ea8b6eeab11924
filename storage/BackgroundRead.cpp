#include "BackgroundRead.h"

#include "SQLiteDatabase.h"

#include <QPointer>

#include <exception>
#include <thread>

// One reading: its thread and how it ends. Shared with the queued calls, which may arrive
// after a newer reading has started.
struct BackgroundRead::Reading::Run {
    std::atomic<bool> stop{false};
    std::thread thread;
    std::function<void(std::string)> done;
    std::string error;
    bool handed = false; // handed back (by a wait, then the queued call finds it so)
};

BackgroundRead::Reading::Reading(TSQLiteDatabase& db, BackgroundRead* self,
                                 std::shared_ptr<Run> run)
    : db_(db), self_(self), run_(std::move(run)) {}

bool BackgroundRead::Reading::Stopped() const {
    return run_->stop.load();
}

void BackgroundRead::Reading::Post(std::function<void()> f) const {
    // The reader outlives this thread (its end joins it), so self_ is sound to queue to;
    // Qt drops the call when the reader is destroyed before it runs.
    QMetaObject::invokeMethod(
        self_,
        [self = self_, run = run_, f = std::move(f)] {
            if (self->running_ == run && !run->handed && f)
                f();
        },
        Qt::QueuedConnection);
}

BackgroundRead::BackgroundRead(QObject* parent) : QObject(parent) {}

BackgroundRead::~BackgroundRead() {
    Cancel();
    for (const auto& run : retired_)
        if (run->thread.joinable())
            run->thread.join();
}

void BackgroundRead::StartRun(std::string file, std::function<void(Reading&)> job,
                              std::function<void(std::string)> done) {
    Cancel();
    auto run = std::make_shared<Run>();
    run->done = std::move(done);
    running_ = run;
    run->thread = std::thread([self = this, run, file = std::move(file), job = std::move(job)] {
        try {
            TSQLiteDatabase db(file, TSQLiteDatabase::Mode::ReadOnly);
            db.SetInterrupt([&run] { return run->stop.load(); });
            Reading reading(db, self, run);
            job(reading);
        } catch (const std::exception& e) {
            run->error = e.what();
        }
        // Dropped by Qt when the reader has gone by then; its end joined this thread.
        QMetaObject::invokeMethod(
            self, [self, run] { self->Finished(run); }, Qt::QueuedConnection);
    });
}

void BackgroundRead::Finished(const std::shared_ptr<Run>& run) {
    if (run->thread.joinable())
        run->thread.join();
    std::erase(retired_, run);
    if (running_ != run || run->handed)
        return; // cancelled, or replaced by a newer reading
    run->handed = true;
    running_.reset();
    if (run->done)
        run->done(std::move(run->error));
}

void BackgroundRead::Cancel() {
    if (!running_)
        return;
    running_->stop = true;
    retired_.push_back(std::move(running_));
    running_.reset();
}

void BackgroundRead::Wait() {
    if (!running_)
        return;
    const std::shared_ptr<Run> run = running_;
    if (run->thread.joinable())
        run->thread.join();
    Finished(run);
}
