#pragma once
// The printed inventory report, on paper or as a PDF file: per tank a heading (station,
// tank, period, when printed), the level chart with its deliveries, losses and alarms, the
// balance table and the event list; or the depot summary. Every page carries "Page n of m".
// Painted with QPainter alone, so the report tool needs no widgets; the geometry comes from
// ReportLayout.

#include "Balance.h"
#include "InventoryData.h"
#include "LeakReport.h"
#include "ReportTool.h"

#include <QByteArray>
#include <QString>

#include <span>
#include <string>

class QPagedPaintDevice;

struct ReportDocument {
    QString station;
    double from = 0, to = 0; // local day numbers, the period [from, to); whole days are
                             // headed by their first and last day
    double printedAt = 0;    // local
    double offset = 0;       // local minus UTC, days
    // One section per tank, each from a new page.
    std::span<const TankReport> tanks;
    // The tanks' sections hold their events alone: no chart, no balance.
    bool eventsOnly = false;
    // With `depot`, the depot summary over the period instead of the tanks' sections.
    bool depot = false;
    std::span<const TankBalance> summary;
    // With `leak`, the daily leak tests of each tank in `leaks` (by tank, then day) instead.
    bool leak = false;
    std::span<const LeakReportRow> leaks;
};

// Paints the document on a device not yet begun, in the device's page layout (landscape
// suits the tables best). Returns the number of pages, 0 when painting could not start.
int PaintReport(const ReportDocument& doc, QPagedPaintDevice& device);
// What the document is, for its headings and the PDF's title: "Leak test report" for the
// leak tests, else "Inventory report".
QString ReportTitle(const ReportDocument& doc);

// The document as a PDF file on A4 landscape; empty when it could not be made.
QByteArray ReportPdf(const ReportDocument& doc);

// Writes the PDF to `path` (replacing the file only once it is complete). Returns an empty
// string on success, else why it could not be written.
std::string WriteReportPdf(const ReportDocument& doc, const QString& path);

// The report tool's PDF output: the tanks' sections, or the depot summary for
// --what summary, written to the request's output file under `station`'s name. Needs a
// QGuiApplication (fonts).
PdfRenderer ReportPdfRenderer(const QString& station);
// The same for --what leak.
LeakPdfRenderer LeakReportPdfRenderer(const QString& station);
