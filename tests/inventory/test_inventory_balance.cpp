// The inventory balance, days to empty and the CSV files, on made-up histories whose true
// deliveries, thefts and consumption are known. The readings go through the station's own
// detector, as in a report. The report tool over a real file is test_report_tool.
#include "Balance.h"
#include "Csv.h"
#include "FuelEventDetector.h"
#include "HistoryPass.h"
#include "HistorySynth.h"
#include "StoredText.h"
#include "TextFormats.h"

#include <QtTest>

namespace {

const double kDay0 = TextFormats::Join(2026, 3, 2);
constexpr double kOffset = 1.0 / 24; // local is UTC + 1 h
constexpr double kUsePerHour = 50;   // net litres
double Local(int day, int hour, int minute = 0) {
    return kDay0 + day + (hour * 60 + minute) / 1440.0;
}
double Utc(int day, int hour, int minute = 0) {
    return Local(day, hour, minute) - kOffset;
}

struct Balanced {
    std::vector<StoredReading> readings;
    std::vector<EventRow> events;
    std::vector<BalanceRow> rows;
};

// Readings of one diesel tank over `days` local days, their events as the detector finds
// them, and the daily balance.
Balanced Run(int days, std::vector<SynthEvent> events, std::vector<SynthGap> gaps,
             double tempSwing) {
    SynthPlan plan;
    SynthTank tank;
    tank.capacity = 20000;
    tank.startNet = 9000;
    tank.usePerHour = kUsePerHour;
    tank.tempSwing = tempSwing;
    plan.tanks = {tank};
    plan.events = std::move(events);
    plan.gaps = std::move(gaps);
    plan.utcFrom = Utc(0, 0) - 1.0 / 1440; // a reading just before the first midnight
    plan.days = days + 2.0 / 1440;
    plan.cycleSeconds = 74;
    plan.localOffset = kOffset;

    Balanced b;
    DetectorConfig config;
    config.capacity = tank.capacity;
    config.density = tank.density;
    config.deliveryLitres = config.lossLitres = 200;
    FuelEventDetector detector(config);
    std::map<std::pair<int, double>, FuelEvent> found;
    SynthesizeHistory(plan, [&](const DataRow& r) {
        b.readings.push_back({r.tstamp, r.flevel, 0, r.temp});
        for (const FuelEvent& e : detector.Feed({r.tstamp, r.tstamp + kOffset, r.flevel, r.temp}))
            found[{int(e.kind), e.tstart}] = e;
    });
    for (const auto& [key, e] : found)
        b.events.push_back(ToEventRow(1, e));
    BalanceInput in{&b.readings, &b.events, tank.density, kOffset, Local(days + 1, 0)};
    b.rows = DailyBalance(in, BalanceBoundaries(kDay0, kDay0 + days - 1));
    return b;
}

} // namespace

class InventoryBalanceTest : public QObject {
    Q_OBJECT

private slots:
    void balanceFollowsTheIdentityAndTheTruth_data();
    void balanceFollowsTheIdentityAndTheTruth();
    void boundariesAndOpenEventsKeepConsumptionTrue_data();
    void boundariesAndOpenEventsKeepConsumptionTrue();
    void silenceAcrossADeliveryKeepsTheTwoDaysRight();
    void shiftsSplitTheDayAtTheirStarts();
    void historyBeginningInsideThePeriod();
    void daysToEmpty_data();
    void daysToEmpty();
    void csvRoundTripOfHostileNames_data();
    void csvRoundTripOfHostileNames();
    void readingsCsvHasBothTimesAndNetLitres();
};

