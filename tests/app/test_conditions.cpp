// What the operator sees of the conditions the line and storage report: the rule of one
// log line and one box per condition (a table of worked examples), and polling and storing
// going on through the real link, on a fake port and manual time, while a box is open.
#include "ConditionDesk.h"
#include "ConditionLog.h"
#include "QtOperatorMessages.h"
#include "sensors/SensorFixture.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

namespace {

// Boxes that stay open until the test closes them.
class HeldBoxes : public RecordingMessages {
public:
    void OpenMessage(const std::string& text, std::function<void()> closed) override {
        shown.push_back(text);
        open.push_back(std::move(closed));
    }
    void CloseAll() {
        auto closing = std::move(open);
        open.clear();
        for (auto& c : closing)
            c();
    }
    std::vector<std::function<void()>> open;
};

} // namespace

class TestConditions : public QObject {
    Q_OBJECT
private slots:
    // `reports`: "key:minute" in order, or "close:key" for the operator closing its box; a
    // key in capitals is a condition with a box. `expected`, per report: L a log line, B a
    // box, - counted only.
    void whatTheOperatorSees_data() {
        QTest::addColumn<QString>("reports");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("lastCount");
        QTest::newRow("once") << "A:0"
                              << "LB" << 1;
        QTest::newRow("the same failure every minute") << "A:0 A:1 A:2 A:59"
                                                       << "LB - - -" << 4;
        QTest::newRow("repeat after the box was closed") << "A:0 close:A A:5"
                                                         << "LB -" << 2;
        QTest::newRow("back after an hour of quiet") << "A:0 close:A A:61"
                                                     << "LB LB" << 1;
        QTest::newRow("back while its box is still open") << "A:0 A:70"
                                                          << "LB L" << 1;
        QTest::newRow("an hour of repeats never goes quiet") << "A:0 A:50 A:100 A:150"
                                                             << "LB - - -" << 4;
        QTest::newRow("two conditions, each its own") << "A:0 B:1 A:2 B:3"
                                                      << "LB LB - -" << 2;
        QTest::newRow("log-only conditions never box") << "a:0 a:1 a:90"
                                                       << "L - L" << 1;
    }
    void whatTheOperatorSees() {
        QFETCH(QString, reports);
        QFETCH(QString, expected);
        QFETCH(int, lastCount);
        ConditionLog log;
        QStringList seen;
        int count = 0;
        for (const QString& r : reports.split(' ')) {
            const QStringList parts = r.split(':');
            if (parts[0] == "close") {
                log.BoxClosed(parts[1].toStdString());
                continue;
            }
            const bool box = parts[0] == parts[0].toUpper();
            Condition c{parts[0].toStdString(), "text of " + parts[0].toStdString(), box};
            const ConditionLog::Outcome o = log.Take(c, 41248.5 + parts[1].toInt() / 1440.0);
            seen << (o.log || o.box ? QString(o.log ? "L" : "") + (o.box ? "B" : "") : "-");
            count = o.count;
        }
        QCOMPARE(seen.join(' '), expected);
        QCOMPARE(count, lastCount);
    }

    void textsOfTheLogAndTheStatusBar() {
        const Condition c{"k", "Error [5]: locked.\r\"INSERT INTO DATA\": database is locked"};
        QCOMPARE(ConditionLog::LogLine(c, 41248.5),
                 std::string("05/12/2012 12:00:00   Error [5]: locked. \"INSERT INTO DATA\": "
                             "database is locked\r\n"));
        ConditionLog::Outcome o;
        o.count = 3;
        o.since = 41248.5 + 1.0 / 24;
        QCOMPARE(ConditionLog::RepeatText(c, o),
                 std::string("Error [5]: locked. \"INSERT INTO DATA\": database is locked "
                             "(3 times since 13:00:00)"));
    }

    // Tank 2's rows fail every cycle. The box about it stays open for ten minutes: tank 1's
    // readings are polled and stored all along, and the repeats are counted, not boxed.
    void boxOpenPollingAndStoringGoOn() {
        SensorFixture f;
        f.db->ExecSQL("CREATE TRIGGER refuse BEFORE INSERT ON DATA WHEN NEW.adr = 2 BEGIN "
                      "SELECT RAISE(ABORT, 'disk full'); END");
        f.AddTank(1, true);
        f.AddTank(2, true);
        f.AnswerRequests();
        HeldBoxes boxes;
        std::vector<std::string> log;
        QString status;
        int portRequests = 0;
        ConditionDesk desk(boxes, {[&](const std::string& l) { log.push_back(l); },
                                   [&](const QString& s) { status = s; }, [&] { ++portRequests; },
                                   [&] { return f.clock.LocalNow(); }});
        f.messages.passOn = &desk;
        f.link->DeviceConnect();
        f.line.AdvanceTo(5000);
        QCOMPARE(boxes.open.size(), std::size_t(0)); // not from inside the reply's handler
        QCoreApplication::processEvents();
        QCOMPARE(boxes.open.size(), std::size_t(1));
        QVERIFY(boxes.shown[0].find("disk full") != std::string::npos);
        const int storedBefore = f.Rows("DATA", "adr = 1");
        QCOMPARE(storedBefore, 1);

        for (int minute = 1; minute <= 10; ++minute) {
            f.line.AdvanceTo(5000 + minute * 61000);
            QCoreApplication::processEvents();
        }
        // A reading of tank 1 stored every cycle, the box open all along; tank 2 failed as
        // often, each time counted.
        const int stored = f.Rows("DATA", "adr = 1");
        QVERIFY2(stored >= storedBefore + 5, std::to_string(stored).c_str());
        QCOMPARE(boxes.open.size(), std::size_t(1));
        QCOMPARE(boxes.shown.size(), std::size_t(1));
        QCOMPARE(log.size(), std::size_t(1));
        QVERIFY2(status.contains(QString("(%1 times since 12:00:").arg(stored)),
                 qPrintable(status));

        boxes.CloseAll();
        f.line.Advance(120000);
        QCoreApplication::processEvents();
        QCOMPARE(boxes.shown.size(), std::size_t(1)); // within the hour: counted only
        QVERIFY(f.Rows("DATA", "adr = 1") > stored);
        QCOMPARE(portRequests, 0);
    }

    // The station's own box opens without a loop of its own: the call returns with the box
    // on screen, and "OK" runs what follows it.
    void stationBoxReturnsAtOnce() {
        QtOperatorMessages messages;
        bool closed = false;
        messages.OpenMessage("ComPort absent (COM9). Please select another port.",
                             [&] { closed = true; });
        QMessageBox* box = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "conditionBox" && w->isVisible())
                box = qobject_cast<QMessageBox*>(w);
        QVERIFY(box);
        QCOMPARE(box->text(), QString("ComPort absent (COM9). Please select another port."));
        QVERIFY(!closed);
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        QVERIFY(closed);
    }
};

QTEST_MAIN(TestConditions)
#include "test_conditions.moc"
