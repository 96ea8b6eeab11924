#include "LevelChart.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr double kUnixEpochDay = 25569.0; // 01/01/1970 as a day number
constexpr int64_t kUnixEpochMs = 25569LL * 86400000LL;
constexpr int kMarginPx = 5;
constexpr char kTimeLabelFormat[] = "dd/MM/yyyy HH:mm";

// A line graph whose thinning keeps its breaks: runs between NaN values are reduced to
// first, lowest, highest and last value per pixel column, and every break stays a break.
// The stock thinning may swallow a break that falls inside a pixel run and join the line
// across a gap.
class BrokenLineGraph : public QCPGraph {
public:
    using QCPGraph::QCPGraph;

protected:
    void getOptimizedLineData(QVector<QCPGraphData>* out,
                              const QCPGraphDataContainer::const_iterator& begin,
                              const QCPGraphDataContainer::const_iterator& end) const override;
};

struct Column {
    bool open = false;
    double pixel = 0;
    QCPGraphData first, low, high, last;
    int count = 0;

    void Flush(QVector<QCPGraphData>* out) {
        if (!open)
            return;
        out->append(first);
        if (count > 1) {
            const bool lowFirst = low.key <= high.key;
            out->append(lowFirst ? low : high);
            out->append(lowFirst ? high : low);
            out->append(last);
        }
        open = false;
    }
    void Start(const QCPGraphData& d, double px) {
        open = true;
        pixel = px;
        first = low = high = last = d;
        count = 1;
    }
    void Take(const QCPGraphData& d) {
        if (d.value < low.value)
            low = d;
        if (d.value > high.value)
            high = d;
        last = d;
        ++count;
    }
};

void BrokenLineGraph::getOptimizedLineData(QVector<QCPGraphData>* out,
                                           const QCPGraphDataContainer::const_iterator& begin,
                                           const QCPGraphDataContainer::const_iterator& end) const {
    if (!out)
        return;
    out->clear();
    QCPAxis* keyAxis = mKeyAxis.data();
    if (!keyAxis || begin == end)
        return;
    Column col;
    for (auto it = begin; it != end; ++it) {
        if (std::isnan(it->value)) {
            col.Flush(out);
            out->append(*it);
            continue;
        }
        const double px = std::floor(keyAxis->coordToPixel(it->key));
        if (col.open && px == col.pixel) {
            col.Take(*it);
        } else {
            col.Flush(out);
            col.Start(*it, px);
        }
    }
    col.Flush(out);
}

// Litres are whole numbers: never a label step below 1.
class LevelTicker : public QCPAxisTicker {
protected:
    double getTickStep(const QCPRange& range) override {
        return std::max(1.0, QCPAxisTicker::getTickStep(range));
    }
};

QCPGraph* AddLine(QCustomPlot* plot, const QColor& colour) {
    auto* g = new BrokenLineGraph(plot->xAxis, plot->yAxis);
    g->setPen(QPen(colour, 2));
    g->setLineStyle(QCPGraph::lsLine);
    g->setScatterStyle(QCPScatterStyle::ssNone);
    g->setSelectable(QCP::stNone);
    return g;
}

// Widens [lo, hi] so that it covers `pixels` minus two margins; a single value gets a span.
QCPRange WithMargins(double lo, double hi, int pixels, double emptySpan) {
    if (hi <= lo) {
        lo -= emptySpan;
        hi += emptySpan;
    }
    const int inner = pixels - 2 * kMarginPx;
    const double m = inner > 0 ? (hi - lo) * kMarginPx / inner : 0;
    return QCPRange(lo - m, hi + m);
}

} // namespace

// Whole milliseconds, so that the ticker, which truncates to the millisecond, shows 10:00
// rather than 09:59 for a reading at 10:00.
double DayToKey(double dayNumber) {
    const int64_t ms = std::llround(dayNumber * 86400000.0) - kUnixEpochMs;
    return static_cast<double>(ms) / 1000.0;
}
double KeyToDay(double key) {
    return key / 86400.0 + kUnixEpochDay;
}

void LevelChart::Bounds::Add(double x, double y) {
    if (!any) {
        any = true;
        x0 = x1 = x;
        y0 = y1 = y;
        return;
    }
    x0 = std::min(x0, x);
    x1 = std::max(x1, x);
    y0 = std::min(y0, y);
    y1 = std::max(y1, y);
}

