#include "MainUnit.h"

#include "AboutUnit.h"
#include "AlarmBeeper.h"
#include "CentralWorker.h"
#include "ConditionDesk.h"
#include "Config.h"
#include "EventsTab.h"
#include "FuelEvents.h"
#include "GaugePanels.h"
#include "InventoryPane.h"
#include "LeakTestDaily.h"
#include "LineDialog.h"
#include "MailBridge.h"
#include "MailSetup.h"
#include "MqttBridge.h"
#include "MqttSetup.h"
#include "QtOperatorMessages.h"
#include "ReconciliationPage.h"
#include "ReportIndexBuild.h"
#include "ReportsTab.h"
#include "SensorLink.h"
#include "SettingsUnit.h"
#include "StoredReadingsLoad.h"
#include "TanksUnit.h"
#include "TileList.h"
#include "WindowPlacement.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>

TForm1::TForm1(OperatorMessages& messages, Clock& clock, const std::string& dbFile, QWidget* parent)
    : QMainWindow(parent), messages_(messages), clock_(clock), dbFile_(dbFile) {
    setWindowTitle("Tavrona");
    setAttribute(Qt::WA_QuitOnClose);
    BuildMenu();
    PageControl1 = new QTabWidget(this);
    GaugePanel = std::make_unique<TGaugePanels>();
    VT = new TTileList(*GaugePanel, messages_);
    PageControl1->addTab(VT, "Monitoring");
    PageControl1->addTab(new QWidget, "Reports");
    PageControl1->addTab(BuildErrorsTab(), "Errors");
    PageControl1->addTab(new QWidget, "Events");
    PageControl1->setCurrentIndex(0);
    setCentralWidget(PageControl1);
    statusBar()->setFixedHeight(19);
    statusBar()->setSizeGripEnabled(true);
    lineState_ = new QLabel;
    lineState_->setObjectName("lineState");
    newestReading_ = new QLabel;
    newestReading_->setObjectName("newestReading");
    statusBar()->addWidget(lineState_, 1);
    statusBar()->addPermanentWidget(newestReading_);
    CentralStatus = new QLabel(this);
    CentralStatus->hide();
    statusBar()->addPermanentWidget(CentralStatus);
    MqttStatus = new QLabel(this);
    MqttStatus->setObjectName("mqttStatus");
    MqttStatus->hide();
    statusBar()->addPermanentWidget(MqttStatus);
    MailStatus = new QLabel(this);
    MailStatus->hide();
    statusBar()->addPermanentWidget(MailStatus);
    resize(714, 563);
    // The frame adds its own width on top of the client area's.
    setMinimumWidth(714);
    if (!RestoreWindowPlacement(*this, *OpenSettingsStore()))
        CentreOnScreen(*this);
    FormCreate();
    if (!startFailed_)
        CreateDialogs();
}

TForm1::~TForm1() {
    // The sender and the reader of stored readings first: their reports come through this
    // window's event queue.
    central_.reset();
    storedLoad_.reset();
    // The line refers to the tiles' records and to the database; the child widgets (tiles,
    // Reports tab, editor, Settings) to the gauge panel, the database and the line. QWidget
    // would delete its children only after every member here is gone, so the order is made
    // explicit: the line first, then the children, then what they refer to.
    link_.reset();
    mqtt_.reset();
    mail_.reset();
    beeper_.reset();
    leakTests_.reset();
    events_.reset(); // it reads the tanks' records, which the tile list holds
    qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
}

void TForm1::CreateDialogs() {
    desk_ = std::make_unique<ConditionDesk>(
        messages_,
        ConditionOutlets{[this](const std::string& l) { PrependLog(l); },
                         [this](const QString& t) { statusBar()->showMessage(t, 60000); },
                         [this] {
                             if (Form2)
                                 Form2->RequestShow();
                         },
                         [this] { return clock_.LocalNow(); }});
    link_ = std::make_unique<SensorLink>(SensorLinkContext{
        VT->Model(), *db_, clock_, *desk_, [this] { return cfgData_.PortNum; },
        [this](const std::string& l) { PrependLog(l); },
        [this](bool up, double at) { ShowLineState(up, at); },
        [this](const QString& name) {
            // The adapter came back under another name: the setting follows it.
            cfgData_.PortNum = name;
            if (!WrCfgData(cfgData_))
                PrependLog("The settings could not be saved (port " + name.toStdString() + ")\r\n");
        },
        [this](const std::string& text) {
            statusBar()->showMessage(QString::fromStdString(text), 60000);
        }});
    StartEvents();
    ConnectEvents();
    WatchReadings();
    StartMqtt();
    StartMail();
}

