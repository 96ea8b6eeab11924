// The markers and alarm bands of a tank's events and the marker under the mouse, without a
// chart; the chart drawing them on a real file is in test_reports_tab.
#include "ChartEvents.h"
#include "TextFormats.h"

#include <QtTest>

namespace {

const double kDay0 = TextFormats::Join(2026, 3, 2); // local
constexpr double kOffset = 2.0 / 24;                // local is UTC + 2 h
const double kS = kDay0, kE = kDay0 + 2;            // the period: two local days

double Local(int day, int hour, int minute) {
    return kDay0 + day + (hour * 60 + minute) / 1440.0;
}

// The level line of the two days: flat 1000 l from 09:00, rising 200 l every two minutes
// from 10:14 to 11:00; 9000 l from 23:00 to 23:40, nothing until 00:30 of the second day,
// then 8400 l until 01:00.
std::vector<LevelPoint> Line() {
    std::vector<fdata> samples;
    for (int m = 9 * 60; m <= 11 * 60; m += 2)
        samples.push_back({Local(0, 0, m), 1000 + std::max(0, (m - 614) / 2) * 200});
    for (int m = 23 * 60; m <= 23 * 60 + 40; m += 2)
        samples.push_back({Local(0, 0, m), 9000});
    for (int m = 30; m <= 60; m += 2)
        samples.push_back({Local(1, 0, m), 8400});
    std::vector<LevelPoint> points = BuildLevelSeries(samples, kS, kE);
    SortForDrawing(points);
    return points;
}

// An EVENTS row from local times; a negative time or litres stand for NULL.
EventRow Event(const char* kind, double start, double end, int64_t vbefore = -1,
               int64_t vafter = -1, int64_t nbefore = -1, int64_t nafter = -1, double acked = -1) {
    auto l = [](int64_t v) { return v < 0 ? std::optional<int64_t>() : v; };
    auto utc = [](double t) { return t < 0 ? std::optional<double>() : t - kOffset; };
    return {0,         1,  kind, start - kOffset, utc(end), l(vbefore), l(vafter), l(nbefore),
            l(nafter), {}, {},   utc(acked),      {}};
}

QString When(double local) {
    return QString::fromStdString(TextFormats::DateTime(local));
}

// "up 1100 l at <start>: <tip>" per marker, "<from> - <to>: <tip>" per band.
QString Describe(const ChartEvents& c) {
    auto tip = [](const std::string& t) { return QString::fromStdString(t).replace('\n', " / "); };
    QStringList l;
    for (const EventMarker& m : c.markers)
        l << QString("%1 %2 l at %3: %4")
                 .arg(m.up ? "up" : "down")
                 .arg(qRound(m.level))
                 .arg(When(m.x), tip(m.tip));
    for (const AlarmBand& b : c.bands)
        l << When(b.from) + " - " + When(b.to) + ": " + tip(b.tip);
    return l.join(" | ");
}

} // namespace

Q_DECLARE_METATYPE(EventRow)

class TestChartEvents : public QObject {
    Q_OBJECT
private slots:
    void markersAndBands_data();
    void markersAndBands();
    void markerUnderTheMouse_data();
    void markerUnderTheMouse();
};

