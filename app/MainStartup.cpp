// The main window's start-up sequence: the file and its tanks before the window shows;
// after it, the report indexes, the stored readings, the history and the line.
#include "MainUnit.h"

#include "CentralWorker.h"
#include "Config.h"
#include "Database.h"
#include "DefaultPicture.h"
#include "FuelEvents.h"
#include "ReportIndexBuild.h"
#include "SensorLink.h"
#include "StoredReadingsLoad.h"
#include "TankAlarms.h"
#include "TextFormats.h"
#include "TileList.h"

#include <QEvent>
#include <QTimer>
#include <QWindow>

#include <functional>
#include <map>

void TForm1::FormCreate() {
    RCfgData(cfgData_);
    UseCodePage(cfgData_);
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
    // The stored readings are read once the window is up (LoadStoredReadings): without the
    // readings index, each tank's newest one is a scan of the whole table.
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

void TForm1::LoadTanks() {
    std::vector<int64_t> skipped;
    {
        TTileModel::LoadScope scope(VT->Model());
        skipped = ::LoadTanks(*db_, [this]() -> TItemNode& { return VT->Model().AppendTank(); });
    }
    if (!skipped.empty())
        messages_.ShowMessage(SkippedTanksText(skipped));
}

namespace {

// Runs `then` once, after the window's first exposure has been handled (and so painted).
class AfterFirstExposure : public QObject {
public:
    AfterFirstExposure(QWindow& window, QObject* owner, std::function<void()> then)
        : QObject(owner), then_(std::move(then)) {
        window.installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, parent(), then_);
            deleteLater();
        }
        return false;
    }

private:
    std::function<void()> then_;
};

} // namespace

bool TForm1::event(QEvent* e) {
    const bool r = QMainWindow::event(e);
    // The start-up work begins once the window has been painted, so that the window is on
    // screen first. A window that is not painted (started minimised) starts it a moment
    // after its showing.
    if (!activated_ && e->type() == QEvent::Show && !activationAsked_) {
        activationAsked_ = true;
        if (QWindow* window = windowHandle())
            new AfterFirstExposure(*window, this, [this] { Activate(); });
        QTimer::singleShot(kActivateUnpaintedMs, this, [this] {
            if (!windowHandle() || !windowHandle()->isExposed())
                Activate();
        });
    }
    return r;
}

void TForm1::Activate() {
    if (activated_)
        return;
    activated_ = true;
    FormActivate();
}

// Each step starts the next when it has ended, each in a turn of the event loop of its own:
// the window answers throughout.
void TForm1::FormActivate() {
    if (!link_)
        return;
    CreatePages();
    QTimer::singleShot(0, this, [this] {
        CreateDialogWindows();
        QTimer::singleShot(0, this, [this] {
            StartCentral();
            StartIndexBuild();
        });
    });
}

// The station works without the report indexes, only the Reports are slower: a failure is
// one line in the Errors log, never a box at every start.
void TForm1::StartIndexBuild() {
    if (!indexFailure_.empty()) {
        PrependLog(ReportIndexBuild::FailureLine(clock_.LocalNow(), indexFailure_));
        indexFailure_.clear();
    }
    if (indexesToBuild_.empty()) {
        LoadStoredReadings();
        return;
    }
    // The line opens once the build has ended: a reading stored meanwhile would wait for
    // the file, and the window with it, until the build let go of it.
    indexBuild_ = std::make_unique<ReportIndexBuild>(
        dbFile_, std::move(indexesToBuild_), this, [this](const std::string& error) {
            if (!error.empty())
                PrependLog(ReportIndexBuild::FailureLine(clock_.LocalNow(), error));
            LoadStoredReadings();
        });
    indexesToBuild_.clear();
}

// Until a sensor first answers, its tile shows the newest stored reading with its age, and
// the last readings confirm or clear the alarms of the open EVENTS rows. They are read on a
// thread of their own (through the readings index where there is one); the tiles say
// "loading..." meanwhile, and the line opens when they are in, so that no reading of the
// sensors comes before the stored ones.
void TForm1::LoadStoredReadings() {
    std::vector<StoredReadingsLoad::Tank> tanks;
    for (int i = 0; i < VT->Model().TankCount(); ++i)
        tanks.push_back({VT->Model().Tank(i).id, VT->Model().Tank(i).Act});
    storedLoad_ = std::make_unique<StoredReadingsLoad>(
        dbFile_, std::move(tanks), TankAlarms::kReadingsToRaise, this,
        [this](const StoredReadings& stored) { TakeStoredReadings(stored); });
    VT->viewport()->update();
}

void TForm1::TakeStoredReadings(const StoredReadings& stored) {
    storedLoad_.reset();
    if (!stored.error.empty())
        PrependLog(TextFormats::DateTime(clock_.LocalNow()) +
                   "   The stored readings could not be read: " + stored.error + "\r\n");
    const double offset = clock_.LocalNow() - clock_.UtcNow();
    std::map<int, std::vector<DataRow>> recent;
    for (const StoredTankReadings& t : stored.tanks) {
        recent[t.adr] = t.recent;
        TItemNode* node = VT->Model().FindNode(static_cast<unsigned>(t.adr));
        if (!node || !t.newest || node->LDTime > 0)
            continue;
        node->FL = t.newest->litres;
        node->FLC = t.newest->code;
        node->Temp = t.newest->temp;
        node->LDTime = t.newest->utc + offset;
    }
    if (events_)
        events_->TakeStoredReadings(recent);
    storedReadingsIn_ = true;
    VT->viewport()->update();
    ShowNewestReading();
    OpenLine();
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
