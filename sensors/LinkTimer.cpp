#include "LinkTimer.h"

#include "Clock.h"
#include "DayNumbers.h"

#include <QTimer>

#include <algorithm>

QtLinkTimer::QtLinkTimer(bool singleShot) : timer_(std::make_unique<QTimer>()) {
    timer_->setSingleShot(singleShot);
    timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer_.get(), &QTimer::timeout, [this] {
        if (onTimeout)
            onTimeout();
    });
}

QtLinkTimer::~QtLinkTimer() = default;

void QtLinkTimer::SetInterval(int ms) {
    if (ms != timer_->interval())
        timer_->setInterval(ms); // QTimer restarts a running wait itself
}

int QtLinkTimer::Interval() const {
    return timer_->interval();
}

void QtLinkTimer::SetEnabled(bool on) {
    if (on && !timer_->isActive())
        timer_->start();
    else if (!on)
        timer_->stop();
}

bool QtLinkTimer::Enabled() const {
    return timer_->isActive();
}

ManualTimeline::ManualTimeline(ManualClock* clock, double clockStart)
    : clock_(clock), clockStart_(clockStart) {
    SetNow(0);
}

ManualTimeline::~ManualTimeline() {
    for (ManualTimer* t : timers_)
        t->line_ = nullptr;
}

std::unique_ptr<LinkTimer> ManualTimeline::NewTimer(bool singleShot) {
    return std::make_unique<ManualTimer>(*this, singleShot);
}

void ManualTimeline::At(int64_t ms, std::function<void()> action) {
    actions_.push_back({ms, nextOrder_++, std::move(action)});
}

void ManualTimeline::AdvanceTo(int64_t ms) {
    while (RunNext(ms)) {
    }
    SetNow(std::max(ms, now_));
}

void ManualTimeline::SetNow(int64_t ms) {
    now_ = ms;
    if (clock_)
        clock_->Set(clockStart_ + static_cast<double>(ms) / kMsPerDay);
}

// Runs the earliest timer or action due by the limit; false when none is.
bool ManualTimeline::RunNext(int64_t limit) {
    ManualTimer* timer = nullptr;
    for (ManualTimer* t : timers_)
        if (t->enabled_ && (!timer || t->due_ < timer->due_ ||
                            (t->due_ == timer->due_ && t->armed_ < timer->armed_)))
            timer = t;
    auto action = std::min_element(actions_.begin(), actions_.end(), [](auto& a, auto& b) {
        return a.at < b.at || (a.at == b.at && a.order < b.order);
    });
    const bool actionFirst =
        action != actions_.end() && (!timer || action->at < timer->due_ ||
                                     (action->at == timer->due_ && action->order < timer->armed_));
    if (actionFirst && action->at <= limit) {
        SetNow(std::max(action->at, now_));
        auto run = std::move(action->run);
        actions_.erase(action);
        run();
        return true;
    }
    if (timer && timer->due_ <= limit) {
        SetNow(std::max(timer->due_, now_));
        timer->Fire();
        return true;
    }
    return false;
}

ManualTimer::ManualTimer(ManualTimeline& line, bool singleShot)
    : line_(&line), singleShot_(singleShot) {
    line.timers_.push_back(this);
}

ManualTimer::~ManualTimer() {
    if (line_)
        std::erase(line_->timers_, this);
}

void ManualTimer::SetInterval(int ms) {
    if (ms == interval_)
        return;
    interval_ = ms;
    if (enabled_)
        Arm();
}

void ManualTimer::SetEnabled(bool on) {
    if (on && !enabled_)
        Arm();
    enabled_ = on;
}

void ManualTimer::Arm() {
    enabled_ = true;
    if (line_) {
        due_ = line_->NowMs() + std::max(interval_, 0);
        armed_ = line_->nextOrder_++;
    }
}

void ManualTimer::Fire() {
    ++fired_;
    if (singleShot_)
        enabled_ = false;
    else
        Arm(); // the next wait runs from now; the handler may change it
    if (onTimeout)
        onTimeout();
}
