#include "DemoSetup.h"

#include "Calibration.h"
#include "Database.h"
#include "DayNumbers.h"
#include "NetVolume.h"
#include "OperatorMessages.h"
#include "SQLiteDatabase.h"
#include "SensorBank.h"
#include "Statements.h"
#include "TItemNode.h"
#include "TankPicture.h"
#include "TextFormats.h"

#include <QDateTime>
#include <QSettings>
#include <QString>

#include <algorithm>
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
std::string FillTank(TItemNode& node, const DemoTank& demo);
}

std::vector<DemoTankEnd> SimulatorStartLevels() {
    // The simulator's own start: its default seed, before any time has passed.
    SensorBank bank(SimOptions{}.seed, 1);
    std::vector<DemoTankEnd> ends;
    for (const DemoTank& t : DemoTanks()) {
        TItemNode node;
        FillTank(node, t);
        const Frames::DataReading r = bank.Reading(t.id);
        ends.push_back({double(LitresForCode(node, r.flc)), r.temp});
    }
    return ends;
}

SynthPlan DemoHistory(double utcNow, double localOffset, const std::vector<DemoTankEnd>& ends) {
    SynthPlan p;
    p.cycleSeconds = 74;
    p.localOffset = localOffset;
    // From midnight local time a week ago, so the events below fall at the hours they name.
    p.utcFrom = std::floor(utcNow + localOffset) - 7 - localOffset;
    p.days = utcNow - 5.0 / kMinutesPerDay - p.utcFrom;
    p.seed = 2026;
    auto at = [&](int day, int hour, int minute) {
        return p.utcFrom + day + double(hour * 60 + minute) / kMinutesPerDay;
    };
    // Deliveries of 30 % of a tank and a theft of 7 %, as shares of capacity.
    struct Planned {
        int id, day, hour, minute;
        double minutes, share, pauseAfter, pauseMinutes;
    };
    std::vector<Planned> planned = {
        {1, 1, 9, 20, 25, 0.30, -1, 0},
        {5, 2, 10, 5, 30, 0.30, 12, 15},
        {3, 4, 14, 30, 20, 0.30, -1, 0},
        {4, 5, 11, 0, 10, 0.30, -1, 0},
    };
    // The theft goes to the first tank that had room for what was stolen: a full tank's
    // sensor cannot show the fuel above its top.
    for (int id : {2, 6, 1}) {
        const double room = 0.97 - ends.at(static_cast<std::size_t>(id - 1)).grossLitres /
                                       DemoTanks()[static_cast<std::size_t>(id - 1)].capacity;
        if (room >= 0.03 || id == 1) {
            planned.push_back({id, 3, 2, 40, 8, -std::clamp(room, 0.02, 0.07), -1, 0});
            break;
        }
    }
    for (const DemoTank& t : DemoTanks()) {
        const DemoTankEnd& end = ends.at(static_cast<std::size_t>(t.id - 1));
        SynthTank s;
        s.adr = t.id;
        s.capacity = t.capacity;
        s.density = t.id == 3 ? 745 : t.id == 5 ? 800 : 840;
        s.usePerHour = t.capacity * 0.003 / 24; // 0.3 % a day
        s.noise = t.capacity * 0.0005;
        s.tempMean = end.temp;
        double moved = 0;
        for (const Planned& e : planned)
            if (e.id == t.id) {
                p.events.push_back({t.id, at(e.day, e.hour, e.minute), e.minutes,
                                    e.share * t.capacity, e.pauseAfter, e.pauseMinutes});
                moved += e.share * t.capacity;
            }
        const double vcf = NetVolume::Vcf(s.density, end.temp).value_or(1);
        s.startNet = end.grossLitres * vcf + s.usePerHour * p.days * 24 - moved;
        p.tanks.push_back(s);
    }
    return p;
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

DemoResult SetUpDemoDatabase(const std::string& dbPath, bool withHistory) {
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
        if (result.ok && withHistory) {
            const QDateTime now = QDateTime::currentDateTimeUtc();
            const double utc =
                TextFormats::Join(now.date().year(), now.date().month(), now.date().day(),
                                  now.time().hour(), now.time().minute(), now.time().second());
            const double offset = now.toLocalTime().offsetFromUtc() / double(kSecondsPerDay);
            WriteHistory(db, DemoHistory(utc, offset, SimulatorStartLevels()));
        }
    } catch (const std::exception& e) {
        result.ok = false;
        result.error = e.what();
    }
    return result;
}

std::string StoredStartLevels(const std::string& dbPath) {
    std::string levels;
    try {
        TSQLiteDatabase db(dbPath, TSQLiteDatabase::Mode::ReadOnly);
        for (const DemoTank& t : DemoTanks()) {
            TSQLiteTable row =
                db.GetTable("SELECT flevel, temp FROM DATA WHERE adr = " + std::to_string(t.id) +
                            " ORDER BY tstamp DESC LIMIT 1");
            if (row.Eof())
                continue;
            const int64_t litres = row.FieldAsInteger("flevel"), temp = row.FieldAsInteger("temp");
            if (temp < -60 || temp > 100)
                continue; // not a sensor's reading: the simulator's own start then
            // The code the station turns into the stored litres: the made-up history stores
            // litres, and its code need not be the one the calibration gives them.
            TItemNode node;
            FillTank(node, t);
            int code = 0;
            for (int c = 1; c <= 4095; ++c)
                if (std::abs(int64_t(LitresForCode(node, unsigned(c))) - litres) <
                    std::abs(int64_t(LitresForCode(node, unsigned(code))) - litres))
                    code = c;
            levels += (levels.empty() ? "" : ",") + std::to_string(t.id) + "=" +
                      std::to_string(code) + ":" + std::to_string(temp);
        }
    } catch (const std::exception&) {
        return {};
    }
    return levels;
}

bool WriteDemoSettings(const std::string& iniPath, const std::string& port) {
    // The same keys the station's own settings store reads.
    QSettings store(QString::fromStdString(iniPath), QSettings::IniFormat);
    store.setValue("Setup/PortNum", QString::fromStdString(port));
    store.setValue("Setup/WorkMode", "Direct");
    store.sync();
    return store.status() == QSettings::NoError;
}
