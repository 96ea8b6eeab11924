#pragma once
// The demo folder: a data.db with a few named, active, calibrated tanks, and the
// station's settings file pointing at the simulated sensor line.

#include "HistorySynth.h"

#include <string>
#include <vector>

struct DemoTank {
    int id;
    const char* name;
    const char* fuelType;
    int capacity; // litres at the top of the scale
};
// The tanks the demo makes active, addresses 1 to 6.
const std::vector<DemoTank>& DemoTanks();

// Calibration rows (code, litres) of a tank: a horizontal cylinder's shape over the
// sensor's codes 0 to 4095, six points rising strictly.
std::vector<std::pair<int, int>> DemoCalibration(int capacity);

struct DemoResult {
    bool ok = false;
    bool created = false; // false: the file was there and was left as it was
    std::string error;
};

// Where each demo tank's stored history ends: the level and temperature the simulated
// sensor will report first, so that the first live reading goes on from the history
// without a jump that would look like a delivery or a loss.
struct DemoTankEnd {
    double grossLitres = 0;
    int temp = 0;
};
std::vector<DemoTankEnd> SimulatorStartLevels();

// A week of stored readings of the demo tanks up to `utcNow`, ending at `ends`, with
// four deliveries (one of them paused for a hose change) and one theft at night, for the
// station to find on its first start.
SynthPlan DemoHistory(double utcNow, double localOffset, const std::vector<DemoTankEnd>& ends);

// Creates `dbPath` with the station's CreateDatabase, fills the demo tanks with SaveTank
// and, unless told not to, stores DemoHistory up to now. An existing file is left alone,
// so a demo keeps its history between runs.
DemoResult SetUpDemoDatabase(const std::string& dbPath, bool withHistory = true);

// The simulator's --start value that makes each demo tank's sensor go on from the last
// reading `dbPath` holds of it (its fuel code and temperature), so that a demo started again
// shows no jump that would look like a delivery or a loss; "" when there is none.
std::string StoredStartLevels(const std::string& dbPath);

// Writes PortNum and WorkMode=Direct in section [Setup] of the INI file.
bool WriteDemoSettings(const std::string& iniPath, const std::string& port);
