#pragma once
// Turning an accepted data reply into the tank's readings and one DATA row.

#include <cstddef>
#include <cstdint>

class TankList;
class TSQLiteDatabase;
class Clock;
class OperatorMessages;

// Finds the tank whose id is the address, applies the reading, has its tile drawn again and
// inserts one DATA row (UTC timestamp). A missing DATA table is reported by a message box;
// a failing insert raises SQLiteError after the record and tile already show the reading.
// No tank with that address, or a payload shorter than five bytes: nothing happens.
void ProcessData(TankList& tanks, TSQLiteDatabase& db, const Clock& clock,
                 OperatorMessages& messages, unsigned address, const uint8_t* payload,
                 std::size_t count);
