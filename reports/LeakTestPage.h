#pragma once
// The "Leak test" page of the Reports tab: for the chosen tank, each day of the period with
// the daily leak test's result (pass, fail or inconclusive), the leak rate, its upper 95 %
// bound, the threshold and what the test rested on. Days the station has tested show its
// stored result; the others are tested as the page is read. Read on a thread of its own
// through a read-only connection, only while the page is shown (a long period of untested
// days takes a while); "Cancel" stops it, "Export CSV" writes what is shown.

#include "BackgroundRead.h"
#include "LeakReport.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class Clock;
class QLabel;
class QPushButton;
class QTableWidget;

class LeakTestPage : public QWidget {
    Q_OBJECT
public:
    LeakTestPage(std::string dbFile, Clock& clock, QWidget* parent = nullptr);
    // Stops a reading still running and waits for the threads.
    ~LeakTestPage() override;

    // The tank and the local days [firstDay, lastDay]; read now when the page is shown, else
    // when it is shown next.
    void Generate(int adr, double firstDay, double lastDay);
    // Stops a reading and shows nothing, as the other pages when the Reports tab clears.
    void Clear();
    void CancelClick();
    void ExportClick();
    bool Busy() const { return reads_.Running(); }
    // Blocks until the reading running is shown (tests).
    void WaitForRead();

    const std::vector<LeakReportRow>& Shown() const { return shown_; }
    QTableWidget* Table() const { return table_; }
    QLabel* Status() const { return status_; }

    using SaveDialog = std::function<QString(QWidget*, const QString&, const QString&)>;
    void SetSaveDialog(SaveDialog d) { saveDialog_ = std::move(d); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Read();
    void Finished(std::vector<LeakReportRow> rows, const std::string& error);
    void Show();

    std::string dbFile_;
    Clock& clock_;
    int adr_ = 0;
    double firstDay_ = 0, lastDay_ = -1;
    bool due_ = false;     // asked for and not read yet
    BackgroundRead reads_; // its end cancels and waits for the threads of all
    std::vector<LeakReportRow> shown_;
    QTableWidget* table_;
    QLabel* status_;
    QPushButton* cancel_;
    QPushButton* export_;
    SaveDialog saveDialog_;
};
