#pragma once
// Building the report indexes on a connection of its own: sorting a year of readings takes
// seconds, and the caller's connection and thread stay free meanwhile.

#include "Database.h"

#include <functional>
#include <string>
#include <vector>

// Told the estimated fraction done (0 to 1) now and then, on the building thread; returning
// false stops the build.
using IndexBuildProgress = std::function<bool(double fraction)>;

// Creates each index on a new connection to `fileName`, which must exist (it is never
// created). Returns an empty text when all were built, else for each index that was not,
// its name and SQLite's reason (the file is read-only or held by another program, the table
// lacks a column), or "stopped" when progress said stop. Indexes that were built stay; a
// half-built one is rolled back by SQLite.
std::string BuildReportIndexes(const std::string& fileName, const std::vector<ReportIndex>& indexes,
                               const IndexBuildProgress& progress);
