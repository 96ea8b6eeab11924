#include "DateTimePicker.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSignalBlocker>

namespace {

// What may stand in the field while a whole date is being typed: day/month/year hour:minute,
// the seconds optional, every part possibly unfinished.
bool TypedSoFar(const QString& text) {
    static const QRegularExpression shape(
        R"(^\d{0,2}(/\d{0,2}(/\d{0,4}( \d{0,2}(:\d{0,2}(:\d{0,2})?)?)?)?)?$)");
    return shape.match(text).hasMatch();
}

// A whole date: "10:3" is a minute still being typed, not 10:03.
bool TypedWhole(const QString& text) {
    static const QRegularExpression shape(R"(^\d{1,2}/\d{1,2}/\d{4} \d{1,2}:\d\d(:\d\d)?$)");
    return shape.match(text).hasMatch();
}

} // namespace

QDateTime DateTimePicker::Typed(const QString& text) const {
    if (!TypedWhole(text))
        return {};
    for (const char* format : {"d/M/yyyy H:mm", "d/M/yyyy H:mm:ss"}) {
        QDateTime t = QDateTime::fromString(text, format);
        if (!t.isValid())
            continue;
        t.setTimeSpec(timeSpec()); // the typed wall-clock figures, as the field shows them
        if (t >= minimumDateTime() && t <= maximumDateTime())
            return t;
    }
    return {};
}

QValidator::State DateTimePicker::validate(QString& text, int& pos) const {
    // The section parser may rewrite what it is given; a typed date must stay as typed.
    QString sections = text;
    int at = pos;
    const QValidator::State shown = QDateTimeEdit::validate(sections, at);
    if (shown == QValidator::Acceptable || !TypedSoFar(text)) {
        text = sections;
        pos = at;
        return shown;
    }
    return Typed(text).isValid() ? QValidator::Acceptable : QValidator::Intermediate;
}

QDateTime DateTimePicker::dateTimeFromText(const QString& text) const {
    const QDateTime t = Typed(text);
    return t.isValid() ? t : QDateTimeEdit::dateTimeFromText(text);
}

void DateTimePicker::fixup(QString& text) const {
    // An unfinished or impossible typed date brings back the value held, never a guess.
    if (TypedSoFar(text))
        text = textFromDateTime(dateTime());
    else
        QDateTimeEdit::fixup(text);
}

void DateTimePicker::ShowTyped(const QString& text, int cursor) {
    // Past the sections' own cursor handling, which would put the held value back.
    const QSignalBlocker quiet(lineEdit());
    lineEdit()->setText(text);
    lineEdit()->setCursorPosition(cursor);
}

void DateTimePicker::keyPressEvent(QKeyEvent* event) {
    QLineEdit* edit = lineEdit();
    const QString key = event->text();
    const bool plain = !(event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier));
    const bool printable = plain && !key.isEmpty() && key.at(0).isPrint();
    const bool whole = edit->hasSelectedText() && edit->selectedText() == edit->displayText();
    const bool erase = plain && typing_ && event->key() == Qt::Key_Backspace;
    if (!(printable && (typing_ || whole)) && !erase) {
        typing_ = false;
        QDateTimeEdit::keyPressEvent(event);
        return;
    }
    event->accept();
    QString text = edit->displayText();
    int cursor = edit->cursorPosition();
    if (edit->hasSelectedText()) {
        cursor = edit->selectionStart();
        text.remove(cursor, edit->selectedText().size());
    } else if (erase && cursor > 0) {
        text.remove(--cursor, 1);
    }
    if (!erase) {
        text.insert(cursor, key);
        cursor += key.size();
    }
    if (!TypedSoFar(text))
        return; // a key that cannot belong to a date is not taken
    typing_ = true;
    ShowTyped(text, cursor);
    const QDateTime t = Typed(text);
    if (t.isValid() && t != dateTime()) {
        setDateTime(t);
        ShowTyped(text, cursor); // the seconds may still follow
    }
}

void DateTimePicker::focusOutEvent(QFocusEvent* event) {
    typing_ = false;
    QDateTimeEdit::focusOutEvent(event);
}
