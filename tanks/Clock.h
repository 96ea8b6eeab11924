#pragma once
// The station's view of time: day numbers since 30/12/1899 00:00, time of day as the
// fraction. Everything that reads the clock takes one of these, so tests can drive time.

// Local time and UTC of one and the same moment.
struct ClockReading {
    double local = 0;
    double utc = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual double LocalNow() const = 0;
    virtual double UtcNow() const = 0;
    // Both from one read of the clock, so that they never straddle a second.
    virtual ClockReading Now() const { return {LocalNow(), UtcNow()}; }
};

// A clock that stands still until it is moved; for tests and simulations.
class ManualClock : public Clock {
public:
    explicit ManualClock(double local = 0, double offsetDays = 0)
        : local_(local), offset_(offsetDays) {}
    double LocalNow() const override { return local_; }
    double UtcNow() const override { return local_ - offset_; }
    void Set(double local) { local_ = local; }
    void AdvanceSeconds(double s) { local_ += s / 86400.0; }
    void SetOffsetDays(double d) { offset_ = d; }

private:
    double local_;
    double offset_;
};
