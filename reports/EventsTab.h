#pragma once
// The "Events" tab: deliveries, losses and alarms, newest first, filtered by tank and kind.
// A double-click asks for the Reports tab on that tank around the event.

#include "EventList.h"

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class Clock;
class OperatorMessages;
class QComboBox;
class QTableWidget;
class TSQLiteDatabase;

class EventsTab : public QWidget {
    Q_OBJECT
public:
    // The tank's name for an address (empty when there is no such tank).
    using TankName = std::function<std::string(int adr)>;
    // Opens the Reports tab on a tank over a period (local time).
    using ReportOpener = std::function<void(int adr, ReportPeriod period)>;

    EventsTab(TSQLiteDatabase& db, Clock& clock, OperatorMessages& messages, TankName tankName,
              QWidget* parent = nullptr);
    void SetReportOpener(ReportOpener open) { openReport_ = std::move(open); }
    // Whether a tank is polled; the tank filter lists those and the tanks with events
    // (every named tank while none is set).
    void SetTankActive(std::function<bool(int adr)> active) { tankActive_ = std::move(active); }

    // Reads EVENTS again and shows what the filters let through (each showing of the tab,
    // and whenever an event begins or ends).
    void Reload();
    // As if the operator chose in the filters; 0 and "" are "All".
    void SetFilter(int adr, const std::string& kind);
    // As if the operator double-clicked the row.
    void OpenRow(int row);

    QTableWidget* Table() const { return table_; }
    QComboBox* TankFilter() const { return tankFilter_; }
    QComboBox* KindFilter() const { return kindFilter_; }
    // The events shown, in the order shown.
    const std::vector<EventRow>& Shown() const { return shown_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillTankFilter();
    void ShowRows();
    void FitTankColumn();

    TSQLiteDatabase& db_;
    Clock& clock_;
    OperatorMessages& messages_;
    TankName tankName_;
    ReportOpener openReport_;
    std::function<bool(int adr)> tankActive_;
    QComboBox* tankFilter_;
    QComboBox* kindFilter_;
    QTableWidget* table_;
    std::vector<EventRow> all_;
    std::vector<EventRow> shown_;
    std::vector<int> natural_; // each column's width for its contents as last filled
};
