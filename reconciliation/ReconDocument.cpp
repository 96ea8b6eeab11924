#include "ReconDocument.h"

#include "Csv.h"
#include "DayNumbers.h"
#include "TextFormats.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QSaveFile>

#include <algorithm>
#include <cmath>

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QString PeriodText(double from, double to) {
    const bool wholeDays = from == std::floor(from) && to == std::floor(to);
    if (wholeDays)
        return Q(TextFormats::ShortDate(from)) + " - " + Q(TextFormats::ShortDate(to - 1));
    return Q(TextFormats::DateTime(from)) + " - " + Q(TextFormats::DateTime(to));
}

// A cursor down the pages: each block asks for its height and gets a new page when it does
// not fit; every page carries its number at the foot.
class Pages {
public:
    Pages(QPainter& p, QPagedPaintDevice& device, const QRectF& area, int total)
        : p_(p), device_(device), area_(area), y_(area.top()), total_(total) {}
    int count() const { return page_; }
    // What each page's foot names, so that a page taken out of the pile still says what it
    // belongs to.
    void setNote(const QString& note) { note_ = note; }
    double width() const { return area_.width(); }
    // The rectangle of a block `h` high, on a new page when it does not fit here (or when
    // `fresh` and this page has something on it already).
    QRectF take(double h, bool fresh = false) {
        if (y_ + h > bottom() || (fresh && y_ > area_.top())) {
            footer();
            device_.newPage();
            ++page_;
            y_ = area_.top();
        }
        QRectF r(area_.left(), y_, area_.width(), h);
        y_ += h;
        return r;
    }
    void space(double h) { y_ = std::min(y_ + h, bottom()); }
    void footer() {
        p_.save();
        QFont f = p_.font();
        f.setPointSizeF(7);
        p_.setFont(f);
        const QRectF foot(area_.left(), area_.bottom() - footH(), area_.width(), footH());
        const QString number = total_ > 0 ? QString("Page %1 of %2").arg(page_).arg(total_)
                                          : QString("Page %1").arg(page_);
        p_.drawText(foot, Qt::AlignRight | Qt::AlignVCenter, number);
        p_.drawText(
            foot.adjusted(0, 0, -QFontMetricsF(p_.font()).horizontalAdvance(number) * 1.5, 0),
            Qt::AlignLeft | Qt::AlignVCenter,
            QFontMetricsF(p_.font()).elidedText(note_, Qt::ElideRight, foot.width() * 0.8));
        p_.restore();
    }

private:
    double footH() const { return QFontMetricsF(p_.font()).height() * 1.5; }
    double bottom() const { return area_.bottom() - footH(); }
    QPainter& p_;
    QPagedPaintDevice& device_;
    QRectF area_;
    double y_;
    int total_;
    int page_ = 1;
    QString note_;
};

void Text(QPainter& p, Pages& pages, const QString& text, double pt, bool bold = false) {
    QFont f = p.font();
    f.setPointSizeF(pt);
    f.setBold(bold);
    p.save();
    p.setFont(f);
    const QFontMetricsF fm(f, p.device());
    const QRectF need = fm.boundingRect(QRectF(0, 0, pages.width(), 1e6), Qt::TextWordWrap, text);
    const double h = need.height() + fm.height() * 0.25;
    p.drawText(pages.take(h), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, text);
    p.restore();
}

