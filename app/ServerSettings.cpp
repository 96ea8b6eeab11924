#include "ServerSettings.h"

#include "Config.h"
#include "PasswordStore.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

std::tuple<QLineEdit*, QSpinBox*, QLineEdit*, QLineEdit*> MakeServerBoxes(const QString& noHost,
                                                                          const QString& secret) {
    auto* host = new QLineEdit;
    host->setPlaceholderText(noHost);
    auto* port = new QSpinBox;
    port->setRange(1, 65535);
    auto* password = new QLineEdit;
    password->setEchoMode(QLineEdit::Password);
    password->setToolTip(PasswordStore::Place(secret));
    return {host, port, new QLineEdit, password};
}

void LayOutSettings(QDialog& dialog, QFormLayout* form, const QList<QWidget*>& below,
                    std::function<bool()> save) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog,
                     [&dialog, save = std::move(save)] {
                         if (save())
                             dialog.accept();
                     });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* v = new QVBoxLayout(&dialog);
    v->addLayout(form);
    for (QWidget* w : below)
        v->addWidget(w);
    v->addWidget(buttons);
}

QString NotSavedText() {
    return QStringLiteral("The settings could not be saved to %1.").arg(ConfigLocation());
}
