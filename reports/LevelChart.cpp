#include "LevelChart.h"
#include "DayNumbers.h"

#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr int64_t kUnixEpochMs = kUnixEpochDay * kMsPerDay;
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
    // The time axis is linear: one scale and offset serve every key of a year of readings.
    const double p0 = keyAxis->coordToPixel(0);
    const double scale = keyAxis->coordToPixel(1) - p0;
    Column col;
    for (auto it = begin; it != end; ++it) {
        if (std::isnan(it->value)) {
            col.Flush(out);
            out->append(*it);
            continue;
        }
        const double px = std::floor(p0 + scale * it->key);
        if (col.open && px == col.pixel) {
            col.Take(*it);
        } else {
            col.Flush(out);
            col.Start(*it, px);
        }
    }
    col.Flush(out);
}

// Litres are whole numbers: never a label step below 1. Each label carries the unit.
class LevelTicker : public QCPAxisTicker {
protected:
    double getTickStep(const QCPRange& range) override {
        return std::max(1.0, QCPAxisTicker::getTickStep(range));
    }
    QString getTickLabel(double tick, const QLocale& locale, QChar formatChar,
                         int precision) override {
        return QCPAxisTicker::getTickLabel(tick, locale, formatChar, precision) +
               QStringLiteral(" l");
    }
};

