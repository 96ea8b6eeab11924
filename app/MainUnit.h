#pragma once
// The main window: tabs, menu, the Errors log, the database connection, the tile list and
// the sensor line. Its handlers stay short and call the plain code that decides things.

#include "Clock.h"
#include "Database.h"
#include "OperatorMessages.h"
#include "SQLiteDatabase.h"

#include <QMainWindow>
#include <memory>
#include <vector>

struct TItemNode;

class QPlainTextEdit;
class QTabWidget;
class QPushButton;
class FuelEvents;
class ReportIndexBuild;
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
    // The build of the report indexes started by the first activation, if one was needed.
    ReportIndexBuild* IndexBuild() const { return indexBuild_.get(); }

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
    void FindMissingIndexes();
    void StartIndexBuild();
    void OpenLine();
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
    std::vector<ReportIndex> indexesToBuild_;
    std::string indexFailure_;
    std::unique_ptr<ReportIndexBuild> indexBuild_;
    bool startFailed_ = false;
    bool activated_ = false;
};
