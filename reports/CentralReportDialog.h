#pragma once
// "Central reports": the inventory reports (daily balance, depot summary, events) of a station
// chosen from those on the central server, over a period of days, shown as a table and saved
// as the same CSV as tavrona-report writes. Non-modal. The server is asked on a thread of its
// own, with a connection of its own, so the window answers while a slow server thinks; "Cancel"
// stops waiting (the late answer is dropped) and asks the server to stop the statement it is
// running. A failure is told in the window.

#include "ReportTool.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class Clock;
class QComboBox;
class QDateEdit;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

class CentralReportDialog : public QDialog {
    Q_OBJECT
public:
    // Asks the server for its stations at once.
    CentralReportDialog(std::string conninfo, const Clock& clock, CentralOpener open,
                        QWidget* parent = nullptr);
    ~CentralReportDialog() override;

    // "Stations": asks the server again which stations it knows.
    void RefreshStations();
    // "Show": runs the chosen report.
    void ShowClick();
    // "Cancel": stops waiting for the server.
    void CancelClick();
    // "Export CSV": writes the report shown, through the save dialog seam.
    void ExportClick();

    bool Busy() const { return busy_ != 0; }
    QString StatusText() const;
    // The CSV of the report shown (without the byte-order mark).
    const std::string& Csv() const { return csv_; }
    // As if the operator chose these (a station name, empty for every station).
    void Choose(const std::string& station, ReportWhat what, int firstYear, int firstMonth,
                int firstDay, int lastYear, int lastMonth, int lastDay);

    // Returns the file to write, or an empty text when the operator cancelled. Tests set
    // one that answers without a window.
    using SaveDialog = std::function<QString(QWidget*)>;
    void SetSaveDialog(SaveDialog dialog) { saveDialog_ = std::move(dialog); }

signals:
    // A request has ended (answered, failed or cancelled).
    void RequestEnded();
    // The answer to a request no longer waited for came and was dropped.
    void AnswerDropped();

private:
    struct Answer {
        int code = kReportOk;
        std::string error;
        std::vector<std::string> stations;
        bool withReport = false;
        std::string csv;
    };

    std::string conninfo_;
    const Clock& clock_;
    CentralOpener open_;
    SaveDialog saveDialog_;
    // Each request has a number; an answer to any but the latest is dropped.
    unsigned request_ = 0;
    unsigned busy_ = 0; // the request waited for, 0 when none
    std::string csv_;
    // Shared with the worker of the request waited for: how "Cancel" stops the server.
    struct Pending;
    std::shared_ptr<Pending> pending_;

    QComboBox* station_;
    QComboBox* what_;
    QDateEdit* from_;
    QDateEdit* to_;
    QPushButton* show_;
    QPushButton* cancel_;
    QPushButton* export_;
    QProgressBar* busyBar_;
    QLabel* status_;
    QTableWidget* table_;

    void Ask(std::function<Answer(StationArchive&)> job, const QString& doing);
    void Take(unsigned request, const Answer& answer);
    void SetBusy(bool busy);
    void FillStations(const std::vector<std::string>& names);
    void FillTable(const std::string& csv);
};
