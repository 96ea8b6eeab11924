// What the level chart shows of a tank's events: where the delivery and loss markers sit and
// what their tooltips say, which stretches the alarm bands cover, and which marker the mouse
// is over. The chart drawing them on a real file is in test_reports_tab.
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

// An EVENTS row from local times; a negative end or litres stand for NULL.
EventRow Event(const char* kind, double start, double end, int64_t vbefore = -1,
               int64_t vafter = -1, int64_t nbefore = -1, int64_t nafter = -1, double acked = -1) {
    auto opt = [](int64_t v) { return v < 0 ? std::optional<int64_t>() : v; };
    EventRow r;
    r.adr = 1;
    r.kind = kind;
    r.tstart = start - kOffset;
    if (end >= 0)
        r.tend = end - kOffset;
    r.vbefore = opt(vbefore);
    r.vafter = opt(vafter);
    r.nbefore = opt(nbefore);
    r.nafter = opt(nafter);
    if (acked >= 0)
        r.acked = acked - kOffset;
    return r;
}

QString When(double local) {
    return QString::fromStdString(TextFormats::DateTime(local));
}

} // namespace

Q_DECLARE_METATYPE(EventRow)

class TestChartEvents : public QObject {
    Q_OBJECT
private slots:
    void markers_data();
    void markers();
    void bands_data();
    void bands();
    void markerUnderTheMouse_data();
    void markerUnderTheMouse();
};

void TestChartEvents::markers_data() {
    QTest::addColumn<EventRow>("event");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<double>("level");
    QTest::addColumn<QString>("tip");
    QTest::newRow("delivery on the rising line")
        << Event("delivery", Local(0, 10, 15), Local(0, 10, 52), 1000, 8958, 1010, 8988) << true
        << 1100.0 << "Delivery 7958 l (net 7978 l)\n02/03/2026 10:15:00 \u2013 10:52:00";
    QTest::newRow("delivery at a reading")
        << Event("delivery", Local(0, 9, 30), Local(0, 9, 40), 1000, 1500) << true << 1000.0
        << "Delivery 500 l\n02/03/2026 09:30:00 \u2013 09:40:00";
    QTest::newRow("loss where the line is broken, over midnight")
        << Event("loss", Local(0, 23, 50), Local(1, 0, 10), 8990, 8400, 7500, 7000) << true
        << 8990.0 << "Loss 590 l (net 500 l)\n02/03/2026 23:50:00 \u2013 03/03/2026 00:10:00";
    QTest::newRow("delivery in progress")
        << Event("delivery", Local(1, 0, 40), -1, 8400) << true << 8400.0
        << "Delivery\n03/03/2026 00:40:00 \u2013 in progress";
    QTest::newRow("started before the period")
        << Event("delivery", Local(-1, 23, 50), Local(0, 0, 20), 100, 900) << false << 0.0 << "";
    QTest::newRow("started after the period")
        << Event("loss", Local(2, 0, 1), Local(2, 0, 20), 900, 100) << false << 0.0 << "";
    QTest::newRow("an alarm is no marker")
        << Event("low", Local(0, 10, 0), Local(0, 11, 0), 100) << false << 0.0 << "";
}

void TestChartEvents::markers() {
    QFETCH(EventRow, event);
    const ChartEvents got = BuildChartEvents({event}, Line(), kS, kE, kOffset, kE);
    QFETCH(bool, shown);
    QCOMPARE(got.markers.size(), std::size_t(shown));
    if (!shown)
        return;
    const EventMarker& m = got.markers.front();
    QCOMPARE(When(m.x), When(event.tstart + kOffset));
    QCOMPARE(m.up, event.kind == "delivery");
    QFETCH(double, level);
    QVERIFY2(std::abs(m.level - level) < 0.01, QByteArray::number(m.level)); // day numbers round
    QTEST(QString::fromStdString(m.tip), "tip");
}