QCPGraph* AddLine(QCustomPlot* plot, const QColor& colour) {
    auto* g = new BrokenLineGraph(plot->xAxis, plot->yAxis);
    g->setPen(QPen(colour, 2));
    // Stroking a jagged two-pixel line with antialiasing costs more than all the queries of
    // a day's report; the line is drawn as the toolkit's own charts draw it, without.
    g->setAntialiased(false);
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

// A layer drawn inside the plot area with square edges: the strip and the alarm shading.
class PlotAreaLayer : public QCPLayerable {
public:
    using QCPLayerable::QCPLayerable;

protected:
    void applyDefaultAntialiasingHint(QCPPainter* painter) const override {
        applyAntialiasingHint(painter, false, QCP::aeOther);
    }
    QRect clipRect() const override { return mParentPlot->axisRect()->rect(); }
};

// The strip along the bottom of the plot area: a band for each stretch without readings and
// a mark for each logged silence. It lies on the time axis rather than at any level, since
// no level was measured there. Spans closer than a pixel are drawn as one rectangle, so a
// year of silences costs no more than the chart's width.
class SilenceStrip : public PlotAreaLayer {
public:
    explicit SilenceStrip(QCustomPlot* plot) : PlotAreaLayer(plot) {}
    std::vector<TimeSpan> bands; // keys
    std::vector<double> marks;   // keys

protected:
    void draw(QCPPainter* painter) override {
        QCPAxis* x = mParentPlot->xAxis;
        const QRect r = mParentPlot->axisRect()->rect();
        const QColor red(255, 0, 0);
        painter->setPen(Qt::NoPen);
        painter->setBrush(red);
        const int bandTop = r.bottom() + 1 - LevelChart::kBandPx;
        DrawMerged(
            painter, bands,
            [&](const TimeSpan& b) {
                return std::pair(x->coordToPixel(b.from), x->coordToPixel(b.to));
            },
            bandTop, LevelChart::kBandPx, 1.0);
        const int markHeight = 2 * LevelChart::kBandPx;
        DrawMerged(
            painter, marks,
            [&](double k) {
                const double px = x->coordToPixel(k);
                return std::pair(px - 1, px + 1);
            },
            r.bottom() + 1 - markHeight, markHeight, 2.0);
    }

private:
    // Fills [left, right] x [top, top + height) for each item, joining neighbours that
    // overlap or touch at pixel resolution.
    template <class Items, class Span>
    static void DrawMerged(QCPPainter* painter, const Items& items, Span span, int top, int height,
                           double minWidth) {
        bool open = false;
        double left = 0, right = 0;
        auto flush = [&] {
            if (open)
                painter->drawRect(QRectF(left, top, std::max(minWidth, right - left), height));
        };
        for (const auto& item : items) {
            auto [a, b] = span(item);
            if (a > b)
                std::swap(a, b);
            if (open && a <= right + 1) {
                right = std::max(right, b);
                continue;
            }
            flush();
            open = true;
            left = a;
            right = b;
        }
        flush();
    }
};

// Alarms as light shading over the whole height of the plot, behind the level line, each
// kind in its own calm colour with its word along the top while the band is wide enough.
class AlarmShading : public PlotAreaLayer {
public:
    explicit AlarmShading(QCustomPlot* plot) : PlotAreaLayer(plot, QStringLiteral("grid")) {}
    std::vector<AlarmBand> bands;

protected:
    void draw(QCPPainter* painter) override {
        QCPAxis* x = mParentPlot->xAxis;
        const QRect r = mParentPlot->axisRect()->rect();
        QFont font = mParentPlot->font();
        font.setPointSizeF(std::max(6.0, font.pointSizeF() - 1));
        painter->setFont(font);
        const QFontMetrics metrics(font);
        for (const AlarmBand& b : bands) {
            const Look look = LookOf(b.kind);
            const double left = x->coordToPixel(DayToKey(b.from));
            const double right = x->coordToPixel(DayToKey(b.to));
            const QRectF band(left, r.top(), std::max(1.0, right - left), r.height());
            painter->setPen(Qt::NoPen);
            painter->setBrush(look.fill);
            painter->drawRect(band);
            // One row of words per kind, so that overlapping alarms keep theirs apart.
            const QString word = QString::fromUtf8(AlarmWord(b.kind));
            if (band.width() < metrics.horizontalAdvance(word) + 6)
                continue;
            painter->setPen(look.text);
            const int row = static_cast<int>(b.kind);
            painter->drawText(
                QPointF(band.left() + 3, r.top() + 2 + metrics.ascent() + row * metrics.height()),
                word);
        }
    }

private:
    struct Look {
        QColor fill, text;
    };
    static Look LookOf(AlarmKind kind) {
        switch (kind) {
        case AlarmKind::Low:
            return {QColor(240, 170, 0, 45), QColor(150, 100, 0)};
        case AlarmKind::High:
            return {QColor(60, 120, 220, 40), QColor(40, 80, 160)};
        case AlarmKind::Silent:
            return {QColor(120, 120, 120, 40), QColor(90, 90, 90)};
        case AlarmKind::Loss:
        case AlarmKind::Reconciliation:
            return {QColor(220, 60, 60, 36), QColor(170, 40, 40)};
        case AlarmKind::Leak:
            return {QColor(150, 60, 200, 32), QColor(110, 40, 150)};
        }
        return {QColor(120, 120, 120, 40), QColor(90, 90, 90)};
    }
};

// Deliveries as green triangles pointing up, losses as red ones pointing down, centred on
// the level line where they began. Drawn above the line.
class EventMarks : public QCPLayerable {
public:
    explicit EventMarks(QCustomPlot* plot) : QCPLayerable(plot) {}
    std::vector<EventMarker> markers;
    static constexpr double kHalf = 7; // pixels from the centre to a corner

    QPointF Centre(const EventMarker& m) const {
        return {mParentPlot->xAxis->coordToPixel(DayToKey(m.x)),
                mParentPlot->yAxis->coordToPixel(m.level)};
    }

protected:
    void applyDefaultAntialiasingHint(QCPPainter* painter) const override {
        applyAntialiasingHint(painter, true, QCP::aeScatters);
    }
    // A marker at the edge of the plot (a delivery from the lowest level) is shown whole.
    QRect clipRect() const override {
        const int m = int(kHalf) + 1;
        return mParentPlot->axisRect()->rect().adjusted(-m, -m, m, m);
    }
    void draw(QCPPainter* painter) override {
        painter->setPen(QPen(Qt::white, 1));
        for (const EventMarker& m : markers) {
            const QPointF c = Centre(m);
            const double tip = m.up ? -kHalf : kHalf;
            const QPointF corners[3] = {{c.x(), c.y() + tip},
                                        {c.x() - kHalf, c.y() - tip * 0.8},
                                        {c.x() + kHalf, c.y() - tip * 0.8}};
            painter->setBrush(m.up ? QColor(0, 150, 60) : QColor(210, 30, 30));
            painter->drawPolygon(corners, 3);
        }
    }
};

// Whole milliseconds, so that the ticker, which truncates to the millisecond, shows 10:00
// rather than 09:59 for a reading at 10:00.
double DayToKey(double dayNumber) {
    const int64_t ms = std::llround(dayNumber * double(kMsPerDay)) - kUnixEpochMs;
    return static_cast<double>(ms) / 1000.0;
}
double KeyToDay(double key) {
    return key / kSecondsPerDay + double(kUnixEpochDay);
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
    blueData_ = blue_->data();
    strip_ = new SilenceStrip(this);
    shading_ = new AlarmShading(this);
    marks_ = new EventMarks(this);
    setMouseTracking(true); // marker tooltips follow the mouse without a button held

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

const std::vector<TimeSpan>& LevelChart::Bands() const {
    return strip_->bands;
}

const std::vector<double>& LevelChart::Marks() const {
    return strip_->marks;
}

void LevelChart::Clear() {
    blueData_->clear();
    strip_->bands.clear();
    strip_->marks.clear();
    shading_->bands.clear();
    marks_->markers.clear();
    time_ = {};
    levels_ = {};
    autoShown_ = false;
}

void LevelChart::SetEvents(ChartEvents events) {
    shading_->bands = std::move(events.bands);
    marks_->markers = std::move(events.markers);
    // A marker placed off the line (it started where none was drawn) must still be seen.
    if (levels_.any)
        for (const EventMarker& m : marks_->markers)
            levels_.Add(0, m.level);
}

const std::vector<EventMarker>& LevelChart::EventMarkers() const {
    return marks_->markers;
}

const std::vector<AlarmBand>& LevelChart::AlarmBands() const {
    return shading_->bands;
}

QString LevelChart::MarkerTipAt(const QPointF& pos) const {
    std::vector<PixelPoint> centres;
    centres.reserve(marks_->markers.size());
    for (const EventMarker& m : marks_->markers) {
        const QPointF c = marks_->Centre(m);
        centres.push_back({c.x(), c.y()});
    }
    const int i = MarkerAt(centres, pos.x(), pos.y(), kMarkerHitPx);
    return i < 0 ? QString() : QString::fromStdString(marks_->markers[std::size_t(i)].tip);
}

void LevelChart::mouseMoveEvent(QMouseEvent* event) {
    QCustomPlot::mouseMoveEvent(event);
    const QString tip =
        event->buttons() == Qt::NoButton ? MarkerTipAt(event->position()) : QString();
    if (!tip.isEmpty())
        QToolTip::showText(event->globalPosition().toPoint(), tip, this);
    else if (QToolTip::isVisible())
        QToolTip::hideText();
}

void LevelChart::SetLevelLine(const std::vector<LevelPoint>& sorted) {
    blueData_->clear();
    strip_->bands.clear();
    ForEachDrawnPart(
        sorted, [&](double x, double y) { blueData_->add(QCPGraphData(DayToKey(x), y)); },
        [&](double from, double to) {
            strip_->bands.push_back({DayToKey(from), DayToKey(to)});
        });
    time_ = {};
    levels_ = {};
    if (sorted.empty())
        return;
    time_.Add(DayToKey(sorted.front().x), 0);
    time_.Add(DayToKey(sorted.back().x), 0);
    for (const LevelPoint& p : sorted)
        if (p.reading)
            levels_.Add(0, p.y);
}

void LevelChart::SetErrorMarkers(const std::vector<double>& times) {
    strip_->marks.clear();
    strip_->marks.reserve(times.size());
    for (double t : times) {
        strip_->marks.push_back(DayToKey(t));
        time_.Add(DayToKey(t), 0);
    }
    // Marks next to each other are joined when drawn, so they go in time order.
    std::sort(strip_->marks.begin(), strip_->marks.end());
}

void LevelChart::ApplyAutoRange() {
    // An empty chart shows no scale: QCustomPlot's default range would label the time
    // axis with dates of 1970 and the level axis with litres nobody measured.
    xAxis->setTickLabels(time_.any);
    yAxis->setTickLabels(levels_.any);
    if (!time_.any)
        return;
    // The viewport follows resize events, which a hidden widget has not had yet.
    setViewport(rect());
    updateLayout();
    const QRect r = axisRect()->rect();
    autoX_ = WithMargins(time_.x0, time_.x1, r.width(), 60.0);
    xAxis->setRange(autoX_);
    if (levels_.any) {
        autoY_ = WithMargins(levels_.y0, levels_.y1, r.height(), 1.0);
        yAxis->setRange(autoY_);
    }
    autoY_ = yAxis->range();
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
