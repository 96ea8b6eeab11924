#pragma once
// The level chart of the Reports tab: the level line in blue, gap bands in red, silences as
// red dots; time along the bottom, litres up the left.

#include "LevelSeries.h"

#include <qcustomplot.h>

#include <vector>

// Chart keys are seconds since 1970 as the date-time ticker wants them. The day numbers are
// local wall-clock times, and the ticker shows them as UTC, so no time zone is applied twice.
double DayToKey(double dayNumber);
double KeyToDay(double key);

class LevelChart : public QCustomPlot {
    Q_OBJECT
public:
    explicit LevelChart(QWidget* parent = nullptr);

    // Empties both series.
    void Clear();
    // Series1: the level line split by colour (day numbers); the range is set over `points`.
    void SetLevelLine(const std::vector<LevelPoint>& sortedPoints);
    // Series2: the silences, red dots on level 0.
    void SetErrorMarkers(const std::vector<double>& times);
    // Automatic ranges over all points of both series, 5 pixels of margin at each end; with no
    // point at all the ranges stay and the axes lose their labels.
    void ApplyAutoRange();

    QCPGraph* BlueLine() const { return blue_; }
    QCPGraph* RedLine() const { return red_; }
    QCPGraph* ErrorDots() const { return dots_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private slots:
    void FitTimeTicks();

private:
    struct Bounds {
        bool any = false;
        double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
        void Add(double x, double y);
    };
    // The line graphs' data, refilled in place so their capacity is reused.
    QSharedPointer<QCPGraphDataContainer> blueData_, redData_;
    QCPGraph* blue_;
    QCPGraph* red_;
    QCPGraph* dots_;
    Bounds line_;
    Bounds markers_;
    QCPRange autoX_, autoY_;
    bool autoShown_ = false;
};
