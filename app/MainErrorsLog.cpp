// The Errors tab: the log, newest line first, and its "Clear" button.
#include "MainUnit.h"

#include "QtOperatorMessages.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

QWidget* TForm1::BuildErrorsTab() {
    auto* tab = new QWidget;
    auto* v = new QVBoxLayout(tab);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);
    Memo1 = new QPlainTextEdit;
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    v->addWidget(Memo1);
    auto* strip = new QWidget;
    strip->setFixedHeight(49);
    auto* h = new QHBoxLayout(strip);
    h->setContentsMargins(0, 0, 9, 9);
    h->addStretch();
    Button5 = new QPushButton("Clear");
    Button5->setFixedSize(75, 25);
    h->addWidget(Button5, 0, Qt::AlignBottom);
    v->addWidget(strip);
    connect(Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
    return tab;
}

void TForm1::PrependLog(const std::string& line) {
    std::string text = line;
    // The log keeps its lines without the carriage returns the widget would show doubled.
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0)
        text.erase(text.size() - 2);
    QTextCursor c(Memo1->document());
    c.movePosition(QTextCursor::Start);
    c.insertText(OperatorText(text) + "\n");
    // Silent sensors add thousands of lines a day; the screen keeps the newest ones (every
    // line stays in ERROR).
    QTextDocument* doc = Memo1->document();
    const int excess = doc->blockCount() - 1 - kLogLinesShown;
    if (excess > 0) {
        QTextCursor tail(doc->findBlockByNumber(doc->blockCount() - 1 - excess));
        tail.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        tail.removeSelectedText();
    }
}

QString TForm1::LogText() const {
    return Memo1->toPlainText();
}

void TForm1::Button5Click() {
    Memo1->clear();
}