LevelChart::LevelChart(QWidget* parent) : QCustomPlot(parent) {
    setBackground(palette().window());
    axisRect()->setBackground(palette().window());
    blue_ = AddLine(this, QColor(68, 102, 163));
    red_ = AddLine(this, QColor(255, 0, 0));
    blueData_ = blue_->data();
    redData_ = red_->data();
    dots_ = addGraph();
    dots_->setLineStyle(QCPGraph::lsNone);
    dots_->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, QColor(255, 0, 0), 6));
    dots_->setSelectable(QCP::stNone);

    auto dates = QSharedPointer<QCPAxisTickerDateTime>::create();
    dates->setDateTimeFormat(kTimeLabelFormat);
    dates->setDateTimeSpec(Qt::UTC);
    xAxis->setTicker(dates);
    yAxis->setTicker(QSharedPointer<LevelTicker>::create());

    // A grey frame round the plot area.
    const QPen grey(QColor(128, 128, 128));
    for (QCPAxis* a : axisRect()->axes()) {
        a->setBasePen(grey);
        a->setVisible(true);
    }
    xAxis2->setTicks(false);
    yAxis2->setTicks(false);
    xAxis2->setTickLabels(false);
    yAxis2->setTickLabels(false);
    // Nothing is drawn yet, so there is no scale to label.
    xAxis->setTickLabels(false);
    yAxis->setTickLabels(false);

    // Zooming, panning and resizing all change how many time labels fit side by side.
    connect(this, &QCustomPlot::beforeReplot, this, &LevelChart::FitTimeTicks);

    setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    axisRect()->setRangeDrag(Qt::Horizontal);
    axisRect()->setRangeZoom(Qt::Horizontal);
    axisRect()->setRangeDragAxes(xAxis, nullptr);
    axisRect()->setRangeZoomAxes(xAxis, nullptr);
}

void LevelChart::Clear() {
    blue_->data()->clear();
    red_->data()->clear();
    dots_->data()->clear();
    line_ = {};
    markers_ = {};
    autoShown_ = false;
}

void LevelChart::SetLevelLine(const std::vector<LevelPoint>& sorted) {
    blueData_->clear();
    redData_->clear();
    ForEachColouredVertex(
        sorted, [&](double x, double y) { blueData_->add(QCPGraphData(DayToKey(x), y)); },
        [&](double x, double y) { redData_->add(QCPGraphData(DayToKey(x), y)); });
    line_ = {};
    for (const LevelPoint& p : sorted)
        line_.Add(DayToKey(p.x), p.y);
}

void LevelChart::SetErrorMarkers(const std::vector<double>& times) {
    QVector<QCPGraphData> d;
    d.reserve(static_cast<qsizetype>(times.size()));
    markers_ = {};
    for (double t : times) {
        d.append(QCPGraphData(DayToKey(t), 0));
        markers_.Add(DayToKey(t), 0);
    }
    // The dots are drawn as points only, so their order does not matter to the picture.
    dots_->data()->set(d, false);
}

void LevelChart::ApplyAutoRange() {
    Bounds all = line_;
    if (markers_.any) {
        all.Add(markers_.x0, 0);
        all.Add(markers_.x1, 0);
    }
    // An empty chart shows no scale: QCustomPlot's default range would label the time
    // axis with dates of 1970 and the level axis with litres nobody measured.
    xAxis->setTickLabels(all.any);
    yAxis->setTickLabels(all.any);
    if (!all.any)
        return;
    // The viewport follows resize events, which a hidden widget has not had yet.
    setViewport(rect());
    updateLayout();
    const QRect r = axisRect()->rect();
    autoX_ = WithMargins(all.x0, all.x1, r.width(), 60.0);
    autoY_ = WithMargins(all.y0, all.y1, r.height(), 1.0);
    xAxis->setRange(autoX_);
    yAxis->setRange(autoY_);
    autoShown_ = true;
}

void LevelChart::resizeEvent(QResizeEvent* event) {
    // Keep the margins at 5 pixels while the operator has not zoomed or panned.
    const bool keep = autoShown_ && xAxis->range() == autoX_ && yAxis->range() == autoY_;
    QCustomPlot::resizeEvent(event);
    if (keep)
        ApplyAutoRange();
}

// A time label is some 90 pixels wide: the ticker's stock five ticks overlap on a narrow
// chart, and a short period lets it pick a nice step smaller than asked for. Ask for fewer
// ticks until neighbouring labels stand clear of each other.
void LevelChart::FitTimeTicks() {
    updateLayout(); // the axis rect's width as this replot will draw it
    const QFontMetrics metrics(xAxis->tickLabelFont());
    const QString widest = QDateTime(QDate(2000, 12, 28), QTime(20, 58)).toString(kTimeLabelFormat);
    const double needed =
        metrics.horizontalAdvance(widest) + metrics.horizontalAdvance(QStringLiteral("  "));
    const int width = axisRect()->width();
    QCPAxisTicker& ticker = *xAxis->ticker();
    QVector<double> ticks;
    for (int count = std::max(1, int(width / needed)); count >= 1; --count) {
        ticker.setTickCount(count);
        ticker.generate(xAxis->range(), locale(), QLatin1Char('g'), 6, ticks, nullptr, nullptr);
        if (ticks.size() < 2 ||
            std::abs(xAxis->coordToPixel(ticks[1]) - xAxis->coordToPixel(ticks[0])) >= needed)
            break;
    }
}
