#pragma once
// The demo folder: a data.db with a few named, active, calibrated tanks, and the
// station's settings file pointing at the simulated sensor line.

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

// Creates `dbPath` with the station's CreateDatabase and fills the demo tanks with
// SaveTank. An existing file is left alone, so a demo keeps its history between runs.
DemoResult SetUpDemoDatabase(const std::string& dbPath);

// Writes PortNum and WorkMode=Direct in section [Setup] of the INI file.
bool WriteDemoSettings(const std::string& iniPath, const std::string& port);
