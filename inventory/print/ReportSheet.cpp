#include "ReportDocument.h"

#include "EventList.h"
#include "PrintText.h"
#include "ReportChart.h"
#include "ReportLayout.h"
#include "StoredText.h"
#include "TextFormats.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <functional>

using namespace ReportPrint;

// The report's pages: the blocks of each section laid out by ReportLayout, painted page by
// page with the footer.
namespace {

using ReportLayout::Block;

// Sizes in points.
constexpr double kFooter = 18;    // below the content area: the page numbers
constexpr double kHeading = 54;   // a section's heading
constexpr double kCaption = 22;   // above a table
constexpr double kRow = 12;       // a table row
constexpr double kHeaderRow = 24; // a table header: two lines of column titles
constexpr double kNote = 16;
constexpr double kHeaderPoints = 7.5;
constexpr double kChartShare = 0.48; // of the content height

const QColor kHeaderFill(232, 236, 244);

// A period of whole days names its last day, as the report tool's --from and --to do;
// any other shows where it starts and stops.
QString Period(double from, double to) {
    if (from == std::floor(from) && to == std::floor(to) && to > from)
        return Q(TextFormats::ShortDate(from)) + " - " + Q(TextFormats::ShortDate(to - 1));
    return Q(TextFormats::DateTime(from)) + " - " + Q(TextFormats::DateTime(to));
}

struct Column {
    QString title;
    double weight = 1;
    bool number = true; // right-aligned
};

// What one section's balance table shows: net columns only for a tank with a density.
struct BalanceColumns {
    bool net = false;
    bool days = true; // rows of whole calendar days: the first column is the date alone

    std::vector<Column> Columns(std::vector<Column> first) const {
        first.push_back({"Opening gross, l"});
        first.push_back({"Closing gross, l"});
        if (net) {
            first.push_back({"Opening net, l"});
            first.push_back({"Closing net, l"});
        }
        first.push_back({"Delivered, l"});
        first.push_back({"Lost, l"});
        first.push_back({"Consumed, l"});
        if (net)
            first.push_back({"Consumed net, l"});
        first.push_back({"Completeness, %", 1.1});
        return first;
    }
    QStringList Cells(QStringList first, const BalanceRow& r) const {
        first << Num(r.openGross) << Num(r.closeGross);
        if (net)
            first << Num(r.openNet) << Num(r.closeNet);
        first << Num(r.delivered) << Num(r.lost) << Num(r.consumed);
        if (net)
            first << Num(r.consumedNet);
        first << Num(r.completeness * 100, 1);
        return first;
    }
};

class Sheet : private PointText {
public:
    Sheet(const ReportDocument& doc, QSizeF content, QPaintDevice& device)
        : PointText(device.logicalDpiY()), doc_(doc), device_(&device), width_(content.width()),
          height_(content.height() - kFooter) {
        if (doc_.leak)
            LeakTests();
        else if (doc_.depot)
            Summary();
        else if (doc_.tanks.empty())
            Empty();
        for (const TankReport& r : doc_.tanks)
            if (!doc_.depot && !doc_.leak && r.tank)
                Tank(r);
    }

    int Paint(QPainter& p, QPagedPaintDevice& device) {
        const std::vector<ReportLayout::Page> pages = ReportLayout::Paginate(blocks_, height_);
        const double scale = dpi_ / 72;
        for (std::size_t n = 0; n < pages.size(); ++n) {
            if (n > 0 && !device.newPage())
                return 0;
            p.resetTransform();
            p.scale(scale, scale);
            for (const ReportLayout::Placed& at : pages[n]) {
                const QRectF r(0, at.y, width_, blocks_[std::size_t(at.block)].height);
                p.save();
                p.setClipRect(r.intersected(QRectF(0, 0, width_, height_)));
                paint_[std::size_t(at.block)](p, r);
                p.restore();
            }
            Footer(p, int(n) + 1, int(pages.size()));
        }
        return int(pages.size());
    }

private:
    using PaintFn = std::function<void(QPainter&, const QRectF&)>;
    const ReportDocument& doc_;
    QPaintDevice* device_;
    double width_, height_;
    std::vector<Block> blocks_;
    std::vector<PaintFn> paint_;

    int Add(Block b, PaintFn paint) {
        blocks_.push_back(b);
        paint_.push_back(std::move(paint));
        return int(blocks_.size()) - 1;
    }

