// The tank record: calibration build, lookup, rounding and the stored byte images.
#include "Calibration.h"
#include "TItemNode.h"

#include <QtTest>

namespace {

TCalRows Rows(std::initializer_list<std::pair<const char*, const char*>> list) {
    TCalRows rows{};
    int r = 0;
    for (auto& [c, l] : list)
        rows[r++] = {c, l};
    return rows;
}

TCalRows WorkedExample() {
    return Rows(
        {{"100", "1000"}, {"200", "1500"}, {"300", "2100"}, {"400", "2800"}, {"500", "3600"}});
}

} // namespace

class TankModelTest : public QObject {
    Q_OBJECT
private slots:
    void workedExample() {
        TItemNode n;
        n.FLC = 150;
        auto r = BuildCalibration(n, WorkedExample());
        QVERIFY(r.ok);
        QCOMPARE(n.ClbArray[50], 500.0f);
        QCOMPARE(n.ClbArray[100], 1000.0f);
        QCOMPARE(n.ClbArray[101], 1005.0f);
        QCOMPARE(n.ClbArray[150], 1250.0f);
        for (int k = 500; k < 4096; ++k)
            QCOMPARE(n.ClbArray[k], 3600.0f);
        QCOMPARE(n.Capacity, 3600);
        QCOMPARE(n.FL, 1250);
        QCOMPARE(r.points.size(), std::size_t(6));
        QCOMPARE(r.points.front(), (TChartPoint{0, 0}));
        QCOMPARE(r.points.back(), (TChartPoint{500, 3600}));
        for (int k = 1; k < 4096; ++k)
            QVERIFY(n.ClbArray[k] >= n.ClbArray[k - 1]);
    }

    void halfCodesRoundToEven() {
        TItemNode a;
        QVERIFY(
            BuildCalibration(a, Rows({{"2", "1"}, {"3", "5"}, {"4", "6"}, {"5", "7"}, {"6", "8"}}))
                .ok);
        QCOMPARE(a.ClbArray[1], 0.5f);
        QCOMPARE(LitresForCode(a, 1), 0);
        TItemNode b;
        QVERIFY(
            BuildCalibration(b, Rows({{"2", "3"}, {"3", "5"}, {"4", "6"}, {"5", "7"}, {"6", "8"}}))
                .ok);
        QCOMPARE(LitresForCode(b, 1), 2);
        QCOMPARE(RoundHalfEven(2.5), 2);
        QCOMPARE(RoundHalfEven(3.5), 4);
        QCOMPARE(RoundHalfEven(1234.5), 1234);
        QCOMPARE(RoundHalfEven(-2.5), -2);
        QCOMPARE(RoundHalfEven(1e12), INT32_MAX);
        QCOMPARE(RoundHalfEven(std::nan("")), 0);
    }

    void firstPointAtCodeZeroAndLastAt4095() {
        TItemNode n;
        QVERIFY(
            BuildCalibration(
                n, Rows({{"0", "50"}, {"10", "60"}, {"20", "70"}, {"30", "80"}, {"4095", "90"}}))
                .ok);
        QCOMPARE(n.ClbArray[0], 50.0f);
        QCOMPARE(n.ClbArray[5], 55.0f);
        QCOMPARE(n.ClbArray[4095], 90.0f);
        QCOMPARE(n.Capacity, 90);
    }

    void thirtyRowsUseEveryPoint() {
        TCalRows rows{};
        for (int r = 0; r < 30; ++r)
            rows[r] = {std::to_string((r + 1) * 100), std::to_string((r + 1) * 10)};
        TItemNode n;
        QVERIFY(BuildCalibration(n, rows).ok);
        QCOMPARE(n.FTable[29].Code, uint16_t(3000));
        QCOMPARE(n.Capacity, 300);
    }

    void refusals_data() {
        QTest::addColumn<int>("which"); // row set
        QTest::addColumn<QString>("message");
        QTest::newRow("all empty") << 0 << kMsgNotEnough;
        QTest::newRow("empty first row, text below") << 1 << kMsgSomethingWrong;
        QTest::newRow("code without litres") << 2 << kMsgSomethingWrong;
        QTest::newRow("four rows") << 3 << kMsgNotEnough;
        QTest::newRow("same code twice") << 4 << kMsgRecheck;
        QTest::newRow("same litres twice") << 5 << kMsgRecheck;
        QTest::newRow("not an integer") << 6 << kMsgSomethingWrong;
        QTest::newRow("code past the table") << 7 << kMsgSomethingWrong;
    }
    void refusals() {
        QFETCH(int, which);
        QFETCH(QString, message);
        const TCalRows sets[] = {
            Rows({}),
            Rows({{"", ""}, {"", ""}, {"7", ""}}),
            Rows({{"1", "1"}, {"2", "2"}, {"3", "3"}, {"4", "4"}, {"5", "5"}, {"6", ""}}),
            Rows({{"1", "1"}, {"2", "2"}, {"3", "3"}, {"4", "4"}}),
            Rows({{"1", "1"}, {"2", "2"}, {"2", "3"}, {"4", "4"}, {"5", "5"}}),
            Rows({{"1", "1"}, {"2", "2"}, {"3", "2"}, {"4", "4"}, {"5", "5"}}),
            Rows({{"1", "1"}, {"2", "2"}, {"3", "x3"}, {"4", "4"}, {"5", "5"}}),
            Rows({{"1", "1"}, {"2", "2"}, {"3", "3"}, {"4", "4"}, {"5000", "5"}}),
        };
        TItemNode n;
        n.ClbArray.fill(7.0f);
        n.Capacity = 7;
        n.FL = 7;
        auto r = BuildCalibration(n, sets[which]);
        QVERIFY(!r.ok);
        QCOMPARE(QString::fromStdString(r.message), message);
        QVERIFY(r.points.empty());
        QCOMPARE(n.ClbArray[4095], 7.0f); // the table is untouched by a refused build
        QCOMPARE(n.Capacity, 7);
        QCOMPARE(n.FL, 7);
    }

