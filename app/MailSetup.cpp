#include "MailSetup.h"

#include "Config.h"
#include "DayNumbers.h"
#include "MailWorker.h"
#include "PasswordStore.h"
#include "ServerSettings.h"
#include "SystemClock.h"
#include "TextFormats.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>

#include <thread>

namespace {
const char* kSecurity[] = {"none", "starttls", "tls"};

std::optional<int> SummaryMinute(const QString& text) {
    const QStringList parts = text.trimmed().split(':');
    bool okH = false, okM = false;
    if (parts.size() != 2)
        return std::nullopt;
    const int h = parts[0].toInt(&okH), m = parts[1].toInt(&okM);
    if (!okH || !okM || h < 0 || h > 23 || m < 0 || m > 59)
        return std::nullopt;
    return h * 60 + m;
}
} // namespace

MailSettings RMailData() {
    auto store = OpenSettingsStore();
    MailSettings s;
    auto text = [&](const char* key) {
        return store->value(QStringLiteral("Mail/") + key).toString().trimmed();
    };
    s.host = text("Host").toStdString();
    const QString security = text("Security").toLower();
    s.security = security == "none"  ? MailSecurity::None
                 : security == "tls" ? MailSecurity::Tls
                                     : MailSecurity::StartTls;
    bool ok = false;
    const int port = text("Port").toInt(&ok);
    s.port = ok && port > 0 && port < 65536 ? port : s.security == MailSecurity::Tls ? 465 : 587;
    s.user = text("User").toStdString();
    s.from = text("From").toStdString();
    // Recipients that cannot be read send nothing rather than mail to a wrong address.
    Mail::ParseRecipients(text("Recipients").toStdString(), s.recipients, nullptr);
    s.staleMinutes = std::max(0, text("StaleMinutes").toInt());
    s.summaryMinute = SummaryMinute(text("SummaryAt")).value_or(-1);
    const int rate = text("RateMinutes").toInt(&ok);
    s.rateMinutes = ok && rate >= 0 ? rate : 30;
    s.station = RCentralData().Station.toStdString();
    if (s.Configured())
        s.password = StationPasswords().Read(QStringLiteral("mail"));
    return s;
}

bool WrMailData(const MailSettings& from) {
    auto store = OpenSettingsStore();
    store->setValue("Mail/Host", QString::fromStdString(from.host));
    store->setValue("Mail/Port", from.port);
    store->setValue("Mail/Security", kSecurity[static_cast<int>(from.security)]);
    store->setValue("Mail/User", QString::fromStdString(from.user));
    store->setValue("Mail/From", QString::fromStdString(from.from));
    store->setValue("Mail/Recipients",
                    QString::fromStdString(Mail::RecipientsText(from.recipients)));
    store->setValue("Mail/StaleMinutes", from.staleMinutes);
    if (from.summaryMinute >= 0)
        store->setValue("Mail/SummaryAt", QString::asprintf("%02d:%02d", from.summaryMinute / 60,
                                                            from.summaryMinute % 60));
    else
        store->remove("Mail/SummaryAt");
    store->setValue("Mail/RateMinutes", from.rateMinutes);
    store->sync();
    return store->status() == QSettings::NoError;
}

MailSettingsDialog::MailSettingsDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("E-mail alarms"));
    auto* form = new QFormLayout;
    std::tie(edHost, sbPort, edUser, edPassword) =
        MakeServerBoxes(QStringLiteral("empty: no mail is sent"), QStringLiteral("mail"));
    cbSecurity = new QComboBox;
    cbSecurity->addItems(
        {QStringLiteral("None"), QStringLiteral("STARTTLS"), QStringLiteral("TLS")});
    edFrom = new QLineEdit;
    edRecipients = new QLineEdit;
    edRecipients->setPlaceholderText(
        QStringLiteral("guard@x: loss, silent @ 22:00-06:00; boss@x: summary"));
    edRecipients->setToolTip(
        QStringLiteral("One entry per ';': the address, after ':' the kinds (low, high, silent, "
                       "loss, leak, stale, summary; none: every alarm), after '@' the hours as "
                       "hh:mm-hh:mm"));
    sbStale = new QSpinBox;
    sbStale->setRange(0, kMinutesPerDay);
    sbStale->setSpecialValueText(QStringLiteral("off"));
    sbStale->setSuffix(QStringLiteral(" min"));
    edSummaryAt = new QLineEdit;
    edSummaryAt->setPlaceholderText(QStringLiteral("hh:mm, empty: none"));
    sbRate = new QSpinBox;
    sbRate->setRange(0, kMinutesPerDay);
    sbRate->setSuffix(QStringLiteral(" min"));
    form->addRow(QStringLiteral("SMTP host:"), edHost);
    form->addRow(QStringLiteral("Port:"), sbPort);
    form->addRow(QStringLiteral("Security:"), cbSecurity);
    form->addRow(QStringLiteral("User:"), edUser);
    form->addRow(QStringLiteral("Password:"), edPassword);
    form->addRow(QStringLiteral("From:"), edFrom);
    form->addRow(QStringLiteral("Recipients:"), edRecipients);
    form->addRow(QStringLiteral("No reading for:"), sbStale);
    form->addRow(QStringLiteral("Daily summary at:"), edSummaryAt);
    form->addRow(QStringLiteral("One mail per alarm in:"), sbRate);
    btnTest = new QPushButton(QStringLiteral("Send test mail"));
    lbAnswer = new QLabel;
    lbAnswer->setWordWrap(true);
    lbAnswer->setTextInteractionFlags(Qt::TextSelectableByMouse);
    connect(btnTest, &QPushButton::clicked, this, &MailSettingsDialog::SendTestMail);
    LayOutSettings(*this, form, {btnTest, lbAnswer}, [this] { return Save(); });
    Load();
}

