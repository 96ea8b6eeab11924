// Tiles that never show an old value as live: the age in words, the three-cycle limit,
// and a tile going stale and fresh again under an injected clock.
#include "Clock.h"
#include "GaugePanels.h"
#include "TilePainter.h"
#include "TilePictures.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QtTest>

namespace {

constexpr double kSecond = 1.0 / 86400;
constexpr double kNow = 45000.5;

int NotePixels(const TItemNode& node, const TTileFreshness& fresh) {
    TGaugePanels gauge;
    TTilePictures pictures;
    QImage img(500, kActiveTileHeight - 1, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setFont(QApplication::font());
    TTileExtras extras;
    extras.freshness = fresh;
    TTilePainter(gauge, pictures)
        .VTDrawNode(p, node, img.rect(), false, {Qt::white, Qt::black}, extras);
    p.end();
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += qRed(img.pixel(x, y)) > qGreen(img.pixel(x, y)) + 60; // the note's red
    return n;
}

} // namespace

class TestTileFreshness : public QObject {
    Q_OBJECT
private slots:
    void judged_data();
    void judged();
    void staleAndFreshAgain();
};

void TestTileFreshness::judged_data() {
    QTest::addColumn<double>("ageSeconds");
    QTest::addColumn<bool>("lineUp");
    QTest::addColumn<bool>("stale");
    QTest::addColumn<QString>("note");
    // Six active tanks: three cycles of 66 s.
    QTest::newRow("fresh") << 60.0 << true << false << "";
    QTest::newRow("three cycles exactly") << 198.0 << true << false << "";
    QTest::newRow("just past three cycles") << 199.0 << true << true << "no reading for 3 min";
    QTest::newRow("line down") << 20.0 << false << true << "no reading for 20 s";
    QTest::newRow("hours") << 3.0 * 3600 + 59 * 60 << true << true << "no reading for 3 h";
    QTest::newRow("days") << 5.5 * 86400 << true << true << "no reading for 5 days";
    QTest::newRow("never") << -1.0 << true << true << "no reading yet";
}

void TestTileFreshness::judged() {
    QFETCH(double, ageSeconds);
    QFETCH(bool, lineUp);
    const double last = ageSeconds < 0 ? 0 : kNow - ageSeconds * kSecond;
    const TTileFreshness f = JudgeFreshness(last, kNow, lineUp, 6);
    QTEST(f.stale, "stale");
    QTEST(QString::fromStdString(f.note), "note");
}

void TestTileFreshness::staleAndFreshAgain() {
    ManualClock clock(kNow);
    TItemNode node;
    node.id = 1;
    node.Act = true;
    node.Name = "Tank 1";
    node.Capacity = 1000;
    ApplyReading(node, 12, 500, 0, clock.LocalNow());
    auto judge = [&] { return JudgeFreshness(node.LDTime, clock.LocalNow(), true, 14); };
    QVERIFY(!judge().stale);
    QCOMPARE(NotePixels(node, judge()), 0);
    clock.AdvanceSeconds(7 * 60);
    QVERIFY(judge().stale);
    QCOMPARE(judge().note, std::string("no reading for 7 min"));
    QVERIFY(NotePixels(node, judge()) > 20);
    ApplyReading(node, 12, 480, 0, clock.LocalNow()); // the next reply
    QVERIFY(!judge().stale);
    QCOMPARE(NotePixels(node, judge()), 0);
}

QTEST_MAIN(TestTileFreshness)
#include "tst_tile_freshness.moc"