// A table with a shaded header, repeated on each new page; columns as wide as their widest
// cell, scaled down to the page when they are wider.
void Table(QPainter& p, Pages& pages, const TextTable& t) {
    QFont f = p.font();
    f.setPointSizeF(7);
    p.save();
    p.setFont(f);
    const QFontMetricsF fm(f, p.device());
    QFont bold = f;
    bold.setBold(true);
    const QFontMetricsF fmBold(bold, p.device());
    const double pad = fm.averageCharWidth();
    std::vector<double> w(t.headers.size());
    for (std::size_t c = 0; c < w.size(); ++c) {
        w[c] = fmBold.horizontalAdvance(Q(t.headers[c])) + 2 * pad;
        for (const auto& row : t.rows)
            if (c < row.size())
                w[c] = std::max(w[c], fmBold.horizontalAdvance(Q(row[c])) + 2 * pad);
    }
    double total = 0;
    for (double x : w)
        total += x;
    const double scale = total > pages.width() ? pages.width() / total : 1;
    const double rowH = fm.height() * 1.35;
    auto line = [&](const std::vector<std::string>& cells, bool head) {
        const QRectF r = pages.take(rowH);
        if (head)
            p.fillRect(r.adjusted(0, 0, -(pages.width() - std::min(total, pages.width())), 0),
                       QColor(225, 225, 225));
        double x = r.left();
        for (std::size_t c = 0; c < w.size(); ++c) {
            const QRectF cell(x + pad * scale, r.top(), w[c] * scale - 2 * pad * scale, r.height());
            const QString s = c < cells.size() ? Q(cells[c]) : QString();
            const bool textual = c == 0 || head || s.isEmpty() || s[0].isLetter();
            QFont cf = f;
            cf.setBold(head || s == "fail" || s == "SHORT");
            p.setFont(cf);
            p.drawText(
                cell, (textual ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter,
                QFontMetricsF(cf, p.device()).elidedText(s, Qt::ElideRight, cell.width() + 1));
            x += w[c] * scale;
        }
        p.setPen(QColor(190, 190, 190));
        p.drawLine(r.bottomLeft(), QPointF(r.left() + std::min(total, pages.width()), r.bottom()));
        p.setPen(Qt::black);
    };
    line(t.headers, true);
    for (const auto& row : t.rows)
        line(row, false);
    p.restore();
}

} // namespace

