#pragma once
// Fuel events in the running station: a thin Qt layer over the pure detector and alarm
// states. It takes the readings (it is a ReadingSink after the DATA row), stores what they
// bring in EVENTS, writes each alarm transition to the Errors log, examines the stored
// history in a worker thread at start-up, and tells the windows of every change.
//
// Everything here runs on the thread that created it (the GUI thread), except the history
// worker, which only reads data.db, through a connection of its own; what it found is stored
// here, on the GUI thread, once it has finished.
// Every write goes through the station's write queue: one the file does not take (busy,
// full) waits there and is stored in its turn, so storing never stops for the session.
// Storage failures never raise out of here and never open a box: the first one that is not
// passing is written to the Errors log. The alarms go on in memory, on the tiles, all the
// same.

#include "Clock.h"
#include "EventTables.h"
#include "FuelEventDetector.h"
#include "LeakTest.h"
#include "Reading.h"
#include "TankAlarms.h"

#include <QObject>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

class TankList;
class TSQLiteDatabase;
class WriteQueue;

// What FuelEvents uses of the station; all outlive it.
struct FuelEventsContext {
    TSQLiteDatabase& db;
    TankList& tanks;
    const Clock& clock;
    // Puts one log line (8-bit text ending in CR LF) on top of the Errors log.
    std::function<void(const std::string&)> putLogLine;
    // The queue of the connection's writes, shared with the sensor line so that events are
    // stored after the readings they come from; none: FuelEvents keeps one of its own.
    std::shared_ptr<WriteQueue> writes = {};
};

// One tank's alarms as the tile shows them.
struct TankAlarmView {
    std::array<AlarmState, kAlarmKinds.size()> states{}; // by AlarmKind
    std::optional<AlarmKind> shown;                      // what the tile shows, if anything
    bool unacknowledged = false; // the tile asks for attention and the station beeps
};

class FuelEvents : public QObject, public ReadingSink {
    Q_OBJECT
public:
    explicit FuelEvents(FuelEventsContext context, QObject* parent = nullptr);
    ~FuelEvents() override; // waits for the history worker, saves the marks

    // Brings data.db's schema up to date, loads the settings and marks, and derives every
    // tank's alarms again from its last readings and the open EVENTS rows (an alarm still
    // active keeps its row). Returns false when events are off; the reason was then written
    // to the Errors log, once. With `readLastReadings` false, the last readings are not
    // read here (on a file without the readings index that scans the whole table): the
    // caller reads them elsewhere and hands them to TakeStoredReadings before any reading
    // comes.
    bool Start(bool readLastReadings = true);
    // Each tank's last stored readings (oldest first, TankAlarms::kReadingsToRaise of them):
    // they confirm or clear the level alarms restored from the open rows.
    void TakeStoredReadings(const std::map<int, std::vector<DataRow>>& last);
    bool Enabled() const { return enabled_; }

    // Examines, in a worker thread, every stored reading after the marks. Readings that
    // come meanwhile are stored as always and examined when the worker is done, so none is
    // missed or examined twice. Signals CatchUpProgress and CatchUpFinished.
    void StartCatchUp();
    bool CatchUpRunning() const { return worker_ != nullptr; }
    // Blocks until the worker is done and its results are stored (tests, closing).
    void WaitForCatchUp();

    // ReadingSink: the DATA row is already written (or failed; the reading still counts).
    void TakeReading(const Reading& reading) override;
    void TakeSilence(unsigned address, double utc) override;

    // ---- for the tiles and the Events tab ----
    TankAlarmView AlarmView(int adr) const;
    bool AnyUnacknowledged() const;
    // Net litres at 15 °C of the tank's last reading; none when the density is unknown or
    // no reading came yet in this run.
    std::optional<int32_t> NetLitres(int adr) const;
    // The tank's newest loss as far as it is known, found live or in the history examined;
    // none before the first. Set before the alarm it raises is signalled.
    std::optional<FuelEvent> NewestLoss(int adr) const;
    // Acknowledges the tank's unacknowledged alarms, or every tank's; stamped with the clock.
    void Acknowledge(int adr);
    void AcknowledgeAll();
    // The result of a day's leak test of the tank, made at `utc` (the day's end): a fail
    // raises the LEAK alarm (an EVENTS row of kind "leak" with `memo` saying why), a pass
    // ends its cause (TankAlarms::LeakFailed, LeakPassed).
    void TakeLeakTest(int adr, double utc, LeakVerdict verdict, const std::string& memo);
    // Reads the reconciliation rows not yet acknowledged (stored by the Reconciliation page
    // or another program) and raises the alarm of each tank that has one not shown before.
    void TakeReconciliationAlarms();
    // The operator's settings (unset values take the defaults) and writing them; the
    // tank's detector takes them at once. Returns false when they could not be stored.
    TankEventSettings Settings(int adr) const;
    bool SetSettings(const TankEventSettings& settings);
    // Saves every tank's mark and detector state (also done now and then while running, and
    // when this is destroyed). Nothing is saved before the history has been examined.
    void SaveMarks();

    // Readings between two savings of the marks; a crash re-examines at most these.
    static constexpr int kReadingsPerSave = 140;
    // DATA rows the history worker reads at a time; its read lock lasts that long.
    static constexpr int kRowsPerRead = 20000;

signals:
    // The alarms of this tank changed state.
    void AlarmChanged(int adr);
    // EVENTS rows were added or changed.
    void EventsChanged();
    // Each report of a delivery or loss and each alarm transition, as they happen, for what
    // sends them on (the broker, e-mail).
    void FuelEventReported(int adr, const FuelEvent& event);
    void AlarmTransitioned(int adr, const AlarmTransition& transition);
    // History examination: done share in percent; then finished (also when it failed).
    void CatchUpProgress(int percent);
    void CatchUpFinished();

private:
    struct Tank;
    class Worker;

    Tank* FindTank(int adr);
    const Tank* FindTank(int adr) const;
    Tank& TankFor(int adr);
    DetectorConfig ConfigFor(int adr) const;
    AlarmLimits LimitsFor(int adr) const;
    void Feed(int adr, Tank& tank, const LevelSample& sample);
    void StoreFuelEvents(int adr, Tank& tank, const std::vector<FuelEvent>& events);
    void ApplyTransitions(int adr, const std::vector<AlarmTransition>& ts);
    void DeriveAlarms();
    void CloseInterruptedEvents();
    void RestoreSilent(int adr, Tank& tank);
    void SyncLossAlarm(int adr, Tank& tank, double utc, const std::vector<EventRow>& open);
    void FinishCatchUp();
    void CatchUpTail(int64_t afterRowid);
    int64_t CatchUpStartRow(const std::vector<ExaminedMark>& marks);
    // Runs a read; a failure is logged (the first only) and false returned.
    bool Storage(const std::function<void()>& work);
    // Stores through the write queue; a write the file does not take now waits there.
    void Write(std::function<void(TSQLiteDatabase&)> write);
    void Reported(const std::string& what);
    void Log(double utc, const std::string& text);
    std::string TankName(int adr);
    double LocalOffset() const;

    FuelEventsContext ctx_;
    bool enabled_ = false;
    bool reported_ = false;
    std::map<int, std::unique_ptr<Tank>> tanks_;
    std::map<int, TankEventSettings> settings_;
    std::vector<ExaminedMark> marks_;
    std::shared_ptr<WriteQueue> writes_;
    // Open "no signal" rows, restored once the stored readings have been taken.
    std::map<int, std::vector<EventRow>> silentRows_;
    std::unique_ptr<Worker> worker_;
    int readingsSinceSave_ = 0;
};
