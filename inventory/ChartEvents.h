#pragma once
// What the level chart shows of a tank's events: a marker on the level line where each
// delivery (up) and loss (down) began, with the litres as its tooltip, and a shaded band
// for each stretch of time an alarm was active. Plain code: the chart only draws the result.

#include "EventTables.h"
#include "LevelSeries.h"
#include "TankAlarms.h"

#include <string>
#include <vector>

class TSQLiteDatabase;

struct EventMarker {
    double x = 0;     // local day number of the event's start
    double level = 0; // litres where the level line is at that moment
    bool up = true;   // a delivery; false for a loss
    // "Delivery 7958 l (net 7978 l)\n02/03/2026 10:15:00 – 10:52:00"
    std::string tip;
};

struct AlarmBand {
    AlarmKind kind = AlarmKind::Low;
    double from = 0, to = 0; // local day numbers, clipped to the period
    // "LOW\n02/03/2026 10:15:00 – 11:20:00", the alarm's own times, unclipped
    std::string tip;
};

struct ChartEvents {
    std::vector<EventMarker> markers; // in the order of the events
    std::vector<AlarmBand> bands;
};

// The markers and bands of `events` (EVENTS rows of one tank, UTC; `offset` = local - UTC in
// days) over the local period [S, E]. `sorted` is the chart's level line in drawing order: a
// marker sits on it where the line is drawn at the start, else at the level the event
// started from. Events starting outside the period get no marker. An alarm is active from
// its start until it ends; a loss until it is over and acknowledged, as its tile shows it.
// An alarm still active runs to the end of the period, or to `nowLocal` when that is sooner.
ChartEvents BuildChartEvents(const std::vector<EventRow>& events,
                             const std::vector<LevelPoint>& sorted, double S, double E,
                             double offset, double nowLocal);

// The level of the drawn line at local time x: interpolated along a segment joining two
// readings; none where the line is broken or outside it.
std::optional<double> LevelOnLine(const std::vector<LevelPoint>& sorted, double x);

// Reads the events of address `adr` that overlap the local period (stored ones and those
// found now past the examined mark) and builds what the chart shows of them.
ChartEvents LoadChartEvents(TSQLiteDatabase& db, int adr, const std::vector<LevelPoint>& sorted,
                            double S, double E, double offset, double nowLocal);

// The marker under the mouse: the index of the nearest of `centres` (pixels) no farther
// than `radius` from (mx, my); -1 when none is.
struct PixelPoint {
    double x = 0, y = 0;
};
int MarkerAt(const std::vector<PixelPoint>& centres, double mx, double my, double radius);