void PaintCumulativeChart(QPainter& p, const QRectF& area, const TankReconReport& tank) {
    const auto& rows = tank.rec.rows;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QFont f = p.font();
    f.setPointSizeF(7);
    p.setFont(f);
    const QFontMetricsF fm(f, p.device());
    const double left = fm.horizontalAdvance("-00000 l") + fm.averageCharWidth();
    const QRectF plot =
        area.adjusted(left, fm.height() * 0.5, -fm.horizontalAdvance("00/00"), -fm.height() * 1.6);
    p.fillRect(area, Qt::white);
    p.setPen(QColor(160, 160, 160));
    p.drawRect(plot);
    if (rows.empty()) {
        p.restore();
        return;
    }
    // the band: ± the daily tolerances summed over the periods with a book side so far
    std::vector<double> band(rows.size()), value(rows.size(), NAN);
    double sum = 0, lo = -1, hi = 1;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].variance)
            sum += rows[i].tolerance;
        band[i] = sum;
        if (rows[i].cumulative)
            value[i] = *rows[i].cumulative;
        lo = std::min({lo, -band[i], std::isnan(value[i]) ? lo : value[i]});
        hi = std::max({hi, band[i], std::isnan(value[i]) ? hi : value[i]});
    }
    const double margin = (hi - lo) * 0.08;
    lo -= margin;
    hi += margin;
    const double t0 = rows.front().start, t1 = rows.back().stop;
    auto X = [&](double t) { return plot.left() + (t - t0) / (t1 - t0) * plot.width(); };
    auto Y = [&](double v) { return plot.bottom() - (v - lo) / (hi - lo) * plot.height(); };

    QPainterPath bandPath;
    bandPath.moveTo(X(t0), Y(0));
    for (std::size_t i = 0; i < rows.size(); ++i)
        bandPath.lineTo(X(rows[i].stop), Y(band[i]));
    for (std::size_t i = rows.size(); i-- > 0;)
        bandPath.lineTo(X(rows[i].stop), Y(-band[i]));
    bandPath.closeSubpath();
    p.fillPath(bandPath, QColor(200, 230, 200));

    // the value axis: about five steps of 1, 2 or 5 × 10^n litres
    const double raw = (hi - lo) / 5, mag = std::pow(10, std::floor(std::log10(raw)));
    // Whole litres at least: the labels have no decimals, and a half would read twice.
    const double step = std::max(1.0, raw / mag < 2 ? 2 * mag : raw / mag < 5 ? 5 * mag : 10 * mag);
    for (double v = std::ceil(lo / step) * step; v <= hi; v += step) {
        p.setPen(QColor(225, 225, 225));
        p.drawLine(QPointF(plot.left(), Y(v)), QPointF(plot.right(), Y(v)));
        p.setPen(Qt::black);
        p.drawText(QRectF(area.left(), Y(v) - fm.height() / 2, left - fm.averageCharWidth() / 2,
                          fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, QString("%1 l").arg(v, 0, 'f', 0));
    }
    p.setPen(QPen(Qt::black, 0));
    p.drawLine(QPointF(plot.left(), Y(0)), QPointF(plot.right(), Y(0)));
    // the time axis: the periods' starts, thinned to fit
    const std::size_t every = std::max<std::size_t>(
        1, std::size_t(rows.size() * fm.horizontalAdvance("00/00 ") / plot.width()) + 1);
    // A label's box in the device's own units: a fixed width cut the dates on paper.
    const double labelW = fm.horizontalAdvance("00/00") * 1.5;
    for (std::size_t i = 0; i < rows.size(); i += every) {
        const auto parts = TextFormats::Split(rows[i].start);
        p.drawText(
            QRectF(X(rows[i].start) - labelW / 2, plot.bottom() + 2, labelW, fm.height()),
            Qt::AlignHCenter | Qt::AlignTop,
            QString("%1/%2").arg(parts.day, 2, 10, QChar('0')).arg(parts.month, 2, 10, QChar('0')));
    }
    if (std::all_of(value.begin(), value.end(), [](double v) { return std::isnan(v); })) {
        // In the upper half, clear of the zero line.
        p.drawText(plot.adjusted(0, 0, 0, -plot.height() / 2), Qt::AlignCenter,
                   "No meter data in the period: no book to set against");
        p.restore();
        return;
    }
    // the cumulative variance: a line through the known periods, a gap over the unknown
    QPen pen(QColor(30, 60, 160), std::max(1.0, plot.height() / 150));
    p.setPen(pen);
    QPointF last(X(t0), Y(0));
    bool drawing = true;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (std::isnan(value[i])) {
            drawing = false;
            continue;
        }
        const QPointF pt(X(rows[i].stop), Y(value[i]));
        if (drawing)
            p.drawLine(last, pt);
        const bool out =
            rows[i].status == ReconStatus::Fail || rows[i].status == ReconStatus::Investigate;
        // Filled without the line's pen, whose width all but covered a red point.
        const QColor dot = out ? QColor(200, 40, 40) : QColor(30, 60, 160);
        p.setPen(Qt::NoPen);
        p.setBrush(dot);
        const double r = pen.widthF() * (out ? 3 : 1.8);
        p.drawEllipse(pt, r, r);
        p.setPen(pen);
        last = pt;
        drawing = true;
    }
    p.restore();
}

