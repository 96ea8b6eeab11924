#pragma once
// The main window: tabs, menu, the Errors log, the database connection, the tile list and
// the sensor line. Its handlers stay short and call the plain code that decides things.

#include "Clock.h"
#include "OperatorMessages.h"
#include "SQLiteDatabase.h"

#include <QMainWindow>
#include <memory>

struct TItemNode;

class CentralWorker;
class QLabel;
class QPlainTextEdit;
class QTabWidget;
class QPushButton;
class FuelEvents;
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

    // The Errors log, newest line first; the oldest lines past kLogLinesShown leave the screen.
    static constexpr int kLogLinesShown = 10000;
    void PrependLog(const std::string& line);
    QString LogText() const;

    QTabWidget* PageControl1 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* Button5 = nullptr;
    TTileList* VT = nullptr;
    ReportsTab* TabSheet2 = nullptr;
    TEditor* Editor = nullptr;
    TForm2* Form2 = nullptr;
    TFormAbout* FormAbout = nullptr;
    SensorLink& Link() { return *link_; }
    // Fuel events and alarms of the tanks; null when the start failed.
    FuelEvents* Events() { return events_.get(); }
    // Sending to the central server; null when [Central] has no connection.
    CentralWorker* Central() { return central_.get(); }
    // "Central: n rows waiting" while there is a backlog; hidden otherwise.
    QLabel* CentralStatus = nullptr;
    // (Re)starts sending with the stored [Central] settings; stops it when none are set.
    void StartCentral();

public slots:
    void Exit1Click();
    void Settings1Click();
    void About1Click();
    void Button5Click();
    void FormActivate();

protected:
    bool event(QEvent* e) override;

private:
    void FormCreate();
    void LoadTanks();
    void BuildMenu();
    QWidget* BuildErrorsTab();
    void EnsureDataIndex();
    void CreateDialogs();
    void StartEvents();
    bool OpenEditor(TItemNode& node);

    OperatorMessages& messages_;
    Clock& clock_;
    std::string dbFile_;
    std::unique_ptr<TSQLiteDatabase> db_;
    // The gauge pair painted into every active tile.
    std::unique_ptr<TGaugePanels> GaugePanel;
    // Declared before the link, which hands it readings, so that it goes after the link.
    std::unique_ptr<FuelEvents> events_;
    std::unique_ptr<SensorLink> link_;
    bool startFailed_ = false;
    bool activated_ = false;
    // Last, so that it stops first: its reports come through this window's event queue.
    std::unique_ptr<CentralWorker> central_;
};
