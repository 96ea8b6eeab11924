#pragma once
// The level chart of the Reports tab: the level line in blue where a sensor reported it,
// time without readings as red bands along the time axis, logged silences as red marks on
// it; time along the bottom, litres up the left. Deliveries and losses are triangles on the
// line where they began, alarms light shading behind it while they were active.

#include "ChartEvents.h"
#include "LevelSeries.h"

#include <qcustomplot.h>

#include <vector>

// Chart keys are seconds since 1970 as the date-time ticker wants them. The day numbers are
// local wall-clock times, and the ticker shows them as UTC, so no time zone is applied twice.
double DayToKey(double dayNumber);
double KeyToDay(double key);

class SilenceStrip;
class EventMarks;
class AlarmShading;

class LevelChart : public QCustomPlot {
    Q_OBJECT
public:
    explicit LevelChart(QWidget* parent = nullptr);

    // Empties the line, the bands and the marks, and the events.
    void Clear();
    // Series1 in drawing order (ascending x): its level line and its bands (day numbers).
    void SetLevelLine(const std::vector<LevelPoint>& sortedPoints);
    // Series2: the logged silences, marks on the time axis.
    void SetErrorMarkers(const std::vector<double>& times);
    // Automatic ranges, 5 pixels of margin at each end: time over all points of both series,
    // litres over the readings. With nothing to show the ranges stay and the axes lose
    // their labels; the level axis also when no reading is drawn.
    void ApplyAutoRange();
    // The deliveries and losses as markers and the alarms as shaded bands.
    void SetEvents(ChartEvents events);
    const std::vector<EventMarker>& EventMarkers() const;
    const std::vector<AlarmBand>& AlarmBands() const;
    // The tooltip of the marker under this point of the widget; empty when none is.
    QString MarkerTipAt(const QPointF& pos) const;
    // How near the mouse must come to a marker's centre for its tooltip, in pixels.
    static constexpr double kMarkerHitPx = 7;

    QCPGraph* BlueLine() const { return blue_; }
    // Keys (seconds, see DayToKey) of the bands and the marks along the time axis.
    const std::vector<TimeSpan>& Bands() const;
    const std::vector<double>& Marks() const;
    // The bands' height above the time axis, in pixels; the marks rise higher.
    static constexpr int kBandPx = 5;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private slots:
    void FitTimeTicks();

private:
    struct Bounds {
        bool any = false;
        double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
        void Add(double x, double y);
    };
    // The line's data, refilled in place so its capacity is reused.
    QSharedPointer<QCPGraphDataContainer> blueData_;
    QCPGraph* blue_;
    SilenceStrip* strip_;
    AlarmShading* shading_;
    EventMarks* marks_;
    Bounds time_;   // x of every point of both series
    Bounds levels_; // the readings
    QCPRange autoX_, autoY_;
    bool autoShown_ = false;
};
