#include "ReportDocument.h"

#include "OutputTarget.h"

#include <QBuffer>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>

// The PDF output: the sheet painted on A4 landscape, written whole or not at all.

QByteArray ReportPdf(const ReportDocument& doc) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly))
        return {};
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(600);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                         QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter));
        writer.setTitle(ReportTitle(doc));
        writer.setCreator("tavrona");
        if (PaintReport(doc, writer) == 0)
            return {};
    }
    return bytes;
}

std::string WriteReportPdf(const ReportDocument& doc, const QString& path) {
    const QByteArray bytes = ReportPdf(doc);
    if (bytes.isEmpty())
        return "cannot make the PDF";
    // Through a device node, in place for hard links, whole or not at all otherwise.
    return WriteOutputFile(path.toStdString(), bytes.toStdString());
}

PdfRenderer ReportPdfRenderer(const QString& station) {
    return [station](const ReportRequest& req, const std::vector<TankReport>& reports,
                     const std::vector<TankBalance>& summary, double from, double to, double offset,
                     double nowLocal) {
        ReportDocument doc;
        doc.station = station;
        doc.from = from;
        doc.to = to;
        doc.printedAt = nowLocal;
        doc.offset = offset;
        doc.tanks = reports;
        doc.depot = req.what == ReportWhat::Summary;
        doc.eventsOnly = req.what == ReportWhat::Events;
        doc.summary = summary;
        return WriteReportPdf(doc, QString::fromStdString(req.output));
    };
}

LeakPdfRenderer LeakReportPdfRenderer(const QString& station) {
    return [station](const ReportRequest& req, const std::vector<LeakReportRow>& rows,
                     double offset, double nowLocal) {
        ReportDocument doc;
        doc.station = station;
        doc.from = req.firstDay;
        doc.to = req.lastDay + 1;
        doc.printedAt = nowLocal;
        doc.offset = offset;
        doc.leak = true;
        doc.leaks = rows;
        return WriteReportPdf(doc, QString::fromStdString(req.output));
    };
}