    double TextWidth(const QString& text, double points) const {
        return QFontMetricsF(Font(points, true), device_).horizontalAdvance(text);
    }

    void Heading(const QString& title, const QStringList& lines, bool newPage) {
        Add({kHeading, newPage, true}, [this, title, lines](QPainter& p, const QRectF& r) {
            Text(p, QRectF(r.left(), r.top(), r.width(), 20), title,
                 Qt::AlignLeft | Qt::AlignVCenter, 14, true);
            Text(p, QRectF(r.left(), r.top(), r.width(), 20), ReportTitle(doc_),
                 Qt::AlignRight | Qt::AlignVCenter, 9, false, Qt::darkGray);
            for (int i = 0; i < lines.size(); ++i)
                Text(p, QRectF(r.left(), r.top() + 22 + 13 * i, r.width(), 13), lines[i],
                     Qt::AlignLeft | Qt::AlignVCenter, 9);
            p.setPen(QPen(Qt::black, 0.8));
            p.drawLine(QPointF(r.left(), r.bottom() - 2), QPointF(r.right(), r.bottom() - 2));
        });
    }

    QString StationLine() const {
        return "Station: " + doc_.station + "     Period: " + Period(doc_.from, doc_.to) +
               "     Printed: " + Q(TextFormats::DateTime(doc_.printedAt));
    }

    void Caption(const QString& text) {
        Add({kCaption, false, true}, [this, text](QPainter& p, const QRectF& r) {
            Text(p, r.adjusted(0, 6, 0, 0), text, Qt::AlignLeft | Qt::AlignVCenter, 11, true);
        });
    }

    void Note(const QString& text) {
        Add({kNote}, [this, text](QPainter& p, const QRectF& r) {
            Text(p, r, text, Qt::AlignLeft | Qt::AlignVCenter, 9);
        });
    }

    // Column edges across the width, by weight.
    std::vector<double> Edges(const std::vector<Column>& cols) const {
        double total = 0;
        for (const Column& c : cols)
            total += c.weight;
        std::vector<double> x{0};
        for (const Column& c : cols)
            x.push_back(x.back() + width_ * c.weight / total);
        return x;
    }

