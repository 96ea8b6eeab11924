#pragma once
// The "Line" dialog: the health of every sensor as a table (requests, replies, refusals,
// silences, reply times), refreshed while it is open, with a button that resets the counts.
// It only shows what SensorHealth has counted.

#include <QDialog>

class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;
class SensorLink;
class TankList;

class LineDialog : public QDialog {
    Q_OBJECT
public:
    LineDialog(SensorLink& link, TankList& tanks, QWidget* parent = nullptr);

    // Fills the table from the counts as they are now.
    void Refresh();
    void ResetCounts();

    QTableWidget* table() const { return table_; }
    QPushButton* resetButton() const { return reset_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    SensorLink& link_;
    TankList& tanks_;
    QLabel* state_;
    QTableWidget* table_;
    QPushButton* reset_;
    QTimer* refresh_;
};
