#pragma once
// Everything the station says to the operator goes through this: modal message boxes and
// the system beep. The station shows real boxes; tests record them, so none ever blocks.

#include <functional>
#include <string>
#include <vector>

class OperatorMessages {
public:
    virtual ~OperatorMessages() = default;
    virtual void ShowMessage(const std::string& text) = 0; // modal; returns when dismissed
    virtual void Beep() = 0;
    // The same box, but this returns at once; `closed` runs once the operator dismissed it.
    // Nothing waits for the operator meanwhile.
    virtual void OpenMessage(const std::string& text, std::function<void()> closed) {
        ShowMessage(text);
        if (closed)
            closed();
    }
};

class RecordingMessages : public OperatorMessages {
public:
    void ShowMessage(const std::string& text) override { shown.push_back(text); }
    void Beep() override { ++beeps; }
    std::vector<std::string> shown;
    int beeps = 0;
};

// The general error report: runs an event handler's work and shows the text of whatever
// it raises in a message box, so that no exception ever reaches the event loop.
#include <exception>
template <class F> bool Guarded(OperatorMessages& messages, F&& work) {
    try {
        work();
        return true;
    } catch (const std::exception& e) {
        messages.ShowMessage(e.what());
    } catch (...) {
        messages.ShowMessage("Unknown error");
    }
    return false;
}
