#pragma once
// What the sensor line and storage report while they work. Reporting returns at once:
// the station decides afterwards, outside the handler that reported, what the operator
// sees (a box, a log line, a count), so polling and storing never wait for the operator.

#include "OperatorMessages.h"

#include <string>
#include <vector>

struct Condition {
    enum class Then { Nothing, ChoosePort };
    // Reports with the same key are one condition repeating (the same insert failing every
    // minute); the text may differ in its details.
    std::string key;
    std::string text; // what the operator reads, a box's fixed text where there is one
    bool box = true;  // false: the Errors log alone
    Then then = Then::Nothing;
};

class Conditions {
public:
    virtual ~Conditions() = default;
    virtual void Report(const Condition& condition) = 0;
    virtual void Beep() = 0; // the system beep: it never waits
};

// A message's key: its text with every number, its sign included, made "#" (the statement
// of a database error names the row's time and values, which differ at every repeat; a
// reading that is no level stores -1 litres).
inline std::string ConditionKey(const std::string& text) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    std::string key;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '-' && i + 1 < text.size() && digit(text[i + 1]))
            continue;
        if (!digit(c))
            key += c;
        else if (key.empty() || key.back() != '#')
            key += '#';
    }
    return key;
}

// For the code that speaks to OperatorMessages (Guarded, the storage helpers): every
// message becomes a condition for a box, keyed by ConditionKey.
class ConditionMessages : public OperatorMessages {
public:
    explicit ConditionMessages(Conditions& conditions) : conditions_(conditions) {}
    void ShowMessage(const std::string& text) override {
        conditions_.Report({ConditionKey(text), text});
    }
    void Beep() override { conditions_.Beep(); }

private:
    Conditions& conditions_;
};

// For tests: what was reported, in order; passed on to `passOn` when set.
class RecordingConditions : public Conditions {
public:
    void Report(const Condition& c) override {
        reported.push_back(c);
        if (c.box)
            shown.push_back(c.text);
        if (passOn)
            passOn->Report(c);
    }
    void Beep() override { ++beeps; }
    Conditions* passOn = nullptr;
    int PortRequests() const {
        int n = 0;
        for (const Condition& c : reported)
            n += c.then == Condition::Then::ChoosePort ? 1 : 0;
        return n;
    }
    std::vector<Condition> reported;
    std::vector<std::string> shown; // the texts of the conditions meant for a box
    int beeps = 0;
};
