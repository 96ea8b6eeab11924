// The central reports window headless, over a fake server that answers only when the test
// lets it: the window is free while the server is asked, "Cancel" drops the late answer, a
// failed connection is told in the window, a report fills the table and "Export CSV" writes
// it; and the Reports tab's "Central…" is off, saying why, until a server is set. The
// reports over a real server: test_central_reports.

#include "CentralReportDialog.h"
#include "Clock.h"
#include "Csv.h"
#include "OperatorMessages.h"
#include "ReportSource.h"
#include "ReportsTab.h"
#include "ReportsTestDb.h"
#include "TextFormats.h"

#include <QComboBox>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const double kDay = TextFormats::Join(2026, 3, 2);

// Holds every opener call until Open() is called; then refuses with `refusal` when set.
// With `hang`, the server's list of stations hangs until the server is told to stop.
struct Gate {
    std::string refusal;
    bool hang = false;
    QSemaphore open, hanging, stopped;
    void Open() { open.release(); }
    void Wait() {
        open.acquire();
        open.release();
    }
};

// One tank drawn off 100 l an hour, read every ten minutes.
class OneTank : public ReportSource {
public:
    std::vector<std::shared_ptr<TItemNode>> Tanks() override {
        auto t = std::make_shared<TItemNode>();
        t->id = 3;
        t->Name = "Depot, \"east\"";
        t->FType = "Diesel";
        t->Act = true;
        return {t};
    }
    std::vector<StoredReading> Readings(int, double from, double to, bool) override {
        std::vector<StoredReading> r;
        for (double t = kDay - 1; t < kDay + 2; t += 1.0 / 144)
            if (t >= from - 1.0 / 144 && t < to)
                r.push_back({t, int32_t(10000 - (t - kDay + 1) * 2400), 1000, 15});
        return r;
    }
    std::optional<double> Density(const TItemNode&) override { return std::nullopt; }
    std::vector<EventRow> Events(const TItemNode&, double, double, double) override { return {}; }
};

class FakeServer : public StationArchive {
public:
    explicit FakeServer(std::shared_ptr<Gate> gate) : gate_(std::move(gate)) {}
    OneTank tank;
    std::vector<std::string> Stations() override {
        if (gate_->hang) {
            gate_->hanging.release();
            gate_->stopped.acquire();
            throw ReportSourceError("canceling statement due to user request");
        }
        return {"east", "west"};
    }
    ReportSource& Station(const std::string&) override { return tank; }
    std::function<void()> Canceller() override {
        return [gate = gate_] { gate->stopped.release(); };
    }

private:
    std::shared_ptr<Gate> gate_;
};

struct Window {
    ManualClock clock{kDay + 1.5, 0};
    std::shared_ptr<Gate> gate = std::make_shared<Gate>();
    CentralReportDialog dialog{"host=central", clock,
                               [gate = gate](const std::string& conninfo, std::string& error)
                                   -> std::unique_ptr<StationArchive> {
                                   gate->Wait();
                                   if (conninfo != "host=central" || !gate->refusal.empty()) {
                                       error = gate->refusal;
                                       return nullptr;
                                   }
                                   return std::make_unique<FakeServer>(gate);
                               }};
    ~Window() { gate->Open(); } // no worker is left waiting
    bool Ended() {
        QSignalSpy ended(&dialog, &CentralReportDialog::RequestEnded);
        gate->Open();
        return ended.wait(10000);
    }
    QPushButton* Button(const char* name) { return dialog.findChild<QPushButton*>(name); }
};

} // namespace

