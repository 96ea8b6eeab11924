#pragma once
// The "Reconciliation" page of the Reports tab: for the chosen tank and period the table per
// day (or shift), the cumulative-variance chart with its tolerance band, the delivery notes
// against the measured deliveries and the alarms, with "Enter...", "Import CSV...",
// "Export CSV" and "Print". The figures come from ReconReport, read by a ReconLoader off the
// window's thread; this only shows them.

#include "ReconLoader.h"
#include "ReconReport.h"

#include <QWidget>

#include <functional>
#include <optional>
#include <string>

class Clock;
class QLabel;
class QPushButton;
class QPrinter;
class QTableWidget;

class ReconciliationPage : public QWidget {
    Q_OBJECT
public:
    ReconciliationPage(std::string dbFile, Clock& clock, QWidget* parent = nullptr);
    ~ReconciliationPage() override;

    // Starts reading the tank's reconciliation over `bounds` (BalanceBoundaries) in the
    // background; the page says it is reading and shows the figures when they come.
    void Generate(int adr, const std::vector<double>& bounds, double offset);
    bool Loading() const;
    const std::optional<TankReconReport>& Shown() const { return shown_; }

    void EnterClick();
    void ExportClick();
    void PrintClick();
    // Seams for tests: the file and print dialogs.
    using SaveDialog = std::function<QString(QWidget*, const QString&, const QString&)>;
    void SetSaveDialog(SaveDialog d) { saveDialog_ = std::move(d); }
    using PrintDialog = std::function<bool(QPrinter&, QWidget*)>;
    void SetPrintDialog(PrintDialog d) { printDialog_ = std::move(d); }

    QTableWidget* Table() const { return table_; }

signals:
    // Reconciliation alarms were stored in EVENTS (the tiles raise them).
    void AlarmsStored();

public:
    QTableWidget* Matches() const { return matches_; }

private:
    void Show();
    void Loaded(ReconResult r);
    void UpdateButtons();
    std::string dbFile_;
    Clock& clock_;
    int adr_ = 0;
    std::vector<double> bounds_;
    double offset_ = 0;
    std::optional<TankReconReport> shown_;
    QTableWidget* table_;
    QTableWidget* matches_;
    QWidget* chart_;
    QLabel* summary_;
    QPushButton* export_ = nullptr;
    QPushButton* print_ = nullptr;
    ReconLoader* loader_;
    std::vector<int> tanks_;   // every tank's number, as last read
    bool storeAlarms_ = false; // the figures were just entered: store what they raise
    SaveDialog saveDialog_;
    PrintDialog printDialog_;
};
