#pragma once
// Turning an accepted data reply into the tank's readings, and handing the reading on.

#include "Reading.h"

#include <cstddef>
#include <cstdint>

class TankList;
class TSQLiteDatabase;
class Clock;
class OperatorMessages;

// Finds the tank whose id is the address, applies the reading, has its tile drawn again and
// hands one Reading (one clock read: UTC and local) to the sink. Whatever the sink raises
// passes through, after the record and tile already show the reading.
// No tank with that address, or a payload shorter than five bytes: nothing happens.
void ProcessData(TankList& tanks, const Clock& clock, ReadingSink& sink, unsigned address,
                 const uint8_t* payload, std::size_t count);

// Stores one DATA row (UTC timestamp) for the reading. A missing DATA table is reported by
// a message box and nothing is written; a failing insert raises SQLiteError.
void StoreDataRow(TSQLiteDatabase& db, OperatorMessages& messages, const Reading& reading);

// The receive path with the DATA row as its only sink.
void ProcessData(TankList& tanks, TSQLiteDatabase& db, const Clock& clock,
                 OperatorMessages& messages, unsigned address, const uint8_t* payload,
                 std::size_t count);
