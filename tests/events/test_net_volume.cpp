// Net volume at 15 °C: the correction factor against published table values, and the
// density a tank's fuel type text stands for; the temperature between whole degrees.
#include "NetVolume.h"
#include "TempLine.h"
#include "WholeDegrees.h"

#include <QtTest>

class NetVolumeTest : public QObject {
    Q_OBJECT
private slots:
    void factorMatchesTheTables_data() {
        QTest::addColumn<double>("density");
        QTest::addColumn<double>("temp");
        QTest::addColumn<double>("vcf"); // 0: no factor
        QTest::newRow("diesel 840 at 25") << 840.0 << 25.0 << 0.99154;
        QTest::newRow("diesel 840 at -5") << 840.0 << -5.0 << 1.01679;
        QTest::newRow("at 15 nothing changes") << 745.0 << 15.0 << 1.0;
        QTest::newRow("petrol 745 at 30") << 745.0 << 30.0 << 0.98171;
        QTest::newRow("kerosene 800 at 25") << 800.0 << 25.0 << 0.99068;
        QTest::newRow("transition zone 780 at 25") << 780.0 << 25.0 << 0.98954;
        QTest::newRow("lighter than any fuel") << 600.0 << 25.0 << 0.0;
        QTest::newRow("heavier than any fuel") << 1200.0 << 25.0 << 0.0;
    }
    void factorMatchesTheTables() {
        QFETCH(double, density);
        QFETCH(double, temp);
        QFETCH(double, vcf);
        const std::optional<double> got = NetVolume::Vcf(density, temp);
        if (vcf == 0) {
            QVERIFY(!got);
            return;
        }
        QVERIFY(got);
        QVERIFY2(std::abs(*got - vcf) < 0.00001, QByteArray::number(*got, 'f', 6));
    }

    void densityFromTheFuelType_data() {
        QTest::addColumn<QString>("fuelType");
        QTest::addColumn<double>("density"); // 0: none
        QTest::newRow("Diesel") << "Diesel" << 840.0;
        QTest::newRow("summer DIESEL") << "summer DIESEL" << 840.0;
        QTest::newRow("Gasoil 0.1") << "Gasoil 0.1" << 840.0;
        QTest::newRow("DT-L") << "DT-L" << 840.0;
        QTest::newRow("width holds dt only inside a word") << "width" << 0.0;
        QTest::newRow("Petrol A-95") << "Petrol A-95" << 745.0;
        QTest::newRow("a92") << "a92" << 745.0;
        QTest::newRow("Gasoline") << "Gasoline" << 745.0;
        QTest::newRow("Jet A-1") << "Jet A-1" << 800.0;
        QTest::newRow("Kerosene") << "Kerosene" << 800.0;
        QTest::newRow("Heating oil") << "Heating oil" << 850.0;
        QTest::newRow("Fuel oil") << "Fuel oil" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
    }
    void densityFromTheFuelType() {
        QFETCH(QString, fuelType);
        QFETCH(double, density);
        const std::optional<double> got = NetVolume::DensityForFuelType(fuelType.toStdString());
        QCOMPARE(got.value_or(0.0), density);
    }

    void aSetDensityComesFirstWhenInRange() {
        QCOMPARE(NetVolume::TankDensity(820.0, "Petrol").value_or(0), 820.0);
        QCOMPARE(NetVolume::TankDensity(5000.0, "Petrol").value_or(0), 745.0);
        QVERIFY(!NetVolume::TankDensity(std::nullopt, "Water"));
        QCOMPARE(NetVolume::NetLitres(20000, 25, 840.0).value_or(0), 19831);
    }

    // The temperature between whole degrees, read once a minute for a day: a swing of
    // `swing` °C either side of 15.2 °C (coldest at midnight), or a reading wavering about
    // a half degree. The estimate must stay within `within` °C of the truth everywhere
    // the readings have changed degree on both sides (whole degrees alone: 0.5 °C).
    void wholeDegreesBetweenTheirChanges_data() {
        QTest::addColumn<double>("swing");
        QTest::addColumn<bool>("waver");
        QTest::addColumn<double>("within");
        QTest::newRow("a day's swing of ±7 °C, turns included") << 7.0 << false << 0.3;
        QTest::newRow("a slow swing of ±2 °C") << 2.0 << false << 0.3;
        QTest::newRow("wavering about 12.5 °C stays there") << 0.0 << true << 0.03;
    }
    void wholeDegreesBetweenTheirChanges() {
        QFETCH(double, swing);
        QFETCH(bool, waver);
        QFETCH(double, within);
        std::vector<double> utc, truth;
        std::vector<int> whole;
        for (int m = 0; m < 1440; ++m) {
            const double t = m / 1440.0;
            const double temp =
                waver ? 12.5 + (m % 3 == 0 ? 0.02 : -0.02) : 15.2 - swing * std::cos(t * 2 * M_PI);
            utc.push_back(t);
            truth.push_back(temp);
            whole.push_back(int(std::lround(temp)));
        }
        const std::vector<double> est = WholeDegreeTemps(utc, whole);
        QCOMPARE(est.size(), utc.size());
        std::size_t first = 1, last = utc.size() - 1;
        while (first < last && whole[first] == whole[0])
            ++first;
        while (last > first && whole[last - 1] == whole.back())
            --last;
        double worst = 0;
        for (std::size_t i = first; i < last; ++i)
            worst = std::max(worst, std::abs(est[i] - truth[i]));
        QVERIFY2(worst <= within, qPrintable(QString::number(worst)));
    }

    // The live estimate at the newest reading of a two-hour window, against the truth.
    void lineThroughTheLastTwoHours_data() {
        QTest::addColumn<double>("perHour"); // °C an hour, steady
        QTest::addColumn<double>("jumpTo");  // > 0: the reading jumps there half way
        QTest::addColumn<bool>("fits");
        QTest::addColumn<double>("within");
        QTest::newRow("evening cooling of 1.8 °C an hour") << -1.8 << 0.0 << true << 0.2;
        QTest::newRow("morning warming of 1 °C an hour") << 1.0 << 0.0 << true << 0.2;
        QTest::newRow("one change of degree: no line") << 0.6 << 0.0 << false << 0.0;
        QTest::newRow("warm fuel delivered: no line") << 0.0 << 16.0 << false << 0.0;
    }
    void lineThroughTheLastTwoHours() {
        QFETCH(double, perHour);
        QFETCH(double, jumpTo);
        QFETCH(bool, fits);
        QFETCH(double, within);
        TempLine line;
        const auto truth = [&](int m) {
            return jumpTo > 0 && m >= 180 ? jumpTo : 9.7 + perHour * m / 60.0;
        };
        // Three hours read once a minute; the window keeps the last two, as the detector's.
        for (int m = 0; m < 180 + (jumpTo > 0 ? 30 : 0); ++m) {
            line.Add(m, int(std::lround(truth(m))));
            if (m >= 120)
                line.Remove(m - 120, int(std::lround(truth(m - 120))));
        }
        const int now = 180 + (jumpTo > 0 ? 30 : 0) - 1;
        double value = 0;
        QCOMPARE(line.At(now, 0.6, value), fits);
        if (fits)
            QVERIFY2(std::abs(value - truth(now)) <= within, qPrintable(QString::number(value)));
    }
};

QTEST_GUILESS_MAIN(NetVolumeTest)
#include "test_net_volume.moc"
