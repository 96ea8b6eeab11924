#include "ReportChart.h"

#include "ChartEvents.h"
#include "DayNumbers.h"
#include "EventList.h"
#include "LevelSeries.h"
#include "ReportLayout.h"
#include "TextFormats.h"

#include <QFontMetricsF>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <limits>

namespace ReportPrint {

namespace {

const QColor kLevel(68, 102, 163);
const QColor kDelivery(0, 130, 0);
const QColor kLoss(200, 0, 0);
const QColor kNoReadings(220, 0, 0);
const QColor kGrid(225, 225, 225);

// As on screen, a little stronger: paper shows light tints paler.
QColor BandColour(AlarmKind kind) {
    switch (kind) {
    case AlarmKind::Low:
        return QColor(240, 170, 0, 60);
    case AlarmKind::High:
        return QColor(60, 120, 220, 55);
    case AlarmKind::Silent:
        return QColor(120, 120, 120, 55);
    case AlarmKind::Loss:
    case AlarmKind::Reconciliation:
        return QColor(220, 60, 60, 50);
    case AlarmKind::Leak:
        return QColor(150, 60, 200, 45);
    }
    return QColor(120, 120, 120, 55);
}

} // namespace

// The level over the period as on screen (readings inside it only), with what happened.
void ChartPainter::Paint(QPainter& p, const QRectF& box, const TankReport& rep) const {
    const double from = span_.from, to = std::max(span_.to, span_.from + 1.0 / kMinutesPerDay);
    const QRectF plot = box.adjusted(46, 18, -8, -28);

    std::vector<fdata> samples;
    for (const StoredReading& s : rep.readings)
        if (s.utc + span_.offset >= from && s.utc + span_.offset < to)
            samples.push_back({s.utc + span_.offset, s.gross});
    std::vector<LevelPoint> points = BuildLevelSeries(samples, from, to);
    SortForDrawing(points);
    const LevelPicture picture = DrawLevelPicture(points);
    std::vector<ReportLayout::Vertex> line;
    for (const LineVertex& v : picture.line)
        line.push_back({v.x, v.y});
    line = ReportLayout::Thin(line, from, to, std::max(1, int(plot.width() * 2)));

    // The litres axis: every drawn level and every event's level inside it.
    double lo = std::numeric_limits<double>::max(), hi = std::numeric_limits<double>::lowest();
    const auto take = [&](double v) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    };
    for (const auto& v : line)
        if (!std::isnan(v.y))
            take(v.y);
    for (const EventRow& e : rep.events)
        if ((e.kind == "delivery" || e.kind == "loss") && e.tstart + span_.offset >= from &&
            e.tstart + span_.offset < to) {
            if (e.vbefore)
                take(double(*e.vbefore));
            if (e.vafter)
                take(double(*e.vafter));
        }
    if (lo > hi)
        lo = 0, hi = std::max(1000, rep.tank->Capacity);
    const double pad = std::max(10.0, (hi - lo) * 0.08);
    const double step = ReportLayout::NiceStep(hi - lo + 2 * pad, 6);
    const double yLo = std::max(0.0, std::floor((lo - pad) / step) * step);
    const double yHi = std::ceil((hi + pad) / step) * step;
    const auto X = [&](double t) { return plot.left() + (t - from) / (to - from) * plot.width(); };
    const auto Y = [&](double v) {
        return plot.bottom() - (v - yLo) / (yHi - yLo) * plot.height();
    };

    p.fillRect(plot, Qt::white);
    // Markers and alarm bands as the screen's chart places them.
    const ChartEvents shown =
        BuildChartEvents(rep.events, points, from, to, span_.offset, span_.printedAt);
    for (const AlarmBand& band : shown.bands)
        if (band.to > band.from)
            p.fillRect(
                QRectF(QPointF(X(band.from), plot.top()), QPointF(X(band.to), plot.bottom())),
                BandColour(band.kind));

    // Grid and labels.
    p.setFont(Font(7));
    for (double v : ReportLayout::Ticks(yLo, yHi, step)) {
        p.setPen(QPen(kGrid, 0.4));
        p.drawLine(QPointF(plot.left(), Y(v)), QPointF(plot.right(), Y(v)));
        Text(p, QRectF(box.left(), Y(v) - 6, 42, 12), Num(v), Qt::AlignRight | Qt::AlignVCenter, 7);
    }
    Text(p, QRectF(box.left(), box.top(), 120, 14), "Gross, l", Qt::AlignLeft | Qt::AlignVCenter,
         7.5, true);
    const double tstep = ReportLayout::TimeStep(to - from, std::max(2, int(plot.width() / 64)));
    int lastDay = std::numeric_limits<int>::min();
    for (double t : ReportLayout::Ticks(from, to, tstep)) {
        p.setPen(QPen(kGrid, 0.4));
        p.drawLine(QPointF(X(t), plot.top()), QPointF(X(t), plot.bottom()));
        const double cx = std::clamp(X(t), box.left() + 32, box.right() - 32);
        const QRectF under(cx - 32, plot.bottom() + 2, 64, 11);
        const int day = int(std::floor(t + 1e-9));
        if (tstep >= 1) {
            Text(p, under, Q(TextFormats::ShortDate(day)), Qt::AlignCenter, 7);
            continue;
        }
        Text(p, under, Q(TextFormats::LongTime(t)).left(5), Qt::AlignCenter, 7);
        if (day != lastDay)
            Text(p, under.translated(0, 11), Q(TextFormats::ShortDate(day)), Qt::AlignCenter, 7);
        lastDay = day;
    }

