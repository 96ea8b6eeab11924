// The dip-book dialog and the Reconciliation page on a real data.db, headless: a grid with a
// bad row saves nothing and says which row; a good grid is what the page then reconciles,
// and an empty figure stays a period without meter data.
#include "ReconEntryDialog.h"
#include "ReconciliationPage.h"

#include "Clock.h"
#include "EventTables.h"
#include "SQLiteDatabase.h"
#include "Statements.h"
#include "TextFormats.h"

#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const double kDec1 = TextFormats::Join(2026, 12, 1);

void Set(QTableWidget* t, int row, int col, const QString& text) {
    t->setItem(row, col, new QTableWidgetItem(text));
}

} // namespace

class TestReconEntry : public QObject {
    Q_OBJECT
private slots:
    void gridRowsAreCheckedBeforeAnythingIsSaved_data() {
        QTest::addColumn<QString>("day2");    // the second day's figure
        QTest::addColumn<QString>("note");    // "when|litres|°C"
        QTest::addColumn<QString>("refused"); // part of the reason, "" when saved
        QTest::newRow("good, decimal comma") << "1987,5"
                                             << "02/12/2026 10:15|15000|12"
                                             << "";
        QTest::newRow("a word for litres") << "lots"
                                           << ""
                                           << "is not a number of litres";
        QTest::newRow("note dated outside the period") << "1987"
                                                       << "09/12/2026 10:15|15000|"
                                                       << "outside the period";
        QTest::newRow("note without litres") << "1987"
                                             << "02/12/2026 10:15||"
                                             << "no litres";
        QTest::newRow("note with a bad time") << "1987"
                                              << "02/12/2026 25:15|900|"
                                              << "not dd/MM";
    }
    void gridRowsAreCheckedBeforeAnythingIsSaved() {
        QFETCH(QString, day2);
        QFETCH(QString, note);
        QFETCH(QString, refused);
        QTemporaryDir dir;
        const std::string file = dir.filePath("data.db").toStdString();
        {
            TSQLiteDatabase db(file);
            db.ExecSQL(Sql::kCreateTanks);
            db.ExecSQL(Sql::kCreateData);
            QVERIFY(MigrateSchema(db).eventsUsable);
        }
        const auto bounds = BalanceBoundaries(kDec1, kDec1 + 2);
        ReconEntryDialog d(file, 1, bounds, {1}, {});
        QCOMPARE(d.MeterGrid()->rowCount(), 3);
        Set(d.MeterGrid(), 0, 1, "2013");
        Set(d.MeterGrid(), 1, 1, day2);
        if (!note.isEmpty())
            for (int c = 0; c < 3; ++c)
                Set(d.NoteGrid(), 0, c, note.section('|', c, c));
        const bool saved = d.SaveClick();
        TSQLiteDatabase db(file);
        const auto meters = LoadMeterEntries(db, 1, kDec1, kDec1 + 3);
        if (!refused.isEmpty()) {
            QVERIFY(!saved);
            QVERIFY2(d.LastProblems().contains(refused), qPrintable(d.LastProblems()));
            QVERIFY(meters.empty());
            QVERIFY(LoadDeliveryNotes(db, 1, kDec1, kDec1 + 3).empty());
            return;
        }
        QVERIFY2(saved, qPrintable(d.LastProblems()));
        QCOMPARE(int(meters.size()), 2); // the third day was left empty: no figure, not 0 l
        QCOMPARE(meters[1].litres, 1987.5);
        const auto notes = LoadDeliveryNotes(db, 1, kDec1, kDec1 + 3);
        QCOMPARE(int(notes.size()), 1);
        QCOMPARE(notes[0].time, kDec1 + 1 + (10 * 60 + 15) / 1440.0);

        // the page shows what was saved: the third day without meter data
        ManualClock clock(kDec1 + 5);
        ReconciliationPage page(file, clock);
        db.ExecSQL(Sql::SeedTank(1));
        page.Generate(1, bounds, 0);
        QVERIFY(page.Shown().has_value());
        QCOMPARE(page.Table()->rowCount(), 3);
        const int status = page.Table()->columnCount() - 1;
        QCOMPARE(page.Table()->item(2, status)->text(), QString("no meter data"));
        QCOMPARE(page.Matches()->rowCount(), 1); // the note, with no measured delivery
        QCOMPARE(page.Matches()->item(0, page.Matches()->columnCount() - 1)->text(),
                 QString("not measured"));
    }
};

QTEST_MAIN(TestReconEntry)
#include "test_recon_entry.moc"
