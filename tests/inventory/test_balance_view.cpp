// What the Reports tab shows of a balance, on hand-made rows: the table's columns and total
// row, the consumption bars and mean line, the days-to-empty line and the depot summary.
// How the rows themselves are computed is test_inventory_balance.
#include "BalanceView.h"
#include "TextFormats.h"

#include <QtTest>

namespace {

const double kDay0 = TextFormats::Join(2026, 3, 2);

// `n` complete days, each consuming `used` litres from a level of 10000, net 9900.
std::vector<BalanceRow> Days(int n, double used, bool complete = true) {
    std::vector<BalanceRow> rows;
    int64_t level = 10000;
    for (int i = 0; i < n; ++i) {
        BalanceRow r;
        r.start = kDay0 + i;
        r.stop = r.start + 1;
        r.openGross = level;
        r.closeGross = level - int64_t(used);
        r.openNet = level - 100;
        r.closeNet = level - 100 - int64_t(used);
        r.consumed = used;
        r.consumedNet = used;
        r.completeness = complete ? 1 : 0.5;
        r.complete = complete;
        level -= int64_t(used);
        rows.push_back(r);
    }
    return rows;
}

TankReport Report(std::vector<BalanceRow> rows, std::optional<double> density) {
    TankReport r;
    r.tank = std::make_shared<TItemNode>();
    r.tank->id = 1;
    r.density = density;
    r.balance = std::move(rows);
    return r;
}

int Column(const TextTable& t, const std::string& header) {
    const auto it = std::find(t.headers.begin(), t.headers.end(), header);
    return it == t.headers.end() ? -1 : int(it - t.headers.begin());
}

} // namespace

class BalanceViewTest : public QObject {
    Q_OBJECT
private slots:
    void tableHasNetColumnsOnlyWithADensity_data() {
        QTest::addColumn<bool>("density");
        QTest::newRow("with density") << true;
        QTest::newRow("without") << false;
    }
    void tableHasNetColumnsOnlyWithADensity() {
        QFETCH(bool, density);
        auto rows = Days(2, 300);
        rows[1].delivered = 5000;
        rows[1].lost = 120.4;
        rows[1].openGross.reset(); // no reading before the day: its levels are unknown
        const TextTable t =
            BalanceTable(Report(rows, density ? std::optional(840.0) : std::nullopt));
        QCOMPARE(Column(t, "Opening net, l") >= 0, density);
        QCOMPARE(Column(t, "Consumed net, l") >= 0, density);
        QCOMPARE(t.headers.front(), std::string("Period"));
        QCOMPARE(t.headers.back(), std::string("Complete, %"));
        QCOMPARE(t.rows.size(), std::size_t(3));
        QCOMPARE(t.totalRows, 1);
        for (const auto& row : t.rows)
            QCOMPARE(row.size(), t.headers.size());
        QCOMPARE(t.rows[0][0], std::string("02/03/2026"));
        QCOMPARE(t.rows[1][std::size_t(Column(t, "Delivered, l"))], std::string("5000"));
        QCOMPARE(t.rows[1][std::size_t(Column(t, "Lost, l"))], std::string("120"));
        QCOMPARE(t.rows[1][std::size_t(Column(t, "Opening, l"))], std::string());
        const auto& total = t.rows[2];
        QCOMPARE(total[0], std::string("Total"));
        QCOMPARE(total[std::size_t(Column(t, "Opening, l"))], std::string("10000"));
        QCOMPARE(total[std::size_t(Column(t, "Closing, l"))], std::string("9400"));
        QCOMPARE(total[std::size_t(Column(t, "Delivered, l"))], std::string("5000"));
        QCOMPARE(total[std::size_t(Column(t, "Consumed, l"))], std::string("600"));
        QCOMPARE(total[std::size_t(Column(t, "Complete, %"))], std::string("100"));
    }

    void emptyReportHasNoTotalRow() {
        const TextTable t = BalanceTable(Report({}, std::nullopt));
        QVERIFY(t.rows.empty());
        QCOMPARE(t.totalRows, 0);
    }

    void periodTexts_data() {
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("stop");
        QTest::addColumn<QString>("text");
        QTest::newRow("day") << kDay0 << kDay0 + 1 << "02/03/2026";
        QTest::newRow("shift") << kDay0 + 0.25 << kDay0 + 0.75 << "02/03/2026 06:00 - 18:00";
        QTest::newRow("night shift") << kDay0 + 0.75 << kDay0 + 1.25 << "02/03/2026 18:00 - 06:00";
        QTest::newRow("day from 06:00")
            << kDay0 + 0.25 << kDay0 + 1.25 << "02/03/2026 06:00 - 06:00";
    }
    void periodTexts() {
        QFETCH(double, start);
        QFETCH(double, stop);
        QFETCH(QString, text);
        BalanceRow r;
        r.start = start;
        r.stop = stop;
        QCOMPARE(QString::fromStdString(RowPeriodText(r)), text);
    }

