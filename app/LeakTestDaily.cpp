#include "LeakTestDaily.h"

#include "InventoryData.h"
#include "LevelQuery.h"
#include "ReportSource.h"
#include "SQLiteDatabase.h"
#include "WriteQueue.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cmath>

struct LeakTestDaily::Run {
    std::atomic<bool> stop{false};
    std::thread thread;
    std::map<int, std::vector<double>> days; // per tank, the days to test
    double offset = 0, nowLocal = 0;
    std::vector<LeakReportRow> rows;
    std::string error;
    bool handed = false; // its results were handed on (a wait, then the queued call)
};

LeakTestDaily::LeakTestDaily(LeakTestDailyContext context, QObject* parent)
    : QObject(parent), ctx_(std::move(context)) {}

LeakTestDaily::~LeakTestDaily() {
    if (run_) {
        run_->stop = true;
        if (run_->thread.joinable())
            run_->thread.join();
    }
}

void LeakTestDaily::Start() {
    try {
        for (const StoredLeakTest& t : NewestLeakTests(ctx_.db))
            lastTested_[t.adr] = t.day;
    } catch (const std::exception& e) {
        if (ctx_.log)
            ctx_.log(std::string("Leak tests are not made: ") + e.what());
        return;
    }
    if (!timer_) {
        timer_ = new QTimer(this);
        timer_->setInterval(kCheckMs);
        connect(timer_, &QTimer::timeout, this, [this] { Check(); });
        timer_->start();
    }
    Check();
}

std::optional<double> LeakTestDaily::LastTested(int adr) const {
    auto it = lastTested_.find(adr);
    return it == lastTested_.end() ? std::nullopt : std::optional<double>(it->second);
}

bool LeakTestDaily::Check() {
    if (run_)
        return false;
    const double offset = LocalOffset(ctx_.clock);
    const double nowLocal = ctx_.clock.LocalNow();
    auto run = std::make_shared<Run>();
    run->offset = offset;
    run->nowLocal = nowLocal;
    for (int adr : ctx_.activeTanks ? ctx_.activeTanks() : std::vector<int>{}) {
        std::vector<double> days = LeakDaysDue(LastTested(adr), nowLocal - kGraceDays);
        if (!days.empty())
            run->days[adr] = std::move(days);
    }
    if (run->days.empty())
        return false;
    run_ = run;
    QPointer<LeakTestDaily> self(this);
    run->thread = std::thread([self, run, file = ctx_.db.FileName()] {
        Test(*run, file);
        // Dropped by Qt when the runner has gone by then; its destructor joined us.
        QMetaObject::invokeMethod(
            self,
            [self, run] {
                if (self)
                    self->Finished(run);
            },
            Qt::QueuedConnection);
    });
    return true;
}

void LeakTestDaily::Test(Run& run, const std::string& file) {
    try {
        TSQLiteDatabase db(file, TSQLiteDatabase::Mode::ReadOnly);
        db.SetInterrupt([&run] { return run.stop.load(); });
        SqliteReportSource source(db);
        for (auto& tank : source.Tanks()) {
            auto due = run.days.find(tank->id);
            if (due == run.days.end() || run.stop)
                continue;
            const std::vector<LeakReportRow> rows = LeakReport(
                source, {tank}, due->second.front(), due->second.back(), run.offset, run.nowLocal);
            run.rows.insert(run.rows.end(), rows.begin(), rows.end());
        }
    } catch (const std::exception& e) {
        run.error = e.what();
    }
}

void LeakTestDaily::Finished(const std::shared_ptr<Run>& run) {
    if (run->thread.joinable())
        run->thread.join();
    if (run_ == run)
        run_.reset();
    if (run->handed)
        return;
    run->handed = true;
    if (!run->error.empty()) {
        // Nothing is stored: the same days are due at the next check.
        if (ctx_.log)
            ctx_.log("Leak tests could not be made: " + run->error);
        emit RunFinished(0);
        return;
    }
    std::vector<StoredLeakTest> stored;
    for (const LeakReportRow& r : run->rows)
        stored.push_back(ToStoredLeakTest(r, run->offset));
    if (!stored.empty()) {
        try {
            ctx_.writes->Submit([stored](TSQLiteDatabase& db) { StoreLeakTests(db, stored); });
        } catch (const std::exception& e) {
            if (ctx_.log)
                ctx_.log(std::string("Leak tests could not be stored: ") + e.what());
        }
    }
    for (std::size_t i = 0; i < run->rows.size(); ++i) {
        const LeakReportRow& r = run->rows[i];
        lastTested_[r.adr] = std::max(lastTested_[r.adr], r.day);
        if (ctx_.tested)
            ctx_.tested(r, stored[i].tested);
    }
    emit RunFinished(static_cast<int>(run->rows.size()));
}

void LeakTestDaily::WaitForRun() {
    if (!run_)
        return;
    const std::shared_ptr<Run> run = run_;
    if (run->thread.joinable())
        run->thread.join();
    Finished(run);
}
