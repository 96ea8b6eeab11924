// The inventory under the Reports tab's chart, headless, on a real data.db of two days with
// a delivery and a theft: "Generate" reads in the background and fills the balance, the
// consumption chart and, on its page, the depot summary; "Cancel" drops what is being
// read; the CSV buttons write what is shown. The figures themselves are test_balance_view.
#include "Clock.h"
#include "Csv.h"
#include "InventoryPane.h"
#include "LeakTestPage.h"
#include "OperatorMessages.h"
#include "ReportsTab.h"
#include "SQLiteDatabase.h"
#include "Statements.h"
#include "TItemNode.h"
#include "TextFormats.h"
#include "TwoDayHistory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

#include <qcustomplot.h>

namespace {

const double kDay0 = TextFormats::Join(2026, 3, 2); // local
constexpr double kOffset = 2.0 / 24;
const ReportPeriod kTwoDays{kDay0, kDay0 + 2 - 1.0 / 86400000};

// By the full heading, which the short one on screen keeps as its tooltip.
int Column(const QTableWidget& g, const QString& header) {
    for (int c = 0; c < g.columnCount(); ++c)
        if (g.horizontalHeaderItem(c)->toolTip() == header)
            return c;
    return -1;
}

double Number(const QTableWidget& g, int row, const QString& header) {
    const int c = Column(g, header);
    return c < 0 || !g.item(row, c) ? -1 : g.item(row, c)->text().toDouble();
}

} // namespace

class InventoryPaneTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::string db_;

    struct Station {
        ManualClock clock{kDay0 + 10, kOffset};
        RecordingMessages messages;
        TSQLiteDatabase db;
        ReportsTab tab;
        explicit Station(const std::string& file) : db(file), tab(db, clock, messages) {}
        InventoryPane& Pane() { return *tab.Inventory(); }
    };

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        db_ = dir_.filePath("data.db").toStdString();
        TSQLiteDatabase db(db_);
        WriteTwoDayHistory(db, kDay0, kOffset, R"('North')", "Petrol");
    }

    void generateFillsTheBalanceWithTheDeliveryAndTheTheft() {
        Station st(db_);
        st.tab.TabSheet2Show();
        st.tab.ShowTankOver(1, kTwoDays);
        InventoryPane& p = st.Pane();
        QVERIFY(p.Busy());
        QVERIFY(!p.Progress()->isHidden());
        QVERIFY(p.CancelButton()->isEnabled());
        QTRY_VERIFY(!p.Busy());
        QVERIFY(!p.CancelButton()->isEnabled());

        const QTableWidget& g = *p.BalanceGrid();
        QCOMPARE(g.rowCount(), 3); // two days and the total
        QCOMPARE(g.item(0, 0)->text(), QString("02/03/2026"));
        QCOMPARE(g.item(1, 0)->text(), QString("03/03/2026"));
        QCOMPARE(g.item(2, 0)->text(), QString("Total"));
        QVERIFY2(std::abs(Number(g, 0, "Delivered, l") - 8000) < 100,
                 qPrintable(g.item(0, Column(g, "Delivered, l"))->text()));
        QCOMPARE(Number(g, 0, "Lost, l"), 0.0);
        QCOMPARE(Number(g, 1, "Delivered, l"), 0.0);
        QVERIFY(std::abs(Number(g, 1, "Lost, l") - 600) < 30);
        QVERIFY(Column(g, "Opening net, l") >= 0); // diesel has a density
        for (int d = 0; d < 2; ++d)
            QCOMPARE(Number(g, d, "Consumed, l"),
                     Number(g, d, "Opening, l") - Number(g, d, "Closing, l") +
                         Number(g, d, "Delivered, l") - Number(g, d, "Lost, l"));
        QCOMPARE(p.ConsumptionChart()->plottable(0)->interface1D()->dataCount(), 2);
        // two complete days are too few for an estimate
        QCOMPARE(
            p.DaysToEmptyLabel()->text(),
            QString(
                "Days to empty: the period is too short to estimate (fewer than 3 complete days)"));
        QVERIFY(st.messages.shown.empty());
    }

    // The summary is read when its page is shown, for the period last generated.
    void summaryPageShowsTheActiveTanksAndTheirFuelTotals() {
        Station st(db_);
        st.tab.TabSheet2Show();
        st.tab.ShowTankOver(1, kTwoDays);
        st.Pane().Pages()->setCurrentIndex(1);
        QVERIFY(st.Pane().Busy());
        QTRY_VERIFY(!st.Pane().Busy());
        const QTableWidget& g = *st.Pane().SummaryGrid();
        QCOMPARE(g.rowCount(), 4); // two tanks, diesel and petrol
        QCOMPARE(g.item(0, 1)->text(), QString("North"));
        QCOMPARE(g.item(2, 0)->text(), QString("Total"));
        QVERIFY(std::abs(Number(g, 0, "Delivered, l") - 8000) < 100);

        // A new period on the page reads the summary again.
        st.tab.ShowTankOver(2, {kDay0 + 1, kDay0 + 2 - 1.0 / 86400000});
        QTRY_VERIFY(!st.Pane().Busy());
        QCOMPARE(Number(*st.Pane().SummaryGrid(), 0, "Delivered, l"), 0.0);
        QCOMPARE(st.Pane().BalanceGrid()->rowCount(), 2);
    }

    // Nothing of a cancelled reading reaches the screen, and its thread ends on its own;
    // a pane that goes while reading waits for it.
    void cancelDropsTheReading() {
        {
            Station st(db_);
            st.tab.ShowTankOver(1, kTwoDays);
            QVERIFY(st.Pane().Busy());
            st.Pane().CancelButton()->click();
            QVERIFY(!st.Pane().Busy());
            QVERIFY(st.Pane().Progress()->isHidden());
            QTRY_COMPARE(st.Pane().Threads(), 0);
            QCOMPARE(st.Pane().BalanceGrid()->rowCount(), 0);
            QVERIFY(!st.Pane().findChild<QPushButton*>("ExportBalance")->isEnabled());

            st.tab.ShowTankOver(1, {kDay0, kDay0 + 1 - 1.0 / 86400000});
            st.Pane().Pages()->setCurrentIndex(1);
            st.Pane().CancelClick();
            st.tab.ShowTankOver(1, kTwoDays);
            QTRY_VERIFY(!st.Pane().Busy());
            QCOMPARE(st.Pane().BalanceGrid()->rowCount(), 3);
        }
        Station st(db_);
        st.tab.ShowTankOver(1, kTwoDays); // destroyed while reading
    }

    // The file dialog is a seam: the chosen file gets the CSV with its byte-order mark, a
    // cancelled dialog writes nothing, an unwritable file is told.
    void exportsWriteWhatIsShown() {
        Station st(db_);
        st.tab.ShowTankOver(1, kTwoDays);
        QTRY_VERIFY(!st.Pane().Busy());
        QString answer = dir_.filePath("daily.csv");
        QString suggested;
        st.Pane().SetSaveDialog([&](QWidget*, const QString&, const QString& s) {
            suggested = s;
            return answer;
        });
        st.Pane().findChild<QPushButton*>("ExportBalance")->click();
        QCOMPARE(QFileInfo(suggested).fileName(), QString("daily_tank1_2026-03-02_2026-03-03.csv"));
        QVERIFY(st.Pane()
                    .findChild<QLabel*>("InventoryStatus")
                    ->text()
                    .endsWith(QDir::toNativeSeparators(answer)));
        QFile f(answer);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const std::string text = f.readAll().toStdString();
        QVERIFY(text.rfind(std::string(Csv::kBom), 0) == 0);
        QCOMPARE(Csv::Parse(text).size(), std::size_t(3));

        answer = dir_.filePath("events.csv");
        st.Pane().ExportEventsClick();
        QCOMPARE(suggested,
                 dir_.filePath("events_tank1_2026-03-02_2026-03-03.csv")); // the last folder
        QFile ev(answer);
        QVERIFY(ev.open(QIODevice::ReadOnly));
        QCOMPARE(Csv::Parse(ev.readAll().toStdString()).size(), std::size_t(3));

        answer.clear();
        st.Pane().ExportReadingsClick();
        QVERIFY(st.messages.shown.empty());

        answer = dir_.filePath("no such folder/readings.csv");
        st.Pane().ExportReadingsClick();
        QCOMPARE(st.messages.shown.size(), std::size_t(1));
        QVERIFY(st.messages.shown[0].find("could not be written") != std::string::npos);
        QVERIFY(!st.Pane().findChild<QPushButton*>("ExportSummary")->isEnabled());
    }

    // A period without data (reversed, or no readings) leaves nothing of the last report up,
    // not even behind the "No data" box, nor on the "Leak test" page.
    void emptyPeriodClearsTheBalance_data() {
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("stop");
        QTest::newRow("reversed") << kDay0 + 1.5 << kDay0 + 0.5;
        QTest::newRow("reversed within a day") << kDay0 + 0.6 << kDay0 + 0.5;
        QTest::newRow("no readings") << kDay0 + 20 << kDay0 + 21;
    }
    void emptyPeriodClearsTheBalance() {
        QFETCH(double, start);
        QFETCH(double, stop);
        struct Watched : RecordingMessages {
            std::function<void()> atBox;
            void ShowMessage(const std::string& text) override {
                if (atBox)
                    atBox();
                RecordingMessages::ShowMessage(text);
            }
        } messages;
        ManualClock clock{kDay0 + 10, kOffset};
        TSQLiteDatabase db(db_);
        ReportsTab tab(db, clock, messages);
        InventoryPane& pane = *tab.Inventory();
        pane.Pages()->setCurrentWidget(pane.LeakTests());
        tab.show();
        tab.ShowTankOver(1, kTwoDays);
        QTRY_VERIFY(!pane.Busy());
        QCOMPARE(pane.BalanceGrid()->rowCount(), 3);
        QTRY_COMPARE(pane.LeakTests()->Table()->rowCount(), 2);
        QString firstRowAtBox = "none";
        messages.atBox = [&] {
            firstRowAtBox =
                pane.BalanceGrid()->rowCount() ? pane.BalanceGrid()->item(0, 0)->text() : "";
        };
        tab.ShowTankOver(1, ReportPeriod{start, stop});
        QTRY_VERIFY(!tab.ChartBusy());
        QCOMPARE(messages.shown, std::vector<std::string>{"No data for the selected period"});
        QVERIFY2(firstRowAtBox != "02/03/2026" && firstRowAtBox != "none",
                 qPrintable(firstRowAtBox));
        QTRY_VERIFY(!pane.Busy());
        if (stop < start) {
            QCOMPARE(pane.BalanceGrid()->rowCount(), 0);
            QCOMPARE(pane.LeakTests()->Table()->rowCount(), 0);
            QVERIFY(pane.DaysToEmptyLabel()->text().isEmpty());
            QVERIFY(!pane.findChild<QPushButton*>("ExportBalance")->isEnabled());
        }
    }

    // A file that cannot be read is told once, and the pane is ready again.
    void unreadableFileIsTold() {
        const std::string bad = dir_.filePath("bad.db").toStdString();
        {
            TSQLiteDatabase db(bad);
            db.ExecSQL(Sql::kCreateTanks);
            db.ExecSQL(Sql::SeedTank(1));
        }
        Station st(bad);
        st.tab.ShowTankOver(1, kTwoDays); // no DATA: the chart tells it, and so does the pane
        QTRY_VERIFY(!st.Pane().Busy() && !st.tab.ChartBusy());
        QCOMPARE(st.messages.shown.size(), std::size_t(2));
        std::sort(st.messages.shown.begin(), st.messages.shown.end());
        QVERIFY(st.messages.shown[0].rfind("The levels could not be read: ", 0) == 0);
        QVERIFY(st.messages.shown[1].rfind("The report could not be read: ", 0) == 0);
        QVERIFY(!st.Pane().CancelButton()->isEnabled());
    }
};

QTEST_MAIN(InventoryPaneTest)
#include "test_inventory_pane.moc"
