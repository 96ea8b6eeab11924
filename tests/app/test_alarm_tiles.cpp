// An alarm on a tile: what it paints and when it beeps. The alarm states themselves (when an
// alarm starts and clears) are tested with the events core; here they arrive as transitions.
#include "AlarmBeeper.h"
#include "Clock.h"
#include "GaugePanels.h"
#include "LinkTimer.h"
#include "OperatorMessages.h"
#include "TileAlarms.h"
#include "TilePainter.h"
#include "TilePictures.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QtTest>

namespace {

TItemNode ActiveTank() {
    TItemNode n;
    n.id = 3;
    n.Name = "Tank 3";
    n.Act = true;
    n.FL = 4500;
    n.Capacity = 20000;
    n.FLC = 1234;
    n.Temp = 12;
    return n;
}

QImage Paint(const TTileExtras& extras) {
    static TGaugePanels gauge;
    static TTilePictures pictures;
    const TItemNode node = ActiveTank();
    QImage img(600, VTMeasureItem(node) - 1, QImage::Format_RGB32);
    img.fill(Qt::magenta);
    QPainter p(&img);
    p.setFont(QApplication::font());
    TTilePainter(gauge, pictures)
        .VTDrawNode(p, node, img.rect(), false, {Qt::white, Qt::black}, extras);
    return img;
}

} // namespace

class AlarmTilesTest : public QObject {
    Q_OBJECT
private slots:
    void acknowledgeStopsTheBeep() {
        ManualTimeline line;
        auto timer = line.NewTimer(false);
        RecordingMessages messages;
        TileAlarms alarms;
        AlarmBeeper beeper(alarms, *timer, messages);

        alarms.Raise(3, AlarmKind::Low);
        beeper.Update();
        QCOMPARE(messages.beeps, 1); // at once
        line.Advance(kAlarmBeepIntervalMs - 1);
        QCOMPARE(messages.beeps, 1);
        line.Advance(1);
        QCOMPARE(messages.beeps, 2);
        alarms.Raise(5, AlarmKind::Silent); // a second alarm keeps the same rhythm
        beeper.Update();
        line.Advance(kAlarmBeepIntervalMs);
        QCOMPARE(messages.beeps, 3);

        QVERIFY(alarms.Acknowledge(3));
        beeper.Update();
        line.Advance(kAlarmBeepIntervalMs);
        QCOMPARE(messages.beeps, 4); // tank 5 still unacknowledged
        QCOMPARE(alarms.AcknowledgeAll().size(), std::size_t(1));
        beeper.Update();
        line.Advance(10 * kAlarmBeepIntervalMs);
        QCOMPARE(messages.beeps, 4);
        QVERIFY(!alarms.Acknowledge(3)); // nothing left to acknowledge

        // Acknowledged alarms stay shown; the same alarm going on raises nothing new.
        alarms.Raise(3, AlarmKind::Low);
        beeper.Update();
        QVERIFY(alarms.Of(3).Has(AlarmKind::Low));
        QVERIFY(!alarms.Of(3).Unacknowledged());
        QCOMPARE(messages.beeps, 4);

        // Cleared and started again: a new alarm, beeping again.
        alarms.Clear(3, AlarmKind::Low);
        alarms.Raise(3, AlarmKind::Low);
        beeper.Update();
        QCOMPARE(messages.beeps, 5);
        alarms.Clear(3, AlarmKind::Low);
        beeper.Update();
        line.Advance(10 * kAlarmBeepIntervalMs);
        QCOMPARE(messages.beeps, 5); // clearing an unacknowledged alarm ends the beep too
    }

    void clearingClearsTheTile() {
        TileAlarms alarms;
        const QImage quiet = Paint({});
        alarms.Raise(3, AlarmKind::Loss);
        const QImage raised = Paint({alarms.Of(3), std::nullopt});
        QCOMPARE(raised.pixelColor(300, 2), AlarmColor()); // the whole tile
        QVERIFY(alarms.Acknowledge(3));
        const QImage acked = Paint({alarms.Of(3), std::nullopt});
        QCOMPARE(acked.pixelColor(300, 2), QColor(Qt::white)); // its background again
        QCOMPARE(acked.pixelColor(2, 30), AlarmColor());       // with a band at its edge
        QVERIFY(acked != quiet);                               // and the word
        alarms.Clear(3, AlarmKind::Loss);
        QVERIFY(!alarms.Of(3).Any());
        QCOMPARE(Paint({alarms.Of(3), std::nullopt}), quiet);
    }

    void words_data() {
        QTest::addColumn<int>("mask");
        QTest::addColumn<QString>("words");
        QTest::newRow("low") << 1 << "LOW";
        QTest::newRow("high") << 2 << "HIGH";
        QTest::newRow("silent") << 4 << "NO SIGNAL";
        QTest::newRow("loss") << 8 << "LOSS";
        QTest::newRow("silent and loss") << 12 << "NO SIGNAL LOSS";
    }
    void words() {
        QFETCH(int, mask);
        QFETCH(QString, words);
        TankAlarms t;
        t.active = uint8_t(mask);
        QCOMPARE(QString::fromStdString(t.Words()), words);
    }

    void netLitresStandBesideTheGrossOnes() {
        const QImage gross = Paint({});
        const QImage net = Paint({{}, 4431});
        // Only to the right of the fuel line: whatever was drawn before stays where it was.
        const int fuelEnd = 150 + QFontMetrics([] {
                                      QFont f = QApplication::font();
                                      f.setBold(true);
                                      return f;
                                  }())
                                      .horizontalAdvance(FuelLine(ActiveTank()));
        QCOMPARE(net.copy(0, 0, fuelEnd, net.height()), gross.copy(0, 0, fuelEnd, gross.height()));
        QVERIFY(net != gross);
    }
};

QTEST_MAIN(AlarmTilesTest)
#include "test_alarm_tiles.moc"
