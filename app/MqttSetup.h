#pragma once
// The optional [MQTT] section, its password kept apart from the INI, and the dialog that
// edits both (opened from Settings).

#include "MqttMessages.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QSpinBox;

// The password lives in the system keychain, or where there is none in a file of its own
// beside the settings, readable and writable by the user alone (0600); the INI never holds
// it (PasswordStore).
QString MqttPasswordFile();
// The stored password; empty when none is stored. A file that others may read is not used:
// `problem` then says why.
std::string ReadMqttPassword(std::string* problem = nullptr);
// Stores (or, for an empty password, removes) it. False when that failed.
bool WriteMqttPassword(const std::string& password);

// [MQTT] with the password; the station's name is [Central]'s (the host name by default).
MqttSettings RMqttData();
// Writes everything but the password. False when the store could not be written.
bool WrMqttData(const MqttSettings& from);

class MqttSettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit MqttSettingsDialog(QWidget* parent = nullptr);
    // Fills the boxes from the store.
    void Load();
    // Stores what was entered; false (and says why in the dialog) when it could not.
    bool Save();

    QLineEdit *edHost = nullptr, *edClientId = nullptr, *edUser = nullptr, *edPassword = nullptr,
              *edCaFile = nullptr, *edPrefix = nullptr, *edDiscovery = nullptr;
    QSpinBox* sbPort = nullptr;
    QCheckBox *cbTls = nullptr, *cbCommands = nullptr;
    QLabel* lbProblem = nullptr;
};
