#pragma once
// Whether a tile's reading may be shown as live. A reading older than three poll cycles,
// or any reading while the line is down, is shown dimmed with its age in words, so that
// nobody takes an old level for the present one. Pure: times are local day numbers.

#include <string>

struct TTileFreshness {
    bool stale = false;
    std::string note; // "no reading for 7 min"; empty when fresh
};

// Three cycles of the scheduler: a 60 s pause plus one second per polled tank each.
double StaleAfterSeconds(int activeTanks);

// `lastReading` is the tank's LDTime (0: none since start and none stored).
TTileFreshness JudgeFreshness(double lastReading, double localNow, bool lineUp, int activeTanks);

// "no reading for 40 s", "… 7 min", "… 3 h", "… 2 days"; "no reading yet" for none.
std::string AgeText(double lastReading, double localNow);
