#include "MqttSetup.h"

#include "Config.h"
#include "PasswordStore.h"
#include "SecretFile.h"
#include "ServerSettings.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSaveFile>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>

QString MqttPasswordFile() {
    return SecretFile(QStringLiteral("mqtt"));
}

std::string ReadMqttPassword(std::string* problem) {
    return StationPasswords().Read(QStringLiteral("mqtt"), problem);
}

bool WriteMqttPassword(const std::string& password) {
    return StationPasswords().Write(QStringLiteral("mqtt"), password);
}

MqttSettings RMqttData() {
    auto store = OpenSettingsStore();
    MqttSettings s;
    auto text = [&](const char* key) {
        return store->value(QStringLiteral("MQTT/") + key).toString().trimmed().toStdString();
    };
    s.host = text("Host");
    bool ok = false;
    const int port = store->value("MQTT/Port").toInt(&ok);
    s.port =
        ok && port > 0 && port < 65536 ? port : (store->value("MQTT/Tls").toBool() ? 8883 : 1883);
    s.clientId = text("ClientId");
    s.user = text("User");
    s.tls = store->value("MQTT/Tls", false).toBool();
    s.caFile = text("CaFile");
    s.prefix = text("Prefix");
    while (!s.prefix.empty() && s.prefix.back() == '/')
        s.prefix.pop_back();
    s.discoveryPrefix = text("DiscoveryPrefix");
    s.commands = store->value("MQTT/Commands", false).toBool();
    s.station = RCentralData().Station.toStdString();
    if (s.Configured())
        s.password = ReadMqttPassword();
    return s;
}

bool WrMqttData(const MqttSettings& from) {
    auto store = OpenSettingsStore();
    auto put = [&](const char* key, const std::string& v) {
        const QString k = QStringLiteral("MQTT/") + key;
        if (v.empty())
            store->remove(k);
        else
            store->setValue(k, QString::fromStdString(v));
    };
    put("Host", from.host);
    store->setValue("MQTT/Port", from.port);
    put("ClientId", from.clientId);
    put("User", from.user);
    store->setValue("MQTT/Tls", from.tls);
    put("CaFile", from.caFile);
    put("Prefix", from.prefix);
    put("DiscoveryPrefix", from.discoveryPrefix);
    store->setValue("MQTT/Commands", from.commands);
    store->sync();
    return store->status() == QSettings::NoError;
}

MqttSettingsDialog::MqttSettingsDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("MQTT broker"));
    auto* form = new QFormLayout;
    std::tie(edHost, sbPort, edUser, edPassword) =
        MakeServerBoxes(QStringLiteral("empty: nothing is published"), QStringLiteral("mqtt"));
    edClientId = new QLineEdit;
    edClientId->setPlaceholderText(QStringLiteral("tavrona-<station>"));
    cbTls = new QCheckBox(QStringLiteral("TLS"));
    edCaFile = new QLineEdit;
    edCaFile->setPlaceholderText(QStringLiteral("the system's certificates"));
    edPrefix = new QLineEdit;
    edPrefix->setPlaceholderText(QStringLiteral("tavrona/<station>"));
    edDiscovery = new QLineEdit;
    edDiscovery->setPlaceholderText(QStringLiteral("homeassistant"));
    cbCommands = new QCheckBox(QStringLiteral("Acknowledge alarms from <prefix>/command/ack"));
    form->addRow(QStringLiteral("Host:"), edHost);
    form->addRow(QStringLiteral("Port:"), sbPort);
    form->addRow(QStringLiteral("Client id:"), edClientId);
    form->addRow(QStringLiteral("User:"), edUser);
    form->addRow(QStringLiteral("Password:"), edPassword);
    form->addRow(QString(), cbTls);
    form->addRow(QStringLiteral("CA file:"), edCaFile);
    form->addRow(QStringLiteral("Topic prefix:"), edPrefix);
    form->addRow(QStringLiteral("Discovery prefix:"), edDiscovery);
    form->addRow(QString(), cbCommands);
    lbProblem = new QLabel;
    lbProblem->setWordWrap(true);
    LayOutSettings(*this, form, {lbProblem}, [this] { return Save(); });
    Load();
}

void MqttSettingsDialog::Load() {
    const MqttSettings s = RMqttData();
    edHost->setText(QString::fromStdString(s.host));
    sbPort->setValue(s.port);
    edClientId->setText(QString::fromStdString(s.clientId));
    edUser->setText(QString::fromStdString(s.user));
    std::string problem;
    edPassword->setText(QString::fromStdString(ReadMqttPassword(&problem)));
    lbProblem->setText(QString::fromStdString(problem));
    cbTls->setChecked(s.tls);
    edCaFile->setText(QString::fromStdString(s.caFile));
    edPrefix->setText(QString::fromStdString(s.prefix));
    edDiscovery->setText(QString::fromStdString(s.discoveryPrefix));
    cbCommands->setChecked(s.commands);
}

bool MqttSettingsDialog::Save() {
    MqttSettings s;
    s.host = edHost->text().trimmed().toStdString();
    s.port = sbPort->value();
    s.clientId = edClientId->text().trimmed().toStdString();
    s.user = edUser->text().trimmed().toStdString();
    s.tls = cbTls->isChecked();
    s.caFile = edCaFile->text().trimmed().toStdString();
    s.prefix = edPrefix->text().trimmed().toStdString();
    s.discoveryPrefix = edDiscovery->text().trimmed().toStdString();
    s.commands = cbCommands->isChecked();
    if (s.prefix.find_first_of("+#") != std::string::npos ||
        s.discoveryPrefix.find_first_of("+#") != std::string::npos) {
        lbProblem->setText(QStringLiteral("A topic prefix cannot hold + or #."));
        return false;
    }
    if (!WrMqttData(s) || !WriteMqttPassword(edPassword->text().toStdString())) {
        lbProblem->setText(NotSavedText());
        return false;
    }
    return true;
}
