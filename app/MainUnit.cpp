#include "MainUnit.h"

#include "AboutUnit.h"
#include "CentralWorker.h"
#include "Config.h"
#include "Database.h"
#include "DefaultPicture.h"
#include "FuelEvents.h"
#include "GaugePanels.h"
#include "ReportsTab.h"
#include "SensorLink.h"
#include "SettingsUnit.h"
#include "StoredText.h"
#include "TanksUnit.h"
#include "TileList.h"
#include "WindowPlacement.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>

#include "QtOperatorMessages.h"

#include <sqlite3.h>

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
    PageControl1->setCurrentIndex(0);
    setCentralWidget(PageControl1);
    statusBar()->setFixedHeight(19);
    statusBar()->setSizeGripEnabled(true);
    CentralStatus = new QLabel(this);
    CentralStatus->hide();
    statusBar()->addPermanentWidget(CentralStatus);
    resize(714, 563);
    // The frame adds its own width on top of the client area's.
    setMinimumWidth(714);
    CentreOnScreen(*this);
    FormCreate();
    if (!startFailed_) {
        CreateDialogs();
        StartCentral();
    }
}

TForm1::~TForm1() {
    central_.reset();
}

void TForm1::StartCentral() {
    central_.reset();
    CentralStatus->hide();
    const TCentralSetup setup = RCentralData();
    if (setup.Connection.isEmpty() || !db_)
        return;
    // The sender reads data.db on its own connection; the station's inserts wait a moment
    // for its read to finish rather than fail.
    sqlite3_busy_timeout(db_->Handle(), 2000);
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
    QWidget* placeholder = PageControl1->widget(1);
    PageControl1->removeTab(1);
    delete placeholder;
    PageControl1->insertTab(1, TabSheet2, "Reports");
    PageControl1->setCurrentIndex(0);
    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (PageControl1->widget(index) == TabSheet2)
            Guarded(messages_, [&] { TabSheet2->TabSheet2Show(); });
    });

    link_ = std::make_unique<SensorLink>(SensorLinkContext{
        VT->Model(), *db_, clock_, messages_, [] { return CfgData.PortNum; },
        [this] { Form2->RequestShow(); }, [this](const std::string& l) { PrependLog(l); }});
    StartEvents();

    // The dialogs: created once, hidden, reused at every showing.
    Editor = new TEditor(*db_, messages_, this);
    Form2 = new TForm2(messages_, [this] { link_->DeviceConnect(); });
    Form2->SetCentralChanged([this] { StartCentral(); });
    Form2->setParent(this, Form2->windowFlags());
    FormAbout = new TFormAbout(this);
    VT->SetEditorOpener([this](TItemNode& node) { return OpenEditor(node); });
}

// Readings go to the events after their DATA row; the stored history is examined in the
// background, its progress in the status bar.
void TForm1::StartEvents() {
    events_ = std::make_unique<FuelEvents>(FuelEventsContext{
        *db_, VT->Model(), clock_, [this](const std::string& l) { PrependLog(l); }});
    events_->Start();
    link_->AddReadingSink(*events_);
    connect(events_.get(), &FuelEvents::CatchUpProgress, this, [this](int percent) {
        statusBar()->showMessage(
            QString("Examining stored readings for deliveries and losses... %1%").arg(percent));
    });
    connect(events_.get(), &FuelEvents::CatchUpFinished, this,
            [this] { statusBar()->clearMessage(); });
    events_->StartCatchUp();
}

bool TForm1::OpenEditor(TItemNode& node) {
    if (!Editor->UpdateData(&node))
        return false;
    Editor->exec();
    return true;
}

void TForm1::BuildMenu() {
    QMenu* file = menuBar()->addMenu("File");
    file->addAction("Settings", this, &TForm1::Settings1Click);
    file->addSeparator();
    file->addAction("Exit", this, &TForm1::Exit1Click);
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
    // Nothing is loaded from a file that could not be made usable.
    if (!CreateDatabase(*db_, DefaultTankPictureBmp(), messages_)) {
        startFailed_ = true;
        return;
    }
    Guarded(messages_, [&] { EnsureDataIndex(); });
    Guarded(messages_, [&] { LoadTanks(); });
}

void TForm1::EnsureDataIndex() {
    if (!DataIndexMissing(*db_))
        return;
    statusBar()->showMessage("Building the index of readings; this takes a few seconds...");
    QApplication::processEvents();
    CreateDataIndex(*db_);
    statusBar()->clearMessage();
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

void TForm1::About1Click() {
    if (FormAbout)
        FormAbout->exec();
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
        Guarded(messages_, [&] { link_->DeviceConnect(); });
}
