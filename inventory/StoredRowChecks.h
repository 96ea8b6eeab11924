#pragma once
// What a report tells about stored values it could not use: rows of a tank that cannot be a
// reading (no time, or litres that are NULL, text, not whole, infinite, negative or beyond
// any tank; the station stores -1 for a reading that was no level), and calibrations that
// cannot be right. The readers leave such rows out; these lines say how many.

#include <memory>
#include <string>
#include <vector>

class TSQLiteDatabase;
struct TItemNode;

// A calibration table whose litres are all finite, within what a tank holds, and never
// falling as the code rises.
bool CalibrationPlausible(const TItemNode& tank);

// One line per tank with rows left out of [utcFrom, utcTo) or rows without a time, and per
// tank whose calibration cannot be right; such a tank's capacity is set to 0 so that no
// report shows it. Empty when all is well.
std::vector<std::string> StoredRowWarnings(TSQLiteDatabase& db,
                                           const std::vector<std::shared_ptr<TItemNode>>& tanks,
                                           double utcFrom, double utcTo);
