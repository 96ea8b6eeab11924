#pragma once
// When a tank is normally drawn from, learned from its own readings by hour of the week:
// each whole local hour without a delivery or loss adds what the tank gave out in it. An
// hour of the week in which the tank was still at most a quarter of the times it was seen
// is idle. Until an hour of the week has been seen four times, the same hour of the other
// days stands in for it, so a new tank knows its nights after two days (an hour of a busy
// time can pass without a draw; four weeks of it rarely do). Older weeks weigh less,
// so a changed timetable is learned again within some weeks. Pure: no Qt, no clock.

#include <array>

// A tank's normal draw in one hour: litres an hour, and its spread from one such hour to
// the next (the standard deviation of the hour's litres).
struct HourDraw {
    double mean = 0;
    double spread = 0;
    bool known = false; // the hour has been seen often enough
};

class IdleHours {
public:
    static constexpr double kActiveShare = 0.25; // idle: drawn from at most this share
    static constexpr double kMinSeen = 2;        // times an hour of the day must be seen
    static constexpr double kWeekSeen = 4;       // and an hour of the week, to count alone
    static constexpr double kKeepWeeks = 8;      // weeks that weigh fully

    // The hour that began at `local` (a local day number) gave out `litres` (a rise counts
    // as nothing); more than `activeLitres` means the tank was drawn from.
    void Learn(double local, double litres, double activeLitres);
    // Whether the hour of the week around `local` is idle; false while not known.
    bool Idle(double local) const;
    // The normal draw of that hour, nothing while not known; `typicalDraw` is the litres
    // one draw takes (a truck), which sets the least spread.
    HourDraw Draw(double local, double typicalDraw) const;

    template <class Ar> void Fields(Ar& ar) { ar(week_, day_); }

private:
    struct Bin {
        double seen = 0, active = 0, sum = 0, sum2 = 0;
        void Add(double litres, bool drawn);
        template <class Ar> void Fields(Ar& ar) { ar(seen, active, sum, sum2); }
    };
    std::array<Bin, 168> week_{};
    std::array<Bin, 24> day_{};
    const Bin* Pick(double local) const;
};
