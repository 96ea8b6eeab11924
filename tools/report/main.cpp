// tavrona-report: inventory reports from data.db or the central server without the window,
// for scheduled exports.
#include "PgReportArchive.h"
#include "ReportTool.h"
#include "SystemClock.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    SystemClock clock;
    return RunReport(args, std::cout, std::cerr, clock, {}, OpenCentralArchive);
}