void InventoryBalanceTest::balanceFollowsTheIdentityAndTheTruth_data() {
    QTest::addColumn<QVector<double>>("events"); // day, hour, minute, minutes, net litres
    QTest::addColumn<QVector<double>>("delivered");
    QTest::addColumn<QVector<double>>("lost");
    QTest::addColumn<double>("tempSwing");
    QTest::addColumn<double>("tolerance"); // litres delivered and lost
    QTest::newRow("a delivery on day 1, a theft on day 2")
        << QVector<double>{1, 10, 0, 20, 5000, 2, 2, 0, 10, -400} << QVector<double>{0, 5000, 0}
        << QVector<double>{0, 0, 400} << 0.0 << 60.0;
    QTest::newRow("the same with the fuel warming by day and cooling by night")
        << QVector<double>{1, 10, 0, 20, 5000, 2, 2, 0, 10, -400} << QVector<double>{0, 5000, 0}
        << QVector<double>{0, 0, 400} << 6.0 << 60.0;
    // 3000 l before midnight, 3000 l after; a day closes with its last reading, which may
    // be one poll cycle (74 s of 200 l a minute) before midnight
    QTest::newRow("a delivery across midnight counts on both days")
        << QVector<double>{0, 23, 45, 30, 6000} << QVector<double>{3000, 3000, 0}
        << QVector<double>{0, 0, 0} << 0.0 << 250.0;
}

void InventoryBalanceTest::balanceFollowsTheIdentityAndTheTruth() {
    QFETCH(QVector<double>, events);
    QFETCH(QVector<double>, delivered);
    QFETCH(QVector<double>, lost);
    QFETCH(double, tempSwing);
    QFETCH(double, tolerance);
    std::vector<SynthEvent> plan;
    for (int i = 0; i + 4 < events.size(); i += 5)
        plan.push_back({1, Utc(int(events[i]), int(events[i + 1]), int(events[i + 2])),
                        events[i + 3], events[i + 4]});
    const Balanced b = Run(3, plan, {}, tempSwing);
    QCOMPARE(b.rows.size(), std::size_t(3));
    for (std::size_t d = 0; d < b.rows.size(); ++d) {
        const BalanceRow& r = b.rows[d];
        QVERIFY(r.complete);
        QVERIFY(r.consumed && r.consumedNet);
        QCOMPARE(*r.consumed, double(*r.openGross - *r.closeGross) + r.delivered - r.lost);
        QCOMPARE(*r.consumedNet, double(*r.openNet - *r.closeNet) + *r.deliveredNet - *r.lostNet);
        if (d > 0) {
            QCOMPARE(r.openGross, b.rows[d - 1].closeGross);
            QCOMPARE(r.openNet, b.rows[d - 1].closeNet);
        }
        // the truth, within what medians and whole degrees allow
        QVERIFY2(std::abs(*r.deliveredNet - delivered[int(d)]) <= tolerance,
                 qPrintable(QString("day %1 delivered %2").arg(d).arg(*r.deliveredNet)));
        QVERIFY2(std::abs(*r.lostNet - lost[int(d)]) <= tolerance,
                 qPrintable(QString("day %1 lost %2").arg(d).arg(*r.lostNet)));
        QVERIFY2(std::abs(*r.consumedNet - 24 * kUsePerHour) <= 60,
                 qPrintable(QString("day %1 consumed %2").arg(d).arg(*r.consumedNet)));
    }
}

// A still tank of 10000 l read once a minute over two days; on the second day at 10:00 a
// delivery or loss of `step` litres over 15 minutes, still open (no end stored) when the
// report is made at 10:21. Neither a spike before midnight nor the open event may show as
// consumption.
void InventoryBalanceTest::boundariesAndOpenEventsKeepConsumptionTrue_data() {
    QTest::addColumn<double>("spike");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<double>("step");
    QTest::newRow("a spike of +15 % at 23:59") << 1500.0 << "" << 0.0;
    QTest::newRow("a spike of -5 % at 23:59") << -500.0 << "" << 0.0;
    QTest::newRow("a delivery still open") << 0.0 << "delivery" << 3000.0;
    QTest::newRow("a loss still open") << 0.0 << "loss" << -1000.0;
    QTest::newRow("an open delivery, the level not risen yet") << 0.0 << "delivery" << 0.0;
}

