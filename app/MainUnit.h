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

class LineDialog;
class QLabel;
class QPlainTextEdit;
class QTabWidget;
class QPushButton;
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
    LineDialog* FormLine = nullptr;
    // The status bar's line state and the time of the newest reading.
    QString LineStateText() const;
    QString NewestReadingText() const;
    // The build of the report indexes started by the first activation, if one was needed.
    ReportIndexBuild* IndexBuild() const { return indexBuild_.get(); }

public slots:
    void Exit1Click();
    void Settings1Click();
    void About1Click();
    void Reconnect1Click();
    void Line1Click();
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
    bool OpenEditor(TItemNode& node);
    void LoadStoredReadings();
    void WatchReadings();
    void ShowLineState(bool up, double localAt);
    void ShowNewestReading();
    QString TileHealth(const TItemNode& node) const;

    OperatorMessages& messages_;
    Clock& clock_;
    std::string dbFile_;
    std::unique_ptr<TSQLiteDatabase> db_;
    // The gauge pair painted into every active tile.
    std::unique_ptr<TGaugePanels> GaugePanel;
    std::unique_ptr<SensorLink> link_;
    std::vector<ReportIndex> indexesToBuild_;
    std::string indexFailure_;
    std::unique_ptr<ReportIndexBuild> indexBuild_;
    bool startFailed_ = false;
    bool activated_ = false;
    bool readingsPending_ = false; // the stored readings wait for the index build
    QLabel* lineState_ = nullptr;
    QLabel* newestReading_ = nullptr;
};
