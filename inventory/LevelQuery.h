#pragma once
// Reading one tank's samples and silences of a report period back from data.db. Rows carry
// UTC; the period and the chart are local, converted with one offset per report.

#include "LevelSeries.h"

#include <string>
#include <vector>

class Clock;
class TSQLiteDatabase;

// Local time minus UTC, in days: the UTC clock is read first, then the local clock. Real
// offsets are whole minutes, so the few milliseconds between the two readings are dropped.
double LocalOffset(const Clock& clock);

// The level samples of address `adr` strictly inside the local period S..E (statement 10),
// in the order SQLite returns them, with x moved to local time. Every row is kept whose time
// is a finite number inside the bounds (a hand-edited file may hold others).
std::vector<fdata> QueryLevels(TSQLiteDatabase& db, int adr, double S, double E, double offset);
// The same into a buffer kept between reports: its capacity is reused, so a year of samples
// is not allocated and faulted in afresh at every "Generate".
void QueryLevels(TSQLiteDatabase& db, int adr, double S, double E, double offset,
                 std::vector<fdata>& samples);

// The local times of the silences logged for `adr` strictly inside S..E (statement 11), as
// finite numbers inside the bounds.
std::vector<double> QueryErrors(TSQLiteDatabase& db, int adr, double S, double E, double offset);

// The stored names of the first `count` TANKS rows in the table's order: the Reports tab
// lists them as tanks 1, 2, ...
std::vector<std::string> TankNames(TSQLiteDatabase& db, int count);
