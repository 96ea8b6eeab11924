// The Events tab over a real EVENTS table: order, filters, texts, and the way to Reports.
#include "Clock.h"
#include "EventsTab.h"
#include "OperatorMessages.h"
#include "SQLiteDatabase.h"

#include <QComboBox>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr double kOffset = 2.0 / 24; // local time two hours ahead of UTC

void CreateEvents(TSQLiteDatabase& db) {
    db.ExecSQL("CREATE TABLE EVENTS (id INTEGER PRIMARY KEY AUTOINCREMENT, adr INTEGER, kind "
               "TEXT, tstart REAL, tend REAL, vbefore INTEGER, vafter INTEGER, nbefore INTEGER, "
               "nafter INTEGER, tbefore INTEGER, tafter INTEGER, acked REAL, memo TEXT)");
    db.ExecSQL("INSERT INTO EVENTS (id, adr, kind, tstart, tend, vbefore, vafter, nbefore, nafter, "
               "acked) VALUES "
               "(1, 1, 'delivery', 46000.40, 46000.4138888889, 5000, 10000, 4990, 9985, NULL),"
               "(2, 2, 'loss', 46000.50, 46000.51, 8000, 7940, NULL, NULL, NULL),"
               "(3, 1, 'low', 46000.60, NULL, 900, 880, 897, 877, NULL),"
               "(4, 1, 'loss', 46000.45, 46000.46, 10000, 9900, 9985, 9885, 46000.47),"
               "(5, 3, 'silent', 46000.70, NULL, 4000, NULL, NULL, NULL, 46000.71)");
}

std::string Name(int adr) {
    return adr <= 3 ? "Tank " + std::to_string(adr) : std::string();
}

QList<qint64> Ids(const EventsTab& tab) {
    QList<qint64> ids;
    for (const EventRow& r : tab.Shown())
        ids << r.id;
    return ids;
}

} // namespace

class EventsTabTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void filterByTankAndKind_data() {
        QTest::addColumn<int>("adr");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QList<qint64>>("ids");
        QTest::newRow("all, newest first") << 0 << "" << QList<qint64>{5, 3, 2, 4, 1};
        QTest::newRow("one tank") << 1 << "" << QList<qint64>{3, 4, 1};
        QTest::newRow("one kind") << 0 << "loss" << QList<qint64>{2, 4};
        QTest::newRow("tank and kind") << 1 << "loss" << QList<qint64>{4};
        QTest::newRow("nothing of that kind") << 2 << "delivery" << QList<qint64>{};
    }
    void filterByTankAndKind() {
        QFETCH(int, adr);
        QFETCH(QString, kind);
        QFETCH(QList<qint64>, ids);
        TSQLiteDatabase db(dir.filePath(QTest::currentDataTag()).toStdString());
        CreateEvents(db);
        ManualClock clock(46001 + kOffset, kOffset);
        RecordingMessages messages;
        EventsTab tab(db, clock, messages, Name);
        tab.Reload();
        QCOMPARE(tab.TankFilter()->count(), 4); // "All tanks" and the three named ones
        // Chosen as the operator does, in the drop-down lists.
        tab.TankFilter()->setCurrentIndex(tab.TankFilter()->findData(adr));
        tab.KindFilter()->setCurrentIndex(tab.KindFilter()->findData(kind));
        QCOMPARE(Ids(tab), ids);
        QCOMPARE(tab.Table()->rowCount(), ids.size());
        tab.Reload(); // a new event arrives: the filter stays
        QCOMPARE(Ids(tab), ids);
        QVERIFY(messages.shown.empty());
    }

    void rowsSayWhatHappened() {
        TSQLiteDatabase db(dir.filePath("texts.db").toStdString());
        CreateEvents(db);
        ManualClock clock(46000.75 + kOffset, kOffset);
        RecordingMessages messages;
        EventsTab tab(db, clock, messages, Name);
        tab.Reload();
        const auto row = [&](int r) {
            QStringList cells;
            for (int c = 0; c < tab.Table()->columnCount(); ++c)
                cells << tab.Table()->item(r, c)->text();
            return cells;
        };
        QCOMPARE(row(4), QStringList({"09/12/2025 11:36", "Tank 1", "Delivery", "5000", "10000",
                                      "+5000", "4990", "9985", "+4995", "0:20", "Done"}));
        QCOMPARE(row(2), QStringList({"09/12/2025 14:00", "Tank 2", "Loss", "8000", "7940", "-60",
                                      "", "", "", "0:14", "Cleared"}));
        QCOMPARE(row(1).last(), QString("Active"));       // low, not acknowledged
        QCOMPARE(row(1).at(9), QString("3:36"));          // still going on at 18:00 UTC
        QCOMPARE(row(0).last(), QString("Acknowledged")); // silent, acknowledged
        QCOMPARE(row(0).at(5), QString());                // no reading after it yet
    }

    void doubleClickOpensReportsAroundTheEvent() {
        TSQLiteDatabase db(dir.filePath("open.db").toStdString());
        CreateEvents(db);
        ManualClock clock(46001 + kOffset, kOffset);
        RecordingMessages messages;
        EventsTab tab(db, clock, messages, Name);
        int openedAdr = 0;
        ReportPeriod opened;
        tab.SetReportOpener([&](int adr, ReportPeriod p) {
            openedAdr = adr;
            opened = p;
        });
        tab.Reload();
        tab.SetFilter(2, "");
        emit tab.Table()->cellDoubleClicked(0, 3);
        QCOMPARE(openedAdr, 2);
        QCOMPARE(opened.start, 46000.50 - 1.0 / 24 + kOffset);
        QCOMPARE(opened.stop, 46000.51 + 1.0 / 24 + kOffset);
    }

    // Filled while hidden, then shown at the width the tab has in the window's start size,
    // with enough rows for a vertical scroll bar: every column is in view.
    void manyRowsFitTheStartWidth() {
        TSQLiteDatabase db(dir.filePath("many.db").toStdString());
        CreateEvents(db);
        for (int i = 0; i < 60; ++i)
            db.ExecSQL("INSERT INTO EVENTS (adr, kind, tstart, tend, vbefore, vafter, nbefore, "
                       "nafter) VALUES (3, 'delivery', " +
                       std::to_string(45990 + i * 0.1) + ", " + std::to_string(45990.05 + i * 0.1) +
                       ", 12000, 19500, 11950, 19420)");
        ManualClock clock(46001 + kOffset, kOffset);
        RecordingMessages messages;
        EventsTab tab(db, clock, messages, [](int adr) {
            return adr <= 3 ? "Diesel north yard " + std::to_string(adr) : std::string();
        });
        tab.Reload();
        tab.resize(690, 420);
        tab.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tab));
        QCoreApplication::processEvents();
        QVERIFY(tab.Table()->verticalScrollBar()->isVisible());
        QCOMPARE(tab.Table()->horizontalScrollBar()->maximum(), 0);
        QVERIFY(tab.Table()->columnWidth(1) >= 32); // the name is cut, not gone
        QVERIFY(tab.Table()->horizontalHeader()->stretchLastSection());
        // Narrower still, as with six-digit litres: the state is cut too, never the table.
        tab.resize(660, 420);
        QCoreApplication::processEvents();
        QCOMPARE(tab.Table()->horizontalScrollBar()->maximum(), 0);
        tab.resize(900, 420); // room again: the last column fills it
        QCoreApplication::processEvents();
        QVERIFY(tab.Table()->horizontalHeader()->stretchLastSection());
    }

    void fileWithoutEventsShowsNone() {
        TSQLiteDatabase db(dir.filePath("none.db").toStdString());
        ManualClock clock;
        RecordingMessages messages;
        EventsTab tab(db, clock, messages, Name);
        tab.Reload();
        QCOMPARE(tab.Table()->rowCount(), 0);
        QVERIFY(messages.shown.empty());
    }
};

QTEST_MAIN(EventsTabTest)
#include "test_events_tab.moc"
