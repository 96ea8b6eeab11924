#include "MainUnit.h"

#include "AboutUnit.h"
#include "AlarmBeeper.h"
#include "CentralWorker.h"
#include "Config.h"
#include "Database.h"
#include "DefaultPicture.h"
#include "EventSettingsUnit.h"
#include "EventsTab.h"
#include "FuelEvents.h"
#include "GaugePanels.h"
#include "InventoryPane.h"
#include "LastReading.h"
#include "LineDialog.h"
#include "MailBridge.h"
#include "MailSetup.h"
#include "MqttBridge.h"
#include "MqttSetup.h"
#include "NetVolume.h"
#include "ReconciliationPage.h"
#include "ReportIndexBuild.h"
#include "ReportsTab.h"
#include "SensorLink.h"
#include "SettingsUnit.h"
#include "StoredText.h"
#include "TanksUnit.h"
#include "TextFormats.h"
#include "TileFreshness.h"
#include "TileList.h"
#include "WindowPlacement.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>

#include "QtOperatorMessages.h"

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
    if (!startFailed_) {
        CreateDialogs();
        StartCentral();
    }
}

TForm1::~TForm1() {
    // The sender first: its reports come through this window's event queue.
    central_.reset();
    // The line refers to the tiles' records and to the database; the child widgets (tiles,
    // Reports tab, editor, Settings) to the gauge panel, the database and the line. QWidget
    // would delete its children only after every member here is gone, so the order is made
    // explicit: the line first, then the children, then what they refer to.
    link_.reset();
    mqtt_.reset();
    mail_.reset();
    beeper_.reset();
    events_.reset(); // it reads the tanks' records, which the tile list holds
    qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
}

void TForm1::StartCentral() {
    central_.reset();
    CentralStatus->hide();
    const TCentralSetup setup = RCentralData();
    if (TabSheet2)
        TabSheet2->SetCentralConnection(setup.Connection.toStdString());
    if (setup.Connection.isEmpty() || !db_)
        return;
    QPointer<TForm1> self(this);
    central_ = std::make_unique<CentralWorker>(
        dbFile_,
        CentralSettings{setup.Connection.toStdString(), setup.Station.toStdString(),
                        StoredText::LegacyCodePage()},
        [self](const CentralWorker::Status& status) {
            // On the worker's thread: hand the report to the window's.
            QMetaObject::invokeMethod(
                self,
                [self, status] {
                    if (!self)
                        return;
                    if (self->mqtt_)
                        self->mqtt_->Backlog(0, status.waiting);
                    if (status.waiting > 0) {
                        self->CentralStatus->setText(
                            QString("Central: %1 rows waiting").arg(status.waiting));
                        self->CentralStatus->show();
                    } else {
                        self->CentralStatus->hide();
                    }
                    if (!status.notice.empty()) {
                        self->PrependLog(status.notice);
                        self->statusBar()->showMessage(QString::fromStdString(status.notice),
                                                       10000);
                    }
                },
                Qt::QueuedConnection);
        });
}