MailSettingsDialog::~MailSettingsDialog() {
    if (abandonTest_)
        *abandonTest_ = true;
}

void MailSettingsDialog::Load() {
    const MailSettings s = RMailData();
    edHost->setText(QString::fromStdString(s.host));
    sbPort->setValue(s.port);
    cbSecurity->setCurrentIndex(static_cast<int>(s.security));
    edUser->setText(QString::fromStdString(s.user));
    std::string problem;
    edPassword->setText(
        QString::fromStdString(StationPasswords().Read(QStringLiteral("mail"), &problem)));
    lbAnswer->setText(QString::fromStdString(problem));
    edFrom->setText(QString::fromStdString(s.from));
    edRecipients->setText(QString::fromStdString(Mail::RecipientsText(s.recipients)));
    sbStale->setValue(s.staleMinutes);
    edSummaryAt->setText(s.summaryMinute < 0 ? QString()
                                             : QString::asprintf("%02d:%02d", s.summaryMinute / 60,
                                                                 s.summaryMinute % 60));
    sbRate->setValue(s.rateMinutes);
}

bool MailSettingsDialog::Entered(MailSettings& s, std::string& error) const {
    s = MailSettings{};
    s.host = edHost->text().trimmed().toStdString();
    s.port = sbPort->value();
    s.security = static_cast<MailSecurity>(cbSecurity->currentIndex());
    s.user = edUser->text().trimmed().toStdString();
    s.password = edPassword->text().toStdString();
    s.from = edFrom->text().trimmed().toStdString();
    s.staleMinutes = sbStale->value();
    s.rateMinutes = sbRate->value();
    s.station = RCentralData().Station.toStdString();
    if (!s.from.empty() && !Mail::AddressValid(s.from)) {
        error = "\"" + s.from + "\" is not an e-mail address";
        return false;
    }
    if (!Mail::ParseRecipients(edRecipients->text().toStdString(), s.recipients, &error))
        return false;
    if (!edSummaryAt->text().trimmed().isEmpty()) {
        const auto minute = SummaryMinute(edSummaryAt->text());
        if (!minute) {
            error = "The daily summary's time must be hh:mm";
            return false;
        }
        s.summaryMinute = *minute;
    }
    return true;
}

bool MailSettingsDialog::Save() {
    MailSettings s;
    std::string error;
    if (!Entered(s, error)) {
        lbAnswer->setText(QString::fromStdString(error));
        return false;
    }
    if (!WrMailData(s) || !StationPasswords().Write(QStringLiteral("mail"), s.password)) {
        lbAnswer->setText(NotSavedText());
        return false;
    }
    return true;
}

void MailSettingsDialog::SendTestMail() {
    MailSettings s;
    std::string error;
    if (!Entered(s, error)) {
        lbAnswer->setText(QString::fromStdString(error));
        return;
    }
    std::vector<std::string> to;
    for (const MailRecipient& r : s.recipients)
        to.push_back(r.address);
    if (!s.Configured() || to.empty()) {
        lbAnswer->setText(QStringLiteral("Enter the host, the sender and a recipient first."));
        return;
    }
    SystemClock clock;
    const Mail::Message m = Mail::TestMessage(s, TextFormats::DateTime(clock.LocalNow()), to,
                                              QDateTime::currentSecsSinceEpoch());
    btnTest->setEnabled(false);
    lbAnswer->setText(QStringLiteral("Sending..."));
    QPointer<MailSettingsDialog> self(this);
    auto abandon = std::make_shared<std::atomic<bool>>(false);
    abandonTest_ = abandon;
    // Detached: closing the dialog never waits for a server that takes its time; the
    // transfer then ends at its next progress call.
    std::thread([self, s, abandon, job = MailJob{to, Mail::Build(m), "test mail", {}}] {
        const std::string error =
            MailWorker::SendOnce(s, job, [abandon] { return abandon->load(); });
        // To the application, which outlives the dialog; the dialog may be gone by now.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, error] {
                if (!self)
                    return;
                self->btnTest->setEnabled(true);
                self->lbAnswer->setText(error.empty()
                                            ? QStringLiteral("The test mail was sent.")
                                            : QString::fromStdString("Not sent: " + error));
            },
            Qt::QueuedConnection);
    }).detach();
}
