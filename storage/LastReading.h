#pragma once
// The newest stored reading of a tank, so that its tile shows it (with its age) from the
// start instead of a blank until the sensor first answers.

#include <cstdint>
#include <string>
#include <vector>

class TSQLiteDatabase;
struct TItemNode;

// The SELECT for the newest DATA row of one address; the readings index serves it.
std::string SelectLastReading(int adr);

// Fills FL, FLC, Temp and LDTime (UTC plus `offsetDays`, local) of each active tank that
// has a stored reading; FLFR is not stored and stays as it is. Rows with a timestamp that
// is no calendar time (infinite, negative, NULL) are passed over. Raises SQLiteError when
// the query fails.
void LoadLastReadings(TSQLiteDatabase& db, const std::vector<TItemNode*>& tanks, double offsetDays);