void TForm1::CreateDialogs() {
    // The Reports tab reads the database, so it comes once the database is open.
    TabSheet2 = new ReportsTab(*db_, clock_, messages_);
    // Read at each "Generate", so a change in Settings applies to the next report.
    TabSheet2->Inventory()->SetShiftStarts([] { return ShiftStartsOf(CfgData); });
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
    PageControl1->setCurrentIndex(0);
    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (PageControl1->widget(index) == TabSheet2)
            Guarded(messages_, [&] { TabSheet2->TabSheet2Show(); });
        if (PageControl1->widget(index) == TabSheet4)
            Guarded(messages_, [&] { TabSheet4->Reload(); });
    });

    link_ = std::make_unique<SensorLink>(SensorLinkContext{
        VT->Model(), *db_, clock_, messages_, [] { return CfgData.PortNum; },
        [this] { Form2->RequestShow(); }, [this](const std::string& l) { PrependLog(l); },
        [this](bool up, double at) { ShowLineState(up, at); },
        [this](const QString& name) {
            // The adapter came back under another name: the setting follows it.
            CfgData.PortNum = name;
            if (!WrCfgData(CfgData))
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

    // The dialogs: created once, hidden, reused at every showing.
    Editor = new TEditor(*db_, messages_, this);
    Editor->OpenEventSettings = [this](const TItemNode& node) { OpenEventSettings(node); };
    Form2 = new TForm2(messages_, [this] { link_->DeviceConnect(); });
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

// After the fuel events, so that a reading's state carries the alarms it caused.
void TForm1::StartMqtt() {
    if (!mqtt_) {
        mqtt_ = std::make_unique<MqttBridge>(MqttBridgeContext{
            VT->Model(), *events_, clock_, [this](const std::string& l) { PrependLog(l); },
            [this](std::optional<int> adr) {
                if (!adr) {
                    AcknowledgeAll1Click();
                } else if (const TItemNode* node = VT->Model().FindNode(unsigned(*adr))) {
                    AcknowledgeAlarm(*node);
                }
            },
            MqttStatus});
        link_->AddReadingSink(*mqtt_);
    }
    MqttSettings settings = RMqttData();
    std::string problem;
    if (settings.Configured() && !settings.user.empty()) {
        ReadMqttPassword(&problem);
        if (!problem.empty())
            PrependLog(TextFormats::DateTime(clock_.LocalNow()) + "   " + problem + "\r\n");
    }
    mqtt_->Restart(settings);
}

void TForm1::StartMail() {
    if (!mail_) {
        mail_ = std::make_unique<MailBridge>(
            MailBridgeContext{VT->Model(), *events_, clock_,
                              [this](const std::string& l) { PrependLog(l); }, MailStatus});
        link_->AddReadingSink(*mail_);
    }
    mail_->Restart(RMailData());
}

// Readings go to the events after their DATA row; the stored history is examined in the
// background, its progress in the status bar.
void TForm1::StartEvents() {
    events_ = std::make_unique<FuelEvents>(
        FuelEventsContext{*db_, VT->Model(), clock_,
                          [this](const std::string& l) { PrependLog(l); }, link_->Writes()});
    events_->Start();
    link_->AddReadingSink(*events_);
    connect(events_.get(), &FuelEvents::CatchUpProgress, this, [this](int percent) {
        statusBar()->showMessage(
            QString("Examining stored readings for deliveries and losses... %1%").arg(percent));
    });
    connect(events_.get(), &FuelEvents::CatchUpFinished, this,
            [this] { statusBar()->clearMessage(); });
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

QWidget* TForm1::BuildErrorsTab() {
    auto* tab = new QWidget;
    auto* v = new QVBoxLayout(tab);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);
    Memo1 = new QPlainTextEdit;
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    v->addWidget(Memo1);
    auto* strip = new QWidget;
    strip->setFixedHeight(49);
    auto* h = new QHBoxLayout(strip);
    h->setContentsMargins(0, 0, 9, 9);
    h->addStretch();
    Button5 = new QPushButton("Clear");
    Button5->setFixedSize(75, 25);
    h->addWidget(Button5, 0, Qt::AlignBottom);
    v->addWidget(strip);
    connect(Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
    return tab;
}

void TForm1::FormCreate() {
    RCfgData();
    UseCodePage(CfgData);
    try {
        db_ = std::make_unique<TSQLiteDatabase>(dbFile_);
    } catch (const std::exception& e) {
        messages_.ShowMessage(e.what());
        startFailed_ = true;
        return;
    }
    if (!db_->WriteAheadLog())
        PrependLog(TextFormats::DateTime(clock_.LocalNow()) +
                   "   data.db stays in its old journal mode (" + db_->JournalNote() +
                   "): while another program reads it, readings wait to be stored\r\n");
    // Nothing is loaded from a file that could not be made usable.
    if (!CreateDatabase(*db_, DefaultTankPictureBmp(), messages_)) {
        startFailed_ = true;
        return;
    }
    FindMissingIndexes();
    Guarded(messages_, [&] { LoadTanks(); });
    // The newest reading of each tank is found through the readings index; on a file that
    // lacks it, it waits for the build rather than scanning a year of rows before the window.
    if (indexesToBuild_.empty() && indexFailure_.empty())
        Guarded(messages_, [&] { LoadStoredReadings(); });
    else
        readingsPending_ = true;
}

// Building an index over a year of readings takes seconds: it waits until the window is
// shown (FormActivate). A file whose tables cannot even be examined for it is used without.
void TForm1::FindMissingIndexes() {
    try {
        indexesToBuild_ = MissingReportIndexes(*db_);
    } catch (const std::exception& e) {
        indexFailure_ = e.what();
    }
}

// The station works without the report indexes, only the Reports are slower: a failure is
// one line in the Errors log, never a box at every start.
void TForm1::StartIndexBuild() {
    if (!indexFailure_.empty()) {
        PrependLog(ReportIndexBuild::FailureLine(clock_.LocalNow(), indexFailure_));
        indexFailure_.clear();
    }
    if (indexesToBuild_.empty()) {
        OpenLine();
        return;
    }
    // The line opens once the build has ended: a reading stored meanwhile would wait for
    // the file, and the window with it, until the build let go of it.
    indexBuild_ = std::make_unique<ReportIndexBuild>(
        dbFile_, std::move(indexesToBuild_), this, [this](const std::string& error) {
            if (!error.empty())
                PrependLog(ReportIndexBuild::FailureLine(clock_.LocalNow(), error));
            else if (readingsPending_)
                Guarded(messages_, [&] { LoadStoredReadings(); });
            readingsPending_ = false;
            OpenLine();
        });
    indexesToBuild_.clear();
}

void TForm1::OpenLine() {
    // History is examined once the report indexes are built: both need data.db for long.
    if (events_ && !catchUpStarted_) {
        catchUpStarted_ = true;
        events_->StartCatchUp();
    }
    if (link_)
        Guarded(messages_, [&] { link_->DeviceConnect(); });
}

void TForm1::LoadTanks() {
    std::vector<int64_t> skipped;
    {
        TTileModel::LoadScope scope(VT->Model());
        skipped = ::LoadTanks(*db_, [this]() -> TItemNode& { return VT->Model().AppendTank(); });
    }
    if (!skipped.empty())
        messages_.ShowMessage(SkippedTanksText(skipped));
}

void TForm1::PrependLog(const std::string& line) {
    std::string text = line;
    // The log keeps its lines without the carriage returns the widget would show doubled.
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0)
        text.erase(text.size() - 2);
    QTextCursor c(Memo1->document());
    c.movePosition(QTextCursor::Start);
    c.insertText(OperatorText(text) + "\n");
    // Silent sensors add thousands of lines a day; the screen keeps the newest ones (every
    // line stays in ERROR).
    QTextDocument* doc = Memo1->document();
    const int excess = doc->blockCount() - 1 - kLogLinesShown;
    if (excess > 0) {
        QTextCursor tail(doc->findBlockByNumber(doc->blockCount() - 1 - excess));
        tail.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        tail.removeSelectedText();
    }
}

QString TForm1::LogText() const {
    return Memo1->toPlainText();
}

void TForm1::Button5Click() {
    Memo1->clear();
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

bool TForm1::event(QEvent* e) {
    const bool r = QMainWindow::event(e);
    // Some platforms (offscreen, X without a window manager) never activate the window:
    // there the first showing counts as the activation.
    if (!activated_ && (e->type() == QEvent::WindowActivate || e->type() == QEvent::Show)) {
        activated_ = true;
        QTimer::singleShot(0, this, &TForm1::FormActivate);
    }
    return r;
}

void TForm1::FormActivate() {
    if (link_)
        StartIndexBuild();
}

// Until a sensor first answers, its tile shows the newest stored reading with its age.
void TForm1::LoadStoredReadings() {
    std::vector<TItemNode*> tanks;
    for (int i = 0; i < VT->Model().TankCount(); ++i)
        tanks.push_back(&VT->Model().Tank(i));
    LoadLastReadings(*db_, tanks, clock_.LocalNow() - clock_.UtcNow());
    VT->viewport()->update();
    if (newestReading_)
        ShowNewestReading();
}

// Tiles age without a reading coming, so they are judged again every few seconds.
void TForm1::WatchReadings() {
    VT->SetFreshness([this](const TItemNode& node) {
        int active = 0;
        for (int i = 0; i < VT->Model().TankCount(); ++i)
            active += VT->Model().Tank(i).Act ? 1 : 0;
        return JudgeFreshness(node.LDTime, clock_.LocalNow(), link_ && link_->LineUp(), active);
    });
    VT->Model().toolTip = [this](const TItemNode& node) { return TileHealth(node); };
    connect(&VT->Model(), &QAbstractItemModel::dataChanged, this, &TForm1::ShowNewestReading);
    auto* ageing = new QTimer(this);
    connect(ageing, &QTimer::timeout, this, [this] {
        VT->viewport()->update();
        ShowNewestReading();
    });
    ageing->start(5000);
    ShowNewestReading();
}

void TForm1::ShowLineState(bool up, double localAt) {
    const QString at = QString::fromStdString(TextFormats::LongTime(localAt));
    lineState_->setText(up ? "Line back at " + at : "Line lost at " + at + ", retrying");
    if (mqtt_)
        mqtt_->LineState(up, clock_.UtcNow());
    VT->viewport()->update();
}

QString TForm1::LineStateText() const {
    return lineState_->text();
}

void TForm1::ShowNewestReading() {
    double newest = 0;
    for (int i = 0; i < VT->Model().TankCount(); ++i)
        newest = std::max(newest, VT->Model().Tank(i).LDTime);
    newestReading_->setText(newest > 0 ? "Newest reading: " +
                                             QString::fromStdString(TextFormats::DateTime(newest))
                                       : "No reading yet");
}

QString TForm1::NewestReadingText() const {
    return newestReading_->text();
}

QString TForm1::TileHealth(const TItemNode& node) const {
    if (!link_)
        return {};
    const SensorCounts& c = link_->Health().Counts(static_cast<unsigned>(node.id));
    QString text = StoredText::FromStored(node.Name) + "\n";
    if (node.LDTime > 0)
        text += "Reading of " + QString::fromStdString(TextFormats::DateTime(node.LDTime)) + "\n";
    // The number in parentheses after the litres says nothing by itself on the tile.
    if (node.Act)
        text += QString("(%1) on the tile: the sensor's raw fuel code, which the tank's "
                        "calibration turns into litres\n")
                    .arg(node.FLC);
    text += QString("Requests %1, good replies %2, refused %3 (CRC %4, length %5, "
                    "address %6), silences %7")
                .arg(c.requests)
                .arg(c.good)
                .arg(c.refusedCrc + c.refusedLength + c.refusedAddress)
                .arg(c.refusedCrc)
                .arg(c.refusedLength)
                .arg(c.refusedAddress)
                .arg(c.silences);
    if (c.lastReply)
        text += "\nLast reply " + QString::fromStdString(TextFormats::DateTime(*c.lastReply));
    if (const auto median = c.MedianReplyMs())
        text += QString("\nReply time: median %1 ms, max %2 ms").arg(*median).arg(*c.MaxReplyMs());
    return text;
}
