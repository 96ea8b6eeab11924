// The gauge's set-up and painting, and the link's hit area.
#include "GaugePanels.h"
#include "LinkHitArea.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

class TestGauge : public QObject {
    Q_OBJECT
private slots:
    void captionStandsOnTheFillAboveTwentyPercent() {
        TGaugeSetup g = SetupGauge(45, 100);
        QCOMPARE(g.fillHeight, 28);
        QCOMPARE(int(g.percent), 45);
        QCOMPARE(g.fillCaption, std::string("45%"));
        QCOMPARE(g.gaugeCaption, std::string());

        g = SetupGauge(20, 100);
        QCOMPARE(g.fillHeight, 12);
        QCOMPARE(g.fillCaption, std::string());
        QCOMPARE(g.gaugeCaption, std::string("20%"));

        g = SetupGauge(21, 100);
        QCOMPARE(g.fillHeight, 13);
        QCOMPARE(g.fillCaption, std::string("21%"));
    }

    void percentageWrapsInEightBits() {
        const TGaugeSetup g = SetupGauge(300, 100);
        QCOMPARE(g.fillHeight, 192);
        QCOMPARE(int(g.percent), 44);
        QCOMPARE(g.fillCaption, std::string("44%"));
        QCOMPARE(VisibleFillHeight(g.fillHeight, 62), 62);
    }

    void zeroCapacityShowsNothingOnTheBox() {
        const TGaugeSetup g = SetupGauge(500, 0);
        QCOMPARE(g.fillHeight, 0);
        QCOMPARE(int(g.percent), 0);
        QCOMPARE(g.gaugeCaption, std::string("0%"));
        QCOMPARE(g.fillCaption, std::string());
    }

    void negativeAndHugeLevels() {
        const TGaugeSetup neg = SetupGauge(-5, 100);
        QCOMPARE(neg.fillHeight, -3); // truncates toward zero
        QCOMPARE(int(neg.percent), 251);
        QCOMPARE(VisibleFillHeight(neg.fillHeight, 62), 0);
        // Products that do not fit in 32 bits still divide correctly.
        const TGaugeSetup big = SetupGauge(2000000000, 2000000000);
        QCOMPARE(big.fillHeight, 64);
        QCOMPARE(int(big.percent), 100);
    }

    void paintedFillIsBottomAligned() {
        TGaugePanels gauge;
        gauge.Setup(SetupGauge(45, 100));
        QImage img(60, 80, QImage::Format_RGB32);
        img.fill(Qt::black);
        {
            QPainter p(&img);
            gauge.Paint(p, QPoint(10, 5), QFont(), Qt::black);
        }
        const QRgb fill = TGaugePanels::FillColor().rgb();
        const QRgb white = TGaugePanels::BoxColor().rgb();
        int fillRows = 0;
        for (int y = 0; y < img.height(); ++y)
            fillRows += img.pixel(12, y) == fill;
        QCOMPARE(fillRows, 28);
        QCOMPARE(img.pixel(12, 5 + 64 - 2), fill); // last row inside the border
        QCOMPARE(img.pixel(12, 5 + 64 - 2 - 28), white);
        QCOMPARE(img.pixel(9, 30), qRgb(0, 0, 0)); // nothing left of the box
        QCOMPARE(img.pixel(50, 30), qRgb(0, 0, 0));
    }

    void overfullGaugeFillsTheWholeBox() {
        TGaugePanels gauge;
        gauge.Setup(SetupGauge(300, 100));
        QCOMPARE(gauge.FillRect(), TGaugePanels::ClientRect());
        gauge.Setup(SetupGauge(-50, 100));
        QVERIFY(gauge.FillRect().isEmpty());
    }

    void hitAreaEdgesAreStrict_data() {
        QTest::addColumn<int>("scrollBar");
        QTest::newRow("no scroll bar") << 0;
        QTest::newRow("scroll bar") << 17;
    }
    void hitAreaEdgesAreStrict() {
        QFETCH(int, scrollBar);
        TLinkHitQuery q{500, scrollBar, 100, true, 0, 0};
        auto at = [&](int x, int y) {
            q.x = x;
            q.y = y;
            return InLinkHitArea(q);
        };
        const int right = 500 - scrollBar;
        QVERIFY(at(right - 40, 117));
        QVERIFY(at(right - 17, 128));
        QVERIFY(!at(right - 41, 120));
        QVERIFY(!at(right - 16, 120));
        QVERIFY(!at(right - 30, 116));
        QVERIFY(!at(right - 30, 129));
        q.active = false;
        QVERIFY(at(right - 30, 104));
        QVERIFY(at(right - 30, 115));
        QVERIFY(!at(right - 30, 103));
        QVERIFY(!at(right - 30, 116));
    }

    void scrollBarCountsOnlyWhenTilesOverflow() {
        QCOMPARE(ScrollBarAllowance(280, 280, 16), 0);
        QCOMPARE(ScrollBarAllowance(281, 280, 16), 16);
        // The point just inside the plain area's right edge is outside once the bar shows.
        QVERIFY(!InLinkHitArea({500, 16, 0, true, 483, 20}));
        QVERIFY(InLinkHitArea({500, 0, 0, true, 483, 20}));
    }
};

QTEST_MAIN(TestGauge)
#include "tst_gauge.moc"
