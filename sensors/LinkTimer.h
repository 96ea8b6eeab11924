#pragma once
// The timers of the sensor line (the poll timer and the receive gap timer) behind one small
// interface: QTimer for the station, a manual time line for tests, which then run hours of
// polling in milliseconds.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QTimer;
class ManualClock;

class LinkTimer {
public:
    virtual ~LinkTimer() = default;
    // Setting the interval it already has changes nothing; a different one restarts the
    // wait from now when the timer runs, and never starts a stopped timer.
    virtual void SetInterval(int ms) = 0;
    virtual int Interval() const = 0;
    virtual void SetEnabled(bool on) = 0;
    virtual bool Enabled() const = 0;
    // Starts (or restarts) the wait with the given interval.
    void Start(int ms) {
        SetEnabled(false);
        SetInterval(ms);
        SetEnabled(true);
    }
    std::function<void()> onTimeout;
};

// Over QTimer, on the thread that creates it.
class QtLinkTimer : public LinkTimer {
public:
    explicit QtLinkTimer(bool singleShot);
    ~QtLinkTimer() override;
    void SetInterval(int ms) override;
    int Interval() const override;
    void SetEnabled(bool on) override;
    bool Enabled() const override;

private:
    std::unique_ptr<QTimer> timer_;
};

class ManualTimer;

// Test time: a millisecond count moved only by Advance, which fires the timers and the
// scheduled actions that fall due, in time order, and keeps an optional clock in step.
class ManualTimeline {
public:
    explicit ManualTimeline(ManualClock* clock = nullptr, double clockStart = 0);
    ~ManualTimeline();
    int64_t NowMs() const { return now_; }
    std::unique_ptr<LinkTimer> NewTimer(bool singleShot);
    // Runs an action at the given time (at once when it is already past by Advance).
    void At(int64_t ms, std::function<void()> action);
    void AdvanceTo(int64_t ms);
    void Advance(int64_t ms) { AdvanceTo(now_ + ms); }

private:
    friend class ManualTimer;
    struct Action {
        int64_t at;
        uint64_t order;
        std::function<void()> run;
    };
    void SetNow(int64_t ms);
    bool RunNext(int64_t limit);

    int64_t now_ = 0;
    uint64_t nextOrder_ = 0;
    ManualClock* clock_;
    double clockStart_;
    std::vector<ManualTimer*> timers_;
    std::vector<Action> actions_;
};

class ManualTimer : public LinkTimer {
public:
    ManualTimer(ManualTimeline& line, bool singleShot);
    ~ManualTimer() override;
    void SetInterval(int ms) override;
    int Interval() const override { return interval_; }
    void SetEnabled(bool on) override;
    bool Enabled() const override { return enabled_; }
    int64_t Due() const { return due_; }
    int Fired() const { return fired_; }

private:
    friend class ManualTimeline;
    void Fire();
    void Arm();
    ManualTimeline* line_;
    bool singleShot_;
    bool enabled_ = false;
    int interval_ = 0;
    int64_t due_ = 0;
    uint64_t armed_ = 0; // order of arming, so equal due times fire first armed first
    int fired_ = 0;
};
