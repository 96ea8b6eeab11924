#include "DemoSetup.h"

#include "Calibration.h"
#include "Database.h"
#include "OperatorMessages.h"
#include "SQLiteDatabase.h"
#include "Statements.h"
#include "TItemNode.h"
#include "TankPicture.h"

#include <QSettings>
#include <QString>

#include <cmath>
#include <filesystem>

const std::vector<DemoTank>& DemoTanks() {
    static const std::vector<DemoTank> tanks = {
        {1, "North Diesel", "Diesel", 10000},       {2, "South Diesel", "Diesel", 10000},
        {3, "Petrol Station", "Petrol A-95", 5000}, {4, "Generator", "Diesel", 2000},
        {5, "Heating Oil", "Kerosene", 25000},      {6, "Boiler House", "Fuel oil", 8000},
    };
    return tanks;
}

std::vector<std::pair<int, int>> DemoCalibration(int capacity) {
    // A lying cylinder holds little near its bottom and top, much around its middle.
    static const int codes[] = {400, 1100, 1900, 2700, 3400, 4095};
    std::vector<std::pair<int, int>> rows;
    for (int code : codes) {
        double h = code / 4095.0;
        double angle = 2 * std::acos(1 - 2 * h);
        double share = (angle - std::sin(angle)) / (2 * M_PI);
        rows.emplace_back(code, static_cast<int>(std::lround(share * capacity)));
    }
    return rows;
}

namespace {

std::string Describe(const RecordingMessages& m) {
    std::string text;
    for (const std::string& s : m.shown)
        text += (text.empty() ? "" : "; ") + s;
    return text;
}

// Names, alarms, calibration and the picture of one demo tank; an error text or "".
std::string FillTank(TItemNode& node, const DemoTank& demo) {
    node.Name = demo.name;
    node.FType = demo.fuelType;
    node.Act = true;
    node.LowFuel = demo.capacity * 15 / 100;
    node.OverFuel = demo.capacity * 95 / 100;
    node.Memo = "Demo tank: its readings come from the sensor simulator.";
    node.Img = TankPictureBmp();
    TCalRows rows{};
    std::vector<std::pair<int, int>> points = DemoCalibration(demo.capacity);
    for (std::size_t i = 0; i < points.size(); ++i)
        rows[i] = {std::to_string(points[i].first), std::to_string(points[i].second)};
    TCalibrationResult built = BuildCalibration(node, rows);
    return built.ok ? std::string() : built.message;
}

void SaveDemoTanks(TSQLiteDatabase& db, RecordingMessages& messages, DemoResult& result) {
    for (const DemoTank& demo : DemoTanks()) {
        TItemNode node;
        TSQLiteTable row =
            db.GetTable(Sql::kSelectTanks + std::string(" WHERE id = ") + std::to_string(demo.id));
        if (row.Eof()) {
            result.error = "tank " + std::to_string(demo.id) + " is missing";
            return;
        }
        LoadTankFromRow(row, node);
        if (std::string refused = FillTank(node, demo); !refused.empty()) {
            result.error = "calibration refused: " + refused;
            return;
        }
        SaveTank(db, node, messages);
        if (!messages.shown.empty()) {
            result.error = Describe(messages);
            return;
        }
    }
    result.ok = true;
}

} // namespace

DemoResult SetUpDemoDatabase(const std::string& dbPath) {
    DemoResult result;
    std::error_code ec;
    if (std::filesystem::exists(dbPath, ec)) {
        result.ok = true;
        return result;
    }
    try {
        TSQLiteDatabase db(dbPath);
        RecordingMessages messages;
        if (!CreateDatabase(db, TankPictureBmp(), messages)) {
            result.error = Describe(messages);
            return result;
        }
        result.created = true;
        SaveDemoTanks(db, messages, result);
    } catch (const std::exception& e) {
        result.ok = false;
        result.error = e.what();
    }
    return result;
}

bool WriteDemoSettings(const std::string& iniPath, const std::string& port) {
    // The same keys the station's own settings store reads.
    QSettings store(QString::fromStdString(iniPath), QSettings::IniFormat);
    store.setValue("Setup/PortNum", QString::fromStdString(port));
    store.setValue("Setup/WorkMode", "Direct");
    store.sync();
    return store.status() == QSettings::NoError;
}
