#pragma once
// A date-time field that also takes a whole date typed over its selected text.
#include <QDateTimeEdit>

// QDateTimeEdit edits one section at a time: a key typed over the whole selected text would
// replace every section at once, its section parser rejects it, and the separators then jump
// from section to section, so the typed date lands in the wrong places. Here such text is
// typed as it is, taken once it is a whole date ("05/12/2026 10:00", the seconds optional),
// and an unfinished or impossible one gives way to the value held before.
class DateTimePicker : public QDateTimeEdit {
public:
    using QDateTimeEdit::QDateTimeEdit;

protected:
    QValidator::State validate(QString& text, int& pos) const override;
    void fixup(QString& text) const override;
    QDateTime dateTimeFromText(const QString& text) const override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QDateTime Typed(const QString& text) const;
    void ShowTyped(const QString& text, int cursor);

    bool typing_ = false; // the text is a date being typed, not the sections' own
};
