// demo-setup DIR PORT: prepares the demo folder DIR for a station run on the simulator.

#include "DemoSetup.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    bool help = argc == 2 && std::strcmp(argv[1], "--help") == 0;
    if (argc != 3 || help) {
        std::fprintf(stderr,
                     "Usage: demo-setup DIR PORT\n"
                     "Creates DIR/data.db with six active, calibrated demo tanks (an existing\n"
                     "file is kept), writes DIR/config/Dravo.ini with PortNum=PORT and\n"
                     "WorkMode=Direct, and DIR/sim-start with the sensor-sim --start value\n"
                     "that goes on from the levels data.db last stored.\n");
        return help ? 0 : 2;
    }
    std::filesystem::path dir = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(dir / "config", ec);
    if (ec) {
        std::fprintf(stderr, "demo-setup: cannot create %s: %s\n", dir.c_str(),
                     ec.message().c_str());
        return 1;
    }
    DemoResult db = SetUpDemoDatabase((dir / "data.db").string());
    if (!db.ok) {
        std::fprintf(stderr, "demo-setup: %s\n", db.error.c_str());
        return 1;
    }
    std::printf("%s %s\n", (dir / "data.db").c_str(),
                db.created ? "created with the demo tanks" : "kept as it was");
    // Where the simulator goes on from: what the demo's data.db last stored.
    const std::string levels = StoredStartLevels((dir / "data.db").string());
    if (FILE* f = std::fopen((dir / "sim-start").c_str(), "w")) {
        std::fprintf(f, "%s\n", levels.c_str());
        std::fclose(f);
    }
    if (!WriteDemoSettings((dir / "config" / "Dravo.ini").string(), argv[2])) {
        std::fprintf(stderr, "demo-setup: cannot write the settings\n");
        return 1;
    }
    return 0;
}