void TestChartEvents::bands_data() {
    QTest::addColumn<EventRow>("event");
    QTest::addColumn<double>("now");
    QTest::addColumn<QString>("span"); // from - to, empty for no band
    QTest::addColumn<QString>("tip");
    const double late = kE + 1;
    QTest::newRow("low inside") << Event("low", Local(0, 10, 0), Local(0, 11, 30)) << late
                                << "02/03/2026 10:00:00 - 02/03/2026 11:30:00"
                                << "LOW\n02/03/2026 10:00:00 \u2013 11:30:00";
    QTest::newRow("high from before the period")
        << Event("high", Local(-1, 20, 0), Local(0, 1, 0)) << late
        << "02/03/2026 - 02/03/2026 01:00:00"
        << "HIGH\n01/03/2026 20:00:00 \u2013 02/03/2026 01:00:00";
    QTest::newRow("no signal open, now in the period")
        << Event("silent", Local(1, 8, 0), -1) << Local(1, 9, 0)
        << "03/03/2026 08:00:00 - 03/03/2026 09:00:00"
        << "NO SIGNAL\n03/03/2026 08:00:00 \u2013 active";
    QTest::newRow("low open past the period")
        << Event("low", Local(1, 22, 0), -1) << late << "03/03/2026 22:00:00 - 04/03/2026"
        << "LOW\n03/03/2026 22:00:00 \u2013 active";
    QTest::newRow("loss over, not acknowledged") << Event("loss", Local(0, 23, 50), Local(1, 0, 10))
                                                 << late << "02/03/2026 23:50:00 - 04/03/2026"
                                                 << "LOSS\n02/03/2026 23:50:00 \u2013 active";
    QTest::newRow("loss acknowledged while going on")
        << Event("loss", Local(0, 23, 50), Local(1, 0, 10), -1, -1, -1, -1, Local(0, 23, 55))
        << late << "02/03/2026 23:50:00 - 03/03/2026 00:10:00"
        << "LOSS\n02/03/2026 23:50:00 \u2013 03/03/2026 00:10:00";
    QTest::newRow("loss acknowledged after it was over")
        << Event("loss", Local(0, 23, 50), Local(1, 0, 10), -1, -1, -1, -1, Local(1, 7, 0)) << late
        << "02/03/2026 23:50:00 - 03/03/2026 07:00:00"
        << "LOSS\n02/03/2026 23:50:00 \u2013 03/03/2026 07:00:00";
    QTest::newRow("ended before the period")
        << Event("low", Local(-1, 8, 0), Local(-1, 9, 0)) << late << ""
        << "";
    QTest::newRow("a delivery is no band")
        << Event("delivery", Local(0, 10, 15), Local(0, 10, 52), 1000, 8958) << late << ""
        << "";
}

void TestChartEvents::bands() {
    QFETCH(EventRow, event);
    QFETCH(double, now);
    const ChartEvents got = BuildChartEvents({event}, Line(), kS, kE, kOffset, now);
    QFETCH(QString, span);
    QCOMPARE(got.bands.size(), std::size_t(!span.isEmpty()));
    if (span.isEmpty())
        return;
    const AlarmBand& b = got.bands.front();
    QCOMPARE(When(b.from) + " - " + When(b.to), span);
    QTEST(QString::fromStdString(b.tip), "tip");
}

void TestChartEvents::markerUnderTheMouse_data() {
    QTest::addColumn<double>("mx");
    QTest::addColumn<double>("my");
    QTest::addColumn<int>("index");
    QTest::newRow("on the first") << 100.0 << 50.0 << 0;
    QTest::newRow("at the radius") << 100.0 << 57.0 << 0;
    QTest::newRow("just beyond it") << 105.0 << 55.1 << -1;
    QTest::newRow("between, nearer the second") << 107.0 << 50.0 << 1;
    QTest::newRow("far from both") << 300.0 << 200.0 << -1;
}

void TestChartEvents::markerUnderTheMouse() {
    QFETCH(double, mx);
    QFETCH(double, my);
    QTEST(MarkerAt({{100, 50}, {112, 50}}, mx, my, 7), "index");
    QCOMPARE(MarkerAt({}, mx, my, 7), -1);
}

QTEST_MAIN(TestChartEvents)
#include "test_chart_events.moc"