void InventoryBalanceTest::boundariesAndOpenEventsKeepConsumptionTrue() {
    QFETCH(double, spike);
    QFETCH(QString, kind);
    QFETCH(double, step);
    std::vector<StoredReading> readings;
    for (double t = Utc(0, 0) - 5.0 / 1440; t <= Utc(1, 10, 20) + 1e-9; t += 1.0 / 1440) {
        double level = 10000 + step * std::clamp((t - Utc(1, 10)) * 96, 0.0, 1.0);
        if (std::abs(t - Utc(0, 23, 59)) < 1e-7)
            level += spike;
        readings.push_back({t, int32_t(std::lround(level)), 0, 15});
    }
    std::vector<EventRow> events;
    if (!kind.isEmpty()) {
        EventRow e;
        e.adr = 1;
        e.kind = kind.toStdString();
        e.tstart = Utc(1, 10);
        e.vbefore = 10000;
        e.tbefore = 15;
        events.push_back(e);
    }
    BalanceInput in{&readings, &events, 840.0, kOffset, Local(1, 10, 21)};
    const auto rows = DailyBalance(in, BalanceBoundaries(kDay0, kDay0 + 1));
    QCOMPARE(int(rows.size()), 2);
    for (const BalanceRow& r : rows) {
        QVERIFY(r.consumed && r.consumedNet);
        QVERIFY2(std::abs(*r.consumed) <= 5, qPrintable(QString::number(*r.consumed)));
        QVERIFY2(std::abs(*r.consumedNet) <= 5, qPrintable(QString::number(*r.consumedNet)));
    }
    QVERIFY(std::abs(rows[0].delivered + rows[0].lost) < 1e-9);
    QVERIFY(std::abs(rows[1].delivered - std::max(step, 0.0)) <= 5);
    QVERIFY(std::abs(rows[1].lost - std::max(-step, 0.0)) <= 5);
}

void InventoryBalanceTest::silenceAcrossADeliveryKeepsTheTwoDaysRight() {
    // nothing read from 21:00 to 03:00 while 6000 l went in at 23:00
    const Balanced b = Run(2, {{1, Utc(0, 23), 20, 6000}}, {{0, Utc(0, 21), Utc(1, 3)}}, 0);
    QCOMPARE(b.rows.size(), std::size_t(2));
    double delivered = 0, consumed = 0;
    for (const BalanceRow& r : b.rows) {
        QVERIFY(!r.complete);
        QVERIFY(r.completeness > 0.7 && r.completeness < 0.9);
        QCOMPARE(*r.consumedNet, double(*r.openNet - *r.closeNet) + *r.deliveredNet - *r.lostNet);
        delivered += *r.deliveredNet;
        consumed += *r.consumedNet;
    }
    // The detector sees the level before and after the silence only: the delivery is short by
    // what was drawn off meanwhile (6 h of 50 l), and the two days' consumption by as much.
    QVERIFY2(delivered > 5600 && delivered < 6060, qPrintable(QString::number(delivered)));
    QVERIFY2(std::abs((6000 - delivered) - (48 * kUsePerHour - consumed)) <= 60,
             qPrintable(QString::number(consumed)));
    QCOMPARE(b.rows[0].lost + b.rows[1].lost, 0.0);
}

void InventoryBalanceTest::shiftsSplitTheDayAtTheirStarts() {
    const auto bounds = BalanceBoundaries(kDay0, kDay0 + 1, {18 * 60, 6 * 60});
    QCOMPARE(bounds.size(), std::size_t(5));
    QCOMPARE(bounds.front(), Local(0, 6));
    QCOMPARE(bounds[1], Local(0, 18));
    QCOMPARE(bounds.back(), Local(2, 6));
    const Balanced b = Run(3, {{1, Utc(1, 7), 20, 3000}}, {}, 0);
    BalanceInput in{&b.readings, &b.events, 840.0, kOffset, Local(4, 0)};
    const auto rows = DailyBalance(in, bounds);
    QCOMPARE(rows.size(), std::size_t(4));
    QVERIFY(std::abs(rows[2].delivered) > 2900); // 06:00-18:00 of day 1
    for (const BalanceRow& r : rows)
        QVERIFY2(std::abs(*r.consumedNet - 12 * kUsePerHour) <= 40,
                 qPrintable(QString::number(*r.consumedNet)));
}

