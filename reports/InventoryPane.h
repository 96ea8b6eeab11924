#pragma once
// The inventory under the level chart of the Reports tab: for the chosen tank and period the
// daily (or per shift) balance, the consumption bars with their 14-day mean and the days to
// empty; on a second page the depot summary of all active tanks. The reports are read in the
// background (ReportLoader) with a progress bar and "Cancel"; the CSV files are written from
// what is shown. The figures come from BalanceView; this only puts them on screen.

#include "InventoryData.h"
#include "ReportPeriod.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class Clock;
class OperatorMessages;
class QCustomPlot;
class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTableWidget;
class LeakTestPage;
class ReconciliationPage;
class ReportLoader;
struct TextTable;

class InventoryPane : public QWidget {
    Q_OBJECT
public:
    // `dbFile` is data.db: the pane reads it on connections of its own.
    InventoryPane(std::string dbFile, Clock& clock, OperatorMessages& messages,
                  QWidget* parent = nullptr);
    ~InventoryPane() override;

    // The station's shift starts (minutes after midnight; none: calendar days), asked at
    // each Generate so that a changed setting applies to the next report.
    void SetShiftStarts(std::function<std::vector<int>()> starts) { shifts_ = std::move(starts); }
    std::vector<int> ShiftStarts() const { return shifts_ ? shifts_() : std::vector<int>{}; }

    // Reads the tank's report of the period's days, and the depot summary when its page is
    // shown; the last reading still running is cancelled.
    void Generate(int adr, ReportPeriod period);
    // Shows nothing: no balance, no summary, nothing being read (a period without data).
    void Clear();
    void CancelClick();
    bool Busy() const;
    // Reading threads not ended yet, cancelled ones included.
    int Threads() const;

    // The CSV exports of what is shown.
    void ExportReadingsClick();
    void ExportEventsClick();
    void ExportBalanceClick();
    void ExportSummaryClick();
    // The file dialog seam: the chosen path, empty when the operator cancelled. Tests set
    // one that answers without showing anything.
    using SaveDialog =
        std::function<QString(QWidget* owner, const QString& caption, const QString& suggested)>;
    void SetSaveDialog(SaveDialog dialog) { saveDialog_ = std::move(dialog); }

    QTableWidget* BalanceGrid() const { return balanceGrid_; }
    QTableWidget* SummaryGrid() const { return summaryGrid_; }
    QCustomPlot* ConsumptionChart() const { return consumption_; }
    QLabel* DaysToEmptyLabel() const { return toEmpty_; }
    QTabWidget* Pages() const { return pages_; }
    ReconciliationPage* Reconciliation() const { return recon_; }
    LeakTestPage* LeakTests() const { return leak_; }
    QProgressBar* Progress() const { return progress_; }
    QPushButton* CancelButton() const { return cancel_; }

private:
    void CreateControls();
    QWidget* MakeButtonRow();
    void StartSummary();
    void ShowReport(std::optional<TankReport> report);
    void ShowSummary(std::vector<TankBalance> summary);
    void ShowConsumption();
    void UpdateState();
    void ReadFailed(const std::string& error);
    void Export(const QString& what, const std::function<void(std::string&)>& fill);
    QString FileNameFor(const QString& what) const;

    std::string dbFile_;
    Clock& clock_;
    OperatorMessages& messages_;
    std::function<std::vector<int>()> shifts_;
    SaveDialog saveDialog_;
    ReportLoader* tankLoader_;
    ReportLoader* depotLoader_;

    // What was asked for and what is shown.
    int adr_ = 0;
    std::vector<double> bounds_;
    double offset_ = 0;
    std::optional<TankReport> report_;
    std::vector<TankBalance> summary_;
    bool summaryShown_ = false;
    std::vector<double> summaryBounds_; // the period the summary shown is of

    QTabWidget* pages_ = nullptr;
    ReconciliationPage* recon_ = nullptr;
    LeakTestPage* leak_ = nullptr;
    QTableWidget* balanceGrid_ = nullptr;
    QTableWidget* summaryGrid_ = nullptr;
    QCustomPlot* consumption_ = nullptr;
    QLabel* toEmpty_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* exportReadings_ = nullptr;
    QPushButton* exportEvents_ = nullptr;
    QPushButton* exportBalance_ = nullptr;
    QPushButton* exportSummary_ = nullptr;
};
