#pragma once
// The "Reconciliation" page of the Reports tab: for the chosen tank and period the table per
// day (or shift), the cumulative-variance chart with its tolerance band, the delivery notes
// against the measured deliveries and the alarms, with "Enter...", "Import CSV...",
// "Export CSV" and "Print". The figures come from ReconReport; this only shows them.

#include "ReconReport.h"

#include <QWidget>

#include <functional>
#include <optional>
#include <string>

class Clock;
class QLabel;
class QPrinter;
class QTableWidget;

class ReconciliationPage : public QWidget {
    Q_OBJECT
public:
    ReconciliationPage(std::string dbFile, Clock& clock, QWidget* parent = nullptr);
    ~ReconciliationPage() override;

    // Reads and shows the tank's reconciliation over `bounds` (BalanceBoundaries). A month
    // of one tank reads in milliseconds, so it is read here.
    void Generate(int adr, const std::vector<double>& bounds, double offset);
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
    SaveDialog saveDialog_;
    PrintDialog printDialog_;
};