    // Bars where the consumption is known, the mean from the third complete day on, both at
    // the middle of their row; shifts show the mean per shift.
    void consumptionBarsAndMeanLine() {
        auto rows = Days(5, 400);
        rows[1].consumed.reset();
        rows[1].consumedNet.reset();
        rows[1].complete = false;
        const ConsumptionSeries gross = Consumption(Report(rows, std::nullopt));
        QVERIFY(!gross.net);
        QCOMPARE(gross.barKeys,
                 (std::vector<double>{kDay0 + 0.5, kDay0 + 2.5, kDay0 + 3.5, kDay0 + 4.5}));
        QCOMPARE(gross.barValues, (std::vector<double>(4, 400)));
        QCOMPARE(gross.meanKeys, (std::vector<double>{kDay0 + 3.5, kDay0 + 4.5}));
        QCOMPARE(gross.meanValues, (std::vector<double>{400, 400}));
        QVERIFY(gross.barWidth > 0.5 && gross.barWidth < 1);
        QCOMPARE(gross.rowKeys.size(), std::size_t(5));
        QCOMPARE(gross.rowLabels.front(), std::string("02/03"));

        std::vector<BalanceRow> shifts;
        for (int i = 0; i < 8; ++i) {
            BalanceRow r;
            r.start = kDay0 + i * 0.5;
            r.stop = r.start + 0.5;
            r.consumed = 100;
            r.consumedNet = 98;
            r.complete = true;
            shifts.push_back(r);
        }
        const ConsumptionSeries s = Consumption(Report(shifts, 840.0));
        QVERIFY(s.net);
        QCOMPARE(s.barValues.front(), 98.0);
        QCOMPARE(s.meanValues.size(), std::size_t(3)); // from the sixth shift: 3 days
        QCOMPARE(s.meanValues.back(), 98.0);
        QVERIFY(s.barWidth < 0.5);
        QCOMPARE(s.rowLabels[1], std::string("02/03 12:00"));
    }

    void daysToEmptyLine_data() {
        QTest::addColumn<int>("days");
        QTest::addColumn<double>("used");
        QTest::addColumn<bool>("complete");
        QTest::addColumn<bool>("estimated");
        QTest::addColumn<QString>("text");
        QTest::newRow("shown") << 5 << 1000.0 << true << true << "Empty about 12/03/2026 (5 days)";
        QTest::newRow("two days")
            << 2 << 1000.0 << true << false
            << "Days to empty: the period is too short to estimate (fewer than 3 complete days)";
        QTest::newRow("incomplete")
            << 5 << 1000.0 << false << false
            << "Days to empty: the period is too short to estimate (fewer than 3 complete days)";
        QTest::newRow("no use") << 5 << 0.0 << true << false << "Days to empty: no consumption";
        QTest::newRow("filling") << 5 << -200.0 << true << false << "Days to empty: no consumption";
        QTest::newRow("no days") << 0 << 0.0 << true << false
                                 << "Days to empty: no level at the end of the period";
    }
    void daysToEmptyLine() {
        QFETCH(int, days);
        QFETCH(double, used);
        QFETCH(bool, complete);
        QFETCH(bool, estimated);
        QFETCH(QString, text);
        TankReport r = Report(Days(days, used, complete), std::nullopt);
        if (estimated)
            r.toEmpty = DaysToEmpty{5.6, kDay0 + 5 + 5.6};
        const DaysToEmptyText line = DaysToEmptyLine(r);
        QCOMPARE(line.shown, estimated);
        QCOMPARE(QString::fromStdString(line.text), text);
    }

    void summaryHasOneTotalPerFuelType() {
        std::vector<TankBalance> tanks;
        for (int adr : {1, 2, 3}) {
            TankBalance b;
            b.adr = adr;
            b.name = "Tank " + std::to_string(adr);
            b.fuelType = adr == 2 ? "Petrol" : "Diesel";
            b.total = SumBalance(Days(3, 100.0 * adr));
            if (adr == 1)
                b.toEmpty = DaysToEmpty{3, kDay0 + 6};
            tanks.push_back(b);
        }
        const TextTable t = SummaryTable(tanks);
        QCOMPARE(t.rows.size(), std::size_t(5));
        QCOMPARE(t.totalRows, 2);
        const int consumed = Column(t, "Consumed, l");
        QCOMPARE(t.rows[0][1], std::string("Tank 1"));
        QCOMPARE(t.rows[0].back(), std::string("08/03/2026"));
        QCOMPARE(t.rows[3][0], std::string("Total"));
        QCOMPARE(t.rows[3][1], std::string("2 tanks"));
        QCOMPARE(t.rows[3][2], std::string("Diesel"));
        QCOMPARE(t.rows[3][std::size_t(consumed)], std::string("1200")); // 300 + 900
        QCOMPARE(t.rows[4][2], std::string("Petrol"));
        QCOMPARE(t.rows[4][std::size_t(consumed)], std::string("600"));
        QVERIFY(Column(t, "Consumed net, l") >= 0);
    }
};

QTEST_GUILESS_MAIN(BalanceViewTest)
#include "test_balance_view.moc"
