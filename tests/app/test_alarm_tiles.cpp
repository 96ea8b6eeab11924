// An alarm on a tile as the operator meets it: through the main window and the real fuel
// events, with the beep's timer driven by hand. When alarms start and clear is tested with
// the alarm states themselves; here: what the tile paints, when it beeps, what acknowledging
// and clearing do.
#include "AlarmBeeper.h"
#include "Clock.h"
#include "EventSettingsUnit.h"
#include "FuelEvents.h"
#include "GaugePanels.h"
#include "LinkTimer.h"
#include "MainUnit.h"
#include "OperatorMessages.h"
#include "TileList.h"
#include "TilePainter.h"
#include "TilePictures.h"

#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTemporaryDir>
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

using AlarmChanges = QList<QPair<int, int>>; // (second, tanks waiting)

// Keeps the time of every beep on the manual time line.
class BeepTimes : public OperatorMessages {
public:
    explicit BeepTimes(const ManualTimeline& line) : line_(line) {}
    void ShowMessage(const std::string&) override {}
    void Beep() override { at.push_back(line_.NowMs() / 1000); }
    std::vector<int64_t> at; // seconds

private:
    const ManualTimeline& line_;
};

} // namespace

class AlarmTilesTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void acknowledgeStopsTheBeepAndClearingClearsTheTile() {
        RecordingMessages m;
        ManualClock clock(46000.5);
        TForm1 w(m, clock, dir.filePath("alarm.db").toStdString());
        QVERIFY(!w.StartFailed());
        w.Events()->WaitForCatchUp();
        ManualTimeline line;
        w.SetBeepTimer(line.NewTimer(false));
        TItemNode& tank = w.VT->Model().Tank(0);
        tank.Act = true;
        tank.Capacity = 20000;
        tank.LowFuel = 1000;
        const auto read = [&](int32_t litres) {
            clock.Set(clock.LocalNow() + 1.0 / 1440);
            w.Events()->TakeReading(Reading{1, clock.UtcNow(), clock.LocalNow(), litres, 0, 15});
        };

        read(900);
        read(900); // the second reading below the limit raises it
        QCOMPARE(m.beeps, 1);
        TTileExtras shown = w.VT->Model().Extras(1);
        QCOMPARE(shown.alarmWord, std::string("LOW"));
        QVERIFY(shown.unacknowledged);
        line.Advance(kAlarmBeepIntervalMs);
        line.Advance(kAlarmBeepIntervalMs);
        QCOMPARE(m.beeps, 3); // every 30 s

        QMenu* menu = w.VT->TileMenu(w.VT->visualRect(w.VT->model()->index(0, 0)).center());
        QVERIFY(menu);
        QAction* ack = menu->findChild<QAction*>("acknowledgeAlarm");
        QVERIFY(ack && ack->isEnabled());
        ack->trigger(); // one action on the tile
        delete menu;
        line.Advance(10 * kAlarmBeepIntervalMs);
        QCOMPARE(m.beeps, 3);
        shown = w.VT->Model().Extras(1);
        QCOMPARE(shown.alarmWord, std::string("LOW")); // still shown until it clears
        QVERIFY(!shown.unacknowledged);
        QVERIFY(w.LogText().contains("LOW") || w.LogText().contains("low"));

