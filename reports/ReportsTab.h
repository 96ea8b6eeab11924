#pragma once
// The "Reports" tab: the tank list on the left, the report period and the buttons along the
// bottom, the level chart in the rest. "Generate" draws one tank's level over the period;
// "Print" prints the report of the chosen tank and period (heading, chart with events,
// balance, event list) on a printer or into a PDF file.
// Under the chart, sharing its height, the inventory (InventoryPane) that "Generate" fills too.
// The chart's and Print's readings run in the background (ReportLoader) under a note with
// "Cancel"; a chart still being read when the tank or the period changes is dropped.

#include "ReportPeriod.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class Clock;
class InventoryPane;
class LevelChart;
class OperatorMessages;
class QButtonGroup;
class QDateTimeEdit;
class QPainter;
class QPrinter;
class QPushButton;
class QSplitter;
class QTableWidget;
class ReadingNote;
class ReportLoader;
struct ReportResult;
class TSQLiteDatabase;

class ReportsTab : public QWidget {
    Q_OBJECT
public:
    ReportsTab(TSQLiteDatabase& db, Clock& clock, OperatorMessages& messages,
               QWidget* parent = nullptr);

    // Call each time the tab becomes visible: refills the tank list, then sets the period.
    void TabSheet2Show();
    // Sets the report period for the chosen item and enables or disables the pickers.
    void rgIntervalClick();
    // "Generate": empties the chart and starts reading it for the selected address and
    // period; it is drawn when read.
    void Button3Click();
    // "Print": asks for a printer (or a PDF file) through the print dialog, then reads the
    // report of the selected tank and period and prints it once read.
    void Button4Click();
    // True while the chart, or the report to print, is being read.
    bool ChartBusy() const;
    bool PrintBusy() const;
    // Drops what the chart and Print are reading ("Cancel" on the note over the chart).
    void CancelReading();
    ReadingNote* Note() const { return note_; }
    // Paints one cell of the tank list; row 0 is the header row.
    void SGDrawCell(QPainter& painter, int ACol, int ARow, const QRect& Rect, bool selected) const;

    // The sensor address: the number of the selected row of the tank list (1 to 14).
    int SelectedAddress() const;
    void SelectRow(int row);
    int Choice() const;
    void SetChoice(int choice); // as if the operator clicked the item
    ReportPeriod Period() const { return period_; }
    // As if the operator picked these dates in the pickers (custom interval); each keeps
    // the time of day its picker shows.
    void PickStartDate(int year, int month, int day);
    void PickStopDate(int year, int month, int day);
    // As if the operator set a picker to this date and time (seconds; custom interval).
    void PickStart(double shown);
    void PickStop(double shown);

    // The chart of one tank over a given period, as a custom interval (the Events tab's
    // double-click).
    void ShowTankOver(int adr, ReportPeriod period);

    // The print dialog seam: returns true when the printer was chosen. Tests set one that
    // fills in a PDF file name without showing anything.
    using PrintDialog = std::function<bool(QPrinter&, QWidget*)>;
    void SetPrintDialog(PrintDialog dialog) { printDialog_ = std::move(dialog); }

    // The central server's connection ([Central] Connection): "Central…" opens the central
    // reports over it; without one the button is disabled and says why.
    void SetCentralConnection(const std::string& conninfo);

    LevelChart* Chart1() const { return chart_; }
    // The balance, consumption and depot summary under the chart.
    InventoryPane* Inventory() const { return inventory_; }
    QTableWidget* SG() const { return grid_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    TSQLiteDatabase& db_;
    Clock& clock_;
    OperatorMessages& messages_;
    QTableWidget* grid_;
    QButtonGroup* interval_;
    QDateTimeEdit* startDT_;
    QDateTimeEdit* stopDT_;
    QPushButton* button3_;
    QPushButton* button4_;
    LevelChart* chart_;
    InventoryPane* inventory_;
    QSplitter* chartAndInventory_;
    bool splitPlaced_ = false;
    QPushButton* central_ = nullptr;
    std::string centralConnection_;
    QPointer<QWidget> centralDialog_;
    ReportPeriod period_;
    PrintDialog printDialog_;
    ReportLoader* chartLoader_;
    ReportLoader* printLoader_;
    ReadingNote* note_ = nullptr;
    // What "Generate" last read, while the tab may still be reading it.
    struct Generated {
        int adr;
        int choice;
        ReportPeriod period;
    };
    std::optional<Generated> generated_;

    QWidget* MakeLeftPanel();
    QWidget* MakeBottomPanel();
    void FillTankList();
    void ShowPeriod();
    void ShowChart(ReportResult result);
    void RedrawChart();
    void Print(QPrinter& printer, const ReportResult& read, ReportPeriod period, double offset,
               double nowLocal);
    // Called whenever the tank or the period may have changed.
    void SelectionChanged();
    void UpdateNote();
};
