#pragma once
// The printed reconciliation, on paper or as a PDF file: per tank a heading (station, tank,
// period, tolerances, when printed), the cumulative-variance chart with its tolerance band,
// the table per period, the month's check, the delivery notes against the measured
// deliveries and the alarms, and lines for the checker's signature. Painted with QPainter
// alone, so the report tool needs no widgets.

#include "ReconReport.h"

#include <QRectF>
#include <QString>

#include <vector>

class QPagedPaintDevice;
class QPainter;

struct ReconDocument {
    QString station;
    double from = 0, to = 0; // local, [from, to)
    double printedAt = 0;    // local
    double offset = 0;
    bool deliveriesOnly = false; // the notes against the measured deliveries alone
    const std::vector<TankReconReport>* tanks = nullptr;
};

// What the chart shows, as its heading says on paper and its caption on the page.
inline constexpr const char* kChartCaption =
    "Cumulative variance, l (line; red points out of tolerance) and tolerance band (green)";

// The cumulative variance per period as a line, with the band of ± the daily tolerance
// summed over the periods so far, and a zero line; the screen's page paints the same.
void PaintCumulativeChart(QPainter& p, const QRectF& area, const TankReconReport& tank);

// Paints the document on a device not yet begun; returns the pages, 0 on failure.
int PaintReconciliation(const ReconDocument& doc, QPagedPaintDevice& device);

// Writes the PDF (A4 landscape) to `path`, replacing the file only once it is complete.
// Returns an empty string on success, else why not. Needs a QGuiApplication.
std::string WriteReconciliationPdf(const ReconDocument& doc, const QString& path);

// The report tool's PDF output under `station`'s name.
ReconPdfRenderer ReconPdfRendererFor(const QString& station);
