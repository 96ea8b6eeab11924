#pragma once
// The main window: tabs, menu, the Errors log, the database connection, the tile list and
// the sensor line. Its handlers stay short and call the plain code that decides things.

#include "Clock.h"
#include "Config.h"
#include "Database.h"
#include "OperatorMessages.h"
#include "SQLiteDatabase.h"

#include <QMainWindow>
#include <functional>
#include <memory>
#include <vector>

struct TItemNode;

class AlarmBeeper;
class EventsTab;
class TEventSettings;
class LinkTimer;
class LineDialog;
class CentralWorker;
class MqttBridge;
class MailBridge;
class ConditionDesk;
class QLabel;
class QPlainTextEdit;
class QTabWidget;
class QPushButton;
class ReportIndexBuild;
class StoredReadingsLoad;
struct StoredReadings;
class FuelEvents;
class LeakTestDaily;
class ReportsTab;
class SensorLink;
class TEditor;
class TForm2;
class TFormAbout;
class TGaugePanels;
class TTileList;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // Runs FormCreate. `dbFile` is "data.db" for the station.
    TForm1(OperatorMessages& messages, Clock& clock, const std::string& dbFile = "data.db",
           QWidget* parent = nullptr);
    ~TForm1() override;

    // True when data.db could not be opened or created: the program must end.
    bool StartFailed() const { return startFailed_; }
    TSQLiteDatabase& Db() { return *db_; }
    // The settings the station runs with, read from the store at start; the Settings
    // dialog changes them.
    TSetup& CfgData() { return cfgData_; }

    // The Errors log, newest line first; the oldest lines past kLogLinesShown leave the screen.
    static constexpr int kLogLinesShown = 10000;
    void PrependLog(const std::string& line);
    QString LogText() const;

    QTabWidget* PageControl1 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* Button5 = nullptr;
    TTileList* VT = nullptr;
    ReportsTab* TabSheet2 = nullptr;
    EventsTab* TabSheet4 = nullptr;
    TEditor* Editor = nullptr;
    TForm2* Form2 = nullptr;
    TFormAbout* FormAbout = nullptr;
    SensorLink& Link() { return *link_; }
    LineDialog* FormLine = nullptr;
    // The status bar's line state and the time of the newest reading.
    QString LineStateText() const;
    QString NewestReadingText() const;
    // The build of the report indexes started by the first activation, if one was needed.
    ReportIndexBuild* IndexBuild() const { return indexBuild_.get(); }
    // Whether the stored readings are in (the tiles' newest readings, the alarms' last
    // readings); the line opens then.
    bool StoredReadingsIn() const { return storedReadingsIn_; }
    // Fuel events and alarms of the tanks; null when the start failed.
    FuelEvents* Events() { return events_.get(); }
    LeakTestDaily* LeakTests() { return leakTests_.get(); }
    // Sending to the central server; null when [Central] has no connection.
    CentralWorker* Central() { return central_.get(); }
    // "Central: n rows waiting" while there is a backlog; hidden otherwise.
    QLabel* CentralStatus = nullptr;
    // (Re)starts sending with the [Central] settings of CfgData(); stops it when none are set.
    void StartCentral();
    // Publishing to the MQTT broker of [MQTT]; null when the start failed.
    MqttBridge* Mqtt() { return mqtt_.get(); }
    // "MQTT: connected" or "MQTT: broker away, n waiting"; hidden without a broker.
    QLabel* MqttStatus = nullptr;
    // (Re)starts publishing with the stored [MQTT] settings.
    void StartMqtt();
    // E-mail alarms of [Mail]; "Mail: n waiting" while mails wait.
    MailBridge* Mail() { return mail_.get(); }
    QLabel* MailStatus = nullptr;
    void StartMail();

    // The operator's acknowledgement of one tank's alarms (the tile's menu); the fuel events
    // store it and write it to the Errors log.
    void AcknowledgeAlarm(const TItemNode& node);
    // The tank's event settings (density, thresholds, quiet hours), from the tile's menu and
    // the editor.
    void OpenEventSettings(const TItemNode& node);
    // How the event settings dialog is shown: modally, unless tests replace it.
    std::function<void(TEventSettings&)> eventSettingsRunner;
    // The beep's timer; tests hand in a manual one.
    void SetBeepTimer(std::unique_ptr<LinkTimer> timer);

public slots:
    void Exit1Click();
    void Settings1Click();
    void About1Click();
    void Reconnect1Click();
    void Line1Click();
    void Button5Click();
    void AcknowledgeAll1Click();
    void FormActivate();

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void StoreWaitingRows();

private:
    void FormCreate();
    void LoadTanks();
    void BuildMenu();
    QWidget* BuildErrorsTab();
    void FindMissingIndexes();
    void StartIndexBuild();
    void OpenLine();
    void CreateDialogs();
    void CreatePages();
    void CreateDialogWindows();
    void Activate();
    void StartEvents();
    void StartLeakTests();
    bool OpenEditor(TItemNode& node);
    void OpenReportOver(int adr, double localStart, double localStop);
    void AfterAlarmChange(int adr);
    void ConnectEvents();
    void RunEventSettings(TEventSettings& dialog);
    void LoadStoredReadings();
    void TakeStoredReadings(const StoredReadings& stored);
    void WatchReadings();
    void ShowLineState(bool up, double localAt);
    void ShowNewestReading();
    QString TileHealth(const TItemNode& node) const;

    OperatorMessages& messages_;
    Clock& clock_;
    std::string dbFile_;
    TSetup cfgData_;
    // Destroyed last: the line and every child widget refer to these two (see ~TForm1).
    std::unique_ptr<TSQLiteDatabase> db_;
    // The gauge pair painted into every active tile.
    std::unique_ptr<TGaugePanels> GaugePanel;
    // Declared before the link, which hands it readings, so that it goes after the link.
    std::unique_ptr<FuelEvents> events_;
    // The daily leak tests; they hand their results to the events.
    std::unique_ptr<LeakTestDaily> leakTests_;
    // What the line reports; it outlives the line.
    std::unique_ptr<ConditionDesk> desk_;
    // Refers to the tiles' records and the database: destroyed first.
    std::unique_ptr<SensorLink> link_;
    std::vector<ReportIndex> indexesToBuild_;
    std::string indexFailure_;
    std::unique_ptr<ReportIndexBuild> indexBuild_;
    // Refer to the tiles' alarms: destroyed with the line.
    std::unique_ptr<LinkTimer> beepTimer_;
    std::unique_ptr<AlarmBeeper> beeper_;
    bool startFailed_ = false;
    bool activated_ = false;
    bool activationAsked_ = false;
    // How long an unpainted window waits before its start-up work begins anyway.
    static constexpr int kActivateUnpaintedMs = 500;
    bool catchUpStarted_ = false;
    // The stored readings, read after the window is up; the tiles say "loading..." until in.
    std::unique_ptr<StoredReadingsLoad> storedLoad_;
    bool storedReadingsIn_ = false;
    QLabel* lineState_ = nullptr;
    QLabel* newestReading_ = nullptr;
    // Takes readings from the line: goes after it (see ~TForm1).
    std::unique_ptr<MqttBridge> mqtt_;
    std::unique_ptr<MailBridge> mail_;
    // Last, so that it stops first: its reports come through this window's event queue.
    std::unique_ptr<CentralWorker> central_;
};
