#pragma once
// The rows of the Events tab as read from EVENTS, and the texts and filter it shows them
// with. Plain code, tested without a window.

#include "EventTables.h"
#include "ReportPeriod.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The newest events first (at most kEventRowLimit); none when the file has no EVENTS table.
inline constexpr int kEventRowLimit = 10000;
std::vector<EventRow> LoadEvents(TSQLiteDatabase& db);

// `adr` 0 and an empty `kind` match every tank and every kind.
bool EventMatches(const EventRow& row, int adr, const std::string& kind);

// The stored kinds in the order the kind filter offers them.
inline constexpr const char* kEventKinds[] = {"delivery", "loss",   "leak",          "low",
                                              "high",     "silent", "reconciliation"};
// "Delivery", "Loss", "Leak", "Low level", "High level", "No signal"; the stored text
// otherwise.
std::string EventKindText(const std::string& kind);
// A delivery: "In progress" or "Done". An alarm (loss, leak, low, high, silent): "Active" until
// acknowledged, then "Acknowledged", and "Cleared" once it has ended.
std::string EventStateText(const EventRow& row);
// "+5000", "-60", "0"; empty when either side is unknown.
std::string ChangeText(const std::optional<int64_t>& before, const std::optional<int64_t>& after);
// "0:20", "27:05" (hours:minutes); an event still going on counts up to `utcNow`.
std::string DurationText(const EventRow& row, double utcNow);
// The report period shown for an event: an hour before its start to an hour after its end
// (or after `utcNow` while it goes on), in local time (`offset` = local - UTC, in days).
ReportPeriod PeriodAround(const EventRow& row, double utcNow, double offset);
