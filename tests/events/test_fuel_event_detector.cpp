// The detector of deliveries and losses on worked examples: made-up readings of one tank
// with known deliveries and thefts, fed one by one. Each example also runs with the
// detector saved and restored half way, as across a restart, and must find the same.
// The wiring into the station (EVENTS rows, history at start-up) is test_fuel_events.
#include "FuelEventDetector.h"
#include "HistorySynth.h"
#include "TextFormats.h"

#include <QtTest>

#include <map>

namespace {

const double kDay0 = TextFormats::Join(2026, 3, 2);
double At(int day, int hour, int minute = 0) {
    return kDay0 + day + (hour * 60 + minute) / 1440.0;
}

struct Expected {
    FuelEventKind kind;
    double litres;
};

struct Example {
    SynthPlan plan;
    DetectorConfig config;
    std::vector<Expected> expected;
    double tolerance; // share of the litres, or litres when >= 1
};

SynthTank Diesel(int32_t capacity, double startNet, double noise = 0) {
    SynthTank t;
    t.capacity = capacity;
    t.startNet = startNet;
    t.noise = noise;
    return t;
}

Example Make(SynthTank tank, double days, std::vector<SynthEvent> events,
             std::vector<Expected> expected, double tolerance) {
    Example e;
    e.plan.tanks = {tank};
    e.plan.events = std::move(events);
    e.plan.utcFrom = kDay0;
    e.plan.days = days;
    e.plan.cycleSeconds = 74;
    e.config.capacity = tank.capacity;
    e.config.density = tank.density;
    e.config.deliveryLitres = e.config.lossLitres = std::max(50.0, 0.01 * tank.capacity);
    e.expected = std::move(expected);
    e.tolerance = tolerance;
    return e;
}

std::map<QString, Example> Examples() {
    using K = FuelEventKind;
    std::map<QString, Example> all;
    all["a delivery of 5000 l over 20 minutes with noise of 15 l"] = Make(
        Diesel(20000, 8000, 15), 1, {{1, At(0, 9, 30), 20, 5000}}, {{K::Delivery, 5000}}, 0.005);
    {
        Example e = Make(Diesel(20000, 6000, 5), 1, {{1, At(0, 10), 30, 6000, 15, 20}},
                         {{K::Delivery, 6000}}, 0.01);
        all["a delivery paused for 20 minutes is one"] = e;
    }
    all["two 30 l falls 10 minutes apart across midnight are one 60 l loss"] =
        Make(Diesel(5000, 3000), 2, {{1, At(0, 23, 55), 1, -30}, {1, At(1, 0, 5), 1, -30}},
             {{K::Loss, -60}}, 2);
    {
        SynthTank full = Diesel(20000, 19500, 3);
        full.tempMean = 10;
        full.tempSwing = 7.5; // 15 °C between afternoon and dawn
        Example e = Make(full, 3, {}, {}, 0);
        e.config.quietFrom = 22 * 60;
        e.config.quietTo = 6 * 60;
        all["a 15 degree night cool-down of a full diesel tank is no loss"] = e;
    }
    {
        Example e = Make(Diesel(20000, 5000, 5), 1, {{1, At(0, 12, 10), 15, 4000}},
                         {{K::Delivery, 4000}}, 0.01);
        e.plan.gaps = {{0, At(0, 12), At(0, 12, 40)}};
        all["a delivery across a 40-minute silence is found"] = e;
    }
    all["noise of 0.5 % of capacity makes no event in a week"] =
        Make(Diesel(10000, 5000, 50), 7, {}, {}, 0);
    all["falls 25 minutes apart are one loss"] =
        Make(Diesel(20000, 12000, 5), 1, {{1, At(0, 3), 5, -300}, {1, At(0, 3, 30), 5, -300}},
             {{K::Loss, -600}}, 0.01);
    {
        Example e =
            Make(Diesel(20000, 12000, 3), 2, {{1, At(0, 23), 360, -400}}, {{K::Loss, -400}}, 0.02);
        e.config.quietFrom = 22 * 60;
        e.config.quietTo = 6 * 60;
        all["a slow theft over quiet hours is a loss"] = e;
    }
    {
        SynthTank t = Diesel(20000, 9000, 5);
        t.usePerHour = 10;
        t.tempSwing = 3;
        all["a theft at night and a delivery by day, drawn off and warming"] =
            Make(t, 1, {{1, At(0, 2), 8, -700}, {1, At(0, 10), 25, 8000}},
                 {{K::Loss, -700}, {K::Delivery, 8000}}, 0.01);
    }
    return all;
}

// Feeds the example's readings; with `restartAt` the detector is saved and a new one
// restored from that text after that many readings.
std::vector<FuelEvent> Run(const Example& ex, std::size_t restartAt = SIZE_MAX) {
    auto detector = std::make_unique<FuelEventDetector>(ex.config);
    std::map<std::pair<int, double>, FuelEvent> found;
    std::vector<std::pair<int, double>> order;
    std::size_t fed = 0;
    SynthesizeHistory(ex.plan, [&](const DataRow& r) {
        if (fed++ == restartAt) {
            const std::string state = detector->SaveState();
            detector = std::make_unique<FuelEventDetector>(ex.config);
            if (!detector->RestoreState(state))
                throw std::runtime_error("state refused");
        }
        for (const FuelEvent& e : detector->Feed({r.tstamp, r.tstamp, r.flevel, r.temp})) {
            const auto key = std::make_pair(int(e.kind), e.tstart);
            if (!found.count(key))
                order.push_back(key);
            found[key] = e;
        }
    });
    std::vector<FuelEvent> events;
    for (const auto& key : order)
        events.push_back(found[key]);
    return events;
}

QString Describe(const std::vector<FuelEvent>& events) {
    QStringList parts;
    for (const FuelEvent& e : events)
        parts << QString("%1 %2 l at %3%4")
                     .arg(e.kind == FuelEventKind::Delivery ? "delivery" : "loss")
                     .arg(e.Amount(true), 0, 'f', 1)
                     .arg(QString::fromStdString(TextFormats::DateTime(e.tstart)))
                     .arg(e.tend ? "" : " (open)");
    return parts.join("; ");
}

} // namespace

