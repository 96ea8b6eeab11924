// tavrona-report: inventory reports from data.db or the central server without the window,
// for scheduled exports.
#include "BuildVersion.h"
#include "PgReportArchive.h"
#include "ReconDocument.h"
#include "ReportDocument.h"
#include "ReportTool.h"
#include "SystemClock.h"

#include <QGuiApplication>
#include <QSysInfo>
#include <QtGlobal>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

QtMessageHandler qtDefaultHandler = nullptr;

// A scheduled run has no session, so Qt's note that it has no runtime folder (which the
// report never uses) would reach every log; whatever else Qt says still does.
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.startsWith("QStandardPaths: XDG_RUNTIME_DIR not set"))
        return;
    if (qtDefaultHandler)
        qtDefaultHandler(type, context, text);
    else
        std::cerr << qPrintable(qFormatLogMessage(type, context, text)) << "\n";
}

} // namespace

int main(int argc, char** argv) {
    qtDefaultHandler = qInstallMessageHandler(QuietHandler);
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "--version") {
        std::cout << "tavrona-report " << kBuildVersionText << "\n";
        return 0;
    }
    SystemClock clock;
    // Only a PDF needs the GUI layer (fonts), and only then is it started: CSV runs stay as
    // light as before. A scheduled run has no display, and a report never shows a window,
    // so the off-screen platform is taken unless the caller chose one.
    std::unique_ptr<QGuiApplication> app;
    auto startGui = [&] {
        if (app)
            return;
#if !defined(_WIN32) && !defined(__APPLE__)
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
        app = std::make_unique<QGuiApplication>(argc, argv);
    };
    const PdfRenderer pdf = [&](const ReportRequest& req, const std::vector<TankReport>& reports,
                                const std::vector<TankBalance>& summary, double from, double to,
                                double offset, double nowLocal) {
        startGui();
        return ReportPdfRenderer(QSysInfo::machineHostName())(req, reports, summary, from, to,
                                                              offset, nowLocal);
    };
    if (IsReconReport(args)) {
        const ReconPdfRenderer reconPdf = [&](const std::string& output, bool deliveries,
                                              const std::vector<TankReconReport>& tanks,
                                              double from, double to, double offset,
                                              double nowLocal) {
            startGui();
            return ReconPdfRendererFor(QSysInfo::machineHostName())(output, deliveries, tanks, from,
                                                                    to, offset, nowLocal);
        };
        return RunReconReport(args, std::cout, std::cerr, clock, reconPdf, OpenCentralArchive);
    }
    const LeakPdfRenderer leakPdf = [&](const ReportRequest& req,
                                        const std::vector<LeakReportRow>& rows, double offset,
                                        double nowLocal) {
        startGui();
        return LeakReportPdfRenderer(QSysInfo::machineHostName())(req, rows, offset, nowLocal);
    };
    return RunReport(args, std::cout, std::cerr, clock, pdf, OpenCentralArchive, leakPdf);
}