    void refusedRowsStayInTheTable() {
        TItemNode n;
        BuildCalibration(n, Rows({{"1", "1"}, {"2", "2"}, {"3", "x"}}));
        QCOMPARE(n.FTable[1], (TCalPoint{2, 2}));
        QCOMPARE(n.FTable[2].Code, uint16_t(3)); // the code was read before the bad litres
    }

    void fewerPointsKeepTheOlderOnes() {
        TCalRows rows{};
        for (int r = 0; r < 10; ++r)
            rows[r] = {std::to_string((r + 1) * 100), std::to_string((r + 1) * 10)};
        TItemNode n;
        QVERIFY(BuildCalibration(n, rows).ok);
        QVERIFY(BuildCalibration(n, WorkedExample()).ok);
        QCOMPARE(n.FTable[4], (TCalPoint{500, 3600}));
        QCOMPARE(n.FTable[9], (TCalPoint{1000, 100}));
        QCOMPARE(n.Capacity, 3600);
    }

    void codesPastTheTableReadTheTop() {
        TItemNode n;
        QVERIFY(BuildCalibration(n, WorkedExample()).ok);
        QCOMPARE(LitresForCode(n, 4096), 3600);
        QCOMPARE(LitresForCode(n, 65535), 3600);
        ApplyReading(n, -5, 65535, 564, 41248.5);
        QCOMPARE(n.FL, 3600);
        QCOMPARE(n.Temp, int8_t(-5));
        QCOMPARE(n.FLFR, uint16_t(564));
        QCOMPARE(n.LDTime, 41248.5);
    }

    void goldenFtblImage() {
        TFTable t{};
        t[0] = {0x0102, 0x0A0B0C0D};
        t[29] = {0xFFFF, 200000};
        const std::string img = EncodeFTable(t);
        QCOMPARE(img.size(), kFtblImageSize);
        const std::string head("\x02\x01\x00\x00\x0D\x0C\x0B\x0A", 8);
        QCOMPARE(img.substr(0, 8), head);
        const std::string tail("\xFF\xFF\x00\x00\x40\x0D\x03\x00", 8);
        QCOMPARE(img.substr(232, 8), tail);
        TFTable back{};
        OverlayFTable(back, img);
        QVERIFY(back == t);
    }

    void goldenClbImage() {
        TClbArray a{};
        a[0] = 1.0f;     // 0x3F800000
        a[4095] = -2.5f; // 0xC0200000
        const std::string img = EncodeClbArray(a);
        QCOMPARE(img.size(), kClbImageSize);
        QCOMPARE(img.substr(0, 4), std::string("\x00\x00\x80\x3F", 4));
        QCOMPARE(img.substr(16380, 4), std::string("\x00\x00\x20\xC0", 4));
    }

    void shortAndLongBlobsOverlayTheStart() {
        TFTable t{};
        t[1] = {9, 9};
        OverlayFTable(t, std::string("\x05\x00\x00\x00\x06", 5)); // 5 bytes: code and 1 byte
        QCOMPARE(t[0].Code, uint16_t(5));
        QCOMPARE(t[0].Litres, 6u);
        QCOMPARE(t[1], (TCalPoint{9, 9}));
        TClbArray a{};
        a.fill(3.0f);
        OverlayClbArray(a, std::string(20000, '\0')); // longer than the image: cut
        QCOMPARE(a[4095], 0.0f);
        a.fill(3.0f);
        OverlayClbArray(a, std::string(4, '\0'));
        QCOMPARE(a[0], 0.0f);
        QCOMPARE(a[1], 3.0f);
    }

    void parseInt32() {
        int32_t v = 0;
        QVERIFY(ParseInt32("2147483647", v) && v == INT32_MAX);
        QVERIFY(ParseInt32("-2147483648", v) && v == INT32_MIN);
        QVERIFY(ParseInt32("+12", v) && v == 12);
        QVERIFY(!ParseInt32("2147483648", v));
        QVERIFY(!ParseInt32("99999999999999999999", v));
        QVERIFY(!ParseInt32("", v));
        QVERIFY(!ParseInt32("12a", v));
        QVERIFY(!ParseInt32(" 12", v));
        QVERIFY(!ParseInt32("+", v));
    }
};

QTEST_APPLESS_MAIN(TankModelTest)
#include "test_tank_model.moc"