        read(1100); // inside the limit, but not by 1 % of capacity: stays
        QCOMPARE(w.VT->Model().Extras(1).alarmWord, std::string("LOW"));
        read(1300);
        QCOMPARE(w.VT->Model().Extras(1).alarmWord, std::string());
        line.Advance(10 * kAlarmBeepIntervalMs);
        QCOMPARE(m.beeps, 3);
        QVERIFY(m.shown.empty());
    }

    void acknowledgeAllFromTheMenu() {
        RecordingMessages m;
        ManualClock clock(46000.5);
        TForm1 w(m, clock, dir.filePath("all.db").toStdString());
        w.Events()->WaitForCatchUp();
        ManualTimeline line;
        w.SetBeepTimer(line.NewTimer(false));
        for (int row : {0, 1}) {
            TItemNode& tank = w.VT->Model().Tank(row);
            tank.Act = true;
            tank.Capacity = 20000;
            tank.OverFuel = 19000;
            for (int i = 0; i < 2; ++i)
                w.Events()->TakeReading(
                    Reading{unsigned(tank.id), clock.UtcNow(), clock.LocalNow(), 19500, 0, 15});
        }
        QCOMPARE(m.beeps, 1);
        QVERIFY(w.VT->Model().Extras(2).unacknowledged);
        w.findChild<QAction*>("acknowledgeAll")->trigger();
        line.Advance(10 * kAlarmBeepIntervalMs);
        QCOMPARE(m.beeps, 1);
        QCOMPARE(w.VT->Model().Extras(1).alarmWord, std::string("HIGH"));
        QVERIFY(!w.VT->Model().Extras(1).unacknowledged);
        QVERIFY(!w.VT->Model().Extras(2).unacknowledged);
    }

    // Changes of the number of tanks waiting for acknowledgement, each at a second of the
    // time line, and the seconds at which the station must beep over the first ten minutes.
    void beepKeepsItsRhythm_data() {
        QTest::addColumn<AlarmChanges>("changes");
        QTest::addColumn<QList<int>>("beeps");
        using Changes = AlarmChanges;
        QTest::newRow("one alarm until acknowledged")
            << Changes{{10, 1}, {75, 0}} << QList<int>{10, 40, 70};
        QTest::newRow("a second tank beeps at once and sets the rhythm")
            << Changes{{10, 1}, {52, 2}, {100, 0}} << QList<int>{10, 40, 52, 82};
        QTest::newRow("one of two acknowledged: the rhythm goes on")
            << Changes{{10, 2}, {25, 1}, {75, 0}} << QList<int>{10, 40, 70};
        QTest::newRow("an alarm that comes back starts again at once")
            << Changes{{10, 1}, {20, 0}, {78, 1}, {140, 0}} << QList<int>{10, 78, 108, 138};
        QTest::newRow("two at the same moment share the beep")
            << Changes{{10, 1}, {10, 2}, {45, 0}} << QList<int>{10, 40};
        QTest::newRow("back while another still waits")
            << Changes{{10, 2}, {20, 1}, {33, 2}, {90, 0}} << QList<int>{10, 33, 63};
    }
    void beepKeepsItsRhythm() {
        QFETCH(AlarmChanges, changes);
        QFETCH(QList<int>, beeps);
        ManualClock clock;
        ManualTimeline line(&clock, 46000.5);
        BeepTimes heard(line);
        int waiting = 0;
        const std::unique_ptr<LinkTimer> timer = line.NewTimer(false);
        AlarmBeeper beeper([&] { return waiting; }, *timer, heard, clock);
        beeper.Update();
        for (const auto& [second, count] : changes) {
            line.AdvanceTo(int64_t(second) * 1000);
            waiting = count;
            beeper.Update();
        }
        line.AdvanceTo(600 * 1000);
        QCOMPARE(QList<int64_t>(heard.at.begin(), heard.at.end()),
                 QList<int64_t>(beeps.begin(), beeps.end()));
    }

    void tilePaintsTheAlarmUntilItClears() {
        const QImage quiet = Paint({});
        const QImage raised = Paint({"LOSS", true, std::nullopt, {}});
        QCOMPARE(raised.pixelColor(300, 2), AlarmColor()); // the whole tile
        const QImage acked = Paint({"LOSS", false, std::nullopt, {}});
        QCOMPARE(acked.pixelColor(300, 2), QColor(Qt::white)); // its background again
        QCOMPARE(acked.pixelColor(2, 30), AlarmColor());       // with a band at its edge
        QVERIFY(acked != quiet);                               // and the word
        QCOMPARE(Paint({"", false, std::nullopt, {}}), quiet); // cleared
    }

    void netLitresStandBesideTheGrossOnes() {
        const QImage gross = Paint({});
        const QImage net = Paint({"", false, 4431, {}});
        // Only to the right of the fuel line: whatever was drawn before stays where it was.
        QFont bold = QApplication::font();
        bold.setBold(true);
        const int fuelEnd = 150 + QFontMetrics(bold).horizontalAdvance(FuelLine(ActiveTank()));
        QCOMPARE(net.copy(0, 0, fuelEnd, net.height()), gross.copy(0, 0, fuelEnd, gross.height()));
        QVERIFY(net != gross);
    }

    // What the event settings dialog lets through to the detector of a 20 000 l tank.
    void eventSettingsBoxes_data() {
        QTest::addColumn<QString>("density");
        QTest::addColumn<QString>("delivery");
        QTest::addColumn<bool>("quiet");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("all empty: defaults") << ""
                                             << "" << false << true;
        QTest::newRow("diesel") << "840.5"
                                << "300" << true << true;
        QTest::newRow("density past the tables") << "1200"
                                                 << "" << false << false;
        QTest::newRow("density with a comma") << "840,5"
                                              << "" << false << false;
        QTest::newRow("threshold over capacity") << ""
                                                 << "20001" << false << false;
        QTest::newRow("zero threshold") << ""
                                        << "0" << false << false;
        QTest::newRow("threshold not a number") << ""
                                                << "5e3" << false << false;
    }
    void eventSettingsBoxes() {
        QFETCH(QString, density);
        QFETCH(QString, delivery);
        QFETCH(bool, quiet);
        QFETCH(bool, accepted);
        EventSettingsTexts in{density.toStdString(), delivery.toStdString(), "", quiet, 1320, 360};
        TankEventSettings out;
        out.adr = 4;
        out.lossLitres = 77; // an empty box unsets what was stored
        const std::string refused = ReadEventSettings(in, 20000, out);
        QCOMPARE(refused.empty(), accepted);
        if (!accepted)
            return;
        QCOMPARE(out.adr, 4);
        QCOMPARE(out.density.has_value(), !density.isEmpty());
        QVERIFY(!out.lossLitres);
        QCOMPARE(out.quietFrom.has_value(), quiet);
        if (quiet)
            QCOMPARE(*out.quietTo, int64_t(360));
    }
};

QTEST_MAIN(AlarmTilesTest)
#include "test_alarm_tiles.moc"