    // A header block, then one block per row; `boldLast` rows at the end are totals.
    void Table(const std::vector<Column>& cols, std::vector<QStringList> rows, int boldLast = 0) {
        const std::vector<double> x = Edges(cols);
        const int header = Add({kHeaderRow, false, true}, [this, cols, x](QPainter& p,
                                                                          const QRectF& r) {
            p.fillRect(r, kHeaderFill);
            p.setPen(QPen(Qt::black, 0.6));
            p.drawLine(r.bottomLeft(), r.bottomRight());
            for (std::size_t c = 0; c < cols.size(); ++c) {
                const QRectF cell(x[c] + 2, r.top(), x[c + 1] - x[c] - 4, r.height());
                // A title too wide for its column puts its unit (or its last word) on a
                // second line, and shrinks until its longer line fits.
                QStringList lines{cols[c].title};
                const double full = TextWidth(lines[0], kHeaderPoints);
                if (full > cell.width()) {
                    qsizetype cut = lines[0].lastIndexOf(", ");
                    const int skip = cut > 0 ? 2 : 1;
                    if (cut <= 0)
                        cut = lines[0].lastIndexOf(' ');
                    if (cut > 0)
                        lines = QStringList{lines[0].left(cut), lines[0].mid(cut + skip)};
                }
                double widest = 0;
                for (const QString& l : lines)
                    widest = std::max(widest, TextWidth(l, kHeaderPoints));
                const double points =
                    std::max(5.0, std::min(kHeaderPoints,
                                           kHeaderPoints * cell.width() / std::max(1.0, widest)));
                p.setFont(Font(points, true));
                p.drawText(cell,
                           int(cols[c].number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter,
                           lines.join('\n'));
            }
        });
        const int count = int(rows.size());
        for (int i = 0; i < count; ++i) {
            const bool bold = i >= count - boldLast;
            Add({kRow, false, false, header}, [this, cols, x, row = std::move(rows[std::size_t(i)]),
                                               bold,
                                               shade = i % 2 == 1](QPainter& p, const QRectF& r) {
                if (shade)
                    p.fillRect(r, QColor(246, 246, 246));
                if (bold) {
                    p.setPen(QPen(Qt::black, 0.6));
                    p.drawLine(r.topLeft(), r.topRight());
                }
                for (std::size_t c = 0; c < cols.size() && c < std::size_t(row.size()); ++c)
                    Text(p, QRectF(x[c] + 2, r.top(), x[c + 1] - x[c] - 4, r.height()), row[int(c)],
                         int(cols[c].number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, 8,
                         bold);
            });
        }
    }

    void Empty() {
        Heading("Inventory report", {StationLine()}, false);
        Note("No active tank to report on.");
    }

    void Tank(const TankReport& rep) {
        const TItemNode& t = *rep.tank;
        QString fuel = "Fuel type: " + StoredText::FromStored(t.FType);
        if (rep.density)
            fuel += "     Density at 15 °C: " + Num(*rep.density, 1) + " kg/m³";
        fuel += "     Capacity: " + Num(double(t.Capacity)) + " l";
        if (rep.toEmpty)
            fuel += "     Days to empty: " + Num(rep.toEmpty->days, 1) + ", empty on " +
                    Q(TextFormats::ShortDate(std::floor(rep.toEmpty->date)));
        Heading(QString("Tank %1: %2").arg(t.id).arg(StoredText::FromStored(t.Name)),
                {StationLine(), fuel}, true);
        if (!doc_.eventsOnly)
            ChartAndBalance(rep);
        EventTable(rep);
    }

    void ChartAndBalance(const TankReport& rep) {
        Add({std::floor(height_ * kChartShare), false, false}, [this, &rep](QPainter& p,
                                                                            const QRectF& r) {
            ChartPainter(dpi_, {doc_.from, doc_.to, doc_.offset, doc_.printedAt}).Paint(p, r, rep);
        });

        BalanceColumns bc;
        bc.net = rep.density.has_value();
        for (const BalanceRow& b : rep.balance)
            bc.days = bc.days && b.start == std::floor(b.start) && b.stop - b.start == 1;
        Caption(bc.days ? "Daily balance" : "Balance by shift");
        std::vector<QStringList> rows;
        for (const BalanceRow& b : rep.balance)
            rows.push_back(bc.Cells(
                {Q(bc.days ? TextFormats::ShortDate(b.start) : TextFormats::DateTime(b.start))},
                b));
        if (rep.balance.size() > 1)
            rows.push_back(bc.Cells({"Total"}, SumBalance(rep.balance)));
        Table(bc.Columns({{bc.days ? "Day" : "From", bc.days ? 1.2 : 1.8, false}}), std::move(rows),
              rep.balance.size() > 1 ? 1 : 0);
        if (rep.balance.empty())
            Note("No balance for the period.");
    }

    void EventTable(const TankReport& rep) {
        // Events of the period only: the balance's whole days may reach beyond it.
        std::vector<const EventRow*> events;
        for (const EventRow& e : rep.events)
            if (e.tstart + doc_.offset < doc_.to && (!e.tend || *e.tend + doc_.offset >= doc_.from))
                events.push_back(&e);
        Caption("Events");
        if (events.empty()) {
            Note("No deliveries, losses or alarms in the period.");
            return;
        }
        const double utcNow = doc_.printedAt - doc_.offset;
        std::vector<QStringList> rows;
        for (const EventRow* e : events)
            rows.push_back(
                {Q(EventKindText(e->kind)), Q(TextFormats::DateTime(e->tstart + doc_.offset)),
                 e->tend ? Q(TextFormats::DateTime(*e->tend + doc_.offset)) : QString(),
                 Q(DurationText(*e, utcNow)), Num(e->vbefore), Num(e->vafter),
                 Q(ChangeText(e->vbefore, e->vafter)), Q(EventStateText(*e)),
                 e->acked ? Q(TextFormats::DateTime(*e->acked + doc_.offset)) : QString()});
        Table({{"Kind", 1.2, false},
               {"Start", 1.8, false},
               {"End", 1.8, false},
               {"Duration, h:mm", 1},
               {"Gross before, l", 1},
               {"Gross after, l", 1},
               {"Change, l", 1},
               {"State", 1.2, false},
               {"Acknowledged", 1.8, false}},
              std::move(rows));
    }

    void Summary() {
        Heading("Depot summary", {StationLine()}, false);
        Caption("Balance by tank");
        std::vector<QStringList> rows;
        const std::vector<Column> tail = {
            {"Opening gross, l"}, {"Closing gross, l"}, {"Delivered, l"},        {"Lost, l"},
            {"Consumed, l"},      {"Consumed net, l"},  {"Completeness, %", 1.1}};
        const auto cells = [](QStringList first, const BalanceRow& r) {
            return first << Num(r.openGross) << Num(r.closeGross) << Num(r.delivered) << Num(r.lost)
                         << Num(r.consumed) << Num(r.consumedNet) << Num(r.completeness * 100, 1);
        };
        for (const TankBalance& t : doc_.summary) {
            QStringList row = cells({Q(TextFormats::Int(t.adr)), StoredText::FromStored(t.name),
                                     StoredText::FromStored(t.fuelType)},
                                    t.total);
            row << (t.toEmpty ? Num(t.toEmpty->days, 1) : QString())
                << (t.toEmpty ? Q(TextFormats::ShortDate(std::floor(t.toEmpty->date))) : QString());
            rows.push_back(row);
        }
        std::vector<Column> cols = {{"Tank", 0.5}, {"Name", 1.6, false}, {"Fuel type", 1.1, false}};
        cols.insert(cols.end(), tail.begin(), tail.end());
        cols.push_back({"Days to empty"});
        cols.push_back({"Empty on", 1.1});
        Table(cols, std::move(rows));
        if (doc_.summary.empty())
            Note("No active tank to report on.");

        Caption("Totals by fuel type");
        rows.clear();
        for (const FuelTotal& f : TotalsByFuel({doc_.summary.begin(), doc_.summary.end()}))
            rows.push_back(
                cells({StoredText::FromStored(f.fuelType), Q(TextFormats::Int(f.tanks))}, f.total));
        cols = {{"Fuel type", 2, false}, {"Tanks", 0.6}};
        cols.insert(cols.end(), tail.begin(), tail.end());
        Table(cols, std::move(rows));
    }

    // Per tank a heading and its days: the verdict with the rate, its 95 % bound, the
    // threshold and what the test rested on.
    void LeakTests() {
        if (doc_.leaks.empty()) {
            Heading("Leak test", {StationLine()}, false);
            Note("No leak test in the period.");
            return;
        }
        for (std::size_t i = 0; i < doc_.leaks.size();) {
            const LeakReportRow& first = doc_.leaks[i];
            Heading(QString("Tank %1: %2").arg(first.adr).arg(StoredText::FromStored(first.name)),
                    {StationLine(), "Leak test at the end of each day over the 28 days before: "
                                    "fail at a rate of at least the threshold, pass only where "
                                    "the data can show the tank tight"},
                    i > 0);
            std::vector<QStringList> rows;
            for (; i < doc_.leaks.size() && doc_.leaks[i].adr == first.adr; ++i) {
                const LeakTestResult& r = doc_.leaks[i].result;
                const bool numbers = r.periods > 0;
                rows.push_back({Q(TextFormats::ShortDate(doc_.leaks[i].day)),
                                Q(LeakTest::VerdictText(r.verdict)),
                                numbers ? Num(r.rate, 3) : QString(),
                                numbers ? Num(r.bound, 3) : QString(), Num(r.threshold, 3),
                                Q(TextFormats::Int(r.periods)), Num(r.hours, 1)});
            }
            Table({{"Day", 1.2, false},
                   {"Result", 1.2, false},
                   {"Rate, l/h"},
                   {"Upper bound, l/h"},
                   {"Threshold, l/h"},
                   {"Idle periods"},
                   {"Hours"}},
                  std::move(rows));
        }
    }

    void Footer(QPainter& p, int page, int pages) const {
        const QRectF r(0, height_ + 4, width_, kFooter - 4);
        p.setPen(QPen(Qt::gray, 0.5));
        p.drawLine(r.topLeft(), r.topRight());
        Text(p, r, doc_.station + "     " + Q(TextFormats::DateTime(doc_.printedAt)),
             Qt::AlignLeft | Qt::AlignVCenter, 7.5, false, Qt::darkGray);
        Text(p, r, QString("Page %1 of %2").arg(page).arg(pages), Qt::AlignRight | Qt::AlignVCenter,
             7.5);
    }
};

} // namespace

QString ReportTitle(const ReportDocument& doc) {
    return doc.leak ? "Leak test report" : "Inventory report";
}

int PaintReport(const ReportDocument& doc, QPagedPaintDevice& device) {
    QPainter p;
    if (!p.begin(&device))
        return 0;
    const QRectF area = device.pageLayout().paintRect(QPageLayout::Point);
    Sheet sheet(doc, area.size(), device);
    const int pages = sheet.Paint(p, device);
    return p.end() ? pages : 0;
}
