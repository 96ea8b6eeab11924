#pragma once
// The note over a chart while what it will show is being read: a running bar, what is
// being read, and "Cancel". It keeps itself at the top middle of the widget it covers.

#include <QFrame>

#include <functional>

class QLabel;
class QPushButton;

class ReadingNote : public QFrame {
    Q_OBJECT
public:
    // Hidden until Show; `cancel` runs when the operator clicks "Cancel".
    ReadingNote(QWidget* over, std::function<void()> cancel);

    void Show(const QString& text);
    QString Text() const;
    QPushButton* CancelButton() const { return cancel_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Place();

    QLabel* text_;
    QPushButton* cancel_;
};
