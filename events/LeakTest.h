#pragma once
// The automatic leak test of one tank: idle periods of the last 28 days pooled, net volume
// at 15 °C regressed against time with one level per period and one common slope. Pure: it
// takes readings and the tank's deliveries and losses, and returns its numbers, so one table
// of worked examples tests it and one benchmark measures it.
//
// - A period is a stretch of readings in the tank's idle hours without a gap of more than 5
//   minutes, without a delivery or loss, beginning kSettleHours after a delivery ended, and
//   without a draw: it is cut wherever two 15-reading means one or two apart differ by more
//   than the noise allows. Periods shorter than kMinPeriodMin are not used.
// - Idle hours are learned from the window's own readings by hour of the week, as the
//   detector learns them (IdleHours): an hour is drawn from when its 15-reading means step
//   or fall beyond the noise. The quiet hours set for the tank are idle too. Time the tank is
//   normally drawn from is never pooled, however still it stays now and then: a tank drawn
//   from round the clock has no periods, and its test is inconclusive.
// - The slope's uncertainty is the larger of what the residuals give and what the spread of
//   the periods' own slopes gives (the net litres wobble with the whole degrees).
// - Fail: the leak rate is at least the threshold (half the rate to be detected) and the
//   test is decisive, or the rate is beyond the threshold by 1.645 of its uncertainty.
//   Pass: the rate is below the threshold and the test is decisive: its uncertainty is
//   small enough that a leak of the rate to be detected would fail with 95 % probability
//   (and no leak would with 5 %), from kMinPeriodsToPass periods at least. Otherwise
//   inconclusive.

#include "EventRecords.h"

#include <optional>
#include <string>
#include <vector>

struct LeakReading {
    double utc = 0;
    int32_t gross = 0;
    int temp = 0;
};

struct LeakTestInput {
    std::vector<LeakReading> readings; // in time order, the last kWindowDays at least
    std::vector<EventRow> events;      // deliveries and losses (others are ignored)
    std::optional<double> density;     // kg/m³ at 15 °C; none: gross litres
    double now = 0;                    // UTC day number the test is made at
    double offset = 0;                 // local minus UTC, days (idle hours are local)
    // Quiet hours set for the tank: minutes after local midnight, [from, to), may wrap.
    std::optional<int> quietFrom, quietTo;
    double detectRate = 0.76; // l/h to be detected
};

enum class LeakVerdict { Pass, Fail, Inconclusive };

struct LeakTestResult {
    LeakVerdict verdict = LeakVerdict::Inconclusive;
    double rate = 0;         // l/h lost (negative: gained)
    double bound = 0;        // upper 95 % bound of the rate
    double threshold = 0;    // l/h: half the rate to be detected
    double sigma = 0;        // the rate's standard uncertainty, l/h
    int periods = 0;         // idle periods used
    double hours = 0;        // their total length
    double from = 0, to = 0; // the days the readings used span (UTC)
};

namespace LeakTest {
inline constexpr double kWindowDays = 28;
inline constexpr double kSettleHours = 6;
inline constexpr double kMinPeriodMin = 30;
inline constexpr double kZ = 1.645; // one-sided 95 %
// A pass also needs this many periods: the uncertainty of a few nights is itself too
// uncertain (the net litres' wobble is not independent from minute to minute).
inline constexpr int kMinPeriodsToPass = 14;

LeakTestResult Run(const LeakTestInput& in);

// What the station's alarm takes from a day's result. A fail from fewer idle periods than a
// pass needs raises nothing: a tank drawn from round the clock shows one or two long
// "periods" a day falling at its use, which no test can tell from a leak.
inline LeakVerdict AlarmVerdict(const LeakTestResult& r) {
    return r.verdict == LeakVerdict::Fail && r.periods < kMinPeriodsToPass
               ? LeakVerdict::Inconclusive
               : r.verdict;
}

// "pass", "fail", "inconclusive"
const char* VerdictText(LeakVerdict v);
} // namespace LeakTest
