// physics-history OUT.db [options]: a data.db with one tank's readings made from a depot's
// physics (TankPhysics), for trying the reports on thefts, a leak and day-time dispensing
// whose true litres are known. Times are UTC.

#include "PhysicsFile.h"
#include "TextFormats.h"

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
        const int64_t rows = WritePhysicsFile(db, p);
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
