#include "MainUnit.h"

#include "AboutUnit.h"
#include "Config.h"
#include "Database.h"
#include "DefaultPicture.h"
#include "GaugePanels.h"
#include "LastReading.h"
#include "LineDialog.h"
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
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
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
    resize(714, 563);
    // The frame adds its own width on top of the client area's.
    setMinimumWidth(714);
    CentreOnScreen(*this);
    FormCreate();
    if (!startFailed_)
        CreateDialogs();
}

TForm1::~TForm1() = default;

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
        [this] { Form2->RequestShow(); }, [this](const std::string& l) { PrependLog(l); },
        [this](bool up, double at) { ShowLineState(up, at); },
        [](const QString& name) {
            // The adapter came back under another name: the setting follows it.
            CfgData.PortNum = name;
            WrCfgData(CfgData);
        }});
    WatchReadings();

    // The dialogs: created once, hidden, reused at every showing.
    Editor = new TEditor(*db_, messages_, this);
    Form2 = new TForm2(messages_, [this] { link_->DeviceConnect(); });
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

void TForm1::BuildMenu() {
    QMenu* file = menuBar()->addMenu("File");
    file->addAction("Settings", this, &TForm1::Settings1Click);
    file->addAction("Reconnect", this, &TForm1::Reconnect1Click);
    file->addAction("Line", this, &TForm1::Line1Click);
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
