// Ramps, their cache and the strips a gradient paints.
#include "GradientFill.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

#include <stdexcept>

namespace {

QList<int> Reds(const ColorRamp& ramp) {
    QList<int> out;
    for (ColorRef c : ramp)
        out << RedOf(c);
    return out;
}

QRgb Rgb(int r, int g, int b) {
    return qRgb(r, g, b);
}

} // namespace

class TestGradient : public QObject {
    Q_OBJECT
private slots:
    void fallingChannelEndsOneShort() {
        QCOMPARE(Reds(BuildRamp(4, MakeColorRef(255, 0, 0), MakeColorRef(0, 0, 0))),
                 (QList<int>{255, 171, 86, 1}));
        QCOMPARE(Reds(BuildRamp(4, MakeColorRef(0, 0, 0), MakeColorRef(255, 0, 0))),
                 (QList<int>{0, 85, 170, 255}));
        // With one step the end is reached; a single entry is the midpoint.
        QCOMPARE(Reds(BuildRamp(2, MakeColorRef(255, 0, 0), 0)), (QList<int>{255, 0}));
        QCOMPARE(Reds(BuildRamp(1, MakeColorRef(200, 0, 0), MakeColorRef(100, 0, 0))),
                 (QList<int>{150}));
    }

    void channelsAreIndependentAndPacked() {
        const ColorRamp r = BuildRamp(71, MakeColorRef(217, 226, 234), MakeColorRef(183, 200, 215));
        QCOMPARE(r.size(), std::size_t{71});
        QCOMPARE(r.front(), MakeColorRef(217, 226, 234));
        QCOMPARE(r.back(), MakeColorRef(184, 201, 216));
        QCOMPARE(MakeColorRef(1, 2, 3), ColorRef{0x030201});
    }

    void lengthBelowOneIsAnInternalError() {
        RampCache cache;
        QVERIFY_THROWS_EXCEPTION(std::logic_error, BuildRamp(0, 0, 0));
        QVERIFY_THROWS_EXCEPTION(std::logic_error, cache.Get(-1, 0, 0));
        QCOMPARE(cache.Cursor(), 0);
    }

    void matchingRampIsTakenFromTheCache() {
        RampCache cache;
        const ColorRef a = MakeColorRef(0, 0, 0), z = MakeColorRef(255, 255, 255);
        const ColorRamp* first = &cache.Get(10, a, z);
        QCOMPARE(cache.Cursor(), 1);
        QCOMPARE(&cache.Get(10, a, z), first);
        QCOMPARE(cache.BuildCount(), 1);
        cache.Get(11, a, z); // another length is another key
        QCOMPARE(cache.BuildCount(), 2);
        QCOMPARE(cache.Cursor(), 2);
    }

    void fallingRampIsBuiltIntoTheNextSlotEveryTime() {
        RampCache cache;
        const ColorRef top = MakeColorRef(217, 226, 234), bottom = MakeColorRef(183, 200, 215);
        for (int call = 1; call <= 3; ++call) {
            cache.Get(71, top, bottom);
            QCOMPARE(cache.BuildCount(), call);
            QCOMPARE(cache.Cursor(), call);
            QCOMPARE(cache.Slot(call - 1).back(), MakeColorRef(184, 201, 216));
        }
    }

    void cursorWrapsAndReplacesTheOldestSlot() {
        RampCache cache;
        for (int n = 2; n <= 17; ++n) // rising ramps: each matches its own key
            cache.Get(n, 0, MakeColorRef(255, 255, 255));
        QCOMPARE(cache.Cursor(), 0);
        cache.Get(40, 0, MakeColorRef(255, 255, 255));
        QCOMPARE(cache.Cursor(), 1);
        QCOMPARE(cache.Slot(0).size(), std::size_t{40});
        // The ramp of length 2 was in slot 0 and is gone; length 3 is still cached.
        const int builds = cache.BuildCount();
        cache.Get(3, 0, MakeColorRef(255, 255, 255));
        QCOMPARE(cache.BuildCount(), builds);
        cache.Get(2, 0, MakeColorRef(255, 255, 255));
        QCOMPARE(cache.BuildCount(), builds + 1);
        QCOMPARE(cache.Slot(1).size(), std::size_t{2});
    }