namespace {

int Paint(const ReconDocument& doc, QPagedPaintDevice& device, int total) {
    QPainter p;
    if (!p.begin(&device))
        return 0;
    const QRectF area(QPointF(0, 0), QSizeF(device.width(), device.height()));
    Pages pages(p, device, area, total);
    bool first = true;
    for (const TankReconReport& t : *doc.tanks) {
        const QString name = QString::fromStdString(Csv::StoredToUtf8(t.tank->Name));
        pages.take(0, !first);
        first = false;
        pages.setNote(QString("%1 - tank %2 %3 - %4 - station %5")
                          .arg(doc.deliveriesOnly ? "Delivery notes" : "Wetstock reconciliation")
                          .arg(t.tank->id)
                          .arg(name, PeriodText(doc.from, doc.to), doc.station));
        Text(p, pages,
             QString("%1 - tank %2 %3")
                 .arg(doc.deliveriesOnly ? "Delivery notes against measured deliveries"
                                         : "Wetstock reconciliation")
                 .arg(t.tank->id)
                 .arg(name),
             13, true);
        Text(p, pages,
             QString("Station: %1    Period: %2    Printed: %3")
                 .arg(doc.station, PeriodText(doc.from, doc.to),
                      Q(TextFormats::DateTime(std::floor(doc.printedAt * kMinutesPerDay) /
                                              kMinutesPerDay))),
             8);
        const ReconTolerance& tol = t.tolerance;
        Text(p, pages,
             QString("Book = gauged opening + delivered per notes - dispensed per meters; "
                     "variance = gauged closing - book. Tolerance per period ±%1 % of throughput "
                     "(at least %2 l); month ±%3 % of throughput + %4 l; a delivery short by "
                     "more than %5 % is flagged. Litres gross.")
                 .arg(tol.dailyShare * 100)
                 .arg(tol.dailyFloorLitres)
                 .arg(tol.monthlyShare * 100)
                 .arg(tol.monthlyLitres)
                 .arg(tol.shortShare * 100),
             7);
        pages.space(pages.width() * 0.005);
        if (!doc.deliveriesOnly) {
            Text(p, pages, kChartCaption, 9, true);
            const QRectF chart = pages.take(area.height() * 0.3);
            PaintCumulativeChart(p, chart, t);
            pages.space(area.height() * 0.01);
            Text(p, pages, "Per period", 9, true);
            Table(p, pages, ReconTable(t.rec));
            pages.space(area.height() * 0.01);
            Text(p, pages, "Month", 9, true);
            Table(p, pages, MonthTable(t.rec));
            pages.space(area.height() * 0.01);
        }
        Text(p, pages, "Delivery notes against measured deliveries", 9, true);
        if (t.rec.matches.empty())
            Text(p, pages, "No delivery notes and no measured deliveries in the period.", 8);
        else
            Table(p, pages, MatchTable(t.rec, doc.offset));
        pages.space(area.height() * 0.01);
        Text(p, pages, "Alarms", 9, true);
        if (t.rec.alarms.empty())
            Text(p, pages, "None.", 8);
        for (const ReconAlarm& a : t.rec.alarms)
            Text(p, pages, Q(TextFormats::DateTime(a.time)) + "  " + Q(a.text), 8);
        pages.space(area.height() * 0.03);
        Text(p, pages,
             "Checked by: ______________________    Signature: ______________________    "
             "Date: ______________",
             9);
    }
    if (doc.tanks->empty())
        Text(p, pages, "No tanks in the report.", 10);
    pages.footer();
    const int n = pages.count();
    return p.end() ? n : 0;
}

} // namespace

int PaintReconciliation(const ReconDocument& doc, QPagedPaintDevice& device) {
    // Laid out once on a PDF of the same page and resolution to count the pages, so that
    // each page can say "of N".
    QBuffer scratch;
    if (!scratch.open(QIODevice::WriteOnly))
        return 0;
    QPdfWriter count(&scratch);
    count.setResolution(device.logicalDpiX());
    count.setPageLayout(device.pageLayout());
    const int total = Paint(doc, count, 0);
    return total > 0 ? Paint(doc, device, total) : 0;
}

std::string WriteReconciliationPdf(const ReconDocument& doc, const QString& path) {
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        if (!buffer.open(QIODevice::WriteOnly))
            return "cannot make the PDF";
        QPdfWriter writer(&buffer);
        writer.setResolution(300);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                         QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter));
        writer.setTitle("Wetstock reconciliation");
        writer.setCreator("tavrona");
        if (PaintReconciliation(doc, writer) == 0)
            return "cannot make the PDF";
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return "cannot write \"" + path.toStdString() + "\": " + file.errorString().toStdString();
    return {};
}

ReconPdfRenderer ReconPdfRendererFor(const QString& station) {
    return [station](const std::string& output, bool deliveries,
                     const std::vector<TankReconReport>& tanks, double from, double to,
                     double offset, double nowLocal) {
        ReconDocument doc;
        doc.station = station;
        doc.from = from;
        doc.to = to;
        doc.printedAt = nowLocal;
        doc.offset = offset;
        doc.deliveriesOnly = deliveries;
        doc.tanks = &tanks;
        return WriteReconciliationPdf(doc, QString::fromStdString(output));
    };
}
