#pragma once
// Operator messages as the station shows them: modal message boxes and the system beep.

#include "OperatorMessages.h"

#include <QString>

class QWidget;

class QtOperatorMessages : public OperatorMessages {
public:
    void ShowMessage(const std::string& text) override;
    void Beep() override;
    void OpenMessage(const std::string& text, std::function<void()> closed) override;
};

// A message or log line as the operator reads it: its bytes (SQLite's texts, and tank names
// as stored) through the station's one text conversion, line breaks made plain.
QString OperatorText(const std::string& text);
