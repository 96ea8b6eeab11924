#pragma once
// Where the inventory reports read their data: the station's own data.db, or one station's
// rows on the central server. The reports themselves (balance, summary, events) are the same
// code over either.

#include "Balance.h"
#include "EventTables.h"
#include "ReconciliationTables.h"
#include "TItemNode.h"

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

class TSQLiteDatabase;

// A source that could not be read (the server gone in the middle of a report).
class ReportSourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A tank's book for the reconciliation: what the meters counted, what the notes billed and
// the tolerances the operator set.
struct ReconBook {
    std::vector<MeterEntry> meters;
    std::vector<DeliveryNote> notes;
    std::optional<ReconSettingsRow> settings;
};

// What a report reads of one station. May raise ReportSourceError (and, over data.db,
// SQLiteError).
class ReportSource {
public:
    virtual ~ReportSource() = default;
    // The station's tanks in their stored order.
    virtual std::vector<std::shared_ptr<TItemNode>> Tanks() = 0;
    // As QueryReadings: [utcFrom, utcTo) oldest first, the last one before first when asked.
    virtual std::vector<StoredReading> Readings(int adr, double utcFrom, double utcTo,
                                                bool withOpening) = 0;
    virtual std::optional<double> Density(const TItemNode& tank) = 0;
    // Deliveries, losses and alarms overlapping [utcFrom, utcTo), oldest first.
    virtual std::vector<EventRow> Events(const TItemNode& tank, double utcFrom, double utcTo,
                                         double offset) = 0;
    // The quiet hours set for the tank (minutes after local midnight, [from, to)); none
    // where unset or not kept.
    virtual std::optional<std::pair<int, int>> QuietHours(int /*adr*/) { return std::nullopt; }
    // The tank's meter figures in [metersFrom, to) and notes in [from, to) (local times),
    // with its tolerances; none where the source keeps no book.
    virtual std::optional<ReconBook> Book(int /*adr*/, double /*metersFrom*/, double /*from*/,
                                          double /*to*/) {
        return std::nullopt;
    }
};

// data.db through the functions of InventoryData.h.
class SqliteReportSource : public ReportSource {
public:
    explicit SqliteReportSource(TSQLiteDatabase& db) : db_(db) {}
    std::vector<std::shared_ptr<TItemNode>> Tanks() override;
    std::vector<StoredReading> Readings(int adr, double utcFrom, double utcTo,
                                        bool withOpening) override;
    std::optional<double> Density(const TItemNode& tank) override;
    std::vector<EventRow> Events(const TItemNode& tank, double utcFrom, double utcTo,
                                 double offset) override;
    std::optional<std::pair<int, int>> QuietHours(int adr) override;

private:
    TSQLiteDatabase& db_;
};

// Many stations seen at one moment (the central server): every read of one report comes
// from the same snapshot, however many stations are sending meanwhile.
class StationArchive {
public:
    virtual ~StationArchive() = default;
    // The names of the stations that have sent tanks or readings, sorted.
    virtual std::vector<std::string> Stations() = 0;
    // The source of one station; valid as long as the archive.
    virtual ReportSource& Station(const std::string& name) = 0;
    // Stops what the archive is reading, from another thread; the read then raises
    // ReportSourceError. Empty when there is nothing to stop.
    virtual std::function<void()> Canceller() { return {}; }
};
