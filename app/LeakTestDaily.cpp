#include "LeakTestDaily.h"

#include "InventoryData.h"
#include "LevelQuery.h"
#include "ReportSource.h"
#include "SQLiteDatabase.h"
#include "WriteQueue.h"

#include <QTimer>

#include <algorithm>
#include <cmath>

LeakTestDaily::LeakTestDaily(LeakTestDailyContext context, QObject* parent)
    : QObject(parent), ctx_(std::move(context)) {}

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
    if (reads_.Running())
        return false;
    const double offset = LocalOffset(ctx_.clock);
    const double nowLocal = ctx_.clock.LocalNow();
    Days due;
    for (int adr : ctx_.activeTanks ? ctx_.activeTanks() : std::vector<int>{}) {
        std::vector<double> days = LeakDaysDue(LastTested(adr), nowLocal - kGraceDays);
        if (!days.empty())
            due[adr] = std::move(days);
    }
    if (due.empty())
        return false;
    reads_.Start<std::vector<LeakReportRow>>(
        ctx_.db.FileName(),
        [due = std::move(due), offset, nowLocal](BackgroundRead::Reading& reading,
                                                 std::vector<LeakReportRow>& rows) {
            Test(reading, due, offset, nowLocal, rows);
        },
        [this, offset](std::vector<LeakReportRow> rows, std::string error) {
            Finished(rows, error, offset);
        });
    return true;
}

void LeakTestDaily::Test(BackgroundRead::Reading& reading, const Days& days, double offset,
                         double nowLocal, std::vector<LeakReportRow>& rows) {
    SqliteReportSource source(reading.Db());
    for (auto& tank : source.Tanks()) {
        auto due = days.find(tank->id);
        if (due == days.end() || reading.Stopped())
            continue;
        const std::vector<LeakReportRow> tested =
            LeakReport(source, {tank}, due->second.front(), due->second.back(), offset, nowLocal);
        rows.insert(rows.end(), tested.begin(), tested.end());
    }
}

void LeakTestDaily::Finished(const std::vector<LeakReportRow>& rows, const std::string& error,
                             double offset) {
    if (!error.empty()) {
        // Nothing is stored: the same days are due at the next check.
        if (ctx_.log)
            ctx_.log("Leak tests could not be made: " + error);
        emit RunFinished(0);
        return;
    }
    std::vector<StoredLeakTest> stored;
    for (const LeakReportRow& r : rows)
        stored.push_back(ToStoredLeakTest(r, offset));
    if (!stored.empty()) {
        try {
            ctx_.writes->Submit([stored](TSQLiteDatabase& db) { StoreLeakTests(db, stored); });
        } catch (const std::exception& e) {
            if (ctx_.log)
                ctx_.log(std::string("Leak tests could not be stored: ") + e.what());
        }
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const LeakReportRow& r = rows[i];
        lastTested_[r.adr] = std::max(lastTested_[r.adr], r.day);
        if (ctx_.tested)
            ctx_.tested(r, stored[i].tested);
    }
    emit RunFinished(static_cast<int>(rows.size()));
}

void LeakTestDaily::WaitForRun() {
    reads_.Wait();
}