void TestChartEvents::markersAndBands_data() {
    QTest::addColumn<EventRow>("event");
    QTest::addColumn<double>("now");
    QTest::addColumn<QString>("shown");
    const double late = kE + 1;
    QTest::newRow("delivery on the rising line")
        << Event("delivery", Local(0, 10, 15), Local(0, 10, 52), 1000, 8958, 1010, 8988) << late
        << "up 1100 l at 02/03/2026 10:15:00: Delivery 7958 l (net 7978 l) / "
           "02/03/2026 10:15:00 \xE2\x80\x93 10:52:00";
    QTest::newRow("loss where the line is broken, not acknowledged")
        << Event("loss", Local(0, 23, 50), Local(1, 0, 10), 8990, 8400, 7500, 7000) << late
        << "down 8990 l at 02/03/2026 23:50:00: Loss 590 l (net 500 l) / 02/03/2026 23:50:00 "
           "\xE2\x80\x93 03/03/2026 00:10:00 | 02/03/2026 23:50:00 - 04/03/2026: LOSS / 02/03/2026 "
           "23:50:00 \xE2\x80\x93 active";
    QTest::newRow("loss acknowledged after it was over")
        << Event("loss", Local(0, 23, 50), Local(1, 0, 10), 8990, 8400, -1, -1, Local(1, 7, 0))
        << late
        << "down 8990 l at 02/03/2026 23:50:00: Loss 590 l / 02/03/2026 23:50:00 \xE2\x80\x93 "
           "03/03/2026 00:10:00 | 02/03/2026 23:50:00 - 03/03/2026 07:00:00: LOSS / 02/03/2026 "
           "23:50:00 \xE2\x80\x93 03/03/2026 07:00:00";
    QTest::newRow("no levels, the line broken: the nearest reading")
        << Event("delivery", Local(0, 23, 50), Local(1, 0, 10)) << late
        << "up 9000 l at 02/03/2026 23:50:00: Delivery / 02/03/2026 23:50:00 \xE2\x80\x93 "
           "03/03/2026 "
           "00:10:00";
    QTest::newRow("delivery in progress") << Event("delivery", Local(1, 0, 40), -1, 8400) << late
                                          << "up 8400 l at 03/03/2026 00:40:00: Delivery / "
                                             "03/03/2026 00:40:00 \xE2\x80\x93 in progress";
    QTest::newRow("started before the period")
        << Event("delivery", Local(-1, 23, 50), Local(0, 0, 20), 100, 900) << late << "";
    QTest::newRow("started after the period")
        << Event("loss", Local(2, 0, 1), Local(2, 0, 20), 900, 100) << late << "";
    QTest::newRow("low inside") << Event("low", Local(0, 10, 0), Local(0, 11, 30), 100) << late
                                << "02/03/2026 10:00:00 - 02/03/2026 11:30:00: LOW / 02/03/2026 "
                                   "10:00:00 \xE2\x80\x93 11:30:00";
    QTest::newRow("high from before the period")
        << Event("high", Local(-1, 20, 0), Local(0, 1, 0)) << late
        << "02/03/2026 - 02/03/2026 01:00:00: HIGH / 01/03/2026 20:00:00 \xE2\x80\x93 02/03/2026 "
           "01:00:00";
    QTest::newRow("no signal still active") << Event("silent", Local(1, 8, 0), -1) << Local(1, 9, 0)
                                            << "03/03/2026 08:00:00 - 03/03/2026 09:00:00: NO "
                                               "SIGNAL / 03/03/2026 08:00:00 \xE2\x80\x93 "
                                               "active";
    QTest::newRow("ended before the period")
        << Event("low", Local(-1, 8, 0), Local(-1, 9, 0)) << late << "";
}

void TestChartEvents::markersAndBands() {
    QFETCH(EventRow, event);
    QFETCH(double, now);
    QTEST(Describe(BuildChartEvents({event}, Line(), kS, kE, kOffset, now)), "shown");
}

void TestChartEvents::markerUnderTheMouse_data() {
    QTest::addColumn<double>("mx");
    QTest::addColumn<double>("my");
    QTest::addColumn<int>("index");
    QTest::newRow("at the radius") << 100.0 << 57.0 << 0;
    QTest::newRow("just beyond it") << 105.0 << 55.1 << -1;
    QTest::newRow("between, nearer the second") << 107.0 << 50.0 << 1;
}

void TestChartEvents::markerUnderTheMouse() {
    QFETCH(double, mx);
    QFETCH(double, my);
    QTEST(MarkerAt({{100, 50}, {112, 50}}, mx, my, 7), "index");
}

QTEST_MAIN(TestChartEvents)
#include "test_chart_events.moc"
