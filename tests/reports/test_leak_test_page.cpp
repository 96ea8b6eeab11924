// The "Leak test" page headless, its clock driven by hand: it reads nothing while hidden,
// shows each day of the period once shown (a stored result as stored, the others tested on
// its own thread), a day not over yet is tested up to now and later days are left out, and
// "Export CSV" writes what is shown.
#include "BoundSql.h"
#include "Clock.h"
#include "LeakTestPage.h"
#include "ReportsTestDb.h"
#include "Schema.h"
#include "TankPhysics.h"
#include "TextFormats.h"
#include "Transaction.h"

#include <QFile>
#include <QLabel>
#include <QTableWidget>
#include <QtTest>

namespace {

const double kDay0 = TextFormats::Join(2026, 3, 2);

QString Column(const QTableWidget* t, int c) {
    QStringList out;
    for (int r = 0; r < t->rowCount(); ++r)
        out << t->item(r, c)->text();
    return out.join(' ');
}

} // namespace

class LeakTestPageTest : public QObject {
    Q_OBJECT
private slots:
    void showsEachDayOnceShownAndExportsIt() {
        ReportsTestDb t;
        TSQLiteDatabase& db = *t.db;
        db.ExecSQL("UPDATE TANKS SET act = 1, capacity = 20000, ftype = 'Diesel' WHERE id = 1");
        QVERIFY(MigrateSchema(db).eventsUsable);
        PhysicsPlan p;
        p.utcFrom = kDay0;
        p.days = 8.5;
        p.tank.leakPerHour = 3;
        InWriteTransaction(db, [&] {
            SynthesizePhysics(p, [&](const DataRow& r) {
                Exec(db,
                     "INSERT INTO DATA (tstamp, adr, flevel, fcode, temp) VALUES (?, 1, ?, 0, ?)",
                     {r.tstamp, int64_t(r.flevel), int64_t(r.temp)});
            });
            StoredLeakTest kept;
            kept.adr = 1;
            kept.day = kDay0 + 6;
            kept.verdict = "inconclusive";
            kept.threshold = 0.38;
            StoreLeakTests(db, {kept});
        });

        ManualClock clock(kDay0 + 8.5);
        LeakTestPage page(db.FileName(), clock);
        page.Generate(1, kDay0 + 5, kDay0 + 11);
        QVERIFY(!page.Busy()); // hidden: nothing is read
        QCOMPARE(page.Table()->rowCount(), 0);
        page.show();
        QVERIFY(page.Busy());
        page.WaitForRead();
        QCOMPARE(Column(page.Table(), 0), QString("07/03/2026 08/03/2026 09/03/2026 10/03/2026"));
        QCOMPARE(Column(page.Table(), 1), QString("fail inconclusive fail fail"));
        QCOMPARE(page.Table()->item(1, 2)->text(), QString()); // no periods: no rate
        QCOMPARE(page.Table()->item(0, 4)->text(), QString("0.380"));

        const QString csv = QDir(t.dir.path()).filePath("leak.csv");
        page.SetSaveDialog([&](QWidget*, const QString&, const QString&) { return csv; });
        page.ExportClick();
        QFile f(csv);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        QCOMPARE(text.count("\r\n"), 5);
        QVERIFY(text.contains("\r\n08/03/2026,1,Tank 1,inconclusive,,,0.380,0,"));
        QVERIFY(page.Status()->text().startsWith("Saved to "));

        // A new period while one is read: the old reading is dropped, never shown.
        page.Generate(1, kDay0, kDay0 + 1);
        page.Generate(1, kDay0 + 7, kDay0 + 7);
        page.WaitForRead();
        QCOMPARE(Column(page.Table(), 0), QString("09/03/2026"));
    }
};

QTEST_MAIN(LeakTestPageTest)
#include "test_leak_test_page.moc"
