#pragma once
// When a tank is normally drawn from, learned from its own readings by hour of the week:
// each whole local hour without a delivery adds what the tank gave out in it. An hour of
// the week in which the tank was still at most a quarter of the times it was seen is idle,
// when the same hour of every day is still at least half the time too (a busy hour of the
// week passes a few weeks without a draw now and then), or, after eight weeks, when it was
// still all but one week in about seven. Until an hour of the week has been seen four
// times, the same hour of every day stands in, so a new tank knows its nights after three
// or four days (the loss detector asks four); a still hour or two between busy ones only
// after a week, as busy hours whose few trucks came elsewhere for days are far likelier
// than a break. Older weeks weigh less, so a changed timetable is learned again within
// some weeks. Pure: no Qt, no clock.

#include <array>
#include <optional>

// Whether `local` (a local day number) lies in the quiet hours the operator set, [from, to)
// in minutes after local midnight, wrapping midnight when from > to; none, or from == to:
// no quiet hours. Quiet hours count as idle whatever was learned.
bool InQuietHours(std::optional<int> from, std::optional<int> to, double local);

// A tank's normal draw in one hour: litres an hour, and its spread from one such hour to
// the next (the standard deviation of the hour's litres).
struct HourDraw {
    double mean = 0;
    double spread = 0;
    bool known = false; // the hour has been seen often enough
    // litres an hour in the hours not drawn from: an idle hour's own steady draw (a
    // heater), which a night's theft does not raise
    double stillMean = 0;
};

class IdleHours {
public:
    static constexpr double kActiveShare = 0.25;   // idle: drawn from at most this share
    static constexpr double kDayActiveShare = 0.5; // and the hour of every day at most this
    // Judged from the hour of every day: one fall in a week (a theft) leaves it idle.
    static constexpr double kDayTheftShare = 0.15;
    static constexpr double kMinSeen = 3;   // times an hour of the day must be seen
    static constexpr double kWeekSeen = 4;  // and an hour of the week, to count alone
    static constexpr double kDrawSeen = 4;  // an hour of the day, for its draw to count
    static constexpr double kKeepWeeks = 8; // weeks that weigh fully
    static constexpr int kBreakRun = 3;     // hours not busy in a row that are no break

    // The hour that began at `local` (a local day number) gave out `litres` (negative when
    // the level rose); `drawn` says whether the tank was drawn from in it.
    void Learn(double local, double litres, bool drawn);
    // Whether the hour of the week around `local` is idle; false while not known. Judged
    // from the hour of every day, that hour must have been seen `daysSeen` times at least
    // (kMinSeen at the least).
    bool Idle(double local, double daysSeen = kMinSeen) const;
    // The normal draw of that hour, nothing while not known; `typicalDraw` is the litres
    // one draw takes (a truck), which sets the least spread.
    HourDraw Draw(double local, double typicalDraw) const;

    template <class Ar> void Fields(Ar& ar) { ar(week_, day_); }

private:
    struct Bin {
        double seen = 0, active = 0, sum = 0, sum2 = 0, stillSum = 0;
        void Add(double litres, bool drawn);
        template <class Ar> void Fields(Ar& ar) { ar(seen, active, sum, sum2, stillSum); }
    };
    std::array<Bin, 168> week_{};
    std::array<Bin, 24> day_{};
    const Bin* Pick(double local) const;
    bool DayBusy(double local) const; // the hour of every day around `local` is drawn from
    // how many of the hours around `local`, itself included, are `still` in a row, up to
    // kBreakRun each way
    template <class Still> int Run(double local, Still still) const;
};
