#pragma once
// Records what would be shown; a test may run more of the station while a "box" is open.

#include "OperatorMessages.h"

#include <algorithm>
#include <functional>
#include <string>

class NestingMessages : public RecordingMessages {
public:
    void ShowMessage(const std::string& text) override {
        RecordingMessages::ShowMessage(text);
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        if (whileOpen)
            whileOpen(text);
        --depth;
    }
    std::function<void(const std::string&)> whileOpen;
    int depth = 0, maxDepth = 0;
};
