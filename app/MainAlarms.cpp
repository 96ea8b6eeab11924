// The main window and the fuel events: the tiles' alarms, the beep, acknowledging, the
// tanks' event settings.
#include "MainUnit.h"

#include "AlarmBeeper.h"
#include "EventSettingsUnit.h"
#include "EventsTab.h"
#include "FuelEvents.h"
#include "InventoryPane.h"
#include "LeakTestDaily.h"
#include "LinkTimer.h"
#include "NetVolume.h"
#include "ReconciliationPage.h"
#include "ReportsTab.h"
#include "SensorLink.h"
#include "TextFormats.h"
#include "TileList.h"

#include <QApplication>
#include <QStatusBar>
#include <QTabWidget>

// Readings go to the events after their DATA row; the stored history is examined in the
// background, its progress in the status bar.
void TForm1::StartEvents() {
    events_ = std::make_unique<FuelEvents>(
        FuelEventsContext{*db_, VT->Model(), clock_,
                          [this](const std::string& l) { PrependLog(l); }, link_->Writes()});
    // The last readings come from LoadStoredReadings, once the window is up.
    events_->Start(false);
    link_->AddReadingSink(*events_);
    connect(events_.get(), &FuelEvents::CatchUpProgress, this, [this](int percent) {
        statusBar()->showMessage(
            QString("Examining stored readings for deliveries and losses... %1%").arg(percent));
    });
    connect(events_.get(), &FuelEvents::CatchUpFinished, this,
            [this] { statusBar()->clearMessage(); });
    StartLeakTests();
}

// The daily leak tests start once the history is examined: a test counts on the deliveries
// found in it.
void TForm1::StartLeakTests() {
    if (!events_->Enabled())
        return;
    leakTests_ = std::make_unique<LeakTestDaily>(LeakTestDailyContext{
        *db_, link_->Writes(), clock_,
        [this] {
            std::vector<int> active;
            for (int row = 0; row < VT->Model().TankCount(); ++row)
                if (VT->Model().Tank(row).Act)
                    active.push_back(VT->Model().Tank(row).id);
            return active;
        },
        [this](const LeakReportRow& r, double utc) {
            events_->TakeLeakTest(r.adr, utc, LeakTest::AlarmVerdict(r.result),
                                  LeakAlarmText(r.result));
        },
        [this](const std::string& line) {
            PrependLog(TextFormats::DateTime(clock_.LocalNow()) + "   " + line + "\r\n");
        }});
    connect(events_.get(), &FuelEvents::CatchUpFinished, leakTests_.get(),
            [this] { leakTests_->Start(); });
}

// The tiles show what the fuel events keep (alarm, net litres), the beeper beeps while an
// alarm waits for the operator, and the Events tab follows new rows while it is shown.
void TForm1::ConnectEvents() {
    VT->Model().SetExtrasSource([this](int adr) {
        TTileExtras x;
        if (!events_)
            return x;
        const TankAlarmView view = events_->AlarmView(adr);
        if (view.shown)
            x.alarmWord = AlarmWord(*view.shown);
        x.unacknowledged = view.unacknowledged;
        x.netLitres = events_->NetLitres(adr);
        return x;
    });
    VT->SetAcknowledger([this](TItemNode& node) { AcknowledgeAlarm(node); });
    VT->SetEventSettingsOpener([this](TItemNode& node) { OpenEventSettings(node); });
    connect(events_.get(), &FuelEvents::AlarmChanged, this,
            [this](int adr) { AfterAlarmChange(adr); });
    connect(events_.get(), &FuelEvents::EventsChanged, this, [this] {
        if (PageControl1->currentWidget() == TabSheet4)
            Guarded(messages_, [&] { TabSheet4->Reload(); });
    });
    // Alarms the Reconciliation page stored reach the tiles at once.
    if (TabSheet2)
        connect(TabSheet2->Inventory()->Reconciliation(), &ReconciliationPage::AlarmsStored,
                events_.get(), &FuelEvents::TakeReconciliationAlarms);
    SetBeepTimer(std::make_unique<QtLinkTimer>(false));
}

void TForm1::SetBeepTimer(std::unique_ptr<LinkTimer> timer) {
    beeper_.reset();
    beepTimer_ = std::move(timer);
    beeper_ = std::make_unique<AlarmBeeper>(
        [this] {
            int waiting = 0;
            for (int row = 0; events_ && row < VT->Model().TankCount(); ++row)
                waiting += events_->AlarmView(VT->Model().Tank(row).id).unacknowledged ? 1 : 0;
            return waiting;
        },
        *beepTimer_, messages_, clock_);
    beeper_->Update();
}

void TForm1::AfterAlarmChange(int adr) {
    VT->Model().RepaintTank(adr);
    if (beeper_)
        beeper_->Update();
}

void TForm1::AcknowledgeAlarm(const TItemNode& node) {
    if (!events_)
        return;
    events_->Acknowledge(node.id);
    AfterAlarmChange(node.id);
}

void TForm1::AcknowledgeAll1Click() {
    if (!events_)
        return;
    events_->AcknowledgeAll();
    for (int row = 0; row < VT->Model().TankCount(); ++row)
        AfterAlarmChange(VT->Model().Tank(row).id);
}

void TForm1::OpenEventSettings(const TItemNode& node) {
    if (!events_)
        return;
    // Over whatever is open: the main window, or the editor it was asked from.
    QWidget* over = QApplication::activeModalWidget();
    TEventSettings dialog(messages_, over ? over : this);
    dialog.SetSaver([this](const TankEventSettings& s) { return events_->SetSettings(s); });
    dialog.Load(events_->Settings(node.id), node.Name, node.Capacity,
                NetVolume::DensityForFuelType(node.FType));
    RunEventSettings(dialog);
}

void TForm1::RunEventSettings(TEventSettings& dialog) {
    if (eventSettingsRunner)
        eventSettingsRunner(dialog);
    else
        dialog.exec();
}
