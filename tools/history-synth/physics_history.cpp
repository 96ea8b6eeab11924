// physics-history OUT.db [options]: a data.db with one tank's readings made from a depot's
// physics (TankPhysics), for trying the reports on thefts, a leak and day-time dispensing
// whose true litres are known. Times are UTC.

#include "BoundSql.h"
#include "Calibration.h"
#include "Database.h"
#include "OperatorMessages.h"
#include "SQLiteDatabase.h"
#include "Schema.h"
#include "Statements.h"
#include "TankPhysics.h"
#include "TextFormats.h"
#include "Transaction.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>

namespace {

int Usage(bool help) {
    std::fprintf(help ? stdout : stderr,
                 "Usage: physics-history OUT.db [--from YYYY-MM-DD] [--days N] [--capacity L]\n"
                 "       [--leak L_PER_HOUR] [--seed N] [--event DAY,HH:MM,LITRES,L_PER_MIN]...\n"
                 "Writes tank 1 (diesel) read once a minute: noise 20 l, whole degrees 8-22 °C,\n"
                 "trucks filling 40-80 l about twice an hour 06:00-22:00. An event is a\n"
                 "delivery (litres > 0) or a theft (< 0) DAY days after --from at HH:MM UTC.\n"
                 "OUT.db must not exist yet.\n");
    return help ? 0 : 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--help") == 0)
        return Usage(true);
    if (argc < 2 || argv[1][0] == '-')
        return Usage(false);
    const std::string out = argv[1];
    PhysicsPlan p;
    p.utcFrom = TextFormats::Join(2026, 3, 2);
    p.days = 14;
    p.seed = 1;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc)
            return Usage(false);
        const char* v = argv[++i];
        int y = 0, mo = 0, d = 0, hh = 0, mm = 0;
        double day = 0, litres = 0, pace = 0;
        if (a == "--from" && std::sscanf(v, "%d-%d-%d", &y, &mo, &d) == 3)
            p.utcFrom = TextFormats::Join(y, mo, d);
        else if (a == "--days")
            p.days = std::atof(v);
        else if (a == "--capacity")
            p.tank.capacity = std::atoi(v);
        else if (a == "--leak")
            p.tank.leakPerHour = std::atof(v);
        else if (a == "--seed")
            p.seed = static_cast<uint32_t>(std::atoi(v));
        else if (a == "--event" &&
                 std::sscanf(v, "%lf,%d:%d,%lf,%lf", &day, &hh, &mm, &litres, &pace) == 5 &&
                 pace > 0)
            p.events.push_back({day + (hh * 60 + mm) / 1440.0, litres, pace});
        else
            return Usage(false);
    }
    for (PhysicsEvent& e : p.events)
        e.utcStart += p.utcFrom;
    p.tank.startNet = 0.7 * p.tank.capacity;
    if (std::filesystem::exists(out)) {
        std::fprintf(stderr, "physics-history: %s exists already\n", out.c_str());
        return 1;
    }
    try {
        TSQLiteDatabase db(out);
        db.ExecSQL(Sql::kCreateTanks);
        db.ExecSQL(Sql::kCreateData);
        db.ExecSQL(Sql::kCreateError);
        for (int i = 1; i <= 14; ++i)
            db.ExecSQL(Sql::SeedTank(i));
        // Tank 1 as the station keeps it: its capacity is what its calibration gives at the
        // highest code, so the tank needs one (straight: the readings are litres already).
        TItemNode node;
        LoadTankFromRow(db.GetTable(Sql::kSelectTanks + std::string(" WHERE id = 1")), node);
        node.Name = "North";
        node.FType = "Diesel";
        node.Act = true;
        TCalRows points{};
        for (int i = 0; i < 5; ++i) {
            const int code = 819 * (i + 1);
            points[i] = {std::to_string(code),
                         std::to_string(std::lround(double(p.tank.capacity) * code / 4095))};
        }
        if (const TCalibrationResult built = BuildCalibration(node, points); !built.ok)
            throw std::runtime_error("calibration refused: " + built.message);
        RecordingMessages messages;
        SaveTank(db, node, messages);
        if (!messages.shown.empty())
            throw std::runtime_error("tank 1 not saved");
        if (!MigrateSchema(db).eventsUsable)
            throw std::runtime_error("cannot make the event tables");
        int64_t rows = 0;
        InWriteTransaction(db, [&] {
            SynthesizePhysics(p, [&](const DataRow& r) {
                Exec(db,
                     "INSERT INTO DATA (tstamp, adr, flevel, fcode, temp) VALUES (?, 1, ?, 0, ?)",
                     {r.tstamp, int64_t(r.flevel), int64_t(r.temp)});
                ++rows;
            });
        });
        std::printf("%s: %lld readings of tank 1 from %s over %g days\n", out.c_str(),
                    static_cast<long long>(rows), TextFormats::ShortDate(p.utcFrom).c_str(),
                    p.days);
        for (const PhysicsEvent& e : p.events)
            std::printf("  %s %s %+.0f l at %g l/min over %.0f min\n",
                        e.litres > 0 ? "delivery" : "theft   ",
                        TextFormats::DateTime(e.utcStart).c_str(), e.litres, e.perMinute,
                        e.Minutes());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "physics-history: %s\n", e.what());
        return 1;
    }
    return 0;
}
