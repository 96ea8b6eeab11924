#pragma once
// What the MQTT and the mail dialogs share: a server's host, port, user and password boxes
// (the password kept apart, see PasswordStore), and the OK that closes only once what was
// entered is saved.

#include <QList>
#include <QString>

#include <functional>
#include <tuple>

class QDialog;
class QFormLayout;
class QLineEdit;
class QSpinBox;
class QWidget;

// The host, port, user and password boxes. `noHost` says what an empty host means; `secret`
// names the password in the PasswordStore.
std::tuple<QLineEdit*, QSpinBox*, QLineEdit*, QLineEdit*> MakeServerBoxes(const QString& noHost,
                                                                          const QString& secret);

// `form`, the widgets below it, then OK and Cancel; OK closes only when `save` succeeds.
void LayOutSettings(QDialog& dialog, QFormLayout* form, const QList<QWidget*>& below,
                    std::function<bool()> save);

// Said when the settings could not be stored.
QString NotSavedText();