// The tabs other than the tiles', and the dialogs, wait until the window has been painted
// once: building them takes longer than showing the window.
void TForm1::CreatePages() {
    const int shown = PageControl1->currentIndex();
    // The Reports tab reads the database, so it comes once the database is open.
    TabSheet2 = new ReportsTab(*db_, clock_, messages_);
    // Read at each "Generate", so a change in Settings applies to the next report.
    TabSheet2->Inventory()->SetShiftStarts([this] { return ShiftStartsOf(cfgData_); });
    QWidget* placeholder = PageControl1->widget(1);
    PageControl1->removeTab(1);
    delete placeholder;
    PageControl1->insertTab(1, TabSheet2, "Reports");
    TabSheet4 = new EventsTab(*db_, clock_, messages_, [this](int adr) {
        const int row = VT->Model().RowOf(adr);
        return row < 0 ? std::string() : OperatorText(VT->Model().Tank(row).Name).toStdString();
    });
    placeholder = PageControl1->widget(3);
    PageControl1->removeTab(3);
    delete placeholder;
    PageControl1->insertTab(3, TabSheet4, "Events");
    TabSheet4->SetTankActive([this](int adr) {
        const int row = VT->Model().RowOf(adr);
        return row >= 0 && VT->Model().Tank(row).Act;
    });
    TabSheet4->SetReportOpener(
        [this](int adr, ReportPeriod period) { OpenReportOver(adr, period.start, period.stop); });
    const auto pageShown = [this](int index) {
        if (PageControl1->widget(index) == TabSheet2)
            Guarded(messages_, [&] { TabSheet2->TabSheet2Show(); });
        if (PageControl1->widget(index) == TabSheet4)
            Guarded(messages_, [&] { TabSheet4->Reload(); });
    };
    // The operator may have opened a tab before its page was there.
    PageControl1->setCurrentIndex(shown);
    pageShown(shown);
    connect(PageControl1, &QTabWidget::currentChanged, this, pageShown);
}

// The dialogs: created once, hidden, reused at every showing.
void TForm1::CreateDialogWindows() {
    Editor = new TEditor(*db_, messages_, this);
    Editor->OpenEventSettings = [this](const TItemNode& node) { OpenEventSettings(node); };
    Form2 = new TForm2(messages_, cfgData_, [this] { link_->DeviceConnect(); });
    Form2->SetCentralChanged([this] { StartCentral(); });
    Form2->openMqtt = [this] {
        MqttSettingsDialog dialog(Form2);
        if (dialog.exec() == QDialog::Accepted)
            StartMqtt();
    };
    Form2->openMail = [this] {
        MailSettingsDialog dialog(Form2);
        if (dialog.exec() == QDialog::Accepted)
            StartMail();
    };
    Form2->setParent(this, Form2->windowFlags());
    Form2->lineDown = [this] { return !link_->LineUp(); };
    FormLine = new LineDialog(*link_, VT->Model(), this);
    FormAbout = new TFormAbout(this);
    VT->SetEditorOpener([this](TItemNode& node) { return OpenEditor(node); });
}

bool TForm1::OpenEditor(TItemNode& node) {
    if (!Editor->UpdateData(&node))
        return false;
    Editor->exec();
    return true;
}

void TForm1::OpenReportOver(int adr, double localStart, double localStop) {
    PageControl1->setCurrentWidget(TabSheet2);
    TabSheet2->ShowTankOver(adr, ReportPeriod{localStart, localStop});
}

void TForm1::BuildMenu() {
    QMenu* file = menuBar()->addMenu("File");
    file->addAction("Settings", this, &TForm1::Settings1Click);
    file->addAction("Reconnect", this, &TForm1::Reconnect1Click);
    file->addAction("Line", this, &TForm1::Line1Click);
    // The figures are entered for the tank and period the Reports tab shows.
    file->addAction("Meter totals and delivery notes...", this, [this] {
        if (!TabSheet2)
            return;
        PageControl1->setCurrentWidget(TabSheet2);
        InventoryPane* pane = TabSheet2->Inventory();
        pane->Pages()->setCurrentWidget(pane->Reconciliation());
        pane->Reconciliation()->EnterClick();
    });
    file->addSeparator();
    file->addAction("Exit", this, &TForm1::Exit1Click);
    QMenu* alarms = menuBar()->addMenu("Alarms");
    alarms->addAction("Acknowledge all", this, &TForm1::AcknowledgeAll1Click)
        ->setObjectName("acknowledgeAll");
    QMenu* help = menuBar()->addMenu("Help");
    help->addAction("About", this, &TForm1::About1Click);
}

void TForm1::Exit1Click() {
    close();
}

void TForm1::Settings1Click() {
    if (!Form2)
        return;
    Form2->RequestShow();
    // The code page of older texts may have changed.
    VT->viewport()->update();
}

void TForm1::Reconnect1Click() {
    if (link_)
        Guarded(messages_, [&] { link_->DeviceConnect(); });
}

void TForm1::Line1Click() {
    if (FormLine) {
        FormLine->show();
        FormLine->raise();
    }
}

void TForm1::About1Click() {
    if (FormAbout)
        FormAbout->exec();
}

void TForm1::closeEvent(QCloseEvent* e) {
    SaveWindowPlacement(*this, *OpenSettingsStore());
    StoreWaitingRows();
    QMainWindow::closeEvent(e);
}

// Rows that still wait for the file are tried once more; the operator learns how many
// are lost.
void TForm1::StoreWaitingRows() {
    if (!link_)
        return;
    if (events_)
        events_->SaveMarks();
    const std::size_t left = link_->StoreWaitingRows();
    if (left > 0)
        messages_.ShowMessage(std::to_string(left) +
                              " readings could not be stored: data.db did not take them");
}