void InventoryBalanceTest::historyBeginningInsideThePeriod() {
    // the tank's first reading is at noon of the second day
    Balanced b = Run(3, {}, {}, 0);
    std::erase_if(b.readings, [](const StoredReading& r) { return r.utc < Utc(1, 12); });
    BalanceInput in{&b.readings, nullptr, 840.0, kOffset, Local(4, 0)};
    const auto rows = DailyBalance(in, BalanceBoundaries(kDay0, kDay0 + 2));
    QCOMPARE(rows.size(), std::size_t(3));
    QVERIFY(!rows[0].openGross && !rows[0].consumedNet);
    QCOMPARE(rows[0].completeness, 0.0);
    QCOMPARE(*rows[1].openGross, int64_t(b.readings.front().gross));
    QVERIFY2(std::abs(*rows[1].consumedNet - 12 * kUsePerHour) <= 40,
             qPrintable(QString::number(*rows[1].consumedNet)));
    QVERIFY(!rows[1].complete);
    const BalanceRow sum = SumBalance(rows);
    QCOMPARE(sum.openGross, rows[1].openGross);
    QVERIFY2(sum.consumedNet && std::abs(*sum.consumedNet - 36 * kUsePerHour) <= 60,
             qPrintable(QString::number(sum.consumedNet.value_or(-1))));
    QVERIFY(!sum.complete);
}

void InventoryBalanceTest::daysToEmpty_data() {
    QTest::addColumn<int>("completeDays");
    QTest::addColumn<int>("incompleteDays");
    QTest::addColumn<double>("perDay");
    QTest::addColumn<double>("volume");
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("days"); // -1: hidden
    QTest::newRow("two complete days are too few") << 2 << 5 << 100.0 << 5000.0 << 0.0 << -1.0;
    QTest::newRow("three complete days are enough") << 3 << 0 << 100.0 << 5000.0 << 0.0 << 50.0;
    QTest::newRow("above the low level only") << 20 << 0 << 100.0 << 5000.0 << 1000.0 << 40.0;
    QTest::newRow("no consumption") << 10 << 0 << 0.0 << 5000.0 << 0.0 << -1.0;
    QTest::newRow("a rising level") << 10 << 0 << -50.0 << 5000.0 << 0.0 << -1.0;
    QTest::newRow("below the low level already") << 10 << 0 << 100.0 << 800.0 << 1000.0 << 0.0;
    QTest::newRow("a trickle of centuries") << 10 << 0 << 0.001 << 5000.0 << 0.0 << -1.0;
}

void InventoryBalanceTest::daysToEmpty() {
    QFETCH(int, completeDays);
    QFETCH(int, incompleteDays);
    QFETCH(double, perDay);
    QFETCH(double, volume);
    QFETCH(double, low);
    QFETCH(double, days);
    std::vector<BalanceRow> rows;
    for (int i = 0; i < completeDays + incompleteDays; ++i) {
        BalanceRow r;
        r.start = kDay0 + i;
        r.stop = r.start + 1;
        r.consumed = r.consumedNet = perDay;
        // incomplete days, when there are any, alternate with the complete ones
        r.complete = incompleteDays ? (i % 2 == 0 && i / 2 < completeDays) : true;
        rows.push_back(r);
    }
    const auto e = EstimateDaysToEmpty(rows, volume, low, rows.back().stop, true);
    if (days < 0) {
        QVERIFY(!e);
        return;
    }
    QVERIFY(e);
    QCOMPARE(e->days, days);
    QCOMPARE(e->date, rows.back().stop + days);
}

