#include "ConditionLog.h"

#include "TextFormats.h"

namespace {
std::string OneLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            if (!line.empty() && line.back() != ' ')
                line += ' ';
        } else {
            line += c;
        }
    }
    return line;
}
} // namespace

ConditionLog::Outcome ConditionLog::Take(const Condition& c, double localNow) {
    Entry& e = entries_[c.key];
    Outcome o;
    const bool fresh = e.count == 0 || localNow - e.last >= kQuietDays;
    if (fresh) {
        e = Entry{0, localNow, localNow, e.boxOpen};
        o.log = true;
        o.box = c.box && !e.boxOpen;
        e.boxOpen = e.boxOpen || o.box;
    }
    e.last = localNow;
    o.count = ++e.count;
    o.since = e.since;
    return o;
}

void ConditionLog::BoxClosed(const std::string& key) {
    auto it = entries_.find(key);
    if (it != entries_.end())
        it->second.boxOpen = false;
}

bool ConditionLog::BoxOpen(const std::string& key) const {
    auto it = entries_.find(key);
    return it != entries_.end() && it->second.boxOpen;
}

std::string ConditionLog::LogLine(const Condition& c, double localNow) {
    return TextFormats::DateTime(localNow) + "   " + OneLine(c.text) + "\r\n";
}

std::string ConditionLog::RepeatText(const Condition& c, const Outcome& o) {
    return OneLine(c.text) + " (" + std::to_string(o.count) + " times since " +
           TextFormats::LongTime(o.since) + ")";
}
