#pragma once
// Decides what the operator sees of the conditions the line and storage report: the first
// report of a condition is a line in the Errors log (and its box, where it has one); while
// it goes on repeating, it is only counted. A condition quiet for kQuietDays is new again
// when it comes back. Pure: times are local day numbers.

#include "Conditions.h"

#include <map>
#include <string>

class ConditionLog {
public:
    static constexpr double kQuietDays = 1.0 / 24; // an hour

    struct Outcome {
        bool log = false; // put a line in the Errors log
        bool box = false; // open the condition's box
        int count = 0;    // reports of it since it began
        double since = 0; // when it began
    };
    Outcome Take(const Condition& c, double localNow);
    // The condition's box was closed: a later report of it opens none until it has been
    // quiet (the count goes on).
    void BoxClosed(const std::string& key);
    bool BoxOpen(const std::string& key) const;

    // The Errors log line of a condition: the text on one line, after the time.
    static std::string LogLine(const Condition& c, double localNow);
    // The status bar's line for a repeat: "text (n times since hh:mm:ss)".
    static std::string RepeatText(const Condition& c, const Outcome& o);

private:
    struct Entry {
        int count = 0;
        double since = 0, last = 0;
        bool boxOpen = false;
    };
    std::map<std::string, Entry> entries_;
};
