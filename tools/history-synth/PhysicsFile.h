#pragma once
// A station's data.db holding one tank's readings made from a depot's physics: the tables,
// the 14 tank rows, tank 1 ("North", diesel, active) with a straight calibration up to the
// plan's capacity (the station takes a tank's capacity from its calibration), and its
// readings. The reports and their tests read it as they read the station's own.

#include "SQLiteDatabase.h"
#include "TankPhysics.h"

#include <cstdint>

// Writes into an empty database; returns the readings written. Throws on a failure.
int64_t WritePhysicsFile(TSQLiteDatabase& db, const PhysicsPlan& plan);
