// The main window's outbound alarms: MQTT publishing and e-mail, each started and restarted
// with its settings section; both take readings after the fuel events.
#include "MainUnit.h"

#include "Config.h"
#include "FuelEvents.h"
#include "MailBridge.h"
#include "MailSetup.h"
#include "MqttBridge.h"
#include "MqttSetup.h"
#include "PasswordStore.h"
#include "SensorLink.h"
#include "TextFormats.h"
#include "TileList.h"
#include "WriteQueue.h"

// After the fuel events, so that a reading's state carries the alarms it caused.
void TForm1::StartMqtt() {
    if (!mqtt_) {
        mqtt_ = std::make_unique<MqttBridge>(MqttBridgeContext{
            VT->Model(), *events_, clock_, [this](const std::string& l) { PrependLog(l); },
            [this](std::optional<int> adr) {
                if (!adr) {
                    AcknowledgeAll1Click();
                } else if (const TItemNode* node = VT->Model().FindNode(unsigned(*adr))) {
                    AcknowledgeAlarm(*node);
                }
            },
            MqttStatus, [this] { return link_ ? link_->Writes()->Waiting() : 0; }});
        link_->AddReadingSink(*mqtt_);
    }
    MqttSettings settings = RMqttData();
    std::string problem;
    if (settings.Configured() && !settings.user.empty()) {
        ReadMqttPassword(&problem);
        if (!problem.empty())
            PrependLog(TextFormats::DateTime(clock_.LocalNow()) + "   " + problem + "\r\n");
    }
    if (const std::string notice = StationPasswords().TakeNotice(); !notice.empty())
        PrependLog(TextFormats::DateTime(clock_.LocalNow()) + "   " + notice + "\r\n");
    mqtt_->Restart(settings);
}

void TForm1::StartMail() {
    if (!mail_) {
        mail_ = std::make_unique<MailBridge>(
            MailBridgeContext{VT->Model(),
                              *events_,
                              clock_,
                              [this](const std::string& l) { PrependLog(l); },
                              MailStatus,
                              dbFile_,
                              {},
                              [this] { return link_ ? link_->Writes()->Waiting() : 0; }});
        link_->AddReadingSink(*mail_);
    }
    mail_->Restart(RMailData());
    // Once a run: where the passwords are kept when there is no system keychain.
    if (const std::string notice = StationPasswords().TakeNotice(); !notice.empty())
        PrependLog(TextFormats::DateTime(clock_.LocalNow()) + "   " + notice + "\r\n");
}
