#pragma once
// Operator messages as the station shows them: modal message boxes and the system beep.

#include "OperatorMessages.h"

#include <QString>

class QWidget;

class QtOperatorMessages : public OperatorMessages {
public:
    void ShowMessage(const std::string& text) override;
    void Beep() override;
};

// Texts reach the operator from two sources: SQLite (UTF-8) and tank records (ISO-8859-1).
QString OperatorText(const std::string& text);