class TestCentralReportDialog : public QObject {
    Q_OBJECT
private slots:
    void cancelDropsTheLateAnswer() {
        Window w;
        w.Button("Cancel")->click();
        QVERIFY(!w.dialog.Busy());
        QCOMPARE(w.dialog.StatusText(), QString("Cancelled."));
        QSignalSpy dropped(&w.dialog, &CentralReportDialog::AnswerDropped);
        QSignalSpy ended(&w.dialog, &CentralReportDialog::RequestEnded);
        w.gate->Open();
        QVERIFY(dropped.wait(10000));
        QCOMPARE(ended.count(), 0);
        QCOMPARE(w.dialog.StatusText(), QString("Cancelled."));
        QCOMPARE(w.dialog.findChild<QComboBox*>("Station")->count(), 1);
    }

    void cancelStopsTheServer() {
        Window w;
        w.gate->hang = true;
        QSignalSpy dropped(&w.dialog, &CentralReportDialog::AnswerDropped);
        w.gate->Open();
        w.gate->hanging.acquire(); // the server is busy with the request
        w.Button("Cancel")->click();
        QVERIFY(dropped.wait(10000)); // it stopped, else the list would never come back
        QCOMPARE(w.dialog.StatusText(), QString("Cancelled."));
    }

    void failedConnectionIsToldInTheWindow() {
        Window w;
        w.gate->refusal = "connection to server failed: Connection refused";
        QVERIFY(w.Ended());
        QCOMPARE(w.dialog.StatusText(), QString("Cannot reach the central server: connection to "
                                                "server failed: Connection refused"));
        QVERIFY(w.Button("Show")->isEnabled());
    }

    void reportFillsTheTableAndExports() {
        Window w;
        // The server has not answered, yet the window was built and takes clicks.
        QVERIFY(w.dialog.Busy());
        QVERIFY(w.dialog.findChild<QProgressBar*>()->isVisibleTo(&w.dialog));
        QVERIFY(!w.Button("Show")->isEnabled());
        QCOMPARE(w.dialog.StatusText(), QString("Asking the central server for its stations..."));
        QVERIFY(w.Ended());
        QVERIFY(!w.dialog.findChild<QProgressBar*>()->isVisibleTo(&w.dialog));
        QCOMPARE(w.dialog.StatusText(), QString("2 stations"));
        QCOMPARE(w.dialog.findChild<QComboBox*>("Station")->count(), 3);
        w.dialog.Choose("east", ReportWhat::Daily, 2026, 3, 2, 2026, 3, 2);
        QVERIFY(!w.Button("Export")->isEnabled());
        QSignalSpy ended(&w.dialog, &CentralReportDialog::RequestEnded);
        w.Button("Show")->click();
        QVERIFY(ended.wait(10000));
        auto* table = w.dialog.findChild<QTableWidget*>("Result");
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(table->horizontalHeaderItem(0)->text(), QString("Tank"));
        QCOMPARE(table->item(0, 1)->text(), QString("Depot, \"east\""));
        const auto rec = Csv::Parse(w.dialog.Csv());
        const auto consumed = std::find(rec[0].begin(), rec[0].end(), "Consumed, l");
        QCOMPARE(rec[1][std::size_t(consumed - rec[0].begin())], std::string("2400"));

        QTemporaryDir dir;
        const QString file = dir.filePath("east.csv");
        w.dialog.SetSaveDialog([&](QWidget*) { return file; });
        w.Button("Export")->click();
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll().toStdString(), std::string(Csv::kBom) + w.dialog.Csv());
        QCOMPARE(w.dialog.StatusText(), "Saved " + file);
    }

    void centralButtonNeedsAServer() {
        ReportsTestDb data;
        ManualClock clock{kDay, 0};
        RecordingMessages messages;
        ReportsTab tab{*data.db, clock, messages};
        auto* button = tab.findChild<QPushButton*>("CentralButton");
        QVERIFY(!button->isEnabled());
        QVERIFY(button->toolTip().contains("No central server is set"));
        tab.SetCentralConnection("host=central");
        QVERIFY(button->isEnabled());
        tab.SetCentralConnection("");
        QVERIFY(!button->isEnabled());
    }
};

QTEST_MAIN(TestCentralReportDialog)
#include "test_central_report_dialog.moc"
