#pragma once
// The Settings dialog: picks the serial port, stores the choice and reconnects the link.

#include "PortList.h"

#include <QComboBox>
#include <QDialog>

#include <functional>
#include <memory>
#include <vector>

class OperatorMessages;
struct TSetup;
class QButtonGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// A pick-only drop-down list that says when it is about to open, so that the dialog can
// refill it with the ports present at that moment.
class PortComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    std::function<void()> onDropDown;
    void showPopup() override;
};

class TForm2 : public QDialog {
    Q_OBJECT
public:
    // `settings` are the station's (the main window's), shown at each showing and changed
    // by "Ok"; `deviceConnect` reconnects the serial link with them (the main window's
    // DeviceConnect). `ports` defaults to the platform's list.
    TForm2(OperatorMessages& messages, TSetup& settings, std::function<void()> deviceConnect,
           std::unique_ptr<PortListSource> ports = std::make_unique<SystemPortList>(),
           QWidget* parent = nullptr);

    // The one way to ask for the dialog (menu "Settings", and the station when the line
    // needs a port). Hidden: shows it modally and returns when it has closed. Already open:
    // only raises it.
    void RequestShow();

    // Handlers.
    void FormShow();       // each showing: refill the list, preselect port and mode
    void cbPortDropDown(); // the list opens: refill it, keep the current choice
    void Button1Click();   // "Ok": apply the choice

    // The central server: what was entered changes [Central], stored and in the settings,
    // on "Ok" and then runs `changed` (the main window restarts its sending).
    void SetCentralChanged(std::function<void()> changed) { centralChanged_ = std::move(changed); }
    // Asks the server in the background and shows its answer; a seam for tests.
    std::function<std::string(const std::string&)> centralProbe;
    void btnTestCentralClick();

    PortComboBox* cbPort = nullptr;
    QLineEdit* edCentralConnection = nullptr;
    QLineEdit* edCentralStation = nullptr;
    QPushButton* btnTestCentral = nullptr;
    QLabel* lbCentralAnswer = nullptr;
    QGroupBox* WrkMode = nullptr; // disabled: only shows the mode
    QButtonGroup* WrkModeItems = nullptr;
    QComboBox* cbCodePage = nullptr;    // the code page of texts stored by older programs
    QLineEdit* edShiftStarts = nullptr; // "06:00,18:00", empty for calendar days
    QPushButton* Button1 = nullptr;
    // "MQTT..." opens the broker's settings (the main window's dialog and restart).
    std::function<void()> openMqtt;
    QPushButton* btnMqtt = nullptr;
    // "E-mail..." opens the e-mail alarms' settings.
    std::function<void()> openMail;
    QPushButton* btnMail = nullptr;
    // Whether the line is down: "Ok" on the unchanged choice then reconnects at once.
    std::function<bool()> lineDown;

protected:
    // The modal showing; a seam so that tests never block on it.
    virtual void RunModal();
    void showEvent(QShowEvent* event) override;

private:
    void CreateControls();
    void FillPortList();
    void FitToPortNames();
    void SelectPort(const QString& name);
    bool ChoiceUnchanged() const;
    bool LinkChoiceUnchanged() const;
    QString ChosenPort() const;
    void ApplyChoice();
    void AddCentralGroup();
    void AddShiftGroup();
    bool ShiftStartsValid();
    std::vector<int> EnteredShiftStarts() const;
    void ApplyCentral();

    OperatorMessages& messages_;
    TSetup& CfgData;
    std::function<void()> deviceConnect_;
    std::unique_ptr<PortListSource> ports_;
    QGroupBox* portBox_ = nullptr;
    QStringList entries_;
    std::function<void()> centralChanged_;
};

// Position of a working mode in ("Direct", "Logger"); -1 when it is neither.
int WorkModeIndex(const QString& mode);
// The stored text for a radio position: "Logger" for 1, "Direct" for anything else.
QString WorkModeText(int index);
