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

void QtOperatorMessages::OpenMessage(const std::string& text, std::function<void()> closed) {
    QWidget* parent = QApplication::activeWindow();
    auto* box = new QMessageBox(QMessageBox::NoIcon, QApplication::applicationDisplayName(),
                                OperatorText(text), QMessageBox::Ok, parent);
    box->setObjectName("conditionBox");
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, box, [closed = std::move(closed)] {
        if (closed)
            closed();
    });
    // open(), not exec(): no event loop of its own, so whatever called this goes on.
    box->open();
}

void QtOperatorMessages::Beep() {
    QApplication::beep();
}