void InventoryBalanceTest::csvRoundTripOfHostileNames_data() {
    QTest::addColumn<QByteArray>("name"); // as stored: UTF-8, or a legacy Windows-1252 text
    QTest::newRow("comma") << QByteArray("North, east");
    QTest::newRow("quotes") << QByteArray("The \"big\" one\"");
    QTest::newRow("CR LF") << QByteArray("Line one\r\nline two\rthree\nfour");
    QTest::newRow("non-ASCII, legacy") << QByteArray("R\xE9servoir \xE4\xF6\xFC \xB0 \x80");
    QTest::newRow("non-ASCII, UTF-8") << QString("Резервуар №3, ü °").toUtf8();
    QTest::newRow("blanks at the ends") << QByteArray(" padded ");
    QTest::newRow("everything") << QByteArray("\",\r\n\xE9\"\"");
}

void InventoryBalanceTest::csvRoundTripOfHostileNames() {
    QFETCH(QByteArray, name);
    const std::string latin1 = name.toStdString();
    const std::string utf8 = StoredText::FromStored(name.toStdString()).toUtf8().toStdString();
    QCOMPARE(Csv::StoredToUtf8(latin1), utf8);
    if (QTest::currentDataTag() == QByteArray("non-ASCII, legacy"))
        QVERIFY(utf8.find("\xE2\x82\xAC") != std::string::npos); // the euro sign of 1252

    std::string text(Csv::kBom);
    const Csv::TankName tank{7, latin1};
    Csv::AppendReadings(text, tank, {{Utc(0, 12), 1000, 200, 15}, {Utc(0, 13), 990, 199, 15}},
                        std::nullopt, kOffset);
    EventRow e;
    e.kind = "delivery";
    e.tstart = Utc(0, 12);
    e.tend = Utc(0, 12, 20);
    e.vbefore = 100;
    e.vafter = 5100;
    Csv::AppendEvents(text, tank, {e}, kOffset);
    Csv::AppendSummary(text, {{7, latin1, latin1, BalanceRow{}, std::nullopt}},
                       {{latin1, 1, BalanceRow{}}});
    const auto records = Csv::Parse(text);
    QCOMPARE(records.size(), std::size_t(3 + 2 + 3));
    QCOMPARE(records[1][3], utf8);
    QCOMPARE(records[2][3], utf8);
    QCOMPARE(records[2].size(), records[0].size());
    QCOMPARE(records[4][1], utf8);
    QCOMPARE(records[4].size(), records[3].size());
    QCOMPARE(records[4][11], std::string("5000"));
    QCOMPARE(records[6][1], utf8);
    QCOMPARE(records[6][2], utf8);
    QCOMPARE(records[7][2], utf8);
    QCOMPARE(records[7].size(), records[5].size());
}

void InventoryBalanceTest::readingsCsvHasBothTimesAndNetLitres() {
    std::string text;
    Csv::AppendReadings(text, {3, "T3"}, {{Utc(0, 23, 59) + 59.4 / 86400, 10000, 2048, 35}}, 840.0,
                        kOffset, false);
    const auto f = Csv::Parse(text).at(0);
    QCOMPARE(f.size(), std::size_t(8));
    QCOMPARE(f[0], std::string("02/03/2026 23:59:59"));
    QCOMPARE(f[1], std::string("2026-03-02T23:59:59+01:00"));
    QVERIFY(std::stoi(f[5]) < 10000 && std::stoi(f[5]) > 9800); // 35 °C diesel shrinks
    // West of Greenwich, by half an hour.
    text.clear();
    Csv::AppendReadings(text, {3, "T3"}, {{Local(1, 0) + 5.5 / 24, 10000, 2048, 15}}, 840.0,
                        -5.5 / 24, false);
    QCOMPARE(Csv::Parse(text).at(0).at(1), std::string("2026-03-03T00:00:00-05:30"));
}

QTEST_GUILESS_MAIN(InventoryBalanceTest)
#include "test_inventory_balance.moc"
