#pragma once
// Reads data.db on a thread of its own, through a read-only connection of its own, so the
// window never waits for a long query; what was read comes back on the thread that owns the
// reader, by a queued call.
//
// A new Start cancels the reading running. A cancelled reading's query is interrupted at its
// next step (the connection's progress handler) and nothing it read is handed back; its
// thread is joined when its end arrives, so the owner's thread never waits for it. The
// reader's end cancels, waits for its threads and drops every call still queued, so nothing
// reaches an owner that has gone: keep the reader as a member of its owner.

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class TSQLiteDatabase;

class BackgroundRead : public QObject {
public:
    // What a job is given on the reading's thread.
    class Reading {
    public:
        TSQLiteDatabase& Db() const { return db_; }
        // True once the reading is cancelled: the job may end early, nothing is handed back.
        bool Stopped() const;
        // Calls `f` on the owner's thread, unless the reading is cancelled or done by then
        // (progress).
        void Post(std::function<void()> f) const;

    private:
        friend class BackgroundRead;
        struct Run;
        Reading(TSQLiteDatabase& db, BackgroundRead* self, std::shared_ptr<Run> run);
        TSQLiteDatabase& db_;
        BackgroundRead* self_;
        std::shared_ptr<Run> run_;
    };

    explicit BackgroundRead(QObject* parent = nullptr);
    // Cancels the reading running and waits for the threads of all.
    ~BackgroundRead() override;
    BackgroundRead(const BackgroundRead&) = delete;
    BackgroundRead& operator=(const BackgroundRead&) = delete;

    // Reads `file` by `job(reading, result)` on a new thread; `done(result, error)` gets what
    // was read on the owner's thread, with the failure's text when the job (or the opening)
    // threw, and then what was read before it.
    template <class Result>
    void Start(std::string file, std::function<void(Reading&, Result&)> job,
               std::function<void(Result, std::string)> done) {
        auto result = std::make_shared<Result>();
        StartRun(
            std::move(file), [result, job = std::move(job)](Reading& r) { job(r, *result); },
            [result, done = std::move(done)](std::string error) {
                if (done)
                    done(std::move(*result), std::move(error));
            });
    }
    // Nothing more is handed back; the thread ends within a moment, without being waited for.
    void Cancel();
    bool Running() const { return running_ != nullptr; }
    // Threads not yet joined, the cancelled ones included.
    int Threads() const { return static_cast<int>(retired_.size()) + (running_ ? 1 : 0); }
    // Blocks until the reading running has ended and hands its result back now (tests,
    // closing).
    void Wait();

private:
    using Run = Reading::Run;
    void StartRun(std::string file, std::function<void(Reading&)> job,
                  std::function<void(std::string)> done);
    void Finished(const std::shared_ptr<Run>& run);

    std::shared_ptr<Run> running_;
    std::vector<std::shared_ptr<Run>> retired_; // cancelled, their threads not joined yet
};
