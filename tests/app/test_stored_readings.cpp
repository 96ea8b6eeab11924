// The stored readings the station reads after its window is up: what is read (each tank's
// newest reading, its last readings for the alarms), and that alarms derived from readings
// handed in later are those derived at once, for each kind of open alarm row.
#include "Clock.h"
#include "Database.h"
#include "EventTables.h"
#include "FuelEvents.h"
#include "OperatorMessages.h"
#include "SQLiteDatabase.h"
#include "Statements.h"
#include "StoredReadingsLoad.h"
#include "TankAlarms.h"
#include "TankList.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr double kDay = 46000;

void AddData(TSQLiteDatabase& db, double utc, int adr, int litres, int code) {
    db.ExecSQL("INSERT INTO DATA (tstamp, adr, flevel, fcode, temp) VALUES (" +
               std::to_string(utc) + ", " + std::to_string(adr) + ", " + std::to_string(litres) +
               ", " + std::to_string(code) + ", 15)");
}

TItemNode& AddTank(PlainTankList& tanks, int id) {
    TItemNode& n = tanks.Add();
    n.id = static_cast<uint8_t>(id);
    n.Name = "Tank " + std::to_string(id);
    n.Act = true;
    n.Capacity = 20000;
    n.LowFuel = 1000;
    return n;
}

std::string Shown(const FuelEvents& events, int adr) {
    const TankAlarmView v = events.AlarmView(adr);
    return v.shown ? AlarmWord(*v.shown) : "";
}

} // namespace

class TestStoredReadings : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void eachTanksNewestAndLastReadings() {
        const std::string file = dir.filePath("read.db").toStdString();
        {
            TSQLiteDatabase db(file);
            db.ExecSQL(Sql::kCreateData);
            AddData(db, kDay + 0.1, 1, 500, 50);
            AddData(db, kDay + 0.2, 2, 700, 70);
            AddData(db, kDay + 0.3, 1, 600, 60);
            AddData(db, kDay + 0.4, 1, 650, 65);
        }
        const StoredReadings r =
            StoredReadingsLoad::Read(file, {{1, true}, {2, false}, {3, true}}, 2);
        QVERIFY(r.error.empty());
        QCOMPARE(r.tanks.size(), std::size_t(3));
        QVERIFY(r.tanks[0].newest);
        QCOMPARE(r.tanks[0].newest->litres, 650);
        QCOMPARE(r.tanks[0].newest->code, uint16_t(65));
        QCOMPARE(r.tanks[0].newest->utc, kDay + 0.4);
        QCOMPARE(r.tanks[0].recent.size(), std::size_t(2)); // oldest first
        QCOMPARE(r.tanks[0].recent[0].flevel, 600);
        QCOMPARE(r.tanks[0].recent[1].flevel, 650);
        QVERIFY(!r.tanks[1].newest); // inactive: no tile reading, but its alarms' readings
        QCOMPARE(r.tanks[1].recent.size(), std::size_t(1));
        QVERIFY(!r.tanks[2].newest);
        QVERIFY(r.tanks[2].recent.empty());

        // The same, read on a thread of its own and handed to the receiver's thread.
        QObject receiver;
        std::optional<StoredReadings> got;
        StoredReadingsLoad load(file, {{1, true}}, 2, &receiver,
                                [&](const StoredReadings& s) { got = s; });
        QTRY_VERIFY(got.has_value());
        QCOMPARE(got->tanks.at(0).newest->litres, 650);

        const StoredReadings missing =
            StoredReadingsLoad::Read(dir.filePath("none.db").toStdString(), {{1, true}}, 2);
        QVERIFY(!missing.error.empty()); // read-only: never creates the file
        QVERIFY(!QFile::exists(dir.filePath("none.db")));
    }

    // `open`: the open alarm row of tank 1 ("" none); `litres`: its two last readings (the
    // low limit is 1000).
    void alarmsFromReadingsHandedInLater_data() {
        QTest::addColumn<QString>("open");
        QTest::addColumn<int>("litres");
        QTest::addColumn<QString>("shown");
        QTest::newRow("low, still low") << "low" << 800 << "LOW";
        QTest::newRow("low, filled since") << "low" << 5000 << "";
        QTest::newRow("no row, two low readings") << "" << 800 << "LOW";
        QTest::newRow("no signal since the readings") << "silent" << 5000 << "NO SIGNAL";
    }
    void alarmsFromReadingsHandedInLater() {
        QFETCH(QString, open);
        QFETCH(int, litres);
        QFETCH(QString, shown);
        std::string words[2];
        for (int later = 0; later < 2; ++later) {
            const std::string file =
                dir.filePath(QString("alarms-%1-%2.db").arg(QTest::currentDataTag()).arg(later))
                    .toStdString();
            TSQLiteDatabase db(file);
            RecordingMessages messages;
            QVERIFY(CreateDatabase(db, "BM", messages));
            QVERIFY(MigrateSchema(db).eventsUsable);
            AddData(db, kDay + 0.1, 1, litres, 1);
            AddData(db, kDay + 0.2, 1, litres, 1);
            if (!open.isEmpty()) {
                EventRow row;
                row.adr = 1;
                row.kind = open.toStdString();
                row.tstart = kDay + 0.3;
                InsertAlarmEvent(db, row);
            }
            PlainTankList tanks;
            AddTank(tanks, 1);
            ManualClock clock(kDay + 0.5);
            FuelEvents events({db, tanks, clock, {}});
            QVERIFY(events.Start(!later));
            if (later)
                events.TakeStoredReadings({{1, LastDataRows(db, 1, TankAlarms::kReadingsToRaise)}});
            words[later] = Shown(events, 1);
        }
        QCOMPARE(QString::fromStdString(words[0]), shown);
        QCOMPARE(QString::fromStdString(words[1]), shown);
    }
};

QTEST_MAIN(TestStoredReadings)
#include "test_stored_readings.moc"