    void stripRangeFollowsTheClipBox() {
        StripRange all = ComputeStripRange(10, 81, 0, 500);
        QCOMPARE(all.length, 71);
        QCOMPARE(all.first, 0);
        QCOMPARE(all.last, 70);
        StripRange cut = ComputeStripRange(10, 81, 30, 40);
        QCOMPARE(cut.first, 20);
        QCOMPARE(cut.last, 29);
        QVERIFY(ComputeStripRange(10, 81, 100, 200).Empty());
        QVERIFY(ComputeStripRange(10, 10, 0, 100).Empty());
    }

    void paintsEveryRowOfTheRectangle() {
        QImage img(30, 71, QImage::Format_RGB32);
        img.fill(Qt::black);
        RampCache cache;
        {
            QPainter p(&img);
            GradientFill(p, QRect(5, 0, 20, 71), QColor(217, 226, 234), QColor(183, 200, 215),
                         GradientDirection::Vertical, cache);
        }
        QCOMPARE(img.pixel(5, 0), Rgb(217, 226, 234));
        QCOMPARE(img.pixel(24, 70), Rgb(184, 201, 216));
        QCOMPARE(img.pixel(4, 30), Rgb(0, 0, 0)); // left of the rectangle
        QCOMPARE(img.pixel(25, 30), Rgb(0, 0, 0));
    }

    void clippedGradientKeepsTheColoursOfTheWhole() {
        QImage img(20, 100, QImage::Format_RGB32);
        img.fill(Qt::black);
        RampCache cache;
        {
            QPainter p(&img);
            p.setClipRect(QRect(0, 40, 20, 10));
            GradientFill(p, QRect(0, 0, 20, 100), QColor(0, 0, 0), QColor(0, 0, 198),
                         GradientDirection::Vertical, cache);
        }
        const ColorRamp whole = BuildRamp(100, 0, MakeColorRef(0, 0, 198));
        QCOMPARE(img.pixel(3, 39), Rgb(0, 0, 0));
        QCOMPARE(qBlue(img.pixel(3, 40)), BlueOf(whole[40]));
        QCOMPARE(qBlue(img.pixel(3, 49)), BlueOf(whole[49]));
        QCOMPARE(img.pixel(3, 50), Rgb(0, 0, 0));
        QCOMPARE(cache.Slot(0).size(), std::size_t{100});
    }

    void onlyStripsInsideTheClipAreMade() {
        RampCache cache;
        const auto strips =
            GradientStrips(QRect(0, 10, 50, 71), QRect(0, 30, 200, 5), QColor(217, 226, 234),
                           QColor(183, 200, 215), GradientDirection::Vertical, cache);
        QCOMPARE(strips.size(), std::size_t{5});
        QCOMPARE(strips.front().rect, QRect(0, 30, 50, 1));
        QCOMPARE(strips.back().rect, QRect(0, 34, 50, 1));
        const ColorRamp whole =
            BuildRamp(71, MakeColorRef(217, 226, 234), MakeColorRef(183, 200, 215));
        QCOMPARE(ToColorRef(strips.front().colour), whole[20]);
        QVERIFY(GradientStrips(QRect(0, 10, 50, 71), QRect(0, 81, 200, 5), Qt::white, Qt::black,
                               GradientDirection::Vertical, cache)
                    .empty());
    }

    void horizontalGradientRunsAlongX() {
        QImage img(4, 3, QImage::Format_RGB32);
        img.fill(Qt::black);
        RampCache cache;
        {
            QPainter p(&img);
            GradientFill(p, QRect(0, 0, 4, 3), QColor(255, 0, 0), QColor(0, 0, 0),
                         GradientDirection::Horizontal, cache);
        }
        QCOMPARE(qRed(img.pixel(0, 2)), 255);
        QCOMPARE(qRed(img.pixel(1, 2)), 171);
        QCOMPARE(qRed(img.pixel(3, 0)), 1);
    }

    void invisibleRectanglePaintsNothingAndBuildsNothing() {
        QImage img(10, 10, QImage::Format_RGB32);
        img.fill(Qt::black);
        RampCache cache;
        {
            QPainter p(&img);
            GradientFill(p, QRect(0, 20, 10, 10), Qt::white, Qt::white, GradientDirection::Vertical,
                         cache);
        }
        QCOMPARE(cache.BuildCount(), 0);
        QCOMPARE(img.pixel(5, 9), Rgb(0, 0, 0));
    }
};

QTEST_MAIN(TestGradient)
#include "tst_gradient.moc"
