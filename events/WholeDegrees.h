#pragma once
// The fuel's temperature between the sensor's whole degrees. Fuel warms and cools slowly, so
// the reading changes from one degree to the next where the true temperature crosses the
// half degree between them: each change is a point known to a small fraction of a degree,
// and the temperature in between is taken on the straight line through its neighbours. Where
// the reading goes back to the degree it came from (the day's warmest or coldest), the turn
// is taken at the middle of the stay, at that whole degree. Whole degrees alone would make
// net litres step by some 10 l a degree on a 12 000 l tank, with the same saw-tooth every
// night, which a leak test pooling nights would read as a leak or a gain. Pure: no Qt.

#include <vector>

// `utc` in time order and `temp` the whole degrees read at those times; returns the
// estimate at each time. Before the first change and after the last the reading stands.
std::vector<double> WholeDegreeTemps(const std::vector<double>& utc, const std::vector<int>& temp);
