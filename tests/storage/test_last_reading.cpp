// The newest stored reading of each active tank, shown on its tile from the start.
#include "LastReading.h"
#include "SQLiteDatabase.h"
#include "Statements.h"
#include "TItemNode.h"

#include <QTemporaryDir>
#include <QtTest>

class TestLastReading : public QObject {
    Q_OBJECT
private slots:
    void newestRowOfEachActiveTank();
};

void TestLastReading::newestRowOfEachActiveTank() {
    QTemporaryDir dir;
    TSQLiteDatabase db(dir.filePath("data.db").toStdString());
    db.ExecSQL(Sql::kCreateData);
    db.ExecSQL(Sql::InsertData(45000.50, 1, 900, 3000, 12));
    db.ExecSQL(Sql::InsertData(45000.75, 1, 800, 2900, -3)); // the newest of tank 1
    db.ExecSQL(Sql::InsertData(45000.25, 1, 700, 2800, 10));
    db.ExecSQL("INSERT INTO DATA VALUES (9e999, 1, 1, 1, 1)"); // a damaged row: infinite time
    db.ExecSQL(Sql::InsertData(45000.60, 2, 500, 2000, 5));    // tank 2 is inactive
    TItemNode t1, t2, t3;
    t1.id = 1;
    t1.Act = true;
    t2.id = 2;
    t3.id = 3;
    t3.Act = true; // nothing stored
    LoadLastReadings(db, {&t1, &t2, &t3}, 2.0 / 24);
    QCOMPARE(t1.FL, 800);
    QCOMPARE(t1.FLC, uint16_t(2900));
    QCOMPARE(t1.Temp, int8_t(-3));
    QCOMPARE(t1.LDTime, 45000.75 + 2.0 / 24); // local time
    QCOMPARE(t2.FL, 0);
    QCOMPARE(t2.LDTime, 0.0);
    QCOMPARE(t3.LDTime, 0.0);
}

QTEST_GUILESS_MAIN(TestLastReading)
#include "test_last_reading.moc"
