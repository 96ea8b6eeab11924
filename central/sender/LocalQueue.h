#pragma once
// The station's side of sending: how far each table has been sent (CENTRAL_MARKS, kept in
// data.db beside the station's tables and created when missing) and the rows past those
// marks. Every query finishes before it returns, so no read lock is held while sending.

#include "CentralRows.h"
#include "StoredText.h"

#include <cstdint>
#include <string>
#include <vector>

class TSQLiteDatabase;

class LocalQueue {
public:
    // Creates CENTRAL_MARKS and CENTRAL_TANKS when missing. Raises SQLiteError. Texts go to
    // the server as UTF-8: stored bytes that are not UTF-8 are read in `legacy`.
    LocalQueue(TSQLiteDatabase& db, std::string station,
               StoredText::CodePage legacy = StoredText::kDefaultCodePage);

    const std::string& Station() const { return station_; }

    // Marks are per station name: a renamed station sends everything again under its new
    // name.
    int64_t Mark(const std::string& table);
    void SetMark(const std::string& table, int64_t value);
    // Sets several marks in one transaction.
    void SetMarks(const std::vector<std::pair<std::string, int64_t>>& marks);

    std::vector<CentralReading> ReadingsAfter(int64_t row, int limit);
    std::vector<CentralError> ErrorsAfter(int64_t row, int limit);
    // EVENTS rows with id >= `from`, by id.
    std::vector<CentralEvent> EventsFrom(int64_t from, int limit);
    // True while the event may still change: not yet ended, or a loss or alarm not yet
    // acknowledged.
    static bool EventOpen(const CentralEvent& e);

    // The tanks whose name, capacity, fuel type, activity, alarm levels, memo or calibration
    // points differ from what was last sent, each with its next sequence number.
    std::vector<CentralTankChange> ChangedTanks();
    // Records the given states as sent.
    void TanksSent(const std::vector<CentralTankChange>& sent);

    // The parts of the reconciliation's book (CentralRows.h) whose contents differ from what
    // was last sent, each with its next sequence number; a part emptied since is among them
    // with no rows. Reads the whole book: a year of 14 tanks is some thousands of rows.
    std::vector<CentralBookPart> ChangedBook();
    // Records the given parts as sent.
    void BookSent(const std::vector<CentralBookPart>& sent);

    // Rows of DATA, ERROR and EVENTS not yet sent.
    int64_t Waiting();

private:
    TSQLiteDatabase& db_;
    std::string station_;
    StoredText::CodePage legacy_;
    bool hasEvents_ = false;
    std::string Utf8(const std::string& stored) const;
};

// Mark names.
inline constexpr const char* kMarkData = "DATA";
inline constexpr const char* kMarkError = "ERROR";
inline constexpr const char* kMarkEvents = "EVENTS";
// The lowest EVENTS id that may still change since it was sent.
inline constexpr const char* kMarkEventsOpen = "EVENTS_OPEN";