class FuelEventDetectorTest : public QObject {
    Q_OBJECT
private slots:
    void workedExamples_data() {
        QTest::addColumn<QString>("name");
        for (const auto& [name, ex] : Examples())
            QTest::newRow(name.toUtf8().constData()) << name;
    }
    void workedExamples() {
        QFETCH(QString, name);
        const Example ex = Examples().at(name);
        const std::vector<FuelEvent> events = Run(ex);
        const QString got = Describe(events);
        QVERIFY2(events.size() == ex.expected.size(), qPrintable(got));
        for (std::size_t i = 0; i < events.size(); ++i) {
            const FuelEvent& e = events[i];
            QVERIFY2(e.kind == ex.expected[i].kind && e.tend, qPrintable(got));
            const double want = ex.expected[i].litres;
            const double slack = ex.tolerance >= 1 ? ex.tolerance : std::abs(want) * ex.tolerance;
            QVERIFY2(std::abs(e.Amount(true) - want) <= slack, qPrintable(got));
        }
        // Saved and restored half way: the same events, none twice, none missed.
        std::size_t rows = 0;
        SynthesizeHistory(ex.plan, [&](const DataRow&) { ++rows; });
        for (std::size_t at : {rows / 3, rows / 2, rows * 2 / 3})
            QCOMPARE(Describe(Run(ex, at)), got);
    }

    void readingsNotLaterThanTheLastAreIgnored() {
        FuelEventDetector d;
        QVERIFY(d.Feed({kDay0, kDay0, 100, 15}).empty());
        d.Feed({kDay0 - 0.1, kDay0, 9000, 15});
        QCOMPARE(d.LastTime(), kDay0);
    }

    void aForeignStateIsRefused() {
        FuelEventDetector d;
        d.Feed({kDay0, kDay0, 100, 15});
        QVERIFY(!d.RestoreState("not a state"));
        QVERIFY(!d.RestoreState(d.SaveState() + " 7"));
        QCOMPARE(d.LastTime(), kDay0);
    }
};

QTEST_GUILESS_MAIN(FuelEventDetectorTest)
#include "test_fuel_event_detector.moc"