    // The tank's alarm levels, where the axis reaches them.
    for (auto [level, colour] : {std::pair{rep.tank->LowFuel, QColor(230, 140, 0)},
                                 std::pair{rep.tank->OverFuel, QColor(200, 0, 0)}})
        if (level > 0 && level > yLo && level < yHi) {
            p.setPen(QPen(colour, 0.7, Qt::DashLine));
            p.drawLine(QPointF(plot.left(), Y(level)), QPointF(plot.right(), Y(level)));
        }

    // Time without readings as a strip along the time axis, as on screen; what is still to
    // come when the report is printed is no silence.
    for (const TimeSpan& s : picture.silences) {
        const double a = std::max(from, s.from), b = std::min({to, s.to, span_.printedAt});
        if (b > a)
            p.fillRect(QRectF(X(a), plot.bottom() - 4, std::max(0.5, X(b) - X(a)), 4), kNoReadings);
    }

    QPainterPath path;
    bool pen = false;
    for (const auto& v : line) {
        if (std::isnan(v.y)) {
            pen = false;
            continue;
        }
        const QPointF at(X(v.x), Y(v.y));
        if (pen)
            path.lineTo(at);
        else
            path.moveTo(at);
        pen = true;
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kLevel, 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);

    // Deliveries and losses at their start, with the litres they moved.
    for (const EventMarker& m : shown.markers) {
        const bool up = m.up;
        const QPointF at(X(m.x), Y(m.level));
        // Below the level for a delivery, pointing up; above it for a loss, pointing down:
        // on the side the line has left.
        const double d = up ? 1 : -1;
        QPolygonF mark;
        mark << QPointF(at.x(), at.y() + d * 2) << QPointF(at.x() - 4, at.y() + d * 10)
             << QPointF(at.x() + 4, at.y() + d * 10);
        p.setPen(Qt::NoPen);
        p.setBrush(up ? kDelivery : kLoss);
        p.drawPolygon(mark);
        p.setBrush(Qt::NoBrush);
        QString text = up ? "Delivery" : "Loss";
        for (const EventRow& e : rep.events)
            if (std::abs(e.tstart + span_.offset - m.x) < 1e-9 && e.vbefore && e.vafter)
                text = Q(ChangeText(e.vbefore, e.vafter)) + " l";
        const QRectF label(at.x() - 40, up ? at.y() + 11 : at.y() - 22, 80, 11);
        Text(p, label, text, Qt::AlignCenter, 7, true, up ? kDelivery : kLoss);
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(Qt::black, 0.6));
    p.drawRect(plot);

    // The legend along the top.
    struct Key {
        QString text;
        QColor colour;
        int shape; // 0 line, 1 up, 2 down, 3 band, 4 strip
    };
    const Key keys[] = {{"Level", kLevel, 0},
                        {"Delivery", kDelivery, 1},
                        {"Loss", kLoss, 2},
                        {"Low level", BandColour(AlarmKind::Low), 3},
                        {"High level", BandColour(AlarmKind::High), 3},
                        {"No signal", BandColour(AlarmKind::Silent), 3},
                        {"Loss alarm", BandColour(AlarmKind::Loss), 3},
                        {"No readings", kNoReadings, 4}};
    double x = plot.left() + 60;
    const double y = box.top() + 7;
    for (const Key& k : keys) {
        switch (k.shape) {
        case 0:
            p.setPen(QPen(k.colour, 1.2));
            p.drawLine(QPointF(x, y), QPointF(x + 12, y));
            break;
        case 1:
        case 2: {
            const double d = k.shape == 1 ? 1 : -1; // from the tip towards the base
            QPolygonF m;
            m << QPointF(x + 6, y - d * 3.5) << QPointF(x + 2, y + d * 3.5)
              << QPointF(x + 10, y + d * 3.5);
            p.setPen(Qt::NoPen);
            p.setBrush(k.colour);
            p.drawPolygon(m);
            p.setBrush(Qt::NoBrush);
            break;
        }
        case 3:
            p.fillRect(QRectF(x, y - 4, 12, 8), k.colour);
            break;
        default:
            p.fillRect(QRectF(x, y + 1, 12, 3), k.colour);
        }
        Text(p, QRectF(x + 15, y - 6, 60, 12), k.text, Qt::AlignLeft | Qt::AlignVCenter, 7);
        x += 15 + QFontMetricsF(Font(7), p.device()).horizontalAdvance(k.text) + 14;
    }
}

} // namespace ReportPrint
