#pragma once
// The optional [Mail] section (the password kept apart, see PasswordStore) and the dialog that
// edits it, with "Send test mail".

#include "Mail.h"

#include <QDialog>

#include <atomic>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

MailSettings RMailData();
bool WrMailData(const MailSettings& from);

class MailSettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit MailSettingsDialog(QWidget* parent = nullptr);
    ~MailSettingsDialog() override;
    void Load();
    // What the boxes hold; false (and `error` says why) when they do not make settings.
    bool Entered(MailSettings& s, std::string& error) const;
    bool Save();
    // Sends a test mail with what is entered, on a thread of its own; the answer shows below.
    void SendTestMail();

    QLineEdit *edHost = nullptr, *edUser = nullptr, *edPassword = nullptr, *edFrom = nullptr,
              *edRecipients = nullptr, *edSummaryAt = nullptr;
    QSpinBox *sbPort = nullptr, *sbStale = nullptr, *sbRate = nullptr;
    QComboBox* cbSecurity = nullptr;
    QPushButton* btnTest = nullptr;
    QLabel* lbAnswer = nullptr;

private:
    // Set when the dialog goes: the test mail's transfer, if still under way, is abandoned
    // in the background instead of holding the dialog's close.
    std::shared_ptr<std::atomic<bool>> abandonTest_;
};
