#include "TileFreshness.h"
#include "DayNumbers.h"

#include <algorithm>
#include <cmath>

double StaleAfterSeconds(int activeTanks) {
    return 3 * (60.0 + std::max(0, activeTanks));
}

std::string AgeText(double lastReading, double localNow) {
    if (lastReading <= 0)
        return "no reading yet";
    const double seconds = std::max(0.0, (localNow - lastReading) * kSecondsPerDay);
    const auto whole = [](double v) { return std::to_string(static_cast<long long>(v)); };
    if (seconds < 60)
        return "no reading for " + whole(seconds) + " s";
    if (seconds < 3600)
        return "no reading for " + whole(seconds / 60) + " min";
    if (seconds < 48 * 3600)
        return "no reading for " + whole(seconds / 3600) + " h";
    return "no reading for " + whole(seconds / kSecondsPerDay) + " days";
}

TTileFreshness JudgeFreshness(double lastReading, double localNow, bool lineUp, int activeTanks) {
    const double age = (localNow - lastReading) * kSecondsPerDay;
    if (lineUp && lastReading > 0 && age <= StaleAfterSeconds(activeTanks))
        return {};
    return {true, AgeText(lastReading, localNow)};
}
