// The Reports tab's readings: "Generate" and Print read in the background, and what a
// reading of a tank or period no longer selected must not show.
#include "ReportsTab.h"

#include "Clock.h"
#include "ExportFolder.h"
#include "InventoryPane.h"
#include "LevelChart.h"
#include "LevelQuery.h"
#include "OperatorMessages.h"
#include "ReadingNote.h"
#include "ReportDocument.h"
#include "ReportLoader.h"
#include "SQLiteDatabase.h"

#include <QDir>
#include <QPrinter>
#include <QPushButton>
#include <QStringList>
#include <QSysInfo>

#include <cmath>
#include <memory>
#include <stdexcept>

namespace {

const char* const kNoData = "No data for the selected period";
const char* const kReadingChart = "Reading the levels…";
const char* const kReadingPrint = "Reading the report to print…";

} // namespace

void ReportsTab::Button3Click() {
    const int adr = SelectedAddress();
    const ReportPeriod period = period_;
    // Nothing of the last period may stand beside "No data" (or any other box).
    inventory_->Clear();
    chart_->Clear();
    RedrawChart();
    generated_ = Generated{adr, Choice(), period};
    ReportJob job{.file = db_.FileName(),
                  .adr = adr,
                  .offset = LocalOffset(clock_),
                  .nowLocal = clock_.LocalNow(),
                  .chart = period};
    chartLoader_->Start(std::move(job), [this](ReportResult r) { ShowChart(std::move(r)); });
    UpdateNote();
    if (period.stop > period.start)
        inventory_->Generate(adr, period);
}

void ReportsTab::ShowChart(ReportResult r) {
    UpdateNote();
    // What was read before a failure is shown with it.
    if (r.chart) {
        chart_->SetLevelLine(r.chart->points);
        chart_->SetErrorMarkers(r.chart->silences);
        chart_->SetEvents(std::move(r.chart->events));
    }
    RedrawChart();
    if (!r.error.empty())
        messages_.ShowMessage("The levels could not be read: " + r.error);
    else if (!r.chart || r.chart->points.empty())
        messages_.ShowMessage(kNoData);
}

void ReportsTab::RedrawChart() {
    chart_->ApplyAutoRange();
    chart_->replot(QCustomPlot::rpImmediateRefresh);
}

bool ReportsTab::ChartBusy() const {
    return chartLoader_->Running();
}

bool ReportsTab::PrintBusy() const {
    return printLoader_->Running();
}

void ReportsTab::CancelReading() {
    chartLoader_->Cancel();
    printLoader_->Cancel();
    UpdateNote();
}

// A chart, or a balance, of a tank or period no longer selected would pass for the one
// selected: what is still being read for them is dropped. The same choice shown again (the
// tab shown anew moves "Today" on to now) keeps it. Print goes on: its printer was chosen
// for the report asked for, whose heading names its tank and period.
void ReportsTab::SelectionChanged() {
    if (!generated_ || (!chartLoader_->Running() && !inventory_->Busy()))
        return;
    const Generated& g = *generated_;
    const ReportPeriod asked = ShownPeriod(g.period), shown = ShownPeriod(period_);
    const bool samePeriod =
        !PickersEnabled(g.choice) || (asked.start == shown.start && asked.stop == shown.stop);
    if (g.adr == SelectedAddress() && g.choice == Choice() && samePeriod)
        return;
    generated_.reset();
    chartLoader_->Cancel();
    if (inventory_->Busy())
        inventory_->CancelClick();
    UpdateNote();
}

void ReportsTab::UpdateNote() {
    QStringList reading;
    if (chartLoader_->Running())
        reading << kReadingChart;
    if (printLoader_->Running())
        reading << kReadingPrint;
    if (reading.isEmpty())
        note_->hide();
    else
        note_->Show(reading.join(' '));
    // One print at a time: the printer chosen for the first must not be dropped by a second.
    button4_->setEnabled(!printLoader_->Running());
}

void ReportsTab::Button4Click() {
    Guarded(messages_, [&] {
        // The print dialog offers the printers and "Print to File (PDF)".
        auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
        printer->setPageOrientation(QPageLayout::Landscape);
        printer->setDocName("Inventory report");
        // The file proposed is where the last file was saved, as for the CSV exports.
        if (ExportFolder() != QDir::homePath())
            printer->setOutputFileName(ProposedPath("Inventory report.pdf"));
        if (!printDialog_ || !printDialog_(*printer, this))
            return;
        const int adr = SelectedAddress();
        const ReportPeriod period = period_;
        const double offset = LocalOffset(clock_);
        const double nowLocal = clock_.LocalNow();
        // The balance covers the whole days of the period, by the station's shifts as the
        // inventory pane shows it; chart and events keep to the period.
        const double firstDay = std::floor(period.start);
        const double lastDay = std::max(firstDay, std::ceil(period.stop) - 1);
        // A row without a TANKS row still prints its (empty) readings.
        ReportJob job{.file = db_.FileName(),
                      .adr = adr,
                      .bounds = BalanceBoundaries(firstDay, lastDay, inventory_->ShiftStarts()),
                      .offset = offset,
                      .nowLocal = nowLocal,
                      .anyTank = true};
        printLoader_->Start(std::move(job), [=, this](ReportResult r) {
            UpdateNote();
            if (!r.error.empty())
                return messages_.ShowMessage("The report could not be read for printing: " +
                                             r.error);
            Guarded(messages_, [&] {
                Print(*printer, r, period, offset, nowLocal);
                RememberExportFolder(printer->outputFileName());
            });
        });
        UpdateNote();
    });
}

void ReportsTab::Print(QPrinter& printer, const ReportResult& read, ReportPeriod period,
                       double offset, double nowLocal) {
    ReportDocument doc;
    doc.station = QSysInfo::machineHostName();
    doc.from = period.start;
    doc.to = std::max(period.start, period.stop);
    doc.printedAt = nowLocal;
    doc.offset = offset;
    doc.tanks = read.reports;
    if (PaintReport(doc, printer) == 0)
        throw std::runtime_error("Could not start printing");
}
