// Alarm states of one tank on worked examples: a script of readings (litres), silent
// cycles, losses and acknowledgements against the transitions it must give. Limits: low
// 1000 l, high 9000 l, capacity 10000 l (so 100 l back inside clears). How transitions
// reach EVENTS and the Errors log is test_fuel_events.
#include "TankAlarms.h"

#include <QtTest>

namespace {

const AlarmLimits kLimits{1000, 9000, 10000};

// "r950" a reading, "s" a silent cycle, "l" a loss found, "o" the loss over, "f" a day's leak
// test failed, "p" one passed, "v" a reconciliation alarm found, "a" acknowledge.
// Returns the transitions as "LOW+" raised, "LOW~" acknowledged, "LOW-" cleared.
QString Play(TankAlarms& alarms, const QString& script) {
    QStringList out;
    double t = 46000;
    for (const QString& step : script.split(' ', Qt::SkipEmptyParts)) {
        t += 1.0 / 1440;
        std::vector<AlarmTransition> ts;
        switch (step[0].toLatin1()) {
        case 'r':
            ts = alarms.TakeReading(t, step.mid(1).toInt(), kLimits);
            break;
        case 's':
            ts = alarms.TakeSilence(t);
            break;
        case 'l':
            ts = alarms.LossFound(t);
            break;
        case 'o':
            ts = alarms.LossOver(t);
            break;
        case 'f':
            ts = alarms.LeakFailed(t);
            break;
        case 'p':
            ts = alarms.LeakPassed(t);
            break;
        case 'v':
            ts = alarms.ReconciliationFound(t);
            break;
        case 'a':
            ts = alarms.Acknowledge(t);
            break;
        }
        for (const AlarmTransition& x : ts)
            out << QString(AlarmWord(x.kind)) + (x.to == AlarmState::Unacknowledged ? "+"
                                                 : x.to == AlarmState::Acknowledged ? "~"
                                                                                    : "-");
    }
    return out.join(' ');
}

} // namespace

class TankAlarmsTest : public QObject {
    Q_OBJECT
private slots:
    void workedExamples_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("transitions");
        QTest::addColumn<bool>("beeping"); // an alarm is left unacknowledged
        QTest::newRow("a level hovering at the low limit gives one alarm")
            << "r1005 r1000 r995 r1002 r998 r1000 r1050 r1099 r995 r1100"
            << "LOW+" << true;
        QTest::newRow("one reading at the limit at a time starts nothing")
            << "r1000 r1200 r1000 r1200"
            << "" << false;
        QTest::newRow("it clears 1 % of capacity back inside") << "r900 r900 r1100 r1101"
                                                               << "LOW+ LOW-" << false;
        QTest::newRow("acknowledging stops the beep, clearing clears the tile")
            << "r900 r900 a r950 r1200"
            << "LOW+ LOW~ LOW-" << false;
        QTest::newRow("high fuel") << "r9000 r9100 r8901 r8899"
                                   << "HIGH+ HIGH-" << false;
        QTest::newRow("three silent cycles, then a reply") << "s s s s r5000"
                                                           << "NO SIGNAL+ NO SIGNAL-" << false;
        QTest::newRow("a reply between silent cycles starts the count again") << "s s r5000 s s"
                                                                              << "" << false;
        QTest::newRow("a loss that is over stays until acknowledged") << "l o"
                                                                      << "LOSS+" << true;
        QTest::newRow("acknowledging a loss that is over clears it")
            << "l o a"
            << "LOSS+ LOSS~ LOSS-" << false;
        QTest::newRow("an acknowledged loss clears when it is over")
            << "l a o"
            << "LOSS+ LOSS~ LOSS-" << false;
        QTest::newRow("a new loss after acknowledging raises again") << "l a l"
                                                                     << "LOSS+ LOSS~ LOSS+" << true;
        QTest::newRow("a leak failing day after day is one alarm") << "f f f"
                                                                   << "LEAK+" << true;
        QTest::newRow("an acknowledged leak stays while the test fails, clears on a pass")
            << "f a f f p"
            << "LEAK+ LEAK~ LEAK-" << false;
        QTest::newRow("a passing test leaves an unacknowledged leak to be seen") << "f p"
                                                                                 << "LEAK+" << true;
        QTest::newRow("acknowledging a leak whose test passed since clears it")
            << "f p a"
            << "LEAK+ LEAK~ LEAK-" << false;
        QTest::newRow("a fail after the leak cleared is a new alarm")
            << "f a p f"
            << "LEAK+ LEAK~ LEAK- LEAK+" << true;
        QTest::newRow("a pass without a leak changes nothing") << "p p"
                                                               << "" << false;
        QTest::newRow("a reconciliation alarm is past news: acknowledged, it clears")
            << "v a"
            << "VARIANCE+ VARIANCE~ VARIANCE-" << false;
        QTest::newRow("a later reconciliation alarm raises again")
            << "v a v"
            << "VARIANCE+ VARIANCE~ VARIANCE- VARIANCE+" << true;
        QTest::newRow("acknowledge takes a reconciliation alarm with a level alarm")
            << "v r900 r900 a"
            << "VARIANCE+ LOW+ LOW~ VARIANCE~ VARIANCE-" << false;
        QTest::newRow("acknowledge takes every alarm of the tank")
            << "r900 r900 s s s l a"
            << "LOW+ NO SIGNAL+ LOSS+ LOW~ NO SIGNAL~ LOSS~" << false;
    }
    void workedExamples() {
        QFETCH(QString, script);
        QFETCH(QString, transitions);
        QFETCH(bool, beeping);
        TankAlarms alarms;
        QCOMPARE(Play(alarms, script), transitions);
        QCOMPARE(alarms.AnyUnacknowledged(), beeping);
    }

    void restoredAlarmIsNotRaisedAgain() {
        TankAlarms alarms;
        alarms.Restore(AlarmKind::Low, AlarmState::Acknowledged);
        QCOMPARE(Play(alarms, "r900 r900"), QString());
        QCOMPARE(Play(alarms, "r1200"), QString("LOW-"));
    }

    void theTileShowsWhatNeedsAttentionFirst() {
        TankAlarms alarms;
        Play(alarms, "r900 r900 a s s s");
        QCOMPARE(alarms.Shown(), std::optional<AlarmKind>(AlarmKind::Silent));
        Play(alarms, "a f");
        QCOMPARE(alarms.Shown(), std::optional<AlarmKind>(AlarmKind::Leak));
        Play(alarms, "a l");
        QCOMPARE(alarms.Shown(), std::optional<AlarmKind>(AlarmKind::Loss));
        Play(alarms, "a v");
        QCOMPARE(alarms.Shown(), std::optional<AlarmKind>(AlarmKind::Reconciliation));
    }

    void aRestoredLeakKeepsItsStateAndItsCause() {
        TankAlarms passed;
        passed.Restore(AlarmKind::Leak, AlarmState::Unacknowledged, true);
        QCOMPARE(Play(passed, "a"), QString("LEAK~ LEAK-"));
        TankAlarms failing;
        failing.Restore(AlarmKind::Leak, AlarmState::Acknowledged, false);
        QCOMPARE(Play(failing, "f a"), QString());
        QCOMPARE(Play(failing, "p"), QString("LEAK-"));
    }
};

QTEST_GUILESS_MAIN(TankAlarmsTest)
#include "test_tank_alarms.moc"
