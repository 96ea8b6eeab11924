#include "QtOperatorMessages.h"

#include "StoredText.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

QString OperatorText(const std::string& text) {
    QString s = StoredText::FromStored(text);
    // Error texts break their lines with a bare carriage return.
    s.replace("\r\n", "\n").replace('\r', '\n');
    return s;
}

void QtOperatorMessages::ShowMessage(const std::string& text) {
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent)
        parent = QApplication::activeWindow();
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), OperatorText(text),
                    QMessageBox::Ok, parent);
    box.exec();
}

void QtOperatorMessages::Beep() {
    QApplication::beep();
}
